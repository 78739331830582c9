#include "engine/mpeg/video/MacroblockCoder.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "engine/mpeg/video/HeaderWriter.h"
#include "engine/mpeg/video/VlcTables.h"

namespace reelcast::mpeg::video {
namespace {

void Put(BitWriter& bw, Vlc v) { bw.PutBits(v.code, v.length); }

// Zig-zag position of each natural position.
const std::array<std::uint8_t, 64> kZigZagPosition = [] {
    std::array<std::uint8_t, 64> a{};
    for (int n = 0; n < 64; ++n) a[kZigZag[n]] = static_cast<std::uint8_t>(n);
    return a;
}();

int BitLength(int v) {
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

// Top-left sample of 8x8 block b (0-3 luma, 4 Cb, 5 Cr) of macroblock (mx, my).
inline std::uint8_t* BlockPtr(const PictureStore& p, const Geometry& g, int mx, int my, int b) {
    if (b < 4) return p.y + (my * 16 + (b >> 1) * 8) * g.lumaWidth + mx * 16 + (b & 1) * 8;
    std::uint8_t* plane = b == 4 ? p.cb : p.cr;
    return plane + my * 8 * g.chromaWidth + mx * 8;
}

inline int BlockStride(const Geometry& g, int b) { return b < 4 ? g.lumaWidth : g.chromaWidth; }

}  // namespace

void MacroblockCoder::Configure(const SequenceSettings* settings, const Geometry& geo,
                                const kernels::VideoKernels* k) {
    s_ = settings;
    geo_ = geo;
    k_ = k;
}

void MacroblockCoder::PredictAndTransform(const PictureRefs& refs, MacroblockInfo* mbInfo,
                                          std::int16_t* coeffs, int row0, int row1) const {
    const kernels::VideoKernels& k = *k_;
    const int ls = geo_.lumaWidth;
    const int cs = geo_.chromaWidth;
    for (int my = row0; my < row1; ++my) {
        for (int mx = 0; mx < geo_.mbWidth; ++mx) {
            const int i = my * geo_.mbWidth + mx;
            MacroblockInfo& mb = mbInfo[i];
            std::uint8_t* py = refs.pred.y + my * 16 * ls + mx * 16;
            std::uint8_t* pcb = refs.pred.cb + my * 8 * cs + mx * 8;
            std::uint8_t* pcr = refs.pred.cr + my * 8 * cs + mx * 8;
            if (mb.mbType & kMbIntra) {
                for (int r = 0; r < 16; ++r) std::memset(py + r * ls, 128, 16);
                for (int r = 0; r < 8; ++r) {
                    std::memset(pcb + r * cs, 128, 8);
                    std::memset(pcr + r * cs, 128, 8);
                }
            } else {
                // A P macroblock without motion predicts from the same place forward.
                const bool backwardOnly = (mb.mbType & (kMbForward | kMbBackward)) == kMbBackward;
                int average = 0;
                for (int dir = 0; dir < 2; ++dir) {
                    const bool use = dir == 0 ? !backwardOnly : (mb.mbType & kMbBackward) != 0;
                    if (!use) continue;
                    const PictureStore& ref = dir == 0 ? refs.oldRec : refs.newRec;
                    const int vx = mb.mv[dir][0];
                    const int vy = mb.mv[dir][1];
                    k.Predict(py, ref.y + (my * 16 + (vy >> 1)) * ls + mx * 16 + (vx >> 1), ls, 16, 16,
                              vx & 1, vy & 1, average);
                    // Chroma vectors are the luma ones halved, truncated toward zero.
                    const int cx = vx / 2;
                    const int cy = vy / 2;
                    const int off = (my * 8 + (cy >> 1)) * cs + mx * 8 + (cx >> 1);
                    k.Predict(pcb, ref.cb + off, cs, 8, 8, cx & 1, cy & 1, average);
                    k.Predict(pcr, ref.cr + off, cs, 8, 8, cx & 1, cy & 1, average);
                    average = 1;
                }
            }
            std::int16_t* c = coeffs + static_cast<std::ptrdiff_t>(i) * kCoeffsPerMb;
            // Blocks to transform, two at a time; an exact prediction (common
            // in still and flat areas) leaves a block of zeros as it is.
            std::int16_t* pending = nullptr;
            mb.differenceBlocks = 0;
            for (int b = 0; b < kBlocksPerMb; ++b) {
                std::int16_t* blk = c + b * 64;
                if (!k.Difference(blk, BlockPtr(refs.src, geo_, mx, my, b), BlockPtr(refs.pred, geo_, mx, my, b),
                                  BlockStride(geo_, b)))
                    continue;
                mb.differenceBlocks |= 1 << b;
                if (pending) {
                    k.ForwardDct2(pending, blk);
                    pending = nullptr;
                } else {
                    pending = blk;
                }
            }
            if (pending) k.ForwardDct(pending);
        }
    }
}

// A block's codes collect in a 64-bit word and reach the writer 32 bits at a
// time: one store per word instead of one per code.
class BlockBits {
public:
    explicit BlockBits(BitWriter& bw) : bw_(bw) {}
    // The low n bits (1..32) of value; bits above n must be zero.
    void Put(std::uint32_t value, int n) {
        bits_ = (bits_ << n) | value;  // fewer than 32 pending, so at most 63 bits
        pending_ += n;
        if (pending_ >= 32) {
            pending_ -= 32;
            bw_.PutBits(static_cast<std::uint32_t>(bits_ >> pending_), 32);
            bits_ &= (std::uint64_t{1} << pending_) - 1;
        }
    }
    void Finish() {
        if (pending_) bw_.PutBits(static_cast<std::uint32_t>(bits_), pending_);
    }

private:
    BitWriter& bw_;
    std::uint64_t bits_ = 0;
    int pending_ = 0;
};

void WriteBlockCoefficients(BitWriter& bw, const std::int16_t* levels, std::uint64_t nonZero, int start,
                            bool firstSpecial, bool mpeg1) {
    // The non-zero positions in zig-zag order, from `start` on.
    std::uint64_t scan = 0;
    for (std::uint64_t m = nonZero; m; m &= m - 1) scan |= std::uint64_t{1} << kZigZagPosition[std::countr_zero(m)];
    scan &= ~std::uint64_t{0} << start;
    const int limit = mpeg1 ? 255 : 2047;
    BlockBits out(bw);
    int previous = start - 1;
    bool first = firstSpecial;
    for (; scan; scan &= scan - 1) {
        const int n = std::countr_zero(scan);
        const int run = n - previous - 1;
        previous = n;
        const int v = levels[kZigZag[n]];
        const int a = v < 0 ? -v : v;
        const std::uint32_t sign = v < 0 ? 1u : 0u;
        if (a > limit) {
            // Out of range for the syntax: left out, the block goes on with the next pair.
            first = false;
            continue;
        }
        if (first && run == 0 && a == 1) {
            out.Put((kDctFirstRun0Level1.code << 1) | sign, kDctFirstRun0Level1.length + 1);
        } else {
            const Vlc code = DctCode(run, a);
            if (code.length) {
                out.Put((static_cast<std::uint32_t>(code.code) << 1) | sign, code.length + 1);
            } else {
                out.Put(kDctEscape.code, kDctEscape.length);
                out.Put(static_cast<std::uint32_t>(run), 6);
                if (!mpeg1) {
                    out.Put(static_cast<std::uint32_t>(v) & 0xFFF, 12);
                } else if (a <= 127) {
                    out.Put(static_cast<std::uint32_t>(v) & 0xFF, 8);
                } else {
                    out.Put(v > 0 ? 0x00u : 0x80u, 8);
                    out.Put(static_cast<std::uint32_t>(v) & 0xFF, 8);
                }
            }
        }
        first = false;
    }
    out.Put(kDctEndOfBlock.code, kDctEndOfBlock.length);
    out.Finish();
}

void WriteBlockCoefficients(BitWriter& bw, const std::int16_t* levels, int start, bool firstSpecial,
                            bool mpeg1) {
    std::uint64_t nonZero = 0;
    for (int i = 0; i < 64; ++i) nonZero |= static_cast<std::uint64_t>(levels[i] != 0) << i;
    WriteBlockCoefficients(bw, levels, nonZero, start, firstSpecial, mpeg1);
}

bool MacroblockCoder::WriteIntraBlock(BitWriter& bw, const std::int16_t* levels, int component,
                                      SliceState& st) const {
    const int dc = levels[0];
    const int diff = dc - st.dcPred[component];
    const int a = diff < 0 ? -diff : diff;
    if (a >= 2048 || (s_->mode.mpeg1Syntax && a > 255)) return false;
    st.dcPred[component] = dc;
    const int size = BitLength(a);
    Put(bw, component == 0 ? kDcSizeLuma[size] : kDcSizeChroma[size]);
    if (size) {
        const int bits = diff > 0 ? diff : diff + (1 << size) - 1;
        bw.PutBits(static_cast<std::uint32_t>(bits), size);
    }
    WriteBlockCoefficients(bw, levels, k_->NonZeroMask(levels), 1, false, s_->mode.mpeg1Syntax != 0);
    return true;
}

void MacroblockCoder::WriteNonIntraBlock(BitWriter& bw, const std::int16_t* levels) const {
    WriteBlockCoefficients(bw, levels, k_->NonZeroMask(levels), 0, true, s_->mode.mpeg1Syntax != 0);
}

void MacroblockCoder::WriteMotionVector(BitWriter& bw, int delta, int fCode) const {
    const int rSize = fCode - 1;
    const int f = 1 << rSize;
    const int high = 16 * f - 1;
    const int low = -16 * f;
    const int range = 32 * f;
    if (delta > high) {
        delta -= range;
    } else if (delta < low) {
        delta += range;
    }
    if (delta == 0) {
        Put(bw, kMotionCode[0]);
        return;
    }
    const int a = delta < 0 ? -delta : delta;
    const int temp = a - 1;
    const int code = (temp >> rSize) + 1;
    const Vlc v = kMotionCode[code];
    bw.PutBits((static_cast<std::uint32_t>(v.code) << 1) | (delta < 0 ? 1u : 0u), v.length + 1);
    if (rSize) bw.PutBits(static_cast<std::uint32_t>(temp & (f - 1)), rSize);
}

void MacroblockCoder::CopyPrediction(int mx, int my, const PictureRefs& refs) const {
    const int ls = geo_.lumaWidth;
    const int cs = geo_.chromaWidth;
    for (int r = 0; r < 16; ++r) {
        const std::size_t o = static_cast<std::size_t>((my * 16 + r) * ls + mx * 16);
        std::memcpy(refs.rec.y + o, refs.pred.y + o, 16);
    }
    for (int r = 0; r < 8; ++r) {
        const std::size_t o = static_cast<std::size_t>((my * 8 + r) * cs + mx * 8);
        std::memcpy(refs.rec.cb + o, refs.pred.cb + o, 8);
        std::memcpy(refs.rec.cr + o, refs.pred.cr + o, 8);
    }
}

void MacroblockCoder::Reconstruct(int mx, int my, const MacroblockInfo& mb, const std::int16_t* levels,
                                  const PictureRefs& refs) const {
    const kernels::VideoKernels& k = *k_;
    const bool intra = (mb.mbType & kMbIntra) != 0;
    const bool mpeg1 = s_->mode.mpeg1Syntax != 0;
    // Coded blocks are transformed two at a time: the first of a pair waits in blk[0].
    alignas(16) std::int16_t pair[2][64];
    int waiting = -1;
    auto add = [&](int b, const std::int16_t* residual) {
        k.AddClip(BlockPtr(refs.rec, geo_, mx, my, b), BlockPtr(refs.pred, geo_, mx, my, b), residual,
                  BlockStride(geo_, b));
    };
    for (int b = 0; b < kBlocksPerMb; ++b) {
        if (!intra && !(mb.cbp & (32 >> b))) {
            std::uint8_t* dst = BlockPtr(refs.rec, geo_, mx, my, b);
            const std::uint8_t* pred = BlockPtr(refs.pred, geo_, mx, my, b);
            const int stride = BlockStride(geo_, b);
            for (int r = 0; r < 8; ++r) std::memcpy(dst + r * stride, pred + r * stride, 8);
            continue;
        }
        std::int16_t* blk = pair[waiting < 0 ? 0 : 1];
        const std::int16_t* lv = levels + b * 64;
        if (intra) {
            if (mpeg1) {
                k.DequantIntraMpeg1(blk, lv, kDefaultIntraMatrix, mb.quantiser);
            } else {
                k.DequantIntraMpeg2(blk, lv, kDefaultIntraMatrix, mb.quantiser, s_->mode.intraDcPrecision);
            }
        } else if (mpeg1) {
            k.DequantNonIntraMpeg1(blk, lv, kDefaultNonIntraMatrix, mb.quantiser);
        } else {
            k.DequantNonIntraMpeg2(blk, lv, kDefaultNonIntraMatrix, mb.quantiser);
        }
        if (waiting < 0) {
            waiting = b;
            continue;
        }
        k.InverseDct2(pair[0], pair[1]);
        add(waiting, pair[0]);
        add(b, pair[1]);
        waiting = -1;
    }
    if (waiting >= 0) {
        k.InverseDct(pair[0]);
        add(waiting, pair[0]);
    }
}

void MacroblockCoder::ReconstructRows(const MacroblockInfo* mbInfo, const std::int16_t* levels,
                                      const PictureRefs& refs, int row0, int row1) const {
    const int mbw = geo_.mbWidth;
    for (int my = row0; my < row1; ++my) {
        for (int mx = 0; mx < mbw; ++mx) {
            const int j = my * mbw + mx;
            if (mbInfo[j].skipped) {
                CopyPrediction(mx, my, refs);
            } else {
                Reconstruct(mx, my, mbInfo[j], levels + static_cast<std::ptrdiff_t>(j) * kCoeffsPerMb, refs);
            }
        }
    }
}

bool MacroblockCoder::CodePicture(BitWriter& bw, int type, const int fCode[4], MacroblockInfo* mbInfo,
                                  std::int16_t* coeffs, RateControl* rc, int firstQuantiser) {
    SliceState st;
    st.lastQ = firstQuantiser;
    const int mbw = geo_.mbWidth;

    for (int my = 0; my < geo_.mbHeight; ++my) {
        StartSlice(bw, my, st);
        for (int mx = 0; mx < mbw; ++mx) {
            const int j = my * mbw + mx;
            MacroblockInfo& mb = mbInfo[j];
            std::int16_t* levels = coeffs + static_cast<std::ptrdiff_t>(j) * kCoeffsPerMb;
            const int q = rc ? rc->MacroblockQuantiser(j, static_cast<double>(bw.totalBits), mb.activity)
                             : fixedQuantiser;
            mb.quantiser = q;
            int flags = mb.mbType;
            const bool intra = (flags & kMbIntra) != 0;
            const int cbp = Quantise(levels, intra, q, mb.differenceBlocks);
            mb.cbp = cbp;
            if (intra || cbp) {
                if (!intra) flags |= kMbPattern;
                if (q != st.lastQ) {
                    flags |= kMbQuant;
                    st.lastQ = q;
                }
            }

            // Skipping: never the first or last macroblock of a row (slice).
            if (!intra && cbp == 0 && mx != 0 && mx != mbw - 1 && Skippable(type, mb, flags, st)) {
                SkipMacroblock(type, mb, st);
                continue;
            }
            mb.skipped = 0;
            if (type == kPictureP && !intra && cbp == 0 && !(flags & kMbForward)) {
                // Not skippable here: sent as forward prediction with the zero vector.
                flags |= kMbForward;
                mb.mv[0][0] = mb.mv[0][1] = 0;
            }
            mb.mbType = flags;
            WriteMacroblockHeader(bw, type, mb, fCode, st);
            if (!WriteBlocks(bw, type, mb, levels, st)) return false;
            st.prev = &mb;
        }
    }
    return true;
}

void MacroblockCoder::StartSlice(BitWriter& bw, int row, SliceState& st) const {
    WriteSliceHeader(bw, *s_, row, st.lastQ / 2);
    st.dcPred[0] = st.dcPred[1] = st.dcPred[2] = 0;
    st.pmv[0][0] = st.pmv[0][1] = st.pmv[1][0] = st.pmv[1][1] = 0;
    st.skipped = 0;
    st.prev = nullptr;
}

int MacroblockCoder::Quantise(std::int16_t* blocks, bool intra, int q, int differenceBlocks) const {
    const kernels::VideoKernels& k = *k_;
    const int levelLimit = s_->mode.mpeg1Syntax != 0 ? 255 : 2047;
    if (intra) {
        for (int b = 0; b < kBlocksPerMb; ++b)
            k.QuantIntra(blocks + b * 64, blocks + b * 64, kDefaultIntraMatrix, q, s_->mode.intraDcPrecision,
                         levelLimit);
        return 63;
    }
    int cbp = 0;
    for (int b = 0; b < kBlocksPerMb; ++b) {
        cbp <<= 1;
        // A block of zeros quantises to itself.
        std::int16_t* blk = blocks + b * 64;
        if (((differenceBlocks >> b) & 1) && k.QuantNonIntra(blk, blk, kDefaultNonIntraMatrix, q, levelLimit))
            cbp |= 1;
    }
    return cbp;
}

// A non-intra macroblock without coded blocks. In a P picture it is skipped
// unless it has a vector; in a B picture when it predicts as the one before it
// did, in the same directions with the same vectors.
bool MacroblockCoder::Skippable(int type, const MacroblockInfo& mb, int flags, const SliceState& st) {
    if (type == kPictureP) return (flags & kMbForward) == 0;
    if (type != kPictureB || !st.prev || (st.prev->mbType & kMbIntra)) return false;
    const int dirs = flags & (kMbForward | kMbBackward);
    if (dirs != (st.prev->mbType & (kMbForward | kMbBackward))) return false;
    if ((dirs & kMbForward) && (mb.mv[0][0] != st.prev->mv[0][0] || mb.mv[0][1] != st.prev->mv[0][1]))
        return false;
    if ((dirs & kMbBackward) && (mb.mv[1][0] != st.prev->mv[1][0] || mb.mv[1][1] != st.prev->mv[1][1]))
        return false;
    return true;
}

void MacroblockCoder::SkipMacroblock(int type, MacroblockInfo& mb, SliceState& st) {
    mb.skipped = 1;
    ++st.skipped;
    if (type == kPictureP) st.pmv[0][0] = st.pmv[0][1] = 0;
    st.dcPred[0] = st.dcPred[1] = st.dcPred[2] = 0;
    st.prev = &mb;
}

// Address increment (over the skipped ones before it), type, quantiser, motion
// vectors and coded block pattern.
void MacroblockCoder::WriteMacroblockHeader(BitWriter& bw, int type, const MacroblockInfo& mb, const int fCode[4],
                                            SliceState& st) const {
    const std::array<Vlc, 32>& typeTable =
        type == kPictureI ? kMbTypeI : (type == kPictureP ? kMbTypeP : kMbTypeB);
    const int flags = mb.mbType;
    int inc = st.skipped + 1;
    while (inc > 33) {
        Put(bw, kAddressEscape);
        inc -= 33;
    }
    Put(bw, kAddressIncrement[inc]);
    st.skipped = 0;
    Put(bw, typeTable[flags & 31]);
    if (flags & kMbQuant) bw.PutBits(static_cast<std::uint32_t>(mb.quantiser / 2), 5);
    for (int dir = 0; dir < 2; ++dir) {
        if (!(flags & (dir == 0 ? kMbForward : kMbBackward))) continue;
        for (int comp = 0; comp < 2; ++comp) {
            const int fc = fCode[2 * dir + comp];
            WriteMotionVector(bw, mb.mv[dir][comp] - st.pmv[dir][comp], fc);
            st.pmv[dir][comp] = mb.mv[dir][comp];
        }
    }
    if (flags & kMbPattern) Put(bw, kCodedBlockPattern[mb.cbp]);
}

bool MacroblockCoder::WriteBlocks(BitWriter& bw, int type, const MacroblockInfo& mb, const std::int16_t* levels,
                                  SliceState& st) const {
    if (mb.mbType & kMbIntra) {
        for (int b = 0; b < kBlocksPerMb; ++b) {
            if (!WriteIntraBlock(bw, levels + b * 64, b < 4 ? 0 : b - 3, st)) return false;
        }
        // Intra macroblocks reset the vector predictors.
        st.pmv[0][0] = st.pmv[0][1] = st.pmv[1][0] = st.pmv[1][1] = 0;
        return true;
    }
    for (int b = 0; b < kBlocksPerMb; ++b) {
        if (mb.cbp & (32 >> b)) WriteNonIntraBlock(bw, levels + b * 64);
    }
    st.dcPred[0] = st.dcPred[1] = st.dcPred[2] = 0;
    if (type == kPictureP && !(mb.mbType & kMbForward)) st.pmv[0][0] = st.pmv[0][1] = 0;
    return true;
}

}  // namespace reelcast::mpeg::video
