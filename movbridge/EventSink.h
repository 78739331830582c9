// How one conversion's events reach the caller's notification function: directly
// on the worker thread (null window), or queued to the window's GUI thread
// through the program's poster.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "movbridge/IMovbridge.h"

namespace reelcast::movbridge {

// The installed poster (null: none). Any thread.
void SetPoster(MovbridgePoster poster);
MovbridgePoster CurrentPoster();

// Shared by a conversion's worker, its sink and the events queued to a window:
// once stopped, nothing more is delivered, not even what was already queued.
struct RunState {
    std::atomic<bool> stopped{false};
};

class EventSink {
public:
    // poster is only used when window is not null.
    EventSink(void* window, MovbridgeNotify notify, MovbridgePoster poster,
              std::shared_ptr<RunState> run);

    // Worker thread. Sends progress when at least kInterval has passed since the
    // last one, or always when force is set (the first and the final value).
    void Progress(std::int32_t permyriad, bool force = false);
    // Worker thread. The last event of a conversion that was not stopped.
    void End(std::int32_t value);

    static constexpr std::chrono::milliseconds kInterval{250};

private:
    void Send(std::int32_t kind, std::int32_t value);

    void* window_;
    MovbridgeNotify notify_;
    MovbridgePoster poster_;
    std::shared_ptr<RunState> run_;
    std::chrono::steady_clock::time_point lastProgress_{};
};

}  // namespace reelcast::movbridge
