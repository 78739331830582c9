#include "cli/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace reelcast::cli {

Progress::Progress(bool quiet)
    : quiet_(quiet), tty_(isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now()) {}

void Progress::Update(std::int32_t permyriad) {
    if (quiet_) return;
    if (permyriad < 0) permyriad = 0;
    if (permyriad > 10000) permyriad = 10000;
    const int percent = permyriad / 100;
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    if (!tty_) {
        std::fprintf(stderr, "%d%%\n", percent);
        return;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char left[32] = "--:--";
    if (permyriad > 0) {
        const long secs = static_cast<long>(elapsed * (10000.0 - permyriad) / permyriad + 0.5);
        std::snprintf(left, sizeof left, "%ld:%02ld", secs / 60, secs % 60);
    }
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%  %s left ", bar, percent, left);
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::Finish(bool done) {
    if (quiet_) return;
    if (done) Update(10000);
    if (tty_ && drawn_) std::fputc('\n', stderr);
}

}  // namespace reelcast::cli
