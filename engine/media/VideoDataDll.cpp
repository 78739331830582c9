#include "engine/media/VideoDataDll.h"

#include "engine/core/Factories.h"
#include "platform/avifile/BitmapInfo.h"

namespace reelcast::media {

bool VideoDataDll::Init() {
    mode_ = -1;
    width_ = height_ = 0;
    vfw_.reset();
    dshow_.reset();
    return true;
}

bool VideoDataDll::Open(const char* path, std::int32_t width, std::int32_t height, double frameRate) {
    width_ = width;
    height_ = height;
    mode_ = -1;
    vfw_.reset();
    vfw_ = core::MakeHandle<IVfwFrameReader>("VFWVIDEODATA");
    if (vfw_ && vfw_->Open(path, frameRate)) {
        mode_ = 0;
        return true;
    }
    vfw_.reset();

    dshow_.reset();
    dshow_ = core::MakeHandle<IVideoFrameSource>("MEDIAVIDEO");
    if (dshow_ && dshow_->Open(path, width, height, frameRate)) {
        mode_ = 1;
        return true;
    }
    dshow_.reset();
    return false;
}

bool VideoDataDll::GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) {
    if (mode_ == 0 && vfw_) return vfw_->GetFrame(index, buffer, size);
    if (mode_ == 1 && dshow_) {
        if (!dshow_->GetFrame(index, buffer, size)) return false;
        *size += platform::kBitmapInfoHeaderSize;
        return true;
    }
    return false;
}

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(VIDEODATADLL, reelcast::media::VideoDataDll)
