// Which values of a stream header can be believed. A header is written once, often
// by a program that crashed before it could finish, and damage to a few bytes of
// it must not turn a three-second clip into a conversion that never ends. The
// limits are generous: they refuse only values no real source has.
// No FFmpeg types here: the engine includes this header.
#pragma once

#include <cmath>
#include <cstdint>

namespace reelcast::platform {

// Pictures per second. Below the minimum a header's "rate" shows as 0.00.
constexpr double kMinBelievableFrameRate = 0.01;
constexpr double kMaxBelievableFrameRate = 1000.0;
// The rate assumed for pictures when neither the headers nor the decoder give one.
constexpr double kAssumedFrameRate = 25.0;
constexpr std::uint32_t kMaxBelievableChannels = 8;
constexpr std::uint32_t kMinBelievableSampleRate = 1000;
constexpr std::uint32_t kMaxBelievableSampleRate = 768000;
// A frame count that reads as -1 in a signed field.
constexpr std::uint32_t kUnknownLength = 0xFFFFFFFFu;

inline bool BelievableFrameRate(double fps) {
    return std::isfinite(fps) && fps >= kMinBelievableFrameRate && fps <= kMaxBelievableFrameRate;
}

inline bool BelievableChannels(std::uint32_t channels) {
    return channels >= 1 && channels <= kMaxBelievableChannels;
}

inline bool BelievableSampleRate(std::uint32_t rate) {
    return rate >= kMinBelievableSampleRate && rate <= kMaxBelievableSampleRate;
}

}  // namespace reelcast::platform
