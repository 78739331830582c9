// Hostile and damaged inputs through every media component: each answers false
// or empty with the documented texts, and none crashes, hangs or reads out of
// bounds (this file is meant to run under AddressSanitizer too).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "MediaClips.h"
#include "engine/core/Factories.h"
#include "engine/media/IAudioReader.h"
#include "engine/media/IAudioStreamConverter.h"
#include "engine/media/IMediaInfo.h"
#include "engine/media/IVideoFrameSource.h"

namespace {

using media_test::AviSpec;
using media_test::TempDir;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

std::size_t Find(const std::vector<std::uint8_t>& b, const char* id) {
    for (std::size_t i = 0; i + 4 <= b.size(); ++i)
        if (std::memcmp(&b[i], id, 4) == 0) return i;
    return b.size();
}

struct Hostile {
    std::string name;
    std::string path;
    bool mayDescribe;  // a damaged but partly readable file may still be described
};

std::vector<Hostile> MakeHostileFiles() {
    std::vector<Hostile> files;
    const std::string dir = TempDir() + "/hostile";
    ::mkdir(dir.c_str(), 0700);
    auto add = [&](const std::string& name, const std::vector<std::uint8_t>& bytes, bool may) {
        const std::string p = dir + "/" + name;
        media_test::WriteFile(p, bytes);
        files.push_back({name, p, may});
    };
    add("empty.avi", {}, false);
    std::mt19937 rng(1234);
    std::vector<std::uint8_t> noise(8192);
    for (auto& v : noise) v = static_cast<std::uint8_t>(rng());
    add("noise.avi", noise, false);
    add("noise.mpg", noise, false);
    std::vector<std::uint8_t> riff = noise;
    std::memcpy(riff.data(), "RIFF\xff\xff\xff\x7f" "AVI LIST\xff\xff\xff\x7fhdrl", 24);
    add("riff_noise.avi", riff, false);

    const std::vector<std::uint8_t> good = media_test::ReadFile(media_test::Clip("xvid_mp3.avi"));
    for (std::size_t cut : {std::size_t{12}, std::size_t{100}, std::size_t{300}, std::size_t{2000},
                            good.size() / 2}) {
        add("cut" + std::to_string(cut) + ".avi",
            std::vector<std::uint8_t>(good.begin(), good.begin() + std::min(cut, good.size())),
            cut > 2000);
    }
    const std::vector<std::uint8_t> mpg = media_test::ReadFile(media_test::Clip("mpeg1.mpg"));
    add("cut.mpg", std::vector<std::uint8_t>(mpg.begin(), mpg.begin() + mpg.size() / 3), true);
    const std::vector<std::uint8_t> wmv = media_test::ReadFile(media_test::Clip("video.wmv"));
    add("cut.wmv", std::vector<std::uint8_t>(wmv.begin(), wmv.begin() + wmv.size() / 3), true);

    // Header lists whose sizes claim more than the file holds.
    {
        AviSpec s;
        std::vector<std::uint8_t> b = media_test::BuildAvi(s);
        Put32(b, Find(b, "strh") + 4, 0x7FFFFFF0);
        add("strh_huge.avi", b, true);
        b = media_test::BuildAvi(s);
        Put32(b, Find(b, "strf") + 4, 0xFFFFFFF0);
        add("strf_huge.avi", b, true);
        b = media_test::BuildAvi(s);
        Put32(b, Find(b, "strf") + 4, 4);  // format too short for its header
        add("strf_short.avi", b, true);
    }
    // Empty pictures.
    {
        AviSpec s;
        s.width = 0;
        s.height = 0;
        s.frameRect = false;
        add("zero.avi", media_test::BuildAvi(s), true);
    }
    // A frame rectangle larger than the pictures stored.
    {
        AviSpec s;
        s.bitCount = 24;
        std::vector<std::uint8_t> b = media_test::BuildAvi(s);
        const std::size_t strh = Find(b, "strh") + 8;
        b[strh + 52] = 200;  // right
        b[strh + 54] = 100;  // bottom
        add("rect_big.avi", b, true);
    }
    // A stream header that claims 100 pictures where 4 are stored, and palette
    // indices past the end of a 16-entry palette.
    {
        AviSpec s;
        s.paletteEntries = 16;
        s.clrUsed = 2;
        std::vector<std::uint8_t> b = media_test::BuildAvi(s);
        Put32(b, Find(b, "strh") + 8 + 32, 100);
        add("ends_early.avi", b, true);
    }
    // Rate and scale of 0.
    {
        AviSpec s;
        s.rate = 0;
        s.scale = 0;
        add("rate0.avi", media_test::BuildAvi(s), true);
    }
    files.push_back({"directory", dir, false});
    files.push_back({"missing", dir + "/missing.avi", false});
    files.push_back({"long path", std::string(300, 'a'), false});
    files.push_back({"empty path", "", false});
    return files;
}

TEST(MalformedInput, EveryComponentAnswersCleanly) {
    const std::vector<Hostile> files = MakeHostileFiles();
    for (const Hostile& f : files) {
        SCOPED_TRACE(f.name);
        // Probe.
        reelcast::IMediaInfo* info = reelcast::core::New<reelcast::IMediaInfo>("MEDIAGETINFO");
        ASSERT_NE(info, nullptr);
        const bool ok = info->Open(f.path.c_str(), false);
        const std::string text = info->GetInfoText();
        if (!ok) {
            EXPECT_EQ(text, "Can't recognise the this media file!");
        } else {
            EXPECT_TRUE(f.mayDescribe) << text;
            EXPECT_EQ(text.rfind("Media Type: ", 0), 0u) << text;
        }
        info->Release();

        // Pictures.
        reelcast::IVideoFrameSource* src = reelcast::core::New<reelcast::IVideoFrameSource>("VIDEODATADLL");
        ASSERT_NE(src, nullptr);
        if (src->Open(f.path.c_str(), 32, 32, 29.97)) {
            EXPECT_TRUE(f.mayDescribe);
            std::uint32_t size = 0;
            if (src->GetFrame(0, nullptr, &size) && size >= 40 && size < (64u << 20)) {
                std::vector<std::uint8_t> buf(size);
                for (std::uint32_t i : {0u, 1u, 5u, 3u, 150u, 0u}) {
                    std::uint32_t sz = size;
                    src->GetFrame(i, buf.data(), &sz);
                }
            }
        }
        src->Release();

        // Sound, through the blocks.
        reelcast::IAudioStreamConverter* conv =
            reelcast::core::New<reelcast::IAudioStreamConverter>("ASCONVERT");
        ASSERT_NE(conv, nullptr);
        EXPECT_TRUE(conv->Open(f.path.c_str(), 25.0, 44100));
        for (int i = 0; i < 5; ++i) {
            reelcast::SampleBlock b{};
            conv->GetBlock(&b);
            EXPECT_TRUE(b.count == 0 || b.count == 2 * 1764) << b.count;
        }
        conv->Release();
    }
}

TEST(MalformedInput, AudioReaderRefusesBadRatesAndPaths) {
    reelcast::IAudioReader* r = reelcast::core::New<reelcast::IAudioReader>("MEDIAAUDIODATA");
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(r->Open(media_test::Clip("stereo.wav").c_str(), 0));
    EXPECT_FALSE(r->Open(std::string(300, 'b').c_str(), 44100));
    EXPECT_FALSE(r->Open(nullptr, 44100));
    EXPECT_FALSE(r->GetChunk(nullptr, nullptr));
    // Opened twice: the first decoding thread is ended before the second starts.
    EXPECT_TRUE(r->Open(media_test::Clip("stereo.wav").c_str(), 44100));
    EXPECT_TRUE(r->Open(media_test::Clip("mono22050.wav").c_str(), 32000));
    std::uint8_t* d = nullptr;
    std::uint32_t n = 0;
    EXPECT_TRUE(r->GetChunk(&d, &n));
    EXPECT_GT(n, 0u);
    r->FreeChunk(d);
    r->Release();
}

}  // namespace
