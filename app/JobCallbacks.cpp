#include "app/JobCallbacks.h"

#include <thread>

#include "platform/ui/Dialogs.h"

namespace reelcast::app {

void JobCallback::OnProgress(std::int32_t progress) {
    platform::ui::SendToInterfaceThread([&] { window_.OnJobProgress(progress); });
}

void JobCallback::OnFinished() {
    platform::ui::SendToInterfaceThread([&] { window_.OnJobFinished(); });
}

void JobCallback::OnMessage(const char* text) {
    const std::string copy = text ? text : "";
    platform::ui::SendToInterfaceThread([&] { window_.OnJobMessage(copy); });
}

void ReleaseHandlingEvents(void (*blockingWork)(void*), void* arg) {
    std::atomic<bool> done{false};
    std::thread helper([&] {
        blockingWork(arg);
        done = true;
    });
    platform::ui::WaitHandlingEvents([&] { return done.load(); });
    helper.join();
}

}  // namespace reelcast::app
