// Where the AVI writer's audio set-up reports its texts ("Trying driver: ...").
// The AVI job implements it as its second table and passes the texts to the
// program's callback. Called on the job's worker thread.
#pragma once

namespace reelcast {

class IAviMessageSink {
public:
    // Slot 0.
    virtual void Report(const char* text) = 0;

protected:
    ~IAviMessageSink() = default;
};

}  // namespace reelcast
