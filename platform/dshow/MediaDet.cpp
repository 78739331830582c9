#include "platform/dshow/MediaDet.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/avifile/DibConverter.h"
#include "platform/avifile/FrameCursor.h"
#include "platform/avifile/MediaInput.h"
#include "platform/avifile/PictureFilter.h"

namespace reelcast::platform {

struct MediaDet::Impl {
    AVFormatContext* fmt = nullptr;
    std::vector<int> streams;  // the demuxer's audio and video streams
    int current = -1;
    FrameCursor cursor;  // declared after fmt: closed before it
    DibConverter dib;
    ~Impl() {
        cursor.Close();
        avformat_close_input(&fmt);
    }
};

MediaDet::MediaDet() : impl_(std::make_unique<Impl>()) {}
MediaDet::~MediaDet() = default;

bool MediaDet::SetFilename(const char* path) {
    impl_ = std::make_unique<Impl>();
    impl_->fmt = OpenMediaInput(path, nullptr, true);
    if (!impl_->fmt) return false;
    for (unsigned i = 0; i < impl_->fmt->nb_streams; ++i) {
        const AVStream* st = impl_->fmt->streams[i];
        const AVMediaType kind = st->codecpar->codec_type;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        if (kind == AVMEDIA_TYPE_VIDEO || kind == AVMEDIA_TYPE_AUDIO)
            impl_->streams.push_back(static_cast<int>(i));
    }
    return true;
}

int MediaDet::OutputStreams() const { return static_cast<int>(impl_->streams.size()); }

bool MediaDet::SetCurrentStream(int stream) {
    if (stream < 0 || stream >= OutputStreams()) return false;
    if (impl_->current != stream) impl_->cursor.Close();
    impl_->current = stream;
    return true;
}

MediaType MediaDet::CurrentStreamMediaType() const {
    MediaType t;
    if (impl_->current < 0) return t;
    const AVStream* st = impl_->fmt->streams[impl_->streams[impl_->current]];
    const AVCodecParameters* p = st->codecpar;
    if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
        t.major = MajorType::Audio;
        return t;
    }
    t.major = MajorType::Video;
    if (!avcodec_find_decoder(p->codec_id) || p->width <= 0 || p->height <= 0) return t;
    t.format = FormatType::VideoInfo;
    t.formatSize = kVideoInfoFormatSize;
    // The pictures come turned as a player shows them.
    int w = p->width, h = p->height;
    DisplaySize(st, &w, &h);
    t.bmi.width = w;
    t.bmi.height = h;
    t.bmi.bitCount = 24;
    return t;
}

void MediaDet::SetConversionThreads(int threads) { impl_->dib.SetThreads(threads); }

bool MediaDet::GetBitmapBits(double seconds, std::uint32_t* size, std::uint8_t* buffer, int width,
                             int height) {
    if (!size || impl_->current < 0) return false;
    const std::uint64_t need = DibConverter::Rgb24Bytes(width, height);
    if (need == 0 || need > UINT32_MAX) return false;
    if (!buffer) {
        *size = static_cast<std::uint32_t>(need);
        return true;
    }
    if (*size < need || !std::isfinite(seconds)) return false;
    const int si = impl_->streams[impl_->current];
    if (!impl_->cursor.IsOpen() && !impl_->cursor.Open(impl_->fmt, si, 0)) return false;
    const AVStream* st = impl_->fmt->streams[si];
    if (st->time_base.num <= 0 || st->time_base.den <= 0) return false;
    // Past any real duration; keeps the time stamp arithmetic in range.
    seconds = std::clamp(seconds, 0.0, 1e7);
    std::int64_t ts = static_cast<std::int64_t>(
        std::llround(seconds * st->time_base.den / static_cast<double>(st->time_base.num)));
    if (st->start_time != AV_NOPTS_VALUE) ts += st->start_time;
    const AVFrame* f = impl_->cursor.FrameAt(ts);
    if (!f || !impl_->dib.Rgb24(f, width, height, buffer, need)) return false;
    *size = static_cast<std::uint32_t>(need);
    return true;
}

}  // namespace reelcast::platform
