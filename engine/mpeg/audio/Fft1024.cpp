#include "engine/mpeg/audio/Fft1024.h"

#include <cmath>

namespace reelcast::mpeg::audio {

namespace {

// One run of radix-2 butterflies: x[j], y[j] = x[j] +- w[j] y[j], with y = x + half.
inline void Butterflies(float* __restrict xr, float* __restrict xi, const float* __restrict wr,
                        const float* __restrict wi, int half) {
    float* __restrict yr = xr + half;
    float* __restrict yi = xi + half;
    for (int j = 0; j < half; ++j) {
        const float c = wr[j], d = wi[j];
        const float tr = yr[j] * c - yi[j] * d;
        const float ti = yr[j] * d + yi[j] * c;
        yr[j] = xr[j] - tr;
        yi[j] = xi[j] - ti;
        xr[j] += tr;
        xi[j] += ti;
    }
}

}  // namespace

Fft1024::Fft1024() {
    const double pi = 3.14159265358979323846;
    for (int size = 8; size <= kHalf; size <<= 1) {
        const int half = size / 2;
        for (int j = 0; j < half; ++j) {
            wr_[half - 4 + j] = static_cast<float>(std::cos(2.0 * pi * j / size));
            wi_[half - 4 + j] = static_cast<float>(-std::sin(2.0 * pi * j / size));
        }
    }
    for (int k = 0; k < kLines; ++k) {
        sr_[k] = static_cast<float>(std::cos(2.0 * pi * k / kSize));
        si_[k] = static_cast<float>(-std::sin(2.0 * pi * k / kSize));
    }
    sr_[kHalf] = -1.0f;  // exact at k = 512, where sin would leave a tiny residue
    si_[kHalf] = 0.0f;
    for (int i = 0; i < kHalf; ++i) {
        int r = 0;
        for (int b = 0, v = i; b < 9; ++b, v >>= 1) r = (r << 1) | (v & 1);
        rev_[i] = static_cast<std::uint16_t>(r);
    }
}

void Fft1024::Forward(const float* in, float* re, float* im) {
    // Pack even samples as the real part and odd samples as the imaginary part,
    // in bit-reversed order for the in-place decimation-in-time passes.
    for (int m = 0; m < kHalf; ++m) {
        const int d = rev_[m];
        zr_[d] = in[2 * m];
        zi_[d] = in[2 * m + 1];
    }
    // Sizes 2 and 4 have trivial twiddles (1 and -i).
    for (int s = 0; s < kHalf; s += 4) {
        const float ar = zr_[s] + zr_[s + 1], ai = zi_[s] + zi_[s + 1];
        const float br = zr_[s] - zr_[s + 1], bi = zi_[s] - zi_[s + 1];
        const float cr = zr_[s + 2] + zr_[s + 3], ci = zi_[s + 2] + zi_[s + 3];
        const float dr = zr_[s + 2] - zr_[s + 3], di = zi_[s + 2] - zi_[s + 3];
        // second stage: (a, c) with w = 1; (b, d) with w = -i: -i * d = (di, -dr)
        zr_[s] = ar + cr;
        zi_[s] = ai + ci;
        zr_[s + 2] = ar - cr;
        zi_[s + 2] = ai - ci;
        zr_[s + 1] = br + di;
        zi_[s + 1] = bi - dr;
        zr_[s + 3] = br - di;
        zi_[s + 3] = bi + dr;
    }
    for (int size = 8; size <= kHalf; size <<= 1) {
        const int half = size >> 1;
        for (int s = 0; s < kHalf; s += size) Butterflies(zr_ + s, zi_ + s, wr_ + half - 4, wi_ + half - 4, half);
    }
    // Split: X[k] = E[k] + W^k O[k], with E and O the spectra of the even and odd
    // samples recovered from Z[k] and conj(Z[512 - k]). Z[512 - k] is read from a
    // mirrored copy so the loop runs on contiguous data.
    mr_[0] = zr_[0];
    mi_[0] = zi_[0];
    for (int k = 1; k <= kHalf; ++k) {
        mr_[k] = zr_[kHalf - k];
        mi_[k] = zi_[kHalf - k];
    }
    zr_[kHalf] = zr_[0];  // Z[512] = Z[0]
    zi_[kHalf] = zi_[0];
    for (int k = 0; k <= kHalf; ++k) {
        const float ar = zr_[k], ai = zi_[k];
        const float br = mr_[k], bi = -mi_[k];
        const float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        const float or_ = 0.5f * (ai - bi), oi = -0.5f * (ar - br);
        re[k] = er + sr_[k] * or_ - si_[k] * oi;
        im[k] = ei + sr_[k] * oi + si_[k] * or_;
    }
}

}  // namespace reelcast::mpeg::audio
