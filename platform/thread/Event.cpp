#include "platform/thread/Event.h"

namespace reelcast::platform {

void ManualResetEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
    }
    cv_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

void ManualResetEvent::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return set_; });
}

bool ManualResetEvent::IsSet() {
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
}

}  // namespace reelcast::platform
