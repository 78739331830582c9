#include "app/logic/DibPicture.h"

#include "platform/avifile/BitmapInfo.h"

namespace reelcast::app {

bool DibToRgb(const std::uint8_t* dib, std::uint32_t size, RgbPicture* out) {
    using namespace reelcast::platform;
    if (!dib || !out || size < kBitmapInfoHeaderSize) return false;
    const BitmapInfoHeader h = ReadBitmapInfoHeader(dib);
    const int bits = h.bitCount;
    if (h.size < kBitmapInfoHeaderSize || h.size > size || h.compression != 0 || h.width <= 0 ||
        h.height == 0 || h.width > 16384 || h.height > 16384 || h.height < -16384 ||
        (bits != 8 && bits != 24 && bits != 32))
        return false;
    const int width = h.width;
    const bool topDown = h.height < 0;
    const int height = topDown ? -h.height : h.height;
    const std::uint64_t paletteEntries = bits == 8 ? (h.clrUsed ? h.clrUsed : 256) : 0;
    if (paletteEntries > 256) return false;
    const std::uint64_t pixelsAt = h.size + paletteEntries * 4;
    const std::uint64_t row = DibRowSize(width, bits);
    if (pixelsAt + row * static_cast<std::uint64_t>(height) > size) return false;

    const std::uint8_t* palette = dib + h.size;
    out->width = width;
    out->height = height;
    out->pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int srcRow = topDown ? y : height - 1 - y;
        const std::uint8_t* p = dib + pixelsAt + row * static_cast<std::uint64_t>(srcRow);
        std::uint32_t* d = out->pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* bgr;
            if (bits == 8) {
                const unsigned index = p[x];
                if (index >= paletteEntries) {
                    d[x] = 0xff000000u;
                    continue;
                }
                bgr = palette + index * 4;
            } else {
                bgr = p + static_cast<std::size_t>(x) * (bits / 8);
            }
            d[x] = 0xff000000u | std::uint32_t(bgr[2]) << 16 | std::uint32_t(bgr[1]) << 8 | bgr[0];
        }
    }
    return true;
}

}  // namespace reelcast::app
