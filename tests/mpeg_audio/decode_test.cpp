// Streams checked by decoders we did not write (mpg123, FFmpeg): clean decoding,
// the exact number of frames, and the decoded signal's SNR against the input
// beside twolame's psychoacoustic model 2 at the same settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <tuple>

#include "tests/mpeg_audio/AudioTestSupport.h"

namespace reelcast::testing {
namespace {

struct Decoded {
    bool ok = false;
    std::string complaints;  // decoder messages that signal a problem
    std::vector<std::int16_t> pcm;
};

std::string LinesMatching(const std::string& text, const std::vector<std::string>& words,
                          const std::vector<std::string>& harmless) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        std::string low = line;
        std::transform(low.begin(), low.end(), low.begin(), [](unsigned char c) { return std::tolower(c); });
        bool skip = false;
        for (const auto& h : harmless) skip = skip || low.find(h) != std::string::npos;
        if (skip) continue;
        bool hit = words.empty() && !low.empty();
        for (const auto& w : words) hit = hit || low.find(w) != std::string::npos;
        if (hit) out += line + "\n";
    }
    return out;
}

Decoded DecodeFfmpeg(const std::string& file) {
    Decoded d;
    const std::string raw = file + ".ff.raw";
    std::string msg;
    d.ok = Run("ffmpeg -nostdin -hide_banner -v warning -xerror -err_detect explode -f mp3 -i '" + file +
                   "' -f s16le -acodec pcm_s16le -y '" + raw + "'",
               &msg) == 0;
    // Any warning counts, except the demuxer's note that a stream without a
    // seek table has its duration estimated.
    d.complaints = LinesMatching(msg, {}, {"estimating duration from bitrate"});
    d.pcm = ReadPcm(raw);
    return d;
}

Decoded DecodeMpg123(const std::string& file) {
    Decoded d;
    const std::string raw = file + ".mpg123.raw";
    std::string msg;
    d.ok = Run("mpg123 -e s16 -O '" + raw + "' '" + file + "'", &msg) == 0;
    d.complaints = LinesMatching(msg, {"warn", "error", "resync", "skipp", "illegal", "bad", "fail", "junk"}, {});
    d.pcm = ReadPcm(raw);
    return d;
}

// twolame -P 2 at the same settings, decoded by FFmpeg.
std::vector<std::int16_t> TwolameRoundTrip(const TempDir& dir, const std::vector<std::int16_t>& pcm, int rate,
                                           int kbps) {
    const std::string in = dir / "tl.raw", out = dir / "tl.mp2";
    WriteFile(in, pcm.data(), pcm.size() * 2);
    if (Run("twolame --quiet -r -s " + std::to_string(rate) + " -N 2 -m s -P 2 -b " + std::to_string(kbps) + " '" +
            in + "' '" + out + "'") != 0)
        return {};
    return DecodeFfmpeg(out).pcm;
}

bool HaveTools() { return HaveProgram("ffmpeg") && HaveProgram("mpg123") && HaveProgram("twolame"); }

// Three seconds of the footage's sound at the given rate, made once per rate.
const std::vector<std::int16_t>* Footage(int rate) {
    static std::map<int, std::vector<std::int16_t>> cache;
    auto it = cache.find(rate);
    if (it != cache.end()) return &it->second;
    const std::string src = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
    if (!std::filesystem::exists(src)) return nullptr;
    TempDir dir;
    const std::string raw = dir / "footage.raw";
    if (Run("ffmpeg -nostdin -v error -ss 10 -t 3 -i '" + src + "' -vn -ac 2 -ar " + std::to_string(rate) +
            " -f s16le -y '" + raw + "'") != 0)
        return nullptr;
    auto pcm = ReadPcm(raw);
    if (pcm.size() < 2 * static_cast<std::size_t>(rate)) return nullptr;
    return &(cache[rate] = std::move(pcm));
}

struct Outcome {
    double ours = 0.0, oursMpg123 = 0.0, twolame = 0.0;
};

// Encodes pcm, checks both decoders' results, and measures the SNRs.
Outcome CheckRoundTrip(const std::vector<std::int16_t>& pcm, int rate, int kbps) {
    Outcome o;
    TempDir dir;
    MuxStandIn mux;
    const auto stream = EncodeStream(pcm, rate, kbps, &mux);
    const std::size_t frames = (pcm.size() - 1) / 2304;
    EXPECT_EQ(mux.units.size(), frames);
    std::size_t bytes = 0;
    for (const AudioUnit& u : mux.units) bytes += u.length;
    EXPECT_EQ(stream.size(), bytes);

    const std::string file = dir / "ours.mp2";
    WriteFile(file, stream.data(), stream.size());
    const Decoded ff = DecodeFfmpeg(file);
    EXPECT_TRUE(ff.ok);
    EXPECT_EQ(ff.complaints, "");
    EXPECT_EQ(ff.pcm.size(), frames * 2304) << "FFmpeg frame count";
    const Decoded mp = DecodeMpg123(file);
    EXPECT_TRUE(mp.ok);
    EXPECT_EQ(mp.complaints, "");
    EXPECT_EQ(mp.pcm.size(), frames * 2304) << "mpg123 frame count";

    int delay = -1;
    o.ours = SnrDb(pcm, ff.pcm, 1600, &delay);
    EXPECT_EQ(delay, 481);  // analysis plus synthesis filterbank delay
    o.oursMpg123 = SnrDb(pcm, mp.pcm);
    o.twolame = SnrDb(pcm, TwolameRoundTrip(dir, pcm, rate, kbps));
    std::printf("    %5d Hz %3d kbit/s: SNR %6.2f dB (FFmpeg) %6.2f dB (mpg123), twolame -P 2 %6.2f dB\n", rate, kbps,
                o.ours, o.oursMpg123, o.twolame);
    return o;
}

class Layer2RoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(Layer2RoundTrip, RealSoundAtLeastAsCleanAsTwolame) {
    if (!HaveTools()) GTEST_SKIP() << "ffmpeg, mpg123 or twolame missing";
    const auto [rate, kbps] = GetParam();
    const auto* pcm = Footage(rate);
    if (!pcm) GTEST_SKIP() << "footage not available";
    const Outcome o = CheckRoundTrip(*pcm, rate, kbps);
    EXPECT_GE(o.ours, o.twolame - 1.0);
    EXPECT_NEAR(o.ours, o.oursMpg123, 0.5);
    ::testing::Test::RecordProperty("snr_db", std::to_string(o.ours));
    ::testing::Test::RecordProperty("twolame_snr_db", std::to_string(o.twolame));
}

TEST_P(Layer2RoundTrip, TonesAtLeastAsCleanAsTwolame) {
    if (!HaveTools()) GTEST_SKIP() << "ffmpeg, mpg123 or twolame missing";
    const auto [rate, kbps] = GetParam();
    // A low tone on the left, a tone near 5 kHz on the right.
    const auto pcm = Tones(rate, 1.5, 220.0, 4900.0);
    const Outcome o = CheckRoundTrip(pcm, rate, kbps);
    EXPECT_GE(o.ours, o.twolame - 1.0);
    EXPECT_GE(o.ours, 30.0);
}

INSTANTIATE_TEST_SUITE_P(RatesAndBitRates, Layer2RoundTrip,
                         ::testing::Combine(::testing::Values(32000, 44100, 48000),
                                            ::testing::Values(224, 192, 128, 64)),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param)) + "Hz_" +
                                    std::to_string(std::get<1>(info.param)) + "k";
                         });

TEST(Layer2Decode, SilenceStaysSilent) {
    if (!HaveTools()) GTEST_SKIP() << "ffmpeg, mpg123 or twolame missing";
    TempDir dir;
    const std::vector<std::int16_t> pcm(2 * 44100 / 2, 0);
    const auto stream = EncodeStream(pcm, 44100, 224);
    const std::string file = dir / "silence.mp2";
    WriteFile(file, stream.data(), stream.size());
    const Decoded ff = DecodeFfmpeg(file);
    ASSERT_TRUE(ff.ok);
    EXPECT_EQ(ff.complaints, "");
    ASSERT_FALSE(ff.pcm.empty());
    int peak = 0;
    for (std::int16_t s : ff.pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LE(peak, 1);
}

TEST(Layer2Decode, FullScaleEdgesDecodeLikeTwolame) {
    if (!HaveTools()) GTEST_SKIP() << "ffmpeg, mpg123 or twolame missing";
    // A full-scale random square wave: its edges drive subband samples past 1.0,
    // which only the largest scale factors cover.
    std::vector<std::int16_t> pcm(2 * 48000);
    std::uint32_t seed = 12345;
    std::int16_t v = 32767;
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        seed = seed * 1664525u + 1013904223u;
        if ((seed >> 24) < 4) v = static_cast<std::int16_t>(-1 - v);
        pcm[2 * i] = v;
        pcm[2 * i + 1] = static_cast<std::int16_t>(-1 - v);
    }
    const Outcome o = CheckRoundTrip(pcm, 48000, 384);
    EXPECT_GE(o.ours, o.twolame - 1.0);
}

}  // namespace
}  // namespace reelcast::testing
