/* Knows only the engine's tables and records: creates the MPEG job through
 * _NEW_OMBRIX, hands it a record for a missing file and a four-slot callback
 * table, starts it and checks the one message it must send. */
#include <stdint.h>
#include <string.h>

#include "CTestSupport.h"

typedef struct MpegJobParams {
    char sourcePath[260];
    char outputPath[260];
    double frameRate;
    uint32_t audioRate;
    uint32_t width;
    uint32_t height;
    void* previewWindow;
    uint32_t jobKind;
} MpegJobParams;

typedef struct Callback {
    void** vtable;
    int messages;
    int finished;
    char text[256];
} Callback;

static void OnProgress(Callback* self, int32_t v) { (void)self; (void)v; }
static void OnFinished(Callback* self) { self->finished++; }
static void OnMessage(Callback* self, const char* t) {
    self->messages++;
    snprintf(self->text, sizeof self->text, "%s", t);
}
static unsigned char IsCancelled(Callback* self) { (void)self; return 0; }

static void* kCallbackTable[4] = {(void*)OnProgress, (void*)OnFinished, (void*)OnMessage,
                                  (void*)IsCancelled};

typedef void* (*SetParametersFn)(void*, const MpegJobParams*, Callback*);
typedef void* (*StartFn)(void*);
typedef void (*ReleaseFn)(void*);

int main(int argc, char** argv) {
    void* lib = OpenLibrary(argc > 1 ? argv[1] : NULL);
    void* job = NewObject(lib, "_NEW_OMBRIX");

    MpegJobParams p;
    memset(&p, 0, sizeof p);
    strcpy(p.sourcePath, "/nonexistent/missing.avi");
    strcpy(p.outputPath, "/tmp/reelcast-c-job-out.mpg");
    p.frameRate = 25.0;
    p.audioRate = 44100;
    p.width = 352;
    p.height = 288;

    Callback cb;
    memset(&cb, 0, sizeof cb);
    cb.vtable = kCallbackTable;
    if (SLOT(job, 4, SetParametersFn)(job, &p, &cb) != job) Fail("SetParameters", "did not answer the job");
    else if (!SLOT(job, 5, StartFn)(job)) Fail("Start", "gave no thread");
    SLOT(job, 1, ReleaseFn)(job); /* returns after the worker has ended */

    CHECK(cb.messages == 1 && cb.finished == 0 &&
              strcmp(cb.text, "Can't get media information from input file") == 0,
          "messages=%d finished=%d text='%s'", cb.messages, cb.finished, cb.text);
    dlclose(lib);
    return Finish("c_mpeg_job");
}
