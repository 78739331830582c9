// Picture and sound stay in step over a whole conversion: a source with a white
// flash and a beep at the same instant every second goes through reelcast-cli in
// every mode; FFmpeg decodes the result, and every flash must lie within one
// picture period of its beep, from the first second to the last.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/mpeg_front/E2eSupport.h"
#include "tests/mpeg_front/SyncSupport.h"

namespace fs = std::filesystem;
using namespace reelcast::testing;

namespace {

const std::string kCli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";

// A whole minute in the normal build; the sanitizer build runs every mode too,
// on a shorter clip. REELCAST_AVSYNC_SECONDS overrides both.
int SourceSeconds() {
    if (const char* env = std::getenv("REELCAST_AVSYNC_SECONDS")) {
        const int s = std::atoi(env);
        if (s > 0) return s;
    }
#if defined(__SANITIZE_ADDRESS__)
    return 12;
#else
    return 62;
#endif
}

struct SyncCase {
    const char* mode;
    bool ntsc;
    const char* sourceRate;  // lavfi rate of the source
    double sourceFps;
    int every;               // source pictures from one flash to the next (a second or so)
    double fps;              // output picture rate
    int sampleRate = 44100;  // of the source's sound
};

class AvSync : public ::testing::TestWithParam<SyncCase> {
protected:
    void SetUp() override {
        if (!fs::exists(kCli)) GTEST_SKIP() << "reelcast-cli not built";
        if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) GTEST_SKIP() << "ffmpeg missing";
    }
};

TEST_P(AvSync, FlashAndBeepStayTogether) {
    const SyncCase& c = GetParam();
    const int seconds = SourceSeconds();
    ScratchDir dir(std::string("avsync_") + c.mode);
    const double interval = c.every / c.sourceFps;
    const std::string src = MakeFlashBeepSource(dir, c.sourceRate, c.every, interval, c.sampleRate, seconds);
    const std::string mode = c.mode;
    const bool avi = mode == "avi" || mode == "divx";
    const std::string out = dir.File(mode + (avi ? ".avi" : ".mpg"));
    std::string cmd = Quote(kCli) + " convert --mode " + c.mode + " -q -y";
    if (c.ntsc) cmd += (avi || mode == "mpg1" || mode == "mpg2") ? " --fps 29.97" : " --ntsc";
    const CommandResult conv = RunCommand(cmd + " " + Quote(src) + " " + Quote(out) + " 2>&1");
    ASSERT_EQ(0, conv.status) << conv.out;

    const std::vector<double> flashes = FlashTimes(out);
    int rate = 0;
    const std::vector<double> beeps = BeepTimes(out, &rate);
    // One of each for every flash of the source; none lost at either end.
    const auto pictures = static_cast<long>(std::ceil(seconds * c.sourceFps - 1e-6));
    EXPECT_EQ(static_cast<std::size_t>((pictures - 1) / c.every + 1), flashes.size());
    ASSERT_EQ(flashes.size(), beeps.size());
    const double period = 1.0 / c.fps;
    double worst = 0;
    for (std::size_t k = 0; k < flashes.size(); ++k) {
        const double d = beeps[k] - flashes[k];
        if (std::fabs(d) > std::fabs(worst)) worst = d;
        EXPECT_LE(std::fabs(d), period) << "second " << k << ": flash at " << flashes[k] << " s, beep at "
                                        << beeps[k] << " s";
        if (k > 0) {
            // Exact when no picture-rate conversion; else on the output's picture grid.
            EXPECT_NEAR(interval, flashes[k] - flashes[k - 1], c.sourceFps == c.fps ? 1e-3 : period)
                << "second " << k;
        }
    }
    // The sound is stamped so that a decoder's output lines up with the pictures,
    // the delay of the Layer II filter banks taken into account.
    ASSERT_FALSE(flashes.empty());
    EXPECT_LE(std::fabs(beeps[0] - flashes[0]), 0.003) << "first beep " << (beeps[0] - flashes[0]) * 1000 << " ms";
    EXPECT_LE(std::fabs(beeps.back() - flashes.back()), 0.003)
        << "last beep " << (beeps.back() - flashes.back()) * 1000 << " ms";
    RecordProperty("worst_offset_ms", static_cast<int>(std::lround(worst * 1000)));
    std::printf("[ sync ] %s%s: %zu flashes, worst beep-flash offset %+.1f ms (picture period %.1f ms, %d Hz)\n",
                c.mode, c.ntsc ? " NTSC" : "", flashes.size(), worst * 1000, period * 1000, rate);
}

INSTANTIATE_TEST_SUITE_P(EveryMode, AvSync,
                         ::testing::Values(SyncCase{"mpg1", false, "25", 25.0, 25, 25.0},
                                           SyncCase{"vcd", false, "25", 25.0, 25, 25.0},
                                           SyncCase{"mpg2", false, "25", 25.0, 25, 25.0},
                                           SyncCase{"svcd", false, "25", 25.0, 25, 25.0},
                                           SyncCase{"dvd", false, "25", 25.0, 25, 25.0},
                                           SyncCase{"vcd", true, "30000/1001", 30000.0 / 1001.0, 30, 30000.0 / 1001.0},
                                           SyncCase{"dvd", true, "30000/1001", 30000.0 / 1001.0, 30, 30000.0 / 1001.0},
                                           // Picture-rate conversion on the way: 30 and 24 to 25.
                                           SyncCase{"vcd", false, "30", 30.0, 30, 25.0},
                                           SyncCase{"mpg2", false, "24", 24.0, 24, 25.0},
                                           // Sound converted to 32000 Hz and kept at 48000 Hz.
                                           SyncCase{"mpg1", false, "25", 25.0, 25, 25.0, 22050},
                                           SyncCase{"mpg2", false, "25", 25.0, 25, 25.0, 48000},
                                           // AVI with MP3 sound, whose encoder starts late.
                                           SyncCase{"divx", false, "25", 25.0, 25, 25.0},
                                           SyncCase{"avi", true, "30000/1001", 30000.0 / 1001.0, 30, 30000.0 / 1001.0},
                                           SyncCase{"divx", false, "25", 25.0, 25, 25.0, 48000}),
                         [](const ::testing::TestParamInfo<SyncCase>& info) {
                             return std::string(info.param.mode) + (info.param.ntsc ? "_ntsc" : "_pal") +
                                    (info.param.sourceFps == info.param.fps ? "" : "_from" + std::to_string(info.param.every)) +
                                    (info.param.sampleRate == 44100 ? "" : "_" + std::to_string(info.param.sampleRate));
                         });

}  // namespace
