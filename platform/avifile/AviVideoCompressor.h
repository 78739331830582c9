// The installed video compressors: the stand-in for the Video Compression
// Manager, over libavcodec's video encoders that go into AVI files.
//
// Each compressor has a handler code (FourCC) and a description. A compressor is
// opened for one input picture format (a BITMAPINFOHEADER: 32-bit or 24-bit
// bottom-up RGB with rows padded to 4 bytes, or YUY2) and turns each picture
// into one chunk of the AVI's video stream. Nothing here is shared between
// threads; every object belongs to the thread that uses it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/avifile/AviFileWriter.h"

namespace reelcast::platform::avifile {

struct VideoCompressorInfo {
    std::uint32_t handler;       // FourCC, as in the stream header
    std::string description;
    int defaultKeyFrameRate;     // 0: every picture is a key frame
    int defaultQuality;          // 0..10000
};

// The index-th installed compressor (only those whose encoder is present in this
// libavcodec); false past the last one.
bool EnumVideoCompressor(int index, VideoCompressorInfo* out);
// The compressor with this handler code (case of the letters matters); false
// when none is installed.
bool FindVideoCompressor(std::uint32_t handler, VideoCompressorInfo* out);

class VideoEncoder {
public:
    // Opens the compressor for pictures of format `in` (BI_RGB 24 or 32 bits, or
    // 'YUY2' 16 bits). keyFrameEvery 0 uses the compressor's own rule; quality is
    // 0..10000 (negative: default). fpsNum/fpsDen is the picture rate; the pixel
    // shape (width : height) goes into the compressed pictures where their format
    // has room for it. Null when the compressor is not installed or refuses this
    // format or size.
    static std::unique_ptr<VideoEncoder> Open(std::uint32_t handler, const BitmapInfoHeader& in,
                                              int keyFrameEvery, int quality,
                                              std::uint32_t fpsNum, std::uint32_t fpsDen,
                                              int aspectNum = 1, int aspectDen = 1);
    virtual ~VideoEncoder() = default;

    // The stream format of the output ('strf' contents: BITMAPINFOHEADER with the
    // compressor's FourCC, then its private data).
    virtual const std::vector<std::uint8_t>& OutputFormat() const = 0;
    // Bytes of one input picture.
    virtual std::uint32_t InputSize() const = 0;
    // Compresses one picture of InputSize() bytes; out receives the chunk (empty
    // when the compressor dropped the picture).
    virtual bool Encode(const void* bits, std::vector<std::uint8_t>* out, bool* keyframe) = 0;
};

// The DIB row stride of a picture of this width and bit count.
inline std::uint32_t DibStride(int width, int bitCount) {
    return ((std::uint32_t(width) * std::uint32_t(bitCount) + 31) / 32) * 4;
}

}  // namespace reelcast::platform::avifile
