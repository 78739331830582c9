/* The media probe as the program sees it: knows only the engine's tables and
 * records. Loads the engine with dlopen, creates MEDIAGETINFO through its
 * exported factory and calls Open, GetVideoInfo, GetAudioInfo and GetInfoText by
 * slot index on files made here with ffmpeg: AVIs of several codecs and bit
 * depths, MP4, MOV, WMV, MPEG-1 and MPEG-2 program streams, SWF, WAV, MP3 and
 * broken files. For each it checks the media type line, the records (fields
 * known from how the file was made, and the record layout: every byte after a
 * text's end is zero) and the information text byte for byte, rebuilt here from
 * the records with the text's own format strings. With a second argument it also
 * runs `reelcast-cli info` on every file and expects the same text in Unix lines.
 *
 *   c_probe_test path/to/libOmbrixDll.so [path/to/reelcast-cli]
 */
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CTestSupport.h"

typedef struct VideoStreamInfo {
    uint8_t present;
    uint32_t frameCount;
    float frameRate;
    int32_t width;
    int32_t height;
    int32_t bitCount;
    char fourCC[5];
    char codec[128];
    char description[128];
} VideoStreamInfo;

typedef struct AudioStreamInfo {
    uint8_t present;
    uint32_t channels;
    uint32_t sampleRate;
    uint32_t bitRate;
    uint32_t blockAlign;
    uint16_t formatTag;
    char codec[128];
    char description[128];
} AudioStreamInfo;

/* Natural alignment, as across the library boundary. */
_Static_assert(offsetof(VideoStreamInfo, frameCount) == 4, "layout");
_Static_assert(offsetof(VideoStreamInfo, fourCC) == 24, "layout");
_Static_assert(offsetof(VideoStreamInfo, description) == 157, "layout");
_Static_assert(sizeof(VideoStreamInfo) == 288, "layout");
_Static_assert(offsetof(AudioStreamInfo, formatTag) == 20, "layout");
_Static_assert(offsetof(AudioStreamInfo, codec) == 22, "layout");
_Static_assert(sizeof(AudioStreamInfo) == 280, "layout");

typedef void (*ReleaseFn)(void*);
typedef _Bool (*BoolFn)(void*);
typedef _Bool (*OpenFn)(void*, const char*, _Bool);
typedef void (*GetVideoFn)(void*, VideoStreamInfo*);
typedef void (*GetAudioFn)(void*, AudioStreamInfo*);
typedef const char* (*GetTextFn)(void*);

static char g_dir[256];
static const char* g_cli = NULL;

/* Expected values; -1 (or NULL) leaves a field unchecked. */
typedef struct Case {
    const char* name;
    const char* make; /* ffmpeg arguments producing the file, NULL: made by hand */
    int ok;           /* what Open answers */
    const char* type; /* media type name, NULL for no media type line */
    int video;        /* present */
    int width, height, bitCount, frameMin, frameMax;
    const char* rate; /* FrameRate as the text shows it */
    const char* fourCC;
    int codecNamed; /* 1: codec must not be empty, 0: must be empty */
    int audio;
    int channels, sampleRate, bitRate, blockAlign, formatTag;
    int damaged; /* 1: only the answer, the media type line and the text are checked */
} Case;

#define V(w, h, bits, fmin, fmax, rate, cc, named) 1, w, h, bits, fmin, fmax, rate, cc, named
#define NOV 0, -1, -1, -1, -1, -1, NULL, NULL, -1
#define A(ch, sr, br, ba, tag) 1, ch, sr, br, ba, tag, 0
#define NOA 0, -1, -1, -1, -1, -1, 0
#define DAMAGED 0, -1, -1, -1, -1, -1, 1

static const char* kVid = "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1";
static const char* kSine = "-f lavfi -i sine=f=440:r=44100:d=1";

static const Case kCases[] = {
    /* AVI: uncompressed 24, 32 and 8 bits; compressed with MP3 and PCM sound of
     * 16 and 8 bits. */
    {"rgb24.avi", "-f lavfi -i testsrc2=size=90x60:rate=25:duration=1 -c:v rawvideo -pix_fmt bgr24",
     1, "AVI", V(90, 60, 24, 25, 25, "25.00", "", 0), NOA},
    {"rgb32.avi", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -c:v rawvideo -pix_fmt bgra",
     1, "AVI", V(64, 48, 32, 25, 25, "25.00", "", 0), NOA},
    {"pal8.avi", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -c:v rawvideo -pix_fmt pal8",
     1, "AVI", V(64, 48, 8, 25, 25, "25.00", "", 0), NOA},
    {"xvid_mp3.avi", "%V %S -ac 2 -c:v libxvid -vtag XVID -c:a libmp3lame -b:a 128k", 1, "AVI",
     V(160, 120, 24, 25, 26, "25.00", "XVID", 1), A(2, 44100, -1, -1, 0x55)},
    {"mjpeg_pcm.avi", "%V -f lavfi -i sine=f=440:r=22050:d=1 -ac 2 -c:v mjpeg -c:a pcm_s16le", 1, "AVI",
     V(160, 120, 24, 25, 25, "25.00", "MJPG", 1), A(2, 22050, 705600, 4, 1)},
    {"div3_u8.avi", "%V -f lavfi -i sine=f=440:r=11025:d=1 -c:v msmpeg4 -vtag DIV3 -c:a pcm_u8", 1, "AVI",
     V(160, 120, 24, 25, 25, "25.00", "DIV3", 1), A(1, 11025, 88200, 1, 1)},
    {"ntsc.avi", "-f lavfi -i testsrc2=size=64x48:rate=30000/1001:duration=1 -c:v mjpeg", 1, "AVI",
     V(64, 48, 24, 30, 30, "29.97", "MJPG", 1), NOA},
    /* Other containers go through DirectShow. */
    {"h264.mp4", "%V -c:v libx264 -pix_fmt yuv420p", 1, "Unknown",
     V(160, 120, 24, 25, 25, "25.00", "avc1", 1), NOA},
    {"h264_aac.mov", "%V %S -c:v libx264 -pix_fmt yuv420p -c:a aac -f mov", 1, "Unknown",
     V(160, 120, 24, 25, 25, "25.00", "avc1", 1), A(1, 44100, -1, -1, -1)},
    {"video.wmv", "%V %S -ac 2 -c:v wmv2 -c:a wmav2 -b:a 128k -f asf", 1, "Asf(WMV)",
     V(160, 120, 24, 25, 28, "25.00", "WMV2", 1), A(2, 44100, 128000, -1, 0x161)},
    {"mpeg1.mpg", "%V %S -c:v mpeg1video -c:a mp2 -b:a 192k -f mpeg", 1, "Mpeg",
     V(160, 120, 24, 25, 25, "25.00", "MPG1", 1), A(1, 44100, 192000, -1, 0x50)},
    {"ntsc.mpg", "-f lavfi -i testsrc2=size=176x120:rate=30000/1001:duration=1 -c:v mpeg1video -f mpeg",
     1, "Mpeg", V(176, 120, 24, 29, 30, "29.97", "MPG1", 1), NOA},
    {"mpeg2.mpg", "%V -f lavfi -i sine=f=440:r=48000:d=1 -c:v mpeg2video -c:a mp2 -b:a 224k -f vob", 1,
     "Mpeg2", V(160, 120, 24, 25, 25, "25.00", "MPG2", 1), A(1, 48000, 224000, -1, 0x50)},
    {"flash.swf", "%V %S -c:v flv1 -c:a libmp3lame -b:a 64k -f swf", 1, "Unknown",
     V(160, 120, 24, 25, 25, "25.00", "FLV1", 1), A(1, 44100, 64000, -1, 0x55)},
    {"stereo.wav", "%S -ac 2 -c:a pcm_s16le", 1, "Wave", NOV, A(2, 44100, 1411200, 4, 1)},
    {"tone.mp3", "%S -ac 2 -c:a libmp3lame -b:a 128k", 1, "Mpeg Audio(Mp3)", NOV,
     A(2, 44100, 128000, -1, 0x55)},
    /* Broken files: nothing recognised, no media type line. */
    {"empty.avi", NULL, 0, NULL, NOV, NOA},
    {"random.avi", NULL, 0, NULL, NOV, NOA},
    {"truncated.avi", NULL, 0, NULL, NOV, NOA},
    {"riff_only.avi", NULL, 0, NULL, NOV, NOA},
    {"a_folder.avi", NULL, 0, NULL, NOV, NOA},
    {"missing.avi", NULL, 0, NULL, NOV, NOA},
    {"cut.mp4", NULL, 0, NULL, NOV, NOA},
    /* Damaged but readable: described as far as it can be, and nothing else is
     * printed (the decoders' complaints stay quiet). */
    {"damaged.avi", NULL, 1, "AVI", NOV, DAMAGED},
};

static int Run(const char* cmd) { return system(cmd) == 0; }

/* Replaces %V and %S in the recipe and runs ffmpeg. */
static int MakeFile(const Case* c, const char* path) {
    char args[1024] = "";
    for (const char* p = c->make; *p;) {
        size_t n = strlen(args);
        if (p[0] == '%' && (p[1] == 'V' || p[1] == 'S')) {
            snprintf(args + n, sizeof args - n, "%s", p[1] == 'V' ? kVid : kSine);
            p += 2;
        } else {
            if (n + 1 < sizeof args) { args[n] = *p; args[n + 1] = '\0'; }
            ++p;
        }
    }
    char cmd[1400];
    snprintf(cmd, sizeof cmd, "ffmpeg -nostdin -v error -y %s '%s'", args, path);
    return Run(cmd);
}

static void WriteBytes(const char* path, const void* data, size_t n) {
    FILE* f = fopen(path, "wb");
    if (!f) return;
    if (n) fwrite(data, 1, n, f);
    fclose(f);
}

static void MakeBroken(const char* name, const char* path) {
    if (strcmp(name, "empty.avi") == 0) {
        WriteBytes(path, "", 0);
    } else if (strcmp(name, "random.avi") == 0) {
        unsigned char b[4096];
        unsigned x = 12345;
        for (size_t i = 0; i < sizeof b; ++i) { x = x * 1103515245u + 12345u; b[i] = (unsigned char)(x >> 16); }
        WriteBytes(path, b, sizeof b);
    } else if (strcmp(name, "truncated.avi") == 0) {
        /* The head of a real AVI: headers promise streams whose data is gone. */
        char src[300], cmd[1024];
        snprintf(src, sizeof src, "%s/xvid_mp3.avi", g_dir);
        snprintf(cmd, sizeof cmd, "head -c 600 '%s' > '%s'", src, path);
        Run(cmd);
    } else if (strcmp(name, "riff_only.avi") == 0) {
        static const unsigned char riff[] = {'R', 'I', 'F', 'F', 0xff, 0xff, 0xff, 0x7f, 'A', 'V', 'I', ' ',
                                             'L', 'I', 'S', 'T', 0xf0, 0xff, 0xff, 0xff, 'h', 'd', 'r', 'l'};
        WriteBytes(path, riff, sizeof riff);
    } else if (strcmp(name, "a_folder.avi") == 0) {
        mkdir(path, 0700);
    } else if (strcmp(name, "cut.mp4") == 0 || strcmp(name, "damaged.avi") == 0) {
        /* An MP4 cut before its index; an AVI whose pictures are overwritten with
         * noise past its headers. */
        const int mp4 = name[0] == 'c';
        char src[300];
        snprintf(src, sizeof src, "%s/%s", g_dir, mp4 ? "h264.mp4" : "xvid_mp3.avi");
        FILE* f = fopen(src, "rb");
        if (!f) return;
        static unsigned char b[1 << 20];
        size_t n = fread(b, 1, sizeof b, f);
        fclose(f);
        if (mp4) {
            n = n / 2;
        } else {
            size_t movi = 12;
            while (movi + 4 < n && memcmp(b + movi, "movi", 4) != 0) ++movi;
            unsigned x = 777;
            for (size_t i = movi + 64; i < n; i += 7) { x = x * 1103515245u + 12345u; b[i] = (unsigned char)(x >> 16); }
        }
        WriteBytes(path, b, n);
    }
}

/* The information text built from the records with the text's format strings. */
static void ExpectedText(const char* typeLine, int aviOrDs, const VideoStreamInfo* v,
                         const AudioStreamInfo* a, char* out, size_t size) {
    if (!aviOrDs) {
        snprintf(out, size, "Can't recognise the this media file!");
        return;
    }
    size_t n = (size_t)snprintf(out, size, "%s", typeLine);
    if (v->present) {
        n += (size_t)snprintf(out + n, size - n, "VideoInfo:\r\n");
        n += (size_t)snprintf(out + n, size - n,
                              "    Picture Information:\r\n    Width: %d    Height: %d\r\n    BitCount: %d\r\n\r\n"
                              "    Media Information:\r\n    Total Frame: %d   FrameRate:%.2f\r\n\r\n"
                              "    fccHandler: %s\r\n    Codec: %s\r\n    Description:%s\r\n",
                              v->width, v->height, v->bitCount, (int)v->frameCount, (double)v->frameRate,
                              v->fourCC, v->codec, v->description);
    } else {
        n += (size_t)snprintf(out + n, size - n, "    No video");
    }
    n += (size_t)snprintf(out + n, size - n, "\r\n");
    if (a->present) {
        n += (size_t)snprintf(out + n, size - n, "AudioInfo:\r\n");
        snprintf(out + n, size - n,
                 "    SampleRate: %d    BitRate: %d\r\n    Channels: %d   BlockAlign:%d\r\n\r\n"
                 "    Codec: %s\r\n    Description: %s",
                 (int)a->sampleRate, (int)a->bitRate, (int)a->channels, (int)a->blockAlign, a->codec,
                 a->description);
    } else {
        snprintf(out + n, size - n, "    No audio");
    }
}

/* A text field: terminated inside the field and zero after its end (the record
 * is zero-filled before the probe). */
static void CheckField(const char* file, const char* what, const char* f, size_t size) {
    const char* end = memchr(f, '\0', size);
    if (!end) {
        Fail(file, "%s is not terminated", what);
        return;
    }
    for (const char* p = end; p < f + size; ++p) {
        if (*p) {
            Fail(file, "%s has bytes after its end", what);
            return;
        }
    }
}

static int IsZero(const void* p, size_t n) {
    const unsigned char* b = p;
    for (size_t i = 0; i < n; ++i)
        if (b[i]) return 0;
    return 1;
}

static void CheckCli(const Case* c, const char* path, int ok, const char* text) {
    char cmd[2048];
    snprintf(cmd, sizeof cmd, "'%s' info '%s' 2>&1", g_cli, path);
    FILE* p = popen(cmd, "r");
    if (!p) {
        Fail(c->name, "cannot run reelcast-cli");
        return;
    }
    static char got[4096];
    size_t n = fread(got, 1, sizeof got - 1, p);
    got[n] = '\0';
    const int status = pclose(p);
    /* The same text in Unix lines, ending with a line end. */
    static char want[4096];
    size_t m = 0;
    for (const char* s = text; *s && m + 2 < sizeof want; ++s) {
        if (s[0] == '\r' && s[1] == '\n') continue;
        want[m++] = *s;
    }
    if (m == 0 || want[m - 1] != '\n') want[m++] = '\n';
    want[m] = '\0';
    /* A file that cannot be described gets the cause the command line sees in
     * one line of its own after the text. */
    if (!ok) {
        char prefix[700];
        snprintf(prefix, sizeof prefix, "reelcast-cli: %s: ", path);
        char* cause = strncmp(got, want, m) == 0 ? got + m : NULL;
        if (!cause || strncmp(cause, prefix, strlen(prefix)) != 0 || strchr(cause, '\n') != cause + strlen(cause) - 1)
            Fail(c->name, "reelcast-cli info gave no cause line after the text:\n%s", got);
        else
            *cause = '\0';
    }
    if (strcmp(got, want) != 0) Fail(c->name, "reelcast-cli info printed\n%s\ninstead of\n%s", got, want);
    if ((status == 0) != ok) Fail(c->name, "reelcast-cli info exit status %d", status);
}

static void CheckCase(void* probe, void** vt, const Case* c) {
    char path[600];
    if (strcmp(c->name, "missing.avi") == 0) {
        snprintf(path, sizeof path, "%s/not/there.avi", g_dir);
    } else {
        snprintf(path, sizeof path, "%s/%s", g_dir, c->name);
        if (c->make) {
            if (!MakeFile(c, path)) {
                Fail(c->name, "ffmpeg could not make it");
                return;
            }
        } else {
            MakeBroken(c->name, path);
        }
    }

    const int ok = ((OpenFn)vt[4])(probe, path, 0);
    VideoStreamInfo v;
    AudioStreamInfo a;
    memset(&v, 0xAB, sizeof v);
    memset(&a, 0xAB, sizeof a);
    ((GetVideoFn)vt[5])(probe, &v);
    ((GetAudioFn)vt[6])(probe, &a);
    const char* text = ((GetTextFn)vt[7])(probe);
    if (!text) {
        Fail(c->name, "no text");
        return;
    }
    if (ok != c->ok) Fail(c->name, "Open answered %d", ok);

    char typeLine[64] = "";
    if (c->type) snprintf(typeLine, sizeof typeLine, "Media Type: %s\r\n\r\n", c->type);
    if (strncmp(text, typeLine, strlen(typeLine)) != 0) Fail(c->name, "media type line of '%s'", text);

    if (!c->ok) {
        if (!IsZero(&v, sizeof v) || !IsZero(&a, sizeof a)) Fail(c->name, "records not cleared");
    } else if (!c->damaged) {
        CheckField(c->name, "fourCC", v.fourCC, sizeof v.fourCC);
        CheckField(c->name, "video codec", v.codec, sizeof v.codec);
        CheckField(c->name, "video description", v.description, sizeof v.description);
        CheckField(c->name, "audio codec", a.codec, sizeof a.codec);
        CheckField(c->name, "audio description", a.description, sizeof a.description);
        if (v.present != c->video) Fail(c->name, "video present %d", v.present);
        if (c->video) {
            char rate[32];
            snprintf(rate, sizeof rate, "%.2f", (double)v.frameRate);
            if (v.width != c->width || v.height != c->height) Fail(c->name, "size %dx%d", v.width, v.height);
            if (v.bitCount != c->bitCount) Fail(c->name, "bitCount %d", v.bitCount);
            if ((int)v.frameCount < c->frameMin || (int)v.frameCount > c->frameMax)
                Fail(c->name, "frameCount %u", v.frameCount);
            if (strcmp(rate, c->rate) != 0) Fail(c->name, "frameRate %s", rate);
            if (strcmp(v.fourCC, c->fourCC) != 0) Fail(c->name, "fourCC '%s'", v.fourCC);
            if ((v.codec[0] != '\0') != c->codecNamed) Fail(c->name, "video codec '%s'", v.codec);
        } else if (!IsZero(&v, sizeof v)) {
            Fail(c->name, "absent video has a filled record");
        }
        /* 29.97 is found as 2997 x 0.01 from the time per frame. */
        if (strcmp(c->name, "ntsc.mpg") == 0 && v.frameRate != (float)(2997 * 0.01))
            Fail(c->name, "frameRate %.9g is not 2997 x 0.01", (double)v.frameRate);
        if (a.present != c->audio) Fail(c->name, "audio present %d", a.present);
        if (c->audio) {
            if (c->channels >= 0 && (int)a.channels != c->channels) Fail(c->name, "channels %u", a.channels);
            if (c->sampleRate >= 0 && (int)a.sampleRate != c->sampleRate) Fail(c->name, "rate %u", a.sampleRate);
            if (c->bitRate >= 0 && (int)a.bitRate != c->bitRate) Fail(c->name, "bitRate %u", a.bitRate);
            if (c->blockAlign >= 0 && (int)a.blockAlign != c->blockAlign)
                Fail(c->name, "blockAlign %u", a.blockAlign);
            if (c->formatTag >= 0 && a.formatTag != c->formatTag) Fail(c->name, "formatTag 0x%x", a.formatTag);
            if (a.codec[0] == '\0') Fail(c->name, "audio codec unnamed");
        } else if (!IsZero(&a, sizeof a)) {
            Fail(c->name, "absent audio has a filled record");
        }
    }

    /* A damaged file's text shows the header values the records do not carry. */
    static char want[2048];
    ExpectedText(typeLine, c->ok, &v, &a, want, sizeof want);
    if (c->damaged) snprintf(want, sizeof want, "%s", text);
    if (strcmp(text, want) != 0) Fail(c->name, "text\n%s\ninstead of\n%s", text, want);
    /* The text is rebuilt on every call, the same each time. */
    if (strcmp(((GetTextFn)vt[7])(probe), want) != 0) Fail(c->name, "second GetInfoText differs");
    if (g_cli) CheckCli(c, path, c->ok, want);
}

int main(int argc, char** argv) {
    void* lib = OpenLibrary(argc > 1 ? argv[1] : NULL);
    if (argc > 2) g_cli = argv[2];
    MakeScratchDir(g_dir, sizeof g_dir, "c-probe");

    /* One probe for every file: each Open starts from nothing. */
    void* probe = NewObject(lib, "_NEW_MEDIAGETINFO");
    void** vt = *(void***)probe;
    if (!((BoolFn)vt[3])(probe)) Fail("table", "IsReady answered false");
    /* Before any file: both back-ends count as good and their records are empty. */
    if (strcmp(((GetTextFn)vt[7])(probe), "    No video\r\n    No audio") != 0)
        Fail("table", "text before Open '%s'", ((GetTextFn)vt[7])(probe));
    for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) CheckCase(probe, vt, &kCases[i]);

    /* A path of 260 characters or more is no file for either back-end. */
    {
        char longPath[300];
        memset(longPath, 'a', sizeof longPath);
        memcpy(longPath, g_dir, strlen(g_dir));
        longPath[strlen(g_dir)] = '/';
        longPath[299] = '\0';
        if (((OpenFn)vt[4])(probe, longPath, 0)) Fail("long path", "Open answered true");
        if (strcmp(((GetTextFn)vt[7])(probe), "Can't recognise the this media file!") != 0)
            Fail("long path", "text '%s'", ((GetTextFn)vt[7])(probe));
    }
    ((ReleaseFn)vt[1])(probe);

    char cmd[300];
    snprintf(cmd, sizeof cmd, "rm -rf '%s'", g_dir);
    Run(cmd);
    dlclose(lib);
    return Finish("c_probe");
}
