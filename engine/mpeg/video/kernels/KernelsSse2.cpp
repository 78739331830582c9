// SSE2 family of the video encoder's kernels (every x86-64 has SSE2). Each
// function forms exactly the integer results of its portable twin.
#include <emmintrin.h>

#include <cstring>

#include "engine/mpeg/video/kernels/DctTables.h"
#include "engine/mpeg/video/kernels/Kernels.h"
#include "engine/mpeg/video/kernels/KernelsInternal.h"
#include "engine/mpeg/video/kernels/KernelsX86.h"

namespace reelcast::kernels {

namespace {

using namespace x86;

inline int HorizontalSum32(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(v);
}
// Sum of the two 64-bit halves left by psadbw.
inline int SadTotal(__m128i v) { return _mm_cvtsi128_si32(_mm_add_epi32(v, _mm_srli_si128(v, 8))); }

// ---- difference and reconstruction ---------------------------------------------

bool Difference(int16_t* blk, const uint8_t* src, const uint8_t* pred, ptrdiff_t stride) {
    const __m128i z = _mm_setzero_si128();
    __m128i any = z;
    for (int r = 0; r < 8; ++r, src += stride, pred += stride) {
        const __m128i s = Load8(src), p = Load8(pred);
        any = _mm_or_si128(any, _mm_xor_si128(s, p));
        StoreS16(blk + 8 * r, _mm_sub_epi16(_mm_unpacklo_epi8(s, z), _mm_unpacklo_epi8(p, z)));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(any, z)) != 0xFFFF;
}

void AddClip(uint8_t* dst, const uint8_t* pred, const int16_t* blk, ptrdiff_t stride) {
    const __m128i z = _mm_setzero_si128();
    for (int r = 0; r < 8; r += 2, dst += 2 * stride, pred += 2 * stride) {
        // int16 saturation cannot change the 0..255 clip of pred + residual.
        const __m128i a = _mm_adds_epi16(_mm_unpacklo_epi8(Load8(pred), z), LoadS16(blk + 8 * r));
        const __m128i b = _mm_adds_epi16(_mm_unpacklo_epi8(Load8(pred + stride), z), LoadS16(blk + 8 * r + 8));
        const __m128i p = _mm_packus_epi16(a, b);
        Store8(dst, p);
        Store8(dst + stride, _mm_srli_si128(p, 8));
    }
}

// ---- 8x8 transforms -------------------------------------------------------------

using PassConstants = x86::PassConstants<8>;
alignas(16) constexpr PassConstants kFdctPairs = MakePassConstants<8>(dct::kForward);
alignas(16) constexpr PassConstants kIdctPairs = MakePassConstants<8>(dct::kInverse);

// One 1-D pass down the lanes: out[j] = sat16((sum_i A[i][j] in[i] + round) >> Shift).
template <int Shift>
inline void MatrixPass(__m128i r[8], const PassConstants& pc) {
    __m128i lo[4], hi[4];
    for (int k = 0; k < 4; ++k) {
        lo[k] = _mm_unpacklo_epi16(r[2 * k], r[2 * k + 1]);
        hi[k] = _mm_unpackhi_epi16(r[2 * k], r[2 * k + 1]);
    }
    const __m128i round = _mm_set1_epi32(1 << (Shift - 1));
    for (int j = 0; j < 8; ++j) {
        const __m128i* c = reinterpret_cast<const __m128i*>(pc.c[j]);
        __m128i sl = _mm_add_epi32(_mm_madd_epi16(lo[0], c[0]), _mm_madd_epi16(lo[1], c[1]));
        __m128i sh = _mm_add_epi32(_mm_madd_epi16(hi[0], c[0]), _mm_madd_epi16(hi[1], c[1]));
        sl = _mm_add_epi32(sl, _mm_add_epi32(_mm_madd_epi16(lo[2], c[2]), _mm_madd_epi16(lo[3], c[3])));
        sh = _mm_add_epi32(sh, _mm_add_epi32(_mm_madd_epi16(hi[2], c[2]), _mm_madd_epi16(hi[3], c[3])));
        sl = _mm_srai_epi32(_mm_add_epi32(sl, round), Shift);
        sh = _mm_srai_epi32(_mm_add_epi32(sh, round), Shift);
        r[j + 8] = _mm_packs_epi32(sl, sh);  // r has room for 16 rows
    }
    for (int j = 0; j < 8; ++j) r[j] = r[j + 8];
}

template <int Shift1, int Shift2>
inline void Transform2d(__m128i r[16], const PassConstants& pc) {
    MatrixPass<Shift1>(r, pc);  // down the columns
    Transpose8x8(r);
    MatrixPass<Shift2>(r, pc);  // along the rows
    Transpose8x8(r);
}

void ForwardDct(int16_t* blk) {
    __m128i r[16];
    for (int i = 0; i < 8; ++i) r[i] = LoadS16(blk + 8 * i);
    Transform2d<dct::kFdctShift1, dct::kFdctShift2>(r, kFdctPairs);
    for (int i = 0; i < 8; ++i) StoreS16(blk + 8 * i, r[i]);
}


void InverseDct(int16_t* blk) {
    __m128i r[16];
    for (int i = 0; i < 8; ++i) r[i] = LoadS16(blk + 8 * i);
    Transform2d<dct::kIdctShift1, dct::kIdctShift2>(r, kIdctPairs);
    const __m128i lo = _mm_set1_epi16(-256), hi = _mm_set1_epi16(255);
    for (int i = 0; i < 8; ++i) StoreS16(blk + 8 * i, _mm_min_epi16(_mm_max_epi16(r[i], lo), hi));
}

// ---- half-pel prediction rows ---------------------------------------------------

// 16 predicted samples: a, (a+b+1)>>1 or (a+b+c+d+2)>>2.
inline __m128i HalfPel16(const uint8_t* p, ptrdiff_t stride, int hx, int hy) {
    if (!hx && !hy) return Load16(p);
    if (hx && !hy) return _mm_avg_epu8(Load16(p), Load16(p + 1));
    if (!hx) return _mm_avg_epu8(Load16(p), Load16(p + stride));
    const __m128i z = _mm_setzero_si128(), two = _mm_set1_epi16(2);
    const __m128i a = Load16(p), b = Load16(p + 1), c = Load16(p + stride), d = Load16(p + stride + 1);
    __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z)),
                               _mm_add_epi16(_mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(d, z)));
    __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z)),
                               _mm_add_epi16(_mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(d, z)));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
    return _mm_packus_epi16(lo, hi);
}

inline __m128i HalfPel8(const uint8_t* p, ptrdiff_t stride, int hx, int hy) {
    if (!hx && !hy) return Load8(p);
    if (hx && !hy) return _mm_avg_epu8(Load8(p), Load8(p + 1));
    if (!hx) return _mm_avg_epu8(Load8(p), Load8(p + stride));
    const __m128i z = _mm_setzero_si128(), two = _mm_set1_epi16(2);
    __m128i s = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(Load8(p), z), _mm_unpacklo_epi8(Load8(p + 1), z)),
                              _mm_add_epi16(_mm_unpacklo_epi8(Load8(p + stride), z),
                                            _mm_unpacklo_epi8(Load8(p + stride + 1), z)));
    s = _mm_srli_epi16(_mm_add_epi16(s, two), 2);
    return _mm_packus_epi16(s, s);
}

// Squared differences of 16 bytes, added into acc as int32.
inline __m128i AddSquares(__m128i acc, __m128i a, __m128i b) {
    const __m128i z = _mm_setzero_si128();
    const __m128i dl = _mm_sub_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z));
    const __m128i dh = _mm_sub_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z));
    return _mm_add_epi32(acc, _mm_add_epi32(_mm_madd_epi16(dl, dl), _mm_madd_epi16(dh, dh)));
}

// ---- motion distortions ---------------------------------------------------------

int PredictionError(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int hx, int hy, int h) {
    __m128i acc = _mm_setzero_si128();
    for (int r = 0; r < h; ++r, ref += stride, cur += stride) acc = AddSquares(acc, Load16(cur), HalfPel16(ref, stride, hx, hy));
    return HorizontalSum32(acc);
}

int BidirAbsError(const uint8_t* refF, const uint8_t* refB, const uint8_t* cur, ptrdiff_t stride, int hxf,
                  int hyf, int hxb, int hyb, int h) {
    __m128i acc = _mm_setzero_si128();
    for (int r = 0; r < h; ++r, refF += stride, refB += stride, cur += stride) {
        const __m128i p = _mm_avg_epu8(HalfPel16(refF, stride, hxf, hyf), HalfPel16(refB, stride, hxb, hyb));
        acc = _mm_add_epi64(acc, _mm_sad_epu8(Load16(cur), p));
    }
    return SadTotal(acc);
}

int BidirPredictionError(const uint8_t* refF, const uint8_t* refB, const uint8_t* cur, ptrdiff_t stride,
                         int hxf, int hyf, int hxb, int hyb, int h) {
    __m128i acc = _mm_setzero_si128();
    for (int r = 0; r < h; ++r, refF += stride, refB += stride, cur += stride) {
        const __m128i p = _mm_avg_epu8(HalfPel16(refF, stride, hxf, hyf), HalfPel16(refB, stride, hxb, hyb));
        acc = AddSquares(acc, Load16(cur), p);
    }
    return HorizontalSum32(acc);
}

int MacroblockVariance(const uint8_t* p, ptrdiff_t stride) {
    const __m128i z = _mm_setzero_si128();
    __m128i sum = z, sq = z;
    for (int r = 0; r < 16; ++r, p += stride) {
        const __m128i v = Load16(p);
        sum = _mm_add_epi64(sum, _mm_sad_epu8(v, z));
        const __m128i lo = _mm_unpacklo_epi8(v, z), hi = _mm_unpackhi_epi8(v, z);
        sq = _mm_add_epi32(sq, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
    }
    const std::uint32_t s = static_cast<std::uint32_t>(SadTotal(sum));
    const std::uint32_t s2 = static_cast<std::uint32_t>(HorizontalSum32(sq));
    return VarianceOfSums(s, s2);
}

// Rows are accumulated in four classes (upper or lower half, even or odd
// line); frame blocks join the two lines of a half, field blocks the two
// halves of a line parity. Left and right 8 samples stay apart throughout.
void BlockSums16(const uint8_t* p, ptrdiff_t stride, std::int32_t sum[8], std::int32_t sumSquares[8]) {
    const __m128i z = _mm_setzero_si128();
    __m128i s[4], qL[4], qR[4];
    for (int cls = 0; cls < 4; ++cls) {
        s[cls] = qL[cls] = qR[cls] = z;
        // class: bit 1 lower half, bit 0 odd line
        const uint8_t* row = p + ((cls >> 1) * 8 + (cls & 1)) * stride;
        for (int i = 0; i < 4; ++i, row += 2 * stride) {
            const __m128i v = Load16(row);
            s[cls] = _mm_add_epi64(s[cls], _mm_sad_epu8(v, z));  // left sum | right sum
            const __m128i lo = _mm_unpacklo_epi8(v, z), hi = _mm_unpackhi_epi8(v, z);
            qL[cls] = _mm_add_epi32(qL[cls], _mm_madd_epi16(lo, lo));
            qR[cls] = _mm_add_epi32(qR[cls], _mm_madd_epi16(hi, hi));
        }
    }
    auto put = [&](int b, int c0, int c1) {
        const __m128i t = _mm_add_epi64(s[c0], s[c1]);
        sum[b] = _mm_cvtsi128_si32(t);
        sum[b + 1] = _mm_cvtsi128_si32(_mm_srli_si128(t, 8));
        sumSquares[b] = HorizontalSum32(_mm_add_epi32(qL[c0], qL[c1]));
        sumSquares[b + 1] = HorizontalSum32(_mm_add_epi32(qR[c0], qR[c1]));
    };
    put(0, 0, 1);  // upper frame blocks: even and odd lines of the upper half
    put(2, 2, 3);
    put(4, 0, 2);  // top field: even lines of both halves
    put(6, 1, 3);
}

int Sad16(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int hx, int hy, int h, int limit) {
    int s = 0, r = 0;
    // Row sums are never negative, so when four rows together stay below the
    // limit no row inside them can have stopped the sum; only a group that
    // reaches it is walked row by row to find where the sum stops.
    for (; r + 4 <= h; r += 4, ref += 4 * stride, cur += 4 * stride) {
        __m128i row[4];
        for (int i = 0; i < 4; ++i)
            row[i] = _mm_sad_epu8(Load16(cur + i * stride), HalfPel16(ref + i * stride, stride, hx, hy));
        const int group = SadTotal(_mm_add_epi64(_mm_add_epi64(row[0], row[1]), _mm_add_epi64(row[2], row[3])));
        if (s + group < limit) {
            s += group;
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            s += SadTotal(row[i]);
            if (s >= limit) return s;
        }
    }
    for (; r < h; ++r, ref += stride, cur += stride) {
        s += SadTotal(_mm_sad_epu8(Load16(cur), HalfPel16(ref, stride, hx, hy)));
        if (s >= limit) break;
    }
    return s;
}

int Sad4x4(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int limit) {
    int s = 0;
    for (int r = 0; r < 4; ++r, ref += stride, cur += stride) {
        s += _mm_cvtsi128_si32(_mm_sad_epu8(Load4(cur), Load4(ref)));
        if (s >= limit) break;
    }
    return s;
}

// Four rows of four bytes in one register.
inline __m128i Load4x4(const uint8_t* p, ptrdiff_t stride) {
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(Load4(p), Load4(p + stride)),
                              _mm_unpacklo_epi32(Load4(p + 2 * stride), Load4(p + 3 * stride)));
}

// Four outputs per 16 source bytes: the four rows added as 16-bit lanes, then
// neighbouring lanes twice by multiply-add with ones.
void QuarterRow(const uint8_t* src, ptrdiff_t stride, uint8_t* dst, int width) {
    const __m128i z = _mm_setzero_si128(), ones = _mm_set1_epi16(1), eight = _mm_set1_epi32(8);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const uint8_t* p = src + 4 * x;
        __m128i lo = z, hi = z;
        for (int r = 0; r < 4; ++r) {
            const __m128i v = Load16(p + r * stride);
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, z));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, z));
        }
        const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(lo, ones), _mm_madd_epi16(hi, ones));
        const __m128i sums = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, ones), eight), 4);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sums, z), z);
        const int32_t four = _mm_cvtsi128_si32(bytes);
        std::memcpy(dst + x, &four, 4);
    }
    for (; x < width; ++x) {
        int sum = 0;
        for (int r = 0; r < 4; ++r) {
            const uint8_t* q = src + r * stride + 4 * x;
            sum += q[0] + q[1] + q[2] + q[3];
        }
        dst[x] = static_cast<uint8_t>((sum + 8) >> 4);
    }
}

std::uint64_t NonZeroMask(const int16_t* blk) {
    const __m128i z = _mm_setzero_si128();
    std::uint64_t m = 0;
    for (int i = 0; i < 64; i += 16) {
        // Zero lanes compare equal; pack the 16 results to bytes and take their signs.
        const __m128i a = _mm_cmpeq_epi16(LoadS16(blk + i), z), b = _mm_cmpeq_epi16(LoadS16(blk + i + 8), z);
        const unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
        m |= static_cast<std::uint64_t>(~zeros & 0xFFFFu) << i;
    }
    return m;
}

void Sad4x4Row16(const uint8_t* ref, const uint8_t cur[16], ptrdiff_t stride, std::uint16_t out[16]) {
    const __m128i c = Load16(cur);
    for (int i = 0; i < 16; ++i) out[i] = static_cast<std::uint16_t>(SadTotal(_mm_sad_epu8(c, Load4x4(ref + i, stride))));
}

// All nine half-pel candidates in one pass over the reference, in bytes: the
// one-direction averages are the rounding average instruction itself, and the
// four-sample average (a + b + c + d + 2) >> 2 is the average of the two pair
// averages less one where that rounded up twice: where a ^ b or c ^ d is odd
// and the two pair averages differ in their low bit. Each reference row's
// horizontal averages are formed once, each row pair's vertical ones once.
struct HalfPelRow {
    __m128i mid, left, right, leftOdd, rightOdd;  // x; avg(x - 1, x); avg(x, x + 1); and their xor bits
};
inline HalfPelRow HalfPelBytes(const uint8_t* p) {
    const __m128i l = Load16(p - 1), m = Load16(p), r = Load16(p + 1);
    return {m, _mm_avg_epu8(l, m), _mm_avg_epu8(m, r), _mm_xor_si128(l, m), _mm_xor_si128(m, r)};
}
inline __m128i Average4(__m128i pairA, __m128i oddA, __m128i pairB, __m128i oddB, __m128i one) {
    const __m128i up = _mm_and_si128(_mm_and_si128(_mm_or_si128(oddA, oddB), _mm_xor_si128(pairA, pairB)), one);
    return _mm_sub_epi8(_mm_avg_epu8(pairA, pairB), up);
}
struct HalfPelPair {
    __m128i left, mid, right;  // between two rows: four-sample to the left, vertical, four-sample to the right
};
inline HalfPelPair HalfPelBetween(const HalfPelRow& a, const HalfPelRow& b, __m128i one) {
    return {Average4(a.left, a.leftOdd, b.left, b.leftOdd, one), _mm_avg_epu8(a.mid, b.mid),
            Average4(a.right, a.rightOdd, b.right, b.rightOdd, one)};
}

void HalfPelSads(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int out[9]) {
    const __m128i one = _mm_set1_epi8(1);
    __m128i acc[9];
    for (auto& a : acc) a = _mm_setzero_si128();
    HalfPelRow here = HalfPelBytes(ref);
    HalfPelPair up = HalfPelBetween(HalfPelBytes(ref - stride), here, one);
    for (int r = 0; r < 16; ++r, ref += stride, cur += stride) {
        const HalfPelRow below = HalfPelBytes(ref + stride);
        const HalfPelPair down = HalfPelBetween(here, below, one);
        const __m128i c = Load16(cur);
        acc[0] = _mm_add_epi32(acc[0], _mm_sad_epu8(up.left, c));
        acc[1] = _mm_add_epi32(acc[1], _mm_sad_epu8(up.mid, c));
        acc[2] = _mm_add_epi32(acc[2], _mm_sad_epu8(up.right, c));
        acc[3] = _mm_add_epi32(acc[3], _mm_sad_epu8(here.left, c));
        acc[4] = _mm_add_epi32(acc[4], _mm_sad_epu8(here.mid, c));
        acc[5] = _mm_add_epi32(acc[5], _mm_sad_epu8(here.right, c));
        acc[6] = _mm_add_epi32(acc[6], _mm_sad_epu8(down.left, c));
        acc[7] = _mm_add_epi32(acc[7], _mm_sad_epu8(down.mid, c));
        acc[8] = _mm_add_epi32(acc[8], _mm_sad_epu8(down.right, c));
        here = below;
        up = down;
    }
    for (int i = 0; i < 9; ++i) out[i] = _mm_cvtsi128_si32(_mm_add_epi32(acc[i], _mm_srli_si128(acc[i], 8)));
}

void Sad16Row9(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, std::uint16_t out[9]) {
    __m128i acc[9];
    for (auto& a : acc) a = _mm_setzero_si128();
    for (int r = 0; r < 16; ++r, ref += stride, cur += stride) {
        const __m128i c = Load16(cur);
        for (int i = 0; i < 9; ++i) acc[i] = _mm_add_epi64(acc[i], _mm_sad_epu8(c, Load16(ref + i)));
    }
    for (int i = 0; i < 9; ++i) out[i] = static_cast<std::uint16_t>(SadTotal(acc[i]));
}

void Predict(uint8_t* dst, const uint8_t* ref, ptrdiff_t stride, int w, int h, int hx, int hy, int average) {
    if (w == 16) {
        for (int r = 0; r < h; ++r, ref += stride, dst += stride) {
            __m128i p = HalfPel16(ref, stride, hx, hy);
            if (average) p = _mm_avg_epu8(p, Load16(dst));
            Store16(dst, p);
        }
    } else if (w == 8) {
        for (int r = 0; r < h; ++r, ref += stride, dst += stride) {
            __m128i p = HalfPel8(ref, stride, hx, hy);
            if (average) p = _mm_avg_epu8(p, Load8(dst));
            Store8(dst, p);
        }
    } else {
        portable::Predict(dst, ref, stride, w, h, hx, hy, average);
    }
}

// ---- quantisers -----------------------------------------------------------------


// Sign-extends 8 int16 into two int32 vectors.
inline void Widen(__m128i v, __m128i& lo, __m128i& hi) {
    const __m128i s = _mm_srai_epi16(v, 15);
    lo = _mm_unpacklo_epi16(v, s);
    hi = _mm_unpackhi_epi16(v, s);
}
inline __m128i Abs32(__m128i v) {
    const __m128i s = _mm_srai_epi32(v, 31);
    return _mm_sub_epi32(_mm_xor_si128(v, s), s);
}
// trunc(n / d) for 0 <= n < 2^23 and 1 <= d < 2^24: the float quotient is
// correctly rounded and cannot reach the next integer, so truncating it is exact.
inline __m128i DivExact(__m128i n, __m128i d) {
    return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(n), _mm_cvtepi32_ps(d)));
}
inline __m128i Min32(__m128i a, __m128i b) {
    const __m128i gt = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(gt, b), _mm_andnot_si128(gt, a));
}
// Weights of 8 coefficients as int32, at least 1.
inline void Weights(const uint8_t* m, __m128i& lo, __m128i& hi) {
    const __m128i z = _mm_setzero_si128();
    const __m128i w = _mm_max_epi16(_mm_unpacklo_epi8(Load8(m), z), _mm_set1_epi16(1));
    lo = _mm_unpacklo_epi16(w, z);
    hi = _mm_unpackhi_epi16(w, z);
}
// Applies the sign of x (int16) to the non-negative int32 halves and packs.
inline __m128i SignAndPack(__m128i ylo, __m128i yhi, __m128i x) {
    const __m128i y = _mm_packs_epi32(ylo, yhi);
    const __m128i s = _mm_srai_epi16(x, 15);
    return _mm_sub_epi16(_mm_xor_si128(y, s), s);
}

bool QuantNonIntra(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q, int levelLimit) {
    q = ClampQuantiser(q);
    const __m128i lim = _mm_set1_epi32(ClampLevelLimit(levelLimit));
    const __m128i q2 = _mm_set1_epi32(2 * q);
    __m128i any = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 8) {
        const __m128i x = LoadS16(src + i);
        __m128i xl, xh, wl, wh;
        Widen(x, xl, xh);
        Weights(matrix + i, wl, wh);
        // (32|x| + (W >> 1)) div (2 q W); 2 q W < 2^15 fits a 16-bit multiply.
        const __m128i nl = _mm_add_epi32(_mm_slli_epi32(Abs32(xl), 5), _mm_srli_epi32(wl, 1));
        const __m128i nh = _mm_add_epi32(_mm_slli_epi32(Abs32(xh), 5), _mm_srli_epi32(wh, 1));
        const __m128i dl = _mm_madd_epi16(wl, q2), dh = _mm_madd_epi16(wh, q2);
        const __m128i yl = Min32(DivExact(nl, dl), lim), yh = Min32(DivExact(nh, dh), lim);
        any = _mm_or_si128(any, _mm_or_si128(yl, yh));
        StoreS16(dst + i, SignAndPack(yl, yh, x));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) != 0xFFFF;
}

void QuantIntra(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q, int dcPrecision,
                int levelLimit) {
    q = ClampQuantiser(q);
    const int dc = IntraDcLevel(src[0], dcPrecision);
    const __m128i lim = _mm_set1_epi32(ClampLevelLimit(levelLimit));
    const __m128i bias = _mm_set1_epi32((3 * q + 2) >> 2);
    const __m128i q2 = _mm_set1_epi32(2 * q);
    for (int i = 0; i < 64; i += 8) {
        const __m128i x = LoadS16(src + i);
        __m128i xl, xh, wl, wh;
        Widen(x, xl, xh);
        Weights(matrix + i, wl, wh);
        __m128i yl = DivExact(_mm_add_epi32(_mm_slli_epi32(Abs32(xl), 5), _mm_srli_epi32(wl, 1)), wl);
        __m128i yh = DivExact(_mm_add_epi32(_mm_slli_epi32(Abs32(xh), 5), _mm_srli_epi32(wh, 1)), wh);
        yl = Min32(DivExact(_mm_add_epi32(yl, bias), q2), lim);
        yh = Min32(DivExact(_mm_add_epi32(yh, bias), q2), lim);
        StoreS16(dst + i, SignAndPack(yl, yh, x));
    }
    dst[0] = static_cast<int16_t>(dc);
}

// Truncating division of int32 by 2^Shift (towards zero, like C's /).
template <int Shift>
inline __m128i DivPow2(__m128i v) {
    const __m128i bias = _mm_and_si128(_mm_srai_epi32(v, 31), _mm_set1_epi32((1 << Shift) - 1));
    return _mm_srai_epi32(_mm_add_epi32(v, bias), Shift);
}

inline __m128i Clip2048(__m128i v) { return _mm_min_epi16(_mm_max_epi16(v, _mm_set1_epi16(-2048)), _mm_set1_epi16(2047)); }

// Sign of int16 lanes as -1, 0, 1.
inline __m128i Sign16(__m128i v) {
    const __m128i z = _mm_setzero_si128();
    return _mm_sub_epi16(_mm_cmpgt_epi16(z, v), _mm_cmpgt_epi16(v, z));
}

// Even non-zero values step one towards zero.
inline __m128i Oddify(__m128i v) {
    const __m128i even = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(1)), _mm_setzero_si128());
    const __m128i stepped = _mm_sub_epi16(v, Sign16(v));
    return _mm_or_si128(_mm_and_si128(even, stepped), _mm_andnot_si128(even, v));
}

// ((2 l + sign l) W q) div 32 for 8 coefficients, saturated to int16.
inline __m128i NonIntraRecon(__m128i l, const uint8_t* m, int q) {
    const __m128i z = _mm_setzero_si128();
    const __m128i wq = _mm_mullo_epi16(_mm_unpacklo_epi8(Load8(m), z), _mm_set1_epi16(static_cast<int16_t>(q)));
    // (l, sign l) . (2 W q, W q) = (2 l + sign l) W q, exact in int32.
    const __m128i s = Sign16(l);
    const __m128i c = _mm_unpacklo_epi16(_mm_add_epi16(wq, wq), wq);
    const __m128i ch = _mm_unpackhi_epi16(_mm_add_epi16(wq, wq), wq);
    const __m128i lo = DivPow2<5>(_mm_madd_epi16(_mm_unpacklo_epi16(l, s), c));
    const __m128i hi = DivPow2<5>(_mm_madd_epi16(_mm_unpackhi_epi16(l, s), ch));
    return _mm_packs_epi32(lo, hi);
}

// (l W q) div 16, saturated to int16.
inline __m128i IntraRecon(__m128i l, const uint8_t* m, int q) {
    const __m128i z = _mm_setzero_si128();
    const __m128i wq = _mm_mullo_epi16(_mm_unpacklo_epi8(Load8(m), z), _mm_set1_epi16(static_cast<int16_t>(q)));
    const __m128i plo = _mm_mullo_epi16(l, wq), phi = _mm_mulhi_epi16(l, wq);
    const __m128i lo = DivPow2<4>(_mm_unpacklo_epi16(plo, phi));
    const __m128i hi = DivPow2<4>(_mm_unpackhi_epi16(plo, phi));
    return _mm_packs_epi32(lo, hi);
}

inline void MismatchControl(int16_t* blk) {
    __m128i acc = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    for (int i = 0; i < 64; i += 8) acc = _mm_add_epi32(acc, _mm_madd_epi16(LoadS16(blk + i), one));
    if ((HorizontalSum32(acc) & 1) == 0) blk[63] = static_cast<int16_t>(blk[63] ^ 1);
}

void DequantNonIntraMpeg1(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q) {
    q = ClampQuantiser(q);
    for (int i = 0; i < 64; i += 8) StoreS16(dst + i, Clip2048(Oddify(NonIntraRecon(LoadS16(src + i), matrix + i, q))));
}

void DequantNonIntraMpeg2(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q) {
    q = ClampQuantiser(q);
    for (int i = 0; i < 64; i += 8) StoreS16(dst + i, Clip2048(NonIntraRecon(LoadS16(src + i), matrix + i, q)));
    MismatchControl(dst);
}

void DequantIntraMpeg1(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q) {
    q = ClampQuantiser(q);
    const int dc = IntraDcValue(src[0], 0);
    for (int i = 0; i < 64; i += 8) StoreS16(dst + i, Clip2048(Oddify(IntraRecon(LoadS16(src + i), matrix + i, q))));
    dst[0] = static_cast<int16_t>(dc);
}

void DequantIntraMpeg2(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q, int dcPrecision) {
    q = ClampQuantiser(q);
    const int dc = IntraDcValue(src[0], dcPrecision);
    for (int i = 0; i < 64; i += 8) StoreS16(dst + i, Clip2048(IntraRecon(LoadS16(src + i), matrix + i, q)));
    dst[0] = static_cast<int16_t>(dc);
    MismatchControl(dst);
}

// ---- chroma 4:2:2 -> 4:2:0 ---------------------------------------------------------

void Chroma422To420(const uint8_t* src, uint8_t* dst, int width, int height, int progressiveFrame) {
    if (width < 8) {
        portable::Chroma422To420(src, dst, width, height, progressiveFrame);
        return;
    }
    const int oh = height / 2;
    const __m128i z = _mm_setzero_si128();
    const __m128i c0 = _mm_set_epi16(70, 228, 70, 228, 70, 228, 70, 228);
    const __m128i c1 = _mm_set_epi16(-21, -37, -21, -37, -21, -37, -21, -37);
    const __m128i c2 = _mm_set_epi16(5, 11, 5, 11, 5, 11, 5, 11);
    const __m128i round = _mm_set1_epi32(256);
    for (int o = 0; o < oh; ++o, dst += width) {
        int rowNumbers[12];
        Chroma420TapRows(o, height, progressiveFrame, rowNumbers);
        const uint8_t* rows[12];
        for (int t = 0; t < 12; ++t) rows[t] = src + static_cast<ptrdiff_t>(rowNumbers[t]) * width;
        // Pair sums of the symmetric taps: (5,6), (4,7) | (3,8), (2,9) | (1,10), (0,11).
        auto pairSum = [&](int a, int b, int c) {
            return _mm_add_epi16(_mm_unpacklo_epi8(Load8(rows[a] + c), z), _mm_unpacklo_epi8(Load8(rows[b] + c), z));
        };
        int c = 0;
        for (; c + 8 <= width; c += 8) {
            const __m128i s56 = pairSum(5, 6, c), s47 = pairSum(4, 7, c);
            const __m128i s38 = pairSum(3, 8, c), s29 = pairSum(2, 9, c);
            const __m128i s110 = pairSum(1, 10, c), s011 = pairSum(0, 11, c);
            __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(s56, s47), c0),
                                       _mm_madd_epi16(_mm_unpacklo_epi16(s38, s29), c1));
            __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(s56, s47), c0),
                                       _mm_madd_epi16(_mm_unpackhi_epi16(s38, s29), c1));
            lo = _mm_add_epi32(lo, _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(s110, s011), c2), round));
            hi = _mm_add_epi32(hi, _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(s110, s011), c2), round));
            const __m128i v = _mm_packs_epi32(_mm_srai_epi32(lo, 9), _mm_srai_epi32(hi, 9));
            Store8(dst + c, _mm_packus_epi16(v, v));
        }
        for (; c < width; ++c) dst[c] = Chroma420Sample([&](int t) { return static_cast<int>(rows[t][c]); });
    }
}

}  // namespace

void InitVideoKernelsSse2(VideoKernels* k) {
    k->Difference = Difference;
    k->AddClip = AddClip;
    k->ForwardDct = ForwardDct;
    k->ForwardDct2 = TwoBlocks<ForwardDct>;
    k->InverseDct2 = TwoBlocks<InverseDct>;
    k->InverseDct = InverseDct;
    k->PredictionError = PredictionError;
    k->BidirAbsError = BidirAbsError;
    k->BidirPredictionError = BidirPredictionError;
    k->MacroblockVariance = MacroblockVariance;
    k->BlockSums16 = BlockSums16;
    k->QuarterRow = QuarterRow;
    k->Sad16 = Sad16;
    k->Sad4x4 = Sad4x4;
    k->Sad4x4Row16 = Sad4x4Row16;
    k->Sad16Row9 = Sad16Row9;
    k->HalfPelSads = HalfPelSads;
    k->Predict = Predict;
    k->QuantNonIntra = QuantNonIntra;
    k->QuantIntra = QuantIntra;
    k->NonZeroMask = NonZeroMask;
    k->DequantNonIntraMpeg1 = DequantNonIntraMpeg1;
    k->DequantNonIntraMpeg2 = DequantNonIntraMpeg2;
    k->DequantIntraMpeg1 = DequantIntraMpeg1;
    k->DequantIntraMpeg2 = DequantIntraMpeg2;
    k->Chroma422To420 = Chroma422To420;
    InitSearchKernelsSse2(k);
}

}  // namespace reelcast::kernels
