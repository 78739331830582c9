// YuvUtil (YUVUTL): the IYuvUtil component.
#pragma once

#include <vector>

#include "engine/core/Component.h"
#include "engine/picture/IYuvUtil.h"
#include "engine/picture/PictureKernels.h"

namespace reelcast::picture {

class YuvUtil final : public core::Component<IYuvUtil, YuvUtil> {
public:
    bool Init() override;
    void Scale(const VideoFrame* src, VideoFrame* dst) override;
    void RgbToYuv420(std::int32_t width, std::int32_t height, const std::uint8_t* rgbRows,
                     std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr) override;

    // Bilinear scaling of one plane (rows of exactly their width).
    void ScalePlane(const std::uint8_t* src, int sw, int sh, std::uint8_t* dst, int dw, int dh);

private:
    YuvTables tables_{};
    PictureKernels kernels_{};
    // Working rows kept between pictures: two rows of full-resolution chroma,
    // the blended source row and the per-column positions of the scaler.
    std::vector<std::uint8_t> chromaRows_;
    std::vector<std::uint16_t> blend_;
    std::vector<std::int32_t> xi_;
    std::vector<std::uint16_t> fx_;
};

}  // namespace reelcast::picture
