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
        Pass(in, t, 1, true);
        Pass(t, out, 8, true);
    }
    void Inverse(const double in[64], double out[64]) const {
        double t[64];
        Pass(in, t, 1, false);
        Pass(t, out, 8, false);
    }

private:
    // One 1-D pass along the rows (step 1) or the columns (step 8): forward sums
    // samples against c[k][n], inverse coefficients against c[n][k].
    void Pass(const double* in, double* out, int step, bool forward) const {
        const int across = step == 1 ? 8 : 1;
        for (int line = 0; line < 8; ++line)
            for (int k = 0; k < 8; ++k) {
                double s = 0;
                for (int n = 0; n < 8; ++n) s += (forward ? c[k][n] : c[n][k]) * in[line * across + n * step];
                out[line * across + k * step] = s;
            }
    }
};

}  // namespace reelcast::test
