// The engine's dialogs: "AVI Option", "Lame Configuration", the audio format
// choice and the compressor choice, behind plain C++ so that no caller sees the
// toolkit. Each Run... function is modal, must be called on the interface
// thread, and answers false (nothing chosen) when there is no interface: no
// application object (reelcast-cli, tests), another thread, or a build without
// Qt. Owner handles are opaque; the dialog is owned by the active window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/NonCopyable.h"

namespace reelcast::platform::ui {

using WindowHandle = void*;

// True when dialogs can be shown from this thread.
bool DialogsAvailable();

// Waits until done() answers true (polled every few milliseconds). On the
// interface thread the interface's events keep being handled meanwhile, so a
// worker thread blocked in a call that the interface thread must run can finish.
void WaitHandlingEvents(const std::function<bool()>& done);

// A blocking window message: runs fn on the interface thread and returns once it
// has run. On the interface thread itself, or with no interface, fn runs at once.
void SendToInterfaceThread(const std::function<void()>& fn);

// Makes the calling thread the interface thread for its lifetime when the process
// has none (a program without windows, a test); otherwise does nothing.
class InterfaceSession : NonCopyable {
public:
    InterfaceSession();
    ~InterfaceSession();

private:
    void* app_ = nullptr;
};

// ---- selection rules shared by the dialogs (no toolkit involved) ----

// A drop-down list's prefix search (CB_SELECTSTRING from the first item): the
// first item, looking from the second on and wrapping to the first, that begins
// with `prefix` ignoring case; -1 when none does.
int FindItemWithPrefix(const std::vector<std::string>& items, const std::string& prefix);

// The bit rates of the "Lame Configuration" list, kbit/s, and the item selected
// for a stored rate: the first at least as high, or -1.
extern const int kLameBitrates[9];
int LameBitrateItem(int storedKbps);

// Decimal text of an edit field as GetDlgItemInt reads it: blanks around one
// optionally signed number; anything else (or no digits) gives 0.
int ParseDialogInt(const std::string& text);

// ---- "Lame Configuration" ----

struct LameSettings {
    int bitrate = 192;  // kbit/s
    int stereo = 0;     // 0 "Stereo", 1 "Join Stereo"
    int quality = 3;    // 1..8
    int lowpass = 19500;
    int highpass = -1;
};
// Shows `inout` and on OK stores what the controls hold into it.
bool RunLameConfigDialog(WindowHandle owner, LameSettings* inout);

// ---- "AVI Option" ----

// What the dialog asks of the job while it is open (interface thread).
class AviOptionsHost {
public:
    virtual bool EnumVideoCodec(int index, std::string* name, std::uint32_t* handler) = 0;
    virtual void SetVideoCodec(std::uint32_t handler) = 0;
    // "Config..." with the audio type selected; `dialog` owns any dialog it shows.
    virtual bool ConfigureAudio(WindowHandle dialog, int audioType) = 0;
    virtual std::string AudioDescription() = 0;
    virtual int CodecFamily() = 0;

protected:
    ~AviOptionsHost() = default;
};

struct AviOptionsResult {
    int sampleRate = 44100;
    int width = 0;          // the numbers in the fields (0 when not numeric)
    int height = 0;
    bool noChangeSize = false;
    int frameRateIndex = 0;
    int audioType = 2;
};

// The codec list item selected on opening: with a nonzero family the first item
// beginning with "Divx", else one beginning with "XVID"; with family 0 one
// beginning with "Ind"; -1 when none.
int AviOptionsCodecItem(const std::vector<std::string>& names, int family);

// Runs the dialog with the width and height fields showing the source's size
// and the frame-rate list showing `rates` (5 of them). On OK the chosen
// compressor has already been handed to host.SetVideoCodec.
bool RunAviOptionsDialog(WindowHandle parent, AviOptionsHost& host, int width, int height,
                         const double* rates, int rateCount, AviOptionsResult* out);

// ---- audio format choice (acmFormatChoose) ----

struct FormatItem {
    std::string tagName;
    std::string description;
};
// *chosen: on entry the item to show first (-1 none), on OK the chosen item.
bool RunFormatChooseDialog(WindowHandle owner, const std::string& title,
                           const std::vector<FormatItem>& items, int* chosen);

// ---- compressor choice (ICCompressorChoose) ----

struct CompressorChoice {
    int item = 0;           // index into the names
    int keyFrameEvery = 0;
    int dataRateKBps = 0;
};
bool RunCompressorChooseDialog(WindowHandle owner, const std::vector<std::string>& names,
                               CompressorChoice* inout);

}  // namespace reelcast::platform::ui
