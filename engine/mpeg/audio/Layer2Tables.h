// Numeric tables of ISO/IEC 11172-3 for the Layer II encoder (origins in the .cpp).
#pragma once

#include <cstdint>

namespace reelcast::mpeg::audio {

// One quantiser class: 'steps' levels; 'codeWords' code words per granule of
// three samples (1 when the three are grouped into one word); 'bits' per code
// word; 'n' the bit count of an un-grouped code; A and B the normalisation
// coefficients (A * x + B before the n most significant bits are taken).
struct QuantClass {
    int steps;
    int codeWords;
    int bits;
    int n;
    float a;
    float b;
};

// One allocation table: 'nbal' bits of the allocation field per subband (0 at and
// above sblimit) and the quantiser class for each allocation index (-1 = none).
struct AllocTable {
    int sblimit;
    std::uint8_t nbal[32];
    std::int8_t quant[32][16];
};

extern const float kAnalysisWindow[512];
extern const double kScaleFactors[64];
extern const QuantClass kQuantClasses[17];
extern const float kQuantSnr[18];        // index: quantiser class + 1; 0 = nothing sent
extern const AllocTable kAllocTables[4];  // B.2a, B.2b, B.2c, B.2d
extern const float kAbsThreshold[3][513];  // by sampling_frequency code

}  // namespace reelcast::mpeg::audio
