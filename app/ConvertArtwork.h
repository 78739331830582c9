// The conversion window's own pictures, drawn by code so they are reproducible:
// its background (whose magenta corners give the window's shape) and the faces
// of the convert button in its start and stop states.
#pragma once

#include <QImage>

namespace reelcast::app {

inline constexpr int kConvertPictureWidth = 320;
inline constexpr int kConvertPictureHeight = 120;
inline constexpr int kConvertFaceWidth = 64;
inline constexpr int kConvertFaceHeight = 25;

// 320 x 120; magenta (0xFF00FF) outside the rounded outline.
QImage ConvertWindowPicture();

// The button's faces side by side, 64 x 25 each: normal, pressed, hot, disabled.
enum class ConvertFace { Start, Stop };
QImage ConvertButtonFaces(ConvertFace face);

}  // namespace reelcast::app
