// The AVI encoder, writer and compressor components: every compressor, every
// audio type, the split rule and the output naming, read back by FFmpeg.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "AviTestSupport.h"
#include "engine/avi/IAviEncoder.h"
#include "engine/avi/IAviWriter.h"
#include "engine/avi/IVideoCompressor.h"
#include "engine/avi/LameSettings.h"
#include "engine/core/ComponentHandle.h"
#include "engine/core/Factories.h"
#include "engine/picture/VideoFrame.h"
#include "platform/avifile/AviVideoCompressor.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Dialogs.h"

namespace {

using namespace reelcast;
using avitest::TempDir;
namespace af = platform::avifile;

std::uint32_t Cc(const char* s) { return af::MakeFourCC(s[0], s[1], s[2], s[3]); }

using avitest::TestPicture;

struct Clip {
    std::uint32_t handler = Cc("DIVX");
    int audioType = 0;
    int width = 96;
    int height = 64;
    int frames = 10;
    int rateIndex = 2;
    int sampleRate = 44100;
    int splitRule = 0;
    int customMiB = 0;
};

// Runs AVIENC as the AVI job does; the encoder is released at the end, which
// completes the file. Answers how many frame writes succeeded.
int Encode(const Clip& c, const std::string& path, IAviEncoder* reuse = nullptr) {
    IAviEncoder* enc = reuse ? reuse : core::New<IAviEncoder>("AVIENC");
    if (!enc) return -1;
    enc->SetVideoCodec(c.handler);
    enc->SetAudioType(c.audioType);
    if (c.audioType == 3 && !enc->ChooseDefaultAudioFormat(c.sampleRate)) {
        if (!reuse) enc->Release();
        return -2;
    }
    AviEncodeParams p{};
    p.width = c.width;
    p.height = c.height;
    std::strncpy(p.outputPath, path.c_str(), sizeof p.outputPath - 1);
    p.totalFrames = c.frames;
    p.splitRule = c.splitRule;
    p.customSplitSizeMiB = c.customMiB;
    p.frameRateIndex = c.rateIndex;
    enc->SetParameters(&p, c.sampleRate);
    if (!enc->Open()) {
        if (!reuse) enc->Release();
        return -3;
    }
    const double fps = AviFrameRate(c.rateIndex);
    int ok = 0;
    std::vector<std::int16_t> samples;
    for (int i = 0; i < c.frames; ++i) {
        const auto pic = TestPicture(c.width, c.height, i);
        const auto from = std::int64_t(std::floor(i * c.sampleRate / fps));
        const auto to = std::int64_t(std::floor((i + 1) * c.sampleRate / fps));
        samples.assign(std::size_t(to - from) * 2, 0);
        for (std::int64_t k = from; k < to; ++k) {
            const auto v = std::int16_t(9000 * std::sin(2 * M_PI * 523.0 * double(k) / c.sampleRate));
            samples[std::size_t(k - from) * 2] = v;
            samples[std::size_t(k - from) * 2 + 1] = std::int16_t(-v);
        }
        SampleBlock block{samples.data(), std::uint32_t(samples.size())};
        if (enc->WriteFrame(pic.data(), std::int32_t(pic.size()), &block)) ++ok;
    }
    if (!reuse) enc->Release();
    return ok;
}

std::uint16_t U16(const std::vector<std::uint8_t>& v, std::size_t at) {
    return std::uint16_t(v[at] | v[at + 1] << 8);
}
std::uint32_t U32(const std::vector<std::uint8_t>& v, std::size_t at) {
    return std::uint32_t(U16(v, at)) | std::uint32_t(U16(v, at + 2)) << 16;
}

class AviEncodeTest : public ::testing::Test {
protected:
    void SetUp() override { platform::registry::DeleteKey("Software\\VantorReelcast\\Lame"); }
    TempDir dir_;
};

// The table's planar-picture slot: each picture goes through YUVRGB and reaches
// the file in its own colour, as FFmpeg decodes it. Red of BT.601 studio range
// (Y 81, Cb 90, Cr 240) keeps the range: (Y - 16) + 1.402 (Cr - 128) = 222.
TEST_F(AviEncodeTest, PlanarPicturesArriveInTheirColours) {
    REQUIRE_FFMPEG();
    auto enc = core::MakeHandle<IAviEncoder>("AVIENC");
    ASSERT_TRUE(enc);
    enc->SetVideoCodec(Cc("DIB "));
    enc->SetAudioType(static_cast<std::int32_t>(AviAudioType::None));
    const int w = 96, h = 64, frames = 5;
    const std::string path = dir_.File("planar.avi");
    AviEncodeParams p{};
    p.width = w;
    p.height = h;
    std::strncpy(p.outputPath, path.c_str(), sizeof p.outputPath - 1);
    p.totalFrames = frames;
    p.frameRateIndex = 2;
    ASSERT_TRUE(enc->SetParameters(&p, 44100));
    ASSERT_TRUE(enc->Open());
    std::vector<std::uint8_t> luma(std::size_t(w) * h, 81), cb(std::size_t(w / 2) * (h / 2), 90),
        cr(cb.size(), 240);
    const VideoFrame red{w, h, 1, luma.data(), cb.data(), cr.data()};
    for (int i = 0; i < frames; ++i) ASSERT_TRUE(enc->WriteFrameConverted(&red, nullptr)) << i;
    EXPECT_FALSE(enc->WriteFrameConverted(nullptr, nullptr));
    enc.reset();  // completes the file

    EXPECT_EQ(avitest::DecodedVideoFrames(path), frames);
    const std::string rgb = avitest::Run("ffmpeg -nostdin -v error -i " + avitest::Quote(path) +
                                         " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(rgb.size(), std::size_t(w) * h * 3);
    for (std::size_t at : {std::size_t(0), rgb.size() / 2 + 30, rgb.size() - 3}) {
        EXPECT_NEAR(std::uint8_t(rgb[at]), 222, 2) << at;
        EXPECT_NEAR(std::uint8_t(rgb[at + 1]), 0, 2) << at;
        EXPECT_NEAR(std::uint8_t(rgb[at + 2]), 0, 2) << at;
    }
}

class EveryCompressor : public AviEncodeTest, public ::testing::WithParamInterface<const char*> {};

// Stream header (FourCC, scale 1000 / rate), size and frame count, then a
// decode by FFmpeg that stops at any error.
TEST_P(EveryCompressor, WritesAStreamFfmpegDecodesToTheLastFrame) {
    REQUIRE_FFMPEG();
    const char* cc = GetParam();
    const Clip c{.handler = Cc(cc), .frames = 12, .rateIndex = 3 /* 29.970 */};
    const std::string path = dir_.File("v.avi");
    ASSERT_EQ(Encode(c, path), 12) << cc;
    const avitest::AviLayout L = avitest::ReadAviLayout(path);
    ASSERT_TRUE(L.ok) << L.error;
    ASSERT_EQ(L.streams.size(), 1u);
    EXPECT_EQ(L.streams[0].fccType, "vids");
    EXPECT_EQ(L.streams[0].fccHandler, std::string(cc, 4));
    EXPECT_EQ(L.streams[0].scale, 1000u);
    EXPECT_EQ(L.streams[0].rate, 29970u);
    EXPECT_EQ(L.streams[0].length, 12u);
    EXPECT_EQ(L.avihTotalFrames, 12u);
    ASSERT_GE(L.streams[0].format.size(), 40u);
    const std::uint32_t compression = U32(L.streams[0].format, 16);
    EXPECT_EQ(compression, std::strcmp(cc, "DIB ") == 0 ? 0u : Cc(cc));

    const auto s = avitest::ProbeStreams(path);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].at("width"), "96");
    EXPECT_EQ(s[0].at("height"), "64");
    EXPECT_EQ(s[0].at("avg_frame_rate"), "2997/100");
    EXPECT_EQ(avitest::DecodedVideoFrames(path), 12);
    std::string err;
    EXPECT_TRUE(avitest::DecodesCleanly(path, &err)) << cc << ": " << err;
}

INSTANTIATE_TEST_SUITE_P(Avi, EveryCompressor,
                         ::testing::Values("DIVX", "XVID", "MP43", "MP42", "MJPG", "cvid", "MSVC", "HFYU",
                                           "FFV1", "DIB "),
                         [](const auto& info) {
                             std::string n = info.param;
                             return n == "DIB " ? std::string("DIB") : n;
                         });

TEST_F(AviEncodeTest, UncompressedFramesComeBackExactly) {
    REQUIRE_FFMPEG();
    const Clip c{.handler = Cc("DIB "), .width = 30 /* rows of 90 bytes, padded to 92 */, .height = 8, .frames = 2};
    const std::string path = dir_.File("dib.avi");
    ASSERT_EQ(Encode(c, path), 2);
    const std::string raw = avitest::Run("ffmpeg -nostdin -v error -i " + avitest::Quote(path) +
                                         " -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
    ASSERT_EQ(raw.size(), 2u * 30 * 8 * 3);
    for (int n = 0; n < 2; ++n) {
        const auto pic = TestPicture(30, 8, n);
        for (int y = 0; y < 8; ++y) {  // FFmpeg gives top-down rows
            const std::uint8_t* want = &pic[std::size_t(7 - y) * 92];
            EXPECT_EQ(0, std::memcmp(raw.data() + (std::size_t(n) * 8 + y) * 90, want, 90)) << n << "/" << y;
        }
    }
}

// MP3: the format record, the stream header and a sound as long as the pictures.
TEST_F(AviEncodeTest, Mp3StreamHasItsFormatFieldsAndMatchesThePictures) {
    REQUIRE_FFMPEG();
    for (int rate : {44100, 48000, 32000}) {
        const Clip c{.audioType = 2, .frames = 37, .rateIndex = rate == 44100 ? 2 : 0, .sampleRate = rate};
        const std::string path = dir_.File("mp3_" + std::to_string(rate) + ".avi");
        ASSERT_EQ(Encode(c, path), 37) << rate;
        const avitest::AviLayout L = avitest::ReadAviLayout(path);
        ASSERT_TRUE(L.ok) << L.error;
        ASSERT_EQ(L.streams.size(), 2u);
        const auto& a = L.streams[1];
        EXPECT_EQ(a.fccType, "auds");
        EXPECT_EQ(a.scale, 1u);
        EXPECT_EQ(a.rate, 24000u);
        EXPECT_EQ(a.sampleSize, 1u);
        EXPECT_EQ(a.name, "Audio Stream");
        ASSERT_EQ(a.format.size(), 30u);
        EXPECT_EQ(U16(a.format, 0), 0x55);
        EXPECT_EQ(U16(a.format, 2), 2);
        EXPECT_EQ(U32(a.format, 4), std::uint32_t(rate));
        EXPECT_EQ(U32(a.format, 8), 24000u);
        EXPECT_EQ(U16(a.format, 12), 1);
        EXPECT_EQ(U16(a.format, 14), 0);
        EXPECT_EQ(U16(a.format, 16), 12);
        EXPECT_EQ(U16(a.format, 18), 1);    // MPEGLAYER3_ID_MPEG
        EXPECT_EQ(U32(a.format, 20), 2u);   // MPEGLAYER3_FLAG_PADDING_OFF
        EXPECT_EQ(U16(a.format, 24), 731);
        EXPECT_EQ(U16(a.format, 26), 1);
        EXPECT_EQ(U16(a.format, 28), 0);

        std::string err;
        EXPECT_TRUE(avitest::DecodesCleanly(path, &err)) << err;
        const double fps = AviFrameRate(c.rateIndex);
        // The pictures start as many whole pictures late as the MP3 start-up
        // (LAME's 576 samples and the decoder's 529) needs.
        const double start = avitest::FirstPictureSeconds(path);
        EXPECT_NEAR(start, std::ceil(1105.0 / rate * fps) / fps, 1e-3) << rate;
        const double end = start + 37 / fps;
        // Byte-counted duration of the stream header and the decoded one agree,
        // and neither is more than one picture away from the pictures' end.
        EXPECT_NEAR(a.length / 24000.0, end, 1.0 / fps) << rate;
        // The encoder is flushed when the file closes: all of the sound is there,
        // and at most the padding of the last MP3 frame (1152 samples) more.
        const double decoded = avitest::DecodedAudioSeconds(path, rate, 2);
        EXPECT_GE(decoded, end - 1.0 / rate) << rate;
        EXPECT_LE(decoded, end + 1152.0 / rate) << rate;
    }
}

TEST_F(AviEncodeTest, Mp3BitrateComesFromTheStoredSettings) {
    REQUIRE_FFMPEG();
    ASSERT_TRUE(platform::registry::SetValue("Software\\VantorReelcast\\Lame", "bitrate", "128"));
    const Clip c{.audioType = 2, .frames = 25};
    const std::string path = dir_.File("mp3_128.avi");
    ASSERT_EQ(Encode(c, path), 25);
    const avitest::AviLayout L = avitest::ReadAviLayout(path);
    ASSERT_EQ(L.streams.size(), 2u);
    EXPECT_EQ(L.streams[1].rate, 16000u);
    EXPECT_EQ(U32(L.streams[1].format, 8), 16000u);
    const auto s = avitest::ProbeStreams(path);
    EXPECT_EQ(s[1].at("bit_rate"), "128000");
}

// The stored channel mode reaches the encoder: the mode field of the MP3 frame
// headers (ISO/IEC 11172-3: 0 stereo, 1 joint stereo) as FFmpeg copies them out.
TEST_F(AviEncodeTest, Mp3ChannelModeFollowsTheStoredSetting) {
    REQUIRE_FFMPEG();
    for (int stored : {0, 1}) {
        ASSERT_TRUE(avi::WriteLameSettings({160, stored, 3, 19500, -1}));
        const Clip c{.audioType = 2, .frames = 25};
        const std::string path = dir_.File("mode" + std::to_string(stored) + ".avi");
        ASSERT_EQ(Encode(c, path), 25);
        const std::string mp3 = avitest::Run("ffmpeg -nostdin -v error -i " + avitest::Quote(path) +
                                             " -map 0:a -c copy -f mp3 - 2>/dev/null");
        static const int kKbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
        int frames = 0, modeCount[4] = {};
        for (std::size_t i = 0; i + 4 <= mp3.size();) {
            const auto b = [&](std::size_t k) { return std::uint8_t(mp3[i + k]); };
            if (b(0) != 0xFF || (b(1) & 0xFE) != 0xFA || (b(2) >> 4) == 0 || (b(2) >> 4) == 15) {
                ++i;
                continue;
            }
            EXPECT_EQ(kKbps[b(2) >> 4], 160) << "frame " << frames;
            ++modeCount[b(3) >> 6];
            ++frames;
            i += std::size_t(144 * kKbps[b(2) >> 4] * 1000 / 44100 + ((b(2) >> 1) & 1));
        }
        ASSERT_GT(frames, 30) << stored;
        if (stored == 0) {
            EXPECT_EQ(modeCount[0], frames) << "every frame plain stereo";
        } else {
            EXPECT_GT(modeCount[1], frames / 2) << "joint stereo";
        }
        EXPECT_EQ(modeCount[3], 0) << "never mono";
    }
}

TEST_F(AviEncodeTest, PcmGoesToAWavFileBeside) {
    REQUIRE_FFMPEG();
    Clip c{.audioType = 1, .frames = 25};
    const std::string path = dir_.File("clip.avi");
    ASSERT_EQ(Encode(c, path), 25);
    const avitest::AviLayout L = avitest::ReadAviLayout(path);
    ASSERT_TRUE(L.ok) << L.error;
    EXPECT_EQ(L.streams.size(), 1u) << "only the video stream";
    ASSERT_TRUE(avitest::FileExists(dir_.File("clip.wav")));
    EXPECT_EQ(avitest::FileSize(dir_.File("clip.wav")), 44u + 25 * 1764 * 4);
    EXPECT_NEAR(avitest::DecodedAudioSeconds(dir_.File("clip.wav"), 44100, 2), 1.0, 1e-9);

    // The WAV file is always written as 44100 Hz: another rate cannot open.
    c.sampleRate = 48000;
    EXPECT_EQ(Encode(c, dir_.File("clip48.avi")), 0);
}

TEST_F(AviEncodeTest, CodecFormatWithoutADialogIsTheFirstCompressedOne) {
    REQUIRE_FFMPEG();
    Clip c{.audioType = 3, .frames = 30};
    const std::string path = dir_.File("acm.avi");
    ASSERT_EQ(Encode(c, path), 30);
    const avitest::AviLayout L = avitest::ReadAviLayout(path);
    ASSERT_EQ(L.streams.size(), 2u);
    const auto& a = L.streams[1];
    EXPECT_EQ(U16(a.format, 0), 0x0002) << "Microsoft ADPCM";
    EXPECT_EQ(a.scale, U16(a.format, 12));
    EXPECT_EQ(a.rate, U32(a.format, 8));
    EXPECT_EQ(a.format.size(), 18u + U16(a.format, 16));
    const auto s = avitest::ProbeStreams(path);
    EXPECT_EQ(s[1].at("codec_name"), "adpcm_ms");
    std::string err;
    EXPECT_TRUE(avitest::DecodesCleanly(path, &err)) << err;
    // What the codec still held when the file closed is there too.
    const double decoded = avitest::DecodedAudioSeconds(path, 44100, 2);
    EXPECT_GE(decoded, 30 / 25.0 - 1.0 / 44100);
    EXPECT_LT(decoded, 30 / 25.0 + 1 / 25.0);

    // A chosen format at another rate than the blocks: the stream converts.
    c.sampleRate = 48000;
    ASSERT_EQ(Encode(c, dir_.File("acm48.avi")), 30);
    EXPECT_NEAR(avitest::DecodedAudioSeconds(dir_.File("acm48.avi"), 48000, 2), 30 / 25.0, 1 / 25.0);
}

TEST_F(AviEncodeTest, AudioDescriptions) {
    IAviWriter* w = core::New<IAviWriter>("AVILIB");
    ASSERT_TRUE(w);
    w->SetAudioType(0);
    EXPECT_STREQ(w->GetAudioDescription(), "ACM \r\n0kbps\r\n0Channel");
    w->SetAudioType(2);
    // No stored settings: the writer's channel mode default is 2.
    EXPECT_STREQ(w->GetAudioDescription(), "MP3 Lame\r\n192kbps\r\nJoin Stereo\r\nH3");
    w->SetMp3Bitrate(96);
    EXPECT_STREQ(w->GetAudioDescription(), "MP3 Lame\r\n96kbps\r\nJoin Stereo\r\nH3");
    w->SetAudioType(3);
    ASSERT_TRUE(w->ChooseDefaultAudioFormat(44100));
    EXPECT_STREQ(w->GetAudioDescription(), "ACM \r\n176400kbps\r\n2Channel");
    EXPECT_FALSE(w->ConfigureAudio(nullptr)) << "no dialog here";
    // A codec output without a chosen format refuses to open.
    OutputSpec spec{nullptr, 25.0, 44100};
    const std::string path = dir_.File("nofmt.avi");
    spec.path = path.c_str();
    EXPECT_TRUE(w->OpenCompressor(Cc("DIVX"), 32, 32, 1));
    EXPECT_FALSE(w->Create(&spec));
    w->Release();
}

// The stored MP3 settings: missing values take the reader's defaults (the
// writer's channel mode 2, the dialog's 0 "Stereo"), stored text is read as a
// decimal number, and the dialog's bit-rate item follows the stored rate.
TEST_F(AviEncodeTest, StoredMp3SettingsDefaultsAndTheDialogSelection) {
    const auto writer = avi::ReadLameSettings(avi::kWriterLameDefaults);
    EXPECT_EQ(writer.bitrate, 192);
    EXPECT_EQ(writer.stereo, 2);
    EXPECT_EQ(writer.quality, 3);
    EXPECT_EQ(writer.lowpass, 19500);
    EXPECT_EQ(writer.highpass, -1);
    const auto dialog = avi::ReadLameSettings(avi::kDialogLameDefaults);
    EXPECT_EQ(dialog.stereo, 0) << "the dialog shows \"Stereo\"";
    EXPECT_EQ(dialog.bitrate, 192);
    EXPECT_EQ(platform::ui::LameBitrateItem(dialog.bitrate), 5) << "\"192 KBits\"";

    ASSERT_TRUE(avi::WriteLameSettings({200, 1, 5, 16000, 80}));
    std::string text;
    ASSERT_TRUE(platform::registry::QueryValue("Software\\VantorReelcast\\Lame\\bitrate", "", &text));
    EXPECT_EQ(text, "200") << "each setting is the default value of a sub-key";
    const auto stored = avi::ReadLameSettings(avi::kDialogLameDefaults);
    EXPECT_EQ(stored.bitrate, 200);
    EXPECT_EQ(stored.stereo, 1);
    EXPECT_EQ(stored.quality, 5);
    EXPECT_EQ(stored.lowpass, 16000);
    EXPECT_EQ(stored.highpass, 80);
    const int item = platform::ui::LameBitrateItem(stored.bitrate);
    ASSERT_EQ(item, 6);
    EXPECT_EQ(platform::ui::kLameBitrates[item], 224) << "200 stored selects \"224 KBits\"";

    ASSERT_TRUE(platform::registry::SetValue("Software\\VantorReelcast\\Lame", "bitrate", "400"));
    ASSERT_TRUE(platform::registry::SetValue("Software\\VantorReelcast\\Lame", "quality", "high"));
    const auto odd = avi::ReadLameSettings(avi::kWriterLameDefaults);
    EXPECT_EQ(platform::ui::LameBitrateItem(odd.bitrate), -1) << "400: no item selected";
    EXPECT_EQ(odd.quality, 0) << "text that is no number reads as 0";

    // The writer takes the stored settings when it is created.
    ASSERT_TRUE(avi::WriteLameSettings({128, 0, 2, 19500, -1}));
    IAviWriter* w = core::New<IAviWriter>("AVILIB");
    ASSERT_TRUE(w);
    w->SetAudioType(2);
    EXPECT_STREQ(w->GetAudioDescription(), "MP3 Lame\r\n128kbps\r\nStereo\r\nH2");
    w->Release();
}

// Split rule 5 with 1 MiB: each file closes past 0.9 MiB (57600 bytes a picture,
// and about 960 MP3 bytes: 17 pictures) and the next is numbered. PCM goes to a
// WAV file beside each part; MP3 gets an encoder per file, flushed when the file
// closes, so every part plays alone with all of its sound.
class SplitFiles : public AviEncodeTest, public ::testing::WithParamInterface<int> {};

TEST_P(SplitFiles, AreNumberedAndEachIsComplete) {
    REQUIRE_FFMPEG();
    const Clip c{.handler = Cc("DIB "), .audioType = GetParam(), .width = 160, .height = 120, .frames = 40,
                 .splitRule = 5, .customMiB = 1};
    const bool mp3 = c.audioType == 2;
    ASSERT_EQ(Encode(c, dir_.File("clip.avi")), 40);
    const char* names[] = {"clip", "clip_02", "clip_03"};
    const int frames[] = {17, 17, 6};
    for (int i = 0; i < 3; ++i) {
        const std::string avi = dir_.File(std::string(names[i]) + ".avi");
        const std::string wav = dir_.File(std::string(names[i]) + ".wav");
        ASSERT_TRUE(avitest::FileExists(avi)) << avi;
        const avitest::AviLayout L = avitest::ReadAviLayout(avi);
        ASSERT_TRUE(L.ok) << avi << ": " << L.error;
        ASSERT_EQ(L.streams.size(), mp3 ? 2u : 1u) << avi;
        EXPECT_EQ(L.streams[0].length, std::uint32_t(frames[i])) << avi;
        EXPECT_EQ(avitest::DecodedVideoFrames(avi), frames[i]) << avi;
        if (!mp3) {
            ASSERT_TRUE(avitest::FileExists(wav)) << wav;
            EXPECT_EQ(avitest::FileSize(wav), 44u + std::uint64_t(frames[i]) * 1764 * 4) << wav;
            continue;
        }
        EXPECT_FALSE(avitest::FileExists(wav));
        EXPECT_EQ(L.streams[1].format.size(), 30u) << avi;
        std::string err;
        EXPECT_TRUE(avitest::DecodesCleanly(avi, &err)) << avi << ": " << err;
        const double end = avitest::FirstPictureSeconds(avi) + frames[i] / 25.0;
        const double sound = avitest::DecodedAudioSeconds(avi, 44100, 2);
        EXPECT_GE(sound, end - 1.0 / 44100) << avi;
        EXPECT_LE(sound, end + 1152.0 / 44100) << avi;
    }
    EXPECT_FALSE(avitest::FileExists(dir_.File("clip_04.avi")));
}

INSTANTIATE_TEST_SUITE_P(Avi, SplitFiles, ::testing::Values(1, 2),
                         [](const auto& info) { return std::string(info.param == 1 ? "PcmBeside" : "Mp3Inside"); });

// The name given is kept when it ends in .avi; another extension is replaced.
// A dot in a folder name is no extension: the file stays in its folder (and a
// file of the folder's name beside it is left alone).
TEST_F(AviEncodeTest, OutputNameKeepsItsFolderAndAnAviExtension) {
    const Clip c{.frames = 1};
    ASSERT_EQ(avitest::Run("mkdir -p " + avitest::Quote(dir_.File("v.1"))), "");
    ASSERT_EQ(Encode(c, dir_.File("noext")), 1);
    EXPECT_TRUE(avitest::FileExists(dir_.File("noext.avi")));
    ASSERT_EQ(avitest::Run("touch " + avitest::Quote(dir_.File("v.avi"))), "");
    ASSERT_EQ(Encode(c, dir_.File("v.1/clip")), 1);
    EXPECT_TRUE(avitest::FileExists(dir_.File("v.1/clip.avi")));
    EXPECT_EQ(std::filesystem::file_size(dir_.File("v.avi")), 0u);
    ASSERT_EQ(Encode(c, dir_.File("Upper.AVI")), 1);
    EXPECT_TRUE(avitest::FileExists(dir_.File("Upper.AVI")));
    ASSERT_EQ(Encode(c, dir_.File("other.mkv")), 1);
    EXPECT_TRUE(avitest::FileExists(dir_.File("other.avi")));
    // A name longer than the 255-character base path is refused, not cut short.
    EXPECT_EQ(Encode(c, dir_.File(std::string(250, 'x') + ".avi")), 0);
}

TEST_F(AviEncodeTest, SecondConversionCompletesTheFirstAndStartsAtFrameZero) {
    REQUIRE_FFMPEG();
    IAviEncoder* enc = core::New<IAviEncoder>("AVIENC");
    ASSERT_TRUE(enc);
    Clip c{.audioType = 2, .frames = 8};
    ASSERT_EQ(Encode(c, dir_.File("one.avi"), enc), 8);
    c.frames = 5;
    ASSERT_EQ(Encode(c, dir_.File("two.avi"), enc), 5);
    // The first file is complete while the encoder still holds the second.
    EXPECT_EQ(avitest::DecodedVideoFrames(dir_.File("one.avi")), 8);
    EXPECT_TRUE(avitest::DecodesCleanly(dir_.File("one.avi")));
    ASSERT_TRUE(enc->Close());
    EXPECT_EQ(avitest::ReadAviLayout(dir_.File("two.avi")).streams[0].length, 5u);
    EXPECT_EQ(avitest::DecodedVideoFrames(dir_.File("two.avi")), 5);
    enc->Release();
}

TEST_F(AviEncodeTest, CompressorsRefuseWhatTheyCannotTake) {
    IVideoCompressor* vc = core::New<IVideoCompressor>("MYVFW");
    ASSERT_TRUE(vc);
    EXPECT_FALSE(vc->OpenCompressor(Cc("DIVX"), 64, 48, 2)) << "format 2";
    EXPECT_TRUE(vc->OpenCompressor(Cc("DIVX"), 64, 48, 0));
    EXPECT_TRUE(vc->OpenCompressor(Cc("DIVX"), 64, 48, 3));
    EXPECT_FALSE(vc->OpenCompressor(Cc("IV50"), 64, 48, 1));
    EXPECT_FALSE(vc->WriteFrame("x", nullptr)) << "no stream";
    char name[256];
    std::uint32_t h = 0;
    EXPECT_TRUE(vc->EnumVideoCodec(0, name, &h));
    EXPECT_EQ(h, Cc("DIVX"));
    EXPECT_LE(std::strlen(name), 255u);
    EXPECT_FALSE(vc->EnumVideoCodec(100, name, &h));
    EXPECT_FALSE(vc->ChooseCompressor()) << "no dialog here";
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(vc->ListCodecs());
    const std::string listed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(listed.rfind("0 name=" + std::string(name) + ", hanle=DIVX\n", 0), 0u) << listed;
    EXPECT_NE(listed.find(", hanle=XVID\n"), std::string::npos) << listed;
    vc->Release();

    const Clip c{.handler = Cc("MSVC"), .width = 66 /* not a multiple of 4 */};
    EXPECT_EQ(Encode(c, dir_.File("msvc.avi")), -3);
}

}  // namespace
