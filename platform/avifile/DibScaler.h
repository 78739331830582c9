// Rescales 24-bit device-independent bitmaps (blue, green, red; rows padded to
// four bytes) to another size, for callers that are handed pictures at the
// source's size but must deliver them at a size of their own. Keeps its scaling
// context between pictures of the same sizes. One thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/NonCopyable.h"

struct SwsContext;

namespace reelcast::platform {

class DibScaler : NonCopyable {
public:
    DibScaler() = default;
    ~DibScaler();

    // The rows of a srcWidth x srcHeight bitmap into a dstWidth x dstHeight one.
    // Both are in the same row order (bottom-up stays bottom-up). False when a
    // size is not a picture's or the scaler cannot be set up.
    bool Scale(const std::uint8_t* src, int srcWidth, int srcHeight, std::uint8_t* dst, int dstWidth,
               int dstHeight);

private:
    SwsContext* sws_ = nullptr;
    std::vector<std::uint8_t> in_, out_;  // padded copies of both pictures
};

}  // namespace reelcast::platform
