// YuvToRgb (YUVRGB): the IYuvToRgb component.
#pragma once

#include "engine/core/Component.h"
#include "engine/picture/IYuvToRgb.h"
#include "engine/picture/PictureKernels.h"

namespace reelcast::picture {

class YuvToRgb final : public core::Component<IYuvToRgb, YuvToRgb> {
public:
    bool Init() override;
    bool ToRgb32(const VideoFrame* in, std::uint8_t** out) override;
    bool ToRgb24(const VideoFrame* in, std::uint8_t** out) override;
    bool ToYuy2(const VideoFrame* in, std::uint8_t** out) override;

private:
    bool ToBgr(const VideoFrame* in, std::uint8_t** out, int bytesPerPixel);
    PictureKernels kernels_{};
};

}  // namespace reelcast::picture
