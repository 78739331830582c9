// 1024-point real FFT for the psychoacoustic model: a 512-point complex radix-2
// transform of the even/odd sample pairs, then the split into the real spectrum.
#pragma once

#include <cstdint>

namespace reelcast::mpeg::audio {

class Fft1024 {
public:
    static constexpr int kSize = 1024;
    static constexpr int kLines = kSize / 2 + 1;  // 513

    Fft1024();

    // X[k] = sum over n of in[n] * exp(-2 pi i k n / 1024), for k = 0..512 (no scaling).
    void Forward(const float* in, float* re, float* im);

private:
    static constexpr int kHalf = kSize / 2;  // complex length

    // Twiddles of every pass from size 8 up, each pass's run contiguous:
    // for size s the run holds exp(-2 pi i j / s), j < s / 2, from offset s / 2 - 4.
    alignas(32) float wr_[kHalf];
    alignas(32) float wi_[kHalf];
    float sr_[kLines];      // exp(-2 pi i k / 1024), k <= 512, for the split
    float si_[kLines];
    std::uint16_t rev_[kHalf];
    alignas(32) float zr_[kHalf + 1];  // one spare: Z[512] = Z[0] for the split
    alignas(32) float zi_[kHalf + 1];
    alignas(32) float mr_[kLines];     // Z[(512 - k) mod 512]
    alignas(32) float mi_[kLines];
};

}  // namespace reelcast::mpeg::audio
