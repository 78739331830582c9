// Shared between the kernel families only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reelcast::kernels {

// The families' inner loops spell these short.
using std::int16_t;
using std::int32_t;
using std::ptrdiff_t;
using std::uint8_t;

// Quantisers are clamped to 1..kMaxQuantiser by every (de)quantiser so that
// all products stay exact in the vector forms (2 x 255 x 64 fits int16).
inline constexpr int kMaxQuantiser = 64;

// The scalar steps every family shares. Static, not plain inline: the families
// are compiled for different instruction sets, and the linker keeps one copy
// of an inline function with external linkage, perhaps the AVX2 one.
static inline int ClampQuantiser(int q) { return q < 1 ? 1 : (q > kMaxQuantiser ? kMaxQuantiser : q); }
static inline int ClampLevelLimit(int l) { return l < 0 ? 0 : (l > 32767 ? 32767 : l); }
static inline int ClampDcPrecision(int p) { return p < 0 ? 0 : (p > 3 ? 3 : p); }
// Intra DC level: x0 divided by 8 >> dcPrecision, rounded half away from zero.
static inline int IntraDcLevel(int x0, int dcPrecision) {
    const int d = 8 >> ClampDcPrecision(dcPrecision);
    return x0 >= 0 ? (x0 + d / 2) / d : -((d / 2 - x0) / d);
}
// Reconstructed intra DC: level << (3 - dcPrecision), clipped to -2048..2047
// (MPEG-1 pictures pass precision 0).
static inline int IntraDcValue(int level, int dcPrecision) {
    const int v = level * (1 << (3 - ClampDcPrecision(dcPrecision)));
    return v < -2048 ? -2048 : (v > 2047 ? 2047 : v);
}

// Chroma 4:2:2 -> 4:2:0, output row o of a plane height rows high: the rows
// under the twelve taps, edge rows repeated; an interlaced frame's fields are
// filtered each on its own.
static inline void Chroma420TapRows(int o, int height, int progressiveFrame, int rows[12]) {
    auto clamp = [](int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); };
    if (progressiveFrame) {
        for (int t = 0; t < 12; ++t) rows[t] = clamp(o * 2 - 5 + t, height - 1);
    } else {
        const int f = o & 1, m = o >> 1;
        const int fieldHeight = (height - f + 1) / 2;
        for (int t = 0; t < 12; ++t) rows[t] = 2 * clamp(m * 2 - 5 + t, fieldHeight - 1) + f;
    }
}
// One output sample; at(t) is the sample under tap t.
template <class At>
static inline std::uint8_t Chroma420Sample(At at) {
    const int v = 228 * (at(5) + at(6)) + 70 * (at(4) + at(7)) - 37 * (at(3) + at(8)) - 21 * (at(2) + at(9)) +
                  11 * (at(1) + at(10)) + 5 * (at(0) + at(11));
    const int r = (v + 256) >> 9;
    return static_cast<std::uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
}

// A paired transform slot filled by two single-block transforms (the
// families without a paired form of their own).
template <void (*Single)(std::int16_t*)>
static void TwoBlocks(std::int16_t* a, std::int16_t* b) {
    Single(a);
    Single(b);
}

// Slots of SearchKernels*.cpp and TransformPairs_avx2.cpp, set by the family initialisers.
struct VideoKernels;
void InitSearchKernelsPortable(VideoKernels* k);
void InitSearchKernelsSse2(VideoKernels* k);
void InitSearchKernelsAvx2(VideoKernels* k);
void InitTransformPairsAvx2(VideoKernels* k);

namespace portable {
void Predict(std::uint8_t* dst, const std::uint8_t* ref, std::ptrdiff_t stride, int w, int h, int hx, int hy,
             int average);
void Chroma444To422(const std::uint8_t* src, std::uint8_t* dst, int width, int height, int mpeg1);
void Chroma422To420(const std::uint8_t* src, std::uint8_t* dst, int width, int height, int progressiveFrame);
}  // namespace portable

}  // namespace reelcast::kernels
