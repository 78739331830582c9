// AVX2 family of the video encoder's kernels: the slots where 256-bit
// registers pay (two picture rows or sixteen coefficients a step); the other
// slots keep their SSE2 versions. Same integer results as the portable family.
#include <immintrin.h>

#include "engine/mpeg/video/kernels/DctTables.h"
#include "engine/mpeg/video/kernels/Kernels.h"
#include "engine/mpeg/video/kernels/KernelsInternal.h"
#include "engine/mpeg/video/kernels/KernelsX86.h"

namespace reelcast::kernels {

namespace {

using namespace x86;

// Rows p and p + stride in the low and high lanes.
inline __m256i Load2Rows(const uint8_t* p, ptrdiff_t stride) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load16(p)), Load16(p + stride), 1);
}

inline int HorizontalSum32(__m256i v) {
    __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(x);
}
// Sum of the four 64-bit psadbw results.
inline int SadTotal(__m256i v) { return HorizontalSum32(v); }

// Half-pel prediction of two 16-sample rows: [row 0 | row 1].
inline __m256i HalfPel2Rows(const uint8_t* p, ptrdiff_t stride, int hx, int hy) {
    const __m256i a = Load2Rows(p, stride);
    if (!hx && !hy) return a;
    if (hx && !hy) return _mm256_avg_epu8(a, Load2Rows(p + 1, stride));
    const __m256i c = Load2Rows(p + stride, stride);
    if (!hx) return _mm256_avg_epu8(a, c);
    const __m256i b = Load2Rows(p + 1, stride), d = Load2Rows(p + stride + 1, stride);
    const __m256i z = _mm256_setzero_si256(), two = _mm256_set1_epi16(2);
    __m256i lo = _mm256_add_epi16(_mm256_add_epi16(_mm256_unpacklo_epi8(a, z), _mm256_unpacklo_epi8(b, z)),
                                  _mm256_add_epi16(_mm256_unpacklo_epi8(c, z), _mm256_unpacklo_epi8(d, z)));
    __m256i hi = _mm256_add_epi16(_mm256_add_epi16(_mm256_unpackhi_epi8(a, z), _mm256_unpackhi_epi8(b, z)),
                                  _mm256_add_epi16(_mm256_unpackhi_epi8(c, z), _mm256_unpackhi_epi8(d, z)));
    lo = _mm256_srli_epi16(_mm256_add_epi16(lo, two), 2);
    hi = _mm256_srli_epi16(_mm256_add_epi16(hi, two), 2);
    return _mm256_packus_epi16(lo, hi);
}

inline __m256i AddSquares(__m256i acc, __m256i a, __m256i b) {
    const __m256i z = _mm256_setzero_si256();
    const __m256i dl = _mm256_sub_epi16(_mm256_unpacklo_epi8(a, z), _mm256_unpacklo_epi8(b, z));
    const __m256i dh = _mm256_sub_epi16(_mm256_unpackhi_epi8(a, z), _mm256_unpackhi_epi8(b, z));
    return _mm256_add_epi32(acc, _mm256_add_epi32(_mm256_madd_epi16(dl, dl), _mm256_madd_epi16(dh, dh)));
}

// Tails of heights that are not a multiple of the step use the SSE2 family.
const VideoKernels& Sse2() {
    static const VideoKernels k = [] {
        VideoKernels t;
        InitVideoKernelsPortable(&t);
        InitVideoKernelsSse2(&t);
        return t;
    }();
    return k;
}

int PredictionError(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int hx, int hy, int h) {
    __m256i acc = _mm256_setzero_si256();
    int r = 0;
    for (; r + 2 <= h; r += 2, ref += 2 * stride, cur += 2 * stride)
        acc = AddSquares(acc, Load2Rows(cur, stride), HalfPel2Rows(ref, stride, hx, hy));
    int s = HorizontalSum32(acc);
    if (r < h) s += Sse2().PredictionError(ref, cur, stride, hx, hy, h - r);
    return s;
}

int BidirPredictionError(const uint8_t* refF, const uint8_t* refB, const uint8_t* cur, ptrdiff_t stride, int hxf,
                         int hyf, int hxb, int hyb, int h) {
    __m256i acc = _mm256_setzero_si256();
    int r = 0;
    for (; r + 2 <= h; r += 2, refF += 2 * stride, refB += 2 * stride, cur += 2 * stride) {
        const __m256i p = _mm256_avg_epu8(HalfPel2Rows(refF, stride, hxf, hyf), HalfPel2Rows(refB, stride, hxb, hyb));
        acc = AddSquares(acc, Load2Rows(cur, stride), p);
    }
    int s = HorizontalSum32(acc);
    if (r < h) s += Sse2().BidirPredictionError(refF, refB, cur, stride, hxf, hyf, hxb, hyb, h - r);
    return s;
}

int BidirAbsError(const uint8_t* refF, const uint8_t* refB, const uint8_t* cur, ptrdiff_t stride, int hxf, int hyf,
                  int hxb, int hyb, int h) {
    __m256i acc = _mm256_setzero_si256();
    int r = 0;
    for (; r + 2 <= h; r += 2, refF += 2 * stride, refB += 2 * stride, cur += 2 * stride) {
        const __m256i p = _mm256_avg_epu8(HalfPel2Rows(refF, stride, hxf, hyf), HalfPel2Rows(refB, stride, hxb, hyb));
        acc = _mm256_add_epi64(acc, _mm256_sad_epu8(Load2Rows(cur, stride), p));
    }
    int s = SadTotal(acc);
    if (r < h) s += Sse2().BidirAbsError(refF, refB, cur, stride, hxf, hyf, hxb, hyb, h - r);
    return s;
}

// Groups of four rows as in the SSE2 form; a group that reaches the limit is
// walked row by row so the answer is the same partial sum.
int Sad16(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int hx, int hy, int h, int limit) {
    int s = 0, r = 0;
    for (; r + 4 <= h; r += 4, ref += 4 * stride, cur += 4 * stride) {
        const __m256i a = _mm256_sad_epu8(Load2Rows(cur, stride), HalfPel2Rows(ref, stride, hx, hy));
        const __m256i b = _mm256_sad_epu8(Load2Rows(cur + 2 * stride, stride), HalfPel2Rows(ref + 2 * stride, stride, hx, hy));
        const int group = SadTotal(_mm256_add_epi64(a, b));
        if (s + group < limit) {
            s += group;
            continue;
        }
        alignas(32) std::int64_t q[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(q), a);
        _mm256_store_si256(reinterpret_cast<__m256i*>(q + 4), b);
        for (int i = 0; i < 4; ++i) {
            s += static_cast<int>(q[2 * i] + q[2 * i + 1]);
            if (s >= limit) return s;
        }
    }
    if (r < h) {
        const int rest = Sse2().Sad16(ref, cur, stride, hx, hy, h - r, limit - s);
        return s + rest;
    }
    return s;
}

// Low lane: current bytes 0..7 against reference bytes 0..14; high lane:
// current bytes 8..15 against reference bytes 8..22. Each lane sums two 4-byte
// groups per row, so a lane total stays below 16 x 8 x 255 and the two lanes
// together below 65536. Offset 8 is the high lane's load against the whole
// current row.
void Sad16Row9(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, std::uint16_t out[9]) {
    __m256i acc = _mm256_setzero_si256();
    __m128i ninth = _mm_setzero_si128();
    for (int r = 0; r < 16; ++r, ref += stride, cur += stride) {
        const __m128i hi = Load16(ref + 8), row = Load16(cur);
        const __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(Load16(ref)), hi, 1);
        const __m256i c = _mm256_broadcastsi128_si256(row);
        // Groups 0 | 2 at reference offset 0, then groups 1 | 3 at offset 4.
        acc = _mm256_add_epi16(acc, _mm256_mpsadbw_epu8(a, c, 0x10));
        acc = _mm256_add_epi16(acc, _mm256_mpsadbw_epu8(a, c, 0x3D));
        ninth = _mm_add_epi64(ninth, _mm_sad_epu8(hi, row));
    }
    const __m128i s = _mm_add_epi16(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), s);
    out[8] = static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_add_epi32(ninth, _mm_srli_si128(ninth, 8))));
}

// ---- transforms: both column halves of a pass in one register ---------------------

using PassConstants = x86::PassConstants<16>;
alignas(32) constexpr PassConstants kFdctPairs = MakePassConstants<16>(dct::kForward);

template <int Shift>
inline void MatrixPass(__m128i r[8], const PassConstants& pc) {
    __m256i p[4];
    for (int k = 0; k < 4; ++k)
        p[k] = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi16(r[2 * k], r[2 * k + 1])),
                                       _mm_unpackhi_epi16(r[2 * k], r[2 * k + 1]), 1);
    const __m256i round = _mm256_set1_epi32(1 << (Shift - 1));
    for (int j = 0; j < 8; ++j) {
        const __m256i* c = reinterpret_cast<const __m256i*>(pc.c[j]);
        __m256i s = _mm256_add_epi32(_mm256_madd_epi16(p[0], c[0]), _mm256_madd_epi16(p[1], c[1]));
        s = _mm256_add_epi32(s, _mm256_add_epi32(_mm256_madd_epi16(p[2], c[2]), _mm256_madd_epi16(p[3], c[3])));
        s = _mm256_srai_epi32(_mm256_add_epi32(s, round), Shift);
        r[j] = _mm_packs_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    }
}

// The basis is symmetric: Basis(7 - s, f) = (-1)^f Basis(s, f). So each pass
// needs half the products of the plain matrix pass, with the same int32 sums:
// the inverse pass forms the even- and odd-frequency halves E and O of each
// sample sum and answers E + O for sample j and E - O for sample 7 - j; the
// forward pass adds and subtracts mirrored samples first, which needs their
// sums to fit 16 bits (any input above 16383 in size takes the plain pass).

// Taps (a, b) for a multiply-add over interleaved rows, in both 16-bit halves.
constexpr int32_t TapPair(int16_t a, int16_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(a)) |
                                (static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16));
}
struct ButterflyTaps {
    int32_t even[4][2];  // per output: taps of the pairs (0, 2) and (4, 6) [inverse] or (0, 1) and (2, 3) [forward]
    int32_t odd[4][2];
};
constexpr ButterflyTaps MakeInverseTaps() {
    ButterflyTaps t{};
    for (int j = 0; j < 4; ++j) {
        t.even[j][0] = TapPair(dct::Basis(j, 0), dct::Basis(j, 2));
        t.even[j][1] = TapPair(dct::Basis(j, 4), dct::Basis(j, 6));
        t.odd[j][0] = TapPair(dct::Basis(j, 1), dct::Basis(j, 3));
        t.odd[j][1] = TapPair(dct::Basis(j, 5), dct::Basis(j, 7));
    }
    return t;
}
constexpr ButterflyTaps MakeForwardTaps() {  // even[k]: frequency 2k; odd[k]: frequency 2k + 1
    ButterflyTaps t{};
    for (int k = 0; k < 4; ++k) {
        t.even[k][0] = TapPair(dct::Basis(0, 2 * k), dct::Basis(1, 2 * k));
        t.even[k][1] = TapPair(dct::Basis(2, 2 * k), dct::Basis(3, 2 * k));
        t.odd[k][0] = TapPair(dct::Basis(0, 2 * k + 1), dct::Basis(1, 2 * k + 1));
        t.odd[k][1] = TapPair(dct::Basis(2, 2 * k + 1), dct::Basis(3, 2 * k + 1));
    }
    return t;
}
constexpr ButterflyTaps kInverseTaps = MakeInverseTaps();
constexpr ButterflyTaps kForwardTaps = MakeForwardTaps();

// Rows a and b interleaved for a multiply-add: columns 0-3 low lane, 4-7 high.
inline __m256i Interleave(__m128i a, __m128i b) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi16(a, b)), _mm_unpackhi_epi16(a, b), 1);
}
inline __m256i TapSum(__m256i p0, __m256i p1, const int32_t taps[2]) {
    return _mm256_add_epi32(_mm256_madd_epi16(p0, _mm256_set1_epi32(taps[0])),
                            _mm256_madd_epi16(p1, _mm256_set1_epi32(taps[1])));
}
template <int Shift>
inline __m128i RoundPack(__m256i sum) {
    const __m256i v = _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(1 << (Shift - 1))), Shift);
    return _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

template <int Shift>
inline void InversePass(__m128i r[8]) {
    const __m256i e0 = Interleave(r[0], r[2]), e1 = Interleave(r[4], r[6]);
    const __m256i o0 = Interleave(r[1], r[3]), o1 = Interleave(r[5], r[7]);
    for (int j = 0; j < 4; ++j) {
        const __m256i e = TapSum(e0, e1, kInverseTaps.even[j]);
        const __m256i o = TapSum(o0, o1, kInverseTaps.odd[j]);
        r[j] = RoundPack<Shift>(_mm256_add_epi32(e, o));
        r[7 - j] = RoundPack<Shift>(_mm256_sub_epi32(e, o));
    }
}

// False when some input is too large for the 16-bit mirrored sums.
inline bool SumsFit(const __m128i r[8]) {
    __m128i m = _mm_abs_epi16(r[0]);
    for (int i = 1; i < 8; ++i) m = _mm_max_epu16(m, _mm_abs_epi16(r[i]));
    // Unsigned: the magnitude of -32768 reads as 32768.
    const __m128i over = _mm_subs_epu16(m, _mm_set1_epi16(16383));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())) == 0xFFFF;
}

template <int Shift>
inline void ForwardPass(__m128i r[8]) {
    __m128i sum[4], dif[4];
    for (int i = 0; i < 4; ++i) {
        sum[i] = _mm_add_epi16(r[i], r[7 - i]);
        dif[i] = _mm_sub_epi16(r[i], r[7 - i]);
    }
    const __m256i s0 = Interleave(sum[0], sum[1]), s1 = Interleave(sum[2], sum[3]);
    const __m256i d0 = Interleave(dif[0], dif[1]), d1 = Interleave(dif[2], dif[3]);
    for (int k = 0; k < 4; ++k) {
        r[2 * k] = RoundPack<Shift>(TapSum(s0, s1, kForwardTaps.even[k]));
        r[2 * k + 1] = RoundPack<Shift>(TapSum(d0, d1, kForwardTaps.odd[k]));
    }
}

void ForwardDct(int16_t* blk) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i) r[i] = LoadS16(blk + 8 * i);
    if (SumsFit(r)) {
        ForwardPass<dct::kFdctShift1>(r);
    } else {
        MatrixPass<dct::kFdctShift1>(r, kFdctPairs);
    }
    Transpose8x8(r);
    if (SumsFit(r)) {
        ForwardPass<dct::kFdctShift2>(r);
    } else {
        MatrixPass<dct::kFdctShift2>(r, kFdctPairs);
    }
    Transpose8x8(r);
    for (int i = 0; i < 8; ++i) StoreS16(blk + 8 * i, r[i]);
}

void InverseDct(int16_t* blk) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i) r[i] = LoadS16(blk + 8 * i);
    InversePass<dct::kIdctShift1>(r);
    Transpose8x8(r);
    InversePass<dct::kIdctShift2>(r);
    Transpose8x8(r);
    const __m128i lo = _mm_set1_epi16(-256), hi = _mm_set1_epi16(255);
    for (int i = 0; i < 8; ++i)
        StoreS16(blk + 8 * i, _mm_min_epi16(_mm_max_epi16(r[i], lo), hi));
}

// ---- quantisers: 8 coefficients per 256-bit step -------------------------------


// Exact for 0 <= n < 2^23, 1 <= d < 2^24 (see the SSE2 form).
inline __m256i DivExact(__m256i n, __m256i d) {
    return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(n), _mm256_cvtepi32_ps(d)));
}
inline __m256i LoadCoefficients(const int16_t* p) {
    return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
inline __m256i LoadWeights(const uint8_t* m) {
    return _mm256_max_epi32(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m))),
                            _mm256_set1_epi32(1));
}
inline void StoreSigned(int16_t* dst, __m256i y, __m256i x) {
    const __m256i v = _mm256_sign_epi32(y, x);  // x = 0 leaves 0, as y is 0 then too
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                     _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
}

// With every weight 16 (the default non-intra matrix) the level is |x| div q,
// as (32|x| + 8) div 32q shows: the 8 never reaches the next multiple. That
// division by a constant runs in 16-bit lanes as a multiply by ceil(65536 / q)
// keeping the high half, which can exceed the quotient by one, then one
// correction where quotient x q passes |x|.
inline bool FlatWeights(const uint8_t* m) {
    const __m256i w = _mm256_set1_epi8(16);
    const __m256i a = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m)), w);
    const __m256i b = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + 32)), w);
    return _mm256_movemask_epi8(_mm256_and_si256(a, b)) == -1;
}

bool QuantNonIntraFlat(int16_t* dst, const int16_t* src, int q, int levelLimit) {
    const __m256i lim = _mm256_set1_epi16(static_cast<int16_t>(ClampLevelLimit(levelLimit)));
    const __m256i qv = _mm256_set1_epi16(static_cast<int16_t>(q));
    const __m256i magic = _mm256_set1_epi16(static_cast<int16_t>((65536 + q - 1) / q));
    __m256i any = _mm256_setzero_si256();
    for (int i = 0; i < 64; i += 16) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i a = _mm256_abs_epi16(x);  // -32768 reads as 32768 unsigned
        __m256i y = a;
        if (q > 1) {
            y = _mm256_mulhi_epu16(a, magic);
            const __m256i back = _mm256_mullo_epi16(y, qv);
            const __m256i over = _mm256_andnot_si256(_mm256_cmpeq_epi16(_mm256_max_epu16(back, a), a),
                                                     _mm256_set1_epi16(-1));
            y = _mm256_add_epi16(y, over);
        }
        y = _mm256_min_epu16(y, lim);
        any = _mm256_or_si256(any, y);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_sign_epi16(y, x));
    }
    return !_mm256_testz_si256(any, any);
}

bool QuantNonIntra(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q, int levelLimit) {
    q = ClampQuantiser(q);
    if (FlatWeights(matrix)) return QuantNonIntraFlat(dst, src, q, levelLimit);
    const __m256i lim = _mm256_set1_epi32(ClampLevelLimit(levelLimit)), q2 = _mm256_set1_epi32(2 * q);
    __m256i any = _mm256_setzero_si256();
    for (int i = 0; i < 64; i += 8) {
        const __m256i x = LoadCoefficients(src + i), w = LoadWeights(matrix + i);
        const __m256i n = _mm256_add_epi32(_mm256_slli_epi32(_mm256_abs_epi32(x), 5), _mm256_srli_epi32(w, 1));
        const __m256i y = _mm256_min_epi32(DivExact(n, _mm256_mullo_epi32(w, q2)), lim);
        any = _mm256_or_si256(any, y);
        StoreSigned(dst + i, y, x);
    }
    return !_mm256_testz_si256(any, any);
}

void QuantIntra(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q, int dcPrecision, int levelLimit) {
    q = ClampQuantiser(q);
    const int dc = IntraDcLevel(src[0], dcPrecision);
    const __m256i lim = _mm256_set1_epi32(ClampLevelLimit(levelLimit));
    const __m256i bias = _mm256_set1_epi32((3 * q + 2) >> 2), q2 = _mm256_set1_epi32(2 * q);
    for (int i = 0; i < 64; i += 8) {
        const __m256i x = LoadCoefficients(src + i), w = LoadWeights(matrix + i);
        __m256i y = DivExact(_mm256_add_epi32(_mm256_slli_epi32(_mm256_abs_epi32(x), 5), _mm256_srli_epi32(w, 1)), w);
        y = _mm256_min_epi32(DivExact(_mm256_add_epi32(y, bias), q2), lim);
        StoreSigned(dst + i, y, x);
    }
    dst[0] = static_cast<int16_t>(dc);
}

}  // namespace

void InitVideoKernelsAvx2(VideoKernels* k) {
    k->PredictionError = PredictionError;
    k->BidirAbsError = BidirAbsError;
    k->BidirPredictionError = BidirPredictionError;
    k->Sad16 = Sad16;
    k->Sad16Row9 = Sad16Row9;
    k->ForwardDct = ForwardDct;
    k->InverseDct = InverseDct;
    k->QuantNonIntra = QuantNonIntra;
    k->QuantIntra = QuantIntra;
    InitSearchKernelsAvx2(k);
    InitTransformPairsAvx2(k);
}

}  // namespace reelcast::kernels
