// A surface the program registers to receive the jobs' preview pictures (its
// preview widget), or work to run on its GUI thread (the conversion window, for
// the bridge's events). A window handle handed out is a pointer to one.
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
    // Any thread. Queues task(ctx) to run later on the surface's GUI thread and
    // returns without waiting. Answers true when task will run exactly once there;
    // false when it cannot (then it never runs). Surfaces that take no such work
    // (a preview picture) keep this default.
    virtual bool Post(void (*task)(void* ctx), void* ctx) {
        (void)task;
        (void)ctx;
        return false;
    }
};

}  // namespace reelcast::platform
