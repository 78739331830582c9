// The sound that belongs to one picture: interleaved 16-bit stereo samples.
#pragma once

#include <cstdint>

namespace reelcast {

struct SampleBlock {
    std::int16_t* data;   // left then right
    std::uint32_t count;  // number of 16-bit samples (twice the stereo frames)
};

}  // namespace reelcast
