/* Calls YUVUTL and YUVRGB the way a C program does: dlopen, factory, slots by
 * index; compares with a plain C rendering of the conversion formulas on
 * hand-made and random pictures. Run once as is and once with
 * REELCAST_FORCE_PORTABLE=1 so both kernel families face the same checks. */
#include <stdint.h>
#include <string.h>

#include "CTestSupport.h"

typedef struct {
    int32_t width, height, chromaFormat;
    uint8_t *y, *cb, *cr;
} Frame;

typedef void (*Fn_release)(void*);
typedef void (*Fn_scale)(void*, const Frame*, Frame*);
typedef void (*Fn_rgb2yuv)(void*, int32_t, int32_t, const uint8_t*, uint8_t*, uint8_t*, uint8_t*);
typedef unsigned char (*Fn_topacked)(void*, const Frame*, uint8_t**);

static void** vtable(void* obj) { return *(void***)obj; }

static uint32_t rng_state = 12345u;
static uint32_t rnd(void) { rng_state = rng_state * 1664525u + 1013904223u; return rng_state >> 8; }

static uint32_t T(int i, int v) {
    static const float c[8] = {65.481f, 128.553f, 24.966f, 37.797f, 74.203f, 112.0f, 93.786f, 18.214f};
    return (uint32_t)((double)(v * 256) * (double)c[i]);
}

static void ref_rgb2yuv(int w, int h, const uint8_t* rgb, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    int stride = (3 * w + 3) & ~3, r, x, k, j;
    uint32_t* fb = malloc(sizeof(uint32_t) * w * h);
    uint32_t* fr = malloc(sizeof(uint32_t) * w * h);
    for (r = 0; r < h; ++r)
        for (x = 0; x < w; ++x) {
            const uint8_t* p = rgb + (size_t)(h - 1 - r) * stride + 3 * x;
            int B = p[0], G = p[1], R = p[2];
            y[r * w + x] = (uint8_t)((T(0, R) + T(1, G) + T(2, B) + 16u * 65536u) >> 16);
            fb[r * w + x] = (128u * 65536u - T(3, R) - T(4, G) + T(5, B)) >> 16;
            fr[r * w + x] = (128u * 65536u + T(5, R) - T(6, G) - T(7, B)) >> 16;
        }
    if (h >= 2)
        for (k = 0; k < h / 2; ++k)
            for (j = 0; j < w / 2; ++j) {
                int a = 2 * k * w + 2 * j, b = a + w;
                cb[k * (w / 2) + j] = (uint8_t)((fb[a] + fb[a + 1] + fb[b] + fb[b + 1]) >> 2);
                cr[k * (w / 2) + j] = (uint8_t)((fr[a] + fr[a + 1] + fr[b] + fr[b + 1]) >> 2);
            }
    free(fb);
    free(fr);
}

static void ref_scale(const uint8_t* s, int sw, int sh, uint8_t* d, int dw, int dh) {
    double xs = (double)sw / dw, ys = (double)sh / dh, y = 0.0;
    int i, j;
    for (i = 0; i < dh; ++i, y += ys) {
        double x = 0.0;
        for (j = 0; j < dw; ++j, x += xs) {
            int yi = (int)y, fy = (int)((y - yi) * 256), xi = (int)x, fx = (int)((x - xi) * 256);
            int yn = yi + 1 > sh - 1 ? sh - 1 : yi + 1;
            int p00 = s[yi * sw + xi], p10 = s[yn * sw + xi];
            int p01 = xi < sw - 1 ? s[yi * sw + xi + 1] : p00, p11 = xi < sw - 1 ? s[yn * sw + xi + 1] : p10;
            d[i * dw + j] = (uint8_t)((p00 * (256 - fx) * (256 - fy) + p10 * (256 - fx) * fy + p01 * fx * (256 - fy) + p11 * fx * fy) >> 16);
        }
    }
}

static uint8_t lim(int v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

/* Full-size chroma of a 4:2:0 plane: horizontal, then vertical, last row copied. */
static uint8_t* ref_up(const uint8_t* c, int w, int h) {
    int cw = w / 2, ch = h / 2, k, j, r, x;
    uint8_t* f = malloc((size_t)w * h);
    for (k = 0; k < ch; ++k)
        for (j = 0; j < cw; ++j) {
            int a = c[k * cw + j], b = c[k * cw + (j + 1 < cw ? j + 1 : j)];
            f[2 * k * w + 2 * j] = (uint8_t)a;
            f[2 * k * w + 2 * j + 1] = (uint8_t)((a + b) >> 1);
        }
    for (r = 1; r < h; r += 2)
        for (x = 0; x < w; ++x)
            f[r * w + x] = r + 1 < h ? (uint8_t)((f[(r - 1) * w + x] + f[(r + 1) * w + x]) >> 1) : f[(r - 1) * w + x];
    return f;
}

static uint8_t* ref_bgr(const Frame* in, int bpp) {
    int w = in->width, h = in->height, r, x;
    uint8_t* u = ref_up(in->cb, w, h);
    uint8_t* v = ref_up(in->cr, w, h);
    uint8_t* out = calloc((size_t)w * h * bpp + 4, 1);
    for (r = 0; r < h; ++r)
        for (x = 0; x < w; ++x) {
            int i = r * w + x, L = (in->y[i] - 16) * 8192 + 4096, U = u[i] - 128, V = v[i] - 128;
            uint8_t* o = out + ((size_t)(h - 1 - r) * w + x) * bpp;
            o[0] = lim((L + 14516 * U) >> 13);
            o[1] = lim((L - 2819 * U - 5850 * V) >> 13);
            o[2] = lim((L + 11485 * V) >> 13);
        }
    free(u);
    free(v);
    return out;
}

static uint8_t* ref_yuy2(const Frame* in) {
    int w = in->width, h = in->height, cw = w / 2, ch = h / 2, r, p;
    uint8_t* out = malloc((size_t)w * h * 2);
    for (r = 0; r < h; ++r)
        for (p = 0; p < cw; ++p) {
            int k0 = r / 2, k1 = (r + 1) / 2 < ch ? (r + 1) / 2 : r / 2;
            int U = (r & 1) ? (in->cb[k0 * cw + p] + in->cb[k1 * cw + p]) >> 1 : in->cb[k0 * cw + p];
            int V = (r & 1) ? (in->cr[k0 * cw + p] + in->cr[k1 * cw + p]) >> 1 : in->cr[k0 * cw + p];
            uint8_t* o = out + ((size_t)r * w + 2 * p) * 2;
            o[0] = in->y[r * w + 2 * p];
            o[1] = (uint8_t)U;
            o[2] = in->y[r * w + 2 * p + 1];
            o[3] = (uint8_t)V;
        }
    return out;
}

static uint8_t* rnd_bytes(size_t n) {
    uint8_t* b = malloc(n ? n : 1);
    size_t i;
    for (i = 0; i < n; ++i) b[i] = (uint8_t)rnd();
    return b;
}

int main(int argc, char** argv) {
    void* lib = OpenLibrary(argc > 1 ? argv[1] : NULL);
    void* util = NewObject(lib, "_NEW_YUVUTL");
    void* conv = NewObject(lib, "_NEW_YUVRGB");
    int n;

    /* Hand-made: a 2 x 2 pure red picture, then random pictures of several sizes. */
    {
        uint8_t bmp[16] = {0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0}, y[4], cb, cr;
        ((Fn_rgb2yuv)vtable(util)[5])(util, 2, 2, bmp, y, &cb, &cr);
        CHECK(y[0] == 81 && cb == 90 && cr == 239, "red gives 81/90/239, got %d/%d/%d", y[0], cb, cr);
    }
    for (n = 0; n < 12; ++n) {
        static const int sizes[12][4] = {{1, 1, 3, 3}, {2, 2, 5, 4}, {3, 3, 2, 2}, {7, 5, 16, 9}, {16, 16, 16, 16}, {33, 17, 20, 30},
                                         {64, 48, 128, 96}, {101, 37, 50, 50}, {176, 144, 352, 288}, {352, 288, 352, 288},
                                         {640, 480, 720, 576}, {1280, 720, 720, 576}};
        int w = sizes[n][0], h = sizes[n][1], dw = sizes[n][2], dh = sizes[n][3];
        size_t cs = (size_t)(w / 2) * (h / 2), dcs = (size_t)(dw / 2) * (dh / 2);
        uint8_t* bmp = rnd_bytes((size_t)((3 * w + 3) & ~3) * h);
        uint8_t *y = malloc((size_t)w * h), *cb = malloc(cs + 1), *cr = malloc(cs + 1);
        uint8_t *ry = malloc((size_t)w * h), *rcb = malloc(cs + 1), *rcr = malloc(cs + 1);
        uint8_t *dy = malloc((size_t)dw * dh), *dcb = malloc(dcs + 1), *dcr = malloc(dcs + 1);
        uint8_t *sy = malloc((size_t)dw * dh), *scb = malloc(dcs + 1), *scr = malloc(dcs + 1);
        Frame src, dst;
        uint8_t* out;
        memset(cb, 7, cs + 1); memset(cr, 7, cs + 1); memset(rcb, 7, cs + 1); memset(rcr, 7, cs + 1);
        ((Fn_rgb2yuv)vtable(util)[5])(util, w, h, bmp, y, cb, cr);
        ref_rgb2yuv(w, h, bmp, ry, rcb, rcr);
        CHECK(!memcmp(y, ry, (size_t)w * h) && !memcmp(cb, rcb, cs + 1) && !memcmp(cr, rcr, cs + 1), "RgbToYuv420 %dx%d", w, h);

        src.width = w; src.height = h; src.chromaFormat = 1; src.y = y; src.cb = cb; src.cr = cr;
        dst.width = dw; dst.height = dh; dst.chromaFormat = 0; dst.y = dy; dst.cb = dcb; dst.cr = dcr;
        memset(dcb, 9, dcs + 1); memset(dcr, 9, dcs + 1); memset(scb, 9, dcs + 1); memset(scr, 9, dcs + 1);
        ((Fn_scale)vtable(util)[4])(util, &src, &dst);
        ref_scale(y, w, h, sy, dw, dh);
        if (w / 2 && h / 2 && dw / 2 && dh / 2) {
            ref_scale(cb, w / 2, h / 2, scb, dw / 2, dh / 2);
            ref_scale(cr, w / 2, h / 2, scr, dw / 2, dh / 2);
        }
        CHECK(dst.chromaFormat == 1, "Scale sets chromaFormat");
        CHECK(!memcmp(dy, sy, (size_t)dw * dh) && !memcmp(dcb, scb, dcs + 1) && !memcmp(dcr, scr, dcs + 1),
              "Scale %dx%d -> %dx%d", w, h, dw, dh);

        if (dw % 2 == 0 && dh % 2 == 0 && dw >= 2 && dh >= 2) {
            uint8_t* expect;
            dst.chromaFormat = 1;
            out = NULL;
            CHECK(((Fn_topacked)vtable(conv)[4])(conv, &dst, &out) && out, "ToRgb32 answers a buffer");
            expect = ref_bgr(&dst, 4);
            CHECK(out && !memcmp(out, expect, (size_t)dw * dh * 4), "ToRgb32 %dx%d", dw, dh);
            free(out); free(expect);
            out = NULL;
            CHECK(((Fn_topacked)vtable(conv)[5])(conv, &dst, &out) && out, "ToRgb24 answers a buffer");
            expect = ref_bgr(&dst, 3);
            CHECK(out && !memcmp(out, expect, (size_t)dw * dh * 3), "ToRgb24 %dx%d", dw, dh);
            free(out); free(expect);
            out = NULL;
            CHECK(((Fn_topacked)vtable(conv)[6])(conv, &dst, &out) && out, "ToYuy2 answers a buffer");
            expect = ref_yuy2(&dst);
            CHECK(out && !memcmp(out, expect, (size_t)dw * dh * 2), "ToYuy2 %dx%d", dw, dh);
            free(out); free(expect);
        }
        free(bmp); free(y); free(cb); free(cr); free(ry); free(rcb); free(rcr);
        free(dy); free(dcb); free(dcr); free(sy); free(scb); free(scr);
    }
    ((Fn_release)vtable(util)[1])(util);
    ((Fn_release)vtable(conv)[1])(conv);
    dlclose(lib);
    return Finish(getenv("REELCAST_FORCE_PORTABLE") ? "c_picture (portable)" : "c_picture (vector)");
}
