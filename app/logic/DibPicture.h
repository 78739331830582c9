// A packed device-independent bitmap (as the engine paints it into the preview)
// turned into 32-bit pixels, top row first, for the window to show.
#pragma once

#include <cstdint>
#include <vector>

namespace reelcast::app {

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0xffRRGGBB, width x height, top row first
};

// Reads 8-bit (with palette), 24-bit and 32-bit uncompressed DIBs, bottom-up or
// top-down. False for anything else or when the rows do not fit in size bytes.
bool DibToRgb(const std::uint8_t* dib, std::uint32_t size, RgbPicture* out);

}  // namespace reelcast::app
