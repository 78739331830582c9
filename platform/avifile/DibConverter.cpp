#include "platform/avifile/DibConverter.h"

#include <cstring>

#include "platform/avifile/BitmapInfo.h"
#include "platform/avifile/YuvToBgr.h"

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace reelcast::platform {
namespace {

BitmapInfoHeader Header(int w, int h, int bits, std::uint64_t imageBytes, std::uint32_t clrUsed) {
    BitmapInfoHeader hdr;
    hdr.width = w;
    hdr.height = h;
    hdr.bitCount = static_cast<std::uint16_t>(bits);
    hdr.sizeImage = static_cast<std::uint32_t>(imageBytes);
    hdr.clrUsed = clrUsed;
    return hdr;
}

// Pictures in these formats that must be scaled (or are 4:4:4, which swscale
// has no direct 24-bit path for) are scaled by swscale as planar 4:4:4, whose
// vector code covers every step, and then turned into rows of B, G, R by our
// own kernel. Handing the scaler 24-bit output instead runs its general path
// with a per-pixel output stage: several times slower, and chroma at half
// width. Full-range (JPEG) formats keep the general path, which knows their range.
bool PlanarRoute(AVPixelFormat src, int srcW, int srcH, int width, int height) {
    if (src != AV_PIX_FMT_YUV420P && src != AV_PIX_FMT_YUV422P && src != AV_PIX_FMT_YUV444P) return false;
    return src == AV_PIX_FMT_YUV444P || srcW != width || srcH != height;
}

}  // namespace

DibConverter::~DibConverter() {
    sws_freeContext(sws_);
    if (out_) out_->buf[0] = nullptr;  // holder_ is released below, once
    av_frame_free(&out_);
    av_buffer_unref(&holder_);
}

void DibConverter::SetThreads(int threads) { threads_ = threads < 1 ? 1 : threads; }

// With more than one thread swscale splits the picture into bands of output
// rows, each computed from the source as a whole: the same rows as one pass.
bool DibConverter::MakeContext(const AVFrame* f, int width, int height, int dstFormat) {
    const AVPixelFormat src = static_cast<AVPixelFormat>(f->format);
    const AVPixelFormat dst = static_cast<AVPixelFormat>(dstFormat);
    // The planar route's vector code makes bicubic scaling cheap: sharper
    // than bilinear, and it keeps more of the source's detail. Beyond a 2:1
    // reduction both ways the bilinear filter, widened to the reduction, already
    // averages several source pixels, and bicubic would cost twice as much
    // for nothing the luma shows.
    const bool strongReduction = f->width > 2 * width && f->height > 2 * height;
    const int flags = dst == AV_PIX_FMT_BGR24 || strongReduction ? SWS_BILINEAR : SWS_BICUBIC;
    if (threads_ <= 1) {
        sws_ = sws_getCachedContext(sws_, f->width, f->height, src, width, height, dst,
                                    flags, nullptr, nullptr, nullptr);
        return sws_ != nullptr;
    }
    sws_freeContext(sws_);
    sws_ = sws_alloc_context();
    if (!sws_) return false;
    const bool set = av_opt_set_int(sws_, "srcw", f->width, 0) >= 0 && av_opt_set_int(sws_, "srch", f->height, 0) >= 0 &&
                     av_opt_set_int(sws_, "src_format", src, 0) >= 0 && av_opt_set_int(sws_, "dstw", width, 0) >= 0 &&
                     av_opt_set_int(sws_, "dsth", height, 0) >= 0 &&
                     av_opt_set_int(sws_, "dst_format", dst, 0) >= 0 &&
                     av_opt_set_int(sws_, "sws_flags", flags, 0) >= 0 &&
                     av_opt_set_int(sws_, "threads", threads_, 0) >= 0;
    if (!set || sws_init_context(sws_, nullptr, nullptr) < 0) {
        sws_freeContext(sws_);
        sws_ = nullptr;
        return false;
    }
    return true;
}

bool DibConverter::Convert(const AVFrame* f, std::uint8_t* rows, int stride, int height) {
    std::uint8_t* const dst[4] = {rows, nullptr, nullptr, nullptr};
    const int dstStride[4] = {stride, 0, 0, 0};
    return ConvertPlanes(f, dst, dstStride, AV_PIX_FMT_BGR24, height);
}

bool DibConverter::ConvertPlanes(const AVFrame* f, std::uint8_t* const dst[4], const int dstStride[4], int dstFormat,
                                 int height) {
    if (threads_ <= 1) return sws_scale(sws_, f->data, f->linesize, 0, f->height, dst, dstStride) == height;
    // The frame interface is the threaded one; it wants a reference-counted
    // destination, so the caller's rows are lent under a placeholder buffer.
    if (!out_) out_ = av_frame_alloc();
    if (!holder_) holder_ = av_buffer_alloc(1);
    if (!out_ || !holder_) return false;
    out_->buf[0] = holder_;
    out_->format = dstFormat;
    out_->width = key_[3];  // the context's output size
    out_->height = height;
    for (int i = 0; i < 4; ++i) {
        out_->data[i] = dst[i];
        out_->linesize[i] = dstStride[i];
    }
    return sws_scale_frame(sws_, out_, f) >= 0;
}

std::uint64_t DibConverter::Rgb24Bytes(int width, int height) {
    if (!IsDibSize(width, height)) return 0;
    return kBitmapInfoHeaderSize + DibRowSize(width, 24) * static_cast<std::uint64_t>(height);
}

// Bottom-up straight into the bitmap: the picture's top row is the last row.
bool DibConverter::ScaleBottomUp(const AVFrame* f, int height, std::uint8_t* rows,
                                 std::uint64_t rowSize) {
    return Convert(f, rows + rowSize * static_cast<std::uint64_t>(height - 1), -static_cast<int>(rowSize), height);
}

// Run once per conversion set-up, on its first picture, already converted into
// `rows` through the scratch picture: converts it again in the bitmap's own
// layout with a guard after the end, filled with zeros and then with ones, so
// that a store past the end shows in one of the two. Rows are written from the
// end of the bitmap backwards and every row goes through the same routine, so
// the first row's reach stands for every row's. Exact when nothing reached the
// guard and the rows equal the scratch picture's.
bool DibConverter::DirectIsExact(const AVFrame* f, int width, int height, const std::uint8_t* rows,
                                 std::uint64_t rowSize) {
    constexpr std::size_t kGuard = 256;
    const std::size_t bytes = static_cast<std::size_t>(rowSize) * height;
    const std::uint64_t used = static_cast<std::uint64_t>(width) * 3;
    std::vector<std::uint8_t> check(bytes + kGuard);
    for (const std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
        std::memset(check.data() + bytes, fill, kGuard);
        if (!ScaleBottomUp(f, height, check.data(), rowSize)) return false;
        for (std::size_t i = bytes; i < bytes + kGuard; ++i)
            if (check[i] != fill) return false;
        for (int y = 0; y < height; ++y) {
            if (std::memcmp(check.data() + rowSize * y, rows + rowSize * y, used) != 0) return false;
        }
    }
    return true;
}

bool DibConverter::ScaleInto(const AVFrame* f, int width, int height, std::uint8_t* rows,
                             std::uint64_t rowSize) {
    const AVPixelFormat src = static_cast<AVPixelFormat>(f->format);
    if (src == AV_PIX_FMT_NONE || !IsDibSize(f->width, f->height)) return false;
    const int key[6] = {f->width, f->height, src, width, height, threads_};
    const bool planar = PlanarRoute(src, f->width, f->height, width, height);
    if (!sws_ || std::memcmp(key, key_, sizeof key) != 0) {
        if (!MakeContext(f, width, height, planar ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_BGR24)) return false;
        std::memcpy(key_, key, sizeof key);
        direct_ = -1;
    }
    if (planar) return ScalePlanar(f, width, height, rows, rowSize);
    const std::uint64_t padBytes = rowSize - static_cast<std::uint64_t>(width) * 3;
    if (direct_ == 1) {
        // Saves the scratch picture and its copy: most of the cost beside the
        // conversion itself for large pictures.
        if (!ScaleBottomUp(f, height, rows, rowSize)) return false;
        if (padBytes) {
            for (int y = 0; y < height; ++y) std::memset(rows + rowSize * y + width * 3, 0, padBytes);
        }
        return true;
    }
    // swscale's vector stores may run past the end of a packed row, so it
    // writes into a padded scratch picture; the rows are then copied bottom-up
    // (the picture's top row is the bitmap's last).
    const std::uint64_t used = static_cast<std::uint64_t>(width) * 3;
    const int stride = static_cast<int>(ScaleStride(used));
    scratch_.resize(static_cast<std::size_t>(stride) * (height + 1) + 64);
    if (!Convert(f, scratch_.data(), stride, height)) return false;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = rows + rowSize * static_cast<std::uint64_t>(height - 1 - y);
        std::memcpy(row, scratch_.data() + static_cast<std::size_t>(stride) * y, used);
        if (used < rowSize) std::memset(row + used, 0, rowSize - used);
    }
    if (direct_ < 0) {
        direct_ = DirectIsExact(f, width, height, rows, rowSize) ? 1 : 0;
        if (direct_ == 1) {
            scratch_.clear();
            scratch_.shrink_to_fit();
        }
    }
    return true;
}

bool DibConverter::ScalePlanar(const AVFrame* f, int width, int height, std::uint8_t* rows,
                               std::uint64_t rowSize) {
    // Whole cache lines per plane row, and a spare line after each plane for
    // the vector stores' reach past the last row's end.
    const std::size_t stride = ScaleStride(static_cast<std::size_t>(width));
    const std::size_t plane = stride * static_cast<std::size_t>(height) + 64;
    scratch_.resize(3 * plane + 64);
    std::uint8_t* base = scratch_.data();
    std::uint8_t* const planes[4] = {base, base + plane, base + 2 * plane, nullptr};
    const int strides[4] = {static_cast<int>(stride), static_cast<int>(stride), static_cast<int>(stride), 0};
    if (!ConvertPlanes(f, planes, strides, AV_PIX_FMT_YUV444P, height)) return false;
    const YuvRowToBgr24Fn toBgr = YuvRowToBgr24Kernel();
    const std::uint64_t used = static_cast<std::uint64_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        // Bottom-up: the picture's top row is the bitmap's last.
        std::uint8_t* row = rows + rowSize * static_cast<std::uint64_t>(height - 1 - y);
        const std::size_t at = stride * static_cast<std::size_t>(y);
        toBgr(planes[0] + at, planes[1] + at, planes[2] + at, row, width);
        if (used < rowSize) std::memset(row + used, 0, rowSize - used);
    }
    return true;
}

bool DibConverter::Rgb24(const AVFrame* f, int width, int height, std::uint8_t* dst,
                         std::uint64_t dstBytes) {
    const std::uint64_t need = Rgb24Bytes(width, height);
    if (!f || !dst || need == 0 || dstBytes < need) return false;
    const std::uint64_t rowSize = DibRowSize(width, 24);
    WriteBitmapInfoHeader(dst, Header(width, height, 24, rowSize * height, 0));
    return ScaleInto(f, width, height, dst + kBitmapInfoHeaderSize, rowSize);
}

bool DibConverter::IsNative24(const AVFrame* f) {
    const AVPixelFormat fmt = static_cast<AVPixelFormat>(f->format);
    return !(fmt == AV_PIX_FMT_PAL8 && f->data[1]) && fmt != AV_PIX_FMT_BGRA &&
           fmt != AV_PIX_FMT_BGR0;
}

const std::uint8_t* DibConverter::Native(const AVFrame* f, std::uint32_t clrUsed,
                                         std::uint32_t* bytes) {
    if (!f || !IsDibSize(f->width, f->height)) return nullptr;
    const int w = f->width, h = f->height;
    const AVPixelFormat fmt = static_cast<AVPixelFormat>(f->format);
    if (fmt == AV_PIX_FMT_PAL8 && f->data[1]) {  // keep in step with IsNative24
        const std::uint32_t entries = clrUsed == 0 || clrUsed > 256 ? 256 : clrUsed;
        const std::uint64_t rowSize = DibRowSize(w, 8);
        const std::uint64_t total = kBitmapInfoHeaderSize + entries * 4 + rowSize * h;
        buf_.resize(total);
        WriteBitmapInfoHeader(buf_.data(),
                              Header(w, h, 8, rowSize * h, clrUsed > 256 ? 256 : clrUsed));
        std::uint8_t* pal = buf_.data() + kBitmapInfoHeaderSize;
        // The decoder's palette is 256 native-endian 0xAARRGGBB words; a palette
        // entry of a DIB is blue, green, red, reserved.
        for (std::uint32_t i = 0; i < entries; ++i) {
            std::uint32_t argb;
            std::memcpy(&argb, f->data[1] + 4 * i, 4);
            pal[4 * i + 0] = static_cast<std::uint8_t>(argb);
            pal[4 * i + 1] = static_cast<std::uint8_t>(argb >> 8);
            pal[4 * i + 2] = static_cast<std::uint8_t>(argb >> 16);
            pal[4 * i + 3] = 0;
        }
        std::uint8_t* rows = pal + entries * 4;
        for (int y = 0; y < h; ++y) {
            std::uint8_t* d = rows + rowSize * (h - 1 - y);
            std::memcpy(d, f->data[0] + static_cast<std::ptrdiff_t>(f->linesize[0]) * y, w);
            std::memset(d + w, 0, rowSize - w);
        }
        *bytes = static_cast<std::uint32_t>(total);
        return buf_.data();
    }
    if (fmt == AV_PIX_FMT_BGRA || fmt == AV_PIX_FMT_BGR0) {
        const std::uint64_t rowSize = static_cast<std::uint64_t>(w) * 4;
        const std::uint64_t total = kBitmapInfoHeaderSize + rowSize * h;
        buf_.resize(total);
        WriteBitmapInfoHeader(buf_.data(), Header(w, h, 32, rowSize * h, 0));
        std::uint8_t* rows = buf_.data() + kBitmapInfoHeaderSize;
        for (int y = 0; y < h; ++y) {
            std::memcpy(rows + rowSize * (h - 1 - y),
                        f->data[0] + static_cast<std::ptrdiff_t>(f->linesize[0]) * y, rowSize);
        }
        *bytes = static_cast<std::uint32_t>(total);
        return buf_.data();
    }
    const std::uint64_t total = Rgb24Bytes(w, h);
    buf_.resize(total);
    if (!Rgb24(f, w, h, buf_.data(), total)) return nullptr;
    *bytes = static_cast<std::uint32_t>(total);
    return buf_.data();
}

}  // namespace reelcast::platform
