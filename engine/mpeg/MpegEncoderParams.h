// The record the MPEG encoder front's Open reads and completes in place from the
// preset of its formatType. The caller zero-fills it first.
#pragma once

#include <cstdint>

namespace reelcast {

struct MpegEncoderParams {
    const char* outputPath;
    std::int32_t formatType;        // 0 VCD, 1 SVCD, 2 DVD, 3/4 no preset, 5 MPEG-1, 6 MPEG-2
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
