// Portable family of the video encoder's kernels: the reference every vector
// version must reproduce bit for bit.
#include <climits>
#include <cstdlib>

#include "engine/mpeg/video/kernels/DctTables.h"
#include "engine/mpeg/video/kernels/Kernels.h"
#include "engine/mpeg/video/kernels/KernelsInternal.h"

namespace reelcast::kernels {

namespace {

inline int ClampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline uint8_t ClipByte(int v) { return static_cast<uint8_t>(ClampInt(v, 0, 255)); }

bool Difference(int16_t* blk, const uint8_t* src, const uint8_t* pred, ptrdiff_t stride) {
    bool any = false;
    for (int r = 0; r < 8; ++r, src += stride, pred += stride, blk += 8)
        for (int c = 0; c < 8; ++c) {
            blk[c] = static_cast<int16_t>(src[c] - pred[c]);
            any |= src[c] != pred[c];
        }
    return any;
}

void AddClip(uint8_t* dst, const uint8_t* pred, const int16_t* blk, ptrdiff_t stride) {
    for (int r = 0; r < 8; ++r, dst += stride, pred += stride, blk += 8)
        for (int c = 0; c < 8; ++c) dst[c] = ClipByte(pred[c] + blk[c]);
}

// Two 1-D passes of the shared fixed-point matrices: columns, then rows.
void MatrixPasses(int16_t* blk, const dct::PassMatrix& m, int shift1, int shift2) {
    int16_t tmp[64];
    const int32_t round1 = 1 << (shift1 - 1);
    const int32_t round2 = 1 << (shift2 - 1);
    for (int col = 0; col < 8; ++col) {
        for (int j = 0; j < 8; ++j) {
            int32_t s = 0;
            for (int i = 0; i < 8; ++i) s += m.a[i][j] * blk[i * 8 + col];
            tmp[j * 8 + col] = dct::SaturateInt16((s + round1) >> shift1);
        }
    }
    for (int row = 0; row < 8; ++row) {
        for (int j = 0; j < 8; ++j) {
            int32_t s = 0;
            for (int i = 0; i < 8; ++i) s += m.a[i][j] * tmp[row * 8 + i];
            blk[row * 8 + j] = dct::SaturateInt16((s + round2) >> shift2);
        }
    }
}

void ForwardDct(int16_t* blk) { MatrixPasses(blk, dct::kForward, dct::kFdctShift1, dct::kFdctShift2); }

void InverseDct(int16_t* blk) {
    MatrixPasses(blk, dct::kInverse, dct::kIdctShift1, dct::kIdctShift2);
    for (int i = 0; i < 64; ++i) blk[i] = static_cast<int16_t>(ClampInt(blk[i], -256, 255));
}

// One row of a half-pel prediction: a, (a+b+1)>>1 or (a+b+c+d+2)>>2.
inline void HalfPelRow(uint8_t* out, const uint8_t* p, ptrdiff_t stride, int w, int hx, int hy) {
    if (!hx && !hy) {
        for (int i = 0; i < w; ++i) out[i] = p[i];
    } else if (hx && !hy) {
        for (int i = 0; i < w; ++i) out[i] = static_cast<uint8_t>((p[i] + p[i + 1] + 1) >> 1);
    } else if (!hx && hy) {
        for (int i = 0; i < w; ++i) out[i] = static_cast<uint8_t>((p[i] + p[i + stride] + 1) >> 1);
    } else {
        for (int i = 0; i < w; ++i)
            out[i] = static_cast<uint8_t>((p[i] + p[i + 1] + p[i + stride] + p[i + stride + 1] + 2) >> 2);
    }
}

int PredictionError(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int hx, int hy, int h) {
    int s = 0;
    uint8_t pr[16];
    for (int r = 0; r < h; ++r, ref += stride, cur += stride) {
        HalfPelRow(pr, ref, stride, 16, hx, hy);
        for (int i = 0; i < 16; ++i) {
            const int d = cur[i] - pr[i];
            s += d * d;
        }
    }
    return s;
}

int BidirAbsError(const uint8_t* refF, const uint8_t* refB, const uint8_t* cur, ptrdiff_t stride,
                  int hxf, int hyf, int hxb, int hyb, int h) {
    int s = 0;
    uint8_t pf[16], pb[16];
    for (int r = 0; r < h; ++r, refF += stride, refB += stride, cur += stride) {
        HalfPelRow(pf, refF, stride, 16, hxf, hyf);
        HalfPelRow(pb, refB, stride, 16, hxb, hyb);
        for (int i = 0; i < 16; ++i) s += std::abs(cur[i] - ((pf[i] + pb[i] + 1) >> 1));
    }
    return s;
}

int BidirPredictionError(const uint8_t* refF, const uint8_t* refB, const uint8_t* cur,
                         ptrdiff_t stride, int hxf, int hyf, int hxb, int hyb, int h) {
    int s = 0;
    uint8_t pf[16], pb[16];
    for (int r = 0; r < h; ++r, refF += stride, refB += stride, cur += stride) {
        HalfPelRow(pf, refF, stride, 16, hxf, hyf);
        HalfPelRow(pb, refB, stride, 16, hxb, hyb);
        for (int i = 0; i < 16; ++i) {
            const int d = cur[i] - ((pf[i] + pb[i] + 1) >> 1);
            s += d * d;
        }
    }
    return s;
}

int MacroblockVariance(const uint8_t* p, ptrdiff_t stride) {
    std::uint32_t s = 0, s2 = 0;
    for (int r = 0; r < 16; ++r, p += stride)
        for (int i = 0; i < 16; ++i) {
            s += p[i];
            s2 += static_cast<std::uint32_t>(p[i]) * p[i];
        }
    return VarianceOfSums(s, s2);
}

void QuarterRow(const uint8_t* src, ptrdiff_t stride, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x) {
        int sum = 0;
        for (int r = 0; r < 4; ++r) {
            const uint8_t* p = src + r * stride + 4 * x;
            sum += p[0] + p[1] + p[2] + p[3];
        }
        dst[x] = static_cast<uint8_t>((sum + 8) >> 4);
    }
}

std::uint64_t NonZeroMask(const int16_t* blk) {
    std::uint64_t m = 0;
    for (int i = 0; i < 64; ++i) m |= static_cast<std::uint64_t>(blk[i] != 0) << i;
    return m;
}

void BlockSums16(const uint8_t* p, ptrdiff_t stride, std::int32_t sum[8], std::int32_t sumSquares[8]) {
    for (int b = 0; b < 8; ++b) sum[b] = sumSquares[b] = 0;
    for (int r = 0; r < 16; ++r, p += stride) {
        for (int c = 0; c < 16; ++c) {
            const int v = p[c];
            const int frame = (r >> 3) * 2 + (c >> 3);
            const int field = 4 + (r & 1) * 2 + (c >> 3);
            sum[frame] += v;
            sumSquares[frame] += v * v;
            sum[field] += v;
            sumSquares[field] += v * v;
        }
    }
}

int Sad16(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int hx, int hy, int h, int limit) {
    int s = 0;
    uint8_t pr[16];
    for (int r = 0; r < h; ++r, ref += stride, cur += stride) {
        HalfPelRow(pr, ref, stride, 16, hx, hy);
        for (int i = 0; i < 16; ++i) s += std::abs(cur[i] - pr[i]);
        if (s >= limit) break;
    }
    return s;
}

int Sad4x4(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int limit) {
    int s = 0;
    for (int r = 0; r < 4; ++r, ref += stride, cur += stride) {
        for (int i = 0; i < 4; ++i) s += std::abs(cur[i] - ref[i]);
        if (s >= limit) break;
    }
    return s;
}

void Sad4x4Row16(const uint8_t* ref, const uint8_t cur[16], ptrdiff_t stride, std::uint16_t out[16]) {
    for (int i = 0; i < 16; ++i) {
        int s = 0;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) s += std::abs(cur[r * 4 + c] - ref[r * stride + i + c]);
        out[i] = static_cast<std::uint16_t>(s);
    }
}

void HalfPelSads(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, int out[9]) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            out[(dy + 1) * 3 + dx + 1] = Sad16(ref + (dy >> 1) * stride + (dx >> 1), cur, stride, dx & 1, dy & 1, 16,
                                               INT_MAX);
}

void Sad16Row9(const uint8_t* ref, const uint8_t* cur, ptrdiff_t stride, std::uint16_t out[9]) {
    for (int i = 0; i < 9; ++i) {
        int s = 0;
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c) s += std::abs(cur[r * stride + c] - ref[r * stride + i + c]);
        out[i] = static_cast<std::uint16_t>(s);
    }
}

}  // namespace

void portable::Predict(uint8_t* dst, const uint8_t* ref, ptrdiff_t stride, int w, int h, int hx, int hy,
                       int average) {
    uint8_t pr[16];
    if (w > 16) w = 16;
    for (int r = 0; r < h; ++r, ref += stride, dst += stride) {
        HalfPelRow(pr, ref, stride, w, hx, hy);
        if (average) {
            for (int i = 0; i < w; ++i) dst[i] = static_cast<uint8_t>((dst[i] + pr[i] + 1) >> 1);
        } else {
            for (int i = 0; i < w; ++i) dst[i] = pr[i];
        }
    }
}

namespace {

bool QuantNonIntra(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q, int levelLimit) {
    q = ClampQuantiser(q);
    levelLimit = ClampLevelLimit(levelLimit);
    bool nonzero = false;
    for (int i = 0; i < 64; ++i) {
        const int x = src[i];
        const int w = matrix[i] ? matrix[i] : 1;
        int y = (32 * std::abs(x) + (w >> 1)) / (2 * q * w);
        if (y > levelLimit) y = levelLimit;
        nonzero |= y != 0;
        dst[i] = static_cast<int16_t>(x < 0 ? -y : y);
    }
    return nonzero;
}

void QuantIntra(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q, int dcPrecision,
                int levelLimit) {
    q = ClampQuantiser(q);
    levelLimit = ClampLevelLimit(levelLimit);
    const int dc = IntraDcLevel(src[0], dcPrecision);
    const int bias = (3 * q + 2) >> 2;
    for (int i = 1; i < 64; ++i) {
        const int x = src[i];
        const int w = matrix[i] ? matrix[i] : 1;
        int y = (32 * std::abs(x) + (w >> 1)) / w;
        y = (y + bias) / (2 * q);
        if (y > levelLimit) y = levelLimit;
        dst[i] = static_cast<int16_t>(x < 0 ? -y : y);
    }
    dst[0] = static_cast<int16_t>(dc);
}

inline int Sign(int v) { return (v > 0) - (v < 0); }

// Odd towards zero, as ISO/IEC 11172-2 reconstructs.
inline int Oddify(int v) { return (v & 1) ? v : v - Sign(v); }

void DequantNonIntraMpeg1(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q) {
    q = ClampQuantiser(q);
    for (int i = 0; i < 64; ++i) {
        const int l = src[i];
        int v = 0;
        if (l != 0) v = ClampInt(Oddify(((2 * l + Sign(l)) * q * matrix[i]) / 32), -2048, 2047);
        dst[i] = static_cast<int16_t>(v);
    }
}

// Sum of all 64 even: toggle the low bit of the last coefficient.
inline void MismatchControl(int16_t* blk, int sum) {
    if ((sum & 1) == 0) blk[63] = static_cast<int16_t>(blk[63] ^ 1);
}

void DequantNonIntraMpeg2(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q) {
    q = ClampQuantiser(q);
    int sum = 0;
    for (int i = 0; i < 64; ++i) {
        const int l = src[i];
        int v = 0;
        if (l != 0) v = ClampInt(((2 * l + Sign(l)) * matrix[i] * q) / 32, -2048, 2047);
        sum += v;
        dst[i] = static_cast<int16_t>(v);
    }
    MismatchControl(dst, sum);
}

void DequantIntraMpeg1(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q) {
    q = ClampQuantiser(q);
    const int dc = IntraDcValue(src[0], 0);
    for (int i = 1; i < 64; ++i) {
        const int l = src[i];
        int v = 0;
        if (l != 0) v = ClampInt(Oddify((l * q * matrix[i]) / 16), -2048, 2047);
        dst[i] = static_cast<int16_t>(v);
    }
    dst[0] = static_cast<int16_t>(dc);
}

void DequantIntraMpeg2(int16_t* dst, const int16_t* src, const uint8_t* matrix, int q, int dcPrecision) {
    q = ClampQuantiser(q);
    const int dc = IntraDcValue(src[0], dcPrecision);
    int sum = dc;
    for (int i = 1; i < 64; ++i) {
        const int v = ClampInt((src[i] * matrix[i] * q) / 16, -2048, 2047);
        sum += v;
        dst[i] = static_cast<int16_t>(v);
    }
    dst[0] = static_cast<int16_t>(dc);
    MismatchControl(dst, sum);
}

// Horizontal halving. Co-sited taps (22, 0, -52, 0, 159, 254, 159, 0, -52, 0, 22)
// centred on input 2n (centre 254 rather than 256 so the taps sum to 512 and a
// flat plane keeps its value); half-phase taps (5, 11, -21, -37, 70, 228, 228,
// 70, -37, -21, 11, 5) centred between inputs 2n and 2n + 1. Edges repeat.
}  // namespace

void portable::Chroma444To422(const uint8_t* src, uint8_t* dst, int width, int height, int mpeg1) {
    const int ow = width / 2;
    for (int r = 0; r < height; ++r, src += width, dst += ow) {
        auto at = [&](int i) { return static_cast<int>(src[ClampInt(i, 0, width - 1)]); };
        for (int n = 0; n < ow; ++n) {
            const int i = 2 * n;
            int v;
            if (mpeg1) {
                v = 228 * (at(i) + at(i + 1)) + 70 * (at(i - 1) + at(i + 2)) - 37 * (at(i - 2) + at(i + 3)) -
                    21 * (at(i - 3) + at(i + 4)) + 11 * (at(i - 4) + at(i + 5)) + 5 * (at(i - 5) + at(i + 6));
            } else {
                v = 22 * (at(i - 5) + at(i + 5)) - 52 * (at(i - 3) + at(i + 3)) +
                    159 * (at(i - 1) + at(i + 1)) + 254 * at(i);
            }
            dst[n] = ClipByte((v + 256) >> 9);
        }
    }
}

// Vertical halving with the half-phase taps above: output row n sits between
// rows 2n and 2n + 1 (of the frame, or of its own field when the frame is
// interlaced). Rows beyond the edge repeat the edge row.
void portable::Chroma422To420(const uint8_t* src, uint8_t* dst, int width, int height, int progressiveFrame) {
    const int oh = height / 2;
    for (int o = 0; o < oh; ++o, dst += width) {
        int rows[12];
        Chroma420TapRows(o, height, progressiveFrame, rows);
        for (int c = 0; c < width; ++c)
            dst[c] = Chroma420Sample(
                [&](int t) { return static_cast<int>(src[static_cast<ptrdiff_t>(rows[t]) * width + c]); });
    }
}

void InitVideoKernelsPortable(VideoKernels* k) {
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
    k->Predict = portable::Predict;
    k->QuantNonIntra = QuantNonIntra;
    k->QuantIntra = QuantIntra;
    k->NonZeroMask = NonZeroMask;
    k->DequantNonIntraMpeg1 = DequantNonIntraMpeg1;
    k->DequantNonIntraMpeg2 = DequantNonIntraMpeg2;
    k->DequantIntraMpeg1 = DequantIntraMpeg1;
    k->DequantIntraMpeg2 = DequantIntraMpeg2;
    k->Chroma444To422 = portable::Chroma444To422;
    k->Chroma422To420 = portable::Chroma422To420;
    InitSearchKernelsPortable(k);
}

void InitVideoKernels(VideoKernels* k, std::uint32_t cpuFlags) {
    InitVideoKernelsPortable(k);
    if (!(cpuFlags & kCpuSse2)) return;
    InitVideoKernelsSse2(k);
    if (!(cpuFlags & kCpuAvx2)) return;
    InitVideoKernelsAvx2(k);
}

}  // namespace reelcast::kernels
