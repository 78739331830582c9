// Forward and inverse DCT of two blocks at once (AVX2): block a in the low
// 128-bit lane and block b in the high one, so every step of the single-block
// form covers both. The integer sums are those of ForwardDct and InverseDct,
// so the results are too.
#include <immintrin.h>

#include "engine/mpeg/video/kernels/DctTables.h"
#include "engine/mpeg/video/kernels/Kernels.h"
#include "engine/mpeg/video/kernels/KernelsInternal.h"

namespace reelcast::kernels {

namespace {

using std::int16_t;
using std::int32_t;

// Taps (x, y) for a multiply-add over interleaved rows.
constexpr int32_t TapPair(int16_t x, int16_t y) {
    return static_cast<int32_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(x)) |
                                (static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16));
}

struct Taps {
    int32_t even[4][2], odd[4][2];  // butterfly pass: pairs (0, 1) and (2, 3) of frequencies 2k, 2k + 1
    int32_t matrix[8][4];           // plain pass: output j, rows (2k, 2k + 1)
    // Inverse pass, sample j: frequencies (0, 2) and (4, 6), then (1, 3) and (5, 7).
    int32_t inverseEven[4][2], inverseOdd[4][2];
};
constexpr Taps MakeTaps() {
    Taps t{};
    for (int k = 0; k < 4; ++k) {
        t.even[k][0] = TapPair(dct::Basis(0, 2 * k), dct::Basis(1, 2 * k));
        t.even[k][1] = TapPair(dct::Basis(2, 2 * k), dct::Basis(3, 2 * k));
        t.odd[k][0] = TapPair(dct::Basis(0, 2 * k + 1), dct::Basis(1, 2 * k + 1));
        t.odd[k][1] = TapPair(dct::Basis(2, 2 * k + 1), dct::Basis(3, 2 * k + 1));
    }
    for (int j = 0; j < 8; ++j)
        for (int k = 0; k < 4; ++k) t.matrix[j][k] = TapPair(dct::Basis(2 * k, j), dct::Basis(2 * k + 1, j));
    for (int j = 0; j < 4; ++j) {
        t.inverseEven[j][0] = TapPair(dct::Basis(j, 0), dct::Basis(j, 2));
        t.inverseEven[j][1] = TapPair(dct::Basis(j, 4), dct::Basis(j, 6));
        t.inverseOdd[j][0] = TapPair(dct::Basis(j, 1), dct::Basis(j, 3));
        t.inverseOdd[j][1] = TapPair(dct::Basis(j, 5), dct::Basis(j, 7));
    }
    return t;
}
constexpr Taps kTaps = MakeTaps();

// Row i of both blocks.
inline __m256i LoadRows(const int16_t* a, const int16_t* b, int i) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * i))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * i)), 1);
}

// Each lane's 8 x 8 block transposed.
inline void Transpose(__m256i r[8]) {
    __m256i a[8], c[8];
    for (int i = 0; i < 4; ++i) {
        a[2 * i] = _mm256_unpacklo_epi16(r[2 * i], r[2 * i + 1]);
        a[2 * i + 1] = _mm256_unpackhi_epi16(r[2 * i], r[2 * i + 1]);
    }
    for (int i = 0; i < 2; ++i) {
        c[4 * i] = _mm256_unpacklo_epi32(a[4 * i], a[4 * i + 2]);
        c[4 * i + 1] = _mm256_unpackhi_epi32(a[4 * i], a[4 * i + 2]);
        c[4 * i + 2] = _mm256_unpacklo_epi32(a[4 * i + 1], a[4 * i + 3]);
        c[4 * i + 3] = _mm256_unpackhi_epi32(a[4 * i + 1], a[4 * i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
        r[2 * i] = _mm256_unpacklo_epi64(c[i], c[i + 4]);
        r[2 * i + 1] = _mm256_unpackhi_epi64(c[i], c[i + 4]);
    }
}

template <int Shift>
inline __m256i RoundPack(__m256i lo, __m256i hi) {
    const __m256i round = _mm256_set1_epi32(1 << (Shift - 1));
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, round), Shift),
                              _mm256_srai_epi32(_mm256_add_epi32(hi, round), Shift));
}

inline __m256i TapSum(__m256i p0, __m256i p1, int32_t t0, int32_t t1) {
    return _mm256_add_epi32(_mm256_madd_epi16(p0, _mm256_set1_epi32(t0)), _mm256_madd_epi16(p1, _mm256_set1_epi32(t1)));
}

// The plain pass: output j = sum over i of Basis(i, j) x row i.
template <int Shift>
inline void MatrixPass(__m256i r[8]) {
    __m256i lo[4], hi[4];
    for (int k = 0; k < 4; ++k) {
        lo[k] = _mm256_unpacklo_epi16(r[2 * k], r[2 * k + 1]);
        hi[k] = _mm256_unpackhi_epi16(r[2 * k], r[2 * k + 1]);
    }
    __m256i out[8];
    for (int j = 0; j < 8; ++j) {
        __m256i sl = _mm256_setzero_si256(), sh = _mm256_setzero_si256();
        for (int k = 0; k < 4; ++k) {
            const __m256i t = _mm256_set1_epi32(kTaps.matrix[j][k]);
            sl = _mm256_add_epi32(sl, _mm256_madd_epi16(lo[k], t));
            sh = _mm256_add_epi32(sh, _mm256_madd_epi16(hi[k], t));
        }
        out[j] = RoundPack<Shift>(sl, sh);
    }
    for (int j = 0; j < 8; ++j) r[j] = out[j];
}

// The mirrored pass: sums and differences of rows i and 7 - i first (exact
// while they fit 16 bits), then half the products for the even and the odd
// frequencies.
template <int Shift>
inline void ButterflyPass(__m256i r[8]) {
    __m256i sum[4], dif[4];
    for (int i = 0; i < 4; ++i) {
        sum[i] = _mm256_add_epi16(r[i], r[7 - i]);
        dif[i] = _mm256_sub_epi16(r[i], r[7 - i]);
    }
    const __m256i s0l = _mm256_unpacklo_epi16(sum[0], sum[1]), s0h = _mm256_unpackhi_epi16(sum[0], sum[1]);
    const __m256i s1l = _mm256_unpacklo_epi16(sum[2], sum[3]), s1h = _mm256_unpackhi_epi16(sum[2], sum[3]);
    const __m256i d0l = _mm256_unpacklo_epi16(dif[0], dif[1]), d0h = _mm256_unpackhi_epi16(dif[0], dif[1]);
    const __m256i d1l = _mm256_unpacklo_epi16(dif[2], dif[3]), d1h = _mm256_unpackhi_epi16(dif[2], dif[3]);
    for (int k = 0; k < 4; ++k) {
        const int32_t* e = kTaps.even[k];
        const int32_t* o = kTaps.odd[k];
        r[2 * k] = RoundPack<Shift>(TapSum(s0l, s1l, e[0], e[1]), TapSum(s0h, s1h, e[0], e[1]));
        r[2 * k + 1] = RoundPack<Shift>(TapSum(d0l, d1l, o[0], o[1]), TapSum(d0h, d1h, o[0], o[1]));
    }
}

// True when every input of both blocks is at most 16383 in size, so that the
// mirrored sums fit 16 bits.
inline bool SumsFit(const __m256i r[8]) {
    __m256i m = _mm256_abs_epi16(r[0]);
    for (int i = 1; i < 8; ++i) m = _mm256_max_epu16(m, _mm256_abs_epi16(r[i]));
    const __m256i over = _mm256_subs_epu16(m, _mm256_set1_epi16(16383));  // -32768 reads as 32768
    return _mm256_testz_si256(over, over) != 0;
}

template <int Shift>
inline void Pass(__m256i r[8]) {
    if (SumsFit(r)) {
        ButterflyPass<Shift>(r);
    } else {
        MatrixPass<Shift>(r);
    }
}

inline void StoreRows(int16_t* a, int16_t* b, const __m256i r[8]) {
    for (int i = 0; i < 8; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a + 8 * i), _mm256_castsi256_si128(r[i]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + 8 * i), _mm256_extracti128_si256(r[i], 1));
    }
}

void ForwardDct2(int16_t* a, int16_t* b) {
    __m256i r[8];
    for (int i = 0; i < 8; ++i) r[i] = LoadRows(a, b, i);
    Pass<dct::kFdctShift1>(r);
    Transpose(r);
    Pass<dct::kFdctShift2>(r);
    Transpose(r);
    StoreRows(a, b, r);
}

// Even and odd frequencies give E and O of each sample sum: sample j is
// E + O, sample 7 - j is E - O.
template <int Shift>
inline void InversePass(__m256i r[8]) {
    const __m256i e0l = _mm256_unpacklo_epi16(r[0], r[2]), e0h = _mm256_unpackhi_epi16(r[0], r[2]);
    const __m256i e1l = _mm256_unpacklo_epi16(r[4], r[6]), e1h = _mm256_unpackhi_epi16(r[4], r[6]);
    const __m256i o0l = _mm256_unpacklo_epi16(r[1], r[3]), o0h = _mm256_unpackhi_epi16(r[1], r[3]);
    const __m256i o1l = _mm256_unpacklo_epi16(r[5], r[7]), o1h = _mm256_unpackhi_epi16(r[5], r[7]);
    for (int j = 0; j < 4; ++j) {
        const int32_t* e = kTaps.inverseEven[j];
        const int32_t* o = kTaps.inverseOdd[j];
        const __m256i el = TapSum(e0l, e1l, e[0], e[1]), eh = TapSum(e0h, e1h, e[0], e[1]);
        const __m256i ol = TapSum(o0l, o1l, o[0], o[1]), oh = TapSum(o0h, o1h, o[0], o[1]);
        r[j] = RoundPack<Shift>(_mm256_add_epi32(el, ol), _mm256_add_epi32(eh, oh));
        r[7 - j] = RoundPack<Shift>(_mm256_sub_epi32(el, ol), _mm256_sub_epi32(eh, oh));
    }
}

void InverseDct2(int16_t* a, int16_t* b) {
    __m256i r[8];
    for (int i = 0; i < 8; ++i) r[i] = LoadRows(a, b, i);
    InversePass<dct::kIdctShift1>(r);
    Transpose(r);
    InversePass<dct::kIdctShift2>(r);
    Transpose(r);
    const __m256i lo = _mm256_set1_epi16(-256), hi = _mm256_set1_epi16(255);
    for (int i = 0; i < 8; ++i) r[i] = _mm256_min_epi16(_mm256_max_epi16(r[i], lo), hi);
    StoreRows(a, b, r);
}

}  // namespace

void InitTransformPairsAvx2(VideoKernels* k) {
    k->ForwardDct2 = ForwardDct2;
    k->InverseDct2 = InverseDct2;
}

}  // namespace reelcast::kernels
