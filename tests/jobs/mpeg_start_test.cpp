// What the MPEG settings dialogs (and reelcast-cli) put into the job's record.
#include <gtest/gtest.h>

#include <string>

#include "app/logic/MpegStart.h"

namespace {

using namespace reelcast;
using namespace reelcast::app;

const MpegSourceFacts kSource{true, true, 350, 262};

MpegStartOutcome Build(int mode, const MpegDialogChoice& c, MpegJobParams* r,
                       const MpegSourceFacts& s = kSource) {
    return BuildMpegJobParams(mode, c, s, "in.avi", "out.mpg", nullptr, r);
}

TEST(MpegStart, GenericModesTakeRoundedOrTypedSizes) {
    MpegJobParams r{};
    MpegDialogChoice c;
    ASSERT_TRUE(Build(kModeMpg1, c, &r).ok);
    EXPECT_EQ(r.width, 336u);
    EXPECT_EQ(r.height, 256u);
    EXPECT_DOUBLE_EQ(r.frameRate, 25.0);
    EXPECT_EQ(r.audioRate, 0u);
    EXPECT_EQ(r.jobKind, 5u);
    EXPECT_STREQ(r.sourcePath, "in.avi");
    EXPECT_STREQ(r.outputPath, "out.mpg");

    c.frameRateIndex = 0;
    ASSERT_TRUE(Build(kModeMpg2, c, &r).ok);
    EXPECT_DOUBLE_EQ(r.frameRate, 23.976);
    EXPECT_EQ(r.jobKind, 6u);

    c.sizeNoChange = false;
    c.typedWidth = 720;
    c.typedHeight = 578;
    auto o = Build(kModeMpg2, c, &r);
    EXPECT_FALSE(o.ok);
    EXPECT_STREQ(o.message, "Width and Height should be dived by 16");
    EXPECT_STREQ(o.caption, "Stop");

    c.typedWidth = 0;
    c.typedHeight = 240;
    o = Build(kModeMpg1, c, &r);
    EXPECT_FALSE(o.ok);
    EXPECT_STREQ(o.message, "Width and Height can not less than 16");
}

TEST(MpegStart, DiscModesHaveFixedGeometry) {
    MpegJobParams r{};
    MpegDialogChoice c;
    c.ntsc = true;
    c.ntscRateIndex = 1;
    ASSERT_TRUE(Build(kModeVcd, c, &r).ok);
    EXPECT_EQ(r.width, 352u);
    EXPECT_EQ(r.height, 240u);
    EXPECT_DOUBLE_EQ(r.frameRate, 23.976);
    EXPECT_EQ(r.audioRate, 44100u);
    EXPECT_EQ(r.jobKind, 0u);

    c = MpegDialogChoice{};
    ASSERT_TRUE(Build(kModeSvcd, c, &r).ok);
    EXPECT_EQ(r.width, 480u);
    EXPECT_EQ(r.height, 576u);
    EXPECT_EQ(r.jobKind, 1u);

    c.ntsc = true;
    c.lowResolution = true;
    ASSERT_TRUE(Build(kModeDvd, c, &r).ok);
    EXPECT_EQ(r.width, 352u);
    EXPECT_EQ(r.height, 240u);
    EXPECT_DOUBLE_EQ(r.frameRate, 29.97);
    EXPECT_EQ(r.audioRate, 48000u);
    EXPECT_EQ(r.jobKind, 6u);
}

TEST(MpegStart, RefusesWhatTheJobCannotTake) {
    MpegJobParams r{};
    MpegDialogChoice c;
    for (int mode = kModeMpg1; mode <= kModeDvd; ++mode) {
        auto o = Build(mode, c, &r, MpegSourceFacts{true, false, 352, 288});
        EXPECT_FALSE(o.ok);
        EXPECT_STREQ(o.message, "Mpeg1/Mpeg2 should have audio and video stream");
        EXPECT_STREQ(o.caption, "Error");
    }
    // A 259-character path fits; 260 does not, and nothing is truncated.
    const std::string fits(259, 'a');
    const std::string tooLong(260, 'a');
    EXPECT_TRUE(BuildMpegJobParams(kModeVcd, c, kSource, fits.c_str(), "o", nullptr, &r).ok);
    EXPECT_EQ(std::string(r.sourcePath), fits);
    r = MpegJobParams{};
    auto o = BuildMpegJobParams(kModeVcd, c, kSource, "in", tooLong.c_str(), nullptr, &r);
    EXPECT_FALSE(o.ok);
    EXPECT_STREQ(o.message, kPathTooLong);
    EXPECT_EQ(r.jobKind, 0u);
    EXPECT_EQ(r.outputPath[0], '\0') << "record untouched when refused";
    // A source smaller than one macroblock cannot keep its size.
    EXPECT_FALSE(Build(kModeMpg1, c, &r, MpegSourceFacts{true, true, 8, 8}).ok);
}

}  // namespace
