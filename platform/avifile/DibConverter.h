// Turns decoded pictures into packed device-independent bitmaps: the 40-byte
// header, a palette for 8-bit pictures, then bottom-up rows padded to 4 bytes.
// Buffers and the scaler are kept from picture to picture; nothing is allocated
// per picture once the size is known. Platform-internal (FFmpeg types).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
}

#include "platform/NonCopyable.h"

struct SwsContext;

namespace reelcast::platform {

// Largest picture side accepted; larger pictures are refused rather than allocated.
constexpr int kMaxDibSide = 16384;

// True when w x h is a picture size these converters accept.
inline bool IsDibSize(int w, int h) { return w > 0 && h > 0 && w <= kMaxDibSide && h <= kMaxDibSide; }

// Row stride of swscale's working pictures for rows of rowBytes: whole cache
// lines, so that its vector loads and stores past a row's end stay inside.
inline std::size_t ScaleStride(std::size_t rowBytes) { return (rowBytes + 63) / 64 * 64; }

class DibConverter : NonCopyable {
public:
    DibConverter() = default;
    ~DibConverter();

    // The picture at its own size in the bitmap form a decompressor hands out:
    // 8-bit with its palette (clrUsed entries, 256 when clrUsed is 0) for paletted
    // pictures, 32-bit for 32-bit RGB pictures, 24-bit otherwise. Points into this
    // object, valid until the next call; null when the picture cannot be converted.
    const std::uint8_t* Native(const AVFrame* f, std::uint32_t clrUsed, std::uint32_t* bytes);

    // A 24-bit bitmap of the picture scaled to width x height, written into dst
    // (header included). False when dstBytes is too small or the sizes are invalid.
    bool Rgb24(const AVFrame* f, int width, int height, std::uint8_t* dst, std::uint64_t dstBytes);

    // Threads swscale may split one picture's rows over (1: the calling thread
    // only). The rows come out the same either way.
    void SetThreads(int threads);

    // True when Native hands this picture out as a 24-bit bitmap (it is neither
    // paletted nor 32-bit RGB).
    static bool IsNative24(const AVFrame* f);

    // Bytes of a 24-bit packed DIB of that size (header included); 0 when invalid.
    static std::uint64_t Rgb24Bytes(int width, int height);

private:
    bool ScaleInto(const AVFrame* f, int width, int height, std::uint8_t* rows, std::uint64_t rowSize);
    bool ScaleBottomUp(const AVFrame* f, int height, std::uint8_t* rows, std::uint64_t rowSize);
    bool ScalePlanar(const AVFrame* f, int width, int height, std::uint8_t* rows, std::uint64_t rowSize);
    bool MakeContext(const AVFrame* f, int width, int height, int dstFormat);
    // Converts f into rows of `stride` bytes (negative: bottom-up from rows).
    bool Convert(const AVFrame* f, std::uint8_t* rows, int stride, int height);
    // The same into the planes of the context's output format (an AVPixelFormat).
    bool ConvertPlanes(const AVFrame* f, std::uint8_t* const dst[4], const int dstStride[4], int dstFormat,
                       int height);
    bool DirectIsExact(const AVFrame* f, int width, int height, const std::uint8_t* rows,
                       std::uint64_t rowSize);

    SwsContext* sws_ = nullptr;
    std::vector<std::uint8_t> buf_;
    // swscale's output (24-bit rows, or the planes of the planar route), with
    // room for its over-wide stores
    std::vector<std::uint8_t> scratch_;
    // Whether swscale may write straight into the bitmap's rows for the current
    // conversion (source size and format, target size): -1 not known yet.
    int direct_ = -1;
    int key_[6] = {};  // source width, height, format; output width, height; threads
    int threads_ = 1;
    AVFrame* out_ = nullptr;          // the caller's rows, as the threaded interface wants them
    AVBufferRef* holder_ = nullptr;   // out_'s placeholder buffer
};

}  // namespace reelcast::platform
