// Frame sizes, headers, padding, time stamps, the sample FIFO and the failure
// paths of the Layer II encoder, read back from the bytes it writes.
#include <gtest/gtest.h>

#include "tests/mpeg_audio/AudioTestSupport.h"

namespace reelcast::testing {
namespace {

using mpeg::MpegAudioEncoder;

struct Frame {
    std::size_t offset;
    std::size_t size;
    int padding;
    std::uint8_t header[4];
};

// Walks the stream frame by frame from its own headers (sizes from the
// standard's formula, not from the encoder).
std::vector<Frame> ParseFrames(const std::vector<std::uint8_t>& s, bool* ok) {
    static const int kKbps[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const int kRate[3] = {44100, 48000, 32000};
    std::vector<Frame> frames;
    *ok = true;
    std::size_t pos = 0;
    while (pos + 4 <= s.size()) {
        const std::uint8_t* h = s.data() + pos;
        if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) {
            *ok = false;
            break;
        }
        const int bri = h[2] >> 4, sf = (h[2] >> 2) & 3, pad = (h[2] >> 1) & 1;
        if (bri == 0 || bri == 15 || sf == 3) {
            *ok = false;
            break;
        }
        const std::size_t size = 144000u * kKbps[bri] / kRate[sf] + pad;
        Frame f{pos, size, pad, {h[0], h[1], h[2], h[3]}};
        frames.push_back(f);
        pos += size;
    }
    if (pos != s.size()) *ok = false;
    return frames;
}

// An encoder fed by hand, for the FIFO cases.
struct Bench {
    MuxStandIn mux;
    MpegAudioEncoder* enc = static_cast<MpegAudioEncoder*>(static_cast<IMpegAudioEncoder*>(_NEW_MPGLIB_AUDIO()));
    Bench(int rate = 44100, int kbps = 224, double fps = 25.0) {
        enc->SetMultiplexer(&mux);
        enc->SetSampleRate(static_cast<std::uint32_t>(rate));
        enc->SetParameters(BitrateIndex(kbps), fps);
        started = enc->Start();
    }
    ~Bench() { enc->Release(); }
    bool Put(std::int32_t count, bool* going = nullptr) {
        std::vector<std::int16_t> v(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::int16_t>((i * 37) % 2000 - 1000);
        SampleBlock b{v.data(), static_cast<std::uint32_t>(count)};
        bool local = true;
        return enc->PutSamples(&b, going ? going : &local);
    }
    bool started = false;
};

TEST(Layer2Framing, Frames44100At224AlternatePaddingThreeInSeven) {
    MuxStandIn mux;
    const auto pcm = Tones(44100, 0.5, 440.0, 1000.0);
    const auto s = EncodeStream(pcm, 44100, 224, &mux);
    bool ok = false;
    const auto frames = ParseFrames(s, &ok);
    ASSERT_TRUE(ok);
    ASSERT_GE(frames.size(), 14u);
    ASSERT_EQ(frames.size(), mux.units.size());
    int padded = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        EXPECT_EQ(f.size, f.padding ? 732u : 731u);
        EXPECT_EQ(mux.units[i].length, f.size) << "unit " << i;
        const std::uint8_t want[4] = {0xFF, 0xFD, static_cast<std::uint8_t>(f.padding ? 0xB2 : 0xB0), 0x00};
        EXPECT_EQ(0, std::memcmp(f.header, want, 4)) << "frame " << i;
        if (i < 7) padded += f.padding;
    }
    EXPECT_EQ(padded, 3);
    // The pattern starts unpadded and then alternates for the first six frames.
    EXPECT_EQ(frames[0].padding, 0);
    EXPECT_EQ(frames[1].padding, 1);
    EXPECT_EQ(frames[2].padding, 0);
    // Over any 7 consecutive frames the average is exactly 731 3/7 slots.
    std::size_t sum = 0;
    for (int i = 7; i < 14; ++i) sum += frames[static_cast<std::size_t>(i)].size;
    EXPECT_EQ(sum, 7u * 731u + 3u);
}

TEST(Layer2Framing, FixedFrameSizesAt48000And32000) {
    struct Case {
        int rate;
        std::size_t size;
        std::uint8_t third;
    } cases[] = {{48000, 672, 0xB4}, {32000, 1008, 0xB8}};
    for (const Case& c : cases) {
        MuxStandIn mux;
        const auto s = EncodeStream(Tones(c.rate, 0.4, 300.0, 5000.0), c.rate, 224, &mux);
        bool ok = false;
        const auto frames = ParseFrames(s, &ok);
        ASSERT_TRUE(ok) << c.rate;
        ASSERT_FALSE(frames.empty());
        for (const Frame& f : frames) {
            EXPECT_EQ(f.size, c.size) << c.rate;
            const std::uint8_t want[4] = {0xFF, 0xFD, c.third, 0x00};
            EXPECT_EQ(0, std::memcmp(f.header, want, 4)) << c.rate;
        }
        for (const AudioUnit& u : mux.units) EXPECT_EQ(u.length, c.size);
    }
}

TEST(Layer2Framing, AllocationTableFollowsRatePerChannel) {
    struct Case {
        int rate, kbps, table, sblimit;
    } cases[] = {
        {48000, 160, 0, 27}, {44100, 224, 1, 30}, {32000, 224, 1, 30}, {48000, 224, 0, 27}, {48000, 384, 0, 27},
        {44100, 384, 1, 30}, {44100, 112, 0, 27}, {32000, 160, 0, 27}, {44100, 128, 0, 27}, {48000, 128, 0, 27},
        {32000, 128, 0, 27}, {44100, 64, 2, 8},   {48000, 96, 2, 8},   {32000, 64, 3, 12},  {32000, 96, 3, 12},
        {44100, 192, 1, 30}, {48000, 192, 0, 27},
    };
    for (const Case& c : cases) {
        Bench b(c.rate, c.kbps);
        ASSERT_TRUE(b.started);
        EXPECT_EQ(b.enc->allocTableNumber(), c.table) << c.rate << " Hz " << c.kbps << " kbit/s";
        EXPECT_EQ(b.enc->sblimit(), c.sblimit) << c.rate << " Hz " << c.kbps << " kbit/s";
    }
}

TEST(Layer2Framing, FifoCodesOnlyWhenMoreThanOneFramePending) {
    {
        Bench b;
        ASSERT_TRUE(b.Put(1000));
        EXPECT_EQ(b.enc->fifoCapacityBytes(), 2000);
        ASSERT_TRUE(b.Put(1000));
        EXPECT_EQ(b.enc->framesCoded(), 0);
        EXPECT_EQ(b.enc->fifoCapacityBytes(), 4000);  // grew from the 1000 pending, doubled
        ASSERT_TRUE(b.Put(1000));
        EXPECT_EQ(b.enc->framesCoded(), 1);
        EXPECT_EQ(b.enc->pendingSamples(), 696);
        EXPECT_EQ(b.mux.units.size(), 1u);
    }
    {
        Bench b;
        ASSERT_TRUE(b.Put(2304));
        EXPECT_EQ(b.enc->framesCoded(), 0);
        EXPECT_EQ(b.enc->pendingSamples(), 2304);
        ASSERT_TRUE(b.Put(1));
        EXPECT_EQ(b.enc->framesCoded(), 1);
        EXPECT_EQ(b.enc->pendingSamples(), 1);
    }
    {
        // A large block codes every frame it completes but keeps the last 2304.
        Bench b;
        ASSERT_TRUE(b.Put(4 * 2304));
        EXPECT_EQ(b.enc->framesCoded(), 3);
        EXPECT_EQ(b.enc->pendingSamples(), 2304);
        // Empty blocks are accepted and change nothing.
        ASSERT_TRUE(b.Put(0));
        EXPECT_EQ(b.enc->pendingSamples(), 2304);
    }
}

TEST(Layer2Framing, TooManyPendingSamplesRefusedWithoutChange) {
    Bench b;
    bool going = false;  // the audio stream is not running: nothing is coded
    ASSERT_TRUE(b.Put(100001, &going));
    EXPECT_EQ(b.enc->pendingSamples(), 100001);
    going = true;
    EXPECT_FALSE(b.Put(1000, &going));
    EXPECT_EQ(b.enc->pendingSamples(), 100001);
    EXPECT_EQ(b.enc->framesCoded(), 0);
    // Null blocks are refused too.
    EXPECT_FALSE(b.enc->PutSamples(nullptr, &going));
}

// Frame k is stamped with the instant its first sample comes out of a decoder:
// sound starts with the first picture, one picture period after zero, and the
// filter banks delay every sample by 481 samples. Each time is exact to the
// nearest 27 MHz tick.
TEST(Layer2Framing, TimeStampsOfFrameK) {
    for (const double fps : {25.0, 29.97}) {
        Bench b(44100, 224, fps);
        ASSERT_TRUE(b.Put(2304 * 6 + 1));
        ASSERT_EQ(b.mux.times.size(), 6u);
        ASSERT_EQ(b.mux.units.size(), 6u);
        const double period = fps == 25.0 ? 27000000.0 / 25.0 : 27000000.0 * 1001.0 / 30000.0;
        for (std::size_t k = 0; k < 6; ++k) {
            const double want = (k * 1152.0 - 481.0) / 44100.0 * 27000000.0 + period;
            EXPECT_NEAR(b.mux.times[k], want, 0.5) << k;
            EXPECT_EQ(b.mux.times[k], std::round(b.mux.times[k])) << k;
        }
        if (fps == 25.0) {
            EXPECT_EQ(b.mux.times[0], 785510.0);
            EXPECT_NEAR(b.mux.times[1] - b.mux.times[0], 705306.122449, 1.0);
        }
    }
}

TEST(Layer2Framing, StartRefusesUnsupportedSettings) {
    auto* enc = static_cast<IMpegAudioEncoder*>(_NEW_MPGLIB_AUDIO());
    ASSERT_NE(enc, nullptr);
    enc->SetParameters(11, 25.0);
    enc->SetSampleRate(22050);
    EXPECT_FALSE(enc->Start());
    enc->SetSampleRate(48000);
    EXPECT_TRUE(enc->Start());
    enc->SetParameters(0, 25.0);  // free format
    EXPECT_FALSE(enc->Start());
    enc->SetParameters(15, 25.0);
    EXPECT_FALSE(enc->Start());
    // Nothing started: frames are not coded even with samples pending.
    std::vector<std::int16_t> v(3000, 0);
    SampleBlock blk{v.data(), 3000};
    bool going = true;
    EXPECT_TRUE(enc->PutSamples(&blk, &going));
    EXPECT_FALSE(going);
    EXPECT_FALSE(enc->EncodeAudioFrame());
    enc->Release();
}

TEST(Layer2Framing, RefusedUnitStopsTheStream) {
    Bench b;
    b.mux.refuse = true;
    bool going = true;
    ASSERT_TRUE(b.Put(3 * 2304 + 1, &going));
    EXPECT_FALSE(going);
    EXPECT_EQ(b.enc->framesCoded(), 1);
    EXPECT_EQ(b.enc->pendingSamples(), 2 * 2304 + 1);
}

TEST(Layer2Framing, UndrainedBufferOverflowStopsTheStream) {
    // 1 MiB holds 910 frames of 1152 bytes (48000 Hz, 384 kbit/s); nothing is read.
    Bench b(48000, 384);
    bool going = true;
    int calls = 0;
    while (going && calls < 1200) {
        ASSERT_TRUE(b.Put(2 * 1920, &going));  // one picture at 25 pictures/s
        ++calls;
    }
    EXPECT_FALSE(going);
    EXPECT_EQ(b.enc->framesCoded(), 1048576 / 1152 + 1);
    // Later calls do not code.
    going = true;
    b.Put(2 * 1920, &going);
    EXPECT_FALSE(going);
}

TEST(Layer2Framing, ReadStreamDrainsInOrderAndStopReleasesTheTail) {
    Bench b(44100, 224);
    ASSERT_TRUE(b.Put(5 * 2304 + 1));
    ASSERT_EQ(b.mux.units.size(), 5u);
    std::size_t expected = 0;
    for (const AudioUnit& u : b.mux.units) expected += u.length;
    std::vector<std::uint8_t> all;
    std::uint8_t small[7];
    for (std::int32_t n; (n = b.enc->ReadStream(small, 7)) > 0;) all.insert(all.end(), small, small + n);
    EXPECT_EQ(all.size() % 4, 0u);  // whole words only while streaming
    EXPECT_LE(expected - all.size(), 3u);
    EXPECT_EQ(b.enc->ReadStream(small, 7), 0);
    b.enc->Stop();
    for (std::int32_t n; (n = b.enc->ReadStream(small, 7)) > 0;) all.insert(all.end(), small, small + n);
    EXPECT_EQ(all.size(), expected);
    bool ok = false;
    const auto frames = ParseFrames(all, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(frames.size(), 5u);
    b.enc->FreeStream();
    EXPECT_EQ(b.enc->ReadStream(small, 7), 0);
}

TEST(Layer2Framing, SharedFactoryGivesOneInstance) {
    IEngineComponent* a = _NEW_00_MPGLIB_AUDIO();
    IEngineComponent* b = _NEW_00_MPGLIB_AUDIO();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace reelcast::testing
