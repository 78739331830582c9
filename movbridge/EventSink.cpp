#include "movbridge/EventSink.h"

#include <new>
#include <utility>

namespace reelcast::movbridge {
namespace {

std::atomic<MovbridgePoster> g_poster{nullptr};

// One event on its way to a window's thread; the task frees it.
struct QueuedEvent {
    MovbridgeNotify notify;
    std::int32_t event[2];
    std::shared_ptr<RunState> run;
};

void DeliverQueued(void* ctx) {
    auto* q = static_cast<QueuedEvent*>(ctx);
    if (!q->run->stopped.load()) q->notify(0, q->event);
    delete q;
}

}  // namespace

void SetPoster(MovbridgePoster poster) { g_poster.store(poster); }
MovbridgePoster CurrentPoster() { return g_poster.load(); }

EventSink::EventSink(void* window, MovbridgeNotify notify, MovbridgePoster poster,
                     std::shared_ptr<RunState> run)
    : window_(window), notify_(notify), poster_(poster), run_(std::move(run)) {}

void EventSink::Progress(std::int32_t permyriad, bool force) {
    if (permyriad < 0) permyriad = 0;
    if (permyriad > 10000) permyriad = 10000;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastProgress_ < kInterval) return;
    lastProgress_ = now;
    Send(MOVBRIDGE_EVENT_PROGRESS, permyriad);
}

void EventSink::End(std::int32_t value) { Send(MOVBRIDGE_EVENT_END, value); }

void EventSink::Send(std::int32_t kind, std::int32_t value) {
    if (!notify_ || run_->stopped.load()) return;
    if (!window_) {
        const std::int32_t event[2] = {kind, value};
        notify_(0, event);
        return;
    }
    auto* q = new (std::nothrow) QueuedEvent{notify_, {kind, value}, run_};
    if (!q) return;
    // A window that is gone takes nothing: the event is dropped, as a message
    // posted to a destroyed window is.
    if (!poster_ || !poster_(window_, DeliverQueued, q)) delete q;
}

}  // namespace reelcast::movbridge
