// Stand-in for a thread's message queue: other threads post (message, parameter)
// pairs, the owning thread takes them in order with GetMessage. Posting the quit
// message makes GetMessage answer false once the messages before it are taken.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/NonCopyable.h"

namespace reelcast::platform {

// The first message number free for a program's own use.
constexpr std::uint32_t kWmUser = 0x0400;

struct ThreadMessage {
    std::uint32_t message = 0;
    std::uintptr_t param = 0;
};

class MessageQueue : NonCopyable {
public:
    MessageQueue() = default;

    // Any thread. Never blocks.
    void Post(std::uint32_t message, std::uintptr_t param = 0);
    void PostQuit();
    // Owning thread. Blocks until a message arrives; false for the quit message.
    bool GetMessage(ThreadMessage* out);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<ThreadMessage> queue_;
    bool quit_ = false;
};

}  // namespace reelcast::platform
