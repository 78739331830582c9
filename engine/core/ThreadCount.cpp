#include "engine/core/ThreadCount.h"

#include <cstdlib>
#include <thread>

namespace reelcast::core {

int ConversionThreads() {
    if (const int n = ParseThreadCount(std::getenv(kThreadsVariable))) return n;
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores == 0) return 1;
    return cores > static_cast<unsigned>(kMaxThreads) ? kMaxThreads : static_cast<int>(cores);
}

}  // namespace reelcast::core
