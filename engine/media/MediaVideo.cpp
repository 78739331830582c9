#include "engine/media/MediaVideo.h"

#include <cmath>

#include "engine/core/ThreadCount.h"

namespace reelcast::media {

bool MediaVideo::Init() {
    det_.reset();
    width_ = height_ = 0;
    path_[0] = '\0';
    outRate_ = 0;
    return true;
}

bool MediaVideo::Open(const char* path, std::int32_t width, std::int32_t height, double frameRate) {
    det_.reset();
    if (!PathFits(path) || !(frameRate > 0) || !std::isfinite(frameRate)) return false;
    CopyText(path_, path);
    width_ = width;
    height_ = height;
    outRate_ = frameRate;
    det_ = std::make_unique<platform::MediaDet>();
    det_->SetConversionThreads(core::ConversionThreads());
    if (!det_->SetFilename(path_)) {
        det_.reset();
        return false;
    }
    const int streams = det_->OutputStreams();
    for (int i = 0; i < streams; ++i) {
        if (!det_->SetCurrentStream(i)) continue;
        const platform::MediaType t = det_->CurrentStreamMediaType();
        if (t.major != platform::MajorType::Video) continue;
        if (t.format == platform::FormatType::VideoInfo &&
            t.formatSize >= platform::kVideoInfoFormatSize)
            return true;
        break;
    }
    det_.reset();
    return false;
}

bool MediaVideo::GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) {
    if (!det_ || !size) return false;
    return det_->GetBitmapBits(index / outRate_, size, buffer, width_, height_);
}

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(MEDIAVIDEO, reelcast::media::MediaVideo)
