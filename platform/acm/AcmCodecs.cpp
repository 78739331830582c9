#include "platform/acm/AcmCodecs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace reelcast::platform::acm {
namespace {

// Format tags (mmreg.h).
constexpr std::uint16_t kTagPcm = 0x0001;
constexpr std::uint16_t kTagMsAdpcm = 0x0002;
constexpr std::uint16_t kTagALaw = 0x0006;
constexpr std::uint16_t kTagMuLaw = 0x0007;
constexpr std::uint16_t kTagImaAdpcm = 0x0011;
constexpr std::uint16_t kTagMpeg = 0x0050;
constexpr std::uint16_t kTagAc3 = 0x2000;

// One installed codec driver: the format family it makes and the encoder behind it.
struct Family {
    int id;
    std::uint16_t tag;
    const char* tagName;
    const char* shortName;
    const char* longName;
    const char* encoder;    // for PCM: the 16-bit encoder; 8-bit uses pcm_u8
    int kbps[3];            // bit rates offered (compressed frame formats), 0 = none
    bool mpegRatesOnly;     // only 32000, 44100, 48000 Hz
};

const Family kFamilies[] = {
    {0, kTagPcm, "PCM", "MS-PCM", "Microsoft PCM Converter", "pcm_s16le", {0, 0, 0}, false},
    {1, kTagMsAdpcm, "Microsoft ADPCM", "MS-ADPCM", "Microsoft ADPCM CODEC (libavcodec adpcm_ms)",
     "adpcm_ms", {0, 0, 0}, false},
    {2, kTagImaAdpcm, "IMA ADPCM", "IMA ADPCM", "IMA ADPCM CODEC (libavcodec adpcm_ima_wav)",
     "adpcm_ima_wav", {0, 0, 0}, false},
    {3, kTagALaw, "CCITT A-Law", "CCITT G.711", "CCITT G.711 A-Law CODEC (libavcodec pcm_alaw)",
     "pcm_alaw", {0, 0, 0}, false},
    {4, kTagMuLaw, "CCITT u-Law", "CCITT G.711", "CCITT G.711 u-Law CODEC (libavcodec pcm_mulaw)",
     "pcm_mulaw", {0, 0, 0}, false},
    {5, kTagMpeg, "MPEG Layer-2", "MPEG Layer-2", "MPEG Layer-2 Audio CODEC (libavcodec mp2)", "mp2",
     {128, 192, 256}, true},
    {6, kTagAc3, "Dolby AC-3", "AC-3", "Dolby AC-3 Audio CODEC (libavcodec ac3)", "ac3", {192, 384, 0},
     true},
};

bool Installed(const Family& f) { return avcodec_find_encoder_by_name(f.encoder) != nullptr; }

const char* EncoderName(const Family& f, int bits) {
    return (f.tag == kTagPcm && bits == 8) ? "pcm_u8" : f.encoder;
}

void Append16(std::vector<std::uint8_t>& v, std::uint16_t x) {
    v.push_back(std::uint8_t(x));
    v.push_back(std::uint8_t(x >> 8));
}
void Append32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Append16(v, std::uint16_t(x));
    Append16(v, std::uint16_t(x >> 16));
}

// Opens the family's encoder for this shape; null when it refuses.
AVCodecContext* OpenEncoder(const Family& f, int channels, int rate, int bits, int kbps) {
    const AVCodec* codec = avcodec_find_encoder_by_name(EncoderName(f, bits));
    if (!codec) return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) return nullptr;
    ctx->sample_rate = rate;
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    if (kbps) ctx->bit_rate = std::int64_t(kbps) * 1000;
    ctx->time_base = {1, rate};
    if (avcodec_open2(ctx, codec, nullptr) < 0) avcodec_free_context(&ctx);
    return ctx;
}

// The WAVEFORMATEX image of a family's format; empty when the encoder refuses.
std::vector<std::uint8_t> MakeFormat(const Family& f, int channels, int rate, int bits, int kbps) {
    AVCodecContext* ctx = OpenEncoder(f, channels, rate, bits, kbps);
    if (!ctx) return {};
    WaveFormatEx w;
    w.formatTag = f.tag;
    w.channels = std::uint16_t(channels);
    w.samplesPerSec = std::uint32_t(rate);
    std::vector<std::uint8_t> extra;
    switch (f.tag) {
    case kTagPcm:
        w.bitsPerSample = std::uint16_t(bits);
        w.blockAlign = std::uint16_t(channels * bits / 8);
        w.avgBytesPerSec = w.blockAlign * w.samplesPerSec;
        break;
    case kTagALaw:
    case kTagMuLaw:
        w.bitsPerSample = 8;
        w.blockAlign = std::uint16_t(channels);
        w.avgBytesPerSec = w.blockAlign * w.samplesPerSec;
        break;
    case kTagMsAdpcm:
    case kTagImaAdpcm:
        w.bitsPerSample = 4;
        w.blockAlign = std::uint16_t(ctx->block_align);
        w.avgBytesPerSec = ctx->frame_size > 0
            ? std::uint32_t(std::uint64_t(ctx->block_align) * rate / ctx->frame_size) : 0;
        if (f.tag == kTagMsAdpcm && ctx->extradata_size > 0) {
            extra.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
        } else {
            Append16(extra, std::uint16_t(ctx->frame_size));  // samples per block
        }
        break;
    case kTagMpeg:
        // MPEG1WAVEFORMAT: layer 2, the bit rate, stereo or single channel,
        // no emphasis, MPEG-1, no time stamps.
        w.blockAlign = 1;
        w.avgBytesPerSec = std::uint32_t(kbps) * 125;
        Append16(extra, 2);                          // fwHeadLayer: ACM_MPEG_LAYER2
        Append32(extra, std::uint32_t(kbps) * 1000); // dwHeadBitrate
        Append16(extra, channels == 1 ? 8 : 1);      // fwHeadMode: single channel / stereo
        Append16(extra, 1);                          // fwHeadModeExt
        Append16(extra, 1);                          // wHeadEmphasis: none
        Append16(extra, 0x10);                       // fwHeadFlags: ACM_MPEG_ID_MPEG1
        Append32(extra, 0);                          // dwPTSLow
        Append32(extra, 0);                          // dwPTSHigh
        break;
    case kTagAc3:
        w.blockAlign = 1;
        w.avgBytesPerSec = std::uint32_t(kbps) * 125;
        break;
    }
    avcodec_free_context(&ctx);
    w.cbSize = std::uint16_t(extra.size());
    std::vector<std::uint8_t> out(sizeof(w));
    std::memcpy(out.data(), &w, sizeof(w));
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

std::string Describe(const WaveFormatEx& w, int kbps) {
    char buf[96];
    const char* ch = w.channels == 1 ? "Mono" : "Stereo";
    if (kbps) {
        std::snprintf(buf, sizeof buf, "%u.%03u kHz, %d kbit/s, %s", unsigned(w.samplesPerSec / 1000),
                      unsigned(w.samplesPerSec % 1000), kbps, ch);
    } else {
        std::snprintf(buf, sizeof buf, "%u.%03u kHz, %u Bit, %s", unsigned(w.samplesPerSec / 1000),
                      unsigned(w.samplesPerSec % 1000), unsigned(w.bitsPerSample), ch);
    }
    return buf;
}

bool IsMpegRate(std::uint32_t r) { return r == 32000 || r == 44100 || r == 48000; }

const Family* FamilyOfTag(std::uint16_t tag) {
    for (const Family& f : kFamilies)
        if (f.tag == tag && Installed(f)) return &f;
    return nullptr;
}

class FfmpegCodecStream final : public CodecStream {
public:
    ~FfmpegCodecStream() override {
        av_audio_fifo_free(fifo_);
        swr_free(&swr_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&ctx_);
        if (conv_) av_freep(&conv_[0]);
        av_freep(&conv_);
    }

    bool Setup(const Family& f, const WaveFormatEx& src, const WaveFormatEx& dst, int kbps) {
        srcChannels_ = src.channels;
        ctx_ = OpenEncoder(f, dst.channels, int(dst.samplesPerSec),
                           f.tag == kTagPcm ? dst.bitsPerSample : 16, kbps);
        if (!ctx_) return false;
        // The format the encoder writes must be the one the stream header declares.
        if ((f.tag == kTagMsAdpcm || f.tag == kTagImaAdpcm) && ctx_->block_align != dst.blockAlign)
            return false;
        frameSize_ = ctx_->frame_size > 0 ? ctx_->frame_size : 1024;
        AVChannelLayout inLayout;
        av_channel_layout_default(&inLayout, src.channels);
        if (swr_alloc_set_opts2(&swr_, &ctx_->ch_layout, ctx_->sample_fmt, ctx_->sample_rate, &inLayout,
                                AV_SAMPLE_FMT_S16, int(src.samplesPerSec), 0, nullptr) < 0 ||
            swr_init(swr_) < 0)
            return false;
        fifo_ = av_audio_fifo_alloc(ctx_->sample_fmt, ctx_->ch_layout.nb_channels, frameSize_ * 4);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        return fifo_ && frame_ && packet_;
    }

    std::uint32_t OutputSizeFor(std::uint32_t srcBytes) const override {
        // Never more than twice the source plus a few of the largest frames.
        return srcBytes * 2 + 16384;
    }

    std::int64_t Convert(const std::uint8_t* src, std::uint32_t srcBytes, std::uint8_t* out,
                         std::uint32_t cap) override {
        const int blockBytes = 2 * srcChannels_;
        const int inSamples = int(srcBytes / std::uint32_t(blockBytes));
        if (inSamples > 0) {
            if (!src) return -1;
            const int room = swr_get_out_samples(swr_, inSamples);
            if (!Reserve(room)) return -1;
            const std::uint8_t* in[1] = {src};
            const int got = swr_convert(swr_, conv_, room, in, inSamples);
            if (got < 0) return -1;
            if (got > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(conv_), got) < got) return -1;
        }
        return Drain(out, cap, false);
    }

    std::int64_t Flush(std::uint8_t* out, std::uint32_t cap) override {
        // What the resampler still holds, then the last partial frame.
        const int room = swr_get_out_samples(swr_, 0);
        if (room > 0 && Reserve(room)) {
            const int got = swr_convert(swr_, conv_, room, nullptr, 0);
            if (got > 0) av_audio_fifo_write(fifo_, reinterpret_cast<void**>(conv_), got);
        }
        return Drain(out, cap, true);
    }

private:
    bool Reserve(int samples) {
        if (samples <= convCapacity_) return true;
        if (conv_) av_freep(&conv_[0]);
        av_freep(&conv_);
        convCapacity_ = 0;
        if (av_samples_alloc_array_and_samples(&conv_, nullptr, ctx_->ch_layout.nb_channels, samples,
                                               ctx_->sample_fmt, 0) < 0)
            return false;
        convCapacity_ = samples;
        return true;
    }

    std::int64_t Drain(std::uint8_t* out, std::uint32_t cap, bool final) {
        std::int64_t used = 0;
        while (av_audio_fifo_size(fifo_) >= frameSize_ ||
               (final && av_audio_fifo_size(fifo_) > 0)) {
            const int n = std::min(frameSize_, av_audio_fifo_size(fifo_));
            av_frame_unref(frame_);
            // Encoders with a fixed frame take only whole frames: pad with silence.
            const bool fixed = ctx_->frame_size > 0 &&
                               !(ctx_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
            frame_->nb_samples = fixed ? frameSize_ : n;
            frame_->format = ctx_->sample_fmt;
            frame_->sample_rate = ctx_->sample_rate;
            if (av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout) < 0) return -1;
            if (av_frame_get_buffer(frame_, 0) < 0) return -1;
            if (fixed && n < frameSize_)
                av_samples_set_silence(frame_->data, n, frameSize_ - n, ctx_->ch_layout.nb_channels,
                                       ctx_->sample_fmt);
            if (av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), n) < n) return -1;
            frame_->pts = pts_;
            pts_ += frame_->nb_samples;
            if (avcodec_send_frame(ctx_, frame_) < 0) return -1;
            if (!Receive(out, cap, &used)) return -1;
        }
        if (final && (ctx_->codec->capabilities & AV_CODEC_CAP_DELAY)) {
            if (avcodec_send_frame(ctx_, nullptr) < 0) return -1;
            if (!Receive(out, cap, &used)) return -1;
        }
        return used;
    }

    bool Receive(std::uint8_t* out, std::uint32_t cap, std::int64_t* used) {
        for (;;) {
            const int r = avcodec_receive_packet(ctx_, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            if (!out || *used + packet_->size > std::int64_t(cap)) {
                av_packet_unref(packet_);
                return false;
            }
            std::memcpy(out + *used, packet_->data, std::size_t(packet_->size));
            *used += packet_->size;
            av_packet_unref(packet_);
        }
    }

    AVCodecContext* ctx_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::uint8_t** conv_ = nullptr;
    int convCapacity_ = 0;
    int frameSize_ = 1024;
    int srcChannels_ = 2;
    std::int64_t pts_ = 0;
};

}  // namespace

std::uint32_t MaxFormatSize() {
    // MS ADPCM carries the largest extra data: 32 bytes of block size and
    // coefficient pairs after the 18-byte header.
    return 18 + 32;
}

std::vector<FormatChoice> EnumFormats(const WaveFormatEx& source) {
    std::vector<FormatChoice> out;
    if (source.formatTag != kTagPcm || source.samplesPerSec == 0) return out;
    const int rate = int(source.samplesPerSec);
    for (const Family& f : kFamilies) {
        if (!Installed(f)) continue;
        if (f.mpegRatesOnly && !IsMpegRate(source.samplesPerSec)) continue;
        for (int channels : {2, 1}) {
            if (channels > source.channels) continue;
            const int bitsList[2] = {16, 8};
            const int nBits = f.tag == kTagPcm ? 2 : 1;
            for (int b = 0; b < nBits; ++b) {
                const int nRates = f.kbps[0] ? 3 : 1;
                for (int k = 0; k < nRates; ++k) {
                    const int kbps = f.kbps[0] ? f.kbps[k] : 0;
                    if (f.kbps[0] && !kbps) continue;
                    if (f.tag == kTagMpeg && channels == 1 && kbps > 192) continue;
                    std::vector<std::uint8_t> fmt = MakeFormat(f, channels, rate, bitsList[b], kbps);
                    if (fmt.empty()) continue;
                    WaveFormatEx w;
                    std::memcpy(&w, fmt.data(), sizeof w);
                    out.push_back({std::move(fmt), f.tagName, Describe(w, kbps)});
                }
            }
        }
    }
    return out;
}

std::vector<CodecDriver> CodecDrivers() {
    std::vector<CodecDriver> out;
    for (const Family& f : kFamilies)
        if (Installed(f)) out.push_back({f.id, f.shortName, f.longName});
    return out;
}

std::unique_ptr<CodecStream> CodecStream::Open(int driverId, const WaveFormatEx& source,
                                               const std::vector<std::uint8_t>& dest) {
    if (source.formatTag != kTagPcm || source.bitsPerSample != 16 || source.channels < 1 ||
        source.channels > 2 || source.samplesPerSec == 0 || dest.size() < sizeof(WaveFormatEx))
        return nullptr;
    WaveFormatEx dst;
    std::memcpy(&dst, dest.data(), sizeof dst);
    if (dst.channels < 1 || dst.channels > 2 || dst.samplesPerSec == 0 ||
        dest.size() < sizeof(WaveFormatEx) + dst.cbSize)
        return nullptr;
    const Family* f = FamilyOfTag(dst.formatTag);
    if (!f || (driverId >= 0 && driverId != f->id)) return nullptr;
    if (f->tag == kTagPcm && dst.bitsPerSample != 8 && dst.bitsPerSample != 16) return nullptr;
    if (f->mpegRatesOnly && !IsMpegRate(dst.samplesPerSec)) return nullptr;
    int kbps = 0;
    if (f->kbps[0]) {
        kbps = int(dst.avgBytesPerSec / 125);
        if (kbps <= 0) return nullptr;
    }
    auto s = std::make_unique<FfmpegCodecStream>();
    if (!s->Setup(*f, source, dst, kbps)) return nullptr;
    return s;
}

}  // namespace reelcast::platform::acm
