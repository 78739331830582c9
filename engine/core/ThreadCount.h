// How many threads one conversion may use. 1 runs every stage on the job's
// worker thread, one after the other, as a single-threaded program would; more
// lets the stages overlap and splits each picture's coding by rows. The output
// bytes are the same whatever the count.
#pragma once

#include <cstdlib>

namespace reelcast::core {

// Environment variable that sets the count (reelcast-cli --threads sets it).
inline constexpr const char* kThreadsVariable = "REELCAST_THREADS";
inline constexpr int kMaxThreads = 64;

// The value of REELCAST_THREADS when it is a number from 1 to kMaxThreads,
// otherwise the number of processors (at least 1, at most kMaxThreads).
// Read on every call, so a change takes effect at the next conversion.
int ConversionThreads();

// A count given as text: the number when it is one from 1 to kMaxThreads,
// otherwise 0 (null, empty, not a number, out of range).
inline int ParseThreadCount(const char* text) {
    if (!text || *text < '0' || *text > '9') return 0;  // strtol would skip spaces and signs
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*end != '\0' || v < 1 || v > kMaxThreads) return 0;
    return static_cast<int>(v);
}

}  // namespace reelcast::core
