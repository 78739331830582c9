// IWavWriter (WAVFILE): writes 16-bit stereo PCM at 44100 Hz into a WAV file.
//
// File layout: the 44-byte RIFF/WAVE header (fmt chunk of 16 bytes: PCM, 2 channels,
// 44100 Hz, 176400 bytes/s, block 4, 16 bits) followed by the samples. Both sizes
// are written as 0 by Open and patched when the writer is destroyed (Release).
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"

namespace reelcast {

class IWavWriter : public IEngineComponent {
public:
    // Slot 4. Creates (truncates) the file and writes the header with both sizes 0.
    // False when the file cannot be created or the path is 260 characters or more.
    virtual bool Open(const char* path) = 0;
    // Slot 5. Appends count interleaved 16-bit samples (left, right, left, ...).
    // False when they could not all be stored (no file open, disk full), so the
    // caller can stop instead of finishing with a short sound.
    virtual bool WriteSamples(const std::int16_t* samples, std::uint32_t count) = 0;

protected:
    ~IWavWriter() = default;
};

}  // namespace reelcast
