#include "platform/avifile/DibScaler.h"

#include <cstring>

#include "platform/avifile/BitmapInfo.h"
#include "platform/avifile/DibConverter.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace reelcast::platform {

DibScaler::~DibScaler() { sws_freeContext(sws_); }

bool DibScaler::Scale(const std::uint8_t* src, int srcWidth, int srcHeight, std::uint8_t* dst, int dstWidth,
                      int dstHeight) {
    if (!src || !dst || !IsDibSize(srcWidth, srcHeight) || !IsDibSize(dstWidth, dstHeight)) return false;
    sws_ = sws_getCachedContext(sws_, srcWidth, srcHeight, AV_PIX_FMT_BGR24, dstWidth, dstHeight,
                                AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!sws_) return false;
    // swscale's vector loads and stores may reach past the end of a packed row:
    // both sides go through padded copies, with a spare row at the end.
    const std::size_t inStride = ScaleStride(static_cast<std::size_t>(srcWidth) * 3);
    const std::size_t outStride = ScaleStride(static_cast<std::size_t>(dstWidth) * 3);
    const std::size_t inRow = DibRowSize(srcWidth, 24), outRow = DibRowSize(dstWidth, 24);
    in_.resize(inStride * (static_cast<std::size_t>(srcHeight) + 1));
    out_.resize(outStride * (static_cast<std::size_t>(dstHeight) + 1));
    for (int y = 0; y < srcHeight; ++y) std::memcpy(in_.data() + inStride * y, src + inRow * y, srcWidth * 3);
    const std::uint8_t* in[4] = {in_.data(), nullptr, nullptr, nullptr};
    const int inStrides[4] = {static_cast<int>(inStride), 0, 0, 0};
    std::uint8_t* out[4] = {out_.data(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {static_cast<int>(outStride), 0, 0, 0};
    if (sws_scale(sws_, in, inStrides, 0, srcHeight, out, outStrides) != dstHeight) return false;
    const std::size_t used = static_cast<std::size_t>(dstWidth) * 3;
    for (int y = 0; y < dstHeight; ++y) {
        std::uint8_t* row = dst + outRow * y;
        std::memcpy(row, out_.data() + outStride * y, used);
        std::memset(row + used, 0, outRow - used);
    }
    return true;
}

}  // namespace reelcast::platform
