#include "engine/jobs/MpegJobRules.h"

#include <cmath>
#include <cstdlib>

namespace reelcast::jobs {

std::uint32_t TargetPictureCount(std::uint32_t sourceFrames, float sourceRate, double outputRate) {
    if (sourceFrames == 0 || !(sourceRate > 0.0f) || !(outputRate > 0.0)) return 0;
    const double n = std::ceil(static_cast<double>(sourceFrames) * outputRate /
                               static_cast<double>(sourceRate));
    if (!(n >= 0.0) || n > 4.0e9) return 0;
    return static_cast<std::uint32_t>(n);
}

std::uint32_t OutputSampleRate(std::uint32_t requested, std::uint32_t sourceRate) {
    if (requested != 0) return requested;
    std::uint32_t r = sourceRate;
    if (r < 32000) r = 32000;
    if (r > 48000) r = 48000;
    static const std::uint32_t kCoded[] = {32000, 44100, 48000};
    std::uint32_t best = kCoded[0];
    for (std::uint32_t c : kCoded) {
        if (std::labs(static_cast<long>(c) - static_cast<long>(r)) <
            std::labs(static_cast<long>(best) - static_cast<long>(r)))
            best = c;
    }
    return best;
}

std::int32_t ProgressValue(std::uint32_t i, std::uint32_t n) {
    if (n == 0) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint64_t>(i) * 10000u / n);
}

std::uint32_t LastPictureRepeats(std::uint32_t n) {
    if (n == 0) return 0;
    std::uint32_t i = n - 1;
    std::uint32_t times = 1;
    while (i % 3 != 0) {
        ++i;
        ++times;
    }
    return times;
}

}  // namespace reelcast::jobs
