// IYuvUtil (YUVUTL): RGB to planar YUV 4:2:0 and bilinear picture scaling for the
// MPEG path.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"
#include "engine/picture/VideoFrame.h"

namespace reelcast {

class IYuvUtil : public IEngineComponent {
public:
    // Slot 4. Scales all three planes of src into dst at dst's size; dst's
    // chromaFormat is set to src's.
    virtual void Scale(const VideoFrame* src, VideoFrame* dst) = 0;
    // Slot 5. One bottom-up 24-bit BGR bitmap (rows padded to 4 bytes) to planes.
    virtual void RgbToYuv420(std::int32_t width, std::int32_t height, const std::uint8_t* rgbRows,
                             std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr) = 0;

protected:
    ~IYuvUtil() = default;
};

}  // namespace reelcast
