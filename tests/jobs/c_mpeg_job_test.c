/* Knows only the engine's tables and records: creates the MPEG job through
 * _NEW_OMBRIX, hands it a record for a missing file and a four-slot callback
 * table, starts it and checks the one message it must send. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

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

typedef void* (*Factory)(void);
typedef void* (*SetParametersFn)(void*, const MpegJobParams*, Callback*);
typedef void* (*StartFn)(void*);
typedef void (*ReleaseFn)(void*);

int main(int argc, char** argv) {
    void* lib = dlopen(argc > 1 ? argv[1] : "libOmbrixDll.so", RTLD_NOW);
    if (!lib) { fprintf(stderr, "dlopen: %s\n", dlerror()); return 1; }
    Factory make = (Factory)dlsym(lib, "_NEW_OMBRIX");
    if (!make) { fprintf(stderr, "no _NEW_OMBRIX\n"); return 1; }
    void* job = make();
    if (!job) { fprintf(stderr, "factory answered null\n"); return 1; }
    void** vt = *(void***)job;

    MpegJobParams p;
    memset(&p, 0, sizeof p);
    strcpy(p.sourcePath, "/nonexistent/missing.avi");
    strcpy(p.outputPath, "/tmp/reelcast-c-job-out.mpg");
    p.frameRate = 25.0;
    p.audioRate = 44100;
    p.width = 352;
    p.height = 288;
    p.jobKind = 0;

    Callback cb;
    memset(&cb, 0, sizeof cb);
    cb.vtable = kCallbackTable;
    if (((SetParametersFn)vt[4])(job, &p, &cb) != job) { fprintf(stderr, "SetParameters\n"); return 1; }
    if (!((StartFn)vt[5])(job)) { fprintf(stderr, "Start gave no thread\n"); return 1; }
    ((ReleaseFn)vt[1])(job); /* returns after the worker has ended */

    int ok = cb.messages == 1 && cb.finished == 0 &&
             strcmp(cb.text, "Can't get media information from input file") == 0;
    if (!ok) {
        fprintf(stderr, "FAIL: messages=%d finished=%d text='%s'\n", cb.messages, cb.finished, cb.text);
        return 1;
    }
    printf("c_mpeg_job: passed\n");
    dlclose(lib);
    return 0;
}
