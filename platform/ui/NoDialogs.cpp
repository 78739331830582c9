// Builds without Qt: no dialog can be shown, so every choice is "cancelled".
#include <chrono>
#include <thread>

#include "platform/ui/Dialogs.h"

namespace reelcast::platform::ui {

bool DialogsAvailable() { return false; }
void WaitHandlingEvents(const std::function<bool()>& done) {
    while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}
void SendToInterfaceThread(const std::function<void()>& fn) {
    if (fn) fn();
}
InterfaceSession::InterfaceSession() = default;
InterfaceSession::~InterfaceSession() = default;
bool RunLameConfigDialog(WindowHandle, LameSettings*) { return false; }
bool RunAviOptionsDialog(WindowHandle, AviOptionsHost&, int, int, const double*, int, AviOptionsResult*) {
    return false;
}
bool RunFormatChooseDialog(WindowHandle, const std::string&, const std::vector<FormatItem>&, int*) {
    return false;
}
bool RunCompressorChooseDialog(WindowHandle, const std::vector<std::string>&, CompressorChoice*) {
    return false;
}

}  // namespace reelcast::platform::ui
