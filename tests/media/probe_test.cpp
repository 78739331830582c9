// The media information probe on real files of many kinds, checked against
// ffprobe where it can say the same thing.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "MediaClips.h"
#include "TestShell.h"
#include "engine/core/Factories.h"
#include "engine/media/IMediaInfo.h"

namespace {

using media_test::Capture;
using media_test::Clip;
using reelcast::AudioStreamInfo;
using reelcast::IMediaInfo;
using reelcast::VideoStreamInfo;

struct Probe {
    bool ok = false;
    std::string text;
    VideoStreamInfo v{};
    AudioStreamInfo a{};
};

Probe ProbeFile(const std::string& path, bool force = false) {
    Probe p;
    IMediaInfo* info = reelcast::core::New<IMediaInfo>("MEDIAGETINFO");
    EXPECT_NE(info, nullptr);
    if (!info) return p;
    p.ok = info->Open(path.c_str(), force);
    info->GetVideoInfo(&p.v);
    info->GetAudioInfo(&p.a);
    p.text = info->GetInfoText();
    info->Release();
    return p;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }

// The fields of the first stream of a kind ("v" or "a"), as ffprobe gives them.
std::map<std::string, std::string> Ffprobe(const std::string& path, const char* kind) {
    return testshell::KeyValues(Capture("ffprobe -v error -select_streams " + std::string(kind) +
                                        ":0 -show_entries stream=width,height,nb_frames,sample_rate,"
                                        "channels,codec_tag -of default=nw=1 '" + path + "'"));
}

// A video-only AVI and a WAV file: the whole text, byte for byte.
struct ExactText {
    const char* name;
    const char* clip;
    const char* text;
    int video, audio, formatTag;
};

class MediaProbeText : public ::testing::TestWithParam<ExactText> {};

TEST_P(MediaProbeText, IsExact) {
    const ExactText& c = GetParam();
    const std::string path = Clip(c.clip);
    ASSERT_FALSE(path.empty());
    Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.text, c.text);
    EXPECT_EQ(p.v.present, c.video);
    EXPECT_EQ(p.a.present, c.audio);
    if (c.video) {
        EXPECT_FLOAT_EQ(p.v.frameRate, 25.0f);
    }
    if (c.audio) {
        EXPECT_EQ(p.a.formatTag, c.formatTag);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, MediaProbeText,
    ::testing::Values(
        ExactText{"VideoOnlyAvi", "rgb24.avi",
         "Media Type: AVI\r\n\r\n"
         "VideoInfo:\r\n"
         "    Picture Information:\r\n    Width: 66    Height: 50\r\n    BitCount: 24\r\n\r\n"
         "    Media Information:\r\n    Total Frame: 50   FrameRate:25.00\r\n\r\n"
         "    fccHandler: \r\n    Codec: \r\n    Description:\r\n"
         "\r\n"
         "    No audio",
         1, 0, 0},
        ExactText{"WaveFile", "stereo.wav",
         "Media Type: Wave\r\n\r\n"
         "    No video"
         "\r\n"
         "AudioInfo:\r\n"
         "    SampleRate: 44100    BitRate: 1411200\r\n    Channels: 2   BlockAlign:4\r\n\r\n"
         "    Codec: PCM signed 16-bit little-endian\r\n    Description: Audio",
         0, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// AVI files of several codecs and depths: the records agree with ffprobe.
TEST(MediaProbe, AviRecordsAgreeWithFfprobe) {
    struct Case {
        const char* clip;
        int bitCount;
        const char* fourCC;
        const char* codec;
        const char* audioCodec;
    } cases[] = {
        {"rgb32.avi", 32, "", "", nullptr},
        {"pal8.avi", 8, "", "", nullptr},
        {"xvid_mp3.avi", 24, "XVID", "mpeg4", "MPEG Layer-3"},
        {"mpeg4_pcm.avi", 24, "DX50", "mpeg4", "PCM"},
        {"mjpeg_pcm.avi", 24, "MJPG", "mjpeg", "PCM"},
        {"mjpeg_mp3.avi", 24, "MJPG", "mjpeg", "MPEG Layer-3"},
        {"h264.avi", 24, "H264", "h264", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clip);
        const std::string path = Clip(c.clip);
        ASSERT_FALSE(path.empty());
        Probe p = ProbeFile(path);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(FirstLine(p.text), "Media Type: AVI");
        EXPECT_EQ(p.v.present, 1);
        auto video = Ffprobe(path, "v");
        EXPECT_EQ(std::to_string(p.v.width), video["width"]);
        EXPECT_EQ(std::to_string(p.v.height), video["height"]);
        EXPECT_EQ(std::to_string(p.v.frameCount), video["nb_frames"]);
        EXPECT_EQ(p.v.bitCount, c.bitCount);
        EXPECT_STREQ(p.v.fourCC, c.fourCC);
        EXPECT_STREQ(p.v.codec, c.codec);
        EXPECT_FLOAT_EQ(p.v.frameRate, 25.0f);
        if (c.audioCodec) {
            EXPECT_EQ(p.a.present, 1);
            EXPECT_STREQ(p.a.codec, c.audioCodec);
            auto audio = Ffprobe(path, "a");
            EXPECT_EQ(std::to_string(p.a.sampleRate), audio["sample_rate"]);
            EXPECT_EQ(std::to_string(p.a.channels), audio["channels"]);
            EXPECT_EQ(p.a.formatTag, std::stoi(audio["codec_tag"], nullptr, 16));
            EXPECT_NE(p.text.find("AudioInfo:\r\n    SampleRate: " + std::to_string(p.a.sampleRate)),
                      std::string::npos);
        } else {
            EXPECT_EQ(p.a.present, 0);
            EXPECT_EQ(p.text.substr(p.text.size() - 12), "    No audio");
        }
    }
}

TEST(MediaProbe, MediaTypeNamesFollowTheContainer) {
    const struct {
        const char* clip;
        const char* line;
    } cases[] = {
        {"mpeg1.mpg", "Media Type: Mpeg"},       {"mpeg2.mpg", "Media Type: Mpeg2"},
        {"video.wmv", "Media Type: Asf(WMV)"},   {"stereo.wav", "Media Type: Wave"},
        {"tone.mp3", "Media Type: Mpeg Audio(Mp3)"}, {"tone.ac3", "Media Type: Dolby ac3"},
        {"video.m1v", "Media Type: Mpeg Video"}, {"h264.mp4", "Media Type: Unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clip);
        const std::string path = Clip(c.clip);
        ASSERT_FALSE(path.empty());
        Probe p = ProbeFile(path);
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(FirstLine(p.text), c.line);
        EXPECT_EQ(p.text.substr(std::strlen(c.line), 4), "\r\n\r\n");
    }
}

TEST(MediaProbe, MpegFilesGiveRatesFromTheTimePerFrame) {
    Probe pal = ProbeFile(Clip("mpeg1.mpg"));
    ASSERT_TRUE(pal.ok);
    EXPECT_STREQ(pal.v.fourCC, "MPG1");
    EXPECT_FLOAT_EQ(pal.v.frameRate, 25.0f);
    EXPECT_EQ(pal.v.frameCount, 50u);
    EXPECT_EQ(pal.a.present, 1);
    EXPECT_EQ(pal.a.sampleRate, 44100u);
    EXPECT_EQ(pal.a.formatTag, 0x50);

    // 30000/1001 fps is 333667 x 100 ns per frame: 10^9 div 333667 = 2997.
    Probe ntsc = ProbeFile(Clip("ntsc.mpg"));
    ASSERT_TRUE(ntsc.ok);
    EXPECT_EQ(ntsc.v.frameRate, static_cast<float>(2997 * 0.01));
    EXPECT_NE(ntsc.text.find("FrameRate:29.97\r\n"), std::string::npos);
    // duration div time per frame: 60 pictures last 20020000 x 100 ns, which is
    // 59.99994 times 333667.
    EXPECT_EQ(ntsc.v.frameCount, 59u);

    Probe mpeg2 = ProbeFile(Clip("mpeg2.mpg"));
    ASSERT_TRUE(mpeg2.ok);
    EXPECT_STREQ(mpeg2.v.fourCC, "MPG2");
    EXPECT_EQ(mpeg2.v.width, 176);
    EXPECT_EQ(mpeg2.v.height, 144);
}

// Compressed sound whose container gives no bit rate has none: its decoded
// samples' rate would be a plainly wrong figure (1411200 for Vorbis at 44100 Hz).
// PCM's rate still comes from its sample size.
TEST(MediaProbe, BitRateOfCompressedSoundIsNotThatOfItsSamples) {
    Probe vorbis = ProbeFile(Clip("vorbis.webm"));
    ASSERT_TRUE(vorbis.ok);
    EXPECT_EQ(vorbis.a.present, 1);
    EXPECT_EQ(vorbis.a.channels, 2u);
    EXPECT_EQ(vorbis.a.bitRate, 0u);
    EXPECT_EQ(vorbis.a.blockAlign, 1u);
    EXPECT_NE(vorbis.text.find("    SampleRate: 44100    BitRate: 0\r\n    Channels: 2   BlockAlign:1\r\n"),
              std::string::npos);
    Probe wav = ProbeFile(Clip("mono22050.wav"));
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(wav.a.bitRate, 352800u);
    EXPECT_EQ(wav.a.blockAlign, 2u);
}

TEST(MediaProbe, MissingFrameRateIsMeasured) {
    Probe p = ProbeFile(Clip("norate.nut"));
    ASSERT_TRUE(p.ok);
    EXPECT_FLOAT_EQ(p.v.frameRate, 25.0f);
    EXPECT_EQ(p.v.frameCount, 25u);
    Probe ntsc = ProbeFile(Clip("norate_ntsc.nut"));
    ASSERT_TRUE(ntsc.ok);
    EXPECT_EQ(ntsc.v.frameRate, static_cast<float>(2997 * 0.01));
}

TEST(MediaProbe, WmvAndRealFootageGoThroughDirectShow) {
    Probe wmv = ProbeFile(Clip("video.wmv"));
    ASSERT_TRUE(wmv.ok);
    EXPECT_EQ(wmv.v.present, 1);
    EXPECT_EQ(wmv.a.present, 1);
    EXPECT_STREQ(wmv.v.fourCC, "WMV2");
    EXPECT_EQ(wmv.a.formatTag, 0x161);

    const std::string real = media_test::RealFootage();
    if (real.empty()) GTEST_SKIP() << "real footage absent";
    Probe webm = ProbeFile(real);
    ASSERT_TRUE(webm.ok);
    EXPECT_EQ(FirstLine(webm.text), "Media Type: Unknown");
    EXPECT_EQ(webm.v.width, 480);
    EXPECT_EQ(webm.v.height, 270);
    EXPECT_FLOAT_EQ(webm.v.frameRate, 30.0f);
    EXPECT_EQ(webm.a.sampleRate, 44100u);
    EXPECT_EQ(webm.a.channels, 2u);
}

// An AVI whose video has no decoder goes to DirectShow, which describes what it
// can render: here only the sound.
TEST(MediaProbe, AviWithoutVideoDecoderFallsBackToDirectShow) {
    const std::string src = Clip("mpeg4_pcm.avi");
    ASSERT_FALSE(src.empty());
    std::vector<std::uint8_t> bytes = media_test::ReadFile(src);
    // Rename the codec in the stream header and format (both say DX50).
    int patched = 0;
    for (std::size_t i = 0; i + 4 <= 4096 && i + 4 <= bytes.size(); ++i) {
        if (std::memcmp(&bytes[i], "DX50", 4) == 0) {
            std::memcpy(&bytes[i], "QQZZ", 4);
            ++patched;
        }
    }
    ASSERT_GE(patched, 1);
    const std::string path = media_test::TempDir() + "/nodecoder.avi";
    ASSERT_TRUE(media_test::WriteFile(path, bytes));
    Probe p = ProbeFile(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(FirstLine(p.text), "Media Type: Unknown");
    EXPECT_EQ(p.v.present, 0);
    EXPECT_EQ(p.a.present, 1);
    EXPECT_EQ(p.a.sampleRate, 44100u);
    EXPECT_NE(p.text.find("    No video\r\nAudioInfo:"), std::string::npos);
}

TEST(MediaProbe, ReopeningClearsTheEarlierFile) {
    IMediaInfo* info = reelcast::core::New<IMediaInfo>("MEDIAGETINFO");
    ASSERT_NE(info, nullptr);
    ASSERT_TRUE(info->Open(Clip("xvid_mp3.avi").c_str(), false));
    EXPECT_FALSE(info->Open((media_test::TempDir() + "/does-not-exist.avi").c_str(), false));
    EXPECT_STREQ(info->GetInfoText(), "Can't recognise the this media file!");
    VideoStreamInfo v;
    std::memset(&v, 0x55, sizeof v);
    info->GetVideoInfo(&v);
    EXPECT_EQ(v.present, 0);
    EXPECT_EQ(v.width, 0);
    ASSERT_TRUE(info->Open(Clip("stereo.wav").c_str(), false));
    EXPECT_EQ(FirstLine(info->GetInfoText()), "Media Type: Wave");
    // Forcing DirectShow on an AVI still describes it as an AVI.
    ASSERT_TRUE(info->Open(Clip("mpeg4_pcm.avi").c_str(), true));
    EXPECT_EQ(FirstLine(info->GetInfoText()), "Media Type: AVI");
    info->Release();
}

}  // namespace
