// Sound timing through the per-picture blocks that every conversion takes: beeps
// at known instants must come out at those instants, for every source rate and
// every output rate, from the first beep to the last (no drift), and sound that
// starts before or after the first picture keeps its place against the pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "MediaClips.h"
#include "engine/core/Factories.h"
#include "engine/media/IAudioStreamConverter.h"

namespace {

using reelcast::IAudioStreamConverter;
using reelcast::SampleBlock;

constexpr double kBeepEvery = 2.0;  // seconds from one beep to the next

// ffmpeg input arguments of a sound with a 40 ms 1 kHz beep every kBeepEvery
// seconds, the first at 0.
std::string BeepInput(int rate, double seconds) {
    char a[256];
    std::snprintf(a, sizeof a,
                  "-f lavfi -i \"aevalsrc=exprs='if(lt(mod(t\\,%g)\\,0.04)\\,0.7*sin(2*PI*1000*t)\\,0)'"
                  ":s=%d:d=%g\"",
                  kBeepEvery, rate, seconds);
    return a;
}

// Left-channel samples of the first `pictures` blocks at fps and rate.
std::vector<std::int16_t> ReadLeft(const std::string& path, double fps, std::uint32_t rate, int pictures) {
    std::vector<std::int16_t> left;
    IAudioStreamConverter* c = reelcast::core::New<IAudioStreamConverter>("ASCONVERT");
    EXPECT_NE(c, nullptr);
    if (!c) return left;
    EXPECT_TRUE(c->Open(path.c_str(), fps, rate));
    for (int i = 0; i < pictures; ++i) {
        SampleBlock blk{};
        if (!c->GetBlock(&blk)) break;
        for (std::uint32_t k = 0; k + 1 < blk.count; k += 2) left.push_back(blk.data[k]);
    }
    c->Release();
    return left;
}

// Start times (seconds) of the beeps: the first loud sample after a quiet half second.
std::vector<double> Onsets(const std::vector<std::int16_t>& s, std::uint32_t rate) {
    std::vector<double> t;
    const long quiet = static_cast<long>(rate / 2);
    long lastLoud = -quiet - 1;
    for (long i = 0; i < static_cast<long>(s.size()); ++i) {
        if (std::abs(static_cast<int>(s[i])) < 9000) continue;  // the tone peaks near 23000
        if (i - lastLoud > quiet) t.push_back(static_cast<double>(i) / rate);
        lastLoud = i;
    }
    return t;
}

struct RateCase {
    int sourceRate;
    const char* codecArgs;  // how the source stores its sound
};

class SoundDrift : public ::testing::TestWithParam<RateCase> {};

// 70 seconds: at the fault's 213 parts per million the last beep was 15 ms late.
TEST_P(SoundDrift, BeepsStayOnTheirInstantsAtEveryOutputRate) {
    const RateCase& c = GetParam();
    const double seconds = 70;
    const std::string path = media_test::TempDir() + "/beeps" + std::to_string(c.sourceRate) + ".wav";
    ASSERT_TRUE(media_test::Run("ffmpeg -nostdin -v error -y " + BeepInput(c.sourceRate, seconds) + " " +
                                c.codecArgs + " " + path));
    for (std::uint32_t rate : {32000u, 44100u, 48000u}) {
        {
            const double fps = 25.0;
            SCOPED_TRACE(testing::Message() << c.sourceRate << " Hz to " << rate << " Hz at " << fps << " fps");
            const std::vector<double> t = Onsets(ReadLeft(path, fps, rate, static_cast<int>(seconds * fps)), rate);
            ASSERT_EQ(t.size(), static_cast<std::size_t>(seconds / kBeepEvery));
            // The beep's first loud sample is a fraction of a millisecond in.
            EXPECT_NEAR(t.front(), 0.0, 0.001);
            const double first = t.front(), last = t.back() - kBeepEvery * (t.size() - 1);
            EXPECT_NEAR(last, first, 0.0002) << "drift over " << seconds << " s";
            std::printf("[ drift ] %5d Hz -> %5d Hz at %6.3f fps: first beep %+.3f ms, drift %+.3f ms (%+.1f ppm)\n",
                        c.sourceRate, rate, fps, first * 1e3, (last - first) * 1e3,
                        (last - first) / (t.back() - t.front()) * 1e6);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SourceRates, SoundDrift,
                         ::testing::Values(RateCase{8000, "-ac 1 -c:a pcm_mulaw"},
                                           RateCase{22050, "-ac 1 -c:a pcm_s16le"},
                                           RateCase{32000, "-ac 2 -c:a pcm_s16le"},
                                           RateCase{44100, "-ac 2 -c:a pcm_s16le"},
                                           RateCase{48000, "-ac 2 -c:a pcm_s16le"},
                                           RateCase{96000, "-ac 2 -c:a pcm_s24le"}),
                         [](const ::testing::TestParamInfo<RateCase>& info) {
                             return std::to_string(info.param.sourceRate);
                         });

}  // namespace
