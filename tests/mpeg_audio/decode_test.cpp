// Streams checked by decoders we did not write (mpg123, FFmpeg) and compared
// with twolame's psychoacoustic model 2 at the same settings.
#include <gtest/gtest.h>

#include "tests/mpeg_audio/AudioTestSupport.h"

namespace reelcast::testing {
namespace {

struct Decoded {
    bool ok = false;
    std::string messages;
    std::vector<std::int16_t> pcm;
};

Decoded DecodeFfmpeg(const std::string& file) {
    Decoded d;
    const std::string raw = file + ".ff.raw";
    d.ok = Run("ffmpeg -nostdin -hide_banner -v warning -xerror -err_detect explode -f mp3 -i '" + file +
                   "' -f s16le -acodec pcm_s16le -y '" + raw + "'",
               &d.messages) == 0;
    d.pcm = ReadPcm(raw);
    return d;
}

Decoded DecodeMpg123(const std::string& file) {
    Decoded d;
    const std::string raw = file + ".mpg123.raw";
    d.ok = Run("mpg123 -q -e s16 -w /dev/null -O '" + raw + "' '" + file + "'", &d.messages) == 0;
    d.pcm = ReadPcm(raw);
    return d;
}

// Encodes pcm with twolame -P 2 and decodes it with FFmpeg.
std::vector<std::int16_t> TwolameRoundTrip(const TempDir& dir, const std::vector<std::int16_t>& pcm, int rate, int kbps) {
    const std::string in = dir / "tl.raw", out = dir / "tl.mp2";
    WriteFile(in, pcm.data(), pcm.size() * 2);
    std::string msg;
    if (Run("twolame --quiet -r -s " + std::to_string(rate) + " -N 2 -m s -P 2 -b " + std::to_string(kbps) + " '" + in +
                "' '" + out + "'",
            &msg) != 0)
        return {};
    return DecodeFfmpeg(out).pcm;
}

TEST(Layer2Decode, TonesQuick) {
    TempDir dir;
    for (int rate : {44100}) {
        for (int kbps : {224, 128, 64}) {
            auto pcm = Tones(rate, 2.0, 440.0, 3150.0);
            auto mp2 = EncodeStream(pcm, rate, kbps);
            const std::string f = dir / "a.mp2";
            WriteFile(f, mp2.data(), mp2.size());
            auto ff = DecodeFfmpeg(f);
            auto mp = DecodeMpg123(f);
            int dff = 0, dmp = 0;
            double sff = SnrDb(pcm, ff.pcm, 1600, &dff), smp = SnrDb(pcm, mp.pcm, 1600, &dmp);
            auto tl = TwolameRoundTrip(dir, pcm, rate, kbps);
            int dtl = 0;
            double stl = SnrDb(pcm, tl, 1600, &dtl);
            printf("%d %d: ff %d %.2f (d %d) [%s] mpg123 %d %.2f (d %d) [%s] twolame %.2f (d %d)\n", rate, kbps, ff.ok, sff,
                   dff, ff.messages.c_str(), mp.ok, smp, dmp, mp.messages.c_str(), stl, dtl);
        }
    }
}

}  // namespace
}  // namespace reelcast::testing
