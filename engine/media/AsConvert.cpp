#include "engine/media/AsConvert.h"

#include <cmath>
#include <cstring>
#include <new>

#include "engine/core/Factories.h"

namespace reelcast::media {

bool AsConvert::Init() {
    sampleRate_ = 0;
    frameRate_ = 0;
    reader_.reset();
    carry_ = 0;
    head_ = count_ = 0;
    block_.reset(new (std::nothrow) std::int16_t[kBlockSamples]);
    return block_ != nullptr;
}

bool AsConvert::Open(const char* path, double frameRate, std::uint32_t sampleRate) {
    frameRate_ = frameRate;
    sampleRate_ = sampleRate;
    reader_.reset();
    reader_ = core::MakeHandle<IAudioReader>("MEDIAAUDIODATA");
    if (reader_) reader_->Open(path, sampleRate);
    return true;
}

std::uint32_t AsConvert::NextFrameCount() {
    const double s = sampleRate_ / frameRate_;
    // A rate pair that gives no sensible block size gives empty blocks.
    if (!std::isfinite(s) || s <= 0) return 0;
    const double n = std::ceil(carry_ + s - 0.5);
    carry_ = carry_ + s - n;
    if (n <= 0) return 0;
    // The block buffer holds at most kBlockSamples samples.
    return n > kBlockSamples / 2 ? kBlockSamples / 2 : static_cast<std::uint32_t>(n);
}

bool AsConvert::Append(const std::uint8_t* samples, std::size_t count) {
    if (head_ + count_ + count > capacity_) {
        if (count_ + count > capacity_) {
            // Grow by doubling, starting at the size of the first append.
            std::size_t cap = capacity_ ? capacity_ : count;
            while (cap < count_ + count) cap *= 2;
            std::unique_ptr<std::int16_t[]> bigger(new (std::nothrow) std::int16_t[cap]);
            if (!bigger) return false;
            if (count_) std::memcpy(bigger.get(), queue_.get() + head_, count_ * 2);
            queue_ = std::move(bigger);
            capacity_ = cap;
        } else if (count_) {
            std::memmove(queue_.get(), queue_.get() + head_, count_ * 2);
        }
        head_ = 0;
    }
    std::memcpy(queue_.get() + head_ + count_, samples, count * 2);
    count_ += count;
    return true;
}

void AsConvert::Refill(std::uint32_t samplesNeeded) {
    if (!reader_) return;
    while (count_ < samplesNeeded) {
        std::uint8_t* chunk = nullptr;
        std::uint32_t bytes = 0;
        if (!reader_->GetChunk(&chunk, &bytes) || !chunk || bytes < 2) {
            reader_->FreeChunk(chunk);
            break;
        }
        const bool ok = Append(chunk, bytes / 2);
        reader_->FreeChunk(chunk);
        if (!ok) break;
    }
}

bool AsConvert::GetBlock(SampleBlock* out) {
    if (!out) return false;
    const std::uint32_t n = NextFrameCount();
    out->data = block_.get();
    out->count = 0;
    if (!reader_) return false;
    const std::uint32_t want = 2 * n;
    Refill(want);
    if (count_ == 0) return false;
    const std::size_t take = count_ >= want ? want : count_;
    std::memcpy(block_.get(), queue_.get() + head_, take * 2);
    head_ += take;
    count_ -= take;
    if (count_ == 0) head_ = 0;
    out->count = static_cast<std::uint32_t>(take);
    return true;
}

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(ASCONVERT, reelcast::media::AsConvert)
