// The program's callback object for a conversion job. Four operations, no
// destructor slot; every call is made on the job's worker thread.
#pragma once

#include <cstdint>

namespace reelcast {

class I_MPEG_Callback {
public:
    // Slot 0. Progress in 1/10000 of the job, after each encoded picture.
    virtual void OnProgress(std::int32_t progress) = 0;
    // Slot 1. Once, when the output file is complete.
    virtual void OnFinished() = 0;
    // Slot 2. A text for the user, on each error.
    virtual void OnMessage(const char* text) = 0;
    // Slot 3. Asked before each picture; true stops the job.
    virtual bool IsCancelled() = 0;

protected:
    ~I_MPEG_Callback() = default;
};

}  // namespace reelcast
