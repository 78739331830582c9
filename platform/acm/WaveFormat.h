// The wave format record (WAVEFORMATEX) of the platform's audio services, kept in
// its Windows shape because the probe records and the audio reader are built on
// its fields. No FFmpeg types here: the engine includes this header.
#pragma once

#include <cstdint>

namespace reelcast::platform {

constexpr std::uint16_t kWaveFormatPcm = 1;

struct WaveFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
};

// A PCM format with its derived fields filled in.
inline WaveFormat MakePcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.avgBytesPerSec = f.blockAlign * rate;
    return f;
}

}  // namespace reelcast::platform
