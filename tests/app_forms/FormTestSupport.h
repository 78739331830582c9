// Shared support of the form tests: an offscreen application, the engine bound
// from the build, and a script that answers the modal windows (the conversion
// window, settings dialogs, message boxes) as they come up.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <string>

namespace formtest {

// Binds the engine from the build folder (and the bridge when it is built).
// False when the engine is missing.
bool BindBuiltEngine();
bool BridgeBuilt();

// Answers modal windows in order: each step waits until its window is the
// topmost modal one, then acts on it once. Every message box shown is recorded.
class ModalScript : public QObject {
public:
    using Match = std::function<bool(QWidget*)>;
    using Act = std::function<void(QWidget*)>;

    ModalScript();
    ~ModalScript() override;

    ModalScript& Then(const char* what, Match match, Act act);
    // A message box whose text begins with `text`: press `button` ("OK", "Yes", "No", "Cancel").
    ModalScript& AnswerBox(const QString& text, const QString& button);
    // A dialog with this object name: press its button named buttonName.
    ModalScript& AcceptDialog(const QString& objectName, const QString& buttonName);
    // Any step: wait (from the script) until cond holds, then act on the top window.
    ModalScript& When(const char* what, std::function<bool()> cond, Act act);

    bool Done() const { return steps_.empty(); }
    QString Waiting() const { return steps_.empty() ? QString() : steps_.front().what; }
    const QStringList& boxes() const { return boxes_; }

private:
    struct Step {
        QString what;
        Match match;
        Act act;
    };
    void Poll();

    QTimer timer_;
    std::deque<Step> steps_;
    QStringList boxes_;
    QWidget* lastBox_ = nullptr;
};

// A left click in the middle of w, as the mouse gives it.
void Click(QWidget* w);

// Presses the button with this text (mnemonic '&' ignored) inside w.
bool PressButton(QWidget* w, const QString& text);

// Handles events until cond holds or timeoutMs passes; answers cond().
bool WaitFor(const std::function<bool()>& cond, int timeoutMs);

// Makes a test clip with ffmpeg (testsrc2 pictures and a tone) as AVI.
bool MakeClip(const std::string& path, int width, int height, double fps, double seconds);

}  // namespace formtest
