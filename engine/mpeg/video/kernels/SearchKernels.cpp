// The coarse motion search's ring kernel: the portable and SSE2 forms (the
// AVX2 one is in SearchKernels_avx2.cpp). Same results in every family.
#include <emmintrin.h>

#include <algorithm>
#include <cstdlib>

#include "engine/mpeg/video/kernels/Kernels.h"
#include "engine/mpeg/video/kernels/KernelsInternal.h"
#include "engine/mpeg/video/kernels/KernelsX86.h"

namespace reelcast::kernels {

namespace {

using std::uint16_t;

constexpr int kColumns = kCoarseRingColumns;

// Columns first..end-1 of a row of sums from ref; 0xFFFF in the others.
template <class Sum>
void FormRow(uint16_t* row, const uint8_t* ref, int wide, Sum sum) {
    const int first = wide ? 0 : 8, end = wide ? kColumns : 24;
    for (int j = 0; j < kColumns; ++j) row[j] = j >= first && j < end ? sum(ref + j) : uint16_t{0xFFFF};
}

uint16_t CoarseRing32Portable(const CoarseRows& rows, const uint8_t* refTop, const uint8_t* refBottom, int wide,
                              uint16_t* top, uint16_t* bottom, const uint16_t* span) {
    auto sum = [&](const uint8_t* p) {
        int s = 0;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) s += std::abs(rows.cur[4 * r + c] - p[r * rows.stride + c]);
        return static_cast<uint16_t>(s);
    };
    if (refTop) FormRow(top, refTop, wide, sum);
    if (refBottom) FormRow(bottom, refBottom, wide, sum);
    uint16_t lowest = 0xFFFF;
    for (int j = 0; j < kColumns; ++j) {
        const uint16_t t = static_cast<uint16_t>(top[j] | rows.outside[j]);
        const uint16_t b = static_cast<uint16_t>(bottom[j] | rows.outside[j]);
        top[j] = t;
        bottom[j] = b;
        const uint16_t m = std::min(t, b);
        lowest = std::min(lowest, static_cast<uint16_t>(m | span[j]));
        rows.columnMin[j] = std::min(rows.columnMin[j], m);
    }
    return lowest;
}

inline __m128i Load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
// Unsigned 16-bit minimum without SSE4.1: a - (a - b saturated at 0).
inline __m128i MinU16(__m128i a, __m128i b) { return _mm_sub_epi16(a, _mm_subs_epu16(a, b)); }
using x86::Load4;

uint16_t CoarseRing32Sse2(const CoarseRows& rows, const uint8_t* refTop, const uint8_t* refBottom, int wide,
                          uint16_t* top, uint16_t* bottom, const uint16_t* span) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows.cur));
    const std::ptrdiff_t s = rows.stride;
    auto sum = [&](const uint8_t* p) {
        const __m128i b = _mm_unpacklo_epi64(_mm_unpacklo_epi32(Load4(p), Load4(p + s)),
                                             _mm_unpacklo_epi32(Load4(p + 2 * s), Load4(p + 3 * s)));
        const __m128i d = _mm_sad_epu8(c, b);
        return static_cast<uint16_t>(_mm_cvtsi128_si32(_mm_add_epi32(d, _mm_srli_si128(d, 8))));
    };
    if (refTop) FormRow(top, refTop, wide, sum);
    if (refBottom) FormRow(bottom, refBottom, wide, sum);
    __m128i lowest = _mm_set1_epi16(-1);
    for (int j = 0; j < kColumns; j += 8) {
        const __m128i o = Load(rows.outside + j);
        const __m128i t = _mm_or_si128(Load(top + j), o), b = _mm_or_si128(Load(bottom + j), o);
        Store(top + j, t);
        Store(bottom + j, b);
        const __m128i m = MinU16(t, b);
        lowest = MinU16(lowest, _mm_or_si128(m, Load(span + j)));
        Store(rows.columnMin + j, MinU16(Load(rows.columnMin + j), m));
    }
    lowest = MinU16(lowest, _mm_srli_si128(lowest, 8));
    lowest = MinU16(lowest, _mm_srli_si128(lowest, 4));
    lowest = MinU16(lowest, _mm_srli_si128(lowest, 2));
    return static_cast<uint16_t>(_mm_cvtsi128_si32(lowest));
}

}  // namespace

void InitSearchKernelsPortable(VideoKernels* k) { k->CoarseRing32 = CoarseRing32Portable; }
void InitSearchKernelsSse2(VideoKernels* k) { k->CoarseRing32 = CoarseRing32Sse2; }

}  // namespace reelcast::kernels
