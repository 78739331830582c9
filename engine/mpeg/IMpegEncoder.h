// IMpegEncoder (MPGLIB): the encoder front, one call per picture.
#pragma once

#include "engine/core/IEngineComponent.h"
#include "engine/jobs/IMpegMessageSink.h"
#include "engine/media/SampleBlock.h"
#include "engine/mpeg/MpegEncoderParams.h"
#include "engine/picture/VideoFrame.h"

namespace reelcast {

class IMpegEncoder : public IEngineComponent {
public:
    // Slot 4. Ends the streams and starts them again into the next numbered file.
    virtual bool StartNextFile() = 0;
    // Slot 5. The multiplexer's count of megabytes written.
    virtual double GetMegabytesWritten() = 0;
    // Slot 6. Where the front's messages go; null drops them.
    virtual void SetMessageSink(IMpegMessageSink* sink) = 0;
    // Slot 7. Applies the preset, validates, configures and starts the streams.
    virtual bool Open(MpegEncoderParams* params) = 0;
    // Slot 8. One picture with the sound that belongs to it.
    virtual bool EncodeFrame(const VideoFrame* frame, const SampleBlock* audio) = 0;
    // Slot 9. Ends the streams and finishes the file.
    virtual void Close() = 0;

protected:
    ~IMpegEncoder() = default;
};

}  // namespace reelcast
