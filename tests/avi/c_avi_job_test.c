/* The AVI job driven as the desktop program drives it: knowing only the engine's
 * export names and its tables, it creates the job through _NEW_AVIENCWRAPPER,
 * calls its operations by slot position and answers through a four-slot
 * callback table of its own. Every file is read back by ffprobe and FFmpeg's
 * decoders: stream headers, frame counts, sound and picture durations, a clean
 * decode to the last frame, and all of that already true while OnFinished runs.
 *
 * c_avi_job_test <libOmbrixDll.so> [footage]   exit 77 when ffmpeg is missing. */
#define _GNU_SOURCE
#include <math.h>
#include <pthread.h>
#include <stdint.h>
#include <string.h>

#include "AviCheckers.h"
#include "CTestSupport.h"

/* Slots of the job's table. */
enum {
    kRelease = 1,
    kSetSourceFile = 4,
    kSetTargetFile = 5,
    kSetCallback = 6,
    kEnumVideoCodec = 7,
    kSetVideoCodec = 8,
    kSetPreviewWindow = 9,
    kStartDirect = 11,
    kSetCodecFamily = 12,
    kCancel = 13,
    kSetAudioType = 14,
    kChooseDefaultAudioFormat = 15,
    kWaitForWorker = 16,
    kStartDirectWithCodec = 17
};

typedef void (*ReleaseFn)(void*);
typedef unsigned char (*SetStringBoolFn)(void*, const char*);
typedef void (*SetStringFn)(void*, const char*);
typedef void (*SetPtrFn)(void*, void*);
typedef unsigned char (*EnumFn)(void*, int32_t, char*, uint32_t*);
typedef void (*SetU32Fn)(void*, uint32_t);
typedef void (*StartFn)(void*, int32_t, int32_t, int32_t, int32_t);
typedef unsigned char (*SetIntBoolFn)(void*, int32_t);
typedef void (*VoidFn)(void*);

static const double kRates[5] = {24000.0 / 1001.0, 24.0, 25.0, 30000.0 / 1001.0, 30.0};
static const unsigned kRateField[5] = {23976, 24000, 25000, 29970, 30000};

static char g_dir[256];

static unsigned Gcd(unsigned a, unsigned b) {
    while (b) {
        unsigned t = a % b;
        a = b;
        b = t;
    }
    return a;
}

/* ---- the program's callback object ---- */

typedef struct Callback {
    void** vtable;
    pthread_mutex_t lock;
    void* job;
    int progressCalls;
    int lastProgress;
    int progressInOrder;
    int finished;
    int messages;
    char text[256];
    int cancelAfter; /* progress calls before Cancel, 0 never */
    const char* path;
    const char* wav;
    /* What the files looked like while OnFinished ran. */
    double wavSecondsAtFinish;
    int framesAtFinish;
    int cleanAtFinish;
    char errorsAtFinish[512];
} Callback;

static void OnProgress(Callback* self, int32_t v) {
    pthread_mutex_lock(&self->lock);
    if (v < self->lastProgress || v < 0 || v >= 10000) self->progressInOrder = 0;
    self->lastProgress = v;
    ++self->progressCalls;
    if (self->cancelAfter && self->progressCalls == self->cancelAfter) SLOT(self->job, kCancel, VoidFn)(self->job);
    pthread_mutex_unlock(&self->lock);
}

static void OnFinished(Callback* self) {
    pthread_mutex_lock(&self->lock);
    ++self->finished;
    self->framesAtFinish = avitest_decoded_video_frames(self->path);
    self->cleanAtFinish = avitest_decodes_cleanly(self->path, self->errorsAtFinish, sizeof self->errorsAtFinish);
    self->wavSecondsAtFinish = avitest_file_exists(self->wav) ? avitest_decoded_audio_seconds(self->wav, 44100) : -1;
    pthread_mutex_unlock(&self->lock);
}

static void OnMessage(Callback* self, const char* t) {
    pthread_mutex_lock(&self->lock);
    ++self->messages;
    snprintf(self->text, sizeof self->text, "%s", t ? t : "(null)");
    pthread_mutex_unlock(&self->lock);
}

static unsigned char IsCancelled(Callback* self) {
    (void)self;
    return 0;
}

static void* kCallbackTable[4] = {(void*)OnProgress, (void*)OnFinished, (void*)OnMessage, (void*)IsCancelled};

/* ---- one conversion ---- */

typedef struct Case {
    const char* name;
    const char* codec; /* NULL: by codec family (DivX/XviD) through StartDirect */
    int audioType;     /* 0 none, 1 PCM WAV beside, 2 MP3, 3 codec format */
    int rateIndex;
    int sampleRate;
    int width, height; /* 0: the source's */
    int cancelAfter;
    int releaseWhileRunning;
} Case;

typedef struct Source {
    const char* path;
    int frames;
    double fps;
    int width, height;
} Source;

static void* g_make; /* _NEW_AVIENCWRAPPER */

static uint32_t FourCC(const char* s) {
    return (uint32_t)(unsigned char)s[0] | (uint32_t)(unsigned char)s[1] << 8 | (uint32_t)(unsigned char)s[2] << 16 |
           (uint32_t)(unsigned char)s[3] << 24;
}

/* MediaArea's reader, a second one besides FFmpeg's: the same facts from the
 * stream headers of the AVI and of the WAV beside it. */
static int g_mediainfo;

static void MediaInfo(const char* path, const char* inform, char* out, size_t size) {
    char cmd[1024];
    snprintf(cmd, sizeof cmd, "mediainfo --Inform='%s' '%s' 2>/dev/null", inform, path);
    avitest_run(cmd, out, size);
    out[strcspn(out, "\r\n")] = '\0';
}

static void MediaInfoAgrees(const Case* c, const char* out, const char* wav, int total, double fps) {
    char text[512], want[256];
    const double videoMs = total * 1000.0 / fps;
    /* The sound in the AVI runs from the file's start to the end of the pictures. */
    const double soundMs = videoMs + 1000.0 * avitest_first_picture_seconds(out);
    snprintf(want, sizeof want, "%s|%d|%.3f", c->codec ? c->codec : "DIVX", total, fps);
    MediaInfo(out, "Video;%CodecID%|%FrameCount%|%FrameRate%", text, sizeof text);
    if (strcmp(text, want) != 0) Fail(c->name, "mediainfo: video '%s', not '%s'", text, want);
    if (c->audioType >= 2) {
        char id[32];
        int rate = 0, channels = 0;
        double ms = 0;
        MediaInfo(out, "Audio;%CodecID%|%SamplingRate%|%Channels%|%Duration%", text, sizeof text);
        if (sscanf(text, "%31[^|]|%d|%d|%lf", id, &rate, &channels, &ms) != 4 ||
            strcmp(id, c->audioType == 2 ? "55" : "2") != 0 || rate != c->sampleRate || channels != 2)
            Fail(c->name, "mediainfo: sound '%s'", text);
        else if (!c->cancelAfter && fabs(ms - soundMs) > 1000.0 / fps + 1)
            Fail(c->name, "mediainfo: sound lasts %.0f ms, pictures end at %.0f ms", ms, soundMs);
    }
    if (c->audioType == 1 && !c->cancelAfter) {
        MediaInfo(wav, "Audio;%Format%|%SamplingRate%|%Channels%|%Duration%", text, sizeof text);
        snprintf(want, sizeof want, "PCM|44100|2|");
        if (strncmp(text, want, strlen(want)) != 0 || fabs(atof(text + strlen(want)) - videoMs) > 1000.0 / fps + 1)
            Fail(c->name, "mediainfo: WAV '%s' for %.0f ms of pictures", text, videoMs);
    }
}

static void Convert(const Source* src, const Case* c) {
    char out[512], wav[512], info[8192], v[128], a[128], err[512];
    int total, expectW, expectH, streams;
    double fps, videoSeconds;
    Callback cb;
    void* job;

    snprintf(out, sizeof out, "%s/%s.avi", g_dir, c->name);
    snprintf(wav, sizeof wav, "%s/%s.wav", g_dir, c->name);
    fps = kRates[c->rateIndex];
    total = (int)((double)src->frames * fps / src->fps);
    expectW = c->width ? c->width : src->width;
    expectH = c->height ? c->height : src->height;

    job = ((void* (*)(void))g_make)();
    if (!job) {
        Fail(c->name, "_NEW_AVIENCWRAPPER answered null");
        return;
    }
    memset(&cb, 0, sizeof cb);
    cb.vtable = kCallbackTable;
    pthread_mutex_init(&cb.lock, NULL);
    cb.job = job;
    cb.progressInOrder = 1;
    cb.lastProgress = -1;
    cb.cancelAfter = c->cancelAfter;
    cb.path = out;
    cb.wav = wav;
    cb.framesAtFinish = -1;

    if (!SLOT(job, kSetSourceFile, SetStringBoolFn)(job, src->path)) Fail(c->name, "SetSourceFile");
    SLOT(job, kSetTargetFile, SetStringFn)(job, out);
    SLOT(job, kSetPreviewWindow, SetPtrFn)(job, NULL);
    if (!SLOT(job, kSetCodecFamily, SetIntBoolFn)(job, 1)) Fail(c->name, "SetCodecFamily");
    SLOT(job, kSetCallback, SetPtrFn)(job, &cb);
    if (!SLOT(job, kSetAudioType, SetIntBoolFn)(job, c->audioType)) Fail(c->name, "SetAudioType");
    if (c->audioType == 3 && !SLOT(job, kChooseDefaultAudioFormat, SetIntBoolFn)(job, c->sampleRate))
        Fail(c->name, "no codec format at %d Hz", c->sampleRate);
    if (c->codec) {
        SLOT(job, kSetVideoCodec, SetU32Fn)(job, FourCC(c->codec));
        SLOT(job, kStartDirectWithCodec, StartFn)(job, c->width, c->height, c->rateIndex, c->sampleRate);
    } else {
        SLOT(job, kStartDirect, StartFn)(job, c->width, c->height, c->rateIndex, c->sampleRate);
    }
    if (!c->releaseWhileRunning && !SLOT(job, kWaitForWorker, SetIntBoolFn)(job, -1)) Fail(c->name, "WaitForWorker");
    if (c->cancelAfter) {
        /* Stopped after the frame in hand; the file is complete before the release. */
        total = c->cancelAfter + 1;
        if (cb.finished || cb.messages != 1 || strcmp(cb.text, "User Canceled") != 0)
            Fail(c->name, "cancel gave finished=%d messages=%d last='%s'", cb.finished, cb.messages, cb.text);
    }
    if (!c->cancelAfter && c->releaseWhileRunning) {
        /* Release waits for the worker, which finishes. */
        SLOT(job, kRelease, ReleaseFn)(job);
        job = NULL;
    }
    if (!c->cancelAfter) {
        if (cb.finished != 1 || cb.messages != 0)
            Fail(c->name, "finished=%d messages=%d last='%s'", cb.finished, cb.messages, cb.text);
        if (cb.progressCalls != total || !cb.progressInOrder)
            Fail(c->name, "%d progress calls for %d frames (in order %d)", cb.progressCalls, total,
                 cb.progressInOrder);
        if (cb.framesAtFinish != total || !cb.cleanAtFinish)
            Fail(c->name, "while OnFinished ran: %d of %d frames decoded, %s", cb.framesAtFinish, total,
                 cb.cleanAtFinish ? "clean" : cb.errorsAtFinish);
    }

    /* Video: handler, size, scale 1000 / rate, frame count, a clean decode. */
    avitest_probe_stream(out, "v:0", info, sizeof info);
    avitest_field(info, "codec_tag_string", v, sizeof v);
    if (strcmp(v, c->codec ? c->codec : "DIVX") != 0) Fail(c->name, "video handler '%s'", v);
    avitest_field(info, "codec_name", v, sizeof v);
    if (strcmp(v, "mpeg4") != 0 && strcmp(v, "msmpeg4v3") != 0) Fail(c->name, "video codec '%s'", v);
    avitest_field(info, "width", v, sizeof v);
    avitest_field(info, "height", a, sizeof a);
    if (atoi(v) != expectW || atoi(a) != expectH) Fail(c->name, "size %sx%s, not %dx%d", v, a, expectW, expectH);
    {
        unsigned g = Gcd(1000, kRateField[c->rateIndex]);
        char want[64];
        snprintf(want, sizeof want, "%u/%u", 1000 / g, kRateField[c->rateIndex] / g);
        avitest_field(info, "time_base", v, sizeof v);
        if (strcmp(v, want) != 0) Fail(c->name, "time base %s, not %s", v, want);
    }
    avitest_field(info, "nb_frames", v, sizeof v);
    if (atoi(v) != total) Fail(c->name, "header counts %s frames, not %d", v, total);
    if (avitest_decoded_video_frames(out) != total) Fail(c->name, "%d frames decoded, not %d", avitest_decoded_video_frames(out), total);
    if (!avitest_decodes_cleanly(out, err, sizeof err)) Fail(c->name, "decode: %s", err);
    videoSeconds = total / fps;

    /* Sound. */
    streams = avitest_stream_count(out);
    if (c->audioType == 0 || c->audioType == 1) {
        if (streams != 1) Fail(c->name, "%d streams, not the video alone", streams);
    } else if (streams != 2) {
        Fail(c->name, "%d streams, not video and sound", streams);
    }
    if (c->audioType == 1) {
        if (!avitest_file_exists(wav)) {
            Fail(c->name, "no WAV file beside");
        } else {
            avitest_probe_stream(wav, "a:0", info, sizeof info);
            avitest_field(info, "codec_name", v, sizeof v);
            avitest_field(info, "sample_rate", a, sizeof a);
            if (strcmp(v, "pcm_s16le") != 0 || atoi(a) != 44100) Fail(c->name, "WAV holds %s at %s Hz", v, a);
            avitest_field(info, "channels", v, sizeof v);
            if (atoi(v) != 2) Fail(c->name, "WAV has %s channels", v);
            if (!c->cancelAfter && fabs(cb.wavSecondsAtFinish - videoSeconds) > 1.0 / fps)
                Fail(c->name, "while OnFinished ran the WAV held %.4f s", cb.wavSecondsAtFinish);
            if (fabs(avitest_decoded_audio_seconds(wav, 44100) - videoSeconds) > 1.0 / fps)
                Fail(c->name, "WAV lasts %.4f s, pictures %.4f s", avitest_decoded_audio_seconds(wav, 44100), videoSeconds);
        }
    } else if (avitest_file_exists(wav)) {
        Fail(c->name, "a WAV file beside for audio type %d", c->audioType);
    }
    if (c->audioType >= 2 && streams == 2) {
        double secs;
        avitest_probe_stream(out, "a:0", info, sizeof info);
        avitest_field(info, "sample_rate", v, sizeof v);
        if (atoi(v) != c->sampleRate) Fail(c->name, "sound at %s Hz, not %d", v, c->sampleRate);
        avitest_field(info, "channels", v, sizeof v);
        if (atoi(v) != 2) Fail(c->name, "%s channels", v);
        avitest_field(info, "codec_tag", v, sizeof v);
        avitest_field(info, "codec_name", a, sizeof a);
        if (c->audioType == 2) {
            /* MP3 at the stored (here default) 192 kbit/s. */
            if (strtol(v, NULL, 16) != 0x55 || strcmp(a, "mp3") != 0) Fail(c->name, "sound %s (%s), not MP3", a, v);
            avitest_field(info, "bit_rate", v, sizeof v);
            if (atoi(v) != 192000) Fail(c->name, "MP3 at %s bit/s", v);
        } else {
            /* The first compressed format the codecs offer for 16-bit stereo. */
            if (strtol(v, NULL, 16) != 0x0002 || strcmp(a, "adpcm_ms") != 0)
                Fail(c->name, "sound %s (%s), not Microsoft ADPCM", a, v);
        }
        secs = avitest_decoded_audio_seconds(out, c->sampleRate);
        if (fabs(secs - videoSeconds - avitest_first_picture_seconds(out)) > 1.0 / fps)
            Fail(c->name, "sound lasts %.4f s, pictures %.4f s from %.4f s", secs, videoSeconds,
                 avitest_first_picture_seconds(out));
    }

    if (g_mediainfo) MediaInfoAgrees(c, out, wav, total, fps);

    if (job) SLOT(job, kRelease, ReleaseFn)(job);
    pthread_mutex_destroy(&cb.lock);
    printf("%-22s %3d frames %s\n", c->name, total, g_failures ? "(failures so far)" : "ok");
}

/* Frame count, frame rate and size of a source, as ffprobe counts them. */
static int Describe(Source* s) {
    char info[8192], f[64];
    int num = 0, den = 1;
    avitest_probe_stream(s->path, "v:0", info, sizeof info);
    s->frames = avitest_decoded_video_frames(s->path);
    avitest_field(info, "width", f, sizeof f);
    s->width = atoi(f);
    avitest_field(info, "height", f, sizeof f);
    s->height = atoi(f);
    avitest_field(info, "r_frame_rate", f, sizeof f);
    if (sscanf(f, "%d/%d", &num, &den) != 2 || den == 0) return 0;
    s->fps = (double)num / den;
    return s->frames > 0 && s->fps > 0;
}

int main(int argc, char** argv) {
    void* lib;
    char cmd[2048], src[512], cut[512];
    Source gen, real;
    size_t i;

    if (!avitest_have_tool("ffmpeg") || !avitest_have_tool("ffprobe")) {
        printf("c_avi_job: ffmpeg/ffprobe not installed, skipped\n");
        return 77;
    }
    MakeScratchDir(g_dir, sizeof g_dir, "c-avi");
    g_mediainfo = avitest_have_tool("mediainfo");
    if (!g_mediainfo) printf("no mediainfo: FFmpeg's reading only\n");
    /* The MP3 settings come from a store of our own: the defaults. */
    setenv("XDG_CONFIG_HOME", g_dir, 1);

    lib = OpenLibrary(argc > 1 ? argv[1] : NULL);
    g_make = Export(lib, "_NEW_AVIENCWRAPPER");

    /* The compressor list holds both of the family. */
    {
        void* job = ((void* (*)(void))g_make)();
        char name[256];
        uint32_t h = 0;
        int n, divx = 0, xvid = 0;
        for (n = 0; n < 100 && SLOT(job, kEnumVideoCodec, EnumFn)(job, n, name, &h); ++n) {
            if (h == FourCC("DIVX")) divx = 1;
            if (h == FourCC("XVID")) xvid = 1;
            if (strlen(name) > 255) Fail("list", "description longer than 255 bytes");
        }
        if (!divx || !xvid) Fail("list", "DIVX %d XVID %d among %d compressors", divx, xvid, n);
        SLOT(job, kRelease, ReleaseFn)(job);
    }

    /* A generated source: 2 s of pictures at 25 fps and a stereo tone. */
    snprintf(src, sizeof src, "%s/source.mkv", g_dir);
    snprintf(cmd, sizeof cmd,
             "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i "
             "sine=frequency=440:sample_rate=44100 -t 2 -c:v mpeg4 -q:v 3 -c:a pcm_s16le -ac 2 '%s'",
             src);
    if (avitest_run(cmd, NULL, 0) != 0) {
        fprintf(stderr, "cannot make the source\n");
        return 1;
    }
    gen.path = src;
    if (!Describe(&gen)) {
        fprintf(stderr, "cannot describe the source\n");
        return 1;
    }
    {
        static const Case cases[] = {
            {"divx_none", NULL, 0, 2, 44100, 0, 0, 0, 0},
            {"divx_pcm", NULL, 1, 3, 44100, 0, 0, 0, 0},
            {"divx_mp3_48k", NULL, 2, 2, 48000, 160, 120, 0, 0},
            {"divx_mp3_32k", NULL, 2, 4, 32000, 0, 0, 0, 0},
            {"divx_acm", NULL, 3, 0, 44100, 0, 0, 0, 0},
            {"xvid_none", "XVID", 0, 1, 44100, 0, 0, 0, 0},
            {"xvid_pcm", "XVID", 1, 2, 44100, 96, 64, 0, 0},
            {"xvid_mp3", "XVID", 2, 3, 44100, 0, 0, 0, 0},
            {"xvid_acm_48k", "XVID", 3, 2, 48000, 0, 0, 0, 0},
            {"divx_mp3_cancel", NULL, 2, 2, 44100, 0, 0, 7, 0},
            {"divx_mp3_release", NULL, 2, 2, 44100, 0, 0, 0, 1},
        };
        for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) Convert(&gen, &cases[i]);
    }

    /* Footage: a few seconds of it, with each kind of sound. */
    if (argc > 2 && avitest_file_exists(argv[2])) {
        snprintf(cut, sizeof cut, "%s/footage.webm", g_dir);
        snprintf(cmd, sizeof cmd, "ffmpeg -nostdin -v error -y -t 3 -i '%s' -c copy '%s'", argv[2], cut);
        real.path = cut;
        if (avitest_run(cmd, NULL, 0) != 0 || !Describe(&real)) {
            Fail("footage", "cannot cut the footage");
        } else {
            static const Case cases[] = {
                {"footage_divx_mp3", NULL, 2, 3, 48000, 320, 180, 0, 0},
                {"footage_xvid_pcm", "XVID", 1, 2, 44100, 320, 180, 0, 0},
                {"footage_divx_acm", NULL, 3, 0, 44100, 320, 180, 0, 0},
                {"footage_xvid_none", "XVID", 0, 4, 44100, 320, 180, 0, 0},
            };
            for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) Convert(&real, &cases[i]);
        }
    } else {
        printf("no footage: generated sources only\n");
    }

    dlclose(lib);
    if (g_failures == 0) {
        snprintf(cmd, sizeof cmd, "rm -rf '%s'", g_dir);
        avitest_run(cmd, NULL, 0);
    } else {
        fprintf(stderr, "files kept in %s\n", g_dir);
    }
    return Finish("c_avi_job");
}
