#include "cli/Cancel.h"

#include <atomic>
#include <csignal>

namespace reelcast::cli {
namespace {

std::atomic<bool> g_cancel{false};

extern "C" void OnSignal(int sig) {
    if (g_cancel.exchange(true)) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
}

}  // namespace

void InstallCancelHandler() {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}

bool CancelRequested() { return g_cancel.load(); }

}  // namespace reelcast::cli
