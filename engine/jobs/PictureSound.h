// The sound handed on with each picture, completed with silence where the source's
// sound is missing or ends before its pictures: the output's sound then lasts as
// long as its pictures and stays in step with them.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/media/SampleBlock.h"

namespace reelcast::jobs {

// A copy of a converter's block (whose data its next call overwrites) in
// storage that grows to the largest block once; null data or count 0: none.
SampleBlock KeepBlock(const SampleBlock& block, std::vector<std::int16_t>& storage);

class PictureSound {
public:
    // fps: output pictures per second; sampleRate: of the 16-bit stereo blocks.
    PictureSound(double fps, std::int32_t sampleRate) : fps_(fps), sampleRate_(sampleRate) {}

    // The block for picture `frame` (from 0, in order): `got` as the converter gave
    // it (null data or count 0: none), followed by silence up to the picture's end
    // time. Blocks within one sample pair of it are the converter's own rounding
    // and pass unchanged. Valid until the next call.
    SampleBlock Complete(const SampleBlock& got, std::int64_t frame);

    // Whether any of the source's own sound has been handed on.
    bool HeardSource() const { return heard_; }

private:
    double fps_;
    std::int32_t sampleRate_;
    std::int64_t delivered_ = 0;  // sample pairs handed on so far
    bool heard_ = false;
    std::vector<std::int16_t> padded_;
};

}  // namespace reelcast::jobs
