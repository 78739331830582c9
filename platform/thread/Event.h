// Stand-in for a manual-reset event: stays set until reset; Wait returns at once
// while it is set. Any thread may set, reset or wait.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/NonCopyable.h"

namespace reelcast::platform {

class ManualResetEvent : NonCopyable {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}

    void Set();
    void Reset();
    void Wait();
    bool IsSet();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_;
};

}  // namespace reelcast::platform
