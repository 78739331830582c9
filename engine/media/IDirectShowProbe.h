// IDirectShowProbe (DXMEDIAGETINFO): the probe back-end over a filter graph that
// renders any container the decoding libraries read.
#pragma once

#include "engine/core/IEngineComponent.h"
#include "engine/media/MediaInfoRecords.h"

namespace reelcast {

class IDirectShowProbe : public IEngineComponent {
public:
    // Slot 4. Stores the path; answers null (refuses) when it has 260 characters
    // or more, else this object.
    virtual IDirectShowProbe* SetSource(const char* path) = 0;
    // Slot 5. Probe with no audio record wanted.
    virtual bool ProbeVideo(VideoStreamInfo* out) = 0;
    // Slot 6. Probe with no video record wanted.
    virtual bool ProbeAudio(AudioStreamInfo* out) = 0;
    // Slot 7. Renders the file and fills the wanted records (either may be null).
    virtual bool Probe(VideoStreamInfo* video, AudioStreamInfo* audio) = 0;
    // Slot 8. The media type name of the last Probe ("Mpeg", "Asf(WMV)", ...).
    virtual const char* TypeName() = 0;

protected:
    ~IDirectShowProbe() = default;
};

}  // namespace reelcast
