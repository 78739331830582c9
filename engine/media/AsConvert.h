// ASCONVERT: cuts a source's decoded sound into one block of 16-bit stereo
// samples per output picture, the block sizes following the exact ratio of sample
// rate to frame rate over time.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/Component.h"
#include "engine/core/ComponentHandle.h"
#include "engine/media/IAudioReader.h"
#include "engine/media/IAudioStreamConverter.h"

namespace reelcast::media {

class AsConvert final : public core::Component<IAudioStreamConverter, AsConvert> {
public:
    // The block buffer: 400000 bytes.
    static constexpr std::uint32_t kBlockSamples = 200000;

    bool Init() override;
    bool Open(const char* path, double frameRate, std::uint32_t sampleRate) override;
    bool GetBlock(SampleBlock* out) override;
    void Refill(std::uint32_t samplesNeeded) override;

    // Stereo frames of the next block, advancing the carry.
    std::uint32_t NextFrameCount();

private:
    // Appends count 16-bit samples given as bytes. False when memory runs out.
    bool Append(const std::uint8_t* samples, std::size_t count);

    std::uint32_t sampleRate_ = 0;
    double frameRate_ = 0;
    core::ComponentHandle<IAudioReader> reader_;
    // The sample queue: unread samples are queue_[head_, head_ + count_).
    std::unique_ptr<std::int16_t[]> queue_;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    double carry_ = 0;
    std::unique_ptr<std::int16_t[]> block_;
};

}  // namespace reelcast::media
