// The start of an MPEG conversion: probe the source, ask the mode's settings
// dialog, fill the job's record, and start a new MPEG job.
#pragma once

#include <functional>
#include <string>

#include "engine/core/ComponentHandle.h"
#include "engine/jobs/IMpegConversionJob.h"

class QWidget;

namespace reelcast::app {

class MpegSettingDialogs;

struct MpegStartContext {
    QWidget* owner = nullptr;             // owns the message boxes
    MpegSettingDialogs* dialogs = nullptr;
    I_MPEG_Callback* callback = nullptr;  // must outlive the job
    void* previewWindow = nullptr;
    // Releases a job (it waits for its worker to end) and empties the handle.
    std::function<void(core::ComponentHandle<IMpegConversionJob>&)> releaseJob;
};

// Answers whether a job was started; job holds the new job, or nothing. Every refusal
// has already been shown to the user, except an engine that cannot give a
// probe, which ends the start silently.
bool StartMpegJob(int mode, const std::string& input, const std::string& output, const MpegStartContext& ctx,
                  core::ComponentHandle<IMpegConversionJob>& job);

}  // namespace reelcast::app
