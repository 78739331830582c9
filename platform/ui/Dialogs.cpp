// The dialogs' entry points. The Qt side lives in a library of its own that is
// loaded on first use, and only in a process that already runs Qt (the desktop
// program, a form test): without Qt there is no application object, so every
// answer is known without it. A program without windows (reelcast-cli) thus
// never maps Qt, which saves it tens of milliseconds and megabytes at start.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/dynlib/DynLib.h"
#include "platform/ui/DialogTable.h"

namespace reelcast::platform::ui {
namespace {

bool QtInProcess() {
#ifdef REELCAST_QT_CORE_SONAME
    return IsLibraryLoaded(REELCAST_QT_CORE_SONAME);
#else
    return false;  // a build without Qt has no dialog library either
#endif
}

// The table, loaded when `force` or when Qt runs in the process; null when
// there is none. Loaded once and never unloaded: Qt does not unload cleanly.
const DialogTable* Table(bool force) {
    static std::atomic<const DialogTable*> table{nullptr};
    static std::mutex loading;
    if (const DialogTable* t = table.load(std::memory_order_acquire)) return t;
    if (!force && !QtInProcess()) return nullptr;
    std::lock_guard<std::mutex> lock(loading);
    if (const DialogTable* t = table.load(std::memory_order_acquire)) return t;
    LibraryHandle lib = LoadLibrary(kDialogTableLibrary);
    if (!lib) return nullptr;
    using Entry = const DialogTable* (*)();
    auto entry = reinterpret_cast<Entry>(GetProcAddress(lib, kDialogTableExport));
    const DialogTable* t = entry ? entry() : nullptr;
    if (!t) {
        FreeLibrary(lib);
        return nullptr;
    }
    table.store(t, std::memory_order_release);
    return t;
}

}  // namespace

bool DialogsAvailable() {
    const DialogTable* t = Table(false);
    return t && t->dialogsAvailable();
}

void WaitHandlingEvents(const std::function<bool()>& done) {
    if (const DialogTable* t = Table(false)) return t->waitHandlingEvents(done);
    while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void SendToInterfaceThread(const std::function<void()>& fn) {
    if (const DialogTable* t = Table(false)) return t->sendToInterfaceThread(fn);
    if (fn) fn();
}

InterfaceSession::InterfaceSession() {
    if (const DialogTable* t = Table(true)) app_ = t->openSession();
}

InterfaceSession::~InterfaceSession() {
    if (app_) Table(true)->closeSession(app_);
}

bool RunLameConfigDialog(WindowHandle owner, LameSettings* inout) {
    const DialogTable* t = Table(false);
    return t && t->runLameConfigDialog(owner, inout);
}

bool RunAviOptionsDialog(WindowHandle parent, AviOptionsHost& host, int width, int height, const double* rates,
                         int rateCount, AviOptionsResult* out) {
    const DialogTable* t = Table(false);
    return t && t->runAviOptionsDialog(parent, host, width, height, rates, rateCount, out);
}

bool RunFormatChooseDialog(WindowHandle owner, const std::string& title, const std::vector<FormatItem>& items,
                           int* chosen) {
    const DialogTable* t = Table(false);
    return t && t->runFormatChooseDialog(owner, title, items, chosen);
}

bool RunCompressorChooseDialog(WindowHandle owner, const std::vector<std::string>& names, CompressorChoice* inout) {
    const DialogTable* t = Table(false);
    return t && t->runCompressorChooseDialog(owner, names, inout);
}

}  // namespace reelcast::platform::ui
