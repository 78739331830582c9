#include "engine/jobs/ReadAhead.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace reelcast::jobs {

ReadAhead::~ReadAhead() { Stop(); }

bool ReadAhead::Start(std::uint32_t count, std::size_t depth, Producer produce) {
    Stop();
    produce_ = std::move(produce);
    depth_ = std::max<std::size_t>(depth, 1);
    produced_ = consumed_ = 0;
    stop_ = false;
    try {
        thread_ = std::thread([this, count] { Run(count); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ReadAhead::Run(std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        {
            std::unique_lock<std::mutex> lock(m_);
            changed_.wait(lock, [&] { return stop_ || produced_ - consumed_ < depth_; });
            if (stop_) return;
        }
        const bool ok = produce_(i, static_cast<std::size_t>(produced_ % depth_));
        {
            std::lock_guard<std::mutex> lock(m_);
            ++produced_;
        }
        changed_.notify_all();
        if (!ok) return;
    }
}

std::size_t ReadAhead::Next() {
    std::unique_lock<std::mutex> lock(m_);
    changed_.wait(lock, [&] { return produced_ > consumed_; });
    return static_cast<std::size_t>(consumed_ % depth_);
}

void ReadAhead::Done() {
    {
        std::lock_guard<std::mutex> lock(m_);
        ++consumed_;
    }
    changed_.notify_all();
}

void ReadAhead::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

}  // namespace reelcast::jobs
