// MEDIAVIDEO: decoded pictures through the media detector, scaled to the
// requested size, for files the AVIFile reader cannot open.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/Component.h"
#include "engine/media/IVideoFrameSource.h"
#include "engine/media/MediaText.h"
#include "platform/dshow/MediaDet.h"

namespace reelcast::media {

class MediaVideo final : public core::Component<IVideoFrameSource, MediaVideo> {
public:
    bool Init() override;
    bool Open(const char* path, std::int32_t width, std::int32_t height, double frameRate) override;
    bool GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) override;

private:
    std::unique_ptr<platform::MediaDet> det_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    char path_[kPathChars] = {};
    double outRate_ = 0;
};

}  // namespace reelcast::media
