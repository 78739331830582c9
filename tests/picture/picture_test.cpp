// YUVUTL and YUVRGB against literal reimplementations of their formulas, the
// documented example values, and across kernel families.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "engine/core/ComponentHandle.h"
#include "engine/mpeg/video/kernels/Cpu.h"
#include "engine/picture/IYuvToRgb.h"
#include "engine/picture/IYuvUtil.h"
#include "engine/picture/PictureKernels.h"

namespace {

using reelcast::IYuvToRgb;
using reelcast::IYuvUtil;
using reelcast::VideoFrame;
using Bytes = std::vector<std::uint8_t>;

// ---- literal reference of the RGB to YCbCr 4:2:0 conversion -------------------

std::uint32_t Tab(int i, int v) {
    static const float c[8] = {65.481f, 128.553f, 24.966f, 37.797f, 74.203f, 112.0f, 93.786f, 18.214f};
    return static_cast<std::uint32_t>(static_cast<double>(v) * 256.0 * static_cast<double>(c[i]));
}

void RefRgbToYuv420(int w, int h, const Bytes& rgb, Bytes& y, Bytes& cb, Bytes& cr) {
    const int stride = (3 * w + 3) & ~3;
    std::vector<std::uint32_t> fcb(static_cast<std::size_t>(w) * h), fcr(fcb.size());
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* row = rgb.data() + static_cast<std::size_t>(h - 1 - r) * stride;
        for (int x = 0; x < w; ++x) {
            const int B = row[3 * x], G = row[3 * x + 1], R = row[3 * x + 2];
            const std::size_t i = static_cast<std::size_t>(r) * w + x;
            y[i] = static_cast<std::uint8_t>((Tab(0, R) + Tab(1, G) + Tab(2, B) + 16u * 65536u) >> 16);
            fcb[i] = (128u * 65536u - Tab(3, R) - Tab(4, G) + Tab(5, B)) >> 16;
            fcr[i] = (128u * 65536u + Tab(5, R) - Tab(6, G) - Tab(7, B)) >> 16;
        }
    }
    if (h < 2) return;
    for (int k = 0; k < h / 2; ++k)
        for (int j = 0; j < w / 2; ++j) {
            auto at = [&](const std::vector<std::uint32_t>& p, int rr, int cc) { return p[static_cast<std::size_t>(rr) * w + cc]; };
            const std::size_t o = static_cast<std::size_t>(k) * (w / 2) + j;
            cb[o] = static_cast<std::uint8_t>((at(fcb, 2 * k, 2 * j) + at(fcb, 2 * k, 2 * j + 1) + at(fcb, 2 * k + 1, 2 * j) + at(fcb, 2 * k + 1, 2 * j + 1)) >> 2);
            cr[o] = static_cast<std::uint8_t>((at(fcr, 2 * k, 2 * j) + at(fcr, 2 * k, 2 * j + 1) + at(fcr, 2 * k + 1, 2 * j) + at(fcr, 2 * k + 1, 2 * j + 1)) >> 2);
        }
}

void RefScalePlane(const std::uint8_t* s, int sw, int sh, std::uint8_t* d, int dw, int dh) {
    const double xs = static_cast<double>(sw) / dw, ys = static_cast<double>(sh) / dh;
    double y = 0.0;
    for (int i = 0; i < dh; ++i, y += ys) {
        double x = 0.0;
        for (int j = 0; j < dw; ++j, x += xs) {
            const int yi = static_cast<int>(y), fy = static_cast<int>((y - yi) * 256);
            const int xi = static_cast<int>(x), fx = static_cast<int>((x - xi) * 256);
            const int yn = std::min(yi + 1, sh - 1);
            const int p00 = s[yi * sw + xi], p10 = s[yn * sw + xi];
            const int p01 = xi < sw - 1 ? s[yi * sw + xi + 1] : p00;
            const int p11 = xi < sw - 1 ? s[yn * sw + xi + 1] : p10;
            d[i * dw + j] = static_cast<std::uint8_t>(
                (p00 * (256 - fx) * (256 - fy) + p10 * (256 - fx) * fy + p01 * fx * (256 - fy) + p11 * fx * fy) >> 16);
        }
    }
}

// ---- literal reference of the YCbCr to packed conversions --------------------

std::uint8_t Lim(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Full-size chroma of a 4:2:0 plane (even width and height, as the callers use).
Bytes RefUpsample(const std::uint8_t* c, int w, int h) {
    const int cw = w / 2, ch = h / 2;
    Bytes f(static_cast<std::size_t>(w) * h);
    for (int k = 0; k < ch; ++k)
        for (int j = 0; j < cw; ++j) {
            const int a = c[k * cw + j], b = c[k * cw + std::min(j + 1, cw - 1)];
            f[(2 * k) * w + 2 * j] = static_cast<std::uint8_t>(a);
            f[(2 * k) * w + 2 * j + 1] = static_cast<std::uint8_t>((a + b) >> 1);
        }
    for (int r = 1; r < h; r += 2)
        for (int x = 0; x < w; ++x)
            f[r * w + x] = r + 1 < h ? static_cast<std::uint8_t>((f[(r - 1) * w + x] + f[(r + 1) * w + x]) >> 1)
                                     : f[(r - 1) * w + x];
    return f;
}

Bytes RefToBgr(const VideoFrame& in, int bpp) {
    const int w = in.width, h = in.height;
    Bytes u = in.chromaFormat == 1 ? RefUpsample(in.cb, w, h) : Bytes(in.cb, in.cb + w * h);
    Bytes v = in.chromaFormat == 1 ? RefUpsample(in.cr, w, h) : Bytes(in.cr, in.cr + w * h);
    Bytes out(static_cast<std::size_t>(w) * h * bpp + (bpp == 3 ? 4 : 0), 0);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const int i = r * w + x;
            const int L = (in.y[i] - 16) * 8192 + 4096, U = u[i] - 128, V = v[i] - 128;
            std::uint8_t* o = &out[(static_cast<std::size_t>(h - 1 - r) * w + x) * bpp];
            o[0] = Lim((L + 14516 * U) >> 13);
            o[1] = Lim((L - 2819 * U - 5850 * V) >> 13);
            o[2] = Lim((L + 11485 * V) >> 13);
            if (bpp == 4) o[3] = 0;
        }
    return out;
}

Bytes RefToYuy2(const VideoFrame& in) {
    const int w = in.width, h = in.height, cw = w / 2, ch = h / 2;
    Bytes out(static_cast<std::size_t>(w) * h * 2);
    for (int r = 0; r < h; ++r) {
        for (int p = 0; p < cw; ++p) {
            int U, V;
            if (r % 2 == 0) {
                U = in.cb[(r / 2) * cw + p], V = in.cr[(r / 2) * cw + p];
            } else if ((r + 1) / 2 < ch) {
                U = (in.cb[(r / 2) * cw + p] + in.cb[((r + 1) / 2) * cw + p]) >> 1;
                V = (in.cr[(r / 2) * cw + p] + in.cr[((r + 1) / 2) * cw + p]) >> 1;
            } else {
                U = in.cb[(r / 2) * cw + p], V = in.cr[(r / 2) * cw + p];
            }
            std::uint8_t* o = &out[(static_cast<std::size_t>(r) * w + 2 * p) * 2];
            o[0] = in.y[r * w + 2 * p];
            o[1] = static_cast<std::uint8_t>(U);
            o[2] = in.y[r * w + 2 * p + 1];
            o[3] = static_cast<std::uint8_t>(V);
        }
    }
    return out;
}

// ---- helpers -----------------------------------------------------------------

struct Families {
    // Runs body once per kernel family available here.
    template <class F>
    static void Each(F body) {
        const std::uint32_t saved = reelcast::kernels::CpuMask();
        const std::uint32_t det = reelcast::kernels::DetectCpuFlags();
        std::vector<std::pair<const char*, std::uint32_t>> masks = {{"portable", 0u}};
        if (det & reelcast::kernels::kCpuSse2) masks.push_back({"sse2", reelcast::kernels::kCpuSse2});
        if (det & reelcast::kernels::kCpuAvx2) masks.push_back({"avx2", reelcast::kernels::kCpuAll});
        for (auto& m : masks) {
            SCOPED_TRACE(m.first);
            reelcast::kernels::SetCpuMask(m.second);
            body();
        }
        reelcast::kernels::SetCpuMask(saved);
    }
};

Bytes MakeBitmap(int w, int h, std::mt19937& rng) {
    Bytes b(static_cast<std::size_t>((3 * w + 3) & ~3) * h);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

// Converts a uniform w x h bitmap of one colour.
void OneColour(int R, int G, int B, int& Y, int& Cb, int& Cr) {
    const auto u = reelcast::core::MakeHandle<IYuvUtil>("YUVUTL");
    Bytes bmp(static_cast<std::size_t>((3 * 2 + 3) & ~3) * 2);
    for (int r = 0; r < 2; ++r)
        for (int x = 0; x < 2; ++x) {
            bmp[r * 8 + 3 * x] = static_cast<std::uint8_t>(B);
            bmp[r * 8 + 3 * x + 1] = static_cast<std::uint8_t>(G);
            bmp[r * 8 + 3 * x + 2] = static_cast<std::uint8_t>(R);
        }
    std::uint8_t y[4], cb[1], cr[1];
    u->RgbToYuv420(2, 2, bmp.data(), y, cb, cr);
    Y = y[0], Cb = cb[0], Cr = cr[0];
}

// ---- YUVUTL ------------------------------------------------------------------

TEST(YuvUtil, PrimaryColoursGiveTheDocumentedValues) {
    Families::Each([] {
        struct Case { int r, g, b, y, cb, cr; } cases[] = {
            {0, 0, 0, 16, 128, 128},   {255, 255, 255, 234, 128, 128}, {255, 0, 0, 81, 90, 239},
            {0, 255, 0, 144, 54, 34},  {0, 0, 255, 40, 239, 109},
        };
        for (const auto& c : cases) {
            int y, cb, cr;
            OneColour(c.r, c.g, c.b, y, cb, cr);
            EXPECT_EQ(y, c.y) << c.r << "," << c.g << "," << c.b;
            EXPECT_EQ(cb, c.cb) << c.r << "," << c.g << "," << c.b;
            EXPECT_EQ(cr, c.cr) << c.r << "," << c.g << "," << c.b;
        }
    });
}

TEST(YuvUtil, TablesMatchTheirMultiplyShiftRecipe) {
    reelcast::picture::YuvTables t;
    reelcast::picture::BuildYuvTables(&t);
    const auto rec = reelcast::picture::MakeYuvTableRecipe();
    for (int i = 0; i < 8; ++i)
        for (std::uint32_t v = 0; v < 256; ++v) {
            ASSERT_EQ(t.t[i][v], Tab(i, static_cast<int>(v)));
            ASSERT_EQ(t.t[i][v], (v * rec.mul[i]) >> rec.shift[i]) << i << " " << v;
        }
}

TEST(YuvUtil, ThreeByThreeTakesChromaFromTopLeftBlock) {
    Families::Each([] {
        const auto u = reelcast::core::MakeHandle<IYuvUtil>("YUVUTL");
        ASSERT_TRUE(u);
        // Bottom-up: stored rows 1 and 2 are picture rows 1 and 0.
        Bytes bmp(12 * 3, 0);
        for (int stored = 1; stored <= 2; ++stored)
            for (int x = 0; x < 2; ++x) bmp[stored * 12 + 3 * x + 2] = 255;  // red
        std::uint8_t y[9], cb[2] = {7, 7}, cr[2] = {7, 7};
        u->RgbToYuv420(3, 3, bmp.data(), y, cb, cr);
        EXPECT_EQ(cb[0], 90);
        EXPECT_EQ(cr[0], 239);
        EXPECT_EQ(cb[1], 7);  // nothing beyond the 1 x 1 chroma
        EXPECT_EQ(y[0], 81);
        EXPECT_EQ(y[2], 16);
        EXPECT_EQ(y[6], 16);
        // One row: luma only, chroma untouched.
        std::uint8_t y1[3], c1[1] = {7}, c2[1] = {7};
        u->RgbToYuv420(3, 1, bmp.data(), y1, c1, c2);
        EXPECT_EQ(c1[0], 7);
        EXPECT_EQ(y1[0], 16);
    });
}

TEST(YuvUtil, RandomBitmapsMatchTheReference) {
    Families::Each([] {
        const auto u = reelcast::core::MakeHandle<IYuvUtil>("YUVUTL");
        std::mt19937 rng(42);
        const int sizes[][2] = {{2, 2}, {1, 1}, {5, 3}, {17, 9}, {33, 2}, {64, 48}, {101, 37}, {352, 288}};
        for (const auto& s : sizes) {
            const int w = s[0], h = s[1];
            SCOPED_TRACE(testing::Message() << w << "x" << h);
            Bytes bmp = MakeBitmap(w, h, rng);
            const std::size_t cs = static_cast<std::size_t>(w / 2) * (h / 2);
            Bytes ry(static_cast<std::size_t>(w) * h), rcb(cs + 1, 0xAB), rcr(cs + 1, 0xAB);
            Bytes y(ry.size()), cb(cs + 1, 0xAB), cr(cs + 1, 0xAB);  // one guard byte each
            RefRgbToYuv420(w, h, bmp, ry, rcb, rcr);
            u->RgbToYuv420(w, h, bmp.data(), y.data(), cb.data(), cr.data());
            EXPECT_EQ(y, ry);
            EXPECT_EQ(cb, rcb);
            EXPECT_EQ(cr, rcr);
        }
    });
}

TEST(YuvUtil, ScaleMatchesTheReferenceAndKeepsIdentity) {
    Families::Each([] {
        const auto u = reelcast::core::MakeHandle<IYuvUtil>("YUVUTL");
        std::mt19937 rng(7);
        const int sizes[][4] = {{352, 288, 352, 288}, {1280, 720, 720, 576}, {720, 576, 352, 240},
                                {1, 5, 9, 7},         {3, 3, 17, 11},        {640, 480, 704, 576},
                                {100, 2, 7, 2},       {2, 100, 2, 33}};
        for (const auto& s : sizes) {
            SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3]);
            const int sw = s[0], sh = s[1], dw = s[2], dh = s[3];
            Bytes sy(static_cast<std::size_t>(sw) * sh), scb(static_cast<std::size_t>(sw / 2) * (sh / 2) + 1),
                scr(scb.size());
            for (auto* p : {&sy, &scb, &scr})
                for (auto& v : *p) v = static_cast<std::uint8_t>(rng());
            Bytes dy(static_cast<std::size_t>(dw) * dh), dcb(static_cast<std::size_t>(dw / 2) * (dh / 2) + 1, 0),
                dcr(dcb.size(), 0);
            VideoFrame src{sw, sh, 1, sy.data(), scb.data(), scr.data()};
            VideoFrame dst{dw, dh, 0, dy.data(), dcb.data(), dcr.data()};
            u->Scale(&src, &dst);
            EXPECT_EQ(dst.chromaFormat, 1);
            Bytes ry(dy.size()), rcb(dcb.size(), 0), rcr(dcr.size(), 0);
            RefScalePlane(sy.data(), sw, sh, ry.data(), dw, dh);
            if (sw / 2 && sh / 2 && dw / 2 && dh / 2) {
                RefScalePlane(scb.data(), sw / 2, sh / 2, rcb.data(), dw / 2, dh / 2);
                RefScalePlane(scr.data(), sw / 2, sh / 2, rcr.data(), dw / 2, dh / 2);
            }
            EXPECT_EQ(dy, ry);
            EXPECT_EQ(dcb, rcb);
            EXPECT_EQ(dcr, rcr);
            if (sw == dw && sh == dh) {
                EXPECT_EQ(dy, sy);
            }
        }
        // Width 1: every output pixel of a row is the one source column.
        std::uint8_t col[4] = {10, 20, 30, 40}, out[4 * 5];
        VideoFrame src{1, 4, 1, col, nullptr, nullptr}, dst{5, 4, 0, out, nullptr, nullptr};
        u->Scale(&src, &dst);
        for (int r = 0; r < 4; ++r)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(out[r * 5 + x], col[r]);
    });
}

// ---- YUVRGB ------------------------------------------------------------------

struct Frame {
    Bytes y, cb, cr;
    VideoFrame f;
    Frame(int w, int h, int fmt, std::mt19937* rng, int yv = 0, int cbv = 128, int crv = 128) {
        const std::size_t cs = fmt == 1 ? static_cast<std::size_t>(w / 2) * (h / 2) : static_cast<std::size_t>(w) * h;
        y.assign(static_cast<std::size_t>(w) * h, static_cast<std::uint8_t>(yv));
        cb.assign(cs, static_cast<std::uint8_t>(cbv));
        cr.assign(cs, static_cast<std::uint8_t>(crv));
        if (rng)
            for (auto* p : {&y, &cb, &cr})
                for (auto& v : *p) v = static_cast<std::uint8_t>((*rng)());
        f = VideoFrame{w, h, fmt, y.data(), cb.data(), cr.data()};
    }
};

Bytes Take(std::uint8_t* p, std::size_t n) {
    Bytes b(p, p + n);
    std::free(p);
    return b;
}

TEST(YuvToRgb, DocumentedExamples) {
    Families::Each([] {
        const auto c = reelcast::core::MakeHandle<IYuvToRgb>("YUVRGB");
        ASSERT_TRUE(c);
        std::uint8_t* out = nullptr;
        Frame black(4, 2, 1, nullptr, 16), grey(4, 2, 1, nullptr, 235), red(4, 2, 1, nullptr, 128, 128, 240);
        ASSERT_TRUE(c->ToRgb24(&black.f, &out));
        Bytes b = Take(out, 4 * 2 * 3 + 4);
        for (std::size_t i = 0; i < 24; ++i) EXPECT_EQ(b[i], 0);
        ASSERT_TRUE(c->ToRgb32(&grey.f, &out));
        b = Take(out, 32);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(b[4 * i], 219);
            EXPECT_EQ(b[4 * i + 1], 219);
            EXPECT_EQ(b[4 * i + 2], 219);
            EXPECT_EQ(b[4 * i + 3], 0);
        }
        ASSERT_TRUE(c->ToRgb24(&red.f, &out));
        b = Take(out, 28);
        EXPECT_EQ(b[2], 255);  // 269 limited
        EXPECT_EQ(b[0], 112);  // blue: (112 x 8192 + 4096) >> 13
        // 4 x 2 with 2 x 1 chroma: widened with the last sample repeated, row 1 = row 0.
        Frame f(4, 2, 1, nullptr, 128);
        f.cb = {100, 200};
        f.cr = {128, 128};
        f.f.cb = f.cb.data();
        f.f.cr = f.cr.data();
        ASSERT_TRUE(c->ToRgb32(&f.f, &out));
        b = Take(out, 32);
        const int expectCb[4] = {100, 150, 200, 200};
        for (int x = 0; x < 4; ++x) {
            const int L = 112 * 8192 + 4096;
            const int blue = std::min(255, std::max(0, (L + 14516 * (expectCb[x] - 128)) >> 13));
            EXPECT_EQ(b[4 * x], blue) << x;
            EXPECT_EQ(b[16 + 4 * x], blue) << x;
        }
    });
}

TEST(YuvToRgb, RandomPicturesMatchTheReference) {
    Families::Each([] {
        const auto c = reelcast::core::MakeHandle<IYuvToRgb>("YUVRGB");
        std::mt19937 rng(99);
        const int sizes[][2] = {{2, 2}, {4, 2}, {8, 8}, {20, 6}, {36, 18}, {64, 64}, {352, 288}, {720, 576}};
        for (const auto& s : sizes) {
            const int w = s[0], h = s[1];
            SCOPED_TRACE(testing::Message() << w << "x" << h);
            for (int fmt : {1, 3}) {
                Frame f(w, h, fmt, &rng);
                std::uint8_t* out = nullptr;
                ASSERT_TRUE(c->ToRgb24(&f.f, &out));
                EXPECT_EQ(Take(out, static_cast<std::size_t>(w) * h * 3 + 4), RefToBgr(f.f, 3));
                ASSERT_TRUE(c->ToRgb32(&f.f, &out));
                EXPECT_EQ(Take(out, static_cast<std::size_t>(w) * h * 4), RefToBgr(f.f, 4));
                if (fmt == 1) {
                    ASSERT_TRUE(c->ToYuy2(&f.f, &out));
                    EXPECT_EQ(Take(out, static_cast<std::size_t>(w) * h * 2), RefToYuy2(f.f));
                } else {
                    EXPECT_FALSE(c->ToYuy2(&f.f, &out));
                    EXPECT_EQ(out, nullptr);
                }
            }
        }
    });
}

TEST(YuvToRgb, RefusesBadInputWithoutTouchingMemory) {
    const auto c = reelcast::core::MakeHandle<IYuvToRgb>("YUVRGB");
    std::uint8_t stale = 0;
    std::uint8_t* out = &stale;  // cleared on refusal
    EXPECT_FALSE(c->ToRgb24(nullptr, &out));
    EXPECT_EQ(out, nullptr);
    VideoFrame bad{0, 10, 1, nullptr, nullptr, nullptr};
    EXPECT_FALSE(c->ToRgb32(&bad, &out));
    EXPECT_FALSE(c->ToYuy2(&bad, nullptr));
    // Odd sizes and missing chroma still convert (neutral chroma).
    Bytes y(5 * 3, 100);
    VideoFrame odd{5, 3, 1, y.data(), nullptr, nullptr};
    ASSERT_TRUE(c->ToRgb24(&odd, &out));
    Bytes b = Take(out, 5 * 3 * 3 + 4);
    EXPECT_EQ(b[0], (84 * 8192 + 4096) >> 13);
    ASSERT_TRUE(c->ToYuy2(&odd, &out));
    b = Take(out, 5 * 3 * 2);
    EXPECT_EQ(b[1], 128);
}

}  // namespace
