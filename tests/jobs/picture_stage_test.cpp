// The picture stage hands on, for every picture, what converting that
// picture's bitmap gives, also where it takes the previous conversion for a
// repeated bitmap: run directly and ahead of its consumer at several depths,
// with and without scaling.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "engine/core/Component.h"
#include "engine/jobs/PictureStage.h"
#include "engine/picture/YuvUtil.h"
#include "platform/avifile/BitmapInfo.h"

namespace {

using namespace reelcast;

constexpr int kWidth = 40;
constexpr int kHeight = 30;
constexpr std::uint32_t kRow = ((3u * kWidth + 3) / 4) * 4;
// Which of three contents each picture shows: runs of repeats, returns to an
// earlier content, a change on the last picture.
const std::vector<int> kContents = {0, 0, 1, 1, 1, 0, 2, 2, 0, 1};

void Fill(std::uint8_t* bitmap, int content) {
    std::memset(bitmap, 0, platform::kBitmapInfoHeaderSize);
    const std::int32_t header[3] = {40, kWidth, kHeight};
    std::memcpy(bitmap, header, sizeof header);
    std::mt19937 rng(static_cast<unsigned>(content) + 7);
    for (std::uint32_t i = 0; i < kRow * kHeight; ++i)
        bitmap[platform::kBitmapInfoHeaderSize + i] = static_cast<std::uint8_t>(rng());
}

// Like the real readers, leaves the buffer as it was for a repeated picture.
class Frames final : public core::Component<IVideoFrameSource, Frames> {
public:
    bool Init() override { return true; }
    bool Open(const char*, std::int32_t, std::int32_t, double) override { return true; }
    bool GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) override {
        *size = platform::kBitmapInfoHeaderSize + kRow * kHeight;
        if (!buffer) return true;
        if (index >= kContents.size()) return false;
        if (index == 0 || kContents[index] != kContents[index - 1]) Fill(buffer, kContents[index]);
        return true;
    }
};

class Sound final : public core::Component<IAudioStreamConverter, Sound> {
public:
    bool Init() override { return true; }
    bool Open(const char*, double, std::uint32_t) override { return true; }
    bool GetBlock(SampleBlock* out) override {
        out->data = samples_;
        out->count = 2;
        return true;
    }
    void Refill(std::uint32_t) override {}

private:
    std::int16_t samples_[2] = {};
};

// Converts one content as the stage would, on a converter of its own.
std::vector<std::uint8_t> Expected(int content, int outW, int outH) {
    std::vector<std::uint8_t> bitmap(platform::kBitmapInfoHeaderSize + kRow * kHeight);
    Fill(bitmap.data(), content);
    picture::YuvUtil yuv;
    yuv.Init();
    jobs::PlanarPicture source, out;
    source.Allocate(kWidth, kHeight);
    out.Allocate(outW, outH);
    yuv.RgbToYuv420(kWidth, kHeight, bitmap.data() + platform::kBitmapInfoHeaderSize,
                    (outW == kWidth ? out : source).frame.y, (outW == kWidth ? out : source).frame.cb,
                    (outW == kWidth ? out : source).frame.cr);
    if (outW != kWidth) yuv.Scale(&source.frame, &out.frame);
    return out.storage;
}

class PictureStageTest : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(PictureStageTest, EveryPictureIsItsBitmapsConversion) {
    const auto [depth, scaled] = GetParam();
    const int outW = scaled ? 64 : kWidth, outH = scaled ? 48 : kHeight;
    Frames frames;
    Sound sound;
    picture::YuvUtil yuv;
    yuv.Init();
    std::vector<std::uint8_t> buffer(platform::kBitmapInfoHeaderSize + kRow * kHeight);
    jobs::PictureStage::Source src;
    src.frames = &frames;
    src.yuv = &yuv;
    src.sound = &sound;
    src.frameBuffer = &buffer;
    src.sourceWidth = kWidth;
    src.sourceHeight = kHeight;
    src.outputWidth = outW;
    src.outputHeight = outH;
    jobs::PictureStage stage;
    stage.Configure(src);
    const std::uint32_t count = static_cast<std::uint32_t>(kContents.size());
    jobs::StagedPicture here;
    if (depth > 0) {
        ASSERT_TRUE(stage.Start(count, static_cast<std::size_t>(depth)));
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (depth == 0) {
            ASSERT_TRUE(stage.Produce(i, here));
        }
        const jobs::StagedPicture& p = depth > 0 ? stage.Next() : here;
        ASSERT_FALSE(p.readFailed);
        EXPECT_EQ(p.picture.storage, Expected(kContents[i], outW, outH)) << "picture " << i;
        if (depth > 0) stage.Done();
    }
    stage.Stop();
}

INSTANTIATE_TEST_SUITE_P(DirectAndAhead, PictureStageTest,
                         ::testing::Combine(::testing::Values(0, 1, 3), ::testing::Bool()));

}  // namespace
