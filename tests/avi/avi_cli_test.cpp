// reelcast-cli for the AVI modes and the compressor list, as a user runs it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "AviTestSupport.h"

namespace {

using avitest::Quote;

const std::string kCli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";

// The command line for reelcast-cli. Under AddressSanitizer the runtime's
// __tls_get_addr interception can misread the dynamic TLS of the libraries the
// engine loads and crash the leak check at exit; the option turns it off.
std::string Cli() {
    return "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_tls_get_addr=0\" " + Quote(kCli);
}

#define REQUIRE_CLI_AND_FFMPEG()                                              \
    if (!avitest::FileExists(kCli)) GTEST_SKIP() << "reelcast-cli not built"; \
    if (!avitest::HaveTool("ffmpeg") || !avitest::HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg/ffprobe not installed"

// `reelcast-cli convert -q OPTIONS SRC OUT` with the environment assignments
// `env` ("NAME=value "): what it printed, its exit status in *status.
std::string Convert(const std::string& options, const std::string& src, const std::string& out, int* status,
                    const std::string& env = "") {
    return avitest::Run(env + Cli() + " convert -q " + options + " " + Quote(src) + " " + Quote(out) + " 2>&1",
                        status);
}

TEST(AviCli, CodecsListsTheCompressorsWithTheirCodes) {
    if (!avitest::FileExists(kCli)) GTEST_SKIP() << "reelcast-cli not built";
    int st = -1;
    const std::string out = avitest::Run(Cli() + " codecs 2>&1", &st);
    EXPECT_EQ(st, 0) << out;
    for (const char* cc : {"DIVX  ", "XVID  ", "MJPG  ", "cvid  ", "DIB   "})
        EXPECT_NE(out.find(cc), std::string::npos) << cc << " missing from:\n" << out;
}

// A program without windows never maps the window toolkit: loading it would
// cost every conversion tens of milliseconds and about 8 MB. The AVI job waits
// through the dialogs' entry points, which must not load it either.
TEST(AviCli, ConvertsWithoutLoadingTheWindowToolkit) {
    REQUIRE_CLI_AND_FFMPEG();
    avitest::TempDir dir;
    const std::string src = dir.File("src.mkv");
    ASSERT_TRUE(avitest::MakeSource(src, 64, 48, 25, 1, 44100));
    int st = -1;
    const std::string out = Convert("--mode divx --audio mp3", src, dir.File("out.avi"), &st, "LD_DEBUG=files ");
    ASSERT_EQ(st, 0) << out;
    EXPECT_NE(out.find("libOmbrixDll.so"), std::string::npos) << "no loader trace to read";
    EXPECT_EQ(out.find("libQt6"), std::string::npos) << "the toolkit was loaded";
}

// Both modes with their default compressor choice ("avi" has no Indeo here and
// takes the first listed one), sizes and rates from the options, and the
// refusals that keep a conversion from starting on settings it cannot honour.
TEST(AviCli, ConvertsInBothModesAndRefusesWhatItCannotDo) {
    REQUIRE_CLI_AND_FFMPEG();
    avitest::TempDir dir;
    const std::string src = dir.File("src.mkv");
    ASSERT_TRUE(avitest::MakeSource(src, 128, 96, 25, 1, 44100));

    int st = -1;
    const std::string divx = dir.File("divx.avi");
    std::string out = Convert("--mode divx --audio mp3 --rate 48000 --fps 29.97 --size 96x64", src, divx, &st);
    ASSERT_EQ(st, 0) << out;
    auto s = avitest::ProbeStreams(divx);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].at("codec_tag_string"), "DIVX");
    EXPECT_EQ(s[0].at("width"), "96");
    EXPECT_EQ(s[0].at("height"), "64");
    EXPECT_EQ(s[1].at("codec_name"), "mp3");
    EXPECT_EQ(s[1].at("sample_rate"), "48000");
    EXPECT_EQ(avitest::DecodedVideoFrames(divx), 29);  // 25 frames at 25 fps, 29.97 fps out
    std::string err;
    EXPECT_TRUE(avitest::DecodesCleanly(divx, &err)) << err;

    const std::string avi = dir.File("avi.avi");
    out = Convert("--mode avi --audio pcm", src, avi, &st);
    ASSERT_EQ(st, 0) << out;
    s = avitest::ProbeStreams(avi);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].at("codec_tag_string"), "DIVX") << "the first listed compressor";
    EXPECT_EQ(s[0].at("width"), "128");
    EXPECT_EQ(avitest::DecodedVideoFrames(avi), 25);
    EXPECT_TRUE(avitest::FileExists(dir.File("avi.wav")));

    // An existing output is kept without -y.
    out = Convert("--mode avi", src, avi, &st);
    EXPECT_NE(st, 0) << out;
    EXPECT_EQ(avitest::DecodedVideoFrames(avi), 25);

    const std::string bad = dir.File("bad.avi");
    for (const char* opts : {"--audio pcm --rate 48000", "--codec NOPE", "--fps 12", "--size 96x0"}) {
        out = Convert(std::string("--mode divx ") + opts, src, bad, &st);
        EXPECT_EQ(st, 2) << opts << ": " << out;
        EXPECT_FALSE(avitest::FileExists(bad)) << opts;
    }
}

// Without --fps the AVI takes the source's rate, or the nearest one the AVI path
// offers, so no picture is dropped or repeated without need.
struct SourceRate {
    double fps;
    const char* written;  // ffprobe's rate of the output
    int frames;           // in 2 s
};

class AviCliRate : public ::testing::TestWithParam<SourceRate> {};

TEST_P(AviCliRate, FollowsTheSourceWithoutFps) {
    REQUIRE_CLI_AND_FFMPEG();
    avitest::TempDir dir;
    const SourceRate& r = GetParam();
    const std::string src = dir.File("src.mkv");
    ASSERT_TRUE(avitest::MakeSource(src, 96, 64, r.fps, 2, 44100));
    int st = -1;
    const std::string out = dir.File("out.avi");
    const std::string log = Convert("--mode divx", src, out, &st);
    ASSERT_EQ(st, 0) << log;
    const std::string rate = avitest::Run("ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate "
                                          "-of csv=p=0 " + Quote(out));
    EXPECT_EQ(rate, std::string(r.written) + "\n");
    EXPECT_NEAR(avitest::DecodedVideoFrames(out), r.frames, 1);
}

INSTANTIATE_TEST_SUITE_P(Rates, AviCliRate,
                         ::testing::Values(SourceRate{24000.0 / 1001, "24000/1001", 48},
                                           SourceRate{30, "30/1", 60}, SourceRate{60, "30/1", 60},
                                           SourceRate{50, "30/1", 60}, SourceRate{25, "25/1", 50}),
                         [](const ::testing::TestParamInfo<SourceRate>& info) {
                             return std::to_string(static_cast<int>(std::lround(info.param.fps * 1000)));
                         });

// A name that does not end in .avi: the user is told which file was written, and
// an existing file of that name is kept without -y.
TEST(AviCli, SaysWhereTheAviWasWritten) {
    REQUIRE_CLI_AND_FFMPEG();
    avitest::TempDir dir;
    const std::string src = dir.File("src.mkv");
    ASSERT_TRUE(avitest::MakeSource(src, 96, 64, 25, 1, 44100));
    int st = -1;
    const std::string log = Convert("--mode divx", src, dir.File("film.mkv"), &st);
    ASSERT_EQ(st, 0) << log;
    EXPECT_NE(log.find(dir.File("film.avi")), std::string::npos) << log;
    EXPECT_EQ(avitest::DecodedVideoFrames(dir.File("film.avi")), 25);
    Convert("--mode divx", src, dir.File("film.mkv"), &st);
    EXPECT_NE(st, 0);
}

// The AVI keeps the source's pixel grid, and with it the pixels' shape: the file
// (and, where the compressor has room, the pictures) tells how the picture is
// shown. A size the user chose has square pixels; square pixels need no record.
struct AspectCase {
    const char* name;
    const char* source;  // lavfi size and the source's pixel shape
    const char* sar;
    const char* options; // mode, compressor, size
    const char* wantSar; // ffprobe's, of the stream
    const char* wantDar;
    std::uint32_t vprp;  // the file's display aspect record, 0 for none
    bool inPictures;     // the decoded pictures carry the shape too
};

class AviCliAspect : public ::testing::TestWithParam<AspectCase> {};

TEST_P(AviCliAspect, ShowsTheSourcesDisplayAspect) {
    REQUIRE_CLI_AND_FFMPEG();
    const AspectCase& c = GetParam();
    avitest::TempDir dir;
    const std::string src = dir.File("src.mkv"), out = dir.File("out.avi");
    int st = -1;
    avitest::Run(std::string("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=") + c.source +
                     ":rate=25 -t 0.2 -vf setsar=" + c.sar + " -c:v mpeg4 " + Quote(src),
                 &st);
    ASSERT_EQ(st, 0);
    const std::string log = Convert(std::string("--audio none ") + c.options, src, out, &st);
    ASSERT_EQ(st, 0) << log;
    auto v = avitest::ProbeStream(out, "v:0");
    EXPECT_EQ(v["sample_aspect_ratio"], c.wantSar);
    EXPECT_EQ(v["display_aspect_ratio"], c.wantDar);
    const avitest::AviLayout L = avitest::ReadAviLayout(out);
    ASSERT_TRUE(L.ok) << L.error;
    EXPECT_EQ(L.streams.at(0).frameAspect, c.vprp);
    const std::string pictures = avitest::Run("ffprobe -v error -select_streams v:0 -show_entries "
                                              "frame=sample_aspect_ratio -of csv=p=0 -read_intervals %+#1 " + Quote(out));
    if (c.inPictures) {
        EXPECT_EQ(pictures, std::string(c.wantSar) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, AviCliAspect,
    ::testing::Values(AspectCase{"AnamorphicPal", "720x576", "64/45", "--mode divx", "64:45", "16:9", 0x00100009, true},
                      AspectCase{"Hdv", "1440x1080", "4/3", "--mode avi", "4:3", "16:9", 0x00100009, true},
                      AspectCase{"PalXvid", "720x576", "64/45", "--mode avi --codec XVID", "64:45", "16:9", 0x00100009, true},
                      AspectCase{"PalMotionJpeg", "720x576", "64/45", "--mode avi --codec MJPG", "64:45", "16:9", 0x00100009, true},
                      AspectCase{"PalUncompressed", "720x576", "64/45", "--mode avi --codec DIB", "64:45", "16:9", 0x00100009, false},
                      AspectCase{"PalChosenSize", "720x576", "64/45", "--mode divx --size 1024x576", "1:1", "16:9", 0, false},
                      AspectCase{"Square", "320x240", "1", "--mode divx", "1:1", "4:3", 0, false}),
    [](const ::testing::TestParamInfo<AspectCase>& info) { return std::string(info.param.name); });

}  // namespace

// A size of the user's own: pictures read through the AVI file services come at
// the source's size and must be scaled, not handed to the compressor as they are
// (that gave stripes of misread rows, about 9 dB).
class AviCliSize : public ::testing::TestWithParam<const char*> {};

TEST_P(AviCliSize, ScalesThePicturesOfEverySource) {
    REQUIRE_CLI_AND_FFMPEG();
    avitest::TempDir dir;
    const std::string src = dir.File(std::string("src.") + GetParam());
    ASSERT_TRUE(avitest::MakeSource(src, 320, 240, 25, 1, 44100));
    for (const auto& [w, h] : {std::pair{176, 144}, std::pair{480, 272}}) {
        const std::string out = dir.File("out" + std::to_string(w) + ".avi");
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        int st = -1;
        const std::string said = Convert("--mode divx --audio none --size " + size, src, out, &st);
        ASSERT_EQ(st, 0) << said;
        EXPECT_GT(avitest::LumaPsnrAgainstSource(out, src, w, h), 30.0) << size;
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, AviCliSize, ::testing::Values("avi", "mkv"));
