// Fixed-point constants of the 8x8 DCT pair, shared by every kernel family so
// that all of them form exactly the same integer sums.
//
// Basis(s, f) = round(2^14 * c(f)/2 * cos((2s + 1) f pi / 16)), c(0) = 1/sqrt(2),
// c(f > 0) = 1: the 1-D orthonormal DCT of ISO/IEC 13818-2 Annex A in units of
// 2^-14 (s = sample index, f = frequency). |Basis| <= 8035, so a sum of eight
// products with any int16 inputs stays inside int32.
//
// Both transforms are two 1-D matrix passes, first down the columns, then
// along the rows, each rounding (sum + 2^(shift-1)) >> shift and saturating to
// int16:
//   forward: pass 1 keeps kFdctFracBits fraction bits, pass 2 none;
//   inverse: pass 1 keeps kIdctFracBits fraction bits, pass 2 none, then the
//   result is limited to -256..255.
#pragma once

#include <cstdint>

namespace reelcast::kernels::dct {

// 2^13 cos(k pi / 16) rounded, k = 0..8; the DC basis is 2^14 / (2 sqrt 2).
inline constexpr std::int32_t kCos[9] = {8192, 8035, 7568, 6812, 5793, 4551, 3135, 1598, 0};
inline constexpr std::int32_t kDcBasis = 5793;

constexpr std::int16_t Basis(int s, int f) {
    if (f == 0) return static_cast<std::int16_t>(kDcBasis);
    int m = ((2 * s + 1) * f) % 32;  // angle m pi / 16, cos has period 32
    if (m > 16) m = 32 - m;          // cos(2 pi - a) = cos(a)
    const int sign = m > 8 ? -1 : 1; // cos(pi - a) = -cos(a)
    if (m > 8) m = 16 - m;
    return static_cast<std::int16_t>(sign * kCos[m]);
}

inline constexpr int kFdctFracBits = 5;  // inputs |x| <= 255 give |pass 1| <= 721 * 32
inline constexpr int kFdctShift1 = 14 - kFdctFracBits;
inline constexpr int kFdctShift2 = 14 + kFdctFracBits;
inline constexpr int kIdctFracBits = 4;  // real blocks give |pass 1| < 2048 * 16
inline constexpr int kIdctShift1 = 14 - kIdctFracBits;
inline constexpr int kIdctShift2 = 14 + kIdctFracBits;

// Pass matrices A[i][j]: output j = sum over i of A[i][j] * input i.
struct PassMatrix {
    std::int16_t a[8][8];
};

constexpr PassMatrix ForwardMatrix() {  // input i = sample, output j = frequency
    PassMatrix m{};
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) m.a[i][j] = Basis(i, j);
    return m;
}

constexpr PassMatrix InverseMatrix() {  // input i = frequency, output j = sample
    PassMatrix m{};
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) m.a[i][j] = Basis(j, i);
    return m;
}

inline constexpr PassMatrix kForward = ForwardMatrix();
inline constexpr PassMatrix kInverse = InverseMatrix();

constexpr std::int16_t SaturateInt16(std::int32_t v) {
    return static_cast<std::int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

}  // namespace reelcast::kernels::dct
