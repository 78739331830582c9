// Progress on stderr: a bar with percentage and time left on a terminal, plain
// percentage lines otherwise, nothing when quiet.
#pragma once

#include <chrono>
#include <cstdint>

namespace reelcast::cli {

class Progress {
public:
    explicit Progress(bool quiet);
    // permyriad: 0..10000. Called from a job's worker thread.
    void Update(std::int32_t permyriad);
    // Ends the line of the bar (call once at the end, done or not).
    void Finish(bool done);

private:
    bool quiet_;
    bool tty_;
    int lastPercent_ = -1;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace reelcast::cli
