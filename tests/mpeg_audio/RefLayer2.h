// Slow double-precision forms of the encoder's analysis stages, written the way
// ISO/IEC 11172-3 states them (Annex C filterbank, Annex D model 2 with the
// encoder's particulars), for checking the fast float versions.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/mpeg/audio/Layer2Tables.h"

namespace reelcast::testing {

constexpr double kPi = 3.14159265358979323846;

// Analysis filterbank: X shifted by 32 per block, newest sample in X[0].
class RefFilterbank {
public:
    // 32 new samples (+-1 scale) in time order -> 32 subband samples.
    void Block(const double* in, double* out) {
        for (int i = 511; i >= 32; --i) x_[i] = x_[i - 32];
        for (int i = 31; i >= 0; --i) x_[i] = in[31 - i];
        double z[512], y[64];
        for (int i = 0; i < 512; ++i) z[i] = mpeg::audio::kAnalysisWindow[i] * x_[i];
        for (int i = 0; i < 64; ++i) {
            y[i] = 0.0;
            for (int j = 0; j < 8; ++j) y[i] += z[i + 64 * j];
        }
        for (int k = 0; k < 32; ++k) {
            out[k] = 0.0;
            for (int i = 0; i < 64; ++i) out[k] += std::cos((2 * k + 1) * (i - 16) * kPi / 64.0) * y[i];
        }
    }

private:
    double x_[512] = {};
};

// Psychoacoustic model 2 for one channel.
class RefModel2 {
public:
    explicit RefModel2(int rate) : rate_(rate) {
        static const double band[27] = {0,    100,  200,  300,  400,  510,  630,  770,   920,
                                        1080, 1270, 1480, 1720, 2000, 2320, 2700, 3150,  3700,
                                        4400, 5300, 6400, 7700, 9500, 12000, 15500, 25000, 30000};
        std::vector<double> bark(513);
        for (int w = 0; w < 513; ++w) {
            const double f = w * static_cast<double>(rate) / 1024.0;
            int j = 1;
            while (j < 26 && f > band[j]) ++j;
            bark[w] = (j - 1) + (f - band[j - 1]) / (band[j] - band[j - 1]);
        }
        part_.assign(513, 0);
        double low = bark[0];
        int p = 0;
        for (int w = 1; w < 513; ++w) {
            if (bark[w] - low > 0.33) {
                ++p;
                low = bark[w];
            }
            part_[w] = p;
        }
        parts_ = p + 1;
        bval_.assign(parts_, 0.0);
        lines_.assign(parts_, 0);
        for (int w = 0; w < 513; ++w) {
            bval_[part_[w]] += bark[w];
            ++lines_[part_[w]];
        }
        for (int j = 0; j < parts_; ++j) bval_[j] /= lines_[j];
        const int code = rate == 44100 ? 0 : rate == 48000 ? 1 : 2;
        absthr_ = mpeg::audio::kAbsThreshold[code];
    }

    int partitions() const { return parts_; }

    static double Spreading(double fromBark, double toBark) {
        const double t = 1.05 * (toBark - fromBark);
        const double x = (t >= 0.5 && t <= 2.5) ? 8.0 * ((t - 0.5) * (t - 0.5) - 2.0 * (t - 0.5)) : 0.0;
        const double y = 15.811389 + 7.5 * (t + 0.474) - 17.5 * std::sqrt(1.0 + (t + 0.474) * (t + 0.474));
        return y <= -100.0 ? 0.0 : std::pow(10.0, (x + y) / 10.0);
    }

    // One frame of 1152 samples (16-bit scale) -> 32 SMRs (dB).
    void Frame(const double* in, double* smr) {
        for (int pass = 0; pass < 2; ++pass) {
            for (int j = 0; j < 1056; ++j) saved_[j] = j < 480 ? saved_[j + 576] : in[pass * 576 + (j - 480)];
            double v[32];
            Analyse(v);
            for (int n = 0; n < 32; ++n) smr[n] = pass == 0 ? v[n] : std::max(smr[n], v[n]);
        }
    }

private:
    void Analyse(double* smr) {
        static const double minval[27] = {20, 20, 20, 20, 20, 17, 15, 10, 7, 4.4, 4.5, 4.5, 4.5, 4.5,
                                          4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 3.5, 3.5, 3.5};
        double energy[513], phi[513], c[513];
        for (int k = 0; k < 513; ++k) {
            double re = 0.0, im = 0.0;
            for (int n = 0; n < 1024; ++n) {
                const double w = 0.5 * (1.0 - std::cos(2.0 * kPi * (n - 0.5) / 1024.0));
                const double a = -2.0 * kPi * k * n / 1024.0;
                re += w * saved_[n] * std::cos(a);
                im += w * saved_[n] * std::sin(a);
            }
            energy[k] = re * re + im * im;
            phi[k] = std::atan2(im, re);
            if (energy[k] < 0.0005) {
                energy[k] = 0.0005;
                phi[k] = 0.0;
            }
        }
        for (int k = 0; k < 513; ++k) {
            const double r = std::sqrt(energy[k]);
            const double rp = 2.0 * r1_[k] - r2_[k];
            const double pp = 2.0 * p1_[k] - p2_[k];
            const double dx = r * std::cos(phi[k]) - rp * std::cos(pp);
            const double dy = r * std::sin(phi[k]) - rp * std::sin(pp);
            const double den = r + std::fabs(rp);
            c[k] = den != 0.0 ? std::sqrt(dx * dx + dy * dy) / den : 0.0;
            r2_[k] = r1_[k];
            p2_[k] = p1_[k];
            r1_[k] = r;
            p1_[k] = phi[k];
        }
        std::vector<double> ge(parts_, 0.0), gc(parts_, 0.0), nb(parts_, 0.0);
        for (int k = 0; k < 513; ++k) {
            ge[part_[k]] += energy[k];
            gc[part_[k]] += energy[k] * c[k];
        }
        for (int j = 0; j < parts_; ++j) {
            double ecb = 0.0, cb = 0.0, rnorm = 0.0;
            for (int i = 0; i < parts_; ++i) {
                const double s = Spreading(bval_[i], bval_[j]);
                ecb += s * ge[i];
                cb += s * gc[i];
                rnorm += s;
            }
            cb = ecb != 0.0 ? cb / ecb : 0.0;
            cb = std::min(0.5, std::max(0.05, cb));
            const double tb = -0.434294482 * std::log(cb) - 0.301029996;
            const double snr =
                std::max(minval[static_cast<int>(bval_[j] + 0.5)], tb * std::max(15.5 + bval_[j], 24.5) + (1.0 - tb) * 5.5);
            nb[j] = ecb * std::pow(10.0, -snr / 10.0) / (rnorm * lines_[j]);
        }
        double thr[513];
        for (int k = 0; k < 513; ++k) thr[k] = std::max(nb[part_[k]], static_cast<double>(absthr_[k]));
        for (int n = 0; n < 32; ++n) {
            double e = 0.0, mn = thr[16 * n], sum = 0.0;
            for (int k = 16 * n; k <= 16 * n + 16; ++k) {
                e += energy[k];
                mn = std::min(mn, thr[k]);
                sum += thr[k];
            }
            smr[n] = 10.0 * std::log10(e / (n < 13 ? 17.0 * mn : sum));
        }
    }

    int rate_;
    int parts_ = 0;
    std::vector<int> part_;
    std::vector<double> bval_;
    std::vector<int> lines_;
    const float* absthr_ = nullptr;
    double saved_[1056] = {};
    double r1_[513] = {}, r2_[513] = {}, p1_[513] = {}, p2_[513] = {};
};

}  // namespace reelcast::testing
