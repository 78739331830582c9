// The window tests' Qt application. Kept apart from DesktopTestSupport.cpp so the
// window-free tests link no Qt.
#include <QApplication>

#include "DesktopTestSupport.h"

namespace desktop_test {

void EnsureApplication() {
    if (QApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_main_window";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives until the process ends
}

}  // namespace desktop_test

// Under LeakSanitizer: fontconfig, which Qt loads for its fonts, keeps caches it
// never frees. Not our leak; everything else is still checked.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
