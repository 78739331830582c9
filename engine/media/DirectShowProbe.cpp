#include "engine/media/DirectShowProbe.h"

#include <algorithm>
#include <cstring>

#include "platform/dshow/FilterGraph.h"

namespace reelcast::media {
namespace {

using platform::FormatType;
using platform::MajorType;
using platform::MediaSubtype;

// Longest stretch of the file played to measure a missing frame rate.
constexpr std::int64_t kMeasureMs = 5000;

// Fills the video record from a media type; formats other than the video-info and
// MPEG video headers leave it absent. Answers whether it was filled.
bool FillVideo(VideoStreamInfo* v, const platform::MediaType& t, std::int64_t duration) {
    if (t.format != FormatType::VideoInfo && t.format != FormatType::Mpeg1Video &&
        t.format != FormatType::Mpeg2Video)
        return false;
    v->present = 1;
    v->width = t.bmi.width;
    v->height = t.bmi.height;
    v->bitCount = t.bmi.bitCount != 0 ? t.bmi.bitCount : 24;
    if (t.format == FormatType::Mpeg1Video) {
        CopyText(v->fourCC, "MPG1");
    } else if (t.format == FormatType::Mpeg2Video) {
        CopyText(v->fourCC, "MPG2");
    } else if (t.bmi.compression != 0) {
        FourCCText(v->fourCC, t.bmi.compression);
    }
    const std::int64_t T = t.avgTimePerFrame;
    if (T > 0) {
        // Hundredths of a frame per second in integers: 333667 gives 2997 x 0.01.
        v->frameRate = static_cast<float>((1000000000LL / T) * 0.01);
        v->frameCount = static_cast<std::uint32_t>(duration / T);
    }
    return true;
}

void FillAudio(AudioStreamInfo* a, const platform::MediaType& t) {
    if (t.format != FormatType::WaveFormatEx) return;
    a->present = 1;
    a->sampleRate = t.wave.samplesPerSec;
    a->channels = t.wave.channels;
    a->blockAlign = t.wave.blockAlign;
    a->formatTag = t.wave.formatTag;
    a->bitRate = t.wave.avgBytesPerSec * 8u;
}

}  // namespace

bool DirectShowProbe::Init() {
    path_[0] = '\0';
    pinCount_ = 0;
    subtype_ = MediaSubtype::Unknown;
    return true;
}

IDirectShowProbe* DirectShowProbe::SetSource(const char* path) {
    if (!PathFits(path)) return nullptr;
    CopyText(path_, path);
    return this;
}

bool DirectShowProbe::ProbeVideo(VideoStreamInfo* out) { return Probe(out, nullptr); }

bool DirectShowProbe::ProbeAudio(AudioStreamInfo* out) { return Probe(nullptr, out); }

bool DirectShowProbe::Probe(VideoStreamInfo* video, AudioStreamInfo* audio) {
    pinCount_ = 0;
    subtype_ = MediaSubtype::Unknown;
    if (path_[0] == '\0') return false;
    platform::FilterGraph graph;
    if (!graph.RenderFile(path_)) return false;
    const std::int64_t duration = video ? graph.Duration() : 0;

    for (int pin = 0; pin < graph.SourcePinCount(); ++pin) {
        ++pinCount_;
        subtype_ = graph.SourcePinSubtype(pin);
        for (int k = 0; k < graph.DownstreamPinCount(pin); ++k) {
            const platform::GraphPin* out = graph.DownstreamPin(pin, k);
            if (out->type.major == MajorType::Video && video) {
                if (FillVideo(video, out->type, duration) && video->frameCount == 0) {
                    // No time per frame in the stream: measure it over its first
                    // seconds (stream time, not wall time).
                    const std::int64_t ms = std::min<std::int64_t>(duration / 10000, kMeasureMs);
                    const int rate100 = graph.MeasureFrameRate(ms);
                    video->frameRate = static_cast<float>(rate100 * 0.01);
                    video->frameCount =
                        static_cast<std::uint32_t>(video->frameRate * (duration / 1e7));
                }
                CopyText(video->codec, out->connectedFilter);
                CopyText(video->description, out->name);
            } else if (out->type.major == MajorType::Audio && audio) {
                FillAudio(audio, out->type);
                CopyText(audio->codec, out->connectedFilter);
                CopyText(audio->description, out->name);
            }
        }
    }
    return pinCount_ > 0;
}

const char* DirectShowProbe::SubtypeName(MediaSubtype subtype) {
    switch (subtype) {
        case MediaSubtype::Mpeg1System: return "Mpeg";
        case MediaSubtype::Mpeg2Program: return "Mpeg2";
        case MediaSubtype::Mpeg1Audio: return "Mpeg Audio(Mp3)";
        case MediaSubtype::Mpeg1Video: return "Mpeg Video";
        case MediaSubtype::Wave: return "Wave";
        case MediaSubtype::Mpeg1VideoCD: return "Mpeg VideoCD";
        case MediaSubtype::DvdLpcmAudio: return "DVD Audio";
        case MediaSubtype::Mpeg2Audio: return "Mpeg2 Audio";
        case MediaSubtype::DolbyAc3: return "Dolby ac3";
        default: return "Unknown";
    }
}

const char* DirectShowProbe::TypeName() {
    if (pinCount_ >= 2) return "Asf(WMV)";
    if (pinCount_ == 1) return SubtypeName(subtype_);
    return "Unknown";
}

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(DXMEDIAGETINFO, reelcast::media::DirectShowProbe)
