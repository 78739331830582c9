// Motion-search bookkeeping kernels: the portable and SSE2 forms (the AVX2 form
// is in SearchKernels_avx2.cpp). Same results in every family.
#include <emmintrin.h>

#include <algorithm>

#include "engine/mpeg/video/kernels/Kernels.h"
#include "engine/mpeg/video/kernels/KernelsInternal.h"

namespace reelcast::kernels {

namespace {

using std::uint16_t;

uint16_t CoarseRing32Portable(uint16_t* top, uint16_t* bottom, const uint16_t* outside, const uint16_t* span,
                              uint16_t* columnMin) {
    uint16_t lowest = 0xFFFF;
    for (int j = 0; j < kCoarseRingColumns; ++j) {
        const uint16_t t = static_cast<uint16_t>(top[j] | outside[j]);
        const uint16_t b = static_cast<uint16_t>(bottom[j] | outside[j]);
        top[j] = t;
        bottom[j] = b;
        const uint16_t m = std::min(t, b);
        lowest = std::min(lowest, static_cast<uint16_t>(m | span[j]));
        columnMin[j] = std::min(columnMin[j], m);
    }
    return lowest;
}

inline __m128i Load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
// Unsigned 16-bit minimum without SSE4.1: a - (a - b saturated at 0).
inline __m128i MinU16(__m128i a, __m128i b) { return _mm_sub_epi16(a, _mm_subs_epu16(a, b)); }

uint16_t CoarseRing32Sse2(uint16_t* top, uint16_t* bottom, const uint16_t* outside, const uint16_t* span,
                          uint16_t* columnMin) {
    __m128i lowest = _mm_set1_epi16(-1);
    for (int j = 0; j < kCoarseRingColumns; j += 8) {
        const __m128i o = Load(outside + j);
        const __m128i t = _mm_or_si128(Load(top + j), o), b = _mm_or_si128(Load(bottom + j), o);
        Store(top + j, t);
        Store(bottom + j, b);
        const __m128i m = MinU16(t, b);
        lowest = MinU16(lowest, _mm_or_si128(m, Load(span + j)));
        Store(columnMin + j, MinU16(Load(columnMin + j), m));
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
