// AVX2 family of the picture kernels; each reproduces its portable twin exactly.
#include <immintrin.h>

#include <cstring>

#include "engine/picture/PictureKernels.h"

namespace reelcast::picture {

namespace {

using std::int32_t;
using std::uint16_t;
using std::uint32_t;
using std::uint8_t;

inline uint8_t Clip8(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The tables as multiply-and-shift (exact, see YuvTableRecipe), 8 pixels a step.
void RgbRowToYuv(const uint8_t* p, uint8_t* y, uint8_t* cb, uint8_t* cr, int width, const YuvTables* tb) {
    static const YuvTableRecipe rec = MakeYuvTableRecipe();
    __m256i mul[8];
    __m128i sh[8];
    for (int i = 0; i < 8; ++i) {
        mul[i] = _mm256_set1_epi32(static_cast<int>(rec.mul[i]));
        sh[i] = _mm_cvtsi32_si128(rec.shift[i]);
    }
    // Per 128-bit lane: bytes of 4 BGR pixels to one channel in 4 int32 lanes.
    const __m256i selB = _mm256_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1,
                                          0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m256i selG = _mm256_add_epi8(selB, _mm256_setr_epi8(1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                                                                1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0));
    const __m256i selR = _mm256_add_epi8(selG, _mm256_setr_epi8(1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                                                                1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0));
    const __m256i offY = _mm256_set1_epi32(16 << 16), offC = _mm256_set1_epi32(128 << 16);
    const __m256i gather = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    auto tab = [&](int i, __m256i v) { return _mm256_srl_epi32(_mm256_mullo_epi32(v, mul[i]), sh[i]); };
    int x = 0;
    // Two 16-byte loads at 3x and 3x + 12 read up to byte 3x + 27 of the row.
    for (; x + 10 <= width; x += 8) {
        const uint8_t* q = p + 3 * x;
        const __m256i px = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 12)), 1);
        const __m256i b = _mm256_shuffle_epi8(px, selB), g = _mm256_shuffle_epi8(px, selG),
                      r = _mm256_shuffle_epi8(px, selR);
        const __m256i t112r = tab(5, r);
        const __m256i yv = _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(tab(0, r), tab(1, g)),
                                                              _mm256_add_epi32(tab(2, b), offY)), 16);
        const __m256i cbv = _mm256_srli_epi32(
            _mm256_add_epi32(_mm256_sub_epi32(_mm256_sub_epi32(offC, tab(3, r)), tab(4, g)), tab(5, b)), 16);
        const __m256i crv = _mm256_srli_epi32(
            _mm256_sub_epi32(_mm256_sub_epi32(_mm256_add_epi32(offC, t112r), tab(6, g)), tab(7, b)), 16);
        // Lanes: [y0-3 cb0-3 cr0-3 cr0-3 | y4-7 cb4-7 cr4-7 cr4-7] -> [y0-7 cb0-7 cr0-7 ..].
        const __m256i w = _mm256_packus_epi16(_mm256_packus_epi32(yv, cbv), _mm256_packus_epi32(crv, crv));
        const __m256i o = _mm256_permutevar8x32_epi32(w, gather);
        const __m128i lo = _mm256_castsi256_si128(o), hi = _mm256_extracti128_si256(o, 1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(y + x), lo);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + x), _mm_srli_si128(lo, 8));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + x), hi);
    }
    const auto& t = tb->t;
    for (const uint8_t* s = p + 3 * x; x < width; ++x, s += 3) {
        const int bb = s[0], gg = s[1], rr = s[2];
        y[x] = static_cast<uint8_t>((t[0][rr] + t[1][gg] + t[2][bb] + (16u << 16)) >> 16);
        cb[x] = static_cast<uint8_t>(((128u << 16) - t[3][rr] - t[4][gg] + t[5][bb]) >> 16);
        cr[x] = static_cast<uint8_t>(((128u << 16) + t[5][rr] - t[6][gg] - t[7][bb]) >> 16);
    }
}

void BlendRows(const uint8_t* r0, const uint8_t* r1, int fy, uint16_t* v, int n) {
    const __m256i w0 = _mm256_set1_epi16(static_cast<short>(256 - fy)), w1 = _mm256_set1_epi16(static_cast<short>(fy));
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i a = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + i)));
        const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + i)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + i),
                            _mm256_add_epi16(_mm256_mullo_epi16(a, w0), _mm256_mullo_epi16(b, w1)));
    }
    const int w0s = 256 - fy;
    for (; i < n; ++i) v[i] = static_cast<uint16_t>(r0[i] * w0s + r1[i] * fy);
}

// Each output needs the pair V[xi], V[xi + 1] as one 32-bit lane. Positions
// never decrease, so four outputs usually take their pairs from the eight
// values at the first one's xi: one 16-byte load per 128-bit lane and a byte
// shuffle built from the positions. Groups spread wider (reductions beyond
// two to one) or reaching the last pair fetch them with a gather instead.
void ScaleRow(const uint16_t* v, const int32_t* xi, const uint16_t* fx, uint8_t* out, int dw) {
    const __m256i lowHalf = _mm256_set1_epi32(0xFFFF), k256 = _mm256_set1_epi32(256);
    const __m256i gather = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    // Byte offset d of each lane's pair -> shuffle bytes d, d+1, d+2, d+3.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12,
                                            0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12);
    const __m256i pairBytes = _mm256_set1_epi32(0x03020100), widest = _mm256_set1_epi32(12);
    // v holds elements 0 .. xi[dw - 1] + 1; a lane's load reads eight from its base.
    const int32_t lastBase = dw > 0 ? xi[dw - 1] + 1 - 7 : 0;
    int j = 0;
    for (; j + 8 <= dw; j += 8) {
        const __m256i idx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(xi + j));
        const __m256i d = _mm256_slli_epi32(_mm256_sub_epi32(idx, _mm256_shuffle_epi32(idx, 0)), 1);
        __m256i pair;
        const __m256i inRange = _mm256_cmpeq_epi32(_mm256_max_epu32(d, widest), widest);  // 0 <= d <= 12
        if (xi[j + 4] <= lastBase && _mm256_movemask_epi8(inRange) == -1) {
            const __m256i vals = _mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + xi[j]))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + xi[j + 4])), 1);
            pair = _mm256_shuffle_epi8(vals, _mm256_add_epi32(_mm256_shuffle_epi8(d, spread), pairBytes));
        } else {
            pair = _mm256_i32gather_epi32(reinterpret_cast<const int*>(v), idx, 2);
        }
        const __m256i f = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(fx + j)));
        const __m256i s = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_and_si256(pair, lowHalf), _mm256_sub_epi32(k256, f)),
                                           _mm256_mullo_epi32(_mm256_srli_epi32(pair, 16), f));
        const __m256i r = _mm256_srli_epi32(s, 16);
        const __m256i w = _mm256_packus_epi16(_mm256_packus_epi32(r, r), _mm256_setzero_si256());
        const __m256i o = _mm256_permutevar8x32_epi32(w, gather);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm256_castsi256_si128(o));
    }
    for (; j < dw; ++j) {
        const uint16_t* s = v + xi[j];
        out[j] = static_cast<uint8_t>((static_cast<uint32_t>(s[0]) * (256u - fx[j]) + static_cast<uint32_t>(s[1]) * fx[j]) >> 16);
    }
}

void YuvRowToBgr(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width, int bpp) {
    const __m256i k16 = _mm256_set1_epi16(16), k128 = _mm256_set1_epi16(128), one = _mm256_set1_epi16(1);
    const __m256i kL = _mm256_set1_epi32((4096 << 16) | 8192);                              // (Y-16, 1)
    const __m256i kB = _mm256_set1_epi32(14516);                                             // (U, V)
    const __m256i kG = _mm256_set1_epi32(static_cast<int>((static_cast<uint32_t>(-5850) << 16) | (static_cast<uint32_t>(-2819) & 0xFFFF)));
    const __m256i kR = _mm256_set1_epi32(11485 << 16);
    const __m256i z = _mm256_setzero_si256();
    // Within each 128-bit lane: 8 bytes of B then 8 of G -> B0 G0 B1 G1 ...
    const __m256i zip = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,
                                         0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    const __m128i drop4th = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    // 16 pixels a step; 24-bit output stores 16 bytes per 4 pixels, so keep 4 spare bytes in the row.
    for (; x + 16 <= width && (bpp == 4 || x + 18 <= width); x += 16) {
        const __m256i yy = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x))), k16);
        const __m256i u = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x))), k128);
        const __m256i v = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x))), k128);
        const __m256i ll = _mm256_madd_epi16(_mm256_unpacklo_epi16(yy, one), kL);
        const __m256i lh = _mm256_madd_epi16(_mm256_unpackhi_epi16(yy, one), kL);
        const __m256i uvl = _mm256_unpacklo_epi16(u, v), uvh = _mm256_unpackhi_epi16(u, v);
        auto channel = [&](__m256i k) {  // 16 int16 results in pixel order
            const __m256i lo = _mm256_srai_epi32(_mm256_add_epi32(ll, _mm256_madd_epi16(uvl, k)), 13);
            const __m256i hi = _mm256_srai_epi32(_mm256_add_epi32(lh, _mm256_madd_epi16(uvh, k)), 13);
            return _mm256_packs_epi32(lo, hi);
        };
        // [B0-7 G0-7 | B8-15 G8-15] and [R0-7 0 | R8-15 0], each limited to 0..255.
        const __m256i bg = _mm256_shuffle_epi8(_mm256_packus_epi16(channel(kB), channel(kG)), zip);
        const __m256i r0 = _mm256_shuffle_epi8(_mm256_packus_epi16(channel(kR), z), zip);
        const __m256i pa = _mm256_unpacklo_epi16(bg, r0);  // pixels 0-3 | 8-11
        const __m256i pb = _mm256_unpackhi_epi16(bg, r0);  // pixels 4-7 | 12-15
        const __m128i q[4] = {_mm256_castsi256_si128(pa), _mm256_castsi256_si128(pb),
                              _mm256_extracti128_si256(pa, 1), _mm256_extracti128_si256(pb, 1)};
        if (bpp == 4) {
            for (int i = 0; i < 4; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x + 16 * i), q[i]);
        } else {
            // Each store writes 4 bytes past its 12; the next store or the tail rewrites them.
            for (int i = 0; i < 4; ++i)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x + 12 * i), _mm_shuffle_epi8(q[i], drop4th));
        }
    }
    for (; x < width; ++x) {
        uint8_t* o = out + x * bpp;
        const int32_t l = (y[x] - 16) * 8192 + 4096;
        const int32_t uu = cb[x] - 128, vv = cr[x] - 128;
        o[0] = Clip8((l + 14516 * uu) >> 13);
        o[1] = Clip8((l - 2819 * uu - 5850 * vv) >> 13);
        o[2] = Clip8((l + 11485 * vv) >> 13);
        if (bpp == 4) o[3] = 0;
    }
}

}  // namespace

void InitPictureKernelsAvx2(PictureKernels* k) {
    k->RgbRowToYuv = RgbRowToYuv;
    k->BlendRows = BlendRows;
    k->ScaleRow = ScaleRow;
    k->YuvRowToBgr = YuvRowToBgr;
}

}  // namespace reelcast::picture
