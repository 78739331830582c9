// MEDIAGETINFO: describes a source file through the AVIFile back-end first and
// the DirectShow back-end second.
#pragma once

#include "engine/core/Component.h"
#include "engine/media/IMediaInfo.h"

namespace reelcast::media {

class MediaGetInfo final : public core::Component<IMediaInfo, MediaGetInfo> {
public:
    bool Init() override;
    bool Open(const char* path, bool forceDirectShow) override;
    void GetVideoInfo(VideoStreamInfo* out) override;
    void GetAudioInfo(AudioStreamInfo* out) override;
    const char* GetInfoText() override;

private:
    void Clear();
    void AppendFrameFacts(const VideoStreamInfo& v, const HeaderDoubts& d);

    VideoStreamInfo aviVideo_{};
    AudioStreamInfo aviAudio_{};
    VideoStreamInfo dsVideo_{};
    AudioStreamInfo dsAudio_{};
    HeaderDoubts doubts_{};
    bool aviFileOk_ = false;
    bool directShowOk_ = false;
    char mediaType_[48] = {};
    char text_[1024] = {};
};

}  // namespace reelcast::media
