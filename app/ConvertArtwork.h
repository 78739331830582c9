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

// A skinned button's three faces side by side (normal, pressed, hot) on magenta,
// which the button cuts out.
enum class ConvertFace { Start, Stop };
QImage ConvertButtonFaces(ConvertFace face);  // 64 x 25 each
QImage CloseButtonFaces();                    // 13 x 15 each
QImage InfoButtonFaces();                     // 24 x 24 each
inline constexpr int kButtonFaceCount = 3;

}  // namespace reelcast::app
