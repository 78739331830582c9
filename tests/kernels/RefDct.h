// Double-precision 8x8 DCT pair following ISO/IEC 13818-2 Annex A literally:
// F(u,v) = 1/4 C(u) C(v) sum f(x,y) cos((2x+1)u pi/16) cos((2y+1)v pi/16).
// Tests only: the fixed-point kernels are checked against it.
#pragma once

#include <cmath>

namespace reelcast::test {

struct RefDct {
    double c[8][8];  // c[k][n] = C(k)/2 cos((2n+1) k pi / 16)
    RefDct() {
        for (int k = 0; k < 8; ++k)
            for (int n = 0; n < 8; ++n)
                c[k][n] = (k == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos((2 * n + 1) * k * M_PI / 16.0);
    }
    // Separable forms; in and out are row-major [row][col] = [y][x] / [v][u].
    void Forward(const double in[64], double out[64]) const {
        double t[64];
        for (int y = 0; y < 8; ++y)
            for (int u = 0; u < 8; ++u) {
                double s = 0;
                for (int x = 0; x < 8; ++x) s += c[u][x] * in[y * 8 + x];
                t[y * 8 + u] = s;
            }
        for (int u = 0; u < 8; ++u)
            for (int v = 0; v < 8; ++v) {
                double s = 0;
                for (int y = 0; y < 8; ++y) s += c[v][y] * t[y * 8 + u];
                out[v * 8 + u] = s;
            }
    }
    void Inverse(const double in[64], double out[64]) const {
        double t[64];
        for (int v = 0; v < 8; ++v)
            for (int x = 0; x < 8; ++x) {
                double s = 0;
                for (int u = 0; u < 8; ++u) s += c[u][x] * in[v * 8 + u];
                t[v * 8 + x] = s;
            }
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y) {
                double s = 0;
                for (int v = 0; v < 8; ++v) s += c[v][y] * t[v * 8 + x];
                out[y * 8 + x] = s;
            }
    }
};

}  // namespace reelcast::test
