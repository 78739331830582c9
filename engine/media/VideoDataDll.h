// VIDEODATADLL: the frame source the jobs use; it picks the AVIFile reader, or
// the DirectShow reader when that one cannot open the file.
#pragma once

#include <cstdint>

#include "engine/core/Component.h"
#include "engine/core/ComponentHandle.h"
#include "engine/media/IVfwFrameReader.h"
#include "engine/media/IVideoFrameSource.h"

namespace reelcast::media {

class VideoDataDll final : public core::Component<IVideoFrameSource, VideoDataDll> {
public:
    bool Init() override;
    bool Open(const char* path, std::int32_t width, std::int32_t height, double frameRate) override;
    bool GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) override;

    // 0 = AVIFile reader, 1 = DirectShow reader, -1 = none open.
    int Mode() const { return mode_; }

private:
    int mode_ = -1;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    core::ComponentHandle<IVfwFrameReader> vfw_;
    core::ComponentHandle<IVideoFrameSource> dshow_;
};

}  // namespace reelcast::media
