// The shape of a skinned window from its picture: every pixel of the picture
// except the transparent colour, magenta. Rows are grouped into bands of equal
// spans, ready for a region built from rectangles.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace reelcast::app {

// 0xRRGGBB; the high byte of a pixel is not compared.
inline constexpr std::uint32_t kTransparentColour = 0xFF00FF;

// The outline buffer of the original construction held 3200 points, two per row:
// taller pictures are refused rather than shaped wrongly.
inline constexpr int kRegionPointBuffer = 3200;
inline constexpr int kMaxRegionRows = kRegionPointBuffer / 2;

struct RegionSpan {
    int left;   // first opaque column
    int right;  // one past the last opaque column
    bool operator==(const RegionSpan&) const = default;
};

// Rows top..bottom-1 share the same spans.
struct RegionBand {
    int top;
    int bottom;
    std::vector<RegionSpan> spans;
};

struct WindowRegion {
    int width = 0;
    int height = 0;
    std::vector<RegionBand> bands;

    bool Contains(int x, int y) const;
};

inline bool IsTransparentPixel(std::uint32_t pixel) {
    return (pixel & 0xFFFFFFu) == kTransparentColour;
}

// pixels: `height` rows of `width` 32-bit 0x??RRGGBB values, rows `stride`
// pixels apart, top row first. Nothing when the picture is empty, entirely
// transparent or taller than kMaxRegionRows.
std::optional<WindowRegion> RegionFromPicture(const std::uint32_t* pixels, int width, int height,
                                              int stride);

}  // namespace reelcast::app
