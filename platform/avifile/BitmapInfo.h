// The bitmap information header (BITMAPINFOHEADER) of device-independent bitmaps,
// in its Windows shape: decoded pictures cross the engine as packed DIBs, this
// 40-byte header followed by an optional palette and the bottom-up pixel rows.
// No FFmpeg types here: the engine includes this header.
#pragma once

#include <cstdint>
#include <cstring>

namespace reelcast::platform {

struct BitmapInfoHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive: rows bottom-up
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;  // 0 = uncompressed RGB
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

constexpr std::uint32_t kBitmapInfoHeaderSize = 40;

// Bytes of one row of `width` pixels of `bits` bits, padded to a multiple of 4.
constexpr std::uint64_t DibRowSize(std::int64_t width, int bits) {
    return width <= 0 ? 0 : ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
}

inline BitmapInfoHeader ReadBitmapInfoHeader(const std::uint8_t* p) {
    BitmapInfoHeader h;
    std::memcpy(&h, p, sizeof h);
    return h;
}

inline void WriteBitmapInfoHeader(std::uint8_t* p, const BitmapInfoHeader& h) {
    std::memcpy(p, &h, sizeof h);
}

}  // namespace reelcast::platform
