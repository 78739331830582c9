/* The bridge driven from C, knowing only its export names and its table: it
 * creates the instance through _NEW_MOVBRIDGE, calls slots by position and
 * receives events through a notification function of its own. The files it
 * writes are judged by the caller (movbridge_test.cpp) with ffprobe and FFmpeg.
 *
 *   c_movbridge_test LIB check FILE...     prints "<IsSupportedFile> <MovbridgeCheckFile>" per file
 *   c_movbridge_test LIB convert SRC OUT   runs to the end; prints "end <value> progress <n>"
 *   c_movbridge_test LIB stop SRC OUT      stops after the first progress past zero
 *   c_movbridge_test LIB stopnow SRC OUT   stops right after the start
 *   c_movbridge_test LIB release SRC OUT   releases the instance mid-way instead
 *   c_movbridge_test LIB window SRC OUT    events through a poster to this (the "GUI") thread
 *
 * Exit 0 when the events kept their rules: progress from 0 rising to 10000, at
 * least one progress event per second, exactly one end event and nothing after
 * it, none after a stop, the AVI index on disk when the completion arrives, and
 * every event on the thread it belongs to. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "movbridge/IMovbridge.h"

#define SLOT(obj, n, type) ((type)((*(void***)(obj))[n]))
#define MAX_EVENTS 4096

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static int32_t g_kind[MAX_EVENTS];
static int32_t g_value[MAX_EVENTS];
static double g_time[MAX_EVENTS];
static int g_count;
static int g_wrongThread;
static int g_indexMissingAtCompletion;
static int g_expectMain;
static pthread_t g_mainThread;
static const char* g_out;

static double Now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

/* The completed AVI must already hold its index (an idx1 chunk after the data). */
static int HasIndex(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return 0;
    static unsigned char buf[1 << 16];
    long size;
    fseek(f, 0, SEEK_END);
    size = ftell(f);
    fseek(f, size > (long)sizeof buf ? size - (long)sizeof buf : 0, SEEK_SET);
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    for (size_t i = 0; i + 4 <= n; ++i)
        if (memcmp(buf + i, "idx1", 4) == 0 || memcmp(buf + i, "ix00", 4) == 0) return 1;
    return 0;
}

static void Note(int32_t tag, const int32_t* event) {
    (void)tag;
    int onMain = pthread_equal(pthread_self(), g_mainThread);
    if (g_expectMain ? !onMain : onMain) g_wrongThread++;
    if (event[0] != MOVBRIDGE_EVENT_PROGRESS && event[1] == MOVBRIDGE_END_COMPLETED && !HasIndex(g_out))
        g_indexMissingAtCompletion++;
    pthread_mutex_lock(&g_lock);
    if (g_count < MAX_EVENTS) {
        g_kind[g_count] = event[0];
        g_value[g_count] = event[1];
        g_time[g_count] = Now();
        g_count++;
    }
    pthread_mutex_unlock(&g_lock);
}

static int Count(void) {
    pthread_mutex_lock(&g_lock);
    int n = g_count;
    pthread_mutex_unlock(&g_lock);
    return n;
}

/* ---- A poster standing in for a window's message queue ------------------------- */

typedef struct Task {
    void (*fn)(void*);
    void* ctx;
    struct Task* next;
} Task;
static Task* g_queue;
static int g_windowClosed;
static char g_window; /* its address is the window handle */

static int Post(void* window, void (*fn)(void*), void* ctx) {
    if (window != &g_window) return 0;
    pthread_mutex_lock(&g_lock);
    if (g_windowClosed) {
        pthread_mutex_unlock(&g_lock);
        return 0;
    }
    Task* t = malloc(sizeof *t);
    t->fn = fn;
    t->ctx = ctx;
    t->next = NULL;
    Task** p = &g_queue;
    while (*p) p = &(*p)->next;
    *p = t;
    pthread_mutex_unlock(&g_lock);
    return 1;
}

/* Runs what was posted, in order, on the calling thread; answers how many. */
static int Drain(void) {
    int n = 0;
    for (;;) {
        pthread_mutex_lock(&g_lock);
        Task* t = g_queue;
        if (t) g_queue = t->next;
        pthread_mutex_unlock(&g_lock);
        if (!t) return n;
        t->fn(t->ctx);
        free(t);
        n++;
    }
}

/* ---- Checks of the recorded events ---------------------------------------------- */

static int Fail(const char* what) {
    fprintf(stderr, "FAIL: %s\n", what);
    return 1;
}

/* completed: the run went to its end (not stopped). */
static int CheckEvents(int completed) {
    int ends = 0, progress = 0, bad = 0;
    int32_t last = -1;
    for (int i = 0; i < g_count; ++i) {
        if (g_kind[i] == MOVBRIDGE_EVENT_PROGRESS) {
            if (ends) bad |= Fail("an event after the end event");
            if (g_value[i] < last || g_value[i] < 0 || g_value[i] > 10000) bad |= Fail("progress out of order or range");
            if (i > 0 && g_time[i] - g_time[i - 1] > 2.5) bad |= Fail("seconds without progress");
            last = g_value[i];
            progress++;
        } else {
            ends++;
        }
    }
    /* A stop right after the start may come before anything was sent. */
    if ((completed || g_count > 0) && (g_count == 0 || g_kind[0] != MOVBRIDGE_EVENT_PROGRESS || g_value[0] != 0))
        bad |= Fail("the first event is not progress 0");
    if (completed) {
        if (ends != 1) bad |= Fail("not exactly one end event");
        if (ends == 1 && g_value[g_count - 1] == MOVBRIDGE_END_COMPLETED && last != 10000)
            bad |= Fail("completed without progress 10000");
    } else if (ends != 0) {
        bad |= Fail("an end event after a stop");
    }
    if (g_wrongThread) bad |= Fail("an event on the wrong thread");
    if (g_indexMissingAtCompletion) bad |= Fail("the AVI had no index when completion arrived");
    printf("end %d progress %d\n", ends ? g_value[g_count - 1] : -1, progress);
    return bad;
}

static int WaitFor(int (*done)(void), double seconds, int drain) {
    double until = Now() + seconds;
    while (!done()) {
        if (Now() > until) return 0;
        if (drain) Drain();
        usleep(2000);
    }
    return 1;
}

static int Ended(void) {
    pthread_mutex_lock(&g_lock);
    int e = g_count > 0 && g_kind[g_count - 1] != MOVBRIDGE_EVENT_PROGRESS;
    pthread_mutex_unlock(&g_lock);
    return e;
}

static int PastZero(void) {
    pthread_mutex_lock(&g_lock);
    int p = g_count > 0 && g_kind[g_count - 1] == MOVBRIDGE_EVENT_PROGRESS && g_value[g_count - 1] > 0;
    pthread_mutex_unlock(&g_lock);
    return p || Ended();
}

int main(int argc, char** argv) {
    if (argc < 4) return Fail("usage: c_movbridge_test LIB check|convert|stop|stopnow|release|window ...");
    void* lib = dlopen(argv[1], RTLD_NOW);
    if (!lib) return Fail(dlerror());
    MovbridgeFactoryFn make = (MovbridgeFactoryFn)dlsym(lib, "_NEW_MOVBRIDGE");
    MovbridgeFactoryFn shared = (MovbridgeFactoryFn)dlsym(lib, "_NEW_00_MOVBRIDGE");
    MovbridgeCheckFileFn checkFile = (MovbridgeCheckFileFn)dlsym(lib, "MovbridgeCheckFile");
    MovbridgeSetPosterFn setPoster = (MovbridgeSetPosterFn)dlsym(lib, "MovbridgeSetPoster");
    if (!make || !shared || !checkFile || !setPoster) return Fail("missing exports");
    if (shared() != shared() || !shared()) return Fail("the shared instance is not one instance");
    void* b = make();
    if (!b) return Fail("factory answered null");
    if (!SLOT(b, MOVBRIDGE_SLOT_IS_READY, unsigned char (*)(void*))(b)) return Fail("IsReady");
    if (SLOT(b, MOVBRIDGE_SLOT_QUICKTIME_STATUS, MovbridgeQuickTimeStatusFn)(b) != 0)
        return Fail("QuickTimeStatus is not 0 with Debian's FFmpeg");
    g_mainThread = pthread_self();
    const char* mode = argv[2];

    if (strcmp(mode, "check") == 0) {
        for (int i = 3; i < argc; ++i)
            printf("%d %d\n", SLOT(b, MOVBRIDGE_SLOT_IS_SUPPORTED_FILE, MovbridgeIsSupportedFileFn)(b, argv[i]),
                   (int)checkFile(argv[i]));
        SLOT(b, MOVBRIDGE_SLOT_RELEASE, MovbridgeReleaseFn)(b);
        return 0;
    }
    if (argc < 5) return Fail("SRC and OUT needed");
    g_out = argv[4];
    int bad = 0;
    MovbridgeStartConversionFn start = SLOT(b, MOVBRIDGE_SLOT_START_CONVERSION, MovbridgeStartConversionFn);
    if (start(b)) bad |= Fail("started without files");
    SLOT(b, MOVBRIDGE_SLOT_SET_FILES, MovbridgeSetFilesFn)(b, argv[3], argv[4]);

    if (strcmp(mode, "window") == 0) {
        g_expectMain = 1;
        SLOT(b, MOVBRIDGE_SLOT_SET_NOTIFY, MovbridgeSetNotifyFn)(b, &g_window, Note);
        if (start(b)) bad |= Fail("started with a window but no poster");
        setPoster(Post);
        if (!start(b)) return Fail("StartConversion refused");
        if (start(b)) bad |= Fail("a second start while converting");
        if (!WaitFor(Ended, 600, 1)) return Fail("no end event within 10 minutes");
        SLOT(b, MOVBRIDGE_SLOT_RELEASE, MovbridgeReleaseFn)(b);
        Drain();
        bad |= CheckEvents(1);
        setPoster(NULL);
        return bad;
    }

    SLOT(b, MOVBRIDGE_SLOT_SET_NOTIFY, MovbridgeSetNotifyFn)(b, NULL, Note);
    if (!start(b)) return Fail("StartConversion refused");
    if (strcmp(mode, "convert") == 0) {
        if (!WaitFor(Ended, 600, 0)) return Fail("no end event within 10 minutes");
        int n = Count();
        usleep(200000);
        if (Count() != n) bad |= Fail("events after the end event");
        SLOT(b, MOVBRIDGE_SLOT_STOP_CONVERSION, MovbridgeStopConversionFn)(b); /* idle: nothing */
        SLOT(b, MOVBRIDGE_SLOT_RELEASE, MovbridgeReleaseFn)(b);
        return bad | CheckEvents(1);
    }
    int now = strcmp(mode, "stopnow") == 0;
    if (!now && !WaitFor(PastZero, 600, 0)) return Fail("no progress within 10 minutes");
    if (Ended()) return Fail("ended before it could be stopped: use a longer source");
    double t0 = Now();
    if (now || strcmp(mode, "stop") == 0) {
        SLOT(b, MOVBRIDGE_SLOT_STOP_CONVERSION, MovbridgeStopConversionFn)(b);
        printf("stopped in %.3f s\n", Now() - t0);
        int n = Count();
        usleep(300000);
        if (Count() != n) bad |= Fail("events after StopConversion returned");
        SLOT(b, MOVBRIDGE_SLOT_RELEASE, MovbridgeReleaseFn)(b);
    } else if (strcmp(mode, "release") == 0) {
        SLOT(b, MOVBRIDGE_SLOT_RELEASE, MovbridgeReleaseFn)(b);
        printf("released in %.3f s\n", Now() - t0);
    } else {
        return Fail("unknown mode");
    }
    return bad | CheckEvents(0);
}
