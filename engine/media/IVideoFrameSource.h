// IVideoFrameSource (VIDEODATADLL and its two readers): decoded pictures by output
// index at the target frame rate, as packed bottom-up 24-bit DIBs (40-byte
// BITMAPINFOHEADER followed by the rows, each padded to a multiple of 4 bytes).
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"

namespace reelcast {

class IVideoFrameSource : public IEngineComponent {
public:
    // Slot 4. The chooser's form; width and height are the requested output size
    // (used by the DirectShow reader), frameRate the output rate.
    virtual bool Open(const char* path, std::int32_t width, std::int32_t height,
                      double frameRate) = 0;
    // Slot 5. With buffer null stores the buffer size needed in *size and answers
    // true; otherwise writes picture `index` of the output sequence into buffer.
    // A repeated source picture leaves the buffer untouched.
    virtual bool GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) = 0;

protected:
    ~IVideoFrameSource() = default;
};

}  // namespace reelcast
