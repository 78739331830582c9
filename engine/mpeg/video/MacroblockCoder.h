// The macroblock layer: motion-compensated prediction, prediction error and
// forward transform (stage A, independent per macroblock), then quantisation,
// the coded/skipped/new-quantiser decisions, the variable-length codes and the
// reconstruction that later pictures predict from (stage B, in coding order,
// because each macroblock's quantiser depends on the bits spent before it).
#pragma once

#include <cstdint>

#include "engine/mpeg/BitWriter.h"
#include "engine/mpeg/video/CodingTypes.h"
#include "engine/mpeg/video/RateControl.h"
#include "engine/mpeg/video/kernels/Kernels.h"

namespace reelcast::mpeg::video {

// Writes the coefficients of one block from zig-zag position `start` as run/level
// codes of ISO/IEC 13818-2 Table B.14 (escapes in the MPEG-1 or MPEG-2 form)
// and the end of block. firstSpecial: the block is non-intra, so a first
// coefficient of run 0 and level +-1 takes the short code.
void WriteBlockCoefficients(BitWriter& bw, const std::int16_t* levels, int start, bool firstSpecial,
                            bool mpeg1);
// The same with the block's non-zero levels already known (bit i for natural
// position i), so only those are visited.
void WriteBlockCoefficients(BitWriter& bw, const std::int16_t* levels, std::uint64_t nonZero, int start,
                            bool firstSpecial, bool mpeg1);

struct PictureRefs {
    PictureStore src;     // source being coded
    PictureStore oldRec;  // forward reference
    PictureStore newRec;  // backward reference
    PictureStore pred;    // prediction of every macroblock
    PictureStore rec;     // reconstruction being built; null planes when nothing reads it
};

class MacroblockCoder {
public:
    void Configure(const SequenceSettings* settings, const Geometry& geo, const kernels::VideoKernels* k);

    // Stage A for macroblock rows [row0, row1): prediction into refs.pred, then
    // source minus prediction through the forward DCT into coeffs (6 x 64 per
    // macroblock); records each macroblock's differenceBlocks.
    void PredictAndTransform(const PictureRefs& refs, MacroblockInfo* mbInfo, std::int16_t* coeffs,
                             int row0, int row1) const;

    // Stage B: every slice of the picture with its macroblocks. The coefficients
    // are quantised in place: afterwards coeffs holds the levels (6 x 64 per
    // macroblock) for the reconstruction, and no second picture-sized array is
    // needed. rc is null without rate control; firstQuantiser is the picture's
    // first quantiser (also the first slice's). False when a value cannot be
    // coded (the picture is lost).
    bool CodePicture(BitWriter& bw, int type, const int fCode[4], MacroblockInfo* mbInfo,
                     std::int16_t* coeffs, RateControl* rc, int firstQuantiser);

    // Stage C for macroblock rows [row0, row1) of the picture CodePicture has
    // coded: the prediction plus the dequantised levels into refs.rec. Rows
    // depend on nothing but their own macroblocks.
    void ReconstructRows(const MacroblockInfo* mbInfo, const std::int16_t* levels, const PictureRefs& refs,
                         int row0, int row1) const;

    // Quantiser of every macroblock without rate control.
    int fixedQuantiser = 8;

private:
    struct SliceState {
        int lastQ = 8;
        int dcPred[3] = {0, 0, 0};
        int pmv[2][2] = {{0, 0}, {0, 0}};
        int skipped = 0;
        const MacroblockInfo* prev = nullptr;
    };

    void StartSlice(BitWriter& bw, int row, SliceState& st) const;
    // Quantises the six blocks in place (non-intra: only those in
    // differenceBlocks); answers the coded block pattern.
    int Quantise(std::int16_t* blocks, bool intra, int q, int differenceBlocks) const;
    static bool Skippable(int type, const MacroblockInfo& mb, int flags, const SliceState& st);
    static void SkipMacroblock(int type, MacroblockInfo& mb, SliceState& st);
    void WriteMacroblockHeader(BitWriter& bw, int type, const MacroblockInfo& mb, const int fCode[4],
                               SliceState& st) const;
    bool WriteBlocks(BitWriter& bw, int type, const MacroblockInfo& mb, const std::int16_t* levels,
                     SliceState& st) const;
    bool WriteIntraBlock(BitWriter& bw, const std::int16_t* levels, int component, SliceState& st) const;
    void WriteNonIntraBlock(BitWriter& bw, const std::int16_t* levels) const;
    void WriteMotionVector(BitWriter& bw, int delta, int fCode) const;
    void Reconstruct(int mx, int my, const MacroblockInfo& mb, const std::int16_t* levels,
                     const PictureRefs& refs) const;
    void CopyPrediction(int mx, int my, const PictureRefs& refs) const;

    const SequenceSettings* s_ = nullptr;
    Geometry geo_;
    const kernels::VideoKernels* k_ = nullptr;
};

}  // namespace reelcast::mpeg::video
