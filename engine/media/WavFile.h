// WAVFILE: writes 16-bit stereo PCM at 44100 Hz into a WAV file; the sizes in the
// header are patched when the writer is released.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/core/Component.h"
#include "engine/media/IWavWriter.h"

namespace reelcast::media {

class WavFile final : public core::Component<IWavWriter, WavFile> {
public:
    ~WavFile();
    bool Init() override;
    bool Open(const char* path) override;
    bool WriteSamples(const std::int16_t* samples, std::uint32_t count) override;

private:
    void Finish();

    std::FILE* file_ = nullptr;
    std::uint64_t bytes_ = 0;
};

}  // namespace reelcast::media
