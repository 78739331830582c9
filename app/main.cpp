// Program start: bind the engine and the bridge, check the optional components,
// then show the main window and run until it closes.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <string>

#include "app/AboutForm.h"
#include "app/ComponentsForm.h"
#include "app/ConvertForm.h"
#include "app/FileInfoForm.h"
#include "app/MainForm.h"
#include "app/logic/ComponentsCheck.h"
#include "app/logic/EngineLibraries.h"
#include "app/logic/ProgramFiles.h"
#include "movbridge/IMovbridge.h"
#include "platform/dynlib/DynLib.h"

using namespace reelcast::app;

namespace {

// What the bridge says about its decoders; a bridge that gives no instance
// counts as QuickTime missing.
int QuickTimeStatus() {
    auto* bridge = static_cast<IMovbridge*>(NewMovbridgeInstance());
    if (!bridge) return kQuickTimeMissing;
    const int status = bridge->QuickTimeStatus();
    bridge->Release();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramTitle);
    QApplication::setWindowIcon(QIcon(ProgramIcon(48)));

    std::string missing;
    if (!BindEngineLibraries(missing)) {
        std::fprintf(stderr, "Reelcast: %s\n", missing.c_str());
        QMessageBox box(QMessageBox::NoIcon, "error", "Can not find DLL", QMessageBox::Ok);
        box.exec();
        return 1;
    }

    const std::string folder = reelcast::platform::ProgramFolder();
    const ComponentStatus components = CheckComponents(QuickTimeStatus());
    if (components.AnyMissing()) {
        TComDlg dialog(components, folder);
        dialog.exec();
    }

    TForm1 mainWindow(folder);
    TfrmConvert convertWindow;
    TAboutBox about(&mainWindow);
    QObject::connect(&mainWindow, &TForm1::ConvertRequested, &convertWindow,
                     [&](ConvertEntry entry) { convertWindow.ShowForEntry(entry, &mainWindow); });
    QObject::connect(&mainWindow, &TForm1::FileInfoRequested, &mainWindow,
                     [&](const QString& path) { ShowFileInfo(&mainWindow, path); });
    QObject::connect(&mainWindow, &TForm1::AboutRequested, &about, &QDialog::exec);
    mainWindow.show();
    return app.exec();
}
