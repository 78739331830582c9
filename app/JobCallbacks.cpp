#include "app/JobCallbacks.h"

#include <thread>

#include "platform/ui/Dialogs.h"

namespace reelcast::app {

template <class Interface>
void JobCallback<Interface>::OnProgress(std::int32_t progress) {
    platform::ui::SendToInterfaceThread([&] { window_.OnJobProgress(progress); });
}

template <class Interface>
void JobCallback<Interface>::OnFinished() {
    platform::ui::SendToInterfaceThread([&] { window_.OnJobFinished(); });
}

template <class Interface>
void JobCallback<Interface>::OnMessage(const char* text) {
    const std::string copy = text ? text : "";
    platform::ui::SendToInterfaceThread([&] { window_.OnJobMessage(copy); });
}

template class JobCallback<I_CONVERT_Callback>;
template class JobCallback<I_MPEG_Callback>;

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
