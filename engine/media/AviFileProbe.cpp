#include "engine/media/AviFileProbe.h"

#include <cstdint>
#include <string>

#include "engine/media/MediaText.h"
#include "platform/acm/AcmFormatTags.h"
#include "platform/avifile/BitmapInfo.h"

namespace reelcast::media {
namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// WAVEFORMAT: tag, channels, rate, bytes per second, block alignment.
constexpr std::size_t kWaveFormatMin = 14;

}  // namespace

bool AviFileProbe::Init() {
    file_.reset();
    doubts_ = {};
    return true;
}

bool AviFileProbe::Open(const char* path) {
    file_.reset();
    doubts_ = {};
    if (!PathFits(path)) return false;
    file_ = platform::AviFile::Open(path);
    return file_ != nullptr;
}

bool AviFileProbe::ProbeVideo(VideoStreamInfo* out) {
    if (!file_ || !out) return false;
    const int s = file_->FindStream(platform::kStreamTypeVideo);
    if (s < 0) {
        out->present = 0;
        return true;
    }
    out->present = 1;
    // The record carries the values the file bears out; the header's own ones
    // are kept for the information text when they differ.
    platform::AviStreamInfo header, info;
    std::uint32_t replaced = 0;
    if (!file_->StreamInfo(s, &header) || !file_->CheckedStreamInfo(s, &info, &replaced)) return false;
    out->frameCount = info.length;
    if (info.scale == 0) return false;
    out->frameRate = static_cast<float>(static_cast<double>(info.rate) / info.scale);
    doubts_.frameCount = (replaced & platform::kReplacedLength) ? 1 : 0;
    doubts_.frameRate = (replaced & platform::kReplacedRate) ? 1 : 0;
    doubts_.headerFrameCount = header.length;
    doubts_.headerFrameRate =
        header.scale ? static_cast<float>(static_cast<double>(header.rate) / header.scale) : 0.0f;
    FourCCText(out->fourCC, info.fccHandler);

    std::string name, description;
    if (file_->VideoDecompressor(s, &name, &description)) {
        CopyText(out->codec, name);
        CopyText(out->description, description);
    }

    // A stream that cannot be decoded here sends the whole probe elsewhere.
    std::unique_ptr<platform::AviFrameReader> frames = file_->GetFrameOpen(s);
    if (!frames) return false;
    std::uint32_t bytes = 0;
    if (const std::uint8_t* dib = frames->GetFrame(0, &bytes);
        dib && bytes >= platform::kBitmapInfoHeaderSize) {
        const platform::BitmapInfoHeader h = platform::ReadBitmapInfoHeader(dib);
        out->width = h.width;
        out->height = h.height;
        out->bitCount = h.bitCount;
    }
    return true;
}

void AviFileProbe::GetHeaderDoubts(HeaderDoubts* out) {
    if (out) *out = doubts_;
}

bool AviFileProbe::ProbeAudio(AudioStreamInfo* out) {
    if (!file_ || !out) return false;
    const int s = file_->FindStream(platform::kStreamTypeAudio);
    if (s < 0) {
        out->present = 0;
        return true;
    }
    platform::AviStreamInfo info;
    if (!file_->StreamInfo(s, &info)) return false;
    const std::vector<std::uint8_t>& fmt = file_->StreamFormat(s);
    // A format too short to hold the wave format fields is as good as none.
    if (fmt.size() < kWaveFormatMin) return false;
    out->present = 1;
    out->formatTag = Le16(fmt.data());
    out->channels = Le16(fmt.data() + 2);
    out->sampleRate = Le32(fmt.data() + 4);
    out->bitRate = Le32(fmt.data() + 8) * 8u;
    out->blockAlign = Le16(fmt.data() + 12);

    const char* tagName = nullptr;
    const char* driver = nullptr;
    if (platform::AcmFindFormatTag(out->formatTag, &tagName, &driver)) {
        CopyText(out->codec, tagName);
        CopyText(out->description, driver);
    }
    return true;
}

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(VFWMEDIAGETINFO, reelcast::media::AviFileProbe)
