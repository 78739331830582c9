// The Qt side of the engine's dialogs as a table, exported by
// libplatform_qtui.so under kDialogTableExport. Each entry does what the
// function of the same name in Dialogs.h says; that header's functions load the
// library and forward here once the process runs Qt.
#pragma once

#include "platform/ui/Dialogs.h"

namespace reelcast::platform::ui {

struct DialogTable {
    bool (*dialogsAvailable)();
    void (*waitHandlingEvents)(const std::function<bool()>& done);
    void (*sendToInterfaceThread)(const std::function<void()>& fn);
    // An application object for a process that has none (else null); closed by closeSession.
    void* (*openSession)();
    void (*closeSession)(void* session);
    bool (*runLameConfigDialog)(WindowHandle owner, LameSettings* inout);
    bool (*runAviOptionsDialog)(WindowHandle parent, AviOptionsHost& host, int width, int height,
                                const double* rates, int rateCount, AviOptionsResult* out);
    bool (*runFormatChooseDialog)(WindowHandle owner, const std::string& title, const std::vector<FormatItem>& items,
                                  int* chosen);
    bool (*runCompressorChooseDialog)(WindowHandle owner, const std::vector<std::string>& names,
                                      CompressorChoice* inout);
};

// extern "C" const DialogTable* ReelcastQtDialogs(void)
inline constexpr const char* kDialogTableLibrary = "libplatform_qtui.so";
inline constexpr const char* kDialogTableExport = "ReelcastQtDialogs";

}  // namespace reelcast::platform::ui
