// A surface the program registers to receive the jobs' preview pictures (its
// preview widget). A window handle handed to the engine is a pointer to one.
#pragma once

#include <cstdint>

namespace reelcast::platform {

class IPreviewSurface {
public:
    virtual ~IPreviewSurface() = default;
    // Any thread. Whether the surface is currently shown.
    virtual bool IsVisible() const = 0;
    // Called on a job's worker thread with a packed DIB (40-byte header, rows
    // bottom-up) valid only during the call: the surface copies what it needs and
    // repaints on its own (GUI) thread, stretching it over its client area.
    virtual void Present(const std::uint8_t* dib, std::uint32_t dibSize) = 0;
};

}  // namespace reelcast::platform
