// IAudioStreamConverter (ASCONVERT): per-picture blocks of 16-bit stereo PCM at
// the target sample rate.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"
#include "engine/media/SampleBlock.h"

namespace reelcast {

class IAudioStreamConverter : public IEngineComponent {
public:
    // Slot 4. Stores both rates and opens the audio reader; answers true.
    virtual bool Open(const char* path, double frameRate, std::uint32_t sampleRate) = 0;
    // Slot 5. The block for the next picture; data points into the converter's
    // own buffer, overwritten by the next call.
    virtual bool GetBlock(SampleBlock* out) = 0;
    // Slot 6. Tops the queue up from the reader.
    virtual void Refill(std::uint32_t samplesNeeded) = 0;

protected:
    ~IAudioStreamConverter() = default;
};

}  // namespace reelcast
