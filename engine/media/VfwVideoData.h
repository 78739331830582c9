// VFWVIDEODATA: decoded pictures of an AVI file through the AVIFile services.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/Component.h"
#include "engine/media/IVfwFrameReader.h"
#include "platform/avifile/AviFileReader.h"

namespace reelcast::media {

class VfwVideoData final : public core::Component<IVfwFrameReader, VfwVideoData> {
public:
    bool Init() override;
    bool Open(const char* path, double frameRate) override;
    bool GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) override;

    // The source picture that output picture `index` shows.
    std::int64_t SourceIndex(std::uint32_t index) const;

private:
    void Close();

    std::unique_ptr<platform::AviFile> file_;
    std::unique_ptr<platform::AviFrameReader> frames_;  // closed before file_
    double srcRate_ = 0;
    double outRate_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::uint32_t length_ = 0;
    std::int64_t last_ = -1;
};

}  // namespace reelcast::media
