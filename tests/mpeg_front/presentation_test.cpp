// Sources made the awkward ways real footage comes: sound that starts after or
// before the first picture, pictures turned by a display matrix, interlaced
// pictures. Each goes through reelcast-cli in an MPEG and an AVI mode, and what
// FFmpeg decodes from our file must match what it decodes from the source as a
// player presents it: beep-to-flash offsets, the marker's corner, no combing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/mpeg_front/E2eSupport.h"
#include "tests/mpeg_front/SyncSupport.h"

namespace fs = std::filesystem;
using namespace reelcast::testing;

namespace {

const std::string kCli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";

class Presentation : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kCli)) GTEST_SKIP() << "reelcast-cli not built";
        if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) GTEST_SKIP() << "ffmpeg missing";
    }
};

// Converts src in `mode` into dir; the output path, empty (with a failure) when
// the conversion failed.
std::string Convert(const ScratchDir& dir, const std::string& src, const std::string& mode) {
    const std::string out = dir.File(mode + (mode == "avi" || mode == "divx" ? ".avi" : ".mpg"));
    const CommandResult r =
        RunCommand(Quote(kCli) + " convert --mode " + mode + " -q -y " + Quote(src) + " " + Quote(out) + " 2>&1");
    EXPECT_EQ(0, r.status) << mode << ": " << r.out;
    return r.status == 0 ? out : std::string();
}

void MakeFile(const std::string& args, const std::string& out) {
    const std::string cmd = "ffmpeg -nostdin -v error -y " + args + " " + Quote(out);
    ASSERT_EQ(0, RunCommand(cmd).status) << cmd;
}

// ---------------------------------------------------------------------------
// Start offsets. A flash every 2 s and a beep every 2 s from each stream's own
// start; the streams are then placed apart in the container.

constexpr double kEvery = 2.0;

const char* kFlashes =
    "-f lavfi -i \"color=c=black:s=176x144:r=25,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:"
    "enable='lt(mod(t\\,2)\\,0.02)'\"";
const char* kBeeps = "-f lavfi -i \"aevalsrc=exprs='if(lt(mod(t\\,2)\\,0.06)\\,0.7*sin(2*PI*1000*t)\\,0)':s=48000\"";

// Each beep's offset from the flash nearest to it, as FFmpeg plays the file.
std::vector<double> BeepToFlash(const std::string& file) {
    const std::vector<double> flashes = FlashTimes(file);
    int rate = 0;
    const std::vector<double> beeps = BeepTimes(file, &rate);
    std::vector<double> d;
    for (double b : beeps) {
        double best = 1e9;
        for (double f : flashes)
            if (std::fabs(b - f) < std::fabs(best)) best = b - f;
        if (std::fabs(best) < kEvery / 2) d.push_back(best);
    }
    return d;
}

struct OffsetCase {
    const char* name;
    const char* videoOffset;  // -itsoffset of the pictures, seconds
    const char* audioOffset;  // of the sound
    const char* codecs;       // and how the file stores them
    const char* container;
};

class StartOffsets : public Presentation, public ::testing::WithParamInterface<OffsetCase> {};

TEST_P(StartOffsets, BeepsKeepTheirPlaceAgainstTheFlashes) {
    const OffsetCase& c = GetParam();
    ScratchDir dir(std::string("offsets_") + c.name);
    const std::string src = dir.File(std::string("source.") + c.container);
    const std::string tmp = dir.File("made.mkv");
    MakeFile(std::string("-itsoffset ") + c.videoOffset + " " + kFlashes + " -itsoffset " + c.audioOffset + " " +
                 kBeeps + " -t 9 -map 0:v -map 1:a " + c.codecs,
             std::string(c.container) == "vob" ? tmp : src);
    // A VOB is remuxed from the MKV, so that its streams keep the placing.
    if (std::string(c.container) == "vob") MakeFile("-i " + Quote(tmp) + " -c copy -f vob", src);
    const std::vector<double> want = BeepToFlash(src);
    ASSERT_GE(want.size(), 3u);
    // How far the file's own streams sit apart must show in the source.
    ASSERT_GT(std::fabs(want.front()), 0.3);

    // MPEG sound carries the Layer II filter banks' constant delay on top.
    for (const auto& [mode, tolerance] : {std::pair<std::string, double>{"vcd", 0.015}, {"divx", 0.004}}) {
        SCOPED_TRACE(mode);
        const std::string out = Convert(dir, src, mode);
        if (out.empty()) continue;
        const std::vector<double> got = BeepToFlash(out);
        // Every beep heard after the first picture is still there, in its place.
        ASSERT_GE(got.size(), want.size() - 1);
        for (std::size_t k = 0; k < got.size(); ++k) {
            const double expected = want[want.size() - got.size() + k];
            EXPECT_NEAR(got[k], expected, tolerance) << "beep " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Containers, StartOffsets,
    ::testing::Values(
        OffsetCase{"late_sound_mkv", "0", "1.3", "-c:v mpeg4 -q:v 2 -c:a pcm_s16le", "mkv"},
        // MP4 keeps the late start in an edit list; AAC brings its own priming.
        OffsetCase{"late_sound_mp4", "0", "1.3", "-c:v libx264 -pix_fmt yuv420p -c:a aac", "mp4"},
        OffsetCase{"late_pictures_mkv", "0.6", "0", "-c:v mpeg4 -q:v 2 -c:a pcm_s16le", "mkv"},
        OffsetCase{"early_sound_vob", "0.5", "0", "-c:v mpeg2video -q:v 2 -c:a mp2", "vob"}),
    [](const ::testing::TestParamInfo<OffsetCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Rotation: a red marker in the top-left corner of the stored picture.

// The corner (0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right) where the
// first picture FFmpeg shows has the marker, -1 when none or several.
int MarkerCorner(const std::string& file) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) +
                                       " -frames:v 1 -vf scale=8:8 -f rawvideo -pix_fmt rgb24 -");
    if (r.out.size() < 8 * 8 * 3) return -1;
    int found = -1;
    const int at[4][2] = {{0, 0}, {7, 0}, {0, 7}, {7, 7}};
    for (int k = 0; k < 4; ++k) {
        const auto* p = reinterpret_cast<const unsigned char*>(r.out.data()) + 3 * (at[k][1] * 8 + at[k][0]);
        if (p[0] > 150 && p[1] < 110) {
            if (found >= 0) return -1;
            found = k;
        }
    }
    return found;
}

// Width and height of the first video stream.
std::pair<int, int> PictureSize(const std::string& file) {
    const auto m = ProbeStreams(file);
    const auto w = m.find("v.width"), h = m.find("v.height");
    if (w == m.end() || h == m.end()) return {0, 0};
    return {std::atoi(w->second.c_str()), std::atoi(h->second.c_str())};
}

TEST_F(Presentation, TurnedPicturesComeOutAsAPlayerShowsThem) {
    ScratchDir dir("rotation");
    const std::string base = dir.File("base.mp4");
    MakeFile("-f lavfi -i \"color=c=gray:s=320x176:r=25,drawbox=x=0:y=0:w=48:h=48:color=red:t=fill\" "
             "-f lavfi -i sine=r=44100 -t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac",
             base);
    for (int degrees : {90, 180, 270}) {
        SCOPED_TRACE(degrees);
        const std::string src = dir.File("turned" + std::to_string(degrees) + ".mp4");
        MakeFile("-i " + Quote(base) + " -c copy -metadata:s:v:0 rotate=" + std::to_string(degrees), src);
        const int corner = MarkerCorner(src);
        ASSERT_GE(corner, 0);
        ASSERT_NE(corner, 0) << "FFmpeg shows the source turned";
        const std::string info = RunCommand(Quote(kCli) + " info " + Quote(src)).out;
        const bool quarter = degrees != 180;
        EXPECT_NE(info.find(quarter ? "Width: 176    Height: 320" : "Width: 320    Height: 176"), std::string::npos)
            << info;
        for (const char* mode : {"mpg1", "divx"}) {
            SCOPED_TRACE(mode);
            const std::string out = Convert(dir, src, mode);
            if (out.empty()) continue;
            EXPECT_EQ(MarkerCorner(out), corner);
            // The AVI keeps the source's size: the turned one.
            if (std::string(mode) == "divx") {
                EXPECT_EQ(PictureSize(out), quarter ? std::make_pair(176, 320) : std::make_pair(320, 176));
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Interlacing: a white bar moving fast across black, stored as top-field-first
// interlaced frames whose two fields show the bar at different places.

// Mean difference between each even row and the odd row below it over ten
// pictures: large where two fields of different instants are woven together.
double Combing(const std::string& file) {
    const auto [w, h] = PictureSize(file);
    if (w <= 0 || h <= 0) return -1;
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) +
                                       " -vf \"select='between(n\\,10\\,19)'\" -vsync 0 -f rawvideo -pix_fmt gray -");
    const std::size_t size = static_cast<std::size_t>(w) * h;
    const std::size_t n = r.out.size() / size;
    if (n == 0) return -1;
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const auto* p = reinterpret_cast<const unsigned char*>(r.out.data()) + k * size;
        for (int y = 0; y + 1 < h; y += 2)
            for (int x = 0; x < w; ++x, ++count) sum += std::abs(p[y * w + x] - p[(y + 1) * w + x]);
    }
    return sum / static_cast<double>(count);
}

TEST_F(Presentation, InterlacedPicturesAreDeinterlacedBeforeScaling) {
    ScratchDir dir("interlaced");
    const std::string src = dir.File("interlaced.mpg");
    MakeFile("-f lavfi -i color=c=black:s=720x576:r=50 -f lavfi -i color=c=white:s=40x576:r=50 -f lavfi -i sine=r=48000 "
             "-filter_complex \"[0][1]overlay=x='mod(t*1000\\,680)':y=0,tinterlace=mode=interleave_top,setfield=tff[v]\" "
             "-map \"[v]\" -map 2:a -t 2 -c:v mpeg2video -q:v 2 -flags +ilme+ildct -top 1 -c:a mp2",
             src);
    ASSERT_GT(Combing(src), 5.0) << "the source's fields differ";
    // DVD keeps 720x576 (nothing to hide the weave), the AVI keeps the source size.
    for (const char* mode : {"dvd", "divx"}) {
        SCOPED_TRACE(mode);
        const std::string out = Convert(dir, src, mode);
        if (out.empty()) continue;
        EXPECT_LT(Combing(out), 1.0);
    }
}

}  // namespace
