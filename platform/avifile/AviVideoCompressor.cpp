#include "platform/avifile/AviVideoCompressor.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace reelcast::platform::avifile {
namespace {

enum class Rate { Quantiser, None };

struct CompressorDef {
    std::uint32_t handler;
    const char* description;
    const char* encoder;  // libavcodec encoder name; null for uncompressed frames
    AVPixelFormat pixFmt;
    int keyFrameRate;
    int quality;
    Rate rate;
};

// Listing order is the order the choice dialogs show and the order in which a
// family is matched, so the DivX-compatible encoder leads.
const CompressorDef kCompressors[] = {
    {MakeFourCC('D', 'I', 'V', 'X'), "DivX-compatible MPEG-4 Video (libavcodec mpeg4)", "mpeg4",
     AV_PIX_FMT_YUV420P, 250, 9000, Rate::Quantiser},
    {MakeFourCC('X', 'V', 'I', 'D'), "XviD MPEG-4 Codec (libxvidcore)", "libxvid",
     AV_PIX_FMT_YUV420P, 250, 9000, Rate::Quantiser},
    {MakeFourCC('M', 'P', '4', '3'), "Microsoft MPEG-4 Video Codec V3 (libavcodec msmpeg4)",
     "msmpeg4", AV_PIX_FMT_YUV420P, 250, 9000, Rate::Quantiser},
    {MakeFourCC('M', 'P', '4', '2'), "Microsoft MPEG-4 Video Codec V2 (libavcodec msmpeg4v2)",
     "msmpeg4v2", AV_PIX_FMT_YUV420P, 250, 9000, Rate::Quantiser},
    {MakeFourCC('M', 'J', 'P', 'G'), "Motion JPEG (libavcodec mjpeg)", "mjpeg",
     AV_PIX_FMT_YUVJ420P, 0, 9000, Rate::Quantiser},
    {MakeFourCC('c', 'v', 'i', 'd'), "Cinepak Codec (libavcodec cinepak)", "cinepak",
     AV_PIX_FMT_RGB24, 15, 7500, Rate::None},
    {MakeFourCC('M', 'S', 'V', 'C'), "Microsoft Video 1 (libavcodec msvideo1)", "msvideo1",
     AV_PIX_FMT_RGB555LE, 15, 7500, Rate::None},
    {MakeFourCC('H', 'F', 'Y', 'U'), "Huffyuv Lossless Codec (libavcodec huffyuv)", "huffyuv",
     AV_PIX_FMT_YUV422P, 0, 10000, Rate::None},
    {MakeFourCC('F', 'F', 'V', '1'), "FFV1 Lossless Codec (libavcodec ffv1)", "ffv1",
     AV_PIX_FMT_YUV420P, 0, 10000, Rate::None},
    {MakeFourCC('D', 'I', 'B', ' '), "Full Frames (Uncompressed)", nullptr, AV_PIX_FMT_BGR24, 0,
     10000, Rate::None},
};

bool Installed(const CompressorDef& d) {
    return !d.encoder || avcodec_find_encoder_by_name(d.encoder) != nullptr;
}

const CompressorDef* Find(std::uint32_t handler) {
    for (const CompressorDef& d : kCompressors) {
        if (d.handler == handler && Installed(d)) return &d;
    }
    return nullptr;
}

VideoCompressorInfo InfoOf(const CompressorDef& d) {
    return {d.handler, d.description, d.keyFrameRate, d.quality};
}


class FfmpegVideoEncoder final : public VideoEncoder {
public:
    ~FfmpegVideoEncoder() override {
        sws_freeContext(sws_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&ctx_);
    }

    bool Setup(const CompressorDef& def, const BitmapInfoHeader& in, int keyFrameEvery, int quality,
               std::uint32_t fpsNum, std::uint32_t fpsDen, AVRational aspect) {
        def_ = &def;
        width_ = in.width;
        height_ = in.height;
        if (width_ <= 0 || height_ <= 0 || width_ > 16384 || height_ > 16384) return false;
        if (in.compression == 0 && in.bitCount == 24) {
            srcFmt_ = AV_PIX_FMT_BGR24;
            srcStride_ = DibStride(width_, 24);
            bottomUp_ = true;
        } else if (in.compression == 0 && in.bitCount == 32) {
            srcFmt_ = AV_PIX_FMT_BGR0;
            srcStride_ = DibStride(width_, 32);
            bottomUp_ = true;
        } else if (in.compression == MakeFourCC('Y', 'U', 'Y', '2') && in.bitCount == 16) {
            if (width_ & 1) return false;
            srcFmt_ = AV_PIX_FMT_YUYV422;
            srcStride_ = std::uint32_t(width_) * 2;
            bottomUp_ = false;
        } else {
            return false;
        }
        inputSize_ = srcStride_ * std::uint32_t(height_);

        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!frame_ || !packet_) return false;

        BitmapInfoHeader outHdr;
        outHdr.width = width_;
        outHdr.height = height_;
        std::vector<std::uint8_t> extra;
        if (!def.encoder) {
            // Uncompressed: 24-bit bottom-up DIB rows.
            outHdr.bitCount = 24;
            outHdr.compression = 0;
            outHdr.sizeImage = DibStride(width_, 24) * std::uint32_t(height_);
            dstFmt_ = AV_PIX_FMT_BGR24;
        } else {
            const AVCodec* codec = avcodec_find_encoder_by_name(def.encoder);
            if (!codec) return false;
            ctx_ = avcodec_alloc_context3(codec);
            if (!ctx_) return false;
            dstFmt_ = def.pixFmt;
            ctx_->width = width_;
            ctx_->height = height_;
            ctx_->pix_fmt = dstFmt_;
            int num = 0, den = 0;
            av_reduce(&num, &den, fpsDen ? fpsDen : 1, fpsNum ? fpsNum : 25, 65535);
            ctx_->time_base = {num, den};
            ctx_->framerate = {den, num};
            ctx_->codec_tag = def.handler;
            if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den) ctx_->sample_aspect_ratio = aspect;
            ctx_->thread_count = 1;
            ctx_->max_b_frames = 0;  // one chunk per picture, in order
            ctx_->gop_size = keyFrameEvery > 0 ? keyFrameEvery : (def.keyFrameRate > 0 ? def.keyFrameRate : 1);
            if (def.rate == Rate::Quantiser) {
                const int q = quality < 0 ? def.quality : quality;
                // Quality 10000 is quantiser 2, 0 is quantiser 31.
                const int qscale = 2 + (10000 - std::min(10000, q)) * 29 / 10000;
                ctx_->flags |= AV_CODEC_FLAG_QSCALE;
                ctx_->global_quality = FF_QP2LAMBDA * qscale;
            }
            if (dstFmt_ == AV_PIX_FMT_YUVJ420P) ctx_->color_range = AVCOL_RANGE_JPEG;
            if (std::strcmp(def.encoder, "cinepak") == 0) {
                // Trying several strip counts and extra codebook passes per picture
                // makes Cinepak about twice as slow for under 0.1 dB: one strip.
                av_opt_set_int(ctx_->priv_data, "max_strips", 1, 0);
                av_opt_set_int(ctx_->priv_data, "max_extra_cb_iterations", 0, 0);
                av_opt_set_int(ctx_->priv_data, "skip_empty_cb", 1, 0);
            }
            if (avcodec_open2(ctx_, codec, nullptr) < 0) return false;
            outHdr.compression = def.handler;
            int bits = ctx_->bits_per_coded_sample;
            if (bits <= 0) bits = dstFmt_ == AV_PIX_FMT_RGB555LE ? 16 : 24;
            outHdr.bitCount = std::uint16_t(bits);
            outHdr.sizeImage = std::uint32_t(width_) * std::uint32_t(height_) * 3;
            if (ctx_->extradata && ctx_->extradata_size > 0)
                extra.assign(ctx_->extradata, ctx_->extradata + ctx_->extradata_size);
        }
        outHdr.size = std::uint32_t(kBitmapInfoHeaderSize + extra.size());
        format_.resize(kBitmapInfoHeaderSize + extra.size());
        WriteBitmapInfoHeader(format_.data(), outHdr);
        if (!extra.empty()) std::memcpy(format_.data() + kBitmapInfoHeaderSize, extra.data(), extra.size());

        passThrough_ = !def.encoder && srcFmt_ == AV_PIX_FMT_BGR24;
        if (!passThrough_) {
            frame_->format = dstFmt_;
            frame_->width = width_;
            frame_->height = height_;
            if (av_frame_get_buffer(frame_, 0) < 0) return false;
            sws_ = sws_getContext(width_, height_, srcFmt_, width_, height_, dstFmt_,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr);
            if (!sws_) return false;
            if (dstFmt_ == AV_PIX_FMT_YUVJ420P) {
                // Motion JPEG pictures use the full range of the samples.
                const int* coefs = sws_getCoefficients(SWS_CS_ITU601);
                sws_setColorspaceDetails(sws_, coefs, 1, coefs, 1, 0, 1 << 16, 1 << 16);
            }
        }
        return true;
    }

    const std::vector<std::uint8_t>& OutputFormat() const override { return format_; }
    std::uint32_t InputSize() const override { return inputSize_; }

    bool Encode(const void* bits, std::vector<std::uint8_t>* out, bool* keyframe) override {
        if (!bits || !out) return false;
        out->clear();
        const auto* src = static_cast<const std::uint8_t*>(bits);
        if (passThrough_) {
            out->assign(src, src + inputSize_);
            if (keyframe) *keyframe = true;
            return true;
        }
        if (av_frame_make_writable(frame_) < 0) return false;
        const std::uint8_t* planes[1] = {bottomUp_ ? src + std::size_t(srcStride_) * (height_ - 1) : src};
        const int strides[1] = {bottomUp_ ? -int(srcStride_) : int(srcStride_)};
        sws_scale(sws_, planes, strides, 0, height_, frame_->data, frame_->linesize);

        if (!def_->encoder) {
            // Back to a bottom-up 24-bit DIB.
            const std::uint32_t stride = DibStride(width_, 24);
            out->assign(std::size_t(stride) * height_, 0);
            for (int y = 0; y < height_; ++y)
                std::memcpy(out->data() + std::size_t(stride) * (height_ - 1 - y),
                            frame_->data[0] + std::size_t(frame_->linesize[0]) * y, std::size_t(width_) * 3);
            if (keyframe) *keyframe = true;
            return true;
        }
        frame_->pts = pts_++;
        frame_->pict_type = AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(ctx_, frame_) < 0) return false;
        if (keyframe) *keyframe = false;
        for (;;) {
            const int r = avcodec_receive_packet(ctx_, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
            if (r < 0) return false;
            out->insert(out->end(), packet_->data, packet_->data + packet_->size);
            if ((packet_->flags & AV_PKT_FLAG_KEY) && keyframe) *keyframe = true;
            av_packet_unref(packet_);
        }
        return true;
    }

private:
    const CompressorDef* def_ = nullptr;
    AVCodecContext* ctx_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* sws_ = nullptr;
    AVPixelFormat srcFmt_ = AV_PIX_FMT_NONE;
    AVPixelFormat dstFmt_ = AV_PIX_FMT_NONE;
    int width_ = 0, height_ = 0;
    std::uint32_t srcStride_ = 0;
    std::uint32_t inputSize_ = 0;
    bool bottomUp_ = true;
    bool passThrough_ = false;
    std::int64_t pts_ = 0;
    std::vector<std::uint8_t> format_;
};

}  // namespace

bool EnumVideoCompressor(int index, VideoCompressorInfo* out) {
    if (index < 0) return false;
    int n = 0;
    for (const CompressorDef& d : kCompressors) {
        if (!Installed(d)) continue;
        if (n++ == index) {
            if (out) *out = InfoOf(d);
            return true;
        }
    }
    return false;
}

bool FindVideoCompressor(std::uint32_t handler, VideoCompressorInfo* out) {
    const CompressorDef* d = Find(handler);
    if (d && out) *out = InfoOf(*d);
    return d != nullptr;
}

std::unique_ptr<VideoEncoder> VideoEncoder::Open(std::uint32_t handler, const BitmapInfoHeader& in,
                                                 int keyFrameEvery, int quality, std::uint32_t fpsNum,
                                                 std::uint32_t fpsDen, int aspectNum, int aspectDen) {
    const CompressorDef* d = Find(handler);
    if (!d) return nullptr;
    auto enc = std::make_unique<FfmpegVideoEncoder>();
    if (!enc->Setup(*d, in, keyFrameEvery, quality, fpsNum, fpsDen, AVRational{aspectNum, aspectDen}))
        return nullptr;
    return enc;
}

}  // namespace reelcast::platform::avifile
