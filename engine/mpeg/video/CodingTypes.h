// Values shared by the stages of the video encoder: the sequence settings that
// SetPictureFormat and SetCodingMode fill, the per-macroblock record, and the
// planar picture stores.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/mpeg/video/CodingMode.h"

namespace reelcast::mpeg::video {

enum PictureType : int { kPictureI = 1, kPictureP = 2, kPictureB = 3 };

// macroblock_type flags as they appear in the macroblock information record.
enum MbFlag : int {
    kMbIntra = 1,
    kMbPattern = 2,
    kMbBackward = 4,
    kMbForward = 8,
    kMbQuant = 16,
};

// Everything the headers and the stages read about the stream.
struct SequenceSettings {
    std::int32_t chromaFormat = 0;  // of the pictures handed in: 1 = 4:2:0, 3 = 4:4:4
    double bitRate = 0.0;           // bit/s
    std::int32_t frameRateCode = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t gopLength = 0;
    std::int32_t totalPictures = 0;
    double uncontrolledBitRate = 0.0;  // sequence-header rate when rate control is off
    CodingMode mode;

    // Fixed choices of this encoder.
    std::int32_t profile = 4;  // Main
    std::int32_t level = 8;    // Main
    std::int32_t matrixCoefficients = 5;

    bool Mpeg2() const { return !IsMpeg1(mode.Kind()); }
    int LevelLimit() const { return mode.mpeg1Syntax ? 255 : 2047; }
};

// Geometry of the coded area.
struct Geometry {
    int mbWidth = 0;
    int mbHeight = 0;
    int lumaWidth = 0;   // mbWidth * 16, also the luma stride
    int lumaHeight = 0;  // mbHeight * 16
    int chromaWidth = 0;
    int chromaHeight = 0;
    int MbCount() const { return mbWidth * mbHeight; }
};

// One of the picture stores: three planes of the coded size.
struct PictureStore {
    std::uint8_t* y = nullptr;
    std::uint8_t* cb = nullptr;
    std::uint8_t* cr = nullptr;
};

// One record per macroblock in raster order.
struct MacroblockInfo {
    std::int32_t mbType = 0;      // MbFlag bits
    std::int32_t motionType = 2;  // frame prediction
    std::int32_t dctType = 0;     // frame DCT
    std::int32_t quantiser = 0;   // quantiser_scale, 2..62 even
    std::int32_t cbp = 0;         // block 0 in bit 5
    std::int32_t skipped = 0;
    std::int32_t mv[2][2] = {};   // [0 forward, 1 backward][0 horizontal, 1 vertical], half-pel
    std::int32_t variance = 0;
    std::int32_t bestError = 0;
    // Bit b (block b in bit 0): the block's difference from its prediction is
    // not all zeros. Blocks of zeros stay zeros through transform and
    // quantisation, so both skip them.
    std::int32_t differenceBlocks = 0;
    double activity = 0.0;
};

inline constexpr int kBlocksPerMb = 6;
inline constexpr int kCoeffsPerMb = kBlocksPerMb * 64;

}  // namespace reelcast::mpeg::video
