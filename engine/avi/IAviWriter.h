// IAviWriter (AVILIB): one AVI output at a time: the compressed video stream, the
// sound (none, a WAV file beside the AVI, MP3 or an audio codec's format), the
// byte counters and the numbered continuation files.
#pragma once

#include <cstdint>

#include "engine/avi/AviEncodeParams.h"
#include "engine/avi/IAviMessageSink.h"
#include "engine/core/IEngineComponent.h"

namespace reelcast {

class IAviWriter : public IEngineComponent {
public:
    // Slot 4. (video bytes + audio bytes) / 2^20 of the current file.
    virtual double GetFileSizeMiB() = 0;
    // Slot 5. Completes the current file and opens the next numbered one.
    virtual bool NextFile() = 0;
    // Slot 6. Receives the audio set-up texts; not owned; null drops them.
    virtual void SetMessageSink(IAviMessageSink* sink) = 0;
    // Slot 7.
    virtual void SetMp3Bitrate(std::int32_t kbps) = 0;
    // Slot 8. One compressed picture and its sound (count 16-bit samples).
    virtual bool WriteFrame(const void* pixels, const std::int16_t* samples, std::int32_t count) = 0;
    // Slot 9. Completes any open output, then creates spec->path's AVI (and WAV).
    virtual bool Create(const OutputSpec* spec) = 0;
    // Slot 10.
    virtual bool OpenCompressor(std::uint32_t handler, std::int32_t width, std::int32_t height,
                                std::int32_t format) = 0;
    // Slot 11.
    virtual bool EnumVideoCodec(std::int32_t index, char* name, std::uint32_t* handler) = 0;
    // Slot 12. 0..3 (AviAudioType); true.
    virtual bool SetAudioType(std::int32_t type) = 0;
    // Slot 13. The settings dialog of the audio type (interface thread).
    virtual bool ConfigureAudio(void* owner) = 0;
    // Slot 14. Text owned by the writer, valid until the next call.
    virtual const char* GetAudioDescription() = 0;
    // Slot 15. The audio settings again without a dialog where possible.
    virtual bool ReloadAudioSettings() = 0;
    // Slot 16. For audio type 3 without a dialog: chooses the first compressed
    // format the installed codecs make from 16-bit stereo at sampleRate.
    virtual bool ChooseDefaultAudioFormat(std::int32_t sampleRate) = 0;
    // Slot 17. Completes the open output (headers and indexes written, the MP3
    // or codec stream flushed, the WAV file closed). True when nothing was open.
    virtual bool CloseOutput() = 0;
    // Slot 18. The compressor's SetPixelAspect.
    virtual void SetPixelAspect(std::int32_t num, std::int32_t den) = 0;

protected:
    ~IAviWriter() = default;
};

}  // namespace reelcast
