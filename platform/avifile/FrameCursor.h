// Decodes one video stream of an open demuxer in presentation order and finds the
// picture shown at a given time stamp. Reading forward continues the decoder;
// only a jump back (or far ahead) seeks, so reading every picture in order
// decodes each one once. Pictures come out as a player shows them (turned,
// deinterlaced: PictureFilter). Used by the AVI reader and the media detector.
// One thread at a time. Platform-internal (FFmpeg types).
#pragma once

#include <cstdint>

#include "platform/avifile/PictureFilter.h"
#include "platform/NonCopyable.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace reelcast::platform {

class FrameCursor : NonCopyable {
public:
    FrameCursor() = default;
    ~FrameCursor();

    // fmt stays owned by the caller and must outlive the cursor. threads: decoder
    // threads (0 = as many as the machine has). False when the stream has no
    // decoder or the decoder cannot be opened.
    bool Open(AVFormatContext* fmt, int streamIndex, int threads);
    void Close();
    bool IsOpen() const { return dec_ != nullptr; }

    // The picture shown at ts (stream time base): the last one whose time stamp is
    // at most ts, the first picture for a ts before it, the last picture for a ts
    // beyond the end. Null when no picture can be decoded. Valid until the next call.
    const AVFrame* FrameAt(std::int64_t ts);

    // Time stamp of the picture FrameAt returned last.
    std::int64_t CurrentPts() const { return curPts_; }

    const AVStream* Stream() const { return fmt_ ? fmt_->streams[stream_] : nullptr; }

private:
    bool DecodeNext(AVFrame* into, std::int64_t* pts);
    void FetchNext();
    bool DecodeRaw(AVFrame* into, std::int64_t* pts);
    void Restart(std::int64_t ts);

    AVFormatContext* fmt_ = nullptr;
    int stream_ = -1;
    AVCodecContext* dec_ = nullptr;
    AVPacket* pkt_ = nullptr;
    AVFrame* cur_ = nullptr;
    AVFrame* next_ = nullptr;
    AVFrame* raw_ = nullptr;  // a decoded picture on its way through the filter
    PictureFilter filter_;
    bool filterEnded_ = false;
    bool haveCur_ = false;
    bool haveNext_ = false;
    bool draining_ = false;
    bool eof_ = false;
    std::int64_t curPts_ = 0;
    std::int64_t nextPts_ = 0;
    std::int64_t lastPts_ = AV_NOPTS_VALUE;  // for pictures that come without a time stamp
    // AVI numbers packets in decode order only: a picture comes stamped with the
    // position of the packet that let it out of the decoder, late by the
    // decoder's reordering delay, which is learnt from the first picture.
    bool decodeOrderStamps_ = false;
    std::int64_t firstSentDts_ = AV_NOPTS_VALUE;  // first packet after a start or seek
    std::int64_t dtsDelay_ = -1;                  // -1 until known
    // After a byte seek back to the start of an AVI (one without index) the
    // demuxer's positions run on from where it was; they are shifted back.
    bool rebase_ = false;
    std::int64_t stampShift_ = 0;
    std::int64_t step_ = 1;                   // one picture's duration, stream time base
    std::int64_t farAhead_ = 0;               // a forward jump beyond this seeks
};

}  // namespace reelcast::platform
