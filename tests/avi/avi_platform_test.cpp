// The platform side of AVI output: the RIFF writer and its OpenDML layout, the
// compressor list, the audio codecs, the registry store and the dialogs' rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "AviTestSupport.h"
#include "platform/acm/AcmCodecs.h"
#include "platform/avifile/AviFileWriter.h"
#include "platform/avifile/AviVideoCompressor.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Dialogs.h"

namespace {

namespace af = reelcast::platform::avifile;
namespace acm = reelcast::platform::acm;
namespace reg = reelcast::platform::registry;
namespace ui = reelcast::platform::ui;
using avitest::TempDir;

af::BitmapInfoHeader Rgb24(int w, int h) {
    af::BitmapInfoHeader b;
    b.width = w;
    b.height = h;
    b.bitCount = 24;
    b.sizeImage = af::DibStride(w, 24) * std::uint32_t(h);
    return b;
}

// 16-bit stereo PCM at 44100 Hz.
acm::WaveFormatEx Pcm16Stereo() {
    acm::WaveFormatEx wf;
    wf.formatTag = 1;
    wf.channels = 2;
    wf.samplesPerSec = 44100;
    wf.avgBytesPerSec = 176400;
    wf.blockAlign = 4;
    wf.bitsPerSample = 16;
    return wf;
}

std::vector<std::int16_t> Sine(int pairs, int rate, int offset) {
    std::vector<std::int16_t> s(std::size_t(pairs) * 2);
    for (int i = 0; i < pairs; ++i) {
        const auto v = std::int16_t(8000 * std::sin(2 * M_PI * 440.0 * (offset + i) / rate));
        s[2 * std::size_t(i)] = v;
        s[2 * std::size_t(i) + 1] = v;
    }
    return s;
}

// A video stream of uncompressed frames and a PCM stream, each RIFF list cut at
// 256 KiB so the file takes the OpenDML layout: the readers must see every frame.
TEST(AviFileWriter, OpenDmlLayoutKeepsEveryFrameReadable) {
    REQUIRE_FFMPEG();
    TempDir dir;
    const std::string path = dir.File("odml.avi");
    const std::uint64_t previous = af::AviFileWriter::RiffLimit();
    af::AviFileWriter::SetRiffLimit(256 * 1024);
    {
        auto w = af::AviFileWriter::Create(path);
        ASSERT_TRUE(w);
        af::AviStreamInfo v;
        v.fccType = af::kStreamTypeVideo;
        v.fccHandler = af::MakeFourCC('D', 'I', 'B', ' ');
        v.scale = 1000;
        v.rate = 25000;
        const int vs = w->CreateStream(v);
        const af::BitmapInfoHeader bih = Rgb24(160, 120);
        ASSERT_TRUE(w->SetFormat(vs, &bih, sizeof bih));
        af::AviStreamInfo a;
        a.fccType = af::kStreamTypeAudio;
        a.scale = 4;
        a.rate = 176400;
        a.sampleSize = 4;
        a.name = "Audio Stream";
        const int as = w->CreateStream(a);
        const acm::WaveFormatEx wf = Pcm16Stereo();
        ASSERT_TRUE(w->SetFormat(as, &wf, sizeof wf));
        for (int i = 0; i < 60; ++i) {
            const auto pic = avitest::TestPicture(160, 120, i);
            ASSERT_TRUE(w->Write(vs, pic.data(), pic.size(), true));
            const auto snd = Sine(1764, 44100, i * 1764);
            ASSERT_TRUE(w->Write(as, snd.data(), snd.size() * 2, true));
        }
        EXPECT_FALSE(w->CreateStream(v) >= 0) << "streams are fixed once data is written";
        EXPECT_TRUE(w->Close());
    }
    af::AviFileWriter::SetRiffLimit(previous);

    const avitest::AviLayout L = avitest::ReadAviLayout(path);
    ASSERT_TRUE(L.ok) << L.error;
    ASSERT_GT(L.riffForms.size(), 5u);
    EXPECT_EQ(L.riffForms[0], "AVI ");
    for (std::size_t i = 1; i < L.riffForms.size(); ++i) EXPECT_EQ(L.riffForms[i], "AVIX");
    EXPECT_EQ(L.dmlhTotalFrames, 60u);
    EXPECT_LT(L.avihTotalFrames, 60u) << "the main header counts the first RIFF list only";
    EXPECT_EQ(L.avihMicroSecPerFrame, 40000u);
    ASSERT_EQ(L.streams.size(), 2u);
    EXPECT_EQ(L.streams[0].length, 60u);
    EXPECT_EQ(L.streams[1].length, 60u * 1764);
    // One super-index entry per RIFF list holding chunks of the stream.
    for (const auto& st : L.streams) {
        EXPECT_GE(st.superIndexEntries + 1, L.riffForms.size());
        EXPECT_LE(st.superIndexEntries, L.riffForms.size());
    }
    EXPECT_EQ(L.streams[1].name, "Audio Stream");

    EXPECT_EQ(avitest::DecodedVideoFrames(path), 60);
    std::string err;
    EXPECT_TRUE(avitest::DecodesCleanly(path, &err)) << err;
    EXPECT_NEAR(avitest::DecodedAudioSeconds(path, 44100, 2), 60 * 0.04, 1e-6);
}

TEST(AviFileWriter, RefusesMisuseAndUnwritablePaths) {
    EXPECT_FALSE(af::AviFileWriter::Create("/nonexistent-dir/x.avi"));
    TempDir dir;
    auto w = af::AviFileWriter::Create(dir.File("m.avi"));
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->Write(0, "x", 1, true)) << "no such stream";
    EXPECT_FALSE(w->SetFormat(3, "x", 1));
    EXPECT_TRUE(w->Close());
    EXPECT_FALSE(w->Close()) << "already closed";
    // An empty file is still a complete AVI.
    const avitest::AviLayout L = avitest::ReadAviLayout(dir.File("m.avi"));
    EXPECT_TRUE(L.ok) << L.error;
}

TEST(VideoCompressors, ListHoldsTheFamiliesWithUniqueCodes) {
    std::vector<std::uint32_t> codes;
    af::VideoCompressorInfo info;
    for (int i = 0; af::EnumVideoCompressor(i, &info); ++i) {
        EXPECT_FALSE(info.description.empty());
        for (std::uint32_t c : codes) EXPECT_NE(c, info.handler);
        codes.push_back(info.handler);
    }
    EXPECT_FALSE(af::EnumVideoCompressor(int(codes.size()), &info));
    EXPECT_FALSE(af::EnumVideoCompressor(-1, &info));
    for (const char* cc : {"DIVX", "XVID", "MJPG", "cvid", "MSVC", "HFYU", "FFV1", "MP42", "MP43", "DIB "}) {
        EXPECT_TRUE(af::FindVideoCompressor(af::MakeFourCC(cc[0], cc[1], cc[2], cc[3]), nullptr)) << cc;
    }
    EXPECT_FALSE(af::FindVideoCompressor(af::MakeFourCC('I', 'V', '5', '0'), nullptr)) << "no Indeo here";
}

TEST(VideoCompressors, InputFormatsAndSizesAreChecked) {
    const std::uint32_t divx = af::MakeFourCC('D', 'I', 'V', 'X');
    EXPECT_TRUE(af::VideoEncoder::Open(divx, Rgb24(64, 48), 0, -1, 25, 1));
    af::BitmapInfoHeader rgb32 = Rgb24(64, 48);
    rgb32.bitCount = 32;
    EXPECT_TRUE(af::VideoEncoder::Open(divx, rgb32, 0, -1, 25, 1));
    af::BitmapInfoHeader yuy2 = Rgb24(64, 48);
    yuy2.bitCount = 16;
    yuy2.compression = af::MakeFourCC('Y', 'U', 'Y', '2');
    EXPECT_TRUE(af::VideoEncoder::Open(divx, yuy2, 0, -1, 25, 1));
    af::BitmapInfoHeader bad = Rgb24(64, 48);
    bad.bitCount = 8;
    EXPECT_FALSE(af::VideoEncoder::Open(divx, bad, 0, -1, 25, 1));
    // MS Video 1 works on 4x4 blocks.
    EXPECT_FALSE(af::VideoEncoder::Open(af::MakeFourCC('M', 'S', 'V', 'C'), Rgb24(66, 48), 0, -1, 25, 1));
    EXPECT_FALSE(af::VideoEncoder::Open(divx, Rgb24(0, 48), 0, -1, 25, 1));
}

// Every format the codecs offer for 16-bit stereo: one second of tone through
// the stream into an AVI, read back by FFmpeg with the format as declared.
TEST(AcmCodecs, EveryOfferedFormatRoundTripsThroughAnAvi) {
    REQUIRE_FFMPEG();
    const acm::WaveFormatEx src = Pcm16Stereo();
    const std::vector<acm::FormatChoice> choices = acm::EnumFormats(src);
    std::vector<std::uint16_t> tags;
    for (const auto& c : choices) {
        acm::WaveFormatEx w;
        std::memcpy(&w, c.format.data(), sizeof w);
        EXPECT_EQ(c.format.size(), sizeof w + w.cbSize);
        EXPECT_LE(c.format.size(), acm::MaxFormatSize());
        tags.push_back(w.formatTag);
    }
    for (std::uint16_t t : {0x0001, 0x0002, 0x0011, 0x0006, 0x0007, 0x0050, 0x2000})
        EXPECT_NE(std::find(tags.begin(), tags.end(), t), tags.end()) << std::hex << t;

    TempDir dir;
    int n = 0;
    std::vector<std::uint16_t> done;
    for (const auto& c : choices) {
        acm::WaveFormatEx w;
        std::memcpy(&w, c.format.data(), sizeof w);
        // One format of each tag keeps the run short; mono 8-bit PCM adds a shape.
        const bool monoPcm8 = w.formatTag == 1 && w.channels == 1 && w.bitsPerSample == 8;
        if (std::find(done.begin(), done.end(), w.formatTag) != done.end() && !monoPcm8) continue;
        done.push_back(w.formatTag);
        auto stream = acm::CodecStream::Open(-1, src, c.format);
        ASSERT_TRUE(stream) << c.tagName << " " << c.description;
        EXPECT_FALSE(acm::CodecStream::Open(99, src, c.format)) << "another driver";
        const std::string path = dir.File("a" + std::to_string(n++) + ".avi");
        auto file = af::AviFileWriter::Create(path);
        af::AviStreamInfo a;
        a.fccType = af::kStreamTypeAudio;
        a.scale = w.blockAlign;
        a.rate = w.avgBytesPerSec;
        a.sampleSize = w.blockAlign;
        const int s = file->CreateStream(a);
        ASSERT_TRUE(file->SetFormat(s, c.format.data(), c.format.size()));
        std::vector<std::uint8_t> out(stream->OutputSizeFor(16384));
        for (int i = 0; i < 25; ++i) {
            const auto snd = Sine(1764, 44100, i * 1764);
            const std::int64_t used = stream->Convert(reinterpret_cast<const std::uint8_t*>(snd.data()),
                                                      std::uint32_t(snd.size() * 2), out.data(),
                                                      std::uint32_t(out.size()));
            ASSERT_GE(used, 0);
            if (used) {
                ASSERT_TRUE(file->Write(s, out.data(), std::size_t(used), true));
            }
        }
        const std::int64_t last = stream->Flush(out.data(), std::uint32_t(out.size()));
        ASSERT_GE(last, 0);
        if (last) {
            ASSERT_TRUE(file->Write(s, out.data(), std::size_t(last), true));
        }
        ASSERT_TRUE(file->Close());
        std::string err;
        EXPECT_TRUE(avitest::DecodesCleanly(path, &err)) << c.tagName << " " << c.description << ": " << err;
        const auto streams = avitest::ProbeStreams(path);
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(std::strtol(streams[0].at("channels").c_str(), nullptr, 10), w.channels);
        // All of the second, and at most one codec frame (AC-3: 1536 samples) more.
        const double secs = avitest::DecodedAudioSeconds(path, 44100, w.channels);
        EXPECT_GE(secs, 0.999) << c.tagName << " " << c.description;
        EXPECT_LE(secs, 1.0 + 2048.0 / 44100) << c.tagName << " " << c.description;
    }
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (old_.empty()) unsetenv("XDG_CONFIG_HOME");
        else setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    }
    TempDir dir_;
    std::string old_;
};

TEST_F(RegistryTest, DefaultValuesOfSubKeysPersistPerUser) {
    std::string v;
    EXPECT_FALSE(reg::QueryValue("Software\\VantorReelcast\\Lame", "bitrate", &v));
    ASSERT_TRUE(reg::SetValue("Software\\VantorReelcast\\Lame", "bitrate", "128"));
    ASSERT_TRUE(reg::SetValue("Software\\VantorReelcast\\Lame", "stereo", "line\twith\nbreaks\\"));
    EXPECT_EQ(reg::StorePath(), dir_.path() + "/VantorReelcast/registry");
    EXPECT_TRUE(avitest::FileExists(reg::StorePath()));
    ASSERT_TRUE(reg::QueryValue("software\\vantorreelcast\\LAME", "BITRATE", &v)) << "keys ignore case";
    EXPECT_EQ(v, "128");
    ASSERT_TRUE(reg::QueryValue("Software\\VantorReelcast\\Lame\\stereo", "", &v));
    EXPECT_EQ(v, "line\twith\nbreaks\\");
    ASSERT_TRUE(reg::SetValue("Software\\VantorReelcast\\Lame", "bitrate", "96"));
    ASSERT_TRUE(reg::QueryValue("Software\\VantorReelcast\\Lame", "bitrate", &v));
    EXPECT_EQ(v, "96");
    ASSERT_TRUE(reg::DeleteKey("Software\\VantorReelcast\\Lame"));
    EXPECT_FALSE(reg::QueryValue("Software\\VantorReelcast\\Lame", "bitrate", &v));
}

TEST(DialogRules, ListPrefixSearchStartsAtTheSecondItemAndWraps) {
    const std::vector<std::string> items = {"Divx first", "XviD", "divx second", "Other"};
    EXPECT_EQ(ui::FindItemWithPrefix(items, "DIVX"), 2);
    EXPECT_EQ(ui::FindItemWithPrefix(items, "xvid"), 1);
    EXPECT_EQ(ui::FindItemWithPrefix({"Divx only", "B"}, "divx"), 0) << "wraps to the first";
    EXPECT_EQ(ui::FindItemWithPrefix(items, "Ind"), -1);
    EXPECT_EQ(ui::FindItemWithPrefix({}, "x"), -1);

    std::vector<std::string> rates;
    for (double r : {24000.0 / 1001, 24.0, 25.0, 30000.0 / 1001, 30.0}) {
        char b[32];
        std::snprintf(b, sizeof b, "%.3f fps", r);
        rates.push_back(b);
    }
    EXPECT_EQ(rates[0], "23.976 fps");
    EXPECT_EQ(ui::FindItemWithPrefix(rates, "25"), 2);
}

TEST(DialogRules, CodecItemPrefersDivxThenXvidAndFallsBackToTheFirst) {
    EXPECT_EQ(ui::AviOptionsCodecItem({"A", "XviD MPEG-4", "DivX MPEG-4"}, 1), 2);
    EXPECT_EQ(ui::AviOptionsCodecItem({"A", "XviD MPEG-4"}, 1), 1);
    EXPECT_EQ(ui::AviOptionsCodecItem({"A", "Indeo video 5"}, 0), 1);
    // No compressor of the family installed: the first one rather than none.
    EXPECT_EQ(ui::AviOptionsCodecItem({"Motion JPEG", "Cinepak"}, 0), 0);
    EXPECT_EQ(ui::AviOptionsCodecItem({"Motion JPEG", "Cinepak"}, 1), 0);
    EXPECT_EQ(ui::AviOptionsCodecItem({}, 1), -1);
}

TEST(DialogRules, LameBitrateSelectionAndNumericFields) {
    EXPECT_EQ(ui::LameBitrateItem(200), 6);
    EXPECT_EQ(ui::kLameBitrates[6], 224) << "200 stored selects \"224 KBits\"";
    EXPECT_EQ(ui::LameBitrateItem(192), 5);
    EXPECT_EQ(ui::LameBitrateItem(0), 0);
    EXPECT_EQ(ui::LameBitrateItem(320), 8);
    EXPECT_EQ(ui::LameBitrateItem(400), -1);
    EXPECT_EQ(ui::ParseDialogInt("19500"), 19500);
    EXPECT_EQ(ui::ParseDialogInt(" -1 "), -1);
    EXPECT_EQ(ui::ParseDialogInt("12ab"), 0);
    EXPECT_EQ(ui::ParseDialogInt(""), 0);
    EXPECT_EQ(ui::ParseDialogInt("99999999999"), 0);
}

TEST(DialogRules, NoDialogWithoutAnInterface) {
    EXPECT_FALSE(ui::DialogsAvailable());
    ui::LameSettings s;
    EXPECT_FALSE(ui::RunLameConfigDialog(nullptr, &s));
    int chosen = 0;
    EXPECT_FALSE(ui::RunFormatChooseDialog(nullptr, "Select Audio Codec", {{"PCM", "x"}}, &chosen));
}

}  // namespace
