// The video encoder's inner loops as a table of function pointers.
//
// InitVideoKernels fills every slot with the portable version, then replaces
// slots with vector versions the given CPU flags allow. All families compute
// bit-identical results (tests/kernels checks each pair), so the choice only
// changes speed. The encoder builds its table once per stream:
//
//     VideoKernels k;
//     InitVideoKernels(&k, ActiveCpuFlags());   // or SelectVideoKernels()
//
// Conventions shared by all slots:
// - Pictures are 8-bit planes addressed by a pointer to the block's top-left
//   sample and a row stride in bytes; where a kernel reads a reference, source
//   and prediction together they share one stride (all are picture-sized
//   stores of the same plane).
// - Coefficient blocks are 64 int16 in natural row-major order (not zig-zag);
//   no alignment is required. dst may equal src in the (de)quantisers.
// - Quantiser matrices are 64 weights (1..255) in natural row-major order.
// - q is the macroblock quantiser_scale value (2..62, even for linear
//   q_scale_type); for MPEG-1 syntax this is twice the coded quantiser_scale.
//   The (de)quantisers clamp q to 1..64.
// - Half-pel flags hx, hy are 0 or 1 (the low bit of a half-pel vector
//   component); the reference pointer addresses the full-pel position
//   (vector >> 1). Half-pel prediction reads one extra column and/or row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/mpeg/video/kernels/Cpu.h"

namespace reelcast::kernels {

// Width of the coarse motion search's candidate table rows (CoarseRing32).
inline constexpr int kCoarseRingColumns = 32;

// What CoarseRing32 keeps from ring to ring.
struct CoarseRows {
    const std::uint8_t* cur;       // the 4 x 4 block's rows, packed (16 bytes)
    std::ptrdiff_t stride;         // of the quarter picture the candidates lie in
    const std::uint16_t* outside;  // per column: 0xFFFF outside the search window, 0 inside
    std::uint16_t* columnMin;      // per column: the smallest sum so far
};

// The 16 x 16 variance from the sum and the sum of squares of its 256 samples:
// (sum)^2 reaches 65280^2, which needs the full unsigned 32-bit range.
inline int VarianceOfSums(std::uint32_t sum, std::uint32_t sumSquares) {
    return static_cast<int>(sumSquares - ((sum * sum) >> 8));
}

struct VideoKernels {
    // blk[i] = src[i] - pred[i] over an 8x8 block. Answers whether any
    // difference is non-zero, which the caller would otherwise read back.
    bool (*Difference)(std::int16_t* blk, const std::uint8_t* src, const std::uint8_t* pred,
                       std::ptrdiff_t stride);
    // dst[i] = clip(pred[i] + blk[i], 0, 255) over an 8x8 block (dst may equal pred).
    void (*AddClip)(std::uint8_t* dst, const std::uint8_t* pred, const std::int16_t* blk,
                    std::ptrdiff_t stride);
    // In-place 8x8 forward DCT (ISO/IEC 13818-2 Annex A scaling: DC = 8 x mean),
    // fixed point, results saturated to int16. Inputs are prediction errors
    // (-255..255); any int16 input gives a defined (saturated) result.
    void (*ForwardDct)(std::int16_t* blk);
    // ForwardDct of two blocks (a != b), the same results.
    void (*ForwardDct2)(std::int16_t* a, std::int16_t* b);
    // In-place 8x8 inverse DCT meeting the IEEE 1180 / 13818-2 Annex A accuracy
    // test; inputs -2048..2047, results limited to -256..255.
    void (*InverseDct)(std::int16_t* blk);
    // InverseDct of two blocks (a != b), the same results.
    void (*InverseDct2)(std::int16_t* a, std::int16_t* b);

    // Motion distortions over a 16-wide, h-high block (h = 16 for frame
    // prediction). ref/refF/refB at full-pel positions, cur the source block.
    // Sum of squared differences between cur and the half-pel prediction of ref.
    int (*PredictionError)(const std::uint8_t* ref, const std::uint8_t* cur, std::ptrdiff_t stride,
                           int hx, int hy, int h);
    // Sum of |cur - ((predF + predB + 1) >> 1)|.
    int (*BidirAbsError)(const std::uint8_t* refF, const std::uint8_t* refB, const std::uint8_t* cur,
                         std::ptrdiff_t stride, int hxf, int hyf, int hxb, int hyb, int h);
    // Sum of (cur - ((predF + predB + 1) >> 1))^2.
    int (*BidirPredictionError)(const std::uint8_t* refF, const std::uint8_t* refB,
                                const std::uint8_t* cur, std::ptrdiff_t stride, int hxf, int hyf,
                                int hxb, int hyb, int h);
    // Sum(x^2) - (Sum(x))^2 >> 8 over a 16x16 block (VarianceOfSums).
    int (*MacroblockVariance)(const std::uint8_t* p, std::ptrdiff_t stride);

    // One row of a picture reduced four times in each direction: dst[x] =
    // (sum of the 4 x 4 samples at src + 4x over four rows + 8) >> 4, for
    // x = 0 .. width - 1.
    void (*QuarterRow)(const std::uint8_t* src, std::ptrdiff_t stride, std::uint8_t* dst, int width);

    // Sums and sums of squares of the eight 8 x 8 blocks of a 16 x 16 area:
    // 0-3 the frame blocks (quarters in raster order), 4-7 the field blocks
    // (top field left and right, then bottom field left and right).
    void (*BlockSums16)(const std::uint8_t* p, std::ptrdiff_t stride, std::int32_t sum[8],
                        std::int32_t sumSquares[8]);

    // Sum of absolute differences between cur and the half-pel prediction of ref
    // over 16 x h; after each row, if the running sum is >= limit the partial
    // sum is answered at once.
    int (*Sad16)(const std::uint8_t* ref, const std::uint8_t* cur, std::ptrdiff_t stride, int hx,
                 int hy, int h, int limit);
    // The same for a full-pel 4x4 block (coarse search on quarter pictures).
    int (*Sad4x4)(const std::uint8_t* ref, const std::uint8_t* cur, std::ptrdiff_t stride,
                  int limit);

    // Whole sums (no early exit) at the sixteen horizontal offsets 0..15 of
    // ref: out[i] = sum of |cur - ref| over the 4 x 4 block and the block at
    // ref + i. cur holds the block's four rows packed (16 bytes). Reads bytes
    // 0..23 of each of ref's four rows. The motion search fills its candidate
    // tables sixteen positions at a time with these.
    void (*Sad4x4Row16)(const std::uint8_t* ref, const std::uint8_t cur[16], std::ptrdiff_t stride,
                        std::uint16_t out[16]);
    // The same for full-pel 16 x 16 blocks at the nine offsets 0..8 (a sum is
    // at most 256 x 255, so it fits 16 bits); cur is addressed with stride.
    // Reads bytes 0..23 of each of ref's sixteen rows.
    void (*Sad16Row9)(const std::uint8_t* ref, const std::uint8_t* cur, std::ptrdiff_t stride,
                      std::uint16_t out[9]);

    // One ring of the coarse search over two rows of kCoarseRingColumns
    // candidate sums, its top and bottom rows (top may equal bottom, with the
    // same reference). A row given a reference (the candidate of column 0) is
    // formed first: row[j] = the whole 4 x 4 sum of rows.cur against the block
    // at ref + j, for every j (wide) or for j = 8..23 with 0xFFFF elsewhere;
    // reads bytes 0..39 (wide) or 8..31 of ref's four rows. A row without a
    // reference keeps what it holds. Then each row becomes row | rows.outside;
    // answers the smallest min(top[j], bottom[j]) | span[j] (span is 0 on the
    // ring's columns, 0xFFFF beyond) and lowers rows.columnMin[j] to
    // min(columnMin[j], top[j], bottom[j]).
    std::uint16_t (*CoarseRing32)(const CoarseRows& rows, const std::uint8_t* refTop, const std::uint8_t* refBottom,
                                  int wide, std::uint16_t* top, std::uint16_t* bottom, const std::uint16_t* span);

    // Whole sums of absolute differences between the 16 x 16 block cur and the
    // nine half-pel predictions around the full-pel position ref, in row order
    // of the half-pel offsets (dy = -1, 0, 1 outer; dx = -1, 0, 1 inner); out[4]
    // is the full-pel sum. Reads ref's rows -1..16, samples -1..16 of each.
    void (*HalfPelSads)(const std::uint8_t* ref, const std::uint8_t* cur, std::ptrdiff_t stride,
                        int out[9]);

    // Motion-compensated prediction of a w x h area (w = 8 or 16) from ref at a
    // half-pel position into dst. average = 0 stores the prediction; 1 stores
    // (dst + prediction + 1) >> 1 (second direction of a bidirectional block).
    void (*Predict)(std::uint8_t* dst, const std::uint8_t* ref, std::ptrdiff_t stride, int w, int h,
                    int hx, int hy, int average);

    // Non-intra quantisation: level = sign(x) * min((32|x| + W/2) div (2 q W),
    // levelLimit) with levelLimit clamped to 0..32767. Answers true when any
    // level is non-zero. Both quantisers accept dst == src (in place).
    bool (*QuantNonIntra)(std::int16_t* dst, const std::int16_t* src, const std::uint8_t* matrix,
                          int q, int levelLimit);
    // Intra quantisation. DC: d = 8 >> dcPrecision, level = (x + d/2) div d
    // (negative x: -((d/2 - x) div d)), not limited. AC: y = (32|x| + W/2) div W,
    // y = (y + ((3q + 2) >> 2)) div (2q), limited to levelLimit, sign of x.
    void (*QuantIntra)(std::int16_t* dst, const std::int16_t* src, const std::uint8_t* matrix,
                       int q, int dcPrecision, int levelLimit);

    // Bit i set when blk[i] != 0 (64 coefficients in natural order).
    std::uint64_t (*NonZeroMask)(const std::int16_t* blk);

    // Non-intra inverse quantisation, ISO/IEC 11172-2: ((2l + sign l) q W) div 32
    // (q = 2 x quantiser_scale), made odd towards zero, clipped to -2048..2047.
    void (*DequantNonIntraMpeg1)(std::int16_t* dst, const std::int16_t* src,
                                 const std::uint8_t* matrix, int q);
    // ISO/IEC 13818-2: ((2l + sign l) W q) div 32, clipped to -2048..2047, then
    // mismatch control (sum even: toggle the low bit of coefficient 63).
    void (*DequantNonIntraMpeg2)(std::int16_t* dst, const std::int16_t* src,
                                 const std::uint8_t* matrix, int q);
    // Intra inverse quantisation. MPEG-1: DC = 8 l; AC = (l q W) div 16 made odd
    // towards zero, clipped. MPEG-2: DC = l << (3 - dcPrecision); AC =
    // (l W q) div 16; clipped to -2048..2047, then mismatch control.
    void (*DequantIntraMpeg1)(std::int16_t* dst, const std::int16_t* src, const std::uint8_t* matrix,
                              int q);
    void (*DequantIntraMpeg2)(std::int16_t* dst, const std::int16_t* src, const std::uint8_t* matrix,
                              int q, int dcPrecision);

    // 4:4:4 -> 4:2:2: halves the width of a width x height plane (rows of
    // exactly width bytes) into rows of width/2 bytes. mpeg1 selects the taps
    // centred between two input samples; otherwise the co-sited taps.
    void (*Chroma444To422)(const std::uint8_t* src, std::uint8_t* dst, int width, int height,
                           int mpeg1);
    // 4:2:2 -> 4:2:0: halves the height of a width x height plane into
    // width x height/2. progressiveFrame = 0 filters each field on its own.
    void (*Chroma422To420)(const std::uint8_t* src, std::uint8_t* dst, int width, int height,
                           int progressiveFrame);
};

// Portable versions in every slot, then the vector versions cpuFlags allow.
void InitVideoKernels(VideoKernels* k, std::uint32_t cpuFlags);

// A table for the current ActiveCpuFlags().
inline VideoKernels SelectVideoKernels() {
    VideoKernels k;
    InitVideoKernels(&k, ActiveCpuFlags());
    return k;
}

// Per-family initialisers, each upgrading only the slots it has.
void InitVideoKernelsPortable(VideoKernels* k);
void InitVideoKernelsSse2(VideoKernels* k);
void InitVideoKernelsAvx2(VideoKernels* k);

}  // namespace reelcast::kernels
