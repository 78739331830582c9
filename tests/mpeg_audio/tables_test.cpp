// The standard's tables checked against their own properties, and the fast
// filterbank, FFT and psychoacoustic model against slow double-precision forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/mpeg/audio/AnalysisFilterbank.h"
#include "engine/mpeg/audio/Fft1024.h"
#include "engine/mpeg/audio/Layer2Tables.h"
#include "engine/mpeg/audio/PsychoModel2.h"
#include "tests/mpeg_audio/RefLayer2.h"

namespace reelcast::testing {
namespace {

using namespace reelcast::mpeg::audio;

TEST(Layer2Tables, AnalysisWindowIsTheStandardsOddSymmetricWindow) {
    EXPECT_EQ(sizeof(kAnalysisWindow) / sizeof(kAnalysisWindow[0]), 512u);
    EXPECT_EQ(kAnalysisWindow[0], 0.0f);
    // |C[i]| = |C[512 - i]|; the sign flips except at multiples of 64.
    for (int i = 1; i < 512; ++i) {
        EXPECT_EQ(std::fabs(kAnalysisWindow[i]), std::fabs(kAnalysisWindow[512 - i])) << i;
        if (i % 64 != 0 && kAnalysisWindow[i] != 0.0f) {
            EXPECT_EQ(kAnalysisWindow[i], -kAnalysisWindow[512 - i]) << i;
        }
    }
    // The peak is the centre tap.
    int peak = 0;
    for (int i = 0; i < 512; ++i)
        if (std::fabs(kAnalysisWindow[i]) > std::fabs(kAnalysisWindow[peak])) peak = i;
    EXPECT_EQ(peak, 256);
    EXPECT_FLOAT_EQ(kAnalysisWindow[256], 0.035780907f);
}

TEST(Layer2Tables, ScaleFactorsFallByTheCubeRootOfTwo) {
    for (int j = 0; j < 63; ++j) EXPECT_NEAR(kScaleFactors[j], std::pow(2.0, 1.0 - j / 3.0), 1e-13) << j;
    EXPECT_EQ(kScaleFactors[0], 2.0);
    EXPECT_EQ(kScaleFactors[3], 1.0);
}

TEST(Layer2Tables, QuantiserClassesMatchTheirDefinition) {
    // Table C.5 as printed (nine decimals).
    const double a[17] = {0.750000000, 0.625000000, 0.875000000, 0.562500000, 0.937500000, 0.968750000,
                          0.984375000, 0.992187500, 0.996093750, 0.998046875, 0.999023438, 0.999511719,
                          0.999755859, 0.999877930, 0.999938965, 0.999969482, 0.999984741};
    const double b[17] = {-0.250000000, -0.375000000, -0.125000000, -0.437500000, -0.062500000, -0.031250000,
                          -0.015625000, -0.007812500, -0.003906250, -0.001953125, -0.000976563, -0.000488281,
                          -0.000244141, -0.000122070, -0.000061035, -0.000030518, -0.000015259};
    for (int c = 0; c < 17; ++c) {
        const QuantClass& q = kQuantClasses[c];
        EXPECT_NEAR(q.a, a[c], 6e-10) << c;
        EXPECT_NEAR(q.b, b[c], 6e-10) << c;
        EXPECT_GE(1 << q.n, q.steps);
        EXPECT_LT(1 << (q.n - 1), q.steps);
        if (q.codeWords == 1) {
            // Three samples in one word: the fewest bits for steps^3 values.
            EXPECT_TRUE(q.steps == 3 || q.steps == 5 || q.steps == 9) << c;
            EXPECT_EQ(q.bits, static_cast<int>(std::ceil(std::log2(static_cast<double>(q.steps) * q.steps * q.steps))));
        } else {
            EXPECT_EQ(q.codeWords, 3);
            EXPECT_EQ(q.bits, q.n);
        }
    }
    // The SNR table rises with the class.
    for (int i = 1; i < 18; ++i) EXPECT_GT(kQuantSnr[i], kQuantSnr[i - 1]);
}

TEST(Layer2Tables, AllocationTablesHaveTheStandardsShape) {
    const int sblimit[4] = {27, 30, 8, 12};
    const int fieldBits[4] = {88, 94, 26, 38};  // allocation bits per channel
    for (int t = 0; t < 4; ++t) {
        const AllocTable& tab = kAllocTables[t];
        EXPECT_EQ(tab.sblimit, sblimit[t]);
        int bits = 0;
        for (int sb = 0; sb < 32; ++sb) {
            bits += tab.nbal[sb];
            if (sb >= tab.sblimit) {
                EXPECT_EQ(tab.nbal[sb], 0);
                continue;
            }
            ASSERT_GE(tab.nbal[sb], 2);
            EXPECT_EQ(tab.quant[sb][0], -1);
            const int entries = 1 << tab.nbal[sb];
            for (int i = 1; i < entries; ++i) {
                ASSERT_GE(tab.quant[sb][i], 0) << t << " " << sb << " " << i;
                ASSERT_LT(tab.quant[sb][i], 17);
                if (i > 1) {
                    EXPECT_GT(tab.quant[sb][i], tab.quant[sb][i - 1]);
                }
            }
            for (int i = entries; i < 16; ++i) EXPECT_EQ(tab.quant[sb][i], -1);
        }
        EXPECT_EQ(bits, fieldBits[t]) << t;
    }
    // Spot checks: B.2a subband 0 ends at 65535 steps, B.2c subband 0 at 32767.
    EXPECT_EQ(kQuantClasses[kAllocTables[0].quant[0][15]].steps, 65535);
    EXPECT_EQ(kQuantClasses[kAllocTables[0].quant[0][2]].steps, 7);
    EXPECT_EQ(kQuantClasses[kAllocTables[2].quant[0][15]].steps, 32767);
    EXPECT_EQ(kQuantClasses[kAllocTables[2].quant[7][7]].steps, 127);
}

TEST(Layer2Tables, ThresholdInQuietHasItsMinimumNearThreeToFourKilohertz) {
    const int rates[3] = {44100, 48000, 32000};
    for (int code = 0; code < 3; ++code) {
        const float* t = kAbsThreshold[code];
        int best = 0;
        for (int w = 0; w < 513; ++w) {
            EXPECT_GT(t[w], 0.0f);
            if (t[w] < t[best]) best = w;
        }
        const double f = best * rates[code] / 1024.0;
        EXPECT_GT(f, 2500.0) << code;
        EXPECT_LT(f, 4500.0) << code;
        // Rising towards both ends.
        EXPECT_GT(t[1], 100.0f * t[best]);
        EXPECT_GT(t[512], 100.0f * t[best]);
    }
}

TEST(Layer2Dsp, FftMatchesTheDirectTransform) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-30000.0f, 30000.0f);
    std::vector<float> x(1024);
    for (float& v : x) v = u(rng);
    Fft1024 fft;
    std::vector<float> re(513), im(513);
    fft.Forward(x.data(), re.data(), im.data());
    double maxMag = 0.0, maxErr = 0.0;
    for (int k = 0; k < 513; ++k) {
        double r = 0.0, i = 0.0;
        for (int n = 0; n < 1024; ++n) {
            const double a = -2.0 * kPi * k * n / 1024.0;
            r += x[n] * std::cos(a);
            i += x[n] * std::sin(a);
        }
        maxMag = std::max(maxMag, std::hypot(r, i));
        maxErr = std::max(maxErr, std::hypot(r - re[k], i - im[k]));
    }
    EXPECT_LT(maxErr, 1e-5 * maxMag);
}

TEST(Layer2Dsp, FilterbankMatchesTheStandardsProcedure) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    AnalysisFilterbank fast;
    RefFilterbank ref[2];
    std::vector<float> in(1152);
    float out[36][32];
    double maxErr = 0.0;
    for (int frame = 0; frame < 3; ++frame) {
        for (int ch = 0; ch < 2; ++ch) {
            for (int i = 0; i < 1152; ++i) in[i] = ch ? u(rng) : 0.5f * std::sin(0.01f * (i + 1152 * frame));
            fast.Process(ch, in.data(), out);
            for (int b = 0; b < 36; ++b) {
                double blk[32], want[32];
                for (int i = 0; i < 32; ++i) blk[i] = in[32 * b + i];
                ref[ch].Block(blk, want);
                for (int k = 0; k < 32; ++k) maxErr = std::max(maxErr, std::fabs(want[k] - out[b][k]));
            }
        }
    }
    EXPECT_LT(maxErr, 2e-6);
}

TEST(Layer2Dsp, FilterbankSeparatesATone) {
    // A tone in the middle of subband 5 stays there.
    AnalysisFilterbank fb;
    std::vector<float> in(1152);
    float out[36][32];
    const double f = (5.5 / 64.0);  // cycles per sample
    for (int frame = 0; frame < 2; ++frame) {
        for (int i = 0; i < 1152; ++i) in[i] = static_cast<float>(0.5 * std::sin(2 * kPi * f * (i + 1152 * frame)));
        fb.Process(0, in.data(), out);
    }
    double e[32] = {};
    for (int b = 0; b < 36; ++b)
        for (int k = 0; k < 32; ++k) e[k] += out[b][k] * out[b][k];
    for (int k = 0; k < 32; ++k)
        if (k != 5) {
            EXPECT_LT(e[k], 1e-6 * e[5]) << k;
        }
}

TEST(Layer2Dsp, PsychoModelMatchesTheDoublePrecisionForm) {
    for (int rate : {44100, 32000}) {
        PsychoModel2 fast;
        ASSERT_TRUE(fast.Setup(rate));
        RefModel2 ref(rate);
        EXPECT_EQ(fast.partitions(), ref.partitions());
        std::mt19937 rng(11);
        std::normal_distribution<double> noise(0.0, 300.0);
        std::vector<float> in(1152);
        std::vector<double> ind(1152);
        float smr[32];
        double want[32];
        double worst = 0.0;
        for (int frame = 0; frame < 4; ++frame) {
            for (int i = 0; i < 1152; ++i) {
                const double t = (i + 1152.0 * frame) / rate;
                const double v = 9000.0 * std::sin(2 * kPi * 700.0 * t) + 2000.0 * std::sin(2 * kPi * 6100.0 * t) +
                                 (frame >= 2 ? noise(rng) : 0.0);
                ind[i] = std::round(v);
                in[i] = static_cast<float>(ind[i]);
            }
            fast.Analyse(0, in.data(), smr);
            ref.Frame(ind.data(), want);
            for (int n = 0; n < 32; ++n) worst = std::max(worst, std::fabs(smr[n] - want[n]));
        }
        EXPECT_LT(worst, 0.1) << rate;  // float against double: a few hundredths of a dB
    }
    PsychoModel2 m;
    EXPECT_FALSE(m.Setup(22050));
    EXPECT_TRUE(m.Setup(48000));
    EXPECT_EQ(m.partitions(), 63);
}

TEST(Layer2Dsp, PsychoModelMasksAroundATone) {
    PsychoModel2 m;
    ASSERT_TRUE(m.Setup(44100));
    std::vector<float> in(1152);
    float smr[32];
    for (int frame = 0; frame < 3; ++frame) {
        for (int i = 0; i < 1152; ++i)
            in[i] = static_cast<float>(std::round(16000.0 * std::sin(2 * kPi * 1000.0 * (i + 1152.0 * frame) / 44100.0)));
        m.Analyse(1, in.data(), smr);
    }
    // 1 kHz lies in subband 1 (689..1378 Hz): it needs a high SNR there, while
    // bands far above are masked or below the threshold in quiet.
    EXPECT_GT(smr[1], 30.0f);
    for (int n = 12; n < 32; ++n) EXPECT_LT(smr[n], 0.0f) << n;
}

}  // namespace
}  // namespace reelcast::testing
