// The program's callback object for the AVI job: the slots of I_MPEG_Callback,
// no destructor slot. The job calls OnProgress, OnFinished and OnMessage on its
// worker thread (OnMessage also on the caller's thread from StartDirect) and never
// asks IsCancelled: Cancel is its stop signal.
#pragma once

#include <cstdint>

namespace reelcast {

class I_CONVERT_Callback {
public:
    // Slot 0. Progress in 1/10000 of the job, after each written frame (below 10000).
    virtual void OnProgress(std::int32_t progress) = 0;
    // Slot 1. Once, when every frame is written and the file is complete.
    virtual void OnFinished() = 0;
    // Slot 2. A text for the user.
    virtual void OnMessage(const char* text) = 0;
    // Slot 3. Not called by the AVI job.
    virtual bool IsCancelled() = 0;

protected:
    ~I_CONVERT_Callback() = default;
};

}  // namespace reelcast
