// The record the MPEG encoder front's Open reads and completes in place from the
// preset of its formatType. The caller zero-fills it first.
#pragma once

#include <cstdint>

namespace reelcast {

// The front's presets, the values of formatType. 3 and 4 (and any other value)
// have no preset: the front then keeps the coding kind of its previous Open.
enum class MpegFormat : std::int32_t {
    Vcd = 0,
    Svcd = 1,
    Dvd = 2,
    Mpeg1 = 5,
    Mpeg2 = 6,
};

struct MpegEncoderParams {
    const char* outputPath;
    std::int32_t formatType;        // an MpegFormat
    std::int32_t totalFrames;       // pictures the caller will submit
    std::int32_t reserved1;
    double frameRate;               // pictures per second
    std::int32_t chromaFormat;      // 1 = 4:2:0, 3 = 4:4:4
    std::int32_t audioSampleRate;   // Hz
    std::int32_t width;
    std::int32_t height;
    std::int32_t videoBitRate;      // kbit/s
    std::int32_t audioBitRateIndex; // Layer II bit-rate index; 11 = 224 kbit/s
    double muxRateFactor;           // written by Open
    std::int32_t vbvBufferSize;     // units of 16384 bits; written by Open
    std::int32_t reserved2;
};

}  // namespace reelcast
