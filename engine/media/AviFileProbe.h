// VFWMEDIAGETINFO: the probe back-end over the AVIFile services.
#pragma once

#include <memory>

#include "engine/core/Component.h"
#include "engine/media/IAviFileProbe.h"
#include "platform/avifile/AviFileReader.h"

namespace reelcast::media {

class AviFileProbe final : public core::Component<IAviFileProbe, AviFileProbe> {
public:
    bool Init() override;
    bool Open(const char* path) override;
    bool ProbeVideo(VideoStreamInfo* out) override;
    bool ProbeAudio(AudioStreamInfo* out) override;
    void GetHeaderDoubts(HeaderDoubts* out) override;

private:
    std::unique_ptr<platform::AviFile> file_;
    HeaderDoubts doubts_{};
};

}  // namespace reelcast::media
