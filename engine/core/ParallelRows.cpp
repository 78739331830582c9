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
    // Sized before any helper runs: helpers read it only during passes.
    bands_ = std::vector<Band>(static_cast<std::size_t>(threads < 1 ? 1 : threads));
    for (int i = 1; i < threads; ++i) {
        try {
            helpers_.emplace_back([this, i] { Helper(i); });
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

void ParallelRows::Work(int member) {
    const int members = Threads();
    for (int k = 0; k < members; ++k) {
        Band& band = bands_[static_cast<std::size_t>((member + k) % members)];
        for (int row = band.next.fetch_add(1, std::memory_order_relaxed); row < band.end;
             row = band.next.fetch_add(1, std::memory_order_relaxed))
            (*fn_)(row);
    }
}

void ParallelRows::Helper(int member) {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_);
            wake_.wait(lock, [&] { return stop_ || pass_ != seen; });
            if (stop_) return;
            seen = pass_;
        }
        Work(member);
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
        const int members = Threads();
        for (int m = 0; m < members; ++m) {
            Band& band = bands_[static_cast<std::size_t>(m)];
            band.next.store(static_cast<int>(static_cast<long long>(rows) * m / members), std::memory_order_relaxed);
            band.end = static_cast<int>(static_cast<long long>(rows) * (m + 1) / members);
        }
        busy_ = static_cast<int>(helpers_.size());
        ++pass_;
    }
    wake_.notify_all();
    Work(0);
    std::unique_lock<std::mutex> lock(m_);
    done_.wait(lock, [&] { return busy_ == 0; });
    fn_ = nullptr;
}

}  // namespace reelcast::core
