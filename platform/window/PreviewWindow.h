// Stand-in for IsWindow, IsWindowVisible and DrawDib: the engine paints each
// converted picture into the program's preview surface through its handle.
#pragma once

#include <cstdint>

#include "platform/window/IPreviewSurface.h"

namespace reelcast::platform {

using WindowHandle = void*;

// The program registers its surfaces; the handle is the surface's address.
// A surface must be unregistered before it is destroyed.
WindowHandle RegisterSurface(IPreviewSurface* surface);
void UnregisterSurface(IPreviewSurface* surface);

// IsWindow: the handle names a registered surface.
bool IsWindow(WindowHandle h);

// Draws a packed DIB into the surface when the handle is known and visible;
// an unknown, null or hidden handle is skipped. Answers whether it was drawn.
// Holds the registry lock during the call so the surface cannot vanish mid-draw.
bool DrawPicture(WindowHandle h, const std::uint8_t* dib, std::uint32_t dibSize);

}  // namespace reelcast::platform
