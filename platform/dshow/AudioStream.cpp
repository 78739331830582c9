#include "platform/dshow/AudioStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/avifile/MediaInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace reelcast::platform {
namespace {

// Sound that starts this much before or after the first picture is taken as it
// is rather than padded or cut: such time stamps are damaged.
constexpr int kMaxLeadSeconds = 3600;

}  // namespace

struct AudioStream::Impl {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* dec = nullptr;
    AVPacket* pkt = nullptr;
    AVFrame* frame = nullptr;
    SwrContext* swr = nullptr;
    int stream = -1;
    int channels = 0;
    int rate = 0;
    // The input side the resampler was set up for; a change mid-stream rebuilds it.
    int inFormat = -1;
    int inRate = 0;
    AVChannelLayout inLayout{};
    std::vector<std::uint8_t> pending;  // converted sound not yet handed out
    std::size_t pendingPos = 0;
    std::size_t pendingLen = 0;
    bool draining = false;
    bool ended = false;
    // Alignment with the first picture: silence still to be handed out before
    // the sound, or sample frames still to be dropped from its start.
    std::int64_t leadFrames = 0;
    std::int64_t dropFrames = 0;

    ~Impl() {
        swr_free(&swr);
        av_channel_layout_uninit(&inLayout);
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&dec);
        avformat_close_input(&fmt);
    }

    bool Receive() {
        for (;;) {
            int rc = avcodec_receive_frame(dec, frame);
            if (rc >= 0) {
                if (frame->nb_samples > 0) return true;
                av_frame_unref(frame);
                continue;
            }
            if (rc != AVERROR(EAGAIN) || draining) return false;
            for (;;) {
                rc = av_read_frame(fmt, pkt);
                if (rc < 0) {
                    draining = true;
                    avcodec_send_packet(dec, nullptr);
                    break;
                }
                if (pkt->stream_index != stream || pkt->size <= 0) {
                    av_packet_unref(pkt);
                    continue;
                }
                rc = avcodec_send_packet(dec, pkt);
                av_packet_unref(pkt);
                if (rc >= 0 || rc == AVERROR(EAGAIN)) break;
                // A damaged packet: skip it.
            }
        }
    }

    bool SetUpResampler() {
        AVChannelLayout in{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0)
            av_channel_layout_default(&in, frame->ch_layout.nb_channels > 0 ? frame->ch_layout.nb_channels : channels);
        else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0)
            return false;
        if (swr && inFormat == frame->format && inRate == frame->sample_rate &&
            av_channel_layout_compare(&in, &inLayout) == 0) {
            av_channel_layout_uninit(&in);
            return true;
        }
        AVChannelLayout out{};
        av_channel_layout_default(&out, channels);
        swr_free(&swr);
        int rc = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, rate, &in,
                                     static_cast<AVSampleFormat>(frame->format), frame->sample_rate,
                                     0, nullptr);
        av_channel_layout_uninit(&out);
        av_channel_layout_uninit(&inLayout);
        inLayout = in;
        inFormat = frame->format;
        inRate = frame->sample_rate;
        if (rc < 0 || swr_init(swr) < 0) {
            swr_free(&swr);
            return false;
        }
        return true;
    }

    // Converts the decoded frame (or, with flush, what the resampler holds) into
    // pending. False when nothing could be converted.
    bool Convert(bool flush) {
        if (!swr) return false;
        const int inSamples = flush ? 0 : frame->nb_samples;
        const int room = swr_get_out_samples(swr, inSamples);
        if (room <= 0) return false;
        const std::size_t block = static_cast<std::size_t>(channels) * 2;
        // Grows only when a larger frame than any before arrives.
        if (pending.size() < room * block) pending.resize(room * block);
        std::uint8_t* out[1] = {pending.data()};
        const int got = swr_convert(swr, out, room,
                                    flush ? nullptr : const_cast<const std::uint8_t**>(frame->extended_data),
                                    inSamples);
        if (!flush) av_frame_unref(frame);
        if (got <= 0) return false;
        pendingPos = 0;
        pendingLen = static_cast<std::size_t>(got) * block;
        return true;
    }

    // Drops what is still to be dropped from the start of pending.
    void DropLeading() {
        const std::size_t block = static_cast<std::size_t>(channels) * 2;
        const std::size_t have = (pendingLen - pendingPos) / block;
        const std::size_t n = dropFrames < static_cast<std::int64_t>(have) ? static_cast<std::size_t>(dropFrames) : have;
        pendingPos += n * block;
        dropFrames -= static_cast<std::int64_t>(n);
    }

    // Refills pending from the next decoded frame. False at the end of the sound.
    bool Next() {
        while (!ended) {
            if (!Receive()) {
                ended = true;
                if (!Convert(true)) return false;
                DropLeading();
                return pendingPos < pendingLen;
            }
            if (frame->sample_rate <= 0 || !SetUpResampler()) {
                av_frame_unref(frame);
                continue;
            }
            if (!Convert(false)) continue;
            DropLeading();
            if (pendingPos < pendingLen) return true;
        }
        return false;
    }

    // Where the sound starts against the first picture, from the time stamps of
    // the first decoded sound and of the file's first video stream (the one the
    // frame sources read; its pictures are counted from its start time). A file
    // without pictures, or without usable stamps, keeps its sound as it is.
    void AlignToPictures() {
        const AVStream* as = fmt->streams[stream];
        std::int64_t first = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
        if (first == AV_NOPTS_VALUE) first = as->start_time;
        if (first == AV_NOPTS_VALUE || as->time_base.num <= 0 || as->time_base.den <= 0) return;
        const AVStream* vs = nullptr;
        for (unsigned i = 0; i < fmt->nb_streams && !vs; ++i) {
            const AVStream* st = fmt->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
                vs = st;
        }
        if (!vs || vs->start_time == AV_NOPTS_VALUE || vs->time_base.num <= 0 || vs->time_base.den <= 0) return;
        // Both in sample frames of the sound's own rate.
        const AVRational perFrame{1, rate};
        const std::int64_t soundAt = av_rescale_q(first, as->time_base, perFrame);
        const std::int64_t pictureAt = av_rescale_q(vs->start_time, vs->time_base, perFrame);
        const std::int64_t lead = soundAt - pictureAt;
        // Stamps further apart than this are damage, not a late start.
        if (lead > static_cast<std::int64_t>(kMaxLeadSeconds) * rate || lead < -static_cast<std::int64_t>(kMaxLeadSeconds) * rate)
            return;
        if (lead > 0) leadFrames = lead;
        else dropFrames = -lead;
    }
};

AudioStream::AudioStream() : impl_(std::make_unique<Impl>()) {}
AudioStream::~AudioStream() = default;

bool AudioStream::Open(const char* path) {
    impl_ = std::make_unique<Impl>();
    Impl& s = *impl_;
    s.fmt = OpenMediaInput(path, nullptr, true);
    if (!s.fmt) return false;
    const AVCodec* codec = nullptr;
    s.stream = av_find_best_stream(s.fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (s.stream < 0 || !codec) return false;
    for (unsigned i = 0; i < s.fmt->nb_streams; ++i)
        if (static_cast<int>(i) != s.stream) s.fmt->streams[i]->discard = AVDISCARD_ALL;
    s.dec = avcodec_alloc_context3(codec);
    s.pkt = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (!s.dec || !s.pkt || !s.frame ||
        avcodec_parameters_to_context(s.dec, s.fmt->streams[s.stream]->codecpar) < 0 ||
        avcodec_open2(s.dec, codec, nullptr) < 0)
        return false;
    // The first decoded frame tells the real format.
    if (!s.Receive()) return false;
    s.channels = s.frame->ch_layout.nb_channels;
    s.rate = s.frame->sample_rate;
    if (s.channels < 1 || s.channels > 8 || s.rate < 1 || s.rate > 768000) return false;
    if (!s.SetUpResampler()) return false;
    s.AlignToPictures();
    s.Convert(false);
    s.DropLeading();
    return true;
}

WaveFormat AudioStream::Format() const {
    if (impl_->channels == 0) return WaveFormat{};
    return MakePcmFormat(static_cast<std::uint16_t>(impl_->channels),
                         static_cast<std::uint32_t>(impl_->rate), 16);
}

AudioStream::Status AudioStream::Update(std::uint8_t* buffer, std::uint32_t capacity,
                                        std::uint32_t* filled) {
    *filled = 0;
    Impl& s = *impl_;
    if (!s.dec || !buffer) return kFailed;
    const std::uint32_t block = static_cast<std::uint32_t>(s.channels) * 2;
    capacity -= capacity % block;
    if (s.leadFrames > 0 && capacity > 0) {
        const std::int64_t n = std::min<std::int64_t>(s.leadFrames, capacity / block);
        std::memset(buffer, 0, static_cast<std::size_t>(n) * block);
        s.leadFrames -= n;
        *filled = static_cast<std::uint32_t>(n) * block;
    }
    while (*filled < capacity) {
        if (s.pendingPos == s.pendingLen && !s.Next()) break;
        const std::size_t n = std::min<std::size_t>(capacity - *filled, s.pendingLen - s.pendingPos);
        std::memcpy(buffer + *filled, s.pending.data() + s.pendingPos, n);
        s.pendingPos += n;
        *filled += static_cast<std::uint32_t>(n);
    }
    return *filled > 0 ? kOk : kEndOfStream;
}

}  // namespace reelcast::platform
