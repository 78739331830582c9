#include "engine/mpeg/audio/AnalysisFilterbank.h"

#include <cmath>
#include <cstring>

#include "engine/mpeg/audio/Layer2Tables.h"

namespace reelcast::mpeg::audio {

AnalysisFilterbank::AnalysisFilterbank() {
    const double pi = 3.14159265358979323846;
    for (int m = 0; m < 512; ++m) windowRev_[m] = kAnalysisWindow[511 - m];
    for (int i = 0; i < 64; ++i) {
        for (int k = 0; k < 32; ++k) {
            const double c = std::cos((2 * k + 1) * (i - 16) * pi / 64.0);
            // Stored by u = 63 - i: the windowed sums come out in that order.
            matrix_[63 - i][k] = static_cast<float>(std::round(c * 1e9) / 1e9);
        }
    }
    Reset();
}

void AnalysisFilterbank::Reset() { std::memset(hist_, 0, sizeof(hist_)); }

void AnalysisFilterbank::Process(int ch, const float* in, float (*out)[32]) {
    float* h = hist_[ch];
    std::memcpy(h + kHistory, in, sizeof(float) * kFrame);
    for (int b = 0; b < kFrame / 32; ++b) {
        // The standard's X[i] (newest sample first) is h[32b + 511 - i]; with the
        // window reversed, Z runs forwards through the history.
        const float* x = h + 32 * b;
        for (int u = 0; u < 64; ++u) y_[u] = windowRev_[u] * x[u];
        for (int r = 1; r < 8; ++r) {
            const float* w = windowRev_ + 64 * r;
            const float* xr = x + 64 * r;
            for (int u = 0; u < 64; ++u) y_[u] += w[u] * xr[u];
        }
        float acc[32];
        for (int k = 0; k < 32; ++k) acc[k] = 0.0f;
        for (int u = 0; u < 64; ++u) {
            const float yi = y_[u];
            const float* mrow = matrix_[u];
            for (int k = 0; k < 32; ++k) acc[k] += mrow[k] * yi;
        }
        for (int k = 0; k < 32; ++k) out[b][k] = acc[k];
    }
    std::memmove(h, h + kFrame, sizeof(float) * kHistory);
}

}  // namespace reelcast::mpeg::audio
