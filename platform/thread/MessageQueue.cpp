#include "platform/thread/MessageQueue.h"

namespace reelcast::platform {

void MessageQueue::Post(std::uint32_t message, std::uintptr_t param) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back({message, param});
    }
    cv_.notify_one();
}

void MessageQueue::PostQuit() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    cv_.notify_one();
}

bool MessageQueue::GetMessage(ThreadMessage* out) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (queue_.empty()) return false;  // quit after everything posted before it
    *out = queue_.front();
    queue_.pop_front();
    return true;
}

}  // namespace reelcast::platform
