// A planar YCbCr picture with 8-bit samples. The planes belong to whoever
// allocated the record.
#pragma once

#include <cstdint>

namespace reelcast {

struct VideoFrame {
    std::int32_t width;        // luma width in pixels
    std::int32_t height;       // luma height in pixels
    std::int32_t chromaFormat; // 1 = 4:2:0, 3 = 4:4:4
    std::uint8_t* y;           // width x height, rows top to bottom, no padding
    std::uint8_t* cb;          // rows of width/2 bytes for 4:2:0
    std::uint8_t* cr;
};

}  // namespace reelcast
