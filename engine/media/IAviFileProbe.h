// IAviFileProbe (VFWMEDIAGETINFO): the probe back-end over the AVIFile services.
// Opens AVI files only; a video stream without a decoder fails ProbeVideo.
#pragma once

#include "engine/core/IEngineComponent.h"
#include "engine/media/MediaInfoRecords.h"

namespace reelcast {

class IAviFileProbe : public IEngineComponent {
public:
    // Slot 4. Releases a file opened before and opens path read-only.
    virtual bool Open(const char* path) = 0;
    // Slot 5. Fills out from the first video stream; true with present = 0 when
    // the file has none.
    virtual bool ProbeVideo(VideoStreamInfo* out) = 0;
    // Slot 6. Fills out from the first audio stream; same rule.
    virtual bool ProbeAudio(AudioStreamInfo* out) = 0;
    // Slot 7. The header values the last ProbeVideo did not believe.
    virtual void GetHeaderDoubts(HeaderDoubts* out) = 0;

protected:
    ~IAviFileProbe() = default;
};

}  // namespace reelcast
