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

    float wr_[kHalf / 2];   // exp(-2 pi i k / 512), k < 256
    float wi_[kHalf / 2];
    float sr_[kLines];      // exp(-2 pi i k / 1024), k <= 512, for the split
    float si_[kLines];
    std::uint16_t rev_[kHalf];
    float zr_[kHalf];
    float zi_[kHalf];
};

}  // namespace reelcast::mpeg::audio
