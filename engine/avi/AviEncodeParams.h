// The record the AVI job hands to the AVI encoder, and the target frame rates of
// the AVI path. The record crosses the library boundary: field order and natural
// alignment are fixed.
#pragma once

#include <cstdint>

#include "engine/mpeg/FrameRates.h"

namespace reelcast {

struct AviEncodeParams {
    std::int32_t width;
    std::int32_t height;
    char outputPath[264];          // NUL-terminated, at most 263 characters
    std::int32_t totalFrames;
    std::int32_t customSplitSizeMiB;
    std::int32_t splitRule;        // an AviSplitRule
    std::int32_t frameRateIndex;   // into kAviFrameRates
};
static_assert(sizeof(AviEncodeParams) == 288);

// Frames per second, by frame-rate index: the rates MPEG codes.
inline constexpr const double (&kAviFrameRates)[kFrameRateCount] = kFrameRates;
inline constexpr int kAviFrameRateCount = kFrameRateCount;

// The rate for an index, or 25 for an index out of range.
inline double AviFrameRate(int index) { return FrameRateOfCode(std::int64_t{index} + 1); }

// What the writer is told when it creates an output.
struct OutputSpec {
    const char* path;
    double frameRate;
    std::int32_t sampleRate;
};

// When the output goes on in a numbered continuation file: once it has reached
// a size that fits a CD, or the record's custom size.
enum class AviSplitRule : std::int32_t {
    Never = 0,
    At730MiB = 1,
    At790MiB = 2,
    At650MiB = 3,
    At700MiB = 4,
    Custom = 5,
};

// The size (MiB) a rule allows a file, or 0 for a file that is never split.
constexpr double SplitSizeMiB(AviSplitRule rule, std::int32_t customSizeMiB) {
    switch (rule) {
        case AviSplitRule::At730MiB: return 730;
        case AviSplitRule::At790MiB: return 790;
        case AviSplitRule::At650MiB: return 650;
        case AviSplitRule::At700MiB: return 700;
        case AviSplitRule::Custom: return customSizeMiB;
        default: return 0;
    }
}

// Audio types of AVI output. The tables take them as int32 values.
enum class AviAudioType : std::int32_t {
    None = 0,
    Pcm = 1,    // 16-bit PCM in a WAV file beside the AVI
    Mp3 = 2,    // MP3 stream in the AVI, through libnlame
    Codec = 3,  // stream in the AVI in a format of an installed audio codec
};
inline constexpr std::int32_t kAviAudioMp3 = static_cast<std::int32_t>(AviAudioType::Mp3);

}  // namespace reelcast
