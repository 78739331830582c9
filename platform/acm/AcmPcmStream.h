// Stand-in for an Audio Compression Manager conversion stream between two PCM
// formats (rate, channel count, 8/16/32-bit samples) over libswresample.
// Channel counts above two are mixed down with the usual downmix matrix; one
// channel is never widened here (callers duplicate mono themselves).
// One thread at a time; no allocation per call after Open.
#pragma once

#include <cstdint>

#include "platform/acm/WaveFormat.h"
#include "platform/NonCopyable.h"

struct SwrContext;

namespace reelcast::platform {

class AcmPcmStream : NonCopyable {
public:
    AcmPcmStream() = default;
    ~AcmPcmStream();

    // False when either format is not PCM of 8, 16 or 32 bits, 1 to 8 channels,
    // 1 Hz to 768 kHz, with a consistent block alignment.
    bool Open(const WaveFormat& src, const WaveFormat& dst);
    void Close();
    bool IsOpen() const { return swr_ != nullptr; }

    // Converts srcBytes (whole source blocks; a partial block at the end is
    // ignored) into dst, at most dstCapacity bytes (whole target blocks). Output
    // that does not fit stays buffered for the next call. Answers the bytes written,
    // or -1 on failure.
    std::int64_t Convert(const std::uint8_t* src, std::uint32_t srcBytes, std::uint8_t* dst,
                         std::uint32_t dstCapacity);

private:
    SwrContext* swr_ = nullptr;
    WaveFormat src_{};
    WaveFormat dst_{};
};

// True when f is a PCM format AcmPcmStream accepts.
bool AcmIsSupportedPcm(const WaveFormat& f);

}  // namespace reelcast::platform
