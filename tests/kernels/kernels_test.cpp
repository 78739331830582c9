// Every vector family against the portable one (checkasm style: random and
// extreme inputs, every pointer alignment and stride the callers use, guard
// bytes around every output), plus the kernels' documented values.
#include <algorithm>
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/mpeg/video/kernels/Kernels.h"
#include "tests/kernels/KernelFamilies.h"

namespace {

using namespace reelcast::kernels;
using Bytes = std::vector<std::uint8_t>;

using Family = reelcast::test::KernelFamily<VideoKernels>;

unsigned Seed() { return reelcast::test::KernelSeed(); }

std::vector<Family> VectorFamilies() { return reelcast::test::VectorFamilies(&InitVideoKernels); }

VideoKernels Portable() {
    VideoKernels k;
    InitVideoKernelsPortable(&k);
    return k;
}

// A plane with 64 guard bytes on every side, filled by a pattern generator.
struct Plane {
    static constexpr int kGuard = 64;
    int stride, rows;
    Bytes mem;
    Plane(int stride_, int rows_) : stride(stride_), rows(rows_), mem(static_cast<std::size_t>(stride_) * rows_ + 2 * kGuard + 32) {}
    std::uint8_t* at(int offset) { return mem.data() + kGuard + offset; }
};

// Random bytes, sometimes only the extremes 0/255, sometimes a narrow band.
void Fill(Bytes& b, std::mt19937& rng) {
    const int mode = static_cast<int>(rng() % 4);
    for (auto& v : b) {
        switch (mode) {
            case 0: v = static_cast<std::uint8_t>(rng()); break;
            case 1: v = (rng() & 1) ? 255 : 0; break;
            case 2: v = static_cast<std::uint8_t>(120 + rng() % 8); break;
            default: v = static_cast<std::uint8_t>(rng() % 2 ? 255 - rng() % 3 : rng() % 3); break;
        }
    }
}

void FillCoefficients(std::int16_t* c, std::mt19937& rng, int range) {
    const int mode = static_cast<int>(rng() % 5);
    for (int i = 0; i < 64; ++i) {
        switch (mode) {
            case 0: c[i] = static_cast<std::int16_t>(static_cast<int>(rng() % (2 * range + 1)) - range); break;
            case 1: c[i] = static_cast<std::int16_t>(rng()); break;  // any int16
            case 2: c[i] = static_cast<std::int16_t>((rng() & 1) ? 32767 : -32768); break;
            case 3: c[i] = (rng() % 8 == 0) ? static_cast<std::int16_t>(static_cast<int>(rng() % 41) - 20) : 0; break;
            default: c[i] = static_cast<std::int16_t>((rng() & 1) ? range : -range - 1); break;
        }
    }
}

const int kStrides[] = {16, 24, 32, 44, 88, 176, 368, 720};

TEST(VideoKernels, DifferenceAndAddClipMatchPortable) {
    std::mt19937 rng(Seed());
    const VideoKernels ref = Portable();
    for (const Family& f : VectorFamilies()) {
        SCOPED_TRACE(f.name);
        for (int it = 0; it < 400; ++it) {
            const int stride = kStrides[it % 8], off = static_cast<int>(rng() % 16);
            Plane src(stride, 8), pred(stride, 8);
            Fill(src.mem, rng);
            Fill(pred.mem, rng);
            // Exact predictions, and those off in one sample.
            if (it % 4 == 0) {
                pred.mem = src.mem;
                if (it % 8 == 0) pred.at(off)[static_cast<int>(rng() % 8) * stride + static_cast<int>(rng() % 8)] ^= 1;
            }
            alignas(16) std::int16_t a[64 + 8], b[64 + 8];
            std::memset(a, 0x5A, sizeof a);
            std::memset(b, 0x5A, sizeof b);
            const bool anyA = ref.Difference(a, src.at(off), pred.at(off), stride);
            ASSERT_EQ(anyA, f.k.Difference(b, src.at(off), pred.at(off), stride));
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "Difference it " << it;
            ASSERT_EQ(anyA, std::any_of(a, a + 64, [](std::int16_t v) { return v != 0; }));

            FillCoefficients(a, rng, 300);
            Plane d1(stride, 8), d2(stride, 8);
            Fill(d1.mem, rng);
            d2.mem = d1.mem;
            ref.AddClip(d1.at(off), pred.at(off), a, stride);
            f.k.AddClip(d2.at(off), pred.at(off), a, stride);
            ASSERT_EQ(d1.mem, d2.mem) << "AddClip it " << it;
            // In place on the prediction, as the reconstruction does.
            Plane p1 = pred, p2 = pred;
            ref.AddClip(p1.at(off), p1.at(off), a, stride);
            f.k.AddClip(p2.at(off), p2.at(off), a, stride);
            ASSERT_EQ(p1.mem, p2.mem);
        }
    }
}

TEST(VideoKernels, TransformsMatchPortable) {
    std::mt19937 rng(Seed() + 1);
    const VideoKernels ref = Portable();
    for (const Family& f : VectorFamilies()) {
        SCOPED_TRACE(f.name);
        for (int it = 0; it < 3000; ++it) {
            alignas(16) std::int16_t in[64 + 16], a[64 + 16], b[64 + 16];
            const int off = static_cast<int>(rng() % 8);  // 2-byte steps of misalignment
            FillCoefficients(in + off, rng, it % 2 ? 255 : 2048);
            for (auto dct : {&VideoKernels::ForwardDct, &VideoKernels::InverseDct}) {
                std::memcpy(a, in, sizeof in);
                std::memcpy(b, in, sizeof in);
                (ref.*dct)(a + off);
                (f.k.*dct)(b + off);
                ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << (dct == &VideoKernels::ForwardDct ? "Forward" : "Inverse")
                                                         << "Dct it " << it;
            }
        }
    }
}

TEST(VideoKernels, MotionDistortionsAndSadsMatchPortable) {
    std::mt19937 rng(Seed() + 2);
    const VideoKernels ref = Portable();
    const int limits[] = {0, 1, 100, 2000, 65536, INT_MAX};
    for (const Family& f : VectorFamilies()) {
        SCOPED_TRACE(f.name);
        for (int it = 0; it < 2000; ++it) {
            const int stride = kStrides[2 + it % 6];  // at least 17 samples wide
            Plane a(stride, 18), b(stride, 18), c(stride, 18);
            Fill(a.mem, rng);
            Fill(b.mem, rng);
            Fill(c.mem, rng);
            const int o1 = static_cast<int>(rng() % 16), o2 = static_cast<int>(rng() % 16), o3 = static_cast<int>(rng() % 16);
            const int hx = static_cast<int>(rng() & 1), hy = static_cast<int>(rng() & 1);
            const int hx2 = static_cast<int>(rng() & 1), hy2 = static_cast<int>(rng() & 1);
            const int h = (rng() & 1) ? 16 : 1 + static_cast<int>(rng() % 16);
            // Fixed limits and ones near the running sums, so exits land inside row groups.
            const int lim = (rng() & 1) ? limits[rng() % 6] : static_cast<int>(rng() % (h * 16 * 128));
            ASSERT_EQ(ref.PredictionError(a.at(o1), b.at(o2), stride, hx, hy, h),
                      f.k.PredictionError(a.at(o1), b.at(o2), stride, hx, hy, h));
            ASSERT_EQ(ref.BidirAbsError(a.at(o1), c.at(o3), b.at(o2), stride, hx, hy, hx2, hy2, h),
                      f.k.BidirAbsError(a.at(o1), c.at(o3), b.at(o2), stride, hx, hy, hx2, hy2, h));
            ASSERT_EQ(ref.BidirPredictionError(a.at(o1), c.at(o3), b.at(o2), stride, hx, hy, hx2, hy2, h),
                      f.k.BidirPredictionError(a.at(o1), c.at(o3), b.at(o2), stride, hx, hy, hx2, hy2, h));
            ASSERT_EQ(ref.MacroblockVariance(a.at(o1), stride), f.k.MacroblockVariance(a.at(o1), stride));
            // A quarter row of any width up to the plane's (the tail of odd widths too).
            const int qw = 1 + static_cast<int>(rng() % ((stride - 16) / 4));
            std::uint8_t q1[256] = {}, q2[256] = {};
            ref.QuarterRow(a.at(o1), stride, q1, qw);
            f.k.QuarterRow(a.at(o1), stride, q2, qw);
            ASSERT_EQ(0, std::memcmp(q1, q2, sizeof q1)) << "QuarterRow width " << qw;
            std::int32_t rs[8], rq[8], vs[8], vq[8];
            ref.BlockSums16(a.at(o1), stride, rs, rq);
            f.k.BlockSums16(a.at(o1), stride, vs, vq);
            for (int i = 0; i < 8; ++i) ASSERT_TRUE(rs[i] == vs[i] && rq[i] == vq[i]) << "BlockSums16 " << i;
            ASSERT_EQ(ref.Sad16(a.at(o1), b.at(o2), stride, hx, hy, h, lim),
                      f.k.Sad16(a.at(o1), b.at(o2), stride, hx, hy, h, lim));
            // A limit equal to the sum after row k must stop exactly there.
            const int k = 1 + static_cast<int>(rng() % h);
            const int exact = ref.Sad16(a.at(o1), b.at(o2), stride, hx, hy, k, INT_MAX);
            ASSERT_EQ(ref.Sad16(a.at(o1), b.at(o2), stride, hx, hy, h, exact),
                      f.k.Sad16(a.at(o1), b.at(o2), stride, hx, hy, h, exact)) << "k " << k;
            const int qs = stride / 4;  // quarter pictures
            ASSERT_EQ(ref.Sad4x4(a.at(o1), b.at(o2), qs, lim), f.k.Sad4x4(a.at(o1), b.at(o2), qs, lim));
            const int exact4 = ref.Sad4x4(a.at(o1), b.at(o2), qs, 1 + static_cast<int>(rng() % 400));
            ASSERT_EQ(ref.Sad4x4(a.at(o1), b.at(o2), qs, exact4), f.k.Sad4x4(a.at(o1), b.at(o2), qs, exact4));
            // Eight positions at once: whole sums, as the single-position forms give without a limit.
            std::uint16_t r16[16], v16[16];
            for (const int st : {qs, stride}) {
                std::uint8_t packed[16];
                for (int r = 0; r < 4; ++r) std::memcpy(packed + 4 * r, b.at(o2 + r * st), 4);
                ref.Sad4x4Row16(a.at(o1), packed, st, r16);
                f.k.Sad4x4Row16(a.at(o1), packed, st, v16);
                for (int i = 0; i < 16; ++i) {
                    ASSERT_EQ(r16[i], ref.Sad4x4(a.at(o1 + i), b.at(o2), st, INT_MAX)) << "Sad4x4Row16 " << i;
                    ASSERT_EQ(v16[i], r16[i]) << "Sad4x4Row16 " << i;
                }
            }
            // Nine half-pel candidates around a full-pel position one row and column inside the plane.
            int h9r[9], h9v[9];
            ref.HalfPelSads(a.at(stride + 1 + o1), b.at(o2), stride, h9r);
            f.k.HalfPelSads(a.at(stride + 1 + o1), b.at(o2), stride, h9v);
            for (int i = 0; i < 9; ++i) {
                const int dx = i % 3 - 1, dy = i / 3 - 1;
                ASSERT_EQ(h9r[i], ref.Sad16(a.at(stride + 1 + o1 + (dy >> 1) * stride + (dx >> 1)), b.at(o2), stride,
                                            dx & 1, dy & 1, 16, INT_MAX)) << "HalfPelSads " << i;
                ASSERT_EQ(h9v[i], h9r[i]) << "HalfPelSads " << i;
            }
            std::uint16_t r9[9], v9[9];
            ref.Sad16Row9(a.at(o1), b.at(o2), stride, r9);
            f.k.Sad16Row9(a.at(o1), b.at(o2), stride, v9);
            for (int i = 0; i < 9; ++i) {
                ASSERT_EQ(r9[i], ref.Sad16(a.at(o1 + i), b.at(o2), stride, 0, 0, 16, INT_MAX)) << "Sad16Row9 " << i;
                ASSERT_EQ(v9[i], r9[i]) << "Sad16Row9 " << i;
            }
        }
        // Extremes: all 255 against all 0 reaches the largest sums.
        Plane w(32, 18), z(32, 18);
        std::fill(w.mem.begin(), w.mem.end(), 255);
        std::fill(z.mem.begin(), z.mem.end(), 0);
        EXPECT_EQ(f.k.PredictionError(w.at(0), z.at(0), 32, 1, 1, 16), 256 * 255 * 255);
        EXPECT_EQ(f.k.MacroblockVariance(w.at(0), 32), 0);
        std::int32_t bs[8], bq[8];
        f.k.BlockSums16(w.at(0), 32, bs, bq);
        for (int i = 0; i < 8; ++i) EXPECT_TRUE(bs[i] == 64 * 255 && bq[i] == 64 * 255 * 255) << i;
        EXPECT_EQ(f.k.Sad16(w.at(0), z.at(0), 32, 0, 0, 16, INT_MAX), 256 * 255);
        std::uint16_t v9[9];
        f.k.Sad16Row9(w.at(0), z.at(0), 32, v9);
        for (std::uint16_t v : v9) EXPECT_EQ(v, 256 * 255);
        const std::uint8_t zeros[16] = {};
        std::uint16_t v16[16];
        f.k.Sad4x4Row16(w.at(0), zeros, 32, v16);
        for (std::uint16_t v : v16) EXPECT_EQ(v, 16 * 255);
    }
}

TEST(VideoKernels, PredictionMatchesPortable) {
    std::mt19937 rng(Seed() + 3);
    const VideoKernels ref = Portable();
    for (const Family& f : VectorFamilies()) {
        SCOPED_TRACE(f.name);
        for (int it = 0; it < 2000; ++it) {
            const int stride = kStrides[2 + it % 6];
            const int w = (it % 3 == 0) ? 8 : ((it % 3 == 1) ? 16 : 4);
            const int h = w == 16 ? 16 : ((rng() & 1) ? 8 : 4);
            Plane src(stride, 18), d1(stride, 18);
            Fill(src.mem, rng);
            Fill(d1.mem, rng);
            Plane d2 = d1;
            const int os = static_cast<int>(rng() % 16), od = static_cast<int>(rng() % 16);
            const int hx = static_cast<int>(rng() & 1), hy = static_cast<int>(rng() & 1), avg = static_cast<int>(rng() & 1);
            ref.Predict(d1.at(od), src.at(os), stride, w, h, hx, hy, avg);
            f.k.Predict(d2.at(od), src.at(os), stride, w, h, hx, hy, avg);
            ASSERT_EQ(d1.mem, d2.mem) << "w " << w << " h " << h << " hx " << hx << " hy " << hy << " avg " << avg;
        }
    }
}

// Default matrices of ISO/IEC 13818-2 (natural order) and random ones.
const std::uint8_t kDefaultIntra[64] = {
    8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37, 19, 22, 26, 27, 29, 34, 34, 38,
    22, 22, 26, 27, 29, 34, 37, 40, 22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32, 35, 40, 48, 58,
    26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83};

void MakeMatrix(std::uint8_t* m, std::mt19937& rng, int kind) {
    for (int i = 0; i < 64; ++i) {
        if (kind == 0) m[i] = 16;
        else if (kind == 1) m[i] = kDefaultIntra[i];
        else if (kind == 2) m[i] = static_cast<std::uint8_t>(1 + rng() % 255);
        else m[i] = static_cast<std::uint8_t>((rng() & 1) ? 255 : rng() % 2);  // includes 0
    }
}

// The default non-intra matrix (all 16) has a quicker form: every int16 value
// at every quantiser against the portable division.
TEST(VideoKernels, FlatNonIntraQuantiserEveryValue) {
    const VideoKernels ref = Portable();
    std::uint8_t flat[64];
    std::memset(flat, 16, sizeof flat);
    for (const Family& f : VectorFamilies()) {
        SCOPED_TRACE(f.name);
        for (int q = 1; q <= 64; ++q) {
            for (int base = -32768; base < 32768; base += 64) {
                std::int16_t in[64], a[64], b[64];
                for (int i = 0; i < 64; ++i) in[i] = static_cast<std::int16_t>(base + i);
                const int lim = (base & 64) ? 2047 : 255;
                ASSERT_EQ(ref.QuantNonIntra(a, in, flat, q, lim), f.k.QuantNonIntra(b, in, flat, q, lim));
                ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "q " << q << " from " << base;
            }
        }
    }
}

TEST(VideoKernels, QuantisersMatchPortable) {
    std::mt19937 rng(Seed() + 4);
    const VideoKernels ref = Portable();
    const int qs[] = {-3, 0, 1, 2, 3, 4, 8, 16, 31, 62, 64, 65, 200};
    const int limits[] = {255, 2047, 0, -1, 100000};
    for (const Family& f : VectorFamilies()) {
        SCOPED_TRACE(f.name);
        for (int it = 0; it < 4000; ++it) {
            std::uint8_t m[64];
            MakeMatrix(m, rng, static_cast<int>(rng() % 4));
            const int q = (it % 3) ? 2 * (1 + static_cast<int>(rng() % 31)) : qs[rng() % 13];
            const int lim = limits[rng() % 5];
            const int p = static_cast<int>(rng() % 6) - 1;
            alignas(16) std::int16_t in[64], a[64], b[64];
            FillCoefficients(in, rng, 2048);
            ASSERT_EQ(ref.QuantNonIntra(a, in, m, q, lim), f.k.QuantNonIntra(b, in, m, q, lim));
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "QuantNonIntra q " << q << " lim " << lim;
            // The levels' non-zero mask, which the entropy coder walks.
            std::uint64_t want = 0;
            for (int i = 0; i < 64; ++i) want |= static_cast<std::uint64_t>(a[i] != 0) << i;
            ASSERT_EQ(ref.NonZeroMask(a), want);
            ASSERT_EQ(f.k.NonZeroMask(a), want);
            ASSERT_EQ(f.k.NonZeroMask(in), ref.NonZeroMask(in));
            ref.QuantIntra(a, in, m, q, p, lim);
            f.k.QuantIntra(b, in, m, q, p, lim);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "QuantIntra q " << q << " p " << p;
            // In place, as the encoder quantises: the same levels.
            alignas(16) std::int16_t c[64];
            std::memcpy(c, in, sizeof c);
            ASSERT_EQ(ref.QuantNonIntra(a, in, m, q, lim), f.k.QuantNonIntra(c, c, m, q, lim));
            ASSERT_EQ(0, std::memcmp(a, c, sizeof a)) << "QuantNonIntra in place";
            std::memcpy(c, in, sizeof c);
            ref.QuantIntra(a, in, m, q, p, lim);
            f.k.QuantIntra(c, c, m, q, p, lim);
            ASSERT_EQ(0, std::memcmp(a, c, sizeof a)) << "QuantIntra in place";

            FillCoefficients(in, rng, it % 2 ? 255 : 2047);
            ref.DequantNonIntraMpeg1(a, in, m, q);
            f.k.DequantNonIntraMpeg1(b, in, m, q);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "DequantNonIntraMpeg1 q " << q;
            ref.DequantNonIntraMpeg2(a, in, m, q);
            f.k.DequantNonIntraMpeg2(b, in, m, q);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "DequantNonIntraMpeg2 q " << q;
            ref.DequantIntraMpeg1(a, in, m, q);
            f.k.DequantIntraMpeg1(b, in, m, q);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "DequantIntraMpeg1 q " << q;
            ref.DequantIntraMpeg2(a, in, m, q, p);
            f.k.DequantIntraMpeg2(b, in, m, q, p);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "DequantIntraMpeg2 q " << q << " p " << p;
            std::memcpy(a, in, sizeof a);
            std::memcpy(b, in, sizeof b);
            ref.DequantNonIntraMpeg2(a, a, m, q);
            f.k.DequantNonIntraMpeg2(b, b, m, q);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a));
        }
    }
}

TEST(VideoKernels, ChromaFiltersMatchPortable) {
    std::mt19937 rng(Seed() + 5);
    const VideoKernels ref = Portable();
    for (const Family& f : VectorFamilies()) {
        SCOPED_TRACE(f.name);
        for (int it = 0; it < 300; ++it) {
            const int w = (it < 100) ? 1 + it % 40 : 2 * (1 + static_cast<int>(rng() % 200));
            const int h = 1 + static_cast<int>(rng() % 40);
            Bytes src(static_cast<std::size_t>(w) * h);
            Fill(src, rng);
            for (int mode = 0; mode < 2; ++mode) {
                Bytes a(static_cast<std::size_t>(w) * h + 64, 0xCD), b(a.size(), 0xCD);
                ref.Chroma422To420(src.data(), a.data(), w, h, mode);
                f.k.Chroma422To420(src.data(), b.data(), w, h, mode);
                ASSERT_EQ(a, b) << "422->420 " << w << "x" << h << " progressive " << mode;
                std::fill(a.begin(), a.end(), 0xCD);
                std::fill(b.begin(), b.end(), 0xCD);
                ref.Chroma444To422(src.data(), a.data(), w, h, mode);
                f.k.Chroma444To422(src.data(), b.data(), w, h, mode);
                ASSERT_EQ(a, b) << "444->422 " << w << "x" << h << " mpeg1 " << mode;
                for (std::size_t i = static_cast<std::size_t>(w / 2) * h; i < a.size(); ++i) ASSERT_EQ(a[i], 0xCD);
            }
        }
    }
}

// ---- documented values, checked on every family ---------------------------------

std::vector<Family> AllFamilies() {
    return reelcast::test::AllFamilies(&InitVideoKernelsPortable, &InitVideoKernels);
}

TEST(VideoKernels, QuantiserExamples) {
    std::uint8_t flat[64];
    std::fill(flat, flat + 64, 16);
    for (const Family& f : AllFamilies()) {
        SCOPED_TRACE(f.name);
        std::int16_t in[64] = {}, out[64];
        in[1] = 100;  // intra AC, W 16, q 8: (3200 + 8) / 16 = 200; (200 + 6) / 16 = 12
        in[0] = 1020;
        f.k.QuantIntra(out, in, flat, 8, 0, 255);
        EXPECT_EQ(out[1], 12);
        EXPECT_EQ(out[0], 128);  // (1020 + 4) / 8
        in[0] = -1020;
        f.k.QuantIntra(out, in, flat, 8, 1, 2047);
        EXPECT_EQ(out[0], -255);  // -((2 + 1020) / 4)
        std::int16_t ni[64] = {};
        ni[5] = -17;
        EXPECT_TRUE(f.k.QuantNonIntra(out, ni, flat, 4, 2047));
        EXPECT_EQ(out[5], -4);
        ni[5] = 3;
        EXPECT_FALSE(f.k.QuantNonIntra(out, ni, flat, 4, 2047));
        ni[5] = 30000;
        EXPECT_TRUE(f.k.QuantNonIntra(out, ni, flat, 2, 255));
        EXPECT_EQ(out[5], 255);  // MPEG-1 level limit

        // MPEG-2 mismatch control: one level 1 at q 2 gives 3 (odd sum: untouched);
        // two give 6 (even sum): coefficient 63 becomes 1.
        std::int16_t lv[64] = {};
        lv[0] = 1;
        f.k.DequantNonIntraMpeg2(out, lv, flat, 2);
        EXPECT_EQ(out[0], 3);
        EXPECT_EQ(out[63], 0);
        lv[1] = 1;
        f.k.DequantNonIntraMpeg2(out, lv, flat, 2);
        EXPECT_EQ(out[63], 1);
        // MPEG-1 keeps values odd: level 1 at q 4 (quantiser_scale 2): (3 x 4 x 16) / 32 = 6 -> 5.
        f.k.DequantNonIntraMpeg1(out, lv, flat, 4);
        EXPECT_EQ(out[0], 5);
        EXPECT_EQ(out[63], 0);
        lv[0] = -2000;
        f.k.DequantNonIntraMpeg1(out, lv, flat, 62);
        EXPECT_EQ(out[0], -2048);
    }
}

TEST(VideoKernels, DistortionExamples) {
    for (const Family& f : AllFamilies()) {
        SCOPED_TRACE(f.name);
        Plane a(32, 18), b(32, 18);
        std::fill(a.mem.begin(), a.mem.end(), 10);
        std::fill(b.mem.begin(), b.mem.end(), 13);
        // Every row adds 48; with limit 100 the sum stops after row 3 at 144.
        EXPECT_EQ(f.k.Sad16(a.at(0), b.at(0), 32, 0, 0, 16, 100), 144);
        EXPECT_EQ(f.k.Sad16(a.at(0), b.at(0), 32, 1, 1, 16, 1 << 30), 768);
        EXPECT_EQ(f.k.Sad4x4(a.at(0), b.at(0), 32, 12), 12);
        EXPECT_EQ(f.k.Sad4x4(a.at(0), b.at(0), 32, 1000), 48);
        // Half the samples 0, half 2: mean 1, variance sum 256.
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c) a.at(r * 32)[c] = static_cast<std::uint8_t>(((r + c) & 1) * 2);
        EXPECT_EQ(f.k.MacroblockVariance(a.at(0), 32), 512 - 256);
        // Even lines 0, odd lines 2, right half one more: frame blocks mix both
        // lines, field blocks hold one line parity each.
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c) a.at(r * 32)[c] = static_cast<std::uint8_t>((r & 1) * 2 + (c >> 3));
        std::int32_t sum[8], sq[8];
        f.k.BlockSums16(a.at(0), 32, sum, sq);
        const std::int32_t wantSum[8] = {64, 128, 64, 128, 0, 64, 128, 192};
        const std::int32_t wantSq[8] = {128, 32 * 1 + 32 * 9, 128, 320, 0, 64, 256, 576};
        for (int i = 0; i < 8; ++i) EXPECT_TRUE(sum[i] == wantSum[i] && sq[i] == wantSq[i]) << "block " << i;
    }
}

TEST(VideoKernels, FlatChromaStaysFlat) {
    for (const Family& f : AllFamilies()) {
        SCOPED_TRACE(f.name);
        for (int v : {0, 128, 255}) {
            Bytes src(64 * 34, static_cast<std::uint8_t>(v)), half(32 * 34), quarter(32 * 17);
            for (int mpeg1 = 0; mpeg1 < 2; ++mpeg1) {
                f.k.Chroma444To422(src.data(), half.data(), 64, 34, mpeg1);
                for (auto x : half) ASSERT_EQ(x, v);
                f.k.Chroma422To420(half.data(), quarter.data(), 32, 34, mpeg1);
                for (auto x : quarter) ASSERT_EQ(x, v);
            }
        }
    }
}

TEST(Cpu, DetectProcessorReportsTheBaseline) {
    const std::int32_t bits = DetectProcessor();
    // Every x86-64 processor has identification, MMX, CMOV, SSE and a TSC.
    for (int b : {1, 2, 16, 32, 64, 512, 1024}) EXPECT_TRUE(bits & b) << "bit " << b;
    EXPECT_TRUE(DetectCpuFlags() & kCpuSse2);
    const std::uint32_t saved = CpuMask();
    ForcePortableKernels(true);
    EXPECT_EQ(ActiveCpuFlags(), 0u);
    EXPECT_TRUE(PortableKernelsForced());
    VideoKernels k = SelectVideoKernels();
    EXPECT_EQ(k.InverseDct, Portable().InverseDct);
    ForcePortableKernels(false);
    EXPECT_EQ(ActiveCpuFlags(), DetectCpuFlags());
    SetCpuMask(saved);
}

}  // namespace
