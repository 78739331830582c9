// The picture rates MPEG video can code, in the order of frame_rate_code 1 to 5.
// Both output paths offer exactly these: the AVI path's frame-rate index and the
// settings lists count through them, and the multiplexer times packs by them.
#pragma once

#include <cmath>
#include <cstdint>

namespace reelcast {

inline constexpr int kFrameRateCount = 5;

// Exact rates, by frame_rate_code - 1.
inline constexpr double kFrameRates[kFrameRateCount] = {24000.0 / 1001.0, 24.0, 25.0, 30000.0 / 1001.0,
                                                         30.0};

// The same rates as the MPEG settings lists show them and hand them to the MPEG
// job, which counts pictures and sound by these rounded values.
inline constexpr double kListedFrameRates[kFrameRateCount] = {23.976, 24.0, 25.0, 29.97, 30.0};

// The exact rate of a frame_rate_code, or 25 for a code outside 1 to 5.
constexpr double FrameRateOfCode(std::int64_t code) {
    return code >= 1 && code <= kFrameRateCount ? kFrameRates[code - 1] : 25.0;
}

// Index of the rate within 0.01 of fps, or -1.
inline int FrameRateIndex(double fps) {
    for (int i = 0; i < kFrameRateCount; ++i) {
        if (std::fabs(fps - kFrameRates[i]) < 0.01) return i;
    }
    return -1;
}

// Index of the rate nearest to fps (a source's own rate), or -1 for a rate that
// is no rate at all.
inline int NearestFrameRateIndex(double fps) {
    if (!(fps > 0) || !std::isfinite(fps)) return -1;
    int best = 0;
    for (int i = 1; i < kFrameRateCount; ++i) {
        if (std::fabs(fps - kFrameRates[i]) < std::fabs(fps - kFrameRates[best])) best = i;
    }
    return best;
}

}  // namespace reelcast
