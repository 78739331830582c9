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

// PostMessage: queues task(ctx) on the GUI thread of a registered surface and
// returns at once. Answers true when task will run exactly once there; false for
// an unknown or null handle, or a surface that takes no work (task never runs).
// Its shape is the bridge's window poster, so the program can install it as is.
int PostToWindow(WindowHandle h, void (*task)(void* ctx), void* ctx);

}  // namespace reelcast::platform
