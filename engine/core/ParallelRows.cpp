#include "engine/core/ParallelRows.h"

#include <chrono>
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
            // A pass the caller has already finished is skipped: it does not
            // wait for helpers that woke too late to take part.
            if (!open_) continue;
            active_.fetch_add(1, std::memory_order_relaxed);
        }
        Work(member);
        if (active_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            std::lock_guard<std::mutex> lock(m_);
            done_.notify_one();
        }
    }
}

// The members still working hold their last rows, a fraction of a pass: the
// caller waits for them awake for about a row's time at picture sizes, since
// falling asleep would add a wake-up to every pass, and only then on the
// condition. Longer awake waits only took time from the other threads.
constexpr std::chrono::microseconds kAwakeWait{50};

void ParallelRows::AwaitHelpers() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + kAwakeWait;
    for (int i = 1; active_.load(std::memory_order_acquire) != 0; ++i) {
        if (i % 64 == 0 && Clock::now() > until) {
            std::unique_lock<std::mutex> lock(m_);
            done_.wait(lock, [&] { return active_.load(std::memory_order_acquire) == 0; });
            return;
        }
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
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
        open_ = true;
        ++pass_;
    }
    wake_.notify_all();
    Work(0);
    {
        std::lock_guard<std::mutex> lock(m_);
        open_ = false;
    }
    AwaitHelpers();
    fn_ = nullptr;
}

}  // namespace reelcast::core
