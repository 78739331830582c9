// IMpegAudioEncoder (MPGLIB_AUDIO): the MPEG-1 Layer II sound encoder.
//
// Takes the interleaved 16-bit stereo PCM of each picture, codes every complete
// 1152-pair frame, queues one AudioUnit per frame at the multiplexer, and keeps
// the coded bytes until the multiplexer pulls them through ReadStream.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"
#include "engine/media/SampleBlock.h"

namespace reelcast {

class IMpegMultiplexer;

class IMpegAudioEncoder : public IEngineComponent {
public:
    // Slot 4. The multiplexer that receives one AudioUnit per frame (not owned).
    virtual void SetMultiplexer(IMpegMultiplexer* mux) = 0;
    // Slot 5. Codes one frame (2304 pending samples) and queues its unit.
    virtual bool EncodeAudioFrame() = 0;
    // Slot 6. Prepares a new stream; false for an unsupported sampling rate.
    virtual bool Start() = 0;
    // Slot 7. Does nothing; a trailing partial frame stays pending.
    virtual void Stop() = 0;
    // Slot 8. 32000, 44100 or 48000; takes effect at the next Start.
    virtual void SetSampleRate(std::uint32_t hz) = 0;
    // Slot 9. Moves up to max coded bytes to dst; answers the count.
    virtual std::int32_t ReadStream(std::uint8_t* dst, std::int32_t max) = 0;
    // Slot 10. Frees the coded-byte buffer.
    virtual void FreeStream() = 0;
    // Slot 11. Layer II bit-rate index (1..14) and the video frame rate.
    virtual void SetParameters(std::uint32_t bitrateIndex, double videoFrameRate) = 0;
    // Slot 12. Appends a picture's samples and codes every complete frame while
    // *keepGoing holds; false (nothing appended) when over 100000 are pending.
    virtual bool PutSamples(const SampleBlock* block, bool* keepGoing) = 0;

protected:
    ~IMpegAudioEncoder() = default;
};

}  // namespace reelcast
