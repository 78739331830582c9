// One conversion of a QuickTime/MP4 or Flash source into an AVI file: MPEG-4
// Part 2 video (FourCC XVID) at a constant frame rate and even size, MP3 stereo
// sound at 44.1 or 48 kHz, or no sound when the source has none.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace reelcast::movbridge {

struct TranscodeRequest {
    std::string source;
    std::string target;
};

// Called on the converting thread with progress in 1/10000.
using ProgressFn = std::function<void(std::int32_t permyriad)>;

// Converts on the calling thread and answers a MOVBRIDGE_END_* value. When stop
// becomes true it ends within a picture or two, finishing the AVI written so far
// (the answer is then MOVBRIDGE_END_COMPLETED). The AVI is complete, index
// included, when this returns.
std::int32_t TranscodeToAvi(const TranscodeRequest& request, const std::atomic<bool>& stop,
                            const ProgressFn& progress);

}  // namespace reelcast::movbridge
