// The program's callback object for a conversion job: the one shape both jobs
// report through. Four operations, no destructor slot; every call is made on the
// job's worker thread (the AVI job also calls OnMessage on the caller's thread
// from StartDirect). Job is the job's interface: each job has a callback type of
// its own, so a program can tell its two callback objects apart.
#pragma once

#include <cstdint>

namespace reelcast {

template <class Job>
class IJobCallback {
public:
    // Slot 0. Progress in 1/10000 of the job, after each picture (below 10000).
    virtual void OnProgress(std::int32_t progress) = 0;
    // Slot 1. Once, when the output file is complete.
    virtual void OnFinished() = 0;
    // Slot 2. A text for the user.
    virtual void OnMessage(const char* text) = 0;
    // Slot 3. Asked by the MPEG job before each picture; true stops it. The AVI
    // job never asks: its Cancel is its stop signal.
    virtual bool IsCancelled() = 0;

protected:
    ~IJobCallback() = default;
};

}  // namespace reelcast
