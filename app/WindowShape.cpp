#include "app/WindowShape.h"

#include <vector>

#include "app/logic/WindowRegion.h"

namespace reelcast::app {

std::optional<QRegion> ShapeFromPicture(const QImage& picture) {
    if (picture.isNull()) return std::nullopt;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const auto shape = RegionFromPicture(
        reinterpret_cast<const std::uint32_t*>(rgb.constBits()), rgb.width(), rgb.height(),
        static_cast<int>(rgb.bytesPerLine() / 4));
    if (!shape) return std::nullopt;
    // Bands are already y-x sorted and non-overlapping, as setRects wants them.
    std::vector<QRect> rects;
    for (const auto& band : shape->bands)
        for (const auto& s : band.spans)
            rects.emplace_back(s.left, band.top, s.right - s.left, band.bottom - band.top);
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

}  // namespace reelcast::app
