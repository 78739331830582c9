// The callback object reelcast-cli hands to either job: turns the worker-thread
// calls into progress, the messages and a final state.
#pragma once

#include <mutex>
#include <string>

#include "cli/Progress.h"
#include "engine/jobs/I_CONVERT_Callback.h"
#include "engine/jobs/I_MPEG_Callback.h"

namespace reelcast::cli {

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

    // After the job has ended: ends the progress line, prints the messages and
    // answers the exit status. `stopped` says whether the user stopped it;
    // stoppedText then follows the output path.
    int Conclude(const std::string& output, bool stopped, const char* stoppedText);

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
