// AVX2 forms of the coarse motion search's kernels (see SearchKernels.cpp).
#include <immintrin.h>

#include "engine/mpeg/video/kernels/Kernels.h"
#include "engine/mpeg/video/kernels/KernelsInternal.h"
#include "engine/mpeg/video/kernels/KernelsX86.h"

namespace reelcast::kernels {

namespace {

using std::uint16_t;

inline __m256i Load(const uint16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void Store(uint16_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
using x86::Load16;

// Sums at the sixteen offsets 0..15 of ref with the multiple-SAD instruction:
// offsets 0..7 in the low lane, 8..15 in the high one; row r is group r of c.
inline __m256i Sums16(const uint8_t* ref, std::ptrdiff_t stride, __m256i c) {
    auto row = [&](int r) {
        const uint8_t* p = ref + r * stride;
        return _mm256_inserti128_si256(_mm256_castsi128_si256(Load16(p)), Load16(p + 8), 1);
    };
    __m256i s = _mm256_mpsadbw_epu8(row(0), c, 0x00);
    s = _mm256_add_epi16(s, _mm256_mpsadbw_epu8(row(1), c, 0x09));
    s = _mm256_add_epi16(s, _mm256_mpsadbw_epu8(row(2), c, 0x12));
    return _mm256_add_epi16(s, _mm256_mpsadbw_epu8(row(3), c, 0x1B));
}

void Sad4x4Row16(const uint8_t* ref, const uint8_t cur[16], std::ptrdiff_t stride, uint16_t out[16]) {
    Store(out, Sums16(ref, stride, _mm256_broadcastsi128_si256(Load16(cur))));
}

// A row's two halves (columns 0..15, 16..31): formed from ref, or as stored.
inline void FormRow(const uint8_t* ref, std::ptrdiff_t stride, __m256i c, int wide, const uint16_t* row,
                    __m256i* lo, __m256i* hi) {
    if (!ref) {
        *lo = Load(row);
        *hi = Load(row + 16);
    } else if (wide) {
        *lo = Sums16(ref, stride, c);
        *hi = Sums16(ref + 16, stride, c);
    } else {
        const __m256i mid = Sums16(ref + 8, stride, c), none = _mm256_set1_epi16(-1);
        *lo = _mm256_permute2x128_si256(none, mid, 0x20);  // 0xFFFF x 8, columns 8..15
        *hi = _mm256_permute2x128_si256(mid, none, 0x31);  // columns 16..23, 0xFFFF x 8
    }
}

uint16_t CoarseRing32(const CoarseRows& rows, const uint8_t* refTop, const uint8_t* refBottom, int wide,
                      uint16_t* top, uint16_t* bottom, const uint16_t* span) {
    const __m256i c = _mm256_broadcastsi128_si256(Load16(rows.cur));
    __m256i t[2], b[2];
    FormRow(refTop, rows.stride, c, wide, top, &t[0], &t[1]);
    FormRow(refBottom, rows.stride, c, wide, bottom, &b[0], &b[1]);
    __m256i lowest = _mm256_set1_epi16(-1);
    for (int h = 0; h < 2; ++h) {
        const __m256i o = Load(rows.outside + 16 * h);
        t[h] = _mm256_or_si256(t[h], o);
        b[h] = _mm256_or_si256(b[h], o);
        Store(top + 16 * h, t[h]);
        Store(bottom + 16 * h, b[h]);
        const __m256i m = _mm256_min_epu16(t[h], b[h]);
        lowest = _mm256_min_epu16(lowest, _mm256_or_si256(m, Load(span + 16 * h)));
        Store(rows.columnMin + 16 * h, _mm256_min_epu16(Load(rows.columnMin + 16 * h), m));
    }
    const __m128i half = _mm_min_epu16(_mm256_castsi256_si128(lowest), _mm256_extracti128_si256(lowest, 1));
    return static_cast<uint16_t>(_mm_cvtsi128_si32(_mm_minpos_epu16(half)));
}

}  // namespace

void InitSearchKernelsAvx2(VideoKernels* k) {
    k->Sad4x4Row16 = Sad4x4Row16;
    k->CoarseRing32 = CoarseRing32;
}

}  // namespace reelcast::kernels
