#include "engine/mpeg/audio/PsychoModel2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/mpeg/audio/Layer2Tables.h"

namespace reelcast::mpeg::audio {

namespace {

// Critical band edges in Hz (bark 0..26) for mapping FFT lines to bark.
constexpr double kCritBandHz[27] = {0,    100,  200,  300,  400,  510,  630,  770,   920,
                                    1080, 1270, 1480, 1720, 2000, 2320, 2700, 3150,  3700,
                                    4400, 5300, 6400, 7700, 9500, 12000, 15500, 25000, 30000};

// Lowest required SNR (dB) by the rounded bark value of a partition.
constexpr float kMinval[27] = {20.0f, 20.0f, 20.0f, 20.0f, 20.0f, 17.0f, 15.0f, 10.0f, 7.0f,
                               4.4f,  4.5f,  4.5f,  4.5f,  4.5f,  4.5f,  4.5f,  4.5f,  4.5f,
                               4.5f,  4.5f,  4.5f,  4.5f,  4.5f,  4.5f,  3.5f,  3.5f,  3.5f};

constexpr float kNoiseMaskingTone = 5.5f;  // dB
constexpr float kMinLineEnergy = 0.0005f;

}  // namespace

PsychoModel2::PsychoModel2() {
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < Fft1024::kSize; ++i)
        window_[i] = static_cast<float>(0.5 * (1.0 - std::cos(2.0 * pi * (i - 0.5) / Fft1024::kSize)));
    Setup(44100);
}

bool PsychoModel2::Setup(int sampleRate) {
    int code;
    switch (sampleRate) {
        case 44100: code = 0; break;
        case 48000: code = 1; break;
        case 32000: code = 2; break;
        default: return false;
    }
    absThr_ = kAbsThreshold[code];

    // Bark value of every line, then partitions of about a third of a bark.
    double bark[kLines];
    for (int w = 0; w < kLines; ++w) {
        const double f = w * static_cast<double>(sampleRate) / Fft1024::kSize;
        int j = 1;
        while (j < 26 && f > kCritBandHz[j]) ++j;
        bark[w] = (j - 1) + (f - kCritBandHz[j - 1]) / (kCritBandHz[j] - kCritBandHz[j - 1]);
    }
    double sum[kMaxPartitions] = {};
    int lines[kMaxPartitions] = {};
    int p = 0;
    double low = bark[0];
    for (int w = 0; w < kLines; ++w) {
        if (w > 0 && bark[w] - low > 0.33 && p + 1 < kMaxPartitions) {
            ++p;
            low = bark[w];
        }
        if (w == 0 || partOfLine_[w - 1] != p) firstLine_[p] = w;
        partOfLine_[w] = static_cast<unsigned char>(p);
        sum[p] += bark[w];
        ++lines[p];
    }
    partitions_ = p + 1;
    firstLine_[partitions_] = kLines;
    for (int j = 0; j < partitions_; ++j) bval_[j] = static_cast<float>(sum[j] / lines[j]);

    for (int j = 0; j < partitions_; ++j) {
        double rnorm = 0.0;
        for (int i = 0; i < partitions_; ++i) {
            const double t = 1.05 * (static_cast<double>(bval_[j]) - bval_[i]);
            double x = 0.0;
            if (t >= 0.5 && t <= 2.5) x = 8.0 * ((t - 0.5) * (t - 0.5) - 2.0 * (t - 0.5));
            const double tt = t + 0.474;
            const double y = 15.811389 + 7.5 * tt - 17.5 * std::sqrt(1.0 + tt * tt);
            const double s = y <= -100.0 ? 0.0 : std::pow(10.0, (x + y) / 10.0);
            spreadT_[i][j] = static_cast<float>(s);
            rnorm += s;
        }
        nbScale_[j] = (rnorm != 0.0 && lines[j] != 0) ? static_cast<float>(1.0 / (rnorm * lines[j])) : 0.0f;
        tmn_[j] = std::max(15.5f + bval_[j], 24.5f);
        const int k = std::min(26, static_cast<int>(bval_[j] + 0.5f));
        minval_[j] = kMinval[k];
    }
    Reset();
    return true;
}

void PsychoModel2::Reset() {
    std::memset(saved_, 0, sizeof(saved_));
    std::memset(r1_, 0, sizeof(r1_));
    std::memset(r2_, 0, sizeof(r2_));
    std::memset(s1_, 0, sizeof(s1_));
    std::memset(s2_, 0, sizeof(s2_));
    std::fill(&c1_[0][0], &c1_[0][0] + 2 * kLines, 1.0f);
    std::fill(&c2_[0][0], &c2_[0][0] + 2 * kLines, 1.0f);
}

void PsychoModel2::Analyse(int ch, const float* samples, float* smr) {
    for (int pass = 0; pass < 2; ++pass) {
        float* buf = saved_[ch];
        std::memmove(buf, buf + kFlush, sizeof(float) * kSyncFlush);
        std::memcpy(buf + kSyncFlush, samples + pass * kFlush, sizeof(float) * kFlush);
        AnalyseOnce(ch, smr, pass == 0);
    }
}

void PsychoModel2::AnalyseOnce(int ch, float* smr, bool first) {
    const float* buf = saved_[ch];
    for (int i = 0; i < Fft1024::kSize; ++i) windowed_[i] = window_[i] * buf[i];
    fft_.Forward(windowed_, re_, im_);

    float* r1 = r1_[ch];
    float* r2 = r2_[ch];
    float* c1 = c1_[ch];
    float* s1 = s1_[ch];
    float* c2 = c2_[ch];
    float* s2 = s2_[ch];
    for (int w = 0; w < kLines; ++w) {
        const float e0 = re_[w] * re_[w] + im_[w] * im_[w];
        // Lines below the floor count as the floor with phase 0.
        const bool floor = e0 < kMinLineEnergy;
        const float e = floor ? kMinLineEnergy : e0;
        const float r = std::sqrt(e);
        const float inv = 1.0f / r;
        const float cs = floor ? 1.0f : re_[w] * inv;
        const float sn = floor ? 0.0f : im_[w] * inv;
        energy_[w] = e;
        // Prediction from the two previous spectra: magnitude 2 r1 - r2 and phase
        // 2 phi1 - phi2, the latter as the phasor u1^2 * conj(u2).
        const float rp = 2.0f * r1[w] - r2[w];
        const float a = c1[w] * c1[w] - s1[w] * s1[w];
        const float b = 2.0f * c1[w] * s1[w];
        const float pc = a * c2[w] + b * s2[w];
        const float ps = b * c2[w] - a * s2[w];
        const float dx = r * cs - rp * pc;
        const float dy = r * sn - rp * ps;
        // r is at least the floor's root, so the denominator is never 0.
        unpred_[w] = std::sqrt(dx * dx + dy * dy) / (r + std::fabs(rp));
        r2[w] = r1[w];
        c2[w] = c1[w];
        s2[w] = s1[w];
        r1[w] = r;
        c1[w] = cs;
        s1[w] = sn;
    }
    for (int j = 0; j < partitions_; ++j) {
        float ge = 0.0f, gc = 0.0f;
        for (int w = firstLine_[j]; w < firstLine_[j + 1]; ++w) {
            ge += energy_[w];
            gc += energy_[w] * unpred_[w];
        }
        groupE_[j] = ge;
        groupC_[j] = gc;
    }

    // Spread energy and energy-weighted unpredictability over the partitions:
    // ecb[j] = sum over i of s(i -> j) * groupE[i], run masker by masker so the
    // inner loop is over contiguous maskees.
    for (int j = 0; j < partitions_; ++j) ecb_[j] = ccb_[j] = 0.0f;
    for (int i = 0; i < partitions_; ++i) {
        const float ge = groupE_[i], gc = groupC_[i];
        const float* s = spreadT_[i];
        for (int j = 0; j < partitions_; ++j) {
            ecb_[j] += s[j] * ge;
            ccb_[j] += s[j] * gc;
        }
    }
    for (int j = 0; j < partitions_; ++j) {
        const float ecb = ecb_[j], ccb = ccb_[j];
        float cb = ecb != 0.0f ? ccb / ecb : 0.0f;
        cb = std::clamp(cb, 0.05f, 0.5f);
        const float tb = -0.434294482f * std::log(cb) - 0.301029996f;
        const float snr = std::max(minval_[j], tmn_[j] * tb + kNoiseMaskingTone * (1.0f - tb));
        nb_[j] = ecb * std::pow(10.0f, -0.1f * snr) * nbScale_[j];
    }
    for (int w = 0; w < kLines; ++w) thr_[w] = std::max(nb_[partOfLine_[w]], absThr_[w]);

    // Subband n covers lines 16n..16n+16. In the low subbands, where partitions
    // are narrower than a subband, the weakest line's threshold governs; higher
    // up the thresholds add.
    for (int n = 0; n < 32; ++n) {
        const float* e = energy_ + 16 * n;
        const float* t = thr_ + 16 * n;
        float epart = 0.0f, npart;
        if (n < 13) {
            float m = t[0];
            for (int k = 0; k < 17; ++k) {
                epart += e[k];
                m = std::min(m, t[k]);
            }
            npart = 17.0f * m;
        } else {
            npart = 0.0f;
            for (int k = 0; k < 17; ++k) {
                epart += e[k];
                npart += t[k];
            }
        }
        const float v = 10.0f * std::log10(epart / npart);
        smr[n] = first ? v : std::max(smr[n], v);
    }
}

}  // namespace reelcast::mpeg::audio
