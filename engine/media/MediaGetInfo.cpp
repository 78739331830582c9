#include "engine/media/MediaGetInfo.h"

#include <cstdio>
#include <cstring>

#include "engine/core/Factories.h"
#include "engine/media/IAviFileProbe.h"
#include "engine/media/IDirectShowProbe.h"
#include "engine/media/MediaText.h"
#include "platform/avifile/HeaderChecks.h"

namespace reelcast::media {
namespace {

// Appends a formatted piece to a fixed buffer, cutting it off at the end.
template <std::size_t N, class... Args>
void Append(char (&buf)[N], const char* format, Args... args) {
    const std::size_t used = std::strlen(buf);
    if (used + 1 >= N) return;
    std::snprintf(buf + used, N - used, format, args...);
}

template <std::size_t N>
void AppendText(char (&buf)[N], const char* s) {
    Append(buf, "%s", s);
}

}  // namespace

bool MediaGetInfo::Init() {
    Clear();
    aviFileOk_ = true;
    directShowOk_ = true;
    return true;
}

void MediaGetInfo::Clear() {
    aviVideo_ = {};
    aviAudio_ = {};
    dsVideo_ = {};
    dsAudio_ = {};
    doubts_ = {};
    mediaType_[0] = '\0';
    text_[0] = '\0';
}

bool MediaGetInfo::Open(const char* path, bool forceDirectShow) {
    Clear();
    aviFileOk_ = false;
    // Cleared too, so that a probe that fails before DirectShow is asked does not
    // describe the file with the (empty) DirectShow records of an earlier one.
    directShowOk_ = false;

    IAviFileProbe* avi = core::New<IAviFileProbe>("VFWMEDIAGETINFO");
    if (!avi) return false;
    aviFileOk_ = avi->Open(path) && avi->ProbeVideo(&aviVideo_) && avi->ProbeAudio(&aviAudio_);
    avi->GetHeaderDoubts(&doubts_);
    ReleaseAndClear(avi);
    if (aviFileOk_) std::snprintf(mediaType_, sizeof mediaType_, "Media Type: AVI\r\n\r\n");
    if (aviFileOk_ && !forceDirectShow) return true;

    IDirectShowProbe* ds = core::New<IDirectShowProbe>("DXMEDIAGETINFO");
    if (!ds) return false;
    ds->SetSource(path);
    directShowOk_ = ds->Probe(&dsVideo_, &dsAudio_);
    if (!directShowOk_) {
        ReleaseAndClear(ds);
        return forceDirectShow;
    }
    if (!aviFileOk_) std::snprintf(mediaType_, sizeof mediaType_, "Media Type: %s\r\n\r\n", ds->TypeName());
    ReleaseAndClear(ds);
    return true;
}

void MediaGetInfo::GetVideoInfo(VideoStreamInfo* out) {
    if (out) *out = aviFileOk_ ? aviVideo_ : dsVideo_;
}

void MediaGetInfo::GetAudioInfo(AudioStreamInfo* out) {
    if (out) *out = aviFileOk_ ? aviAudio_ : dsAudio_;
}

// "Total Frame: %d   FrameRate:%.2f" with the values as read, each followed by a
// mark when it cannot be right: what the file showed instead when the AVI probe
// replaced it, a plain mark otherwise.
void MediaGetInfo::AppendFrameFacts(const VideoStreamInfo& v, const HeaderDoubts& d) {
    const std::uint32_t count = d.frameCount ? d.headerFrameCount : v.frameCount;
    Append(text_, "    Total Frame: %d", static_cast<int>(count));
    if (d.frameCount) {
        Append(text_, "%sthe file holds %u)", kDamagedHeaderMark, v.frameCount);
    } else if (count == platform::kUnknownLength) {
        AppendText(text_, kNotBelievableMark);
    }
    const double rate = d.frameRate ? d.headerFrameRate : v.frameRate;
    Append(text_, "   FrameRate:%.2f", rate);
    if (d.frameRate) {
        Append(text_, "%s%.2f used)", kDamagedHeaderMark, static_cast<double>(v.frameRate));
    } else if (!platform::BelievableFrameRate(rate)) {
        AppendText(text_, kNotBelievableMark);
    }
}

const char* MediaGetInfo::GetInfoText() {
    text_[0] = '\0';
    AppendText(text_, mediaType_);
    const VideoStreamInfo* v;
    const AudioStreamInfo* a;
    if (aviFileOk_) {
        v = &aviVideo_;
        a = &aviAudio_;
    } else if (directShowOk_) {
        v = &dsVideo_;
        a = &dsAudio_;
    } else {
        std::snprintf(text_, sizeof text_, "Can't recognise the this media file!");
        return text_;
    }
    if (v->present) {
        AppendText(text_, "VideoInfo:\r\n");
        Append(text_,
               "    Picture Information:\r\n    Width: %d    Height: %d\r\n    BitCount: %d\r\n\r\n"
               "    Media Information:\r\n",
               v->width, v->height, v->bitCount);
        AppendFrameFacts(*v, aviFileOk_ ? doubts_ : HeaderDoubts{});
        Append(text_, "\r\n\r\n    fccHandler: %s\r\n    Codec: %s\r\n    Description:%s\r\n", v->fourCC,
               v->codec, v->description);
    } else {
        AppendText(text_, "    No video");
    }
    AppendText(text_, "\r\n");
    if (a->present) {
        AppendText(text_, "AudioInfo:\r\n");
        Append(text_, "    SampleRate: %d", static_cast<int>(a->sampleRate));
        if (!platform::BelievableSampleRate(a->sampleRate)) AppendText(text_, kNotBelievableMark);
        Append(text_, "    BitRate: %d\r\n    Channels: %d", static_cast<int>(a->bitRate),
               static_cast<int>(a->channels));
        if (!platform::BelievableChannels(a->channels)) AppendText(text_, kNotBelievableMark);
        Append(text_, "   BlockAlign:%d\r\n\r\n    Codec: %s\r\n    Description: %s",
               static_cast<int>(a->blockAlign), a->codec, a->description);
    } else {
        AppendText(text_, "    No audio");
    }
    return text_;
}

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(MEDIAGETINFO, reelcast::media::MediaGetInfo)
