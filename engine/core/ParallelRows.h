// Runs one function over the rows 0 .. n-1 of a picture on a fixed team of
// threads: the calling thread and helpers that wait between passes. Each member
// owns a band of consecutive rows, the same band in every pass, and takes its
// rows one at a time in increasing order; a member whose band is done takes
// rows from the others' bands. So the rows a member wrote in one pass are mostly
// the rows it reads in the next, from its own core's cache, while no member
// waits as long as rows are left. A pass ends when the caller has run out of
// rows and the members still holding rows are done; a helper woken too late to
// take part skips the pass, so a slow wake-up never holds the caller. A row's
// work must depend only on what was prepared before the pass and write only
// its own results; then the results are the same for any team size.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/NonCopyable.h"

namespace reelcast::core {

class ParallelRows : NonCopyable {
public:
    ParallelRows() = default;
    ~ParallelRows();

    // Team of `threads` including the caller; helpers are started here. When
    // they cannot be started the team is smaller (down to the caller alone).
    void Start(int threads);
    // Ends and joins the helpers; Run then works on the caller alone.
    void Stop();
    int Threads() const { return static_cast<int>(helpers_.size()) + 1; }

    // fn(row) for every row in [0, rows); returns when all are done.
    void Run(int rows, const std::function<void(int)>& fn);

private:
    void Helper(int member);
    void Work(int member);
    void AwaitHelpers();

    // The rows [next, end) of a member's band not yet taken; apart, so that
    // members do not share a cache line.
    struct alignas(64) Band {
        std::atomic<int> next{0};
        int end = 0;
    };

    std::vector<std::thread> helpers_;
    std::mutex m_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::uint64_t pass_ = 0;       // counts passes; a change wakes the helpers
    bool open_ = false;            // the current pass still takes helpers
    std::atomic<int> active_{0};   // helpers working on the current pass
    bool stop_ = false;
    const std::function<void(int)>* fn_ = nullptr;
    std::vector<Band> bands_;  // one per member, the caller's first
};

}  // namespace reelcast::core
