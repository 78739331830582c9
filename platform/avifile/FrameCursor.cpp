#include "platform/avifile/FrameCursor.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace reelcast::platform {

FrameCursor::~FrameCursor() { Close(); }

void FrameCursor::Close() {
    filter_.Close();
    filterEnded_ = false;
    av_frame_free(&raw_);
    avcodec_free_context(&dec_);
    av_packet_free(&pkt_);
    av_frame_free(&cur_);
    av_frame_free(&next_);
    fmt_ = nullptr;
    stream_ = -1;
    haveCur_ = haveNext_ = draining_ = eof_ = false;
    firstSentDts_ = AV_NOPTS_VALUE;
    dtsDelay_ = -1;
    stampShift_ = 0;
    rebase_ = false;
}

bool FrameCursor::Open(AVFormatContext* fmt, int streamIndex, int threads) {
    Close();
    if (!fmt || streamIndex < 0 || streamIndex >= static_cast<int>(fmt->nb_streams)) return false;
    AVStream* st = fmt->streams[streamIndex];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return false;
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return false;
    dec_ = avcodec_alloc_context3(codec);
    pkt_ = av_packet_alloc();
    cur_ = av_frame_alloc();
    next_ = av_frame_alloc();
    raw_ = av_frame_alloc();
    if (!dec_ || !pkt_ || !cur_ || !next_ || !raw_ ||
        avcodec_parameters_to_context(dec_, st->codecpar) < 0) {
        Close();
        return false;
    }
    dec_->thread_count = threads;
    dec_->pkt_timebase = st->time_base;
    if (avcodec_open2(dec_, codec, nullptr) < 0) {
        Close();
        return false;
    }
    fmt_ = fmt;
    stream_ = streamIndex;
    filter_.Open(st);
    decodeOrderStamps_ = fmt->iformat && std::strcmp(fmt->iformat->name, "avi") == 0;
    // Discard the packets of every other stream in the demuxer.
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex) fmt->streams[i]->discard = AVDISCARD_ALL;
    }
    AVRational rate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate
                                                                               : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0 && st->time_base.num > 0) {
        step_ = av_rescale_q(1, av_inv_q(rate), st->time_base);
        if (step_ <= 0) step_ = 1;
    }
    // Decoding forward up to ten seconds is cheaper than a seek and a new start
    // at the previous key picture.
    farAhead_ = st->time_base.num > 0 ? av_rescale_q(10, AVRational{1, 1}, st->time_base) : 0;
    return true;
}

bool FrameCursor::DecodeNext(AVFrame* into, std::int64_t* pts) {
    av_frame_unref(into);
    for (;;) {
        if (filter_.Pull(into)) {
            *pts = into->pts;
            return true;
        }
        if (filterEnded_) return false;
        std::int64_t t = 0;
        if (DecodeRaw(raw_, &t)) {
            raw_->pts = t;
            if (!filter_.Push(raw_)) av_frame_unref(raw_);
        } else {
            filter_.Push(nullptr);
            filterEnded_ = true;
        }
    }
}

bool FrameCursor::DecodeRaw(AVFrame* into, std::int64_t* pts) {
    for (;;) {
        int rc = avcodec_receive_frame(dec_, into);
        if (rc >= 0) {
            std::int64_t t = into->best_effort_timestamp;
            if (decodeOrderStamps_ && t != AV_NOPTS_VALUE) {
                if (dtsDelay_ < 0 && firstSentDts_ != AV_NOPTS_VALUE) {
                    // At most the decoder's reordering depth: pictures it could
                    // not decode at the start (a stream cut after a key picture)
                    // keep their place.
                    const std::int64_t reorder = static_cast<std::int64_t>(dec_->has_b_frames) * step_;
                    dtsDelay_ = t > firstSentDts_ ? std::min(t - firstSentDts_, reorder) : 0;
                }
                if (dtsDelay_ > 0) t -= dtsDelay_;
                t -= stampShift_;
            }
            if (t == AV_NOPTS_VALUE) t = into->pts;
            if (t == AV_NOPTS_VALUE) t = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + step_;
            lastPts_ = t;
            *pts = t;
            return true;
        }
        if (rc == AVERROR_EOF) return false;
        if (rc != AVERROR(EAGAIN)) return false;
        if (draining_) return false;
        // Feed the next packet of our stream.
        for (;;) {
            rc = av_read_frame(fmt_, pkt_);
            if (rc < 0) {
                draining_ = true;
                avcodec_send_packet(dec_, nullptr);
                break;
            }
            // Empty packets (dropped frames in AVI) would read as a drain request.
            if (pkt_->stream_index != stream_ || pkt_->size <= 0) {
                av_packet_unref(pkt_);
                continue;
            }
            if (firstSentDts_ == AV_NOPTS_VALUE) {
                firstSentDts_ = pkt_->dts;
                if (rebase_ && pkt_->dts != AV_NOPTS_VALUE) {
                    const AVStream* st = fmt_->streams[stream_];
                    stampShift_ = pkt_->dts - (st->start_time != AV_NOPTS_VALUE ? st->start_time : 0);
                }
            }
            rc = avcodec_send_packet(dec_, pkt_);
            av_packet_unref(pkt_);
            if (rc >= 0 || rc == AVERROR(EAGAIN)) break;
            // A damaged packet: skip it and try the next one.
        }
    }
}

void FrameCursor::Restart(std::int64_t ts) {
    const AVStream* st = fmt_->streams[stream_];
    const std::int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    // Some demuxers land after the wanted time (at the next key picture): step
    // further back until the first picture decoded is not later than ts, or the
    // start of the stream is reached.
    std::int64_t back = farAhead_ > 0 ? farAhead_ / 10 : 1;
    bool indexFailed = false;
    for (int attempt = 0;; ++attempt) {
        const std::int64_t target = attempt == 0 ? ts : ts - back;
        const bool fromStart = target <= start || attempt >= 6;
        rebase_ = false;
        if (fromStart) {
            // The very beginning: by byte where the container allows it, since a
            // time stamp seek may land on a picture that is no key picture. An
            // AVI's index is exact, so there by position first; an AVI without
            // index goes by byte too, but its demuxer then goes on counting packet
            // positions from where it was: the first packet is taken as the start.
            const bool indexed = decodeOrderStamps_ && !indexFailed &&
                                 av_seek_frame(fmt_, stream_, start, AVSEEK_FLAG_BACKWARD) >= 0;
            const bool byBytes = !indexed && !(fmt_->iformat->flags & AVFMT_NO_BYTE_SEEK) &&
                                 av_seek_frame(fmt_, -1, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE) >= 0;
            rebase_ = byBytes && decodeOrderStamps_;
            if (!indexed && !byBytes && av_seek_frame(fmt_, stream_, start, AVSEEK_FLAG_BACKWARD) < 0)
                avformat_seek_file(fmt_, -1, INT64_MIN, 0, INT64_MAX, 0);
        } else if (attempt > 0) {
            back *= 2;
            if (av_seek_frame(fmt_, stream_, target, AVSEEK_FLAG_BACKWARD) < 0) continue;
        } else if (av_seek_frame(fmt_, stream_, target, AVSEEK_FLAG_BACKWARD) < 0) {
            continue;
        }
        avcodec_flush_buffers(dec_);
        filter_.Reset();
        filterEnded_ = false;
        haveCur_ = haveNext_ = draining_ = eof_ = false;
        firstSentDts_ = AV_NOPTS_VALUE;
        stampShift_ = 0;
        lastPts_ = AV_NOPTS_VALUE;
        FetchNext();
        if (!haveNext_ && decodeOrderStamps_ && !indexFailed) {
            // An AVI without index can answer a seek without moving anywhere
            // useful (nothing decodes after it): go back to the start by byte.
            indexFailed = true;
            attempt = 6;
            continue;
        }
        if (fromStart || !haveNext_ || nextPts_ <= ts) return;
    }
}

// Decodes the picture after the current one into next_; at the end, eof_.
void FrameCursor::FetchNext() {
    std::int64_t pts = 0;
    if (DecodeNext(next_, &pts)) {
        nextPts_ = pts;
        haveNext_ = true;
    } else {
        eof_ = true;
    }
}

const AVFrame* FrameCursor::FrameAt(std::int64_t ts) {
    if (!dec_) return nullptr;
    if (haveCur_ && (ts < curPts_ || (farAhead_ > 0 && ts - curPts_ > farAhead_ &&
                                      !(haveNext_ && nextPts_ > ts)))) {
        Restart(ts);
    }
    for (;;) {
        if (!haveNext_ && !eof_) FetchNext();
        if (haveNext_ && (!haveCur_ || nextPts_ <= ts)) {
            std::swap(cur_, next_);
            curPts_ = nextPts_;
            haveCur_ = true;
            haveNext_ = false;
            av_frame_unref(next_);
            continue;
        }
        break;
    }
    return haveCur_ ? cur_ : nullptr;
}

}  // namespace reelcast::platform
