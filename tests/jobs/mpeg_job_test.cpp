// The MPEG job's driver loop against test doubles of the components it creates.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/Component.h"
#include "engine/core/Factories.h"
#include "engine/core/ThreadCount.h"
#include "engine/jobs/IMpegConversionJob.h"
#include "engine/jobs/MpegJobRules.h"
#include "engine/media/IAudioStreamConverter.h"
#include "engine/media/IMediaInfo.h"
#include "engine/media/IVideoFrameSource.h"
#include "engine/mpeg/IMpegEncoder.h"
#include "engine/picture/IYuvUtil.h"

namespace {

using namespace reelcast;

// What the doubles do, and what they saw.
struct World {
    // Source.
    bool probeExists = true;
    bool probeOpens = true;
    VideoStreamInfo video{};
    AudioStreamInfo audio{};
    bool frameSourceOpens = true;
    int pictureWidth = 352;
    int pictureHeight = 288;
    int failReadAt = -1;
    bool soundUnreadable = false;
    // Encoder.
    bool openOk = true;
    int failEncodeAt = -1;
    const char* failText = nullptr;
    const char* closeText = nullptr;
    // Observed.
    MpegEncoderParams openedWith{};
    std::string openedPath;
    int encodeCalls = 0;
    std::uint64_t samplesEncoded = 0;
    int closeCalls = 0;
    int scaleCalls = 0;
    int frameReads = 0;
    IMpegMessageSink* sink = nullptr;
    std::uint32_t audioOpenRate = 0;
    bool audioOpened = false;
    int cancelAt = -1;  // IsCancelled answers true from this ask on (0-based)
};
World w;

class FakeProbe final : public core::Component<IMediaInfo, FakeProbe> {
public:
    bool Init() override { return true; }
    bool Open(const char*, bool) override { return w.probeOpens; }
    void GetVideoInfo(VideoStreamInfo* o) override { *o = w.video; }
    void GetAudioInfo(AudioStreamInfo* o) override { *o = w.audio; }
    const char* GetInfoText() override { return ""; }
};

class FakeFrames final : public core::Component<IVideoFrameSource, FakeFrames> {
public:
    bool Init() override { return true; }
    bool Open(const char*, std::int32_t, std::int32_t, double) override { return w.frameSourceOpens; }
    bool GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) override {
        const std::uint32_t row = ((3u * w.pictureWidth + 3) / 4) * 4;
        const std::uint32_t need = 40 + row * w.pictureHeight;
        if (!buffer) {
            *size = need;
            return true;
        }
        ++w.frameReads;
        if (static_cast<int>(index) == w.failReadAt) return false;
        std::memset(buffer, 0, 40);
        std::int32_t v = 40;
        std::memcpy(buffer, &v, 4);
        std::memcpy(buffer + 4, &w.pictureWidth, 4);
        std::memcpy(buffer + 8, &w.pictureHeight, 4);
        std::memcpy(buffer + 40, &index, 4);  // every picture differs from the one before
        return true;
    }
};

class FakeSound final : public core::Component<IAudioStreamConverter, FakeSound> {
public:
    bool Init() override { return true; }
    bool Open(const char*, double, std::uint32_t rate) override {
        w.audioOpened = true;
        w.audioOpenRate = rate;
        return true;
    }
    bool GetBlock(SampleBlock* out) override {
        out->data = samples_;
        out->count = w.soundUnreadable ? 0 : 4;
        return !w.soundUnreadable;
    }
    void Refill(std::uint32_t) override {}

private:
    std::int16_t samples_[4] = {};
};

class FakeYuv final : public core::Component<IYuvUtil, FakeYuv> {
public:
    bool Init() override { return true; }
    void Scale(const VideoFrame* src, VideoFrame* dst) override {
        ++w.scaleCalls;
        dst->chromaFormat = src->chromaFormat;
    }
    void RgbToYuv420(std::int32_t, std::int32_t, const std::uint8_t*, std::uint8_t*, std::uint8_t*,
                     std::uint8_t*) override {}
};

class FakeEncoder final : public core::Component<IMpegEncoder, FakeEncoder> {
public:
    bool Init() override { return true; }
    bool StartNextFile() override { return false; }
    double GetMegabytesWritten() override { return 0; }
    void SetMessageSink(IMpegMessageSink* s) override { w.sink = s; }
    bool Open(MpegEncoderParams* p) override {
        w.openedWith = *p;
        w.openedPath = p->outputPath ? p->outputPath : "";
        if (!w.openOk && w.sink) w.sink->Report("MPEGEnc: Invalid frame rate.");
        return w.openOk;
    }
    bool EncodeFrame(const VideoFrame* f, const SampleBlock* a) override {
        EXPECT_NE(f, nullptr);
        EXPECT_NE(a, nullptr);
        const int i = w.encodeCalls++;
        w.samplesEncoded += a ? a->count : 0;
        if (i == w.failEncodeAt) {
            if (w.failText && w.sink) w.sink->Report(w.failText);
            return false;
        }
        return true;
    }
    void Close() override {
        ++w.closeCalls;
        if (w.closeText && w.sink) w.sink->Report(w.closeText);
    }
};

IEngineComponent* Resolve(const char* mod) {
    const std::string m = mod;
    if (m == "MEDIAGETINFO") return w.probeExists ? core::MakeFresh<FakeProbe>() : nullptr;
    if (m == "VIDEODATADLL") return core::MakeFresh<FakeFrames>();
    if (m == "ASCONVERT") return core::MakeFresh<FakeSound>();
    if (m == "YUVUTL") return core::MakeFresh<FakeYuv>();
    if (m == "MPGLIB") return core::MakeFresh<FakeEncoder>();
    return nullptr;
}

class Callback final : public I_MPEG_Callback {
public:
    void OnProgress(std::int32_t v) override { progress.push_back(v); }
    void OnFinished() override { ++finished; }
    void OnMessage(const char* t) override { messages.emplace_back(t); }
    bool IsCancelled() override { return w.cancelAt >= 0 && asks++ >= w.cancelAt; }

    std::vector<std::int32_t> progress;
    int finished = 0;
    std::vector<std::string> messages;
    int asks = 0;
};

// Threads of this process now.
int ThreadsNow() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// Every case runs with the conversion on one thread (the stages in turn) and on
// several (the picture stage reading ahead of the encoder): the job must call
// the encoder and the callback the same way, and leave no thread behind
// whichever way it ends.
class MpegJobTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        setenv(core::kThreadsVariable, std::to_string(GetParam()).c_str(), 1);
        previous = core::SetResolver(&Resolve);
        Reset();
    }
    void TearDown() override {
        core::SetResolver(previous);
        unsetenv(core::kThreadsVariable);
    }

    // A fresh world, record and callback for the next run.
    void Reset() {
        w = World{};
        cb = Callback{};
        params = MpegJobParams{};
        w.video.present = 1;
        w.video.frameCount = 250;
        w.video.frameRate = 25.0f;
        w.video.width = 352;
        w.video.height = 288;
        w.audio.present = 1;
        w.audio.sampleRate = 44100;
        params.frameRate = 25.0;
        params.width = 352;
        params.height = 288;
        params.jobKind = 5;
        std::strcpy(params.sourcePath, "in.avi");
        std::strcpy(params.outputPath, "out.mpg");
    }

    void Run() {
        const int threadsBefore = ThreadsNow();
        auto* job = static_cast<IMpegConversionJob*>(core::FindFactory("OMBRIX")());
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(job->SetParameters(&params, &cb), job);
        ASSERT_NE(job->Start(), nullptr);
        EXPECT_EQ(job->Start(), nullptr) << "a job runs once";
        job->Release();  // waits for the worker
        EXPECT_EQ(ThreadsNow(), threadsBefore) << "a thread of the job outlived it";
    }

    MpegJobParams params{};
    Callback cb;
    core::Resolver previous = nullptr;
};

TEST_P(MpegJobTest, TwentyFiveToNtscRatePadsToThreeKPlusOne) {
    params.frameRate = 29.97;
    Run();
    EXPECT_EQ(w.openedWith.totalFrames, 302);  // N = 300, plus 2
    EXPECT_EQ(w.encodeCalls, 301);
    EXPECT_EQ(w.frameReads, 301);              // picture 0 twice, then 1..299
    ASSERT_EQ(cb.progress.size(), 300u);
    EXPECT_EQ(cb.progress.front(), 0);
    EXPECT_EQ(cb.progress.back(), 299 * 10000 / 300);
    EXPECT_EQ(w.closeCalls, 1);
    EXPECT_EQ(cb.finished, 1);
    EXPECT_TRUE(cb.messages.empty());
    EXPECT_EQ(w.scaleCalls, 0) << "same size: no scaling";
}

TEST_P(MpegJobTest, EncoderRecordFollowsJobKindAndPictureCount) {
    w.video.frameCount = 10;
    params.jobKind = 6;
    params.width = 720;
    params.height = 576;
    Run();
    EXPECT_EQ(w.encodeCalls, 10) << "last index 9 is a multiple of 3";
    EXPECT_EQ(w.openedWith.formatType, 6);
    EXPECT_EQ(w.openedWith.videoBitRate, 2376);
    EXPECT_EQ(w.openedWith.chromaFormat, 1);
    EXPECT_EQ(w.openedWith.width, 720);
    EXPECT_EQ(w.openedPath, "out.mpg");
    EXPECT_EQ(w.scaleCalls, 10 - 0) << "352x288 source scaled for every picture";
    EXPECT_EQ(cb.finished, 1);
}

// Stopped within the first four pictures the file is left unclosed; from the
// fifth on the partial file is completed. Neither counts as finished.
TEST_P(MpegJobTest, CancelClosesThePartialFileOnlyFromTheFifthPictureOn) {
    w.cancelAt = 3;  // the fourth ask: i = 3
    Run();
    EXPECT_EQ(w.encodeCalls, 3);
    EXPECT_EQ(w.closeCalls, 0);
    EXPECT_EQ(cb.finished, 0);
    EXPECT_TRUE(cb.messages.empty());

    Reset();
    w.cancelAt = 4;  // i = 4: the partial file is completed
    Run();
    EXPECT_EQ(w.encodeCalls, 4);
    EXPECT_EQ(w.closeCalls, 1);
    EXPECT_EQ(cb.finished, 0);
    EXPECT_LT(w.frameReads, 20) << "reading went on after the cancel";
}

TEST_P(MpegJobTest, EncoderFailureIsReportedWithTheFrontsText) {
    w.failEncodeAt = 5;
    w.failText = "MPEGEnc: Too much audio samples.";
    Run();
    ASSERT_EQ(cb.messages.size(), 1u);
    EXPECT_EQ(cb.messages[0], "MPEGEnc: Too much audio samples.");
    EXPECT_EQ(w.closeCalls, 1);
    EXPECT_EQ(cb.finished, 0);
    EXPECT_LT(w.frameReads, 20) << "reading went on after the encoder failed";

    Reset();
    w.failEncodeAt = 0;  // no text from the front: still a message
    Run();
    ASSERT_EQ(cb.messages.size(), 1u);
    EXPECT_FALSE(cb.messages[0].empty());
    EXPECT_EQ(w.closeCalls, 0);
}

TEST_P(MpegJobTest, RefusedSettingsAndUnwritableFileAreReported) {
    w.openOk = false;
    Run();
    ASSERT_EQ(cb.messages.size(), 1u);
    EXPECT_EQ(cb.messages[0], "MPEGEnc: Invalid frame rate.");
    EXPECT_EQ(w.encodeCalls, 0);
    EXPECT_EQ(cb.finished, 0);

    Reset();
    w.video.frameCount = 10;
    w.closeText = "MPEGEnc: Can't write the output file.";
    Run();
    EXPECT_EQ(cb.finished, 0);
    ASSERT_EQ(cb.messages.size(), 1u);
    EXPECT_EQ(cb.messages[0], w.closeText);
}

// Sound only included: nothing to encode pictures from; said, not silent.
TEST_P(MpegJobTest, SourceProblemsGiveTheirMessages) {
    const struct {
        void (*spoil)(World&);
        const char* message;
    } cases[] = {
        {[](World& s) { s.probeExists = false; }, "Can't get media information from input file"},
        {[](World& s) { s.probeOpens = false; }, "Can't get media information from input file"},
        {[](World& s) { s.video.present = s.audio.present = 0; }, "The media file have not any video or audio stream"},
        {[](World& s) { s.frameSourceOpens = false; }, "Get video frames error"},
        {[](World& s) { s.video = VideoStreamInfo{}; }, "Get video frames error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Reset();
        c.spoil(w);
        Run();
        EXPECT_EQ(cb.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(w.encodeCalls, 0);
        EXPECT_EQ(cb.finished, 0);
    }
}

TEST_P(MpegJobTest, UnreadablePictureEndsFinishedWithMessage) {
    w.failReadAt = 7;
    Run();
    EXPECT_EQ(cb.messages, std::vector<std::string>{"Get video frames error"});
    EXPECT_EQ(w.encodeCalls, 7);
    EXPECT_EQ(w.closeCalls, 1);
    EXPECT_EQ(cb.finished, 1);
}

TEST_P(MpegJobTest, SoundRateFollowsSourceAtACodedRate) {
    w.video.frameCount = 1;
    w.audio.sampleRate = 22050;
    Run();
    EXPECT_EQ(w.audioOpenRate, 32000u);
    EXPECT_EQ(w.openedWith.audioSampleRate, 32000);

    Reset();
    w.video.frameCount = 1;
    params.audioRate = 44100;  // VCD: fixed whatever the source
    w.audio.sampleRate = 96000;
    Run();
    EXPECT_EQ(w.openedWith.audioSampleRate, 44100);

    Reset();
    w.video.frameCount = 1;
    w.audio.present = 0;
    Run();
    EXPECT_FALSE(w.audioOpened) << "no sound stream, no reader";
    EXPECT_EQ(cb.finished, 1);
}

// A sound stream that gives nothing: the pictures still carry their length of
// sound (silence), and the user is told.
TEST_P(MpegJobTest, UnreadableSoundIsSilenceOfThePicturesLengthAndSaidSo) {
    w.soundUnreadable = true;
    w.video.frameCount = 25;  // 25 pictures at 25 fps: exactly one second
    params.audioRate = 44100;
    Run();
    EXPECT_EQ(cb.finished, 1);
    EXPECT_EQ(w.encodeCalls, 25);
    EXPECT_EQ(w.samplesEncoded, 2u * 44100u);
    ASSERT_EQ(cb.messages.size(), 1u);
    EXPECT_NE(cb.messages[0].find("silence"), std::string::npos) << cb.messages[0];
}

// An output is only created once the first picture is in hand, and one left
// incomplete (stopped before its fifth picture) is removed; a completed part stays.
TEST_P(MpegJobTest, NoIncompleteOutputIsLeftBehind) {
    char dir[] = "/tmp/reelcast-mpegjob-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string out = std::string(dir) + "/out.mpg";
    const struct {
        int failReadAt, failEncodeAt;
        bool opened, kept;
    } kCases[] = {{0, -1, false, true}, {-1, 0, true, false}, {-1, 3, true, false}, {-1, 6, true, true}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "read fails at " << c.failReadAt << ", encode at " << c.failEncodeAt);
        Reset();
        FILE* f = std::fopen(out.c_str(), "wb");  // what was there before, or what the encoder wrote
        ASSERT_NE(f, nullptr);
        std::fclose(f);
        std::strcpy(params.outputPath, out.c_str());
        w.failReadAt = c.failReadAt;
        w.failEncodeAt = c.failEncodeAt;
        Run();
        EXPECT_EQ(cb.finished, 0);
        EXPECT_EQ(!w.openedPath.empty(), c.opened);
        EXPECT_EQ(::access(out.c_str(), F_OK) == 0, c.kept);
    }
    std::remove(out.c_str());
    ::rmdir(dir);
}

INSTANTIATE_TEST_SUITE_P(Threads, MpegJobTest, ::testing::Values(1, 2, 4));

TEST(MpegJobRules, Arithmetic) {
    using namespace reelcast::jobs;
    EXPECT_EQ(TargetPictureCount(250, 25.0f, 29.97), 300u);
    EXPECT_EQ(TargetPictureCount(250, 25.0f, 25.0), 250u);
    EXPECT_EQ(TargetPictureCount(0, 25.0f, 25.0), 0u);
    EXPECT_EQ(TargetPictureCount(10, 0.0f, 25.0), 0u);
    EXPECT_EQ(OutputSampleRate(0, 22050), 32000u);
    EXPECT_EQ(OutputSampleRate(0, 96000), 48000u);
    EXPECT_EQ(OutputSampleRate(0, 44100), 44100u);
    EXPECT_EQ(OutputSampleRate(0, 37800), 32000u);
    EXPECT_EQ(OutputSampleRate(0, 40000), 44100u);
    EXPECT_EQ(OutputSampleRate(0, 47000), 48000u);
    EXPECT_EQ(OutputSampleRate(48000, 22050), 48000u);
    EXPECT_EQ(ProgressValue(299, 300), 9966);
    EXPECT_EQ(LastPictureRepeats(300), 2u);
    EXPECT_EQ(LastPictureRepeats(10), 1u);
    EXPECT_EQ(LastPictureRepeats(11), 3u);
}

}  // namespace
