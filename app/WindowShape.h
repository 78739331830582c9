// Shapes a skinned window from its picture: magenta pixels are cut out.
#pragma once

#include <QImage>
#include <QRegion>
#include <optional>

namespace reelcast::app {

// The region of the picture's opaque pixels; nothing when the picture cannot
// give a shape (empty, all magenta, or too tall).
std::optional<QRegion> ShapeFromPicture(const QImage& picture);

}  // namespace reelcast::app
