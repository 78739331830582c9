// IMp3Encoder (LAME): the MP3 encoder library libnlame.so ("nlame.dll"), bound by
// name at Init, and the MP3 settings handed to each encoder handle. Handles are
// opaque pointers of the library. One thread uses a handle at a time.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "engine/core/IEngineComponent.h"

namespace reelcast {

using Mp3Handle = void*;
// The library's message callback: a printf format and its arguments.
using Mp3ReportFn = void (*)(const char* format, va_list args);

class IMp3Encoder : public IEngineComponent {
public:
    virtual void VarSetInt(Mp3Handle h, std::int32_t id, std::int32_t value) = 0;  // 4
    virtual std::int32_t InitParams(Mp3Handle h) = 0;                              // 5
    virtual void VersionGet(std::int32_t x) = 0;                                   // 6
    virtual Mp3Handle New() = 0;                                                   // 7
    virtual void Delete(Mp3Handle h) = 0;                                          // 8
    // 9. MP3 bytes placed in out, or negative.
    virtual std::int32_t EncodeBuffer(Mp3Handle h, std::int32_t kind, const std::int16_t* left,
                                      const std::int16_t* right, std::int32_t pairs, std::uint8_t* out,
                                      std::int32_t outSize) = 0;
    virtual void CallbackSet(Mp3Handle h, std::int32_t kind, Mp3ReportFn fn) = 0;   // 10
    virtual bool IsLoaded() = 0;                                                   // 11
    virtual void ApplySettings(Mp3Handle h) = 0;                                   // 12
    virtual std::int32_t GetBitrate() = 0;                                         // 13
    virtual void SetBitrate(std::int32_t kbps) = 0;                                // 14
    virtual std::int32_t GetQuality() = 0;                                         // 15
    virtual void SetQuality(std::int32_t q) = 0;                                   // 16
    virtual std::int32_t GetStereoMode() = 0;                                      // 17
    virtual void SetStereoMode(std::int32_t mode) = 0;                             // 18
    virtual void SetLowpass(std::int32_t hz) = 0;                                  // 19
    virtual void SetHighpass(std::int32_t hz) = 0;                                 // 20
    virtual std::int32_t GetSampleRate() = 0;                                      // 21
    virtual void SetSampleRate(std::int32_t hz) = 0;                               // 22
    // 23. Pushes out what the handle still holds (the end of the sound); MP3
    // bytes placed in out, or negative (also when the library cannot flush).
    virtual std::int32_t EncodeFlush(Mp3Handle h, std::uint8_t* out, std::int32_t outSize) = 0;
    // 24. After InitParams: the samples per channel by which the decoded sound
    // trails what the handle is given (the encoder's and the decoder's start-up);
    // 0 when the library does not tell.
    virtual std::int32_t StartDelay(Mp3Handle h) = 0;

protected:
    ~IMp3Encoder() = default;
};

}  // namespace reelcast
