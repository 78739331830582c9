// 128-bit steps shared by the SSE2 and AVX2 kernel families. Everything here
// is static: the two families are compiled for different instruction sets,
// and the linker keeps a single copy of an inline function with external
// linkage, which could be the AVX2 one called from the SSE2 family.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "engine/mpeg/video/kernels/DctTables.h"

namespace reelcast::kernels::x86 {

static inline __m128i Load16(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
static inline __m128i Load8(const std::uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
static inline __m128i Load4(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}
static inline void Store16(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
static inline void Store8(std::uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
static inline __m128i LoadS16(const std::int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
static inline void StoreS16(std::int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Eight rows of eight int16 become eight columns.
static inline void Transpose8x8(__m128i r[8]) {
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// Pair constants of one matrix pass for a register of Lanes int16:
// c[j][k] = (A[2k][j], A[2k+1][j]) repeated across the register.
template <int Lanes>
struct PassConstants {
    alignas(2 * Lanes) std::int16_t c[8][4][Lanes];
};

template <int Lanes>
static constexpr PassConstants<Lanes> MakePassConstants(const dct::PassMatrix& m) {
    PassConstants<Lanes> pc{};
    for (int j = 0; j < 8; ++j)
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < Lanes / 2; ++l) {
                pc.c[j][k][2 * l] = m.a[2 * k][j];
                pc.c[j][k][2 * l + 1] = m.a[2 * k + 1][j];
            }
    return pc;
}

}  // namespace reelcast::kernels::x86
