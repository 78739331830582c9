#include "platform/dshow/FilterGraph.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/avifile/MediaInput.h"
#include "platform/avifile/PictureFilter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace reelcast::platform {
namespace {

struct SourcePin {
    MediaSubtype subtype = MediaSubtype::Unknown;
    std::vector<GraphPin> downstream;
};

bool StartsWithCdxa(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    unsigned char h[12];
    const bool ok = std::fread(h, 1, 12, f) == 12 && std::memcmp(h, "RIFF", 4) == 0 &&
                    std::memcmp(h + 8, "CDXA", 4) == 0;
    std::fclose(f);
    return ok;
}

bool HasCodec(const AVFormatContext* fmt, AVCodecID id) {
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (fmt->streams[i]->codecpar->codec_id == id) return true;
    return false;
}

bool NameIs(const char* names, const char* name) {
    // A demuxer's name may list several, e.g. "mov,mp4,m4a,3gp,3g2,mj2".
    const std::size_t n = std::strlen(name);
    for (const char* p = names; p && *p;) {
        const char* comma = std::strchr(p, ',');
        const std::size_t len = comma ? static_cast<std::size_t>(comma - p) : std::strlen(p);
        if (len == n && std::strncmp(p, name, n) == 0) return true;
        p = comma ? comma + 1 : nullptr;
    }
    return false;
}

// The subtype a source filter would give the whole file.
MediaSubtype FileSubtype(const AVFormatContext* fmt, const char* path) {
    const char* name = fmt->iformat->name;
    if (NameIs(name, "mpeg")) {
        if (StartsWithCdxa(path)) return MediaSubtype::Mpeg1VideoCD;
        return HasCodec(fmt, AV_CODEC_ID_MPEG2VIDEO) ? MediaSubtype::Mpeg2Program
                                                     : MediaSubtype::Mpeg1System;
    }
    if (NameIs(name, "mpegvideo")) return MediaSubtype::Mpeg1Video;
    if (NameIs(name, "mp3")) {
        // Layer I/II at the lower sampling frequencies of ISO/IEC 13818-3.
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            const AVCodecParameters* p = fmt->streams[i]->codecpar;
            if ((p->codec_id == AV_CODEC_ID_MP2 || p->codec_id == AV_CODEC_ID_MP1) &&
                p->sample_rate > 0 && p->sample_rate < 32000)
                return MediaSubtype::Mpeg2Audio;
        }
        return MediaSubtype::Mpeg1Audio;
    }
    if (NameIs(name, "wav")) return MediaSubtype::Wave;
    if (NameIs(name, "ac3")) return MediaSubtype::DolbyAc3;
    if (fmt->nb_streams == 1 && fmt->streams[0]->codecpar->codec_id == AV_CODEC_ID_PCM_DVD)
        return MediaSubtype::DvdLpcmAudio;
    return MediaSubtype::Unknown;
}

std::uint16_t WaveTag(const AVCodecParameters* p) {
    if (p->codec_tag != 0 && p->codec_tag <= 0xFFFF) return static_cast<std::uint16_t>(p->codec_tag);
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    const unsigned tag = av_codec_get_tag(tables, p->codec_id);
    return tag <= 0xFFFF ? static_cast<std::uint16_t>(tag) : 0;
}

std::uint32_t CompressionCode(const AVCodecParameters* p) {
    if (p->codec_tag != 0) return p->codec_tag;
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    return av_codec_get_tag(tables, p->codec_id);
}

MediaType StreamType(const AVStream* st) {
    const AVCodecParameters* p = st->codecpar;
    MediaType t;
    if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
        t.major = MajorType::Video;
        if (p->codec_id == AV_CODEC_ID_MPEG1VIDEO) {
            t.format = FormatType::Mpeg1Video;
        } else if (p->codec_id == AV_CODEC_ID_MPEG2VIDEO) {
            t.format = FormatType::Mpeg2Video;
        } else {
            t.format = FormatType::VideoInfo;
            t.bmi.compression = CompressionCode(p);
        }
        t.formatSize = kVideoInfoFormatSize;
        int w = p->width, h = p->height;
        DisplaySize(st, &w, &h);  // the size of the pictures as they are shown
        t.bmi.width = w;
        t.bmi.height = h;
        t.bmi.bitCount = static_cast<std::uint16_t>(p->bits_per_coded_sample > 0 &&
                                                            p->bits_per_coded_sample <= 64
                                                        ? p->bits_per_coded_sample
                                                        : 0);
        AVRational r = st->avg_frame_rate;
        if (r.num > 0 && r.den > 0) {
            // Time per frame in 100 ns units, rounded as the filters store it.
            t.avgTimePerFrame = av_rescale(10000000, r.den, r.num);
        }
    } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
        t.major = MajorType::Audio;
        t.format = FormatType::WaveFormatEx;
        t.formatSize = 18;
        WaveFormat& w = t.wave;
        w.formatTag = WaveTag(p);
        w.channels = static_cast<std::uint16_t>(p->ch_layout.nb_channels);
        w.samplesPerSec = p->sample_rate > 0 ? static_cast<std::uint32_t>(p->sample_rate) : 0;
        w.bitsPerSample = static_cast<std::uint16_t>(p->bits_per_coded_sample);
        w.blockAlign = static_cast<std::uint16_t>(p->block_align);
        // Sample sizes say something about the rate of PCM only: a compressed
        // stream whose container gives no bit rate (Vorbis in WebM) has none
        // rather than that of its decoded samples.
        const bool pcm = av_get_exact_bits_per_sample(p->codec_id) > 0 && w.bitsPerSample;
        if (w.blockAlign == 0)
            w.blockAlign = pcm ? static_cast<std::uint16_t>(w.channels * w.bitsPerSample / 8) : 1;
        std::int64_t bitRate = p->bit_rate;
        if (bitRate <= 0 && pcm) bitRate = static_cast<std::int64_t>(w.samplesPerSec) * w.blockAlign * 8;
        w.avgBytesPerSec = bitRate > 0 ? static_cast<std::uint32_t>(bitRate / 8) : 0;
    }
    return t;
}

}  // namespace

struct FilterGraph::Impl {
    AVFormatContext* fmt = nullptr;
    std::vector<SourcePin> pins;
    int videoStream = -1;
    std::int64_t duration = 0;  // 100 ns units
    ~Impl() { avformat_close_input(&fmt); }
};

namespace {

// The duration of a file whose container keeps no time (an elementary stream):
// a guess from the bit rate can be far off (a sequence header's bit rate is often
// the "variable" code), so read the packets' time stamps to the end instead. Only
// the packets are read, nothing is decoded. 0 when nothing has a time.
std::int64_t ScanDuration(AVFormatContext* fmt) {
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return 0;
    std::int64_t first = INT64_MAX, last = INT64_MIN;
    while (av_read_frame(fmt, pkt) >= 0) {
        const AVStream* st = fmt->streams[pkt->stream_index];
        std::int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (t != AV_NOPTS_VALUE && st->time_base.num > 0) {
            const std::int64_t begin = av_rescale_q(t, st->time_base, AVRational{1, 10000000});
            const std::int64_t end =
                av_rescale_q(t + std::max<std::int64_t>(pkt->duration, 0), st->time_base,
                             AVRational{1, 10000000});
            first = std::min(first, begin);
            last = std::max(last, end);
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    if (avformat_seek_file(fmt, -1, INT64_MIN, 0, 0, 0) < 0)
        av_seek_frame(fmt, -1, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
    return last > first ? last - first : 0;
}

// A duration taken from the time stamps of a file's last packets ends where the
// last picture starts; the graph's duration runs to where it ends. Reads the
// file's last megabyte for the latest packet end. 0 when that cannot be done.
std::int64_t TailDuration(AVFormatContext* fmt) {
    if (fmt->start_time == AV_NOPTS_VALUE || !fmt->pb || (fmt->iformat->flags & AVFMT_NO_BYTE_SEEK))
        return 0;
    const std::int64_t size = avio_size(fmt->pb);
    if (size <= 0) return 0;
    if (av_seek_frame(fmt, -1, std::max<std::int64_t>(0, size - (1 << 20)), AVSEEK_FLAG_BYTE) < 0)
        return 0;
    AVPacket* pkt = av_packet_alloc();
    std::int64_t last = INT64_MIN;
    std::vector<std::int64_t> streamEnd(fmt->nb_streams, AV_NOPTS_VALUE);
    while (pkt && av_read_frame(fmt, pkt) >= 0) {
        const AVStream* st = fmt->streams[pkt->stream_index];
        std::int64_t d = pkt->duration;
        // The parser leaves the last picture's duration out; it is one frame.
        if (d <= 0 && st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
            d = av_rescale_q(1, av_inv_q(st->avg_frame_rate), st->time_base);
        d = std::max<std::int64_t>(d, 0);
        // Streams found while reading join the list.
        if (static_cast<std::size_t>(pkt->stream_index) >= streamEnd.size())
            streamEnd.resize(pkt->stream_index + 1, AV_NOPTS_VALUE);
        std::int64_t& end = streamEnd[pkt->stream_index];
        // The last picture may come without a presentation time: it follows the
        // latest one shown.
        if (pkt->pts != AV_NOPTS_VALUE) {
            end = end == AV_NOPTS_VALUE ? pkt->pts + d : std::max(end, pkt->pts + d);
        } else if (end != AV_NOPTS_VALUE) {
            end += d;
        }
        if (end != AV_NOPTS_VALUE && st->time_base.num > 0)
            last = std::max(last, av_rescale_q(end, st->time_base, AVRational{1, 10000000}));
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    if (avformat_seek_file(fmt, -1, INT64_MIN, 0, 0, 0) < 0)
        av_seek_frame(fmt, -1, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
    const std::int64_t start = av_rescale(fmt->start_time, 10000000, AV_TIME_BASE);
    return last > start ? last - start : 0;
}

}  // namespace

FilterGraph::FilterGraph() : impl_(std::make_unique<Impl>()) {}
FilterGraph::~FilterGraph() = default;

bool FilterGraph::RenderFile(const char* path) {
    impl_ = std::make_unique<Impl>();
    impl_->fmt = OpenMediaInput(path, nullptr, true);
    AVFormatContext* fmt = impl_->fmt;
    if (!fmt) return false;
    const bool asf = NameIs(fmt->iformat->name, "asf");
    const MediaSubtype subtype = FileSubtype(fmt, path);
    int rendered = 0;
    int videoCount = 0, audioCount = 0;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        const AVMediaType kind = st->codecpar->codec_type;
        if (kind != AVMEDIA_TYPE_VIDEO && kind != AVMEDIA_TYPE_AUDIO) continue;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        if (asf) impl_->pins.push_back({MediaSubtype::AsfStream, {}});
        const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
        // A stream without a decoder leaves its pin unconnected.
        if (!codec) continue;
        GraphPin pin;
        const bool video = kind == AVMEDIA_TYPE_VIDEO;
        int& count = video ? videoCount : audioCount;
        ++count;
        pin.name = video ? "Video" : "Audio";
        if (count > 1) pin.name += " " + std::to_string(count);
        pin.connectedFilter = codec->long_name ? codec->long_name : codec->name;
        pin.type = StreamType(st);
        if (video && impl_->videoStream < 0) impl_->videoStream = static_cast<int>(i);
        if (asf) {
            impl_->pins.back().downstream.push_back(std::move(pin));
        } else {
            if (impl_->pins.empty()) impl_->pins.push_back({subtype, {}});
            impl_->pins.back().downstream.push_back(std::move(pin));
        }
        ++rendered;
    }
    if (rendered == 0) {
        impl_ = std::make_unique<Impl>();
        return false;
    }
    if (fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE || fmt->duration <= 0 ||
        fmt->duration == AV_NOPTS_VALUE) {
        impl_->duration = ScanDuration(fmt);
    } else if (fmt->duration_estimation_method == AVFMT_DURATION_FROM_PTS) {
        impl_->duration = TailDuration(fmt);
        if (impl_->duration <= 0) impl_->duration = av_rescale(fmt->duration, 10000000, AV_TIME_BASE);
    } else {
        impl_->duration = av_rescale(fmt->duration, 10000000, AV_TIME_BASE);
    }
    return true;
}

std::int64_t FilterGraph::Duration() const { return impl_->duration; }

int FilterGraph::SourcePinCount() const { return static_cast<int>(impl_->pins.size()); }

MediaSubtype FilterGraph::SourcePinSubtype(int pin) const {
    if (pin < 0 || pin >= SourcePinCount()) return MediaSubtype::Unknown;
    return impl_->pins[pin].subtype;
}

int FilterGraph::DownstreamPinCount(int pin) const {
    if (pin < 0 || pin >= SourcePinCount()) return 0;
    return static_cast<int>(impl_->pins[pin].downstream.size());
}

const GraphPin* FilterGraph::DownstreamPin(int pin, int k) const {
    if (k < 0 || k >= DownstreamPinCount(pin)) return nullptr;
    return &impl_->pins[pin].downstream[k];
}

int FilterGraph::MeasureFrameRate(std::int64_t milliseconds) {
    AVFormatContext* fmt = impl_->fmt;
    const int vs = impl_->videoStream;
    if (!fmt || vs < 0) return 0;
    if (milliseconds <= 0) milliseconds = 5000;
    AVStream* st = fmt->streams[vs];
    if (st->time_base.num <= 0 || st->time_base.den <= 0) return 0;
    // Only the video stream's packets are needed: one packet is one picture.
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        fmt->streams[i]->discard = static_cast<int>(i) == vs ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    if (avformat_seek_file(fmt, -1, INT64_MIN, 0, 0, 0) < 0)
        av_seek_frame(fmt, vs, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
    const std::int64_t window = av_rescale_q(milliseconds, AVRational{1, 1000}, st->time_base);
    std::int64_t start = AV_NOPTS_VALUE;
    std::int64_t pictures = 0;
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return 0;
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == vs && pkt->size > 0) {
            std::int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (t != AV_NOPTS_VALUE) {
                if (start == AV_NOPTS_VALUE || t < start) start = t;
                if (t - start >= window) {
                    av_packet_unref(pkt);
                    break;
                }
            }
            ++pictures;
        }
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    for (unsigned i = 0; i < fmt->nb_streams; ++i) fmt->streams[i]->discard = AVDISCARD_DEFAULT;
    if (pictures == 0) return 0;
    return static_cast<int>(pictures * 100 * 1000 / milliseconds);
}

}  // namespace reelcast::platform
