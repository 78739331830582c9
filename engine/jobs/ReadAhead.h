// Runs a producer over items 0 .. count - 1 on a thread of its own, up to
// `depth` items ahead of one consumer. The items live in the caller's slots:
// item i goes to slot i % depth, which the producer owns until the item is
// counted as produced and the consumer owns from Next to Done. So reading and
// decoding overlap the work done on the items, in the same order as when the
// producer runs in turn with the consumer.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/NonCopyable.h"

namespace reelcast::jobs {

class ReadAhead : NonCopyable {
public:
    // Fills the slot with item `index`; false ends the run after this item.
    using Producer = std::function<bool(std::uint32_t index, std::size_t slot)>;

    ReadAhead() = default;
    ~ReadAhead();

    // False when no thread could be started: then nothing runs ahead.
    bool Start(std::uint32_t count, std::size_t depth, Producer produce);
    // The slot of the next item in order; waits for it. The producer has
    // stopped after an item whose production failed, so the consumer must
    // stop there too.
    std::size_t Next();
    // The item from Next is used up: its slot takes a later item.
    void Done();
    // Stops the producer (after the item it is working on) and waits for it.
    // Safe to call more than once, and without Start.
    void Stop();

private:
    void Run(std::uint32_t count);

    Producer produce_;
    std::size_t depth_ = 1;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable changed_;
    std::uint64_t produced_ = 0;  // items finished by the producer
    std::uint64_t consumed_ = 0;  // items given back by the consumer
    bool stop_ = false;
};

}  // namespace reelcast::jobs
