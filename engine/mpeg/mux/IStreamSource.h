// The pull interface through which the multiplexer takes coded bytes from the
// encoders. Implemented by the encoder front (which forwards to the encoders'
// ReadStream); not a component: its table has no common operations.
//
// Called on the thread that drives the front, from inside the multiplexer's
// Multiplex and Finish.
#pragma once

#include <cstdint>

namespace reelcast {

class IStreamSource {
public:
    // Slot 0. Copies up to max coded audio bytes to dest; answers the count
    // copied, which may be fewer than max (0 when nothing is ready).
    virtual std::int32_t ReadAudio(std::uint8_t* dest, std::int32_t max) = 0;
    // Slot 1. The same for the video stream.
    virtual std::int32_t ReadVideo(std::uint8_t* dest, std::int32_t max) = 0;

protected:
    ~IStreamSource() = default;
};

}  // namespace reelcast
