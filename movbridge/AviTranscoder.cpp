#include "movbridge/AviTranscoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "movbridge/IMovbridge.h"
#include "movbridge/Rotation.h"
#include "movbridge/SourceCheck.h"

namespace reelcast::movbridge {
namespace {

// MPEG-4 quantiser for every picture: 2 is as fine as MPEG-4 Part 2 players
// expect and shows no loss at normal viewing.
constexpr int kVideoQuantiser = 2;
// A key picture at least every ten seconds or so at usual rates, for seeking.
constexpr int kMaxKeyInterval = 250;
constexpr std::int64_t kMp3BitRate = 192000;
// Rates outside this range are time-base artefacts, not picture rates.
constexpr double kMinFrameRate = 1.0;
constexpr double kMaxFrameRate = 120.0;
// MPEG-4 Part 2 codes the time base's denominator in 16 bits.
constexpr int kMaxTimeBaseDen = 65535;

struct FormatInputCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputPtr = std::unique_ptr<AVFormatContext, FormatInputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFree>;

bool UsableRate(AVRational r) {
    if (r.num <= 0 || r.den <= 0) return false;
    const double v = av_q2d(r);
    return v >= kMinFrameRate && v <= kMaxFrameRate;
}

// The constant rate the AVI gets. The container's base rate keeps a variable-rate
// source's timing exact (dropped pictures are repeated); where it is far above
// the average, or missing, the average rate serves.
AVRational ChooseFrameRate(const AVStream* s) {
    const AVRational base = s->r_frame_rate;
    const AVRational avg = s->avg_frame_rate;
    AVRational rate{25, 1};
    if (UsableRate(base) && (!UsableRate(avg) || av_q2d(base) < 1.9 * av_q2d(avg))) {
        rate = base;
    } else if (UsableRate(avg)) {
        rate = avg;
    }
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, kMaxTimeBaseDen);
    return rate;
}

// The source's rate when it is 44.1 or 48 kHz; otherwise 44.1 kHz for its family
// (22.05, 11.025, 88.2 kHz ...) and 48 kHz for every other rate.
int ChooseSampleRate(int sourceRate) {
    if (sourceRate <= 0) return 48000;
    return 44100 % sourceRate == 0 || sourceRate % 44100 == 0 ? 44100 : 48000;
}

// Writing the AVI over its own source would destroy the source while it is read.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa;
    struct stat sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

class Transcoder {
public:
    Transcoder(const TranscodeRequest& request, const std::atomic<bool>& stop, const ProgressFn& progress)
        : request_(request), stop_(stop), progress_(progress) {}
    ~Transcoder();

    std::int32_t Run();

private:
    std::int32_t OpenSource();
    std::int32_t OpenDecoders();
    std::int32_t OpenOutput();
    std::int32_t OpenVideoEncoder();
    std::int32_t OpenAudioEncoder();
    std::int32_t ConvertPackets();
    std::int32_t Finish(bool drainDecoders);

    bool Decode(AVCodecContext* dec, const AVPacket* pkt, bool (Transcoder::*take)(const AVFrame*));
    bool DecodeVideo(const AVPacket* pkt) { return Decode(videoDec_.get(), pkt, &Transcoder::TakePicture); }
    bool DecodeAudio(const AVPacket* pkt) { return Decode(audioDec_.get(), pkt, &Transcoder::TakeSound); }
    bool TakePicture(const AVFrame* frame);
    bool EmitHeldUntil(std::int64_t slot);
    bool WritableHeld();
    bool TakeSound(const AVFrame* frame);
    bool EncodeSoundFrames(bool flushAll);
    bool PushSilence(std::int64_t samples);
    bool MatchSoundToPictures();
    bool EncodeAndWrite(AVCodecContext* enc, const AVFrame* frame, AVStream* out);
    void ReportProgress();

    const TranscodeRequest& request_;
    const std::atomic<bool>& stop_;
    const ProgressFn& progress_;

    InputPtr in_;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    CodecPtr videoDec_;
    CodecPtr audioDec_;
    double startTime_ = 0;  // seconds: time zero of the AVI on the source's clock

    AVFormatContext* out_ = nullptr;
    bool outputCreated_ = false;
    bool headerWritten_ = false;
    AVStream* videoOut_ = nullptr;
    AVStream* audioOut_ = nullptr;
    CodecPtr videoEnc_;
    CodecPtr audioEnc_;
    AVRational frameRate_{25, 1};
    int storedWidth_ = 0;   // the pictures as stored, made even
    int storedHeight_ = 0;
    int turn_ = 0;          // clockwise degrees that show them upright
    int width_ = 0;         // the AVI's pictures
    int height_ = 0;
    double expectedPictures_ = 0;  // for progress; 0 when the length is unknown

    SwsPtr sws_;
    FramePtr held_;           // the converted picture that fills slots until the next one
    FramePtr stored_;         // a converted picture before its turn
    bool haveHeld_ = false;
    std::int64_t heldEndSlot_ = 0;  // slot where the held picture's own duration ends
    std::int64_t nextSlot_ = 0;     // next output picture number
    FramePtr decoded_;

    SwrPtr swr_;
    FifoPtr fifo_;
    FramePtr soundFrame_;
    bool soundStarted_ = false;
    std::int64_t soundToDrop_ = 0;  // samples before the first picture, still to drop
    std::int64_t soundSamplesSent_ = 0;
    std::int64_t soundQueued_ = 0;  // samples put into the buffer, silence included
    std::int64_t soundLimit_ = -1;  // where the container says the sound ends; -1 unknown
    int swrInRate_ = 0;
    AVChannelLayout swrInLayout_{};
    int swrInFormat_ = -1;

    PacketPtr outPkt_;
};

Transcoder::~Transcoder() {
    if (out_) {
        if (out_->pb) avio_closep(&out_->pb);
        avformat_free_context(out_);
    }
    av_channel_layout_uninit(&swrInLayout_);
}

std::int32_t Transcoder::Run() {
    if (std::int32_t e = OpenSource()) return e;
    if (std::int32_t e = OpenDecoders()) return e;
    if (std::int32_t e = OpenOutput()) {
        if (outputCreated_) ::unlink(request_.target.c_str());
        return e;
    }
    const std::int32_t e = ConvertPackets();
    const bool stopped = stop_.load();
    const std::int32_t f = Finish(!e && !stopped);
    if (nextSlot_ == 0) {
        // Nothing decodable came out: no AVI is better than an empty one.
        ::unlink(request_.target.c_str());
        return MOVBRIDGE_END_CONVERT_ERROR;
    }
    return e ? e : f;
}

std::int32_t Transcoder::OpenSource() {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, request_.source.c_str(), nullptr, nullptr) < 0)
        return MOVBRIDGE_END_OPEN_FAILED;
    in_.reset(fmt);
    if (!IsQuickTimeFamily(fmt) && !IsFlash(fmt)) return MOVBRIDGE_END_OPEN_FAILED;
    if (avformat_find_stream_info(fmt, nullptr) < 0) return MOVBRIDGE_END_OPEN_FAILED;
    videoIndex_ = FindPictureStream(fmt);
    if (videoIndex_ < 0) {
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            const AVStream* s = fmt->streams[i];
            if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
                return MOVBRIDGE_END_MISSING_PARTS;  // pictures we have no decoder for
        }
        return MOVBRIDGE_END_NO_PICTURES;
    }
    audioIndex_ = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
    if (audioIndex_ >= 0 && fmt->streams[audioIndex_]->codecpar->ch_layout.nb_channels <= 0)
        audioIndex_ = -1;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        if (static_cast<int>(i) != videoIndex_ && static_cast<int>(i) != audioIndex_)
            fmt->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVStream* vs = fmt->streams[videoIndex_];
    if (vs->start_time != AV_NOPTS_VALUE) startTime_ = vs->start_time * av_q2d(vs->time_base);
    return 0;
}

std::int32_t Transcoder::OpenDecoders() {
    auto open = [](const AVStream* s, CodecPtr* dec) -> std::int32_t {
        const AVCodec* codec = avcodec_find_decoder(s->codecpar->codec_id);
        if (!codec) return MOVBRIDGE_END_MISSING_PARTS;
        dec->reset(avcodec_alloc_context3(codec));
        if (!*dec || avcodec_parameters_to_context(dec->get(), s->codecpar) < 0)
            return MOVBRIDGE_END_INIT_ERROR;
        (*dec)->pkt_timebase = s->time_base;
        (*dec)->thread_count = 0;  // as many as the machine has
        if (avcodec_open2(dec->get(), codec, nullptr) < 0) return MOVBRIDGE_END_INIT_ERROR;
        return 0;
    };
    if (std::int32_t e = open(in_->streams[videoIndex_], &videoDec_)) return e;
    if (audioIndex_ >= 0) {
        if (std::int32_t e = open(in_->streams[audioIndex_], &audioDec_)) return e;
    }
    decoded_.reset(av_frame_alloc());
    outPkt_.reset(av_packet_alloc());
    return decoded_ && outPkt_ ? 0 : MOVBRIDGE_END_INIT_ERROR;
}

std::int32_t Transcoder::OpenOutput() {
    const AVStream* vs = in_->streams[videoIndex_];
    storedWidth_ = vs->codecpar->width & ~1;
    storedHeight_ = vs->codecpar->height & ~1;
    if (storedWidth_ <= 0 || storedHeight_ <= 0) return MOVBRIDGE_END_NO_PICTURES;
    turn_ = ClockwiseTurn(vs);
    const bool across = turn_ == 90 || turn_ == 270;
    width_ = across ? storedHeight_ : storedWidth_;
    height_ = across ? storedWidth_ : storedHeight_;
    frameRate_ = ChooseFrameRate(vs);
    double seconds = 0;
    if (vs->duration > 0) {
        seconds = vs->duration * av_q2d(vs->time_base);
    } else if (in_->duration > 0) {
        seconds = in_->duration / double(AV_TIME_BASE);
    }
    expectedPictures_ = seconds * av_q2d(frameRate_);

    if (avformat_alloc_output_context2(&out_, nullptr, "avi", request_.target.c_str()) < 0 || !out_)
        return MOVBRIDGE_END_INIT_ERROR;
    if (std::int32_t e = OpenVideoEncoder()) return e;
    if (audioDec_) {
        if (std::int32_t e = OpenAudioEncoder()) return e;
    }
    if (SameFile(request_.source, request_.target)) return MOVBRIDGE_END_INIT_ERROR;
    if (avio_open(&out_->pb, request_.target.c_str(), AVIO_FLAG_WRITE) < 0)
        return MOVBRIDGE_END_INIT_ERROR;
    outputCreated_ = true;
    if (avformat_write_header(out_, nullptr) < 0) return MOVBRIDGE_END_INIT_ERROR;
    headerWritten_ = true;
    return 0;
}

std::int32_t Transcoder::OpenVideoEncoder() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) return MOVBRIDGE_END_MISSING_PARTS;
    videoEnc_.reset(avcodec_alloc_context3(codec));
    held_.reset(av_frame_alloc());
    if (!videoEnc_ || !held_) return MOVBRIDGE_END_INIT_ERROR;
    AVCodecContext* enc = videoEnc_.get();
    enc->codec_tag = MKTAG('X', 'V', 'I', 'D');
    enc->width = width_;
    enc->height = height_;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = av_inv_q(frameRate_);
    enc->framerate = frameRate_;
    enc->sample_aspect_ratio = av_guess_sample_aspect_ratio(in_.get(), in_->streams[videoIndex_], nullptr);
    if ((turn_ == 90 || turn_ == 270) && enc->sample_aspect_ratio.num > 0)
        enc->sample_aspect_ratio = av_inv_q(enc->sample_aspect_ratio);
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = FF_QP2LAMBDA * kVideoQuantiser;
    enc->gop_size = kMaxKeyInterval;
    enc->max_b_frames = 0;  // pictures in display order: every AVI player copes
    enc->thread_count = 0;
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(enc, codec, nullptr) < 0) return MOVBRIDGE_END_INIT_ERROR;


    videoOut_ = avformat_new_stream(out_, nullptr);
    if (!videoOut_ || avcodec_parameters_from_context(videoOut_->codecpar, enc) < 0)
        return MOVBRIDGE_END_INIT_ERROR;
    videoOut_->time_base = enc->time_base;
    videoOut_->avg_frame_rate = frameRate_;
    videoOut_->sample_aspect_ratio = enc->sample_aspect_ratio;
    return 0;
}

std::int32_t Transcoder::OpenAudioEncoder() {
    const AVCodec* codec = avcodec_find_encoder_by_name("libmp3lame");
    if (!codec) return MOVBRIDGE_END_MISSING_PARTS;
    audioEnc_.reset(avcodec_alloc_context3(codec));
    soundFrame_.reset(av_frame_alloc());
    if (!audioEnc_ || !soundFrame_) return MOVBRIDGE_END_INIT_ERROR;
    AVCodecContext* enc = audioEnc_.get();
    enc->sample_rate = ChooseSampleRate(audioDec_->sample_rate);
    enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&enc->ch_layout, 2);
    enc->bit_rate = kMp3BitRate;
    enc->time_base = AVRational{1, enc->sample_rate};
    if (avcodec_open2(enc, codec, nullptr) < 0) return MOVBRIDGE_END_INIT_ERROR;
    fifo_.reset(av_audio_fifo_alloc(enc->sample_fmt, 2, enc->frame_size * 4));
    if (!fifo_) return MOVBRIDGE_END_INIT_ERROR;

    // Decoders pad the last frame (AAC's 1024 samples); the container knows
    // where the sound really ends.
    const AVStream* as = in_->streams[audioIndex_];
    if (as->duration > 0 && as->start_time != AV_NOPTS_VALUE) {
        const double end = (as->start_time + as->duration) * av_q2d(as->time_base) - startTime_;
        soundLimit_ = std::max<std::int64_t>(0, std::llround(end * enc->sample_rate) - enc->initial_padding);
    }

    audioOut_ = avformat_new_stream(out_, nullptr);
    if (!audioOut_ || avcodec_parameters_from_context(audioOut_->codecpar, enc) < 0)
        return MOVBRIDGE_END_INIT_ERROR;
    audioOut_->time_base = enc->time_base;
    return 0;
}

std::int32_t Transcoder::ConvertPackets() {
    PacketPtr pkt(av_packet_alloc());
    if (!pkt) return MOVBRIDGE_END_CONVERT_ERROR;
    // A stop before the first picture still waits for it (a few packets at most),
    // so that what is left is an AVI with a picture to show.
    constexpr int kPacketsForFirstPicture = 500;
    int afterStop = 0;
    while (!stop_.load() || (!haveHeld_ && afterStop++ < kPacketsForFirstPicture)) {
        // A read error mid-file ends the source where it is damaged, as a player stops there.
        if (av_read_frame(in_.get(), pkt.get()) < 0) return 0;
        bool ok = true;
        if (pkt->stream_index == videoIndex_) {
            ok = DecodeVideo(pkt.get());
            ReportProgress();
        } else if (pkt->stream_index == audioIndex_) {
            ok = DecodeAudio(pkt.get());
        }
        av_packet_unref(pkt.get());
        if (!ok) return MOVBRIDGE_END_CONVERT_ERROR;
    }
    return 0;
}

void Transcoder::ReportProgress() {
    double done = 0;
    if (expectedPictures_ > 0) {
        done = nextSlot_ / expectedPictures_;
    } else if (in_->pb) {
        const std::int64_t size = avio_size(in_->pb);
        if (size > 0) done = double(avio_tell(in_->pb)) / double(size);
    }
    // The end itself is announced once the file is complete.
    progress_(static_cast<std::int32_t>(std::min(done, 0.9999) * 10000));
}

// Hands pkt (null: the end) to dec and every frame that comes out to take.
bool Transcoder::Decode(AVCodecContext* dec, const AVPacket* pkt, bool (Transcoder::*take)(const AVFrame*)) {
    const int sent = avcodec_send_packet(dec, pkt);
    // A damaged packet costs its picture or its sound, not the conversion.
    if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR_EOF) return false;
    for (;;) {
        const int r = avcodec_receive_frame(dec, decoded_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r == AVERROR_INVALIDDATA) continue;
        if (r < 0) return false;
        const bool ok = (this->*take)(decoded_.get());
        av_frame_unref(decoded_.get());
        if (!ok) return false;
    }
}

// The held picture fills every output slot until the next picture's time; a
// picture that arrives later than its slot repeats the one before it, one that
// arrives within the same slot replaces it.
bool Transcoder::TakePicture(const AVFrame* frame) {
    const AVStream* vs = in_->streams[videoIndex_];
    const double rate = av_q2d(frameRate_);
    std::int64_t slot = nextSlot_;
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        const double t = frame->best_effort_timestamp * av_q2d(vs->time_base) - startTime_;
        slot = std::llround(t * rate);
    } else if (haveHeld_) {
        slot = heldEndSlot_;
    }
    if (haveHeld_ && !EmitHeldUntil(slot)) return false;

    // An odd last column or row is left out rather than scaled away.
    const int srcW = frame->width & ~1;
    const int srcH = frame->height & ~1;
    if (srcW <= 0 || srcH <= 0) return true;
    sws_.reset(sws_getCachedContext(sws_.release(), srcW, srcH, static_cast<AVPixelFormat>(frame->format),
                                    storedWidth_, storedHeight_, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                    nullptr, nullptr));
    if (!sws_ || !WritableHeld()) return false;
    if (turn_ == 0) {
        sws_scale(sws_.get(), frame->data, frame->linesize, 0, srcH, held_->data, held_->linesize);
    } else {
        if (!stored_) {
            stored_.reset(av_frame_alloc());
            if (!stored_) return false;
            stored_->format = AV_PIX_FMT_YUV420P;
            stored_->width = storedWidth_;
            stored_->height = storedHeight_;
            if (av_frame_get_buffer(stored_.get(), 0) < 0) return false;
        }
        sws_scale(sws_.get(), frame->data, frame->linesize, 0, srcH, stored_->data, stored_->linesize);
        TurnPicture(stored_.get(), held_.get(), turn_);
    }
    haveHeld_ = true;
    std::int64_t length = 1;
    if (frame->pkt_duration > 0) length = std::max<std::int64_t>(1, std::llround(frame->pkt_duration * av_q2d(vs->time_base) * rate));
    heldEndSlot_ = std::max(slot, nextSlot_) + length;
    return true;
}

// The encoder may still hold the last picture sent: a new picture gets a new
// buffer instead of overwriting that one.
bool Transcoder::WritableHeld() {
    if (av_frame_is_writable(held_.get())) return true;
    av_frame_unref(held_.get());
    held_->format = AV_PIX_FMT_YUV420P;
    held_->width = width_;
    held_->height = height_;
    return av_frame_get_buffer(held_.get(), 0) >= 0;
}

bool Transcoder::EmitHeldUntil(std::int64_t slot) {
    while (nextSlot_ < slot) {
        if (stop_.load()) return true;
        held_->pts = nextSlot_++;
        if (!EncodeAndWrite(videoEnc_.get(), held_.get(), videoOut_)) return false;
    }
    return true;
}

// Sound is resampled to the AVI's rate and stereo. Its first sample is placed at
// its time on the AVI's clock: sound before the first picture is dropped, a
// later start is preceded by silence; from there it runs on without gaps.
bool Transcoder::TakeSound(const AVFrame* frame) {
    AVCodecContext* enc = audioEnc_.get();
    if (!swr_ || frame->sample_rate != swrInRate_ || frame->format != swrInFormat_ ||
        av_channel_layout_compare(&frame->ch_layout, &swrInLayout_) != 0) {
        SwrContext* s = nullptr;
        AVChannelLayout inLayout;
        if (av_channel_layout_copy(&inLayout, &frame->ch_layout) < 0) return false;
        if (inLayout.order == AV_CHANNEL_ORDER_UNSPEC) {
            const int n = inLayout.nb_channels;
            av_channel_layout_uninit(&inLayout);
            av_channel_layout_default(&inLayout, n);
        }
        const int r = swr_alloc_set_opts2(&s, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                                          &inLayout, static_cast<AVSampleFormat>(frame->format),
                                          frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        if (r < 0 || swr_init(s) < 0) {
            swr_free(&s);
            return false;
        }
        // Sound still inside the old converter is lost with it; a format change
        // mid-stream is rare and costs a few milliseconds at most.
        swr_.reset(s);
        swrInRate_ = frame->sample_rate;
        swrInFormat_ = frame->format;
        av_channel_layout_uninit(&swrInLayout_);
        av_channel_layout_copy(&swrInLayout_, &frame->ch_layout);
    }

    const int outCap = static_cast<int>(av_rescale_rnd(swr_get_delay(swr_.get(), frame->sample_rate) + frame->nb_samples,
                                                       enc->sample_rate, frame->sample_rate, AV_ROUND_UP)) + 16;
    uint8_t** out = nullptr;
    if (av_samples_alloc_array_and_samples(&out, nullptr, 2, outCap, enc->sample_fmt, 0) < 0) return false;
    int n = swr_convert(swr_.get(), out, outCap, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    bool ok = n >= 0;
    int skip = 0;
    if (ok && !soundStarted_ && n > 0) {
        soundStarted_ = true;
        double t = 0;
        if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
            t = frame->best_effort_timestamp * av_q2d(in_->streams[audioIndex_]->time_base) - startTime_;
        // The MP3 encoder puts its delay of silence in front of what it is given,
        // and an AVI cannot say so: that much of the start is left out instead,
        // keeping the sound in step with the pictures.
        const std::int64_t offset = std::llround(t * enc->sample_rate) - enc->initial_padding;
        if (offset > 0) {
            ok = PushSilence(offset);  // until the sound's own start
        } else if (offset < 0) {
            soundToDrop_ = -offset;
        }
    }
    if (ok && soundToDrop_ > 0 && n > 0) {
        skip = static_cast<int>(std::min<std::int64_t>(soundToDrop_, n));
        soundToDrop_ -= skip;
    }
    if (ok && soundLimit_ >= 0) n = static_cast<int>(std::clamp<std::int64_t>(soundLimit_ - soundQueued_ + skip, skip, n));
    if (ok && n > skip) {
        uint8_t* planes[2] = {out[0] + skip * sizeof(float), out[1] + skip * sizeof(float)};
        ok = av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), n - skip) == n - skip;
        soundQueued_ += n - skip;
    }
    av_freep(&out[0]);
    av_freep(&out);
    return ok && EncodeSoundFrames(false);
}

bool Transcoder::PushSilence(std::int64_t samples) {
    AVCodecContext* enc = audioEnc_.get();
    constexpr int kChunk = 4096;
    uint8_t** silence = nullptr;
    if (av_samples_alloc_array_and_samples(&silence, nullptr, 2, kChunk, enc->sample_fmt, 0) < 0) return false;
    av_samples_set_silence(silence, 0, kChunk, 2, enc->sample_fmt);
    bool ok = true;
    while (ok && samples > 0) {
        const int n = static_cast<int>(std::min<std::int64_t>(samples, kChunk));
        ok = av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(silence), n) == n;
        samples -= n;
        soundQueued_ += n;
    }
    av_freep(&silence[0]);
    av_freep(&silence);
    return ok && EncodeSoundFrames(false);
}

// Brings the sound to the pictures' length, to the nearest whole MP3 frame: a
// shorter sound is filled with silence, a tail of less than a frame beyond it is
// cut. Sound that runs on for longer than that is the source's own and is kept.
bool Transcoder::MatchSoundToPictures() {
    AVCodecContext* enc = audioEnc_.get();
    const std::int64_t frame = enc->frame_size;
    const std::int64_t pictureSamples = av_rescale_q(nextSlot_, av_inv_q(frameRate_), AVRational{1, enc->sample_rate});
    // The encoder turns F samples into floor((F + delay) / frame) + 1 frames: aim
    // at the middle of the range that gives the wanted number.
    const std::int64_t frames = std::max<std::int64_t>(1, (pictureSamples + frame / 2) / frame);
    const std::int64_t wanted = (frames - 1) * frame + frame / 2 - enc->initial_padding;
    if (soundQueued_ < wanted) return PushSilence(wanted - soundQueued_);
    const std::int64_t excess = soundQueued_ - wanted;
    if (excess <= 0 || excess > frame || excess > av_audio_fifo_size(fifo_.get())) return true;
    // The buffer only drops from the front: take out what stays, and put it back.
    const int keep = av_audio_fifo_size(fifo_.get()) - static_cast<int>(excess);
    uint8_t** tmp = nullptr;
    if (av_samples_alloc_array_and_samples(&tmp, nullptr, 2, std::max(keep, 1), enc->sample_fmt, 0) < 0) return false;
    bool ok = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(tmp), keep) == keep;
    av_audio_fifo_reset(fifo_.get());
    ok = ok && av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(tmp), keep) == keep;
    av_freep(&tmp[0]);
    av_freep(&tmp);
    soundQueued_ -= excess;
    return ok;
}

bool Transcoder::EncodeSoundFrames(bool flushAll) {
    AVCodecContext* enc = audioEnc_.get();
    const int frameSize = enc->frame_size;
    // One frame stays buffered until the end, so the tail can still be cut to length.
    while (av_audio_fifo_size(fifo_.get()) >= 2 * frameSize || (flushAll && av_audio_fifo_size(fifo_.get()) > 0)) {
        const int n = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
        av_frame_unref(soundFrame_.get());
        soundFrame_->nb_samples = n;
        soundFrame_->format = enc->sample_fmt;
        soundFrame_->sample_rate = enc->sample_rate;
        if (av_channel_layout_copy(&soundFrame_->ch_layout, &enc->ch_layout) < 0) return false;
        if (av_frame_get_buffer(soundFrame_.get(), 0) < 0) return false;
        if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(soundFrame_->data), n) != n) return false;
        soundFrame_->pts = soundSamplesSent_;
        soundSamplesSent_ += n;
        if (!EncodeAndWrite(enc, soundFrame_.get(), audioOut_)) return false;
    }
    return true;
}

bool Transcoder::EncodeAndWrite(AVCodecContext* enc, const AVFrame* frame, AVStream* out) {
    if (avcodec_send_frame(enc, frame) < 0) return false;
    for (;;) {
        const int r = avcodec_receive_packet(enc, outPkt_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return false;
        if (enc->codec_type == AVMEDIA_TYPE_AUDIO) {
            // The MP3 encoder dates its first packets before zero to account for
            // its delay. An AVI times sound by its bytes alone; left negative, the
            // muxer would shift every stream and open a gap after the first picture.
            outPkt_->pts += enc->initial_padding;
            outPkt_->dts += enc->initial_padding;
        }
        av_packet_rescale_ts(outPkt_.get(), enc->time_base, out->time_base);
        outPkt_->stream_index = out->index;
        if (av_interleaved_write_frame(out_, outPkt_.get()) < 0) return false;
    }
}

// Ends the streams and completes the file (index included). After a stop the
// decoders are not drained, so that the stop takes effect at once.
std::int32_t Transcoder::Finish(bool drainDecoders) {
    bool ok = true;
    if (drainDecoders) {
        ok = DecodeVideo(nullptr);
        if (ok && audioDec_) ok = DecodeAudio(nullptr);
    }
    if (haveHeld_ && ok) {
        const bool stopped = stop_.load();
        // A stop before the first picture went out still leaves one picture.
        std::int64_t end = stopped ? std::max<std::int64_t>(nextSlot_, 1) : std::max(heldEndSlot_, nextSlot_ + 1);
        if (!stopped && audioEnc_) {
            // Sound that goes on after the last picture keeps that picture on
            // screen, as a player shows it, instead of being cut.
            const std::int64_t soundEnd = soundQueued_ + audioEnc_->initial_padding;
            end = std::max(end, av_rescale_q(soundEnd, AVRational{1, audioEnc_->sample_rate}, av_inv_q(frameRate_)));
        }
        while (nextSlot_ < end && ok) {
            held_->pts = nextSlot_++;
            ok = EncodeAndWrite(videoEnc_.get(), held_.get(), videoOut_);
        }
    }
    if (ok && audioEnc_)
        ok = MatchSoundToPictures() && EncodeSoundFrames(true) && EncodeAndWrite(audioEnc_.get(), nullptr, audioOut_);
    if (ok) ok = EncodeAndWrite(videoEnc_.get(), nullptr, videoOut_);
    const bool written = av_write_trailer(out_) >= 0;
    const bool closed = avio_closep(&out_->pb) >= 0;
    return ok && written && closed ? MOVBRIDGE_END_COMPLETED : MOVBRIDGE_END_CONVERT_ERROR;
}

}  // namespace

std::int32_t TranscodeToAvi(const TranscodeRequest& request, const std::atomic<bool>& stop,
                            const ProgressFn& progress) {
    QuietLibraryLog();
    Transcoder t(request, stop, progress);
    return t.Run();
}

}  // namespace reelcast::movbridge
