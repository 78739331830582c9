#include "tests/app_forms/FormTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QThread>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/logic/EngineLibraries.h"
#include "engine/core/Factories.h"
#include "platform/dynlib/DynLib.h"
#include "tests/avi/AviTestSupport.h"

namespace formtest {

bool BridgeBuilt() { return access(REELCAST_BIN_DIR "/libMovbridge.so", F_OK) == 0; }

bool BindBuiltEngine() {
    std::string missing;
    if (BridgeBuilt()) return reelcast::app::BindEngineLibraries(missing, REELCAST_BIN_DIR);
    // Without the bridge, bind the engine's three factories alone.
    using reelcast::platform::GetProcAddress;
    auto lib = reelcast::platform::LoadLibrary(REELCAST_BIN_DIR "/libOmbrixDll.so");
    if (!lib) return false;
    reelcast::app::EngineFactories f;
    f.newOmbrix = reinterpret_cast<reelcast::app::EngineFactory>(GetProcAddress(lib, reelcast::core::kMpegJobExport));
    f.newMediaGetInfo = reinterpret_cast<reelcast::app::EngineFactory>(GetProcAddress(lib, reelcast::core::kMediaInfoExport));
    f.newAviEncWrapper =
        reinterpret_cast<reelcast::app::EngineFactory>(GetProcAddress(lib, reelcast::core::kAviJobExport));
    reelcast::app::SetBoundFactories(f);
    return f.newOmbrix && f.newMediaGetInfo && f.newAviEncWrapper;
}

ModalScript::ModalScript() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, &ModalScript::Poll);
    timer_.start();
}

ModalScript::~ModalScript() = default;

ModalScript& ModalScript::Then(const char* what, Match match, Act act) {
    steps_.push_back({what, std::move(match), std::move(act)});
    return *this;
}

ModalScript& ModalScript::AnswerBox(const QString& text, const QString& button) {
    steps_.push_back({"box \"" + text + "\"",
                      [text](QWidget* w) {
                          auto* box = qobject_cast<QMessageBox*>(w);
                          return box && box->text().startsWith(text);
                      },
                      [button](QWidget* w) { PressButton(w, button); }});
    return *this;
}

ModalScript& ModalScript::AcceptDialog(const QString& objectName, const QString& buttonName) {
    steps_.push_back({"dialog " + objectName, [objectName](QWidget* w) { return w->objectName() == objectName; },
                      [buttonName](QWidget* w) {
                          if (auto* b = w->findChild<QAbstractButton*>(buttonName)) b->click();
                      }});
    return *this;
}

ModalScript& ModalScript::When(const char* what, std::function<bool()> cond, Act act) {
    steps_.push_back({what, [cond](QWidget*) { return cond(); }, std::move(act)});
    return *this;
}

void ModalScript::Poll() {
    QWidget* top = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(top); box && box != lastBox_) {
        lastBox_ = box;
        boxes_ << box->text();
    }
    if (steps_.empty() || !top || !top->isVisible() || !steps_.front().match(top)) return;
    Step step = std::move(steps_.front());
    steps_.pop_front();
    // Acting may open a nested modal loop: run it outside this poll.
    QPointer<QWidget> target(top);
    // The script is the context: an act still queued when the script ends is
    // dropped with it, not left behind in the application's queue.
    QTimer::singleShot(0, this, [act = std::move(step.act), target] {
        if (target) act(target);
    });
}

void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

bool PressButton(QWidget* w, const QString& text) {
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (b->text().remove('&') == text) {
            b->click();
            return true;
        }
    }
    return false;
}

bool WaitFor(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return cond();
}

bool MakeClip(const std::string& path, int width, int height, double fps, double seconds) {
    return avitest::MakeSource(path, width, height, fps, seconds, 44100);
}

}  // namespace formtest

namespace {

std::ptrdiff_t ThreadsInProcess() {
    std::error_code ec;
    auto tasks = std::filesystem::directory_iterator("/proc/self/task", ec);
    return ec ? 1 : std::distance(std::filesystem::begin(tasks), std::filesystem::end(tasks));
}

// QtGui's image work runs on a pool of detached threads. The pool is deleted
// at exit, but each thread lets go of its last reference to its thread data
// only as it ends, after the pool's destructor has returned; a leak check
// that runs in between reports that data as lost. Registered before Qt's own
// exit work, this runs after it and before the leak check.
void WaitForOtherThreadsToEnd() {
    for (int i = 0; i < 300 && ThreadsInProcess() > 1; ++i) usleep(10 * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    std::atexit(WaitForOtherThreadsToEnd);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The offscreen platform has no window shapes; it says so at every mask.
    qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
        if (msg.startsWith("This plugin does not support")) return;
        if (previous) previous(type, ctx, msg);
    });
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
