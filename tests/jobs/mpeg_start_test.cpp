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

// What each mode makes of a choice: the generic modes round the source's size
// (350x262) to macroblocks; the disc modes have fixed geometry.
struct GeometryCase {
    const char* name;
    int mode;
    bool ntsc;
    int rateIndex;  // frame rate for the generic modes, NTSC rate for the disc modes
    bool lowResolution;
    unsigned width, height;
    double frameRate;
    unsigned audioRate, jobKind;
};

class MpegStartGeometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(MpegStartGeometry, FillsTheRecord) {
    const GeometryCase& g = GetParam();
    MpegDialogChoice c;
    c.ntsc = g.ntsc;
    c.lowResolution = g.lowResolution;
    if (g.rateIndex >= 0) (g.ntsc ? c.ntscRateIndex : c.frameRateIndex) = g.rateIndex;
    MpegJobParams r{};
    ASSERT_TRUE(Build(g.mode, c, &r).ok);
    EXPECT_EQ(r.width, g.width);
    EXPECT_EQ(r.height, g.height);
    EXPECT_DOUBLE_EQ(r.frameRate, g.frameRate);
    EXPECT_EQ(r.audioRate, g.audioRate);
    EXPECT_EQ(r.jobKind, g.jobKind);
    EXPECT_STREQ(r.sourcePath, "in.avi");
    EXPECT_STREQ(r.outputPath, "out.mpg");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, MpegStartGeometry,
    ::testing::Values(GeometryCase{"Mpg1", kModeMpg1, false, -1, false, 336, 256, 25.0, 0, 5},
                      GeometryCase{"Mpg2Film", kModeMpg2, false, 0, false, 336, 256, 23.976, 0, 6},
                      GeometryCase{"VcdNtscFilm", kModeVcd, true, 1, false, 352, 240, 23.976, 44100, 0},
                      GeometryCase{"SvcdPal", kModeSvcd, false, -1, false, 480, 576, 25.0, 44100, 1},
                      GeometryCase{"DvdNtscLow", kModeDvd, true, -1, true, 352, 240, 29.97, 48000, 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MpegStart, TypedSizesMustBeWholeMacroblocks) {
    MpegJobParams r{};
    MpegDialogChoice c;
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
