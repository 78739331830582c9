// The encoder's table used out of order or pushed past its limits, and the
// input forms other than plain 4:2:0.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/Factories.h"
#include "engine/mpeg/video/CodingMode.h"
#include "tests/mpeg_video/VideoTestSupport.h"

namespace reelcast::testing {
namespace {

class Encoder {
public:
    explicit Encoder(int kind = 1, int w = 176, int h = 144, bool cbr = true, int chroma = 1, int total = 1000) {
        enc = core::New<IMpegVideoEncoder>("MPGLIB_VIDEO");
        if (!enc) return;
        enc->SetMultiplexer(&mux);
        enc->SetPictureFormat(chroma, kind <= 1 ? 1150000.0 : 2376000.0, 3, w, h, 15, total);
        enc->DetectProcessor();
        mpeg::video::SetCodingMode(*enc, mpeg::video::CodingModeOf(static_cast<mpeg::CodingKind>(kind), 25.0, 3, cbr));
    }
    ~Encoder() {
        if (enc) {
            enc->FreeStream();
            enc->Release();
        }
    }
    std::vector<std::uint8_t> Drain() {
        std::vector<std::uint8_t> out;
        std::vector<std::uint8_t> buf(65536);
        for (int n; (n = enc->ReadStream(buf.data(), static_cast<int>(buf.size()))) > 0;)
            out.insert(out.end(), buf.begin(), buf.begin() + n);
        return out;
    }
    // Codes `count` pictures of f numbered from `first`; true when each was coded.
    bool PutFrames(const VideoFrame& f, int count, int first = 0) {
        bool ok = false;
        for (int i = first; i < first + count; ++i)
            if (!enc->PutFrame(&f, &ok, i) || !ok) return false;
        return true;
    }
    IMpegVideoEncoder* enc = nullptr;
    RecordingMux mux;
};

struct Picture {
    Picture(int w, int h, int chroma, std::uint8_t yv, std::uint8_t cv) : y(static_cast<std::size_t>(w) * h, yv) {
        const std::size_t c = chroma == 3 ? y.size() : y.size() / 4;
        cb.assign(c, cv);
        cr.assign(c, cv);
        frame = VideoFrame{w, h, chroma, y.data(), cb.data(), cr.data()};
    }
    std::vector<std::uint8_t> y, cb, cr;
    VideoFrame frame;
};

TEST(VideoLifecycle, CallsBeforeStartFailCleanly) {
    Encoder e;
    ASSERT_NE(e.enc, nullptr);
    Picture p(176, 144, 1, 100, 128);
    std::uint8_t buf[16];
    bool ok = true;
    EXPECT_FALSE(e.enc->EncodeNextPicture());
    EXPECT_FALSE(e.enc->QueueFrame(&p.frame, 0));
    EXPECT_FALSE(e.enc->PutFrame(&p.frame, &ok, 1));
    EXPECT_TRUE(e.enc->PutFrame(&p.frame, &ok, 0));  // index 0 answers true, the coding result goes to ok
    EXPECT_FALSE(ok);
    EXPECT_EQ(e.enc->ReadStream(buf, 16), 0);
    e.enc->Stop();
    e.enc->FreeStream();
    EXPECT_EQ(e.enc->ReadStream(buf, 16), 0);
    EXPECT_TRUE(e.mux.pictures.empty());
    EXPECT_NE(e.enc->DetectProcessor() & 1, 0);
}

TEST(VideoLifecycle, QueueHoldsFourPictures) {
    Encoder e;
    ASSERT_TRUE(e.enc->Start());
    Picture p(176, 144, 1, 100, 128);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(e.enc->QueueFrame(&p.frame, i));
    EXPECT_FALSE(e.enc->QueueFrame(&p.frame, 4));
    EXPECT_FALSE(e.enc->QueueFrame(nullptr, 4));
    VideoFrame noPlanes{176, 144, 1, nullptr, nullptr, nullptr};
    EXPECT_FALSE(e.enc->QueueFrame(&noPlanes, 4));
    e.enc->Stop();
}

TEST(VideoLifecycle, StopTwiceEndsTheStreamOnceAndStartAgainBeginsAfresh) {
    Encoder e(2);
    Picture a(176, 144, 1, 60, 128);
    Picture b(176, 144, 1, 90, 110);
    ASSERT_TRUE(e.enc->Start());
    bool ok = false;
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(e.enc->PutFrame(i % 2 ? &a.frame : &b.frame, &ok, i));
        ASSERT_TRUE(ok);
    }
    e.enc->Stop();
    e.enc->Stop();
    std::vector<std::uint8_t> s = e.Drain();
    int ends = 0;
    for (const StartCodeUnit& u : FindStartCodes(s)) ends += u.code == 0x1B7;
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(s.back(), 0xB7);
    ASSERT_EQ(e.mux.pictures.size(), 7u);

    // A continuation stream: coding index 0 again, closed group, I picture.
    e.mux.pictures.clear();
    ASSERT_TRUE(e.enc->Start());
    ASSERT_TRUE(e.PutFrames(a.frame, 4));
    e.enc->Stop();
    std::vector<std::uint8_t> s2 = e.Drain();
    ASSERT_EQ(e.mux.pictures.size(), 4u);
    EXPECT_EQ(e.mux.pictures[0].codingIndex, 0);
    EXPECT_EQ(e.mux.pictures[0].type, 1u);
    const std::vector<ParsedPicture> pics = ParsePictures(s2);
    ASSERT_EQ(pics.size(), 4u);
    EXPECT_TRUE(pics[0].closedGop && pics[0].afterSequence);
    YuvClip dec;
    std::string log;
    EXPECT_TRUE(DecodeStreamWithFfmpeg(s2, "continued.m2v", 176, 144, &dec, &log)) << log;
    EXPECT_EQ(dec.frames.size(), 4u);
}

TEST(VideoLifecycle, ReadStreamGivesWhatIsThere) {
    Encoder e;
    ASSERT_TRUE(e.enc->Start());
    Picture p(176, 144, 1, 100, 128);
    bool ok = false;
    ASSERT_TRUE(e.enc->PutFrame(&p.frame, &ok, 0));
    ASSERT_TRUE(ok);
    std::vector<std::uint8_t> big(1 << 20);
    const int n = e.enc->ReadStream(big.data(), static_cast<int>(big.size()));
    EXPECT_GT(n, 0);
    EXPECT_EQ(n % 4, 0);  // whole words only until the stream ends
    EXPECT_EQ(e.enc->ReadStream(big.data(), static_cast<int>(big.size())), 0);
    ASSERT_EQ(e.mux.pictures.size(), 1u);
    EXPECT_LE(static_cast<std::uint32_t>(n), e.mux.pictures[0].length);
    e.enc->Stop();
}

TEST(VideoLifecycle, UndrainedOutputFailsTheNextPicture) {
    // Noise at the fixed quantiser of uncontrolled coding costs far more than
    // the 1 MiB buffer holds over a few dozen pictures.
    const YuvClip noise = MakeLavfiClip("cellauto", 352, 288, 25.0, 60);
    ASSERT_EQ(noise.frames.size(), 60u);
    Encoder e(0, 352, 288, false);
    ASSERT_TRUE(e.enc->Start());
    const std::size_t ls = 352 * 288;
    bool ok = true;
    int i = 0;
    for (; i < 60 && ok; ++i) {
        std::vector<std::uint8_t> f = noise.frames[static_cast<std::size_t>(i)];
        VideoFrame vf{352, 288, 1, f.data(), f.data() + ls, f.data() + ls + ls / 4};
        ASSERT_TRUE(e.enc->PutFrame(&vf, &ok, i));
    }
    EXPECT_FALSE(ok);
    EXPECT_LT(i, 60);
    EXPECT_FALSE(e.enc->EncodeNextPicture());
    e.enc->Stop();  // nothing left to end: no crash, no end code
}

TEST(VideoLifecycle, MultiplexerRefusalIsPassedOn) {
    Encoder e;
    ASSERT_TRUE(e.enc->Start());
    Picture p(176, 144, 1, 100, 128);
    e.mux.answer = false;
    bool ok = true;
    ASSERT_TRUE(e.enc->PutFrame(&p.frame, &ok, 0));
    EXPECT_FALSE(ok);
    e.enc->Stop();
}

TEST(VideoInput, FourFourFourChromaIsFilteredDown) {
    for (int kind : {1, 3}) {
        Encoder e(kind, 176, 144, true, 3);
        ASSERT_TRUE(e.enc->Start());
        // Luma a ramp, chroma flat 128 (and 90 for Cr halfway down).
        Picture p(176, 144, 3, 0, 128);
        for (int r = 0; r < 144; ++r)
            for (int c = 0; c < 176; ++c) p.y[static_cast<std::size_t>(r) * 176 + c] = static_cast<std::uint8_t>(c + r);
        ASSERT_TRUE(e.PutFrames(p.frame, 4));
        e.enc->Stop();
        YuvClip dec;
        std::string log;
        ASSERT_TRUE(DecodeStreamWithFfmpeg(e.Drain(), "chroma444.mpv", 176, 144, &dec, &log)) << log;
        ASSERT_EQ(dec.frames.size(), 4u);
        const std::size_t ls = 176 * 144;
        for (const auto& f : dec.frames)
            for (std::size_t i = ls; i < f.size(); ++i) ASSERT_NEAR(f[i], 128, 1) << "kind " << kind;
    }
}

}  // namespace
}  // namespace reelcast::testing
