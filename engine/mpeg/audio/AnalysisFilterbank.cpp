#include "engine/mpeg/audio/AnalysisFilterbank.h"

#include <cmath>
#include <cstring>

#include "engine/mpeg/audio/Layer2Tables.h"

namespace reelcast::mpeg::audio {

AnalysisFilterbank::AnalysisFilterbank() {
    const double pi = 3.14159265358979323846;
    for (int m = 0; m < 512; ++m) windowRev_[m] = kAnalysisWindow[511 - m];
    // The matrix cos((2k + 1)(i - 16) pi / 64) is even about i = 16 and odd about
    // i = 48 (where it is 0), so the 64 windowed sums fold into 32 before a
    // 32 x 32 product with the rows a = 0..31 of cos((2k + 1) a pi / 64).
    for (int a = 0; a < 32; ++a) {
        for (int k = 0; k < 32; ++k) {
            const double c = std::cos((2 * k + 1) * a * pi / 64.0);
            matrix_[a][k] = static_cast<float>(std::round(c * 1e9) / 1e9);
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
        // y_[u] is the standard's Y[63 - u]; fold Y into f[a] (see the constructor).
        float f[32];
        f[0] = y_[63 - 16];
        for (int a = 1; a <= 16; ++a) f[a] = y_[63 - (16 + a)] + y_[63 - (16 - a)];
        for (int a = 17; a < 32; ++a) f[a] = y_[63 - (16 + a)] - y_[63 - (80 - a)];
        float acc[32];
        for (int k = 0; k < 32; ++k) acc[k] = 0.0f;
        for (int a = 0; a < 32; ++a) {
            const float fa = f[a];
            const float* mrow = matrix_[a];
            for (int k = 0; k < 32; ++k) acc[k] += mrow[k] * fa;
        }
        for (int k = 0; k < 32; ++k) out[b][k] = acc[k];
    }
    std::memmove(h, h + kFrame, sizeof(float) * kHistory);
}

}  // namespace reelcast::mpeg::audio
