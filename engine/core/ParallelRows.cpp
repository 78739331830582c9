#include "engine/core/ParallelRows.h"

#include <system_error>

namespace reelcast::core {

ParallelRows::~ParallelRows() { Stop(); }

void ParallelRows::Start(int threads) {
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = false;
    }
    for (int i = 1; i < threads; ++i) {
        try {
            helpers_.emplace_back([this] { Helper(); });
        } catch (const std::system_error&) {
            break;  // fewer helpers; the work is the same
        }
    }
}

void ParallelRows::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : helpers_) t.join();
    helpers_.clear();
}

void ParallelRows::Work() {
    for (int row = next_.fetch_add(1, std::memory_order_relaxed); row < rows_;
         row = next_.fetch_add(1, std::memory_order_relaxed))
        (*fn_)(row);
}

void ParallelRows::Helper() {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_);
            wake_.wait(lock, [&] { return stop_ || pass_ != seen; });
            if (stop_) return;
            seen = pass_;
        }
        Work();
        {
            std::lock_guard<std::mutex> lock(m_);
            --busy_;
        }
        done_.notify_one();
    }
}

void ParallelRows::Run(int rows, const std::function<void(int)>& fn) {
    if (helpers_.empty() || rows <= 1) {
        for (int row = 0; row < rows; ++row) fn(row);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_);
        fn_ = &fn;
        rows_ = rows;
        next_.store(0, std::memory_order_relaxed);
        busy_ = static_cast<int>(helpers_.size());
        ++pass_;
    }
    wake_.notify_all();
    Work();
    std::unique_lock<std::mutex> lock(m_);
    done_.wait(lock, [&] { return busy_ == 0; });
    fn_ = nullptr;
}

}  // namespace reelcast::core
