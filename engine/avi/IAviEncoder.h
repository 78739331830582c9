// IAviEncoder (AVIENC): the AVI encoding engine the AVI job drives: keeps the
// job's parameters, opens the output, writes frame after frame and applies the
// file-size split rule.
#pragma once

#include <cstdint>

#include "engine/avi/AviEncodeParams.h"
#include "engine/avi/IAviMessageSink.h"
#include "engine/core/IEngineComponent.h"
#include "engine/media/SampleBlock.h"

namespace reelcast {

class IAviEncoder : public IEngineComponent {
public:
    // Slot 4. Index into 80, 96, 112, 128, 160, 192, 224, 256 kbit/s.
    virtual void SetMp3BitrateIndex(std::int32_t index) = 0;
    // Slot 5. Copies the record; true.
    virtual bool SetParameters(const AviEncodeParams* params, std::int32_t sampleRate) = 0;
    // Slot 6. Opens the compressor (24-bit input), then the output; false only
    // when no compressor could be opened.
    virtual bool Open() = 0;
    // Slot 7. pixels: a bottom-up 24-bit picture; size is not used.
    virtual bool WriteFrame(const void* pixels, std::int32_t size, const SampleBlock* audio) = 0;
    // Slot 8. frame: a VideoFrame, converted to 24-bit RGB first.
    virtual bool WriteFrameConverted(const void* frame, const SampleBlock* audio) = 0;
    // Slot 9.
    virtual void SetMessageSink(IAviMessageSink* sink) = 0;
    // Slot 10.
    virtual bool EnumVideoCodec(std::int32_t index, char* name, std::uint32_t* handler) = 0;
    // Slot 11.
    virtual void SetVideoCodec(std::uint32_t handler) = 0;
    // Slot 12. SetAudioType(audioType), then the writer's ConfigureAudio(owner).
    virtual bool ConfigureAudio(void* owner, std::int32_t audioType) = 0;
    // Slot 13.
    virtual bool SetAudioType(std::int32_t audioType) = 0;
    // Slot 14.
    virtual const char* GetAudioDescription() = 0;
    // Slot 15. The writer's ChooseDefaultAudioFormat.
    virtual bool ChooseDefaultAudioFormat(std::int32_t sampleRate) = 0;
    // Slot 16. Completes the open output now (the writer's CloseOutput).
    virtual bool Close() = 0;
    // Slot 17. The handler code kept by SetVideoCodec.
    virtual std::uint32_t GetVideoCodec() = 0;
    // Slot 18. The shape of the pictures' pixels (width : height) for the next
    // Open; 1:1 after Init. The writer's SetPixelAspect.
    virtual void SetPixelAspect(std::int32_t num, std::int32_t den) = 0;

protected:
    ~IAviEncoder() = default;
};

}  // namespace reelcast
