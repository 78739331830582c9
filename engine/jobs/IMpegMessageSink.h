// The one-operation interface through which the MPEG encoder front reports its
// texts ("MPEGEnc: ..."). Its table has no common operations: Report is slot 0.
#pragma once

namespace reelcast {

class IMpegMessageSink {
public:
    virtual void Report(const char* message) = 0;  // slot 0

protected:
    ~IMpegMessageSink() = default;
};

}  // namespace reelcast
