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
#include "engine/media/IVideoFrameSource.h"

namespace reelcast::jobs {

// The job's texts for the user.
inline constexpr const char* kNoMediaInfo = "Can't get media information from input file";
inline constexpr const char* kNoStreams = "The media file have not any video or audio stream";
inline constexpr const char* kFrameError = "Get video frames error";
// Used when the encoder front failed without saying why.
inline constexpr const char* kEncodeFailed = "MPEGEnc: Encoding failed.";

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
