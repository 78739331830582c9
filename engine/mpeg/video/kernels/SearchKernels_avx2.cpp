// AVX2 form of the motion-search bookkeeping kernels (see SearchKernels.cpp).
#include <immintrin.h>

#include "engine/mpeg/video/kernels/Kernels.h"
#include "engine/mpeg/video/kernels/KernelsInternal.h"

namespace reelcast::kernels {

namespace {

using std::uint16_t;

inline __m256i Load(const uint16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void Store(uint16_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

uint16_t CoarseRing32(uint16_t* top, uint16_t* bottom, const uint16_t* outside, const uint16_t* span,
                      uint16_t* columnMin) {
    __m256i lowest = _mm256_set1_epi16(-1);
    for (int j = 0; j < kCoarseRingColumns; j += 16) {
        const __m256i o = Load(outside + j);
        const __m256i t = _mm256_or_si256(Load(top + j), o), b = _mm256_or_si256(Load(bottom + j), o);
        Store(top + j, t);
        Store(bottom + j, b);
        const __m256i m = _mm256_min_epu16(t, b);
        lowest = _mm256_min_epu16(lowest, _mm256_or_si256(m, Load(span + j)));
        Store(columnMin + j, _mm256_min_epu16(Load(columnMin + j), m));
    }
    const __m128i half = _mm_min_epu16(_mm256_castsi256_si128(lowest), _mm256_extracti128_si256(lowest, 1));
    return static_cast<uint16_t>(_mm_cvtsi128_si32(_mm_minpos_epu16(half)));
}

}  // namespace

void InitSearchKernelsAvx2(VideoKernels* k) { k->CoarseRing32 = CoarseRing32; }

}  // namespace reelcast::kernels
