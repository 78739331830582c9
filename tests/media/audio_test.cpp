// Sound: the audio reader's chunks against the source's own samples, mono made
// stereo, 5.1 mixed down, silence after the end; WAV files read back by ffprobe;
// the per-picture blocks and their carry arithmetic.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "MediaClips.h"
#include "engine/core/Factories.h"
#include "engine/media/IAudioReader.h"
#include "engine/media/IAudioStreamConverter.h"
#include "engine/media/IWavWriter.h"

namespace {

using media_test::Clip;
using reelcast::IAudioReader;
using reelcast::IAudioStreamConverter;
using reelcast::IWavWriter;
using reelcast::SampleBlock;

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Reads the whole sound through an audio reader; `sizes` gets each chunk's size
// up to the first silent one after the sound.
struct ReadAll {
    bool opened = false;
    std::vector<std::int16_t> samples;  // until the end of the sound
    std::vector<std::uint32_t> sizes;
    std::uint32_t silenceSize = 0;      // size of the chunks after the end
    bool silenceIsZero = true;
};

ReadAll Read(const std::string& path, std::uint32_t rate) {
    ReadAll r;
    IAudioReader* reader = reelcast::core::New<IAudioReader>("MEDIAAUDIODATA");
    EXPECT_NE(reader, nullptr);
    if (!reader) return r;
    r.opened = reader->Open(path.c_str(), rate);
    for (int guard = 0; guard < 10000; ++guard) {
        std::uint8_t* data = nullptr;
        std::uint32_t bytes = 0;
        EXPECT_TRUE(reader->GetChunk(&data, &bytes));
        bool silent = true;
        for (std::uint32_t i = 0; i < bytes; ++i) silent = silent && data[i] == 0;
        std::uint32_t largest = 0;
        for (std::uint32_t v : r.sizes) largest = std::max(largest, v);
        if (silent && bytes == largest) {
            // Past the end: every further chunk is the same silence.
            r.silenceSize = bytes;
            reader->FreeChunk(data);
            for (int k = 0; k < 3; ++k) {
                ASSERT_TRUE(reader->GetChunk(&data, &bytes)), r;
                r.silenceIsZero = r.silenceIsZero && bytes == r.silenceSize;
                for (std::uint32_t i = 0; i < bytes; ++i) r.silenceIsZero = r.silenceIsZero && data[i] == 0;
                reader->FreeChunk(data);
            }
            break;
        }
        r.sizes.push_back(bytes);
        const std::size_t at = r.samples.size();
        r.samples.resize(at + bytes / 2);
        std::memcpy(r.samples.data() + at, data, bytes / 2 * 2);
        reader->FreeChunk(data);
    }
    reader->Release();
    return r;
}

// A 44100 Hz 16-bit stereo source read at 44100 Hz passes unconverted: the chunks
// are the file's own sample bytes, then silence of the largest chunk size.
TEST(AudioReader, MatchingFormatPassesBytesUnchanged) {
    const std::string path = Clip("stereo.wav");
    ASSERT_FALSE(path.empty());
    const std::vector<std::uint8_t> file = media_test::ReadFile(path);
    // Find the data chunk.
    std::size_t at = 12;
    while (at + 8 <= file.size() && std::memcmp(&file[at], "data", 4) != 0) at += 8 + Le32(&file[at + 4]);
    ASSERT_LT(at + 8, file.size());
    const std::size_t dataBytes = Le32(&file[at + 4]);
    ReadAll r = Read(path, 44100);
    ASSERT_TRUE(r.opened);
    ASSERT_FALSE(r.sizes.empty());
    EXPECT_EQ(r.sizes.front(), 16384u);
    // The last chunk is padded with silence up to the largest size.
    ASSERT_GE(r.samples.size() * 2, dataBytes);
    EXPECT_EQ(0, std::memcmp(r.samples.data(), &file[at + 8], dataBytes));
    EXPECT_EQ(r.silenceSize, 16384u);
    EXPECT_TRUE(r.silenceIsZero);
}

// Mono 22050 Hz read at 44100 Hz: stereo chunks with each sample in both channels,
// twice as many sample frames as the source, in the source's shape.
TEST(AudioReader, MonoBecomesStereoAtTheRequestedRate) {
    ReadAll r = Read(Clip("mono22050.wav"), 44100);
    ASSERT_TRUE(r.opened);
    ASSERT_GE(r.samples.size(), 2u);
    std::size_t mismatched = 0;
    double peak = 0;
    for (std::size_t i = 0; i + 1 < r.samples.size(); i += 2) {
        mismatched += r.samples[i] != r.samples[i + 1];
        peak = std::max(peak, std::fabs(static_cast<double>(r.samples[i])));
    }
    EXPECT_EQ(mismatched, 0u);
    EXPECT_GT(peak, 3000);
    // One second of sound (the last chunk is padded, so allow one chunk of slack).
    const double frames = r.samples.size() / 2.0;
    EXPECT_GT(frames, 44100 * 0.99);
    EXPECT_LT(frames, 44100 + *std::max_element(r.sizes.begin(), r.sizes.end()) / 4.0);
    // A 440 Hz tone: count zero crossings of the left channel over the first second.
    int crossings = 0;
    for (std::size_t i = 2; i < 2 * 44100 && i < r.samples.size(); i += 2)
        crossings += (r.samples[i - 2] < 0) != (r.samples[i] < 0);
    EXPECT_NEAR(crossings, 880, 6);
}

// 5.1 is mixed down to stereo (each channel carries a tone of its own, so both
// output channels carry sound and differ); 48000 Hz becomes 44100 Hz.
TEST(AudioReader, SurroundIsMixedDownToStereo) {
    ReadAll r = Read(Clip("surround.wav"), 44100);
    ASSERT_TRUE(r.opened);
    const double frames = r.samples.size() / 2.0;
    EXPECT_GT(frames, 44100 * 0.99);
    EXPECT_LT(frames, 44100 * 1.2);
    double left = 0, right = 0, diff = 0;
    for (std::size_t i = 0; i + 1 < r.samples.size() && i < 2 * 44100; i += 2) {
        left += std::fabs(r.samples[i]);
        right += std::fabs(r.samples[i + 1]);
        diff += std::fabs(r.samples[i] - r.samples[i + 1]);
    }
    EXPECT_GT(left, 1000.0 * 44100);
    EXPECT_GT(right, 1000.0 * 44100);
    EXPECT_GT(diff, 100.0 * 44100);
}

TEST(AudioReader, CompressedSoundDecodes) {
    for (const char* clip : {"tone.mp3", "xvid_mp3.avi", "mpeg1.mpg", "video.wmv"}) {
        SCOPED_TRACE(clip);
        ReadAll r = Read(Clip(clip), 48000);
        ASSERT_TRUE(r.opened);
        EXPECT_GT(r.samples.size(), 2u * 48000 * 0.9);
        EXPECT_TRUE(r.silenceIsZero);
    }
}

TEST(AudioReader, NoSoundGivesEmptyChunks) {
    IAudioReader* reader = reelcast::core::New<IAudioReader>("MEDIAAUDIODATA");
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(reader->Open(Clip("rgb24.avi").c_str(), 44100));
    for (int i = 0; i < 3; ++i) {
        std::uint8_t* data = reinterpret_cast<std::uint8_t*>(1);
        std::uint32_t bytes = 7;
        EXPECT_TRUE(reader->GetChunk(&data, &bytes));
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(bytes, 0u);
        reader->FreeChunk(data);
    }
    reader->Release();
    // Released without ever being opened.
    reader = reelcast::core::New<IAudioReader>("MEDIAAUDIODATA");
    reader->Release();
}

TEST(WavWriter, EmptyFileHasTheHeaderOnly) {
    const std::string path = media_test::TempDir() + "/empty.wav";
    IWavWriter* wav = reelcast::core::New<IWavWriter>("WAVFILE");
    ASSERT_NE(wav, nullptr);
    ASSERT_TRUE(wav->Open(path.c_str()));
    wav->Release();
    const std::vector<std::uint8_t> b = media_test::ReadFile(path);
    ASSERT_EQ(b.size(), 44u);
    const std::uint8_t expected[44] = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E',
                                       'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,
                                       0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0,
                                       'd', 'a', 't', 'a', 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(b.data(), expected, 44));
}

TEST(WavWriter, SamplesReadBackWithFfmpeg) {
    const std::string path = media_test::TempDir() + "/written.wav";
    IWavWriter* wav = reelcast::core::New<IWavWriter>("WAVFILE");
    ASSERT_NE(wav, nullptr);
    ASSERT_TRUE(wav->Open(path.c_str()));
    std::vector<std::int16_t> s(2 * 4410);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>((i * 37) % 20000 - 10000);
    wav->WriteSamples(s.data(), 2000);
    wav->WriteSamples(s.data() + 2000, static_cast<std::uint32_t>(s.size() - 2000));
    wav->Release();
    EXPECT_EQ(media_test::Capture("ffprobe -v error -show_entries stream=sample_rate,channels,codec_name "
                                  "-of csv=p=0 '" + path + "'"),
              "pcm_s16le,44100,2\n");
    const std::string raw = media_test::Capture("ffmpeg -nostdin -v error -xerror -i '" + path +
                                                "' -f s16le -");
    ASSERT_EQ(raw.size(), s.size() * 2);
    EXPECT_EQ(0, std::memcmp(raw.data(), s.data(), raw.size()));
    IWavWriter* bad = reelcast::core::New<IWavWriter>("WAVFILE");
    EXPECT_FALSE(bad->Open((media_test::TempDir() + "/no/such/folder/x.wav").c_str()));
    EXPECT_FALSE(bad->WriteSamples(s.data(), 4));
    bad->Release();
}

// A full disk is reported by the write, not discovered later as a short sound.
TEST(WavWriter, FullDiskFailsTheWrite) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    IWavWriter* wav = reelcast::core::New<IWavWriter>("WAVFILE");
    ASSERT_NE(wav, nullptr);
    ASSERT_TRUE(wav->Open("/dev/full"));  // the header stays in the stream buffer
    std::vector<std::int16_t> s(2 * 44100, 1000);
    EXPECT_FALSE(wav->WriteSamples(s.data(), static_cast<std::uint32_t>(s.size())));
    wav->Release();
}

struct Blocks {
    std::vector<std::uint32_t> counts;
    std::vector<bool> silent;
    std::vector<bool> results;
};

Blocks TakeBlocks(const std::string& path, double fps, std::uint32_t rate, int n) {
    Blocks b;
    IAudioStreamConverter* c = reelcast::core::New<IAudioStreamConverter>("ASCONVERT");
    EXPECT_NE(c, nullptr);
    if (!c) return b;
    EXPECT_TRUE(c->Open(path.c_str(), fps, rate));
    for (int i = 0; i < n; ++i) {
        SampleBlock blk{};
        b.results.push_back(c->GetBlock(&blk));
        b.counts.push_back(blk.count);
        bool silent = true;
        for (std::uint32_t k = 0; k < blk.count; ++k) silent = silent && blk.data[k] == 0;
        b.silent.push_back(silent);
    }
    c->Release();
    return b;
}

// Block sizes follow sampleRate / frameRate exactly over time.
TEST(AudioBlocks, SizesFollowTheRateRatio) {
    const std::string path = Clip("stereo.wav");
    const struct {
        double fps;
        std::uint32_t rate;
        std::set<std::uint32_t> frames;
    } cases[] = {
        {25.0, 44100, {1764}},
        {29.97, 44100, {1471, 1472}},
        {23.976, 44100, {1839, 1840}},
        {25.0, 48000, {1920}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fps);
        const int n = 20;
        Blocks b = TakeBlocks(path, c.fps, c.rate, n);
        std::set<std::uint32_t> seen;
        double total = 0;
        for (int i = 0; i < n; ++i) {
            EXPECT_TRUE(b.results[i]);
            EXPECT_EQ(b.counts[i] % 2, 0u);
            seen.insert(b.counts[i] / 2);
            total += b.counts[i] / 2;
            // Over k blocks the counts stay within one frame of k x s.
            EXPECT_LE(std::fabs(total - (i + 1) * c.rate / c.fps), 1.0);
        }
        EXPECT_EQ(seen, c.frames);
    }
}

// The first blocks exactly: the carry rounds x to ceil(x - 0.5), so a block size
// of exactly half a frame more (44100 Hz at 24 fps: 1837.5) starts low.
TEST(AudioBlocks, FirstBlocksFollowTheCarry) {
    const std::string path = Clip("stereo.wav");
    const struct {
        double fps;
        std::vector<std::uint32_t> frames;
    } cases[] = {
        {29.97, {1471, 1472, 1471, 1472, 1471, 1472}},
        {23.976, {1839, 1840, 1839, 1839, 1840, 1839}},
        {24.0, {1837, 1838, 1837, 1838, 1837, 1838}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fps);
        Blocks b = TakeBlocks(path, c.fps, 44100, static_cast<int>(c.frames.size()));
        for (std::size_t i = 0; i < c.frames.size(); ++i) EXPECT_EQ(b.counts[i], 2 * c.frames[i]) << i;
    }
}

// A sound shorter than its video: the blocks after its end are silent and keep
// their size to the end of the video.
TEST(AudioBlocks, SilenceAfterTheSoundKeepsBlockSizes) {
    Blocks b = TakeBlocks(Clip("short_sound.avi"), 25.0, 44100, 50);
    int sounding = 0;
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(b.results[i]) << i;
        EXPECT_EQ(b.counts[i], 2u * 1764) << i;
        sounding += !b.silent[i];
    }
    // Half a second of sound is 12.5 pictures.
    EXPECT_GE(sounding, 12);
    EXPECT_LE(sounding, 14);
    EXPECT_TRUE(b.silent[49]);
}

TEST(AudioBlocks, NoSoundGivesEmptyBlocks) {
    Blocks b = TakeBlocks(Clip("rgb24.avi"), 25.0, 44100, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(b.results[i]);
        EXPECT_EQ(b.counts[i], 0u);
    }
    IAudioStreamConverter* c = reelcast::core::New<IAudioStreamConverter>("ASCONVERT");
    SampleBlock blk{};
    EXPECT_FALSE(c->GetBlock(&blk));  // never opened
    EXPECT_EQ(blk.count, 0u);
    c->Release();
}

}  // namespace
