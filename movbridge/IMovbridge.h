/* The QuickTime/Flash bridge as its callers see it: libMovbridge.so ("Movbridge.dll"),
 * loaded at run time by its file name, converts MOV, MP4 (M4V, 3GP) and SWF sources
 * to AVI files on a worker thread of its own and reports through a notification
 * function.
 *
 * Plain C and C++: no FFmpeg, Qt or engine header. C++ callers use IMovbridge and
 * call through it; C callers read the table pointer at the instance's start and
 * call slot n with the instance as first argument (the MOVBRIDGE_SLOT_* numbers and
 * the Movbridge*Fn types below).
 *
 * Exports (no "@0" decoration on ELF; platform/dynlib drops it on lookup):
 *   _NEW_MOVBRIDGE      a fresh instance, ended with Release(); null when it cannot
 *                       initialise.
 *   _NEW_00_MOVBRIDGE   the process-wide shared instance; never released by callers.
 *   MovbridgeSetPoster  installs the program's window poster (see below).
 *   MovbridgeCheckFile  what a file is, for callers that explain a refusal.
 */
#ifndef REELCAST_MOVBRIDGE_IMOVBRIDGE_H
#define REELCAST_MOVBRIDGE_IMOVBRIDGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Events ------------------------------------------------------------------- */

/* event[0]: the kind. */
enum {
    MOVBRIDGE_EVENT_PROGRESS = 1, /* event[1]: progress in 1/10000 (0..10000) */
    MOVBRIDGE_EVENT_END = 2       /* event[1]: one of MOVBRIDGE_END_*; the last event */
};
/* Any kind other than MOVBRIDGE_EVENT_PROGRESS ends the conversion; the bridge
 * itself sends MOVBRIDGE_EVENT_END. */

/* event[1] of the end event. */
enum {
    MOVBRIDGE_END_COMPLETED = 0,       /* the AVI is complete (index written) */
    MOVBRIDGE_END_NO_QUICKTIME = 1,    /* the decoding libraries cannot be used at all */
    MOVBRIDGE_END_MISSING_PARTS = 2,   /* they lack a decoder or encoder the bridge needs */
    MOVBRIDGE_END_CONVERT_ERROR = 3,   /* decoding, encoding or writing failed mid-way */
    MOVBRIDGE_END_OPEN_FAILED = 4,     /* the source cannot be opened or read */
    MOVBRIDGE_END_NO_PICTURES = 5,     /* the source opened but holds no picture we decode */
    MOVBRIDGE_END_INIT_ERROR = 6       /* the encoders or the output file could not be set up */
};

/* The notification function. tag is always 0 and callers need not read it; event
 * points to two int32 (kind, value) valid only during the call.
 *
 * Thread: with a null window (SetNotify), it runs on the bridge's worker thread;
 * it may call StopConversion() or Release() of the instance (then the worker just
 * ends, without waiting; call nothing else). With a
 * window, it runs on that window's GUI thread through the installed poster. */
typedef void (*MovbridgeNotify)(int32_t tag, const int32_t* event);

/* ---- Delivery on a window's thread ---------------------------------------------- */

/* Runs task(ctx) later on the GUI thread that owns window, without waiting for it.
 * Answers nonzero when task will run exactly once there; zero when it cannot be
 * delivered (unknown or closed window), and then task never runs. Called on the
 * bridge's worker thread; must not block on the GUI thread. */
typedef int (*MovbridgePoster)(void* window, void (*task)(void* ctx), void* ctx);

/* Installs the poster for every instance (the program does this once at start,
 * with platform/window's PostToWindow). Null removes it. Without a poster a
 * non-null window makes StartConversion() refuse. */
typedef void (*MovbridgeSetPosterFn)(MovbridgePoster poster);
#define MOVBRIDGE_SET_POSTER_EXPORT "MovbridgeSetPoster"

/* ---- What a file is -------------------------------------------------------------- */

enum {
    MOVBRIDGE_FILE_SUPPORTED = 0,     /* QuickTime/MP4 or Flash with pictures we decode */
    MOVBRIDGE_FILE_NOT_QUICKTIME = 1, /* anything else: other formats, text, empty, damaged */
    MOVBRIDGE_FILE_FLASH_VECTOR = 2   /* a Flash file without embedded video or bitmap frames */
};
/* Judges by content, never by the name's extension. Any thread. */
typedef int32_t (*MovbridgeCheckFileFn)(const char* path);
#define MOVBRIDGE_CHECK_FILE_EXPORT "MovbridgeCheckFile"

/* The callers' refusal texts for MovbridgeCheckFile's answers. */
#define MOVBRIDGE_TEXT_NOT_QUICKTIME "This is not a QuickTime MOV/MP4 format file."
#define MOVBRIDGE_TEXT_FLASH_VECTOR \
    "This Flash SWF file holds only vector animation, which can not be converted."
/* The callers' texts for the end values that are errors of the file or the run. */
#define MOVBRIDGE_TEXT_CONVERT_ERROR "Convert error!"
#define MOVBRIDGE_TEXT_OPEN_FAILED "Open the MOV file failed!"
#define MOVBRIDGE_TEXT_INIT_ERROR "Initialize error!"

/* ---- The instance's table ----------------------------------------------------------- */

enum {
    MOVBRIDGE_SLOT_DELETING_DESTRUCTOR = 0,
    MOVBRIDGE_SLOT_RELEASE = 1,
    MOVBRIDGE_SLOT_INIT = 2,
    MOVBRIDGE_SLOT_IS_READY = 3,
    MOVBRIDGE_SLOT_SET_FILES = 4,
    MOVBRIDGE_SLOT_SET_NOTIFY = 5,
    MOVBRIDGE_SLOT_START_CONVERSION = 6,
    MOVBRIDGE_SLOT_QUICKTIME_STATUS = 7,
    MOVBRIDGE_SLOT_STOP_CONVERSION = 8,
    MOVBRIDGE_SLOT_IS_SUPPORTED_FILE = 9
};

/* C view of the slots: self is the instance. bool results are one byte. */
typedef void* (*MovbridgeFactoryFn)(void);
typedef void (*MovbridgeReleaseFn)(void* self);
typedef void (*MovbridgeSetFilesFn)(void* self, const char* source, const char* target);
typedef void (*MovbridgeSetNotifyFn)(void* self, void* window, MovbridgeNotify notify);
typedef unsigned char (*MovbridgeStartConversionFn)(void* self);
typedef int32_t (*MovbridgeQuickTimeStatusFn)(void* self);
typedef void (*MovbridgeStopConversionFn)(void* self);
typedef unsigned char (*MovbridgeIsSupportedFileFn)(void* self, const char* path);

#define MOVBRIDGE_FACTORY_EXPORT "_NEW_MOVBRIDGE@0"
#define MOVBRIDGE_LIBRARY_NAME "Movbridge.dll"

#ifdef __cplusplus
} /* extern "C" */

/* The instance's table. Every operation is called from one thread at a time (the
 * window's, or the command line's main thread) unless it says otherwise. */
class IMovbridge {
public:
    /* Slot 0. Destroys the instance (as Release() does); bit 0 of flags also frees it. */
    virtual void DeletingDestructor(uint32_t flags) = 0;
    /* Slot 1. Stops a running conversion first (as StopConversion()), then ends the
     * instance. */
    virtual void Release() = 0;
    /* Slot 2. Initialisation; the factory calls it and answers null when it fails. */
    virtual bool Init() = 0;
    /* Slot 3. Always true. */
    virtual bool IsReady() = 0;
    /* Slot 4. Source and AVI paths for the next StartConversion(); copied. */
    virtual void SetFiles(const char* source, const char* target) = 0;
    /* Slot 5. Where the events of the next StartConversion() go: notify on window's
     * GUI thread through the poster, or on the worker thread when window is null.
     * The function must stay callable until the instance is released. */
    virtual void SetNotify(void* window, MovbridgeNotify notify) = 0;
    /* Slot 6. Starts the worker and returns at once. False (and no event) when no
     * files or no notification function were set, a conversion is already
     * running, or a window was given but no poster is installed. Otherwise every
     * failure arrives as the end event. The target is created or replaced only
     * once the source has opened and the encoders are ready; it is never the
     * source itself (that ends with MOVBRIDGE_END_INIT_ERROR). */
    virtual bool StartConversion() = 0;
    /* Slot 7. 0: the needed decoders and encoders are there; 2: some are missing
     * (H.264 or AAC decoding, MPEG-4 Part 2 or MP3 encoding); 1: the decoding
     * libraries cannot be used at all. */
    virtual int32_t QuickTimeStatus() = 0;
    /* Slot 8. Stops the running conversion and returns once the worker has ended
     * (within about a second); the part already written stays a complete, playable
     * AVI. No end event follows, and progress events not yet delivered to a window
     * are dropped. Does nothing when idle. From inside the notification function
     * (null window) it only asks the worker to stop. */
    virtual void StopConversion() = 0;
    /* Slot 9. True when the bridge can convert the file (MovbridgeCheckFile answers
     * MOVBRIDGE_FILE_SUPPORTED). Any thread. */
    virtual bool IsSupportedFile(const char* path) = 0;

protected:
    IMovbridge() = default;
    ~IMovbridge() = default;
};

#endif /* __cplusplus */

#endif /* REELCAST_MOVBRIDGE_IMOVBRIDGE_H */
