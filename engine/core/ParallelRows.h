// Runs one function over the rows 0 .. n-1 of a picture on a fixed team of
// threads: the calling thread and helpers that wait between passes. Rows are
// handed out one at a time, in increasing order, to whichever thread is free.
// A row's work must depend only on what was prepared before the pass and write
// only its own results; then the results are the same for any team size.
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
    void Helper();
    void Work();

    std::vector<std::thread> helpers_;
    std::mutex m_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::uint64_t pass_ = 0;       // counts passes; a change wakes the helpers
    int busy_ = 0;                 // helpers still working on the current pass
    bool stop_ = false;
    const std::function<void(int)>* fn_ = nullptr;
    int rows_ = 0;
    std::atomic<int> next_{0};
};

}  // namespace reelcast::core
