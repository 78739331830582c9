// IMediaInfo (MEDIAGETINFO): describes a source file through the AVIFile back-end
// first, then the DirectShow back-end.
#pragma once

#include "engine/core/IEngineComponent.h"
#include "engine/media/MediaInfoRecords.h"

namespace reelcast {

class IMediaInfo : public IEngineComponent {
public:
    // Slot 4. Probes the file; every caller passes forceDirectShow = false.
    virtual bool Open(const char* path, bool forceDirectShow) = 0;
    // Slot 5. The AVIFile record when that back-end succeeded, else the DirectShow one.
    virtual void GetVideoInfo(VideoStreamInfo* out) = 0;
    // Slot 6. Same rule for the audio record.
    virtual void GetAudioInfo(AudioStreamInfo* out) = 0;
    // Slot 7. The information text, owned by the object, valid until the next call
    // or Release.
    virtual const char* GetInfoText() = 0;

protected:
    ~IMediaInfo() = default;
};

}  // namespace reelcast
