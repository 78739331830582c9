// The callback object reelcast-cli hands to either job: turns the worker-thread
// calls into progress, the messages and a final state.
#pragma once

#include <mutex>
#include <string>

#include "cli/CliOptions.h"
#include "cli/Engine.h"
#include "cli/Progress.h"
#include "engine/jobs/I_CONVERT_Callback.h"
#include "engine/jobs/I_MPEG_Callback.h"

namespace reelcast::cli {

// The file a conversion writes (the name actually written, which for AVI output
// may differ from the one given) as it was before the conversion, to tell
// afterwards whether the conversion wrote it.
struct OutputMark {
    std::string path;
    bool existed = false;
    long long inode = 0;
    long long modified = 0;  // nanoseconds
};
OutputMark MarkOutput(const std::string& path);

// Interface: I_MPEG_Callback or I_CONVERT_Callback.
template <class Interface>
class JobCallback final : public Interface {
public:
    explicit JobCallback(Progress& progress) : progress_(progress) {}

    void OnProgress(std::int32_t value) override;
    void OnFinished() override;
    void OnMessage(const char* text) override;
    // Answers the user's interrupt (the MPEG job asks before each picture).
    bool IsCancelled() override;

    bool finished();
    bool cancelled();
    std::string messages();

    // After the job has ended: ends the progress line, tells the messages, the
    // cause of a failure and what became of the output, and answers the exit
    // status. `stopped`: the job was stopped by a signal.
    int Conclude(const Engine& engine, const CliOptions& opts, const OutputMark& before, bool stopped);

private:
    Progress& progress_;
    std::mutex m_;
    bool finished_ = false;
    bool cancelled_ = false;
    std::string messages_;
};

using MpegJobCallback = JobCallback<I_MPEG_Callback>;
using AviJobCallback = JobCallback<I_CONVERT_Callback>;

}  // namespace reelcast::cli
