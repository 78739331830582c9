// Exact instants of pictures, sound samples and packs on the 27 MHz system
// clock. Everything is integer arithmetic on exact fractions, so a stamp is the
// true instant rounded once, to the nearest tick: at 25 pictures per second
// every picture lies exactly 3600 ticks of 90 kHz after the one before, at
// 30000/1001 exactly 3003, at 24000/1001 3753 or 3754 in a fixed pattern.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/mpeg/FrameRates.h"

namespace reelcast::mux {

using Ticks = std::int64_t;  // 27 MHz

inline constexpr Ticks kTicksPerSecond = 27000000;
inline constexpr Ticks kTicksPerMillisecond = 27000;
inline constexpr Ticks kTicksPer90kHz = 300;

// a / b rounded to the nearest integer (a >= 0, b > 0).
inline constexpr std::int64_t DivRound(std::int64_t a, std::int64_t b) { return (a + b / 2) / b; }

// The 90 kHz count nearest to a 27 MHz time.
inline constexpr std::int64_t NearestTick90k(Ticks t) { return DivRound(t, kTicksPer90kHz); }

// A picture rate as an exact fraction, pictures per second = num / den.
struct PictureRate {
    std::int64_t num = 25;
    std::int64_t den = 1;
};

// The MPEG rate fps stands for (23.976 and 23.97 both mean 24000/1001); other
// rates to the nearest 1/1001 picture per second.
inline PictureRate ExactPictureRate(double fps) {
    const int index = FrameRateIndex(fps);
    const double rate = index >= 0 ? kFrameRates[index] : fps;
    const std::int64_t num = rate > 0 ? std::llround(rate * 1001.0) : 0;
    return num > 0 ? PictureRate{num, 1001} : PictureRate{};
}

// The instant of picture n (n >= 0) at the given rate, to the nearest tick.
inline Ticks PictureTicks(std::int64_t n, const PictureRate& r) {
    return DivRound(n * kTicksPerSecond * r.den, r.num);
}

// The instant of sample n (n >= 0) at rate samples per second, to the nearest tick.
inline Ticks SampleTicks(std::int64_t n, std::int64_t rate) { return DivRound(n * kTicksPerSecond, rate); }

}  // namespace reelcast::mux
