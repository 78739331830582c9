#include "engine/jobs/PictureSound.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace reelcast::jobs {
namespace {

// One block never exceeds a million sample pairs (over 20 s at 48 kHz).
constexpr std::int64_t kMaxBlockPairs = 1 << 20;

}  // namespace

SampleBlock KeepBlock(const SampleBlock& block, std::vector<std::int16_t>& storage) {
    const std::size_t n = block.data ? block.count : 0;
    if (storage.size() < n) storage.resize(n);
    if (n) std::copy(block.data, block.data + n, storage.begin());
    return SampleBlock{n ? storage.data() : nullptr, static_cast<std::uint32_t>(n)};
}

SampleBlock PictureSound::Complete(const SampleBlock& got, std::int64_t frame) {
    const std::uint32_t have = got.data ? got.count : 0;
    if (have) heard_ = true;
    if (!(fps_ > 0) || sampleRate_ <= 0) {
        delivered_ += have / 2;
        return got;
    }
    const auto target = static_cast<std::int64_t>(std::llround(double(frame + 1) * sampleRate_ / fps_));
    const std::int64_t after = delivered_ + have / 2;
    if (after + 1 >= target) {
        delivered_ = after;
        return got;
    }
    const auto want = static_cast<std::uint32_t>(std::min(target - delivered_, kMaxBlockPairs) * 2);
    padded_.assign(want, 0);
    if (have) std::memcpy(padded_.data(), got.data, std::size_t(std::min(have, want)) * 2);
    delivered_ += want / 2;
    return SampleBlock{padded_.data(), want};
}

}  // namespace reelcast::jobs
