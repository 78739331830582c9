// DXMEDIAGETINFO: the probe back-end over a filter graph that renders the file.
#pragma once

#include "engine/core/Component.h"
#include "engine/media/IDirectShowProbe.h"
#include "engine/media/MediaText.h"
#include "platform/dshow/MediaTypes.h"

namespace reelcast::media {

class DirectShowProbe final : public core::Component<IDirectShowProbe, DirectShowProbe> {
public:
    bool Init() override;
    IDirectShowProbe* SetSource(const char* path) override;
    bool ProbeVideo(VideoStreamInfo* out) override;
    bool ProbeAudio(AudioStreamInfo* out) override;
    bool Probe(VideoStreamInfo* video, AudioStreamInfo* audio) override;
    const char* TypeName() override;

    // The name of a source filter subtype, as TypeName gives it for a single pin.
    static const char* SubtypeName(platform::MediaSubtype subtype);

private:
    char path_[kPathChars] = {};
    int pinCount_ = 0;
    platform::MediaSubtype subtype_ = platform::MediaSubtype::Unknown;
};

}  // namespace reelcast::media
