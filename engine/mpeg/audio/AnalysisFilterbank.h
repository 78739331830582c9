// The 32-band polyphase analysis filterbank of ISO/IEC 11172-3 (Annex C): per
// block of 32 new samples, the 512-tap window and the 64 x 32 matrixing.
#pragma once

namespace reelcast::mpeg::audio {

class AnalysisFilterbank {
public:
    static constexpr int kHistory = 480;  // samples of earlier frames the window still sees
    static constexpr int kFrame = 1152;

    AnalysisFilterbank();

    // Forgets the earlier samples of both channels (silence before the stream).
    void Reset();

    // Filters one frame of channel ch (1152 samples already scaled to +-1) into
    // out[36][32]: 36 blocks of 32 subband samples, in time order.
    void Process(int ch, const float* in, float (*out)[32]);

private:
    alignas(32) float windowRev_[512];  // C[511 - m], so the window runs forwards in time
    alignas(32) float matrix_[32][32];  // [a][k] = cos((2k + 1) a pi / 64), rounded to 1e-9
    alignas(32) float hist_[2][kHistory + kFrame];
    alignas(32) float y_[64];  // windowed partial sums, y_[u] = the standard's Y[63 - u]
};

}  // namespace reelcast::mpeg::audio
