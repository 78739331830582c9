// IVfwFrameReader (VFWVIDEODATA): decoded pictures of an AVI file's first video
// stream through the AVIFile services, by output index at the output frame rate,
// as packed bottom-up 24-bit DIBs at the stream's own size. A repeated source
// picture leaves the caller's buffer untouched.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"

namespace reelcast {

class IVfwFrameReader : public IEngineComponent {
public:
    // Slot 4. Opens path (AVI only) for output rate frameRate.
    virtual bool Open(const char* path, double frameRate) = 0;
    // Slot 5. As IVideoFrameSource::GetFrame.
    virtual bool GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) = 0;

protected:
    ~IVfwFrameReader() = default;
};

}  // namespace reelcast
