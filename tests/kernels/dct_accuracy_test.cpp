// The inverse DCT against the IEEE 1180-1990 / ISO/IEC 13818-2 Annex A
// accuracy procedure, and the forward DCT against the double reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/mpeg/video/kernels/Kernels.h"
#include "tests/kernels/KernelFamilies.h"
#include "tests/kernels/RefDct.h"

namespace {

using reelcast::kernels::VideoKernels;

// The pseudo-random generator the IEEE 1180 procedure prescribes.
struct Ieee1180Random {
    long randx = 1;
    long Next(long L, long H) {
        randx = (randx * 1103515245L + 12345L) & 0xFFFFFFFFL;  // 32-bit wrap as on the original
        const long i = randx & 0x7ffffffeL;
        double x = static_cast<double>(i) / static_cast<double>(0x7fffffff);
        x *= static_cast<double>(L + H + 1);
        const long j = static_cast<long>(x);
        return j - L;
    }
};

using Family = reelcast::test::KernelFamily<VideoKernels>;

std::vector<Family> Families() {
    return reelcast::test::AllFamilies(&reelcast::kernels::InitVideoKernelsPortable,
                                       &reelcast::kernels::InitVideoKernels);
}

double Round(double v) { return v >= 0 ? std::floor(v + 0.5) : -std::floor(-v + 0.5); }
double Clip(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

void RunIeee1180(const VideoKernels& k, long L, long H, int sign, const std::string& what) {
    SCOPED_TRACE(what);
    const reelcast::test::RefDct ref;
    Ieee1180Random rng;
    const int kBlocks = 10000;
    double sumErr[64] = {}, sumSq[64] = {};
    int peak = 0;
    for (int b = 0; b < kBlocks; ++b) {
        double pix[64], coef[64], out[64];
        for (int i = 0; i < 64; ++i) pix[i] = static_cast<double>(rng.Next(L, H) * sign);
        ref.Forward(pix, coef);
        alignas(16) std::int16_t blk[64];
        double refIn[64];
        for (int i = 0; i < 64; ++i) {
            refIn[i] = Clip(Round(coef[i]), -2048, 2047);
            blk[i] = static_cast<std::int16_t>(refIn[i]);
        }
        ref.Inverse(refIn, out);
        k.InverseDct(blk);
        for (int i = 0; i < 64; ++i) {
            const double r = Clip(Round(out[i]), -256, 255);
            const double e = blk[i] - r;
            peak = std::max(peak, static_cast<int>(std::fabs(e)));
            sumErr[i] += e;
            sumSq[i] += e * e;
        }
    }
    double totErr = 0, totSq = 0, worstPme = 0, worstPmse = 0;
    for (int i = 0; i < 64; ++i) {
        worstPme = std::max(worstPme, std::fabs(sumErr[i]) / kBlocks);
        worstPmse = std::max(worstPmse, sumSq[i] / kBlocks);
        totErr += sumErr[i];
        totSq += sumSq[i];
    }
    const double ome = std::fabs(totErr) / (64.0 * kBlocks), omse = totSq / (64.0 * kBlocks);
    std::printf("  %-8s L=%3ld H=%3ld sign=%+d: peak %d, worst pmse %.4f, omse %.5f, worst pme %.4f, ome %.5f\n",
                what.c_str(), L, H, sign, peak, worstPmse, omse, worstPme, ome);
    EXPECT_LE(peak, 1);
    EXPECT_LE(worstPmse, 0.06);
    EXPECT_LE(omse, 0.02);
    EXPECT_LE(worstPme, 0.015);
    EXPECT_LE(ome, 0.0015);
}

TEST(InverseDct, MeetsIeee1180Accuracy) {
    for (const Family& f : Families()) {
        for (int sign : {1, -1}) {
            RunIeee1180(f.k, 256, 255, sign, f.name);
            RunIeee1180(f.k, 5, 5, sign, f.name);
            RunIeee1180(f.k, 300, 300, sign, f.name);
        }
    }
}

TEST(InverseDct, ZeroInZeroOutAndSingleCoefficients) {
    const reelcast::test::RefDct ref;
    for (const Family& f : Families()) {
        SCOPED_TRACE(f.name);
        std::int16_t blk[64] = {};
        f.k.InverseDct(blk);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(blk[i], 0);
        // Every lone coefficient at the extremes: within one of the reference.
        for (int pos = 0; pos < 64; ++pos) {
            for (int v : {-2048, -1000, -7, 1, 5, 300, 2047}) {
                std::int16_t b[64] = {};
                double in[64] = {}, out[64];
                b[pos] = static_cast<std::int16_t>(v);
                in[pos] = v;
                ref.Inverse(in, out);
                f.k.InverseDct(b);
                for (int i = 0; i < 64; ++i)
                    ASSERT_LE(std::fabs(b[i] - Clip(Round(out[i]), -256, 255)), 1.0)
                        << "pos " << pos << " value " << v << " sample " << i;
            }
        }
    }
}

TEST(ForwardDct, MatchesReferenceWithinOneAndKeepsDcAtEightTimesMean) {
    const reelcast::test::RefDct ref;
    for (const Family& f : Families()) {
        SCOPED_TRACE(f.name);
        Ieee1180Random rng;
        int peak = 0;
        double sq = 0;
        for (int b = 0; b < 20000; ++b) {
            std::int16_t blk[64];
            double in[64], out[64];
            const long range = (b % 3 == 0) ? 255 : (b % 3 == 1 ? 20 : 3);
            for (int i = 0; i < 64; ++i) {
                blk[i] = static_cast<std::int16_t>(rng.Next(range, range));
                in[i] = blk[i];
            }
            ref.Forward(in, out);
            f.k.ForwardDct(blk);
            for (int i = 0; i < 64; ++i) {
                const double e = blk[i] - out[i];
                peak = std::max(peak, static_cast<int>(std::ceil(std::fabs(e) - 1e-9)));
                sq += e * e;
            }
        }
        EXPECT_LE(peak, 1);
        EXPECT_LT(sq / (64.0 * 20000), 0.1);

        // Flat blocks: DC = 8 x value, nothing else.
        for (int v : {-255, -1, 0, 1, 100, 255}) {
            std::int16_t blk[64];
            for (auto& x : blk) x = static_cast<std::int16_t>(v);
            f.k.ForwardDct(blk);
            EXPECT_EQ(blk[0], 8 * v);
            for (int i = 1; i < 64; ++i) ASSERT_EQ(blk[i], 0) << "v " << v << " i " << i;
        }
    }
}

// Forward then inverse of random prediction errors returns the block within one.
TEST(ForwardDct, RoundTripThroughInverse) {
    for (const Family& f : Families()) {
        SCOPED_TRACE(f.name);
        std::srand(7);
        int peak = 0;
        for (int b = 0; b < 5000; ++b) {
            std::int16_t blk[64], orig[64];
            for (int i = 0; i < 64; ++i) orig[i] = blk[i] = static_cast<std::int16_t>(std::rand() % 511 - 255);
            f.k.ForwardDct(blk);
            f.k.InverseDct(blk);
            for (int i = 0; i < 64; ++i) peak = std::max(peak, std::abs(blk[i] - orig[i]));
        }
        EXPECT_LE(peak, 1);
    }
}

}  // namespace
