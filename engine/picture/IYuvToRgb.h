// IYuvToRgb (YUVRGB): planar YCbCr pictures to the packed layouts the platform's
// video compressors take. Each operation allocates its output with malloc and
// hands it over through *out; the caller frees it with free (C callers too).
// On failure (null arguments, sizes below 1, allocation failure) *out is set
// to null and the answer is false.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"
#include "engine/picture/VideoFrame.h"

namespace reelcast {

class IYuvToRgb : public IEngineComponent {
public:
    // Slot 4. Bottom-up rows of 4 bytes a pixel: blue, green, red, 0
    // (width x height x 4 bytes).
    virtual bool ToRgb32(const VideoFrame* in, std::uint8_t** out) = 0;
    // Slot 5. Bottom-up rows of exactly 3 x width bytes: blue, green, red
    // (width x height x 3 + 4 bytes).
    virtual bool ToRgb24(const VideoFrame* in, std::uint8_t** out) = 0;
    // Slot 6. Top-down YUY2 (Y0 Cb Y1 Cr per pixel pair), width x height x 2
    // bytes; only 4:2:0 input is converted (other formats: null, false).
    virtual bool ToYuy2(const VideoFrame* in, std::uint8_t** out) = 0;

protected:
    ~IYuvToRgb() = default;
};

}  // namespace reelcast
