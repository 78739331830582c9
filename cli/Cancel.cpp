#include "cli/Cancel.h"

#include <time.h>

#include <atomic>
#include <csignal>

namespace reelcast::cli {
namespace {

std::atomic<bool> g_cancel{false};
std::atomic<long long> g_firstSignalMs{0};

// A signal repeated within this time is the same request: timeout(1) sends its
// TERM both to the program and to its process group.
constexpr long long kRepeatWindowMs = 1000;

long long NowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);  // safe in a signal handler
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

extern "C" void OnSignal(int sig) {
    if (!g_cancel.exchange(true)) {
        g_firstSignalMs = NowMs();
        return;
    }
    if (NowMs() - g_firstSignalMs.load() < kRepeatWindowMs) return;
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

}  // namespace

void InstallCancelHandler() {
    // Ctrl-C, kill and timeout's TERM, a closed terminal, a CPU time limit.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXCPU}) std::signal(sig, OnSignal);
}

bool CancelRequested() { return g_cancel.load(); }

}  // namespace reelcast::cli
