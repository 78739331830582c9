// The start of an MPEG conversion: probe the source, ask the mode's settings
// dialog, fill the job's record, and start a new MPEG job.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace reelcast {
class IMpegConversionJob;
class I_MPEG_Callback;
}  // namespace reelcast

namespace reelcast::app {

class MpegSettingDialogs;

struct MpegStartContext {
    QWidget* owner = nullptr;             // owns the message boxes
    MpegSettingDialogs* dialogs = nullptr;
    I_MPEG_Callback* callback = nullptr;  // must outlive the job
    void* previewWindow = nullptr;
    // Releases the previous job (it waits for its worker to end).
    std::function<void(IMpegConversionJob*)> releaseJob;
};

// Answers whether a job was started; *job is the new job, or null. Every refusal
// has already been shown to the user, except an engine that cannot give a
// probe, which ends the start silently.
bool StartMpegJob(int mode, const std::string& input, const std::string& output, const MpegStartContext& ctx,
                  IMpegConversionJob** job);

}  // namespace reelcast::app
