/* The nlame_* functions over libmp3lame.
 *
 * The engine binds these by name at run time and drives the encoder through
 * numbered variables (nlame_var_set_int), so the numbering below is this
 * library's contract with its caller. Variables the caller sets but that LAME
 * has no use for are accepted and ignored. Every function tolerates a null
 * handle. All functions use the C calling convention and may be called from any
 * thread, one handle per thread at a time. */
#include <lame/lame.h>
#include <stdarg.h>

#define NLAME_API __attribute__((visibility("default")))

/* Variable numbers of nlame_var_set_int / nlame_var_get_int. */
enum {
    NLAME_BITRATE = 0,         /* kbit/s */
    NLAME_QUALITY = 1,         /* 1 (best) .. 9 */
    NLAME_IN_SAMPLERATE = 2,   /* Hz */
    NLAME_MODE = 3,            /* 0 stereo, 1 joint stereo, 3 mono; others: LAME's choice */
    NLAME_CHANNELS = 4,        /* input channels */
    NLAME_OUT_SAMPLERATE = 5,  /* Hz */
    NLAME_COPYRIGHT = 7,
    NLAME_ORIGINAL = 8,
    NLAME_ERROR_PROTECTION = 9,
    NLAME_EXTENSION = 10,
    NLAME_LOWPASS = 17,        /* Hz; -1 no filter, 0 LAME's choice */
    NLAME_LOWPASS_WIDTH = 18,  /* Hz; -1 LAME's choice */
    NLAME_HIGHPASS = 19,       /* Hz; -1 no filter */
    NLAME_HIGHPASS_WIDTH = 20, /* Hz; -1 LAME's choice */
    NLAME_VBR = 21,            /* 0 constant bit rate, else LAME's default VBR */
    NLAME_VBR_QUALITY = 22,
    NLAME_VBR_MIN = 23,        /* kbit/s; 0 unset */
    NLAME_VBR_MAX = 24,        /* kbit/s; 0 unset */
    NLAME_DISABLE_RESERVOIR = 26,
    NLAME_START_DELAY = 40     /* read only: samples per channel by which the decoded
                                  sound trails the input; valid after nlame_init_params */
};

/* MP3 in AVI has no place for LAME's gapless information: every decoder plays
 * the encoder's start-up (LAME's encoder delay plus the 529-sample delay of the
 * decoder's filter banks) before the first input sample. The library keeps every
 * input sample and tells its caller that delay (NLAME_START_DELAY), so that the
 * caller can place the sound on its time line. */
#define NLAME_DECODER_DELAY 529

/* The output goes into AVI streams, where a Xing/LAME tag frame would decode as
 * an extra frame of silence, so it is never written. */
static void* make_handle(void) {
    lame_global_flags* gf = lame_init();
    if (gf) lame_set_bWriteVbrTag(gf, 0);
    return gf;
}

#define GF(h) ((lame_global_flags*)(h))

NLAME_API void* nlame_lame_new(void) { return make_handle(); }
NLAME_API void* nlame_new(void) { return make_handle(); }

NLAME_API void nlame_lame_delete(void* h) {
    if (h) lame_close(GF(h));
}
NLAME_API void nlame_delete(void* h) { nlame_lame_delete(h); }

/* x: 0 full version text, 1 short version, 2 project address. */
NLAME_API const char* nlame_lame_version_get(int x) {
    switch (x) {
    case 1: return get_lame_short_version();
    case 2: return get_lame_url();
    default: return get_lame_version();
    }
}
/* major * 1000 + minor: 3100 for LAME 3.100. */
NLAME_API int nlame_lame_version_get_num(void) {
    lame_version_t v;
    get_lame_version_numerical(&v);
    return v.major * 1000 + v.minor;
}
NLAME_API const char* nlame_lame_version_get_psy_num(void) { return get_psy_version(); }
NLAME_API const char* nlame_lame_string_get(int x) { return nlame_lame_version_get(x); }

NLAME_API int nlame_var_set_int(void* h, int id, int value) {
    lame_global_flags* gf = GF(h);
    if (!gf) return -1;
    switch (id) {
    case NLAME_BITRATE: return lame_set_brate(gf, value);
    case NLAME_QUALITY: return lame_set_quality(gf, value);
    case NLAME_IN_SAMPLERATE: return lame_set_in_samplerate(gf, value);
    case NLAME_MODE:
        if (value == 0) return lame_set_mode(gf, STEREO);
        if (value == 1) return lame_set_mode(gf, JOINT_STEREO);
        if (value == 3) return lame_set_mode(gf, MONO);
        return 0;
    case NLAME_CHANNELS: return lame_set_num_channels(gf, value);
    case NLAME_OUT_SAMPLERATE: return lame_set_out_samplerate(gf, value);
    case NLAME_COPYRIGHT: return lame_set_copyright(gf, value);
    case NLAME_ORIGINAL: return lame_set_original(gf, value);
    case NLAME_ERROR_PROTECTION: return lame_set_error_protection(gf, value);
    case NLAME_EXTENSION: return lame_set_extension(gf, value);
    case NLAME_LOWPASS: return lame_set_lowpassfreq(gf, value);
    case NLAME_LOWPASS_WIDTH: return lame_set_lowpasswidth(gf, value);
    case NLAME_HIGHPASS: return lame_set_highpassfreq(gf, value);
    case NLAME_HIGHPASS_WIDTH: return lame_set_highpasswidth(gf, value);
    case NLAME_VBR: return lame_set_VBR(gf, value ? vbr_default : vbr_off);
    case NLAME_VBR_QUALITY: return lame_set_VBR_q(gf, value);
    case NLAME_VBR_MIN: return value > 0 ? lame_set_VBR_min_bitrate_kbps(gf, value) : 0;
    case NLAME_VBR_MAX: return value > 0 ? lame_set_VBR_max_bitrate_kbps(gf, value) : 0;
    case NLAME_DISABLE_RESERVOIR: return lame_set_disable_reservoir(gf, value);
    default: return 0;
    }
}

NLAME_API int nlame_var_get_int(void* h, int id) {
    lame_global_flags* gf = GF(h);
    if (!gf) return -1;
    switch (id) {
    case NLAME_BITRATE: return lame_get_brate(gf);
    case NLAME_QUALITY: return lame_get_quality(gf);
    case NLAME_IN_SAMPLERATE: return lame_get_in_samplerate(gf);
    case NLAME_MODE: return (int)lame_get_mode(gf);
    case NLAME_CHANNELS: return lame_get_num_channels(gf);
    case NLAME_OUT_SAMPLERATE: return lame_get_out_samplerate(gf);
    case NLAME_LOWPASS: return lame_get_lowpassfreq(gf);
    case NLAME_HIGHPASS: return lame_get_highpassfreq(gf);
    case NLAME_START_DELAY: return lame_get_encoder_delay(gf) + NLAME_DECODER_DELAY;
    default: return 0;
    }
}

NLAME_API int nlame_init_params(void* h) { return h ? lame_init_params(GF(h)) : -1; }

/* kind 0: separate left and right 16-bit buffers, `pairs` samples each. Answers
 * the MP3 bytes placed in out (at most outSize) or a negative number. */
NLAME_API int nlame_encode_buffer(void* h, int kind, const short* left, const short* right,
                                  int pairs, unsigned char* out, int outSize) {
    if (!h || kind != 0 || pairs < 0 || !out || outSize < 0) return -1;
    if (pairs == 0) return 0;
    if (!left || !right) return -1;
    return lame_encode_buffer(GF(h), left, right, pairs, out, outSize);
}

/* Pushes out the samples still held inside the encoder, padding the last frame. */
NLAME_API int nlame_encode_flush(void* h, unsigned char* out, int outSize) {
    if (!h || !out || outSize < 0) return -1;
    return lame_encode_flush(GF(h), out, outSize);
}

/* kind 0: error messages, 1: debug messages, 2: other messages. */
NLAME_API int nlame_callback_set(void* h, int kind, lame_report_function f) {
    lame_global_flags* gf = GF(h);
    if (!gf) return -1;
    switch (kind) {
    case 0: return lame_set_errorf(gf, f);
    case 1: return lame_set_debugf(gf, f);
    case 2: return lame_set_msgf(gf, f);
    default: return -1;
    }
}
