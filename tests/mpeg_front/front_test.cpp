// The encoder front against stand-ins of the three encoder components: presets,
// validation and its texts, coding modes, the per-picture calls, failures, and
// continuation files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/Component.h"
#include "engine/core/Factories.h"
#include "engine/mpeg/IMpegEncoder.h"
#include "engine/mpeg/MpegEncoder.h"
#include "engine/mpeg/audio/IMpegAudioEncoder.h"
#include "engine/mpeg/mux/IMpegMultiplexer.h"
#include "engine/mpeg/video/IMpegVideoEncoder.h"

namespace fs = std::filesystem;
using namespace reelcast;

namespace {

struct Seen {
    // Multiplexer.
    int muxInits = 0;
    std::vector<std::string> streamPaths;
    double factor = 0;
    std::uint32_t audioIndex = 0;
    double videoRate = 0;
    std::uint32_t frc = 0, gop = 0;
    std::vector<std::string> formatCalls;  // "1:0,20", "2:3,1", ...
    int multiplexCalls = 0, finishCalls = 0;
    bool multiplexAnswer = true;
    bool writeFailed = false;
    IMpegMultiplexer* audioMux = nullptr;
    IMpegMultiplexer* videoMux = nullptr;
    // Audio.
    std::vector<std::uint32_t> sampleRates;
    std::uint32_t audioParamIndex = 0;
    double audioParamFps = 0;
    int audioStarts = 0, audioStops = 0;
    bool putSamplesAnswer = true;
    bool audioKeepGoing = true;
    // Video.
    std::vector<double> pictureFormat;
    std::vector<double> codingMode;
    std::vector<int> putIndices;
    int videoStarts = 0, videoStops = 0;
    bool videoStartAnswer = true;
    // Sink.
    std::vector<std::string> messages;
};
Seen seen;

class FakeMux final : public core::Component<IMpegMultiplexer, FakeMux> {
public:
    bool Init() override {
        ++seen.muxInits;
        return true;
    }
    bool AddAudioUnit(const AudioUnit*) override { return true; }
    bool AddVideoUnit(const VideoUnit*) override { return true; }
    bool Multiplex() override {
        ++seen.multiplexCalls;
        return seen.multiplexAnswer;
    }
    void Finish() override { ++seen.finishCalls; }
    bool Reserved8() override { return true; }
    double GetMegabytesWritten() override { return 1.5; }
    void MakeTimecode(double, Timecode*) override {}
    std::int32_t SetMpeg1Format(std::int32_t k, std::int32_t v) override {
        seen.formatCalls.push_back("1:" + std::to_string(k) + "," + std::to_string(v));
        return 364;
    }
    std::int32_t SetMpeg2Format(std::int32_t k, std::int32_t v) override {
        seen.formatCalls.push_back("2:" + std::to_string(k) + "," + std::to_string(v));
        return 180;
    }
    bool AddVideoPicture(std::int32_t, std::int32_t, double, double, double, VideoUnit*) override { return true; }
    void SetStream(IStreamSource*, double f, std::uint32_t a, double v, const char* path, std::uint32_t frc,
                   std::uint32_t gop) override {
        seen.streamPaths.push_back(path);
        seen.factor = f;
        seen.audioIndex = a;
        seen.videoRate = v;
        seen.frc = frc;
        seen.gop = gop;
    }
    bool WriteFailed() override { return seen.writeFailed; }
};

class FakeAudio final : public core::Component<IMpegAudioEncoder, FakeAudio> {
public:
    bool Init() override { return true; }
    void SetMultiplexer(IMpegMultiplexer* m) override { seen.audioMux = m; }
    bool EncodeAudioFrame() override { return true; }
    bool Start() override {
        ++seen.audioStarts;
        return true;
    }
    void Stop() override { ++seen.audioStops; }
    void SetSampleRate(std::uint32_t hz) override { seen.sampleRates.push_back(hz); }
    std::int32_t ReadStream(std::uint8_t*, std::int32_t) override { return 0; }
    void FreeStream() override {}
    void SetParameters(std::uint32_t idx, double fps) override {
        seen.audioParamIndex = idx;
        seen.audioParamFps = fps;
    }
    bool PutSamples(const SampleBlock*, bool* keepGoing) override {
        if (!seen.putSamplesAnswer) return false;
        *keepGoing = seen.audioKeepGoing;
        return true;
    }
};

class FakeVideo final : public core::Component<IMpegVideoEncoder, FakeVideo> {
public:
    bool Init() override { return true; }
    bool EncodeNextPicture() override { return true; }
    void Stop() override { ++seen.videoStops; }
    bool Start() override {
        ++seen.videoStarts;
        return seen.videoStartAnswer;
    }
    void SetPictureFormat(std::int32_t c, double rate, std::int32_t frc, std::int32_t w, std::int32_t h,
                          std::int32_t gop, std::int32_t total) override {
        seen.pictureFormat = {double(c), rate, double(frc), double(w), double(h), double(gop), double(total)};
    }
    void SetCodingMode(std::int32_t a, std::int32_t b, std::int32_t c, double d, std::int32_t e, std::int32_t f,
                       std::int32_t g, std::int32_t h, std::int32_t i, std::int32_t j, std::int32_t k,
                       std::int32_t l, std::int32_t m, std::int32_t n, std::int32_t o) override {
        seen.codingMode = {double(a), double(b), double(c), d, double(e), double(f), double(g), double(h),
                           double(i), double(j), double(k), double(l), double(m), double(n), double(o)};
    }
    bool QueueFrame(const VideoFrame*, std::int32_t) override { return true; }
    std::int32_t DetectProcessor() override { return 0; }
    bool PutFrame(const VideoFrame*, bool*, std::int32_t index) override {
        seen.putIndices.push_back(index);
        return true;
    }
    std::int32_t ReadStream(std::uint8_t*, std::int32_t) override { return 0; }
    void FreeStream() override {}
    void SetMultiplexer(IMpegMultiplexer* m) override { seen.videoMux = m; }
};

class Sink final : public IMpegMessageSink {
public:
    void Report(const char* m) override { seen.messages.push_back(m); }
};

IEngineComponent* Resolve(const char* mod) {
    if (!std::strcmp(mod, "MPGLIB_MUX")) return core::MakeFresh<FakeMux>();
    if (!std::strcmp(mod, "MPGLIB_AUDIO")) return core::MakeFresh<FakeAudio>();
    if (!std::strcmp(mod, "MPGLIB_VIDEO")) return core::MakeFresh<FakeVideo>();
    if (!std::strcmp(mod, "MPGLIB")) return core::FindFactory("MPGLIB")();
    return nullptr;
}

class Front : public ::testing::Test {
protected:
    void SetUp() override {
        seen = Seen{};
        previous_ = core::SetResolver(&Resolve);
        dir_ = fs::temp_directory_path() / ("front_test_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        path_ = (dir_ / "movie.mpg").string();
        enc_ = core::New<IMpegEncoder>("MPGLIB");
        ASSERT_NE(enc_, nullptr);
        enc_->SetMessageSink(&sink_);
    }
    void TearDown() override {
        ReleaseAndClear(enc_);
        core::SetResolver(previous_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    MpegEncoderParams Params(std::int32_t formatType) {
        MpegEncoderParams p{};
        p.outputPath = path_.c_str();
        p.formatType = formatType;
        p.totalFrames = 102;
        p.frameRate = 25.0;
        p.chromaFormat = 1;
        p.audioSampleRate = 44100;
        p.width = 352;
        p.height = 288;
        return p;
    }

    core::Resolver previous_ = nullptr;
    fs::path dir_;
    std::string path_;
    IMpegEncoder* enc_ = nullptr;
    Sink sink_;
};

TEST_F(Front, WiresTheEncodersToOneMultiplexer) {
    EXPECT_NE(seen.audioMux, nullptr);
    EXPECT_EQ(seen.audioMux, seen.videoMux);
    EXPECT_DOUBLE_EQ(1.5, enc_->GetMegabytesWritten());
}

TEST_F(Front, Presets) {
    struct Row {
        std::int32_t format, rateIn, rate, indexIn, index;
        double factor;
        std::int32_t vbv;
        const char* formatCall;
        std::int32_t kind;
    };
    const Row rows[] = {
        {0, 4000, 1150, 0, 11, 1.4, 20, "1:1,20", 1},    // VCD: 1150 whatever is asked
        {1, 0, 2040, 0, 11, 5.6, 112, "2:3,1", 3},       // SVCD
        {2, 6000, 6000, 12, 12, 1.014, 112, "2:3,0", 3}, // DVD: the caller's values
        {5, 0, 1150, 0, 11, 1.0, 20, "1:0,20", 0},       // MPEG-1
        {6, 0, 2376, 0, 11, 1.0, 112, "2:2,1", 2},       // MPEG-2
        {6, 4000, 4000, 9, 9, 1.0, 112, "2:2,1", 2},
        {3, 3000, 3000, 10, 10, 1.014, 112, "2:2,1", 2}, // no preset: the previous kind (2)
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("formatType " + std::to_string(r.format));
        seen.formatCalls.clear();
        MpegEncoderParams p = Params(r.format);
        p.videoBitRate = r.rateIn;
        p.audioBitRateIndex = r.indexIn;
        ASSERT_TRUE(enc_->Open(&p));
        EXPECT_EQ(r.rate, p.videoBitRate);
        EXPECT_EQ(r.index, p.audioBitRateIndex);
        EXPECT_DOUBLE_EQ(r.factor, p.muxRateFactor);
        EXPECT_EQ(r.vbv, p.vbvBufferSize);
        EXPECT_EQ(std::vector<std::string>{r.formatCall}, seen.formatCalls);
        EXPECT_DOUBLE_EQ(r.factor, seen.factor);
        EXPECT_EQ(static_cast<std::uint32_t>(r.index), seen.audioIndex);
        EXPECT_DOUBLE_EQ(r.rate * 1000.0, seen.videoRate);
        EXPECT_EQ(path_, seen.streamPaths.back());
        EXPECT_EQ(3u, seen.frc);
        EXPECT_EQ(15u, seen.gop);
        EXPECT_EQ((std::vector<double>{1, r.rate * 1000.0, 3, 352, 288, 15, 102}), seen.pictureFormat);
        EXPECT_EQ(static_cast<std::uint32_t>(r.index), seen.audioParamIndex);
        // What the preset decides of the coding mode: kind, constant bit rate (not
        // for DVD) and the VBV buffer.
        ASSERT_EQ(15u, seen.codingMode.size());
        EXPECT_EQ(double(r.kind), seen.codingMode[0]);
        EXPECT_EQ(r.format == 2 ? 0.0 : 1.0, seen.codingMode[6]);
        EXPECT_EQ(double(r.vbv), seen.codingMode[8]);
        enc_->Close();
    }
    EXPECT_TRUE(seen.messages.empty());
}

TEST_F(Front, FrameRatesAndColourValues) {
    struct Row {
        double fps;
        std::uint32_t code;
    };
    for (Row r : {Row{23.976, 1}, Row{24.0, 2}, Row{25.0, 3}, Row{29.97, 4}, Row{30.0, 5}}) {
        MpegEncoderParams p = Params(0);
        p.frameRate = r.fps;
        ASSERT_TRUE(enc_->Open(&p)) << r.fps;
        EXPECT_EQ(r.code, seen.frc);
        const double c = r.code == 3 ? 5 : 4;
        EXPECT_EQ(c, seen.codingMode[12]);
        EXPECT_EQ(c, seen.codingMode[13]);
        EXPECT_EQ(r.code == 3 ? 1.0 : 2.0, seen.codingMode[14]);
        EXPECT_DOUBLE_EQ(r.fps, seen.codingMode[3]);
    }
    EXPECT_EQ(0, mpeg::FrameRateCode(50.0));
    EXPECT_EQ(0, mpeg::FrameRateCode(60.0));
    EXPECT_EQ(0, mpeg::FrameRateCode(25.02));
}

TEST_F(Front, ValidationTexts) {
    struct Row {
        std::int32_t chroma, width, height, rate;
        double fps;
        const char* text;
    };
    const Row rows[] = {
        {2, 360, 288, 44100, 25.0, mpeg::kMsgChromaFormat},  // chroma before dimensions
        {1, 360, 288, 44100, 25.0, mpeg::kMsgDimension},
        {3, 352, 270, 44100, 25.0, mpeg::kMsgDimension},
        {1, 352, 288, 44100, 50.0, mpeg::kMsgFrameRate},
        {1, 352, 288, 22050, 25.0, mpeg::kMsgSampleRate},
        {1, 352, 288, 37800, 25.0, mpeg::kMsgSampleRate},
    };
    for (const Row& r : rows) {
        seen.messages.clear();
        seen.streamPaths.clear();
        seen.sampleRates.clear();
        MpegEncoderParams p = Params(5);
        p.chromaFormat = r.chroma;
        p.width = r.width;
        p.height = r.height;
        p.audioSampleRate = r.rate;
        p.frameRate = r.fps;
        EXPECT_FALSE(enc_->Open(&p));
        EXPECT_EQ(std::vector<std::string>{r.text}, seen.messages);
        // Nothing was configured.
        EXPECT_TRUE(seen.streamPaths.empty());
        EXPECT_TRUE(seen.sampleRates.empty());
        EXPECT_FALSE(enc_->EncodeFrame(nullptr, nullptr));
    }
    EXPECT_EQ("MPEGEnc: Invalid chroma format (Only 444 or 420 allowed)", std::string(mpeg::kMsgChromaFormat));
    EXPECT_EQ("MPEGEnc: Invalid dimension (must be multiple of 16)", std::string(mpeg::kMsgDimension));
    EXPECT_EQ("MPEGEnc: Invalid frame rate.", std::string(mpeg::kMsgFrameRate));
    EXPECT_EQ("MPEGEnc: Too much audio samples.", std::string(mpeg::kMsgTooMuchAudio));
}

TEST_F(Front, SampleRatesPassedOn) {
    for (std::int32_t rate : {32000, 44100, 48000}) {
        seen.sampleRates.clear();
        MpegEncoderParams p = Params(0);
        p.audioSampleRate = rate;
        ASSERT_TRUE(enc_->Open(&p));
        EXPECT_EQ(std::vector<std::uint32_t>{static_cast<std::uint32_t>(rate)}, seen.sampleRates);
    }
    // Not given: the encoder keeps its own rate.
    seen.sampleRates.clear();
    MpegEncoderParams p = Params(0);
    p.audioSampleRate = 0;
    ASSERT_TRUE(enc_->Open(&p));
    EXPECT_TRUE(seen.sampleRates.empty());
}

TEST_F(Front, OutputThatCannotBeCreated) {
    MpegEncoderParams p = Params(0);
    const std::string bad = (dir_ / "missing" / "x.mpg").string();
    p.outputPath = bad.c_str();
    EXPECT_FALSE(enc_->Open(&p));
    EXPECT_EQ(std::vector<std::string>{mpeg::kMsgCreateOutput}, seen.messages);
    // A good path is not left behind as an empty file by the check.
    MpegEncoderParams q = Params(0);
    ASSERT_TRUE(enc_->Open(&q));
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(Front, PicturesAndFailures) {
    MpegEncoderParams p = Params(6);
    ASSERT_TRUE(enc_->Open(&p));
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(enc_->EncodeFrame(nullptr, nullptr));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), seen.putIndices);
    EXPECT_EQ(4, seen.multiplexCalls);

    // The file cannot be written: the multiplexer's false comes with a text.
    seen.multiplexAnswer = false;
    seen.writeFailed = true;
    EXPECT_FALSE(enc_->EncodeFrame(nullptr, nullptr));
    EXPECT_EQ(std::vector<std::string>{mpeg::kMsgWriteOutput}, seen.messages);
    enc_->Close();
    EXPECT_EQ(1u, seen.messages.size());  // said once

    // Too much sound.
    seen = Seen{};
    MpegEncoderParams q = Params(6);
    ASSERT_TRUE(enc_->Open(&q));
    seen.putSamplesAnswer = false;
    EXPECT_FALSE(enc_->EncodeFrame(nullptr, nullptr));
    EXPECT_EQ(std::vector<std::string>{mpeg::kMsgTooMuchAudio}, seen.messages);
    EXPECT_EQ(1, seen.finishCalls);  // closed
    EXPECT_EQ(1, seen.audioStops);
    EXPECT_EQ(1, seen.videoStops);

    // The sound encoder stops because its output was not drained.
    seen = Seen{};
    MpegEncoderParams r = Params(6);
    ASSERT_TRUE(enc_->Open(&r));
    seen.audioKeepGoing = false;
    seen.writeFailed = true;
    EXPECT_FALSE(enc_->EncodeFrame(nullptr, nullptr));
    EXPECT_EQ(std::vector<std::string>{mpeg::kMsgWriteOutput}, seen.messages);
    EXPECT_EQ(1, seen.finishCalls);
}

TEST_F(Front, CloseSaysWhenTheFileIsIncomplete) {
    MpegEncoderParams p = Params(0);
    ASSERT_TRUE(enc_->Open(&p));
    enc_->Close();
    EXPECT_TRUE(seen.messages.empty());
    seen.writeFailed = true;
    enc_->Close();
    EXPECT_EQ(std::vector<std::string>{mpeg::kMsgWriteOutput}, seen.messages);
}

TEST_F(Front, StreamThatDoesNotStart) {
    seen.videoStartAnswer = false;
    MpegEncoderParams p = Params(0);
    EXPECT_FALSE(enc_->Open(&p));
}

TEST_F(Front, ContinuationFiles) {
    MpegEncoderParams p = Params(1);
    ASSERT_TRUE(enc_->Open(&p));
    EXPECT_TRUE(enc_->EncodeFrame(nullptr, nullptr));
    EXPECT_TRUE(enc_->StartNextFile());
    EXPECT_TRUE(enc_->EncodeFrame(nullptr, nullptr));
    EXPECT_TRUE(enc_->StartNextFile());
    const std::string base = (dir_ / "movie").string();
    // The multiplexer is started afresh on each new name, with the same format.
    EXPECT_EQ((std::vector<std::string>{path_, base + "_02.mpg", base + "_03.mpg"}), seen.streamPaths);
    EXPECT_EQ((std::vector<std::string>{"2:3,1", "2:3,1", "2:3,1"}), seen.formatCalls);
    EXPECT_EQ(3, seen.videoStarts);
    EXPECT_EQ(2, seen.finishCalls);
    // Each file counts its pictures from 0.
    EXPECT_EQ((std::vector<int>{0, 0}), seen.putIndices);

    EXPECT_EQ("clip_02.mpg", mpeg::ContinuationName("clip.mpg", 2));
    EXPECT_EQ("/a.b/clip_03.mpg", mpeg::ContinuationName("/a.b/clip", 3));
    EXPECT_EQ("x.y_12.mpg", mpeg::ContinuationName("x.y.mpeg", 12));
}

}  // namespace
