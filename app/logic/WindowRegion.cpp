#include "app/logic/WindowRegion.h"

namespace reelcast::app {

bool WindowRegion::Contains(int x, int y) const {
    for (const auto& band : bands) {
        if (y < band.top || y >= band.bottom) continue;
        for (const auto& s : band.spans) {
            if (x >= s.left && x < s.right) return true;
        }
        return false;
    }
    return false;
}

std::optional<WindowRegion> RegionFromPicture(const std::uint32_t* pixels, int width, int height,
                                              int stride) {
    if (!pixels || width <= 0 || height <= 0 || height > kMaxRegionRows || stride < width)
        return std::nullopt;
    WindowRegion region;
    region.width = width;
    region.height = height;
    std::vector<RegionSpan> spans;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        spans.clear();
        int x = 0;
        while (x < width) {
            while (x < width && IsTransparentPixel(row[x])) ++x;
            if (x == width) break;
            const int left = x;
            while (x < width && !IsTransparentPixel(row[x])) ++x;
            spans.push_back({left, x});
        }
        if (spans.empty()) continue;
        auto& bands = region.bands;
        if (!bands.empty() && bands.back().bottom == y && bands.back().spans == spans) {
            bands.back().bottom = y + 1;
        } else {
            bands.push_back({y, y + 1, spans});
        }
    }
    if (region.bands.empty()) return std::nullopt;
    return region;
}

}  // namespace reelcast::app
