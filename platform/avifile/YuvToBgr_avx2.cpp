// AVX2 form of YuvRowToBgr24: 16 pixels a step, the same arithmetic as the
// portable form in 32-bit lanes (pairs of 16-bit products summed by madd).
#include <immintrin.h>

#include <cstring>

#include "platform/avifile/YuvToBgr.h"

namespace reelcast::platform {
namespace {

// 16 results of one channel, (l + uv . k) >> 13, saturated to int16 in pixel order.
inline __m256i Channel(__m256i ll, __m256i lh, __m256i uvl, __m256i uvh, __m256i k) {
    const __m256i lo = _mm256_srai_epi32(_mm256_add_epi32(ll, _mm256_madd_epi16(uvl, k)), 13);
    const __m256i hi = _mm256_srai_epi32(_mm256_add_epi32(lh, _mm256_madd_epi16(uvh, k)), 13);
    return _mm256_packs_epi32(lo, hi);
}

inline __m256i Pair(int lowWord, int highWord) {
    return _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(highWord) << 16) |
                                              (static_cast<std::uint32_t>(lowWord) & 0xFFFF)));
}

}  // namespace

void YuvRowToBgr24Avx2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* out,
                       int width) {
    const __m256i k16 = _mm256_set1_epi16(16), k128 = _mm256_set1_epi16(128), one = _mm256_set1_epi16(1);
    const __m256i kL = Pair(kBgrLuma, 4096);  // (Y - 16, 1)
    const __m256i kB = Pair(kBgrCbB, 0);      // (Cb, Cr)
    const __m256i kG = Pair(-kBgrCbG, -kBgrCrG);
    const __m256i kR = Pair(0, kBgrCrR);
    const __m256i z = _mm256_setzero_si256();
    // Within each 128-bit lane: 8 bytes of B then 8 of G -> B0 G0 B1 G1 ...
    const __m256i zip = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,
                                         0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    const __m128i drop4th = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    // 16 pixels from x to dst (48 bytes); each 16-byte store writes 4 bytes
    // past its 12, so dst must have 52.
    auto group = [&](int x, std::uint8_t* dst) {
        auto load = [](const std::uint8_t* p, __m256i bias) {
            return _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))), bias);
        };
        const __m256i yy = load(y + x, k16), u = load(cb + x, k128), v = load(cr + x, k128);
        const __m256i ll = _mm256_madd_epi16(_mm256_unpacklo_epi16(yy, one), kL);
        const __m256i lh = _mm256_madd_epi16(_mm256_unpackhi_epi16(yy, one), kL);
        const __m256i uvl = _mm256_unpacklo_epi16(u, v), uvh = _mm256_unpackhi_epi16(u, v);
        // [B0-7 G0-7 | B8-15 G8-15] and [R0-7 0 | R8-15 0], each limited to 0..255.
        const __m256i bg = _mm256_shuffle_epi8(
            _mm256_packus_epi16(Channel(ll, lh, uvl, uvh, kB), Channel(ll, lh, uvl, uvh, kG)), zip);
        const __m256i r0 = _mm256_shuffle_epi8(_mm256_packus_epi16(Channel(ll, lh, uvl, uvh, kR), z), zip);
        const __m256i pa = _mm256_unpacklo_epi16(bg, r0);  // pixels 0-3 | 8-11
        const __m256i pb = _mm256_unpackhi_epi16(bg, r0);  // pixels 4-7 | 12-15
        const __m128i q[4] = {_mm256_castsi256_si128(pa), _mm256_castsi256_si128(pb), _mm256_extracti128_si256(pa, 1),
                              _mm256_extracti128_si256(pb, 1)};
        for (int i = 0; i < 4; ++i)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 12 * i), _mm_shuffle_epi8(q[i], drop4th));
    };
    int x = 0;
    // In the row while two more pixels follow; the last whole group goes
    // through a scratch copy.
    for (; x + 18 <= width; x += 16) group(x, out + 3 * x);
    if (x + 16 <= width) {
        alignas(16) std::uint8_t scratch[64];
        group(x, scratch);
        std::memcpy(out + 3 * x, scratch, 48);
        x += 16;
    }
    YuvRowToBgr24Portable(y + x, cb + x, cr + x, out + 3 * x, width - x);
}

}  // namespace reelcast::platform
