// OMBRIX: the MPEG conversion job. Probes the source, pulls decoded pictures at
// the output rate and the sound that belongs to each, converts the pictures to
// planar YUV and feeds both to the MPEG encoder front, on a worker thread.
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "engine/core/Component.h"
#include "engine/core/ComponentHandle.h"
#include "engine/jobs/IMpegConversionJob.h"
#include "engine/jobs/IMpegMessageSink.h"
#include "engine/jobs/JobMessages.h"
#include "engine/media/IVideoFrameSource.h"

namespace reelcast::jobs {

class MpegJob final : public core::Component<IMpegConversionJob, MpegJob>, public IMpegMessageSink {
public:
    MpegJob() = default;
    ~MpegJob();

    bool Init() override;
    IMpegConversionJob* SetParameters(const MpegJobParams* params, I_MPEG_Callback* callback) override;
    void* Start() override;

    // The encoder front's texts. Kept (not shown) so that a failure can be
    // reported with the front's own reason.
    void Report(const char* message) override;

private:
    class Conversion;

    void Run();
    std::string TakeLastMessage();

    MpegJobParams params_{};
    I_MPEG_Callback* callback_ = nullptr;
    std::thread worker_;
    bool started_ = false;
    // Created and released by the worker; empty outside a run.
    core::ComponentHandle<IVideoFrameSource> frameSource_;

    std::mutex messageLock_;
    std::string lastMessage_;
};

}  // namespace reelcast::jobs
