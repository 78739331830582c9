// SSE2 family of the picture kernels; each reproduces its portable twin exactly.
#include <emmintrin.h>

#include <cstring>

#include "engine/picture/PictureKernels.h"

namespace reelcast::picture {

namespace {

using std::int32_t;
using std::uint16_t;
using std::uint8_t;

inline __m128i Load16(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline __m128i Load8(const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); }
inline void Store16(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline void Store8(void* p, __m128i v) { _mm_storel_epi64(static_cast<__m128i*>(p), v); }

// (a + b) >> 1 per byte: the rounding average minus the carried-out low bit.
inline __m128i AvgDown(__m128i a, __m128i b) {
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

void Subsample2x2(const uint8_t* r0, const uint8_t* r1, uint8_t* out, int outWidth) {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    int j = 0;
    for (; j + 8 <= outWidth; j += 8) {
        const __m128i a = Load16(r0 + 2 * j), b = Load16(r1 + 2 * j);
        const __m128i sa = _mm_add_epi16(_mm_and_si128(a, lowBytes), _mm_srli_epi16(a, 8));
        const __m128i sb = _mm_add_epi16(_mm_and_si128(b, lowBytes), _mm_srli_epi16(b, 8));
        const __m128i s = _mm_srli_epi16(_mm_add_epi16(sa, sb), 2);
        Store8(out + j, _mm_packus_epi16(s, s));
    }
    for (; j < outWidth; ++j)
        out[j] = static_cast<uint8_t>((r0[2 * j] + r0[2 * j + 1] + r1[2 * j] + r1[2 * j + 1]) >> 2);
}

void BlendRows(const uint8_t* r0, const uint8_t* r1, int fy, uint16_t* v, int n) {
    const __m128i z = _mm_setzero_si128();
    const __m128i w0 = _mm_set1_epi16(static_cast<short>(256 - fy)), w1 = _mm_set1_epi16(static_cast<short>(fy));
    int i = 0;
    // Both products and their sum stay below 65536, so 16-bit lanes are exact.
    for (; i + 16 <= n; i += 16) {
        const __m128i a = Load16(r0 + i), b = Load16(r1 + i);
        const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, z), w0), _mm_mullo_epi16(_mm_unpacklo_epi8(b, z), w1));
        const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, z), w0), _mm_mullo_epi16(_mm_unpackhi_epi8(b, z), w1));
        Store16(v + i, lo);
        Store16(v + i + 8, hi);
    }
    const int w0s = 256 - fy;
    for (; i < n; ++i) v[i] = static_cast<uint16_t>(r0[i] * w0s + r1[i] * fy);
}

inline uint8_t Clip8(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

void YuvRowToBgr(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width, int bpp) {
    const __m128i z = _mm_setzero_si128();
    const __m128i k16 = _mm_set1_epi16(16), k128 = _mm_set1_epi16(128), one = _mm_set1_epi16(1);
    const __m128i kL = _mm_set_epi16(4096, 8192, 4096, 8192, 4096, 8192, 4096, 8192);  // (Y-16, 1)
    const __m128i kB = _mm_set_epi16(0, 14516, 0, 14516, 0, 14516, 0, 14516);            // (U, V)
    const __m128i kG = _mm_set_epi16(-5850, -2819, -5850, -2819, -5850, -2819, -5850, -2819);
    const __m128i kR = _mm_set_epi16(11485, 0, 11485, 0, 11485, 0, 11485, 0);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i yy = _mm_sub_epi16(_mm_unpacklo_epi8(Load8(y + x), z), k16);
        const __m128i u = _mm_sub_epi16(_mm_unpacklo_epi8(Load8(cb + x), z), k128);
        const __m128i v = _mm_sub_epi16(_mm_unpacklo_epi8(Load8(cr + x), z), k128);
        const __m128i y1l = _mm_unpacklo_epi16(yy, one), y1h = _mm_unpackhi_epi16(yy, one);
        const __m128i uvl = _mm_unpacklo_epi16(u, v), uvh = _mm_unpackhi_epi16(u, v);
        const __m128i ll = _mm_madd_epi16(y1l, kL), lh = _mm_madd_epi16(y1h, kL);
        auto channel = [&](__m128i k) {
            const __m128i lo = _mm_srai_epi32(_mm_add_epi32(ll, _mm_madd_epi16(uvl, k)), 13);
            const __m128i hi = _mm_srai_epi32(_mm_add_epi32(lh, _mm_madd_epi16(uvh, k)), 13);
            const __m128i w = _mm_packs_epi32(lo, hi);
            return _mm_packus_epi16(w, w);  // limits to 0..255
        };
        const __m128i b = channel(kB), g = channel(kG), r = channel(kR);
        const __m128i bg = _mm_unpacklo_epi8(b, g), r0 = _mm_unpacklo_epi8(r, z);
        const __m128i p0 = _mm_unpacklo_epi16(bg, r0), p1 = _mm_unpackhi_epi16(bg, r0);
        if (bpp == 4) {
            Store16(out + 4 * x, p0);
            Store16(out + 4 * x + 16, p1);
        } else {
            alignas(16) uint8_t px[32];
            Store16(px, p0);
            Store16(px + 16, p1);
            uint8_t* o = out + 3 * x;
            for (int i = 0; i < 8; ++i) std::memcpy(o + 3 * i, px + 4 * i, 3);
        }
    }
    for (; x < width; ++x) {
        uint8_t* o = out + x * bpp;
        const int32_t l = (y[x] - 16) * 8192 + 4096;
        const int32_t u = cb[x] - 128, v = cr[x] - 128;
        o[0] = Clip8((l + 14516 * u) >> 13);
        o[1] = Clip8((l - 2819 * u - 5850 * v) >> 13);
        o[2] = Clip8((l + 11485 * v) >> 13);
        if (bpp == 4) o[3] = 0;
    }
}

void UpsampleRow(const uint8_t* c, int cw, uint8_t* out, int outWidth) {
    int j = 0;
    // 16 chroma samples (and their right neighbours) to 32 outputs.
    for (; j + 17 <= cw && 2 * j + 32 <= outWidth; j += 16) {
        const __m128i a = Load16(c + j), b = Load16(c + j + 1);
        const __m128i m = AvgDown(a, b);
        Store16(out + 2 * j, _mm_unpacklo_epi8(a, m));
        Store16(out + 2 * j + 16, _mm_unpackhi_epi8(a, m));
    }
    for (int x = 2 * j; x < outWidth; ++x) {
        const int k = x >> 1;
        if (k >= cw) {
            out[x] = c[cw - 1];
        } else if ((x & 1) == 0) {
            out[x] = c[k];
        } else {
            const int n = k + 1 < cw ? k + 1 : k;
            out[x] = static_cast<uint8_t>((c[k] + c[n]) >> 1);
        }
    }
}

void AverageRows(const uint8_t* a, const uint8_t* b, uint8_t* out, int n) {
    int i = 0;
    for (; i + 16 <= n; i += 16) Store16(out + i, AvgDown(Load16(a + i), Load16(b + i)));
    for (; i < n; ++i) out[i] = static_cast<uint8_t>((a[i] + b[i]) >> 1);
}

}  // namespace

void InitPictureKernelsSse2(PictureKernels* k) {
    k->Subsample2x2 = Subsample2x2;
    k->BlendRows = BlendRows;
    k->YuvRowToBgr = YuvRowToBgr;
    k->UpsampleRow = UpsampleRow;
    k->AverageRows = AverageRows;
}

}  // namespace reelcast::picture
