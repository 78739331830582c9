// The record the AVI job hands to the AVI encoder, and the target frame rates of
// the AVI path. The record crosses the library boundary: field order and natural
// alignment are fixed.
#pragma once

#include <cstdint>

namespace reelcast {

struct AviEncodeParams {
    std::int32_t width;
    std::int32_t height;
    char outputPath[264];          // NUL-terminated, at most 263 characters
    std::int32_t totalFrames;
    std::int32_t customSplitSizeMiB;
    std::int32_t splitRule;        // 0 never; 1 730 MiB; 2 790; 3 650; 4 700; 5 custom
    std::int32_t frameRateIndex;   // into kAviFrameRates
};
static_assert(sizeof(AviEncodeParams) == 288);

// Frames per second, by frame-rate index.
inline constexpr double kAviFrameRates[5] = {24000.0 / 1001.0, 24.0, 25.0, 30000.0 / 1001.0, 30.0};
inline constexpr int kAviFrameRateCount = 5;

// The rate for an index, or 25 for an index out of range.
inline double AviFrameRate(int index) {
    return index >= 0 && index < kAviFrameRateCount ? kAviFrameRates[index] : 25.0;
}

// What the writer is told when it creates an output.
struct OutputSpec {
    const char* path;
    double frameRate;
    std::int32_t sampleRate;
};

// Audio types of AVI output.
enum AviAudioType : std::int32_t {
    kAviAudioNone = 0,
    kAviAudioPcm = 1,   // 16-bit PCM in a WAV file beside the AVI
    kAviAudioMp3 = 2,   // MP3 stream in the AVI, through libnlame
    kAviAudioCodec = 3, // stream in the AVI in a format of an installed audio codec
};

}  // namespace reelcast
