#include "engine/media/VfwVideoData.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/media/MediaText.h"
#include "platform/avifile/BitmapInfo.h"

namespace reelcast::media {
namespace {

using platform::BitmapInfoHeader;
using platform::kBitmapInfoHeaderSize;

// Pictures wider or taller than this are taken for damage.
constexpr std::int32_t kMaxPictureSide = 16384;

}  // namespace

bool VfwVideoData::Init() {
    Close();
    return true;
}

void VfwVideoData::Close() {
    frames_.reset();
    file_.reset();
    srcRate_ = 0;
    width_ = height_ = 0;
    length_ = 0;
    last_ = -1;
}

bool VfwVideoData::Open(const char* path, double frameRate) {
    Close();
    outRate_ = frameRate;
    // Output index / rate must be a time: a zero, negative or non-finite rate is refused.
    if (!(frameRate > 0) || !std::isfinite(frameRate) || !PathFits(path)) return false;
    file_ = platform::AviFile::Open(path);
    if (!file_) return false;
    const int s = file_->FindStream(platform::kStreamTypeVideo);
    if (s < 0) {
        Close();
        return false;
    }
    frames_ = file_->GetFrameOpen(s);
    // Rate and length as the file bears them out: a damaged header must not make
    // every output picture the first one, or the stream endless.
    platform::AviStreamInfo info;
    if (file_->CheckedStreamInfo(s, &info)) {
        if (info.scale != 0) srcRate_ = static_cast<double>(info.rate) / info.scale;
        length_ = info.length;
    }
    // The picture size is the decoder's: a frame rectangle (or a stream format)
    // that disagrees with it is left empty by some writers and damaged in others.
    std::uint32_t bytes = 0;
    const std::uint8_t* first = frames_ ? frames_->GetFrame(0, &bytes) : nullptr;
    if (!first || bytes < kBitmapInfoHeaderSize) {
        frames_.reset();
    } else {
        const BitmapInfoHeader h = platform::ReadBitmapInfoHeader(first);
        width_ = h.width;
        height_ = std::abs(h.height);
    }
    // An empty or absurd picture cannot be handed out.
    if (width_ <= 0 || height_ <= 0 || width_ > kMaxPictureSide || height_ > kMaxPictureSide) frames_.reset();
    if (!frames_) {
        Close();
        return false;
    }
    return true;
}

std::int64_t VfwVideoData::SourceIndex(std::uint32_t index) const {
    double s = std::floor(index / outRate_ * srcRate_ + 0.5);
    if (!std::isfinite(s) || s < 0) s = 0;
    std::int64_t si = s > 4e9 ? static_cast<std::int64_t>(4e9) : static_cast<std::int64_t>(s);
    if (si + 1 > static_cast<std::int64_t>(length_)) si = static_cast<std::int64_t>(length_) - 1;
    return si;
}

bool VfwVideoData::GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) {
    if (!frames_ || !size) return false;
    const std::uint64_t row = ((3ull * width_ + 3) / 4) * 4;
    const std::uint64_t image = row * static_cast<std::uint64_t>(height_);
    *size = static_cast<std::uint32_t>(image + kBitmapInfoHeaderSize);
    if (!buffer) return true;

    const std::int64_t s = SourceIndex(index);
    if (s < 0) return false;  // an empty stream
    // A repeated source picture: the caller's buffer already holds it.
    if (s == last_) return true;
    std::uint32_t bytes = 0;
    // A 24-bit picture of the stream's own size is converted straight into the
    // caller's buffer; any other comes out of the reader and is rewritten below.
    const std::uint8_t* dib = frames_->GetFrameInto(static_cast<std::int32_t>(s), width_, height_,
                                                    buffer, *size, &bytes);
    if (!dib || bytes < kBitmapInfoHeaderSize) return false;
    if (dib == buffer) {
        last_ = s;
        return true;
    }
    const BitmapInfoHeader in = platform::ReadBitmapInfoHeader(dib);
    if (in.bitCount != 8 && in.bitCount != 24 && in.bitCount != 32) {
        last_ = s;  // left as it was, which the callers accept
        return true;
    }
    const std::uint8_t* src = dib + kBitmapInfoHeaderSize;
    std::uint32_t entries = 0;
    if (in.bitCount == 8) entries = in.clrUsed == 0 || in.clrUsed > 256 ? 256 : in.clrUsed;
    const std::uint64_t srcRow = in.bitCount == 32
                                     ? 4ull * std::max(in.width, 0)
                                     : platform::DibRowSize(in.width, in.bitCount);
    const std::int64_t srcH = std::max(in.height, 0);
    // The decoder's picture is read only as far as it reaches, and written only as
    // far as the caller's buffer (the stream's frame size) reaches.
    if (bytes < kBitmapInfoHeaderSize + entries * 4ull) return false;
    const std::uint64_t avail = bytes - kBitmapInfoHeaderSize - entries * 4ull;
    // Remembered only once delivered, so a failed picture is tried again.
    last_ = s;
    const std::int64_t rows =
        std::min<std::int64_t>({height_, srcH, srcRow ? static_cast<std::int64_t>(avail / srcRow) : 0});
    const std::int64_t cols = std::min<std::int64_t>(width_, std::max(in.width, 0));

    BitmapInfoHeader out = in;
    out.bitCount = 24;
    out.sizeImage = static_cast<std::uint32_t>(image);
    out.clrUsed = 0;
    out.width = width_;
    out.height = height_;
    platform::WriteBitmapInfoHeader(buffer, out);
    std::uint8_t* dst = buffer + kBitmapInfoHeaderSize;

    if (in.bitCount == 24 && in.width == width_ && in.height == height_ && rows == height_) {
        std::memcpy(dst, src, image);
        return true;
    }
    if (rows < height_ || cols < width_) std::memset(dst, 0, image);
    if (in.bitCount == 24) {
        for (std::int64_t y = 0; y < rows; ++y)
            std::memcpy(dst + row * y, src + srcRow * y, static_cast<std::size_t>(cols) * 3);
        return true;
    }
    if (in.bitCount == 8) {
        // Palette entries are blue, green, red, reserved; an index past the
        // palette's end shows black.
        std::uint8_t lut[256][3] = {};
        const std::uint8_t* pal = src;
        for (std::uint32_t i = 0; i < entries; ++i) std::memcpy(lut[i], pal + 4 * i, 3);
        const std::uint8_t* pix = src + entries * 4;
        for (std::int64_t y = 0; y < rows; ++y) {
            const std::uint8_t* s8 = pix + srcRow * y;
            std::uint8_t* d = dst + row * y;
            for (std::int64_t x = 0; x < cols; ++x, d += 3) std::memcpy(d, lut[s8[x]], 3);
        }
        return true;
    }
    for (std::int64_t y = 0; y < rows; ++y) {
        const std::uint8_t* s32 = src + srcRow * y;
        std::uint8_t* d = dst + row * y;
        for (std::int64_t x = 0; x < cols; ++x, d += 3, s32 += 4) std::memcpy(d, s32, 3);
    }
    return true;
}

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(VFWVIDEODATA, reelcast::media::VfwVideoData)
