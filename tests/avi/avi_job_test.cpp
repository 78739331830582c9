// The AVI job: calling order, callback traffic and texts, the frame count, the
// file completed before OnFinished, cancelling. Sources are test doubles put in
// through the resolver; one case runs the real media components on footage.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <thread>
#include <functional>
#include <cmath>
#include <cstring>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "AviTestSupport.h"
#include "engine/core/Component.h"
#include "engine/core/Factories.h"
#include "engine/jobs/IAviConversionJob.h"
#include "engine/media/IAudioStreamConverter.h"
#include "engine/media/IMediaInfo.h"
#include "engine/media/IVideoFrameSource.h"
#include "platform/avifile/AviVideoCompressor.h"
#include "platform/ui/Dialogs.h"

namespace {

using namespace reelcast;
using avitest::TempDir;
namespace af = platform::avifile;

// What the stand-in source looks like.
struct FakeSource {
    bool openOk = true;
    std::uint32_t frames = 20;
    float fps = 25.0f;
    std::int32_t width = 64;
    std::int32_t height = 48;
    int soundFrames = -1;  // frames that have sound; -1 all of them
    bool video = true;     // the probe finds a picture stream
    bool sound = false;    // the probe finds a sound stream
    bool framesOpen = true;
    int badFrame = -1;     // the first picture that cannot be read; -1 none
};
FakeSource g_source;
std::atomic<int> g_framesRead{0};

class FakeInfo final : public core::Component<IMediaInfo, FakeInfo> {
public:
    bool Init() override { return true; }
    bool Open(const char*, bool) override { return g_source.openOk; }
    void GetVideoInfo(VideoStreamInfo* v) override {
        *v = VideoStreamInfo{};
        v->present = g_source.video ? 1 : 0;
        v->frameCount = g_source.frames;
        v->frameRate = g_source.fps;
        v->width = g_source.width;
        v->height = g_source.height;
        v->bitCount = 24;
    }
    void GetAudioInfo(AudioStreamInfo* a) override {
        *a = AudioStreamInfo{};
        a->present = g_source.sound ? 1 : 0;
    }
    const char* GetInfoText() override { return ""; }
};

class FakeFrames final : public core::Component<IVideoFrameSource, FakeFrames> {
public:
    bool Init() override { return true; }
    bool Open(const char*, std::int32_t w, std::int32_t h, double) override {
        w_ = w;
        h_ = h;
        return g_source.framesOpen;
    }
    bool GetFrame(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* size) override {
        const std::uint32_t stride = af::DibStride(w_, 24);
        *size = 40 + stride * std::uint32_t(h_);
        if (!buffer) return true;
        if (g_source.badFrame >= 0 && int(index) >= g_source.badFrame) return false;
        ++g_framesRead;
        af::BitmapInfoHeader b;
        b.width = w_;
        b.height = h_;
        b.bitCount = 24;
        b.sizeImage = stride * std::uint32_t(h_);
        std::memcpy(buffer, &b, 40);
        for (std::uint32_t i = 0; i < b.sizeImage; ++i) buffer[40 + i] = std::uint8_t(i * 7 + index * 13);
        return true;
    }

private:
    std::int32_t w_ = 0, h_ = 0;
};

class FakeAudio final : public core::Component<IAudioStreamConverter, FakeAudio> {
public:
    bool Init() override { return true; }
    bool Open(const char*, double fps, std::uint32_t rate) override {
        fps_ = fps;
        rate_ = rate;
        return true;
    }
    bool GetBlock(SampleBlock* out) override {
        if (g_source.soundFrames >= 0 && n_ >= g_source.soundFrames) {
            *out = SampleBlock{nullptr, 0};
            return false;
        }
        const auto from = std::int64_t(std::floor(n_ * rate_ / fps_));
        const auto to = std::int64_t(std::floor((n_ + 1) * rate_ / fps_));
        ++n_;
        buf_.assign(std::size_t(to - from) * 2, 0);
        for (std::int64_t k = from; k < to; ++k)
            buf_[std::size_t(k - from) * 2] = buf_[std::size_t(k - from) * 2 + 1] =
                std::int16_t(7000 * std::sin(2 * M_PI * 440.0 * double(k) / rate_));
        *out = SampleBlock{buf_.data(), std::uint32_t(buf_.size())};
        return true;
    }
    void Refill(std::uint32_t) override {}

private:
    double fps_ = 25;
    double rate_ = 44100;
    std::int64_t n_ = 0;
    std::vector<std::int16_t> buf_;
};

IEngineComponent* Resolve(const char* mod) {
    if (!std::strcmp(mod, "MEDIAGETINFO")) return core::MakeFresh<FakeInfo>();
    if (!std::strcmp(mod, "VIDEODATADLL")) return core::MakeFresh<FakeFrames>();
    if (!std::strcmp(mod, "ASCONVERT")) return core::MakeFresh<FakeAudio>();
    core::FactoryFn f = core::FindFactory(mod);
    return f ? f() : nullptr;
}

class Recorder final : public I_CONVERT_Callback {
public:
    void OnProgress(std::int32_t p) override {
        std::lock_guard<std::mutex> l(m);
        progress.push_back(p);
        if (cancelAfter > 0 && int(progress.size()) == cancelAfter && job) job->Cancel();
    }
    void OnFinished() override {
        std::lock_guard<std::mutex> l(m);
        ++finished;
        if (onFinished) onFinished();
    }
    void OnMessage(const char* text) override {
        std::lock_guard<std::mutex> l(m);
        messages.emplace_back(text ? text : "");
    }
    bool IsCancelled() override {
        ++asked;
        return false;
    }

    std::mutex m;
    std::vector<std::int32_t> progress;
    std::vector<std::string> messages;
    int finished = 0;
    std::atomic<int> asked{0};
    int cancelAfter = 0;
    IAviConversionJob* job = nullptr;
    std::function<void()> onFinished;
};

class AviJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_source = FakeSource{};
        g_framesRead = 0;
        previous_ = core::SetResolver(&Resolve);
    }
    void TearDown() override { core::SetResolver(previous_); }

    IAviConversionJob* NewJob(const std::string& target, int audioType) {
        auto* job = core::New<IAviConversionJob>("AVIENCWRAPPER");
        if (!job) return nullptr;
        job->SetSourceFile("source.any");
        job->SetTargetFile(target.c_str());
        job->SetPreviewWindow(nullptr);
        job->SetCodecFamily(1);
        job->SetCallback(&rec_);
        job->SetAudioType(audioType);
        rec_.job = job;
        return job;
    }

    // A whole conversion at the source's size, 25 fps, 44100 Hz; false when the
    // job could not be made.
    bool RunToEnd(const std::string& target, int audioType) {
        IAviConversionJob* job = NewJob(target, audioType);
        if (!job) return false;
        job->StartDirect(0, 0, 2, 44100);
        const bool ended = job->WaitForWorker(-1);
        job->Release();
        return ended;
    }

    core::Resolver previous_ = nullptr;
    Recorder rec_;
    TempDir dir_;
};

// Same rate in and out: as many frames as the source. The file is complete
// (readable to its last frame) while OnFinished runs.
TEST_F(AviJobTest, FinishesWithTheFileAlreadyComplete) {
    REQUIRE_FFMPEG();
    const std::string out = dir_.File("job.avi");
    int framesAtFinish = -1;
    bool cleanAtFinish = false;
    rec_.onFinished = [&] {
        framesAtFinish = avitest::DecodedVideoFrames(out);
        cleanAtFinish = avitest::DecodesCleanly(out) && avitest::ReadAviLayout(out).ok;
    };
    IAviConversionJob* job = NewJob(out, 2);
    ASSERT_TRUE(job);
    job->StartDirect(0, 0, 2, 44100);
    ASSERT_TRUE(job->WaitForWorker(-1));
    EXPECT_EQ(rec_.finished, 1);
    EXPECT_TRUE(rec_.messages.empty());
    EXPECT_EQ(framesAtFinish, 20);
    EXPECT_TRUE(cleanAtFinish);
    ASSERT_EQ(rec_.progress.size(), 20u);
    for (std::size_t i = 0; i < rec_.progress.size(); ++i) EXPECT_EQ(rec_.progress[i], int(i) * 10000 / 20);
    EXPECT_LT(rec_.progress.back(), 10000);
    EXPECT_EQ(rec_.asked, 0) << "the AVI job never asks IsCancelled";
    const auto s = avitest::ProbeStreams(out);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].at("width"), "64");
    EXPECT_EQ(s[1].at("codec_name"), "mp3");
    job->Release();
}

TEST_F(AviJobTest, FrameCountFollowsTheTargetRateAndSizeArguments) {
    g_source.frames = 50;  // 2 s at 25 fps, to 29.970 fps: 59.94 -> 59 frames
    const std::string out = dir_.File("rate.avi");
    IAviConversionJob* job = NewJob(out, 0);
    ASSERT_TRUE(job);
    job->StartDirect(32, 0, 3, 44100);  // width given, height the source's
    ASSERT_TRUE(job->WaitForWorker(-1));
    job->Release();
    EXPECT_EQ(rec_.finished, 1);
    EXPECT_EQ(rec_.progress.size(), 59u);
    EXPECT_EQ(g_framesRead, 59);
    const avitest::AviLayout L = avitest::ReadAviLayout(out);
    ASSERT_TRUE(L.ok) << L.error;
    EXPECT_EQ(L.streams[0].length, 59u);
    EXPECT_EQ(L.streams[0].rate, 29970u);
    ASSERT_GE(L.streams[0].format.size(), 12u);
    EXPECT_EQ(L.streams[0].format[4], 32) << "width";
    EXPECT_EQ(L.streams[0].format[8], 48) << "height";
}

// Sources the job cannot take a picture from: it says why, never finishes, and
// leaves no file behind; one that fails later keeps the pictures written.
struct NoPictures {
    const char* name;
    void (*spoil)(FakeSource*);
    const char* message;
    int framesKept;  // -1: no file
};

const NoPictures kNoPictures[] = {
    {"no_frames", [](FakeSource* s) { s->frames = 0; }, "Get video frames error", -1},
    {"no_picture_stream", [](FakeSource* s) { s->video = false; }, "The source has no picture stream", -1},
    {"frames_do_not_open", [](FakeSource* s) { s->framesOpen = false; }, "Get video frames error", -1},
    {"first_frame_unreadable", [](FakeSource* s) { s->badFrame = 0; }, "Get video frames error", -1},
    {"fifth_frame_unreadable", [](FakeSource* s) { s->badFrame = 5; }, "Get video frames error", 5},
};

void PrintTo(const NoPictures& p, std::ostream* os) { *os << p.name; }

class AviJobNoPictures : public AviJobTest, public ::testing::WithParamInterface<NoPictures> {};

TEST_P(AviJobNoPictures, SaysWhyAndWritesNoEmptyFile) {
    GetParam().spoil(&g_source);
    const std::string out = dir_.File("out.avi");
    ASSERT_TRUE(RunToEnd(out, 0));
    EXPECT_EQ(rec_.finished, 0);
    EXPECT_EQ(rec_.messages, std::vector<std::string>{GetParam().message});
    if (GetParam().framesKept < 0) {
        EXPECT_FALSE(avitest::FileExists(out));
    } else {
        const avitest::AviLayout L = avitest::ReadAviLayout(out);
        ASSERT_TRUE(L.ok) << L.error;
        EXPECT_EQ(L.streams[0].length, std::uint32_t(GetParam().framesKept));
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, AviJobNoPictures, ::testing::ValuesIn(kNoPictures),
                         [](const auto& info) { return std::string(info.param.name); });

// A source whose sound stream gives nothing: silence in its place, and a word.
TEST_F(AviJobTest, UnreadableSoundBecomesSilenceAndIsReported) {
    g_source.sound = true;
    g_source.soundFrames = 0;
    const std::string out = dir_.File("silent.avi");
    ASSERT_TRUE(RunToEnd(out, 2));
    EXPECT_EQ(rec_.finished, 1);
    ASSERT_EQ(rec_.messages.size(), 1u);
    EXPECT_NE(rec_.messages[0].find("could not be read"), std::string::npos) << rec_.messages[0];
    const avitest::AviLayout L = avitest::ReadAviLayout(out);
    ASSERT_TRUE(L.ok) << L.error;
    ASSERT_EQ(L.streams.size(), 2u);
    EXPECT_EQ(L.streams[1].fccType, "auds");
}

// Cancel during the conversion: exactly one "User Canceled", no OnFinished, and
// the frames written so far in a complete file.
TEST_F(AviJobTest, CancelStopsAfterTheFrameInHandWithACompleteFile) {
    REQUIRE_FFMPEG();
    g_source.frames = 200;
    const std::string out = dir_.File("cancel.avi");
    IAviConversionJob* job = NewJob(out, 3);
    ASSERT_TRUE(job);
    ASSERT_TRUE(job->ChooseDefaultAudioFormat(44100));
    rec_.cancelAfter = 3;
    job->StartDirect(0, 0, 2, 44100);
    ASSERT_TRUE(job->WaitForWorker(-1));
    EXPECT_EQ(rec_.finished, 0);
    ASSERT_EQ(rec_.messages.size(), 1u);
    EXPECT_EQ(rec_.messages[0], "User Canceled");
    EXPECT_EQ(rec_.progress.size(), 3u);
    // The file is complete before the job is released.
    EXPECT_EQ(avitest::DecodedVideoFrames(out), 4);
    std::string err;
    EXPECT_TRUE(avitest::DecodesCleanly(out, &err)) << err;
    job->Release();

    // Reused after a cancel, the job converts again.
    rec_.messages.clear();
    rec_.progress.clear();
    rec_.cancelAfter = 0;
}

TEST_F(AviJobTest, IndeoFamilyFallsBackToTheFirstListedCompressor) {
    g_source.frames = 3;
    for (int family : {0, 1}) {
        const std::string out = dir_.File("family" + std::to_string(family) + ".avi");
        IAviConversionJob* job = NewJob(out, 0);
        ASSERT_TRUE(job);
        job->SetCodecFamily(family);
        job->StartDirect(0, 0, 2, 44100);
        ASSERT_TRUE(job->WaitForWorker(-1));
        job->Release();
        EXPECT_EQ(rec_.finished, family + 1) << family;
        const avitest::AviLayout L = avitest::ReadAviLayout(out);
        ASSERT_EQ(L.streams.size(), 1u);
        af::VideoCompressorInfo first;
        ASSERT_TRUE(af::EnumVideoCompressor(0, &first));
        EXPECT_EQ(L.streams[0].fccHandler, std::string(reinterpret_cast<const char*>(&first.handler), 4));
    }
}

TEST_F(AviJobTest, ChosenCompressorIsKeptByTheDirectStartWithCodec) {
    g_source.frames = 3;
    const std::string out = dir_.File("mjpg.avi");
    IAviConversionJob* job = NewJob(out, 0);
    ASSERT_TRUE(job);
    job->SetVideoCodec(af::MakeFourCC('M', 'J', 'P', 'G'));
    job->StartDirectWithCodec(0, 0, 2, 44100);
    ASSERT_TRUE(job->WaitForWorker(-1));
    job->Release();
    EXPECT_EQ(avitest::ReadAviLayout(out).streams.at(0).fccHandler, "MJPG");
}

TEST_F(AviJobTest, FailuresAreReportedOnceAndNeverAsFinished) {
    // An output that cannot be created: every frame write fails.
    IAviConversionJob* job = NewJob(dir_.File("no/such/dir/x.avi"), 0);
    ASSERT_TRUE(job);
    job->StartDirect(0, 0, 2, 44100);
    ASSERT_TRUE(job->WaitForWorker(-1));
    EXPECT_EQ(rec_.finished, 0);
    ASSERT_EQ(rec_.messages.size(), 1u);
    EXPECT_EQ(rec_.messages[0], "Compress Avi file error! have to stop!");
    EXPECT_TRUE(rec_.progress.empty());

    // PCM at a rate the WAV writer cannot declare.
    rec_.messages.clear();
    job->SetTargetFile(dir_.File("pcm48.avi").c_str());
    job->SetAudioType(1);
    job->StartDirect(0, 0, 2, 48000);
    ASSERT_TRUE(job->WaitForWorker(-1));
    EXPECT_EQ(rec_.finished, 0);
    EXPECT_EQ(rec_.messages, std::vector<std::string>{"Compress Avi file error! have to stop!"});

    // A source nobody can read: nothing starts.
    rec_.messages.clear();
    g_source.openOk = false;
    job->StartDirect(0, 0, 2, 44100);
    EXPECT_TRUE(job->WaitForWorker(0));
    EXPECT_EQ(rec_.messages, std::vector<std::string>{"Can't get media information from input file"});
    job->Release();
    EXPECT_EQ(rec_.finished, 0);
}

TEST_F(AviJobTest, OptionsDialogUnavailableStartsNothing) {
    IAviConversionJob* job = NewJob(dir_.File("dlg.avi"), 0);
    ASSERT_TRUE(job);
    job->StartWithOptions(nullptr);
    EXPECT_TRUE(job->WaitForWorker(0));
    job->Release();
    EXPECT_EQ(rec_.finished, 0);
    EXPECT_TRUE(rec_.messages.empty());
    EXPECT_FALSE(avitest::FileExists(dir_.File("dlg.avi")));
}

TEST_F(AviJobTest, UnknownPreviewWindowIsSkippedAndReleaseWaitsForTheWorker) {
    g_source.frames = 30;
    IAviConversionJob* job = NewJob(dir_.File("preview.avi"), 2);
    ASSERT_TRUE(job);
    job->SetPreviewWindow(reinterpret_cast<void*>(0x1234));
    job->StartDirect(0, 0, 2, 44100);
    job->Release();  // waits without limit for the worker
    EXPECT_EQ(rec_.finished, 1);
    EXPECT_EQ(rec_.progress.size(), 30u);
}

// A callback that waits for the job or starts it again is on the worker itself:
// it is told no, and nothing throws or hangs.
TEST_F(AviJobTest, WaitingOrStartingFromInsideACallbackIsRefused) {
    g_source.frames = 5;
    IAviConversionJob* job = NewJob(dir_.File("inside.avi"), 0);
    ASSERT_TRUE(job);
    bool waited = true;
    rec_.onFinished = [&] {
        waited = job->WaitForWorker(-1);
        job->StartDirect(0, 0, 2, 44100);
    };
    job->StartDirect(0, 0, 2, 44100);
    ASSERT_TRUE(job->WaitForWorker(-1));
    EXPECT_FALSE(waited);
    EXPECT_EQ(rec_.finished, 1) << "no second conversion";
    EXPECT_TRUE(job->WaitForWorker(0));
    job->Release();
    EXPECT_EQ(avitest::ReadAviLayout(dir_.File("inside.avi")).streams.at(0).length, 5u);
}

// Sound that runs out before the pictures (or a source without any) is completed
// with silence to the pictures' time; sound that is there passes unchanged.
TEST_F(AviJobTest, SoundIsCompletedWithSilenceToThePicturesTime) {
    REQUIRE_FFMPEG();
    g_source.frames = 50;  // 2 s at 25 fps, to 29.970 fps: 59 frames
    for (int soundFrames : {-1, 20, 0}) {
        g_source.soundFrames = soundFrames;
        const std::string name = "sound" + std::to_string(soundFrames + 1);
        IAviConversionJob* job = NewJob(dir_.File(name + ".avi"), 1);
        ASSERT_TRUE(job);
        job->StartDirect(0, 0, 3, 44100);
        ASSERT_TRUE(job->WaitForWorker(-1));
        job->Release();
        // Exactly the pictures' share, whether the source had it or not.
        const auto pairs = std::uint64_t(std::floor(59 * 44100 * 1001.0 / 30000.0));
        const std::uint64_t size = avitest::FileSize(dir_.File(name + ".wav"));
        EXPECT_LE(size, 44 + pairs * 4 + 4) << soundFrames;
        EXPECT_GE(size, 44 + pairs * 4) << soundFrames;
        if (soundFrames < 0) {
            EXPECT_EQ(size, 44 + pairs * 4) << "the source's own blocks pass unchanged";
        }
    }
    g_source.soundFrames = 0;
    const std::string out = dir_.File("mp3.avi");
    IAviConversionJob* job = NewJob(out, 2);
    ASSERT_TRUE(job);
    job->StartDirect(0, 0, 2, 48000);
    ASSERT_TRUE(job->WaitForWorker(-1));
    job->Release();
    const double sound = avitest::DecodedAudioSeconds(out, 48000, 2);
    const double end = avitest::FirstPictureSeconds(out) + 50 / 25.0;
    EXPECT_GE(sound, end - 1.0 / 48000);
    EXPECT_LE(sound, end + 1152.0 / 48000);
}

// The program turns each callback into a blocking message to its window, so the
// worker's last OnFinished waits for the interface thread, which may at that
// moment be releasing the job: the release must let that message through.
TEST_F(AviJobTest, ReleaseDoesNotDeadlockWithTheLastCallbackWaitingOnTheInterface) {
    platform::ui::InterfaceSession session;  // this thread is the interface thread
    const std::thread::id interfaceThread = std::this_thread::get_id();
    std::thread::id ranOn;
    rec_.onFinished = [&] { platform::ui::SendToInterfaceThread([&] { ranOn = std::this_thread::get_id(); }); };

    // A deadlock would hang the run: end it with a clear failure instead.
    std::mutex m;
    std::condition_variable cv;
    bool released = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(60), [&] { return released; })) {
            std::fprintf(stderr, "Release of the AVI job deadlocked with its last callback\n");
            std::_Exit(3);
        }
    });

    g_source.frames = 10;
    IAviConversionJob* job = NewJob(dir_.File("release.avi"), 0);
    ASSERT_TRUE(job);
    job->StartDirect(0, 0, 2, 44100);
    job->Release();  // at once: the worker ends while we wait in here
    {
        std::lock_guard<std::mutex> lock(m);
        released = true;
    }
    cv.notify_all();
    watchdog.join();
    EXPECT_EQ(rec_.finished, 1);
    EXPECT_EQ(ranOn, interfaceThread);
    EXPECT_EQ(avitest::ReadAviLayout(dir_.File("release.avi")).streams.at(0).length, 10u);
}

// The real media components on a few seconds of footage.
TEST(AviJobFootage, ConvertsRealFootageWithTheSourceRateRule) {
    REQUIRE_FFMPEG();
    const std::string media = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
    if (!avitest::FileExists(media)) GTEST_SKIP() << "no footage";
    TempDir dir;
    const std::string cut = dir.File("cut.webm");
    avitest::Run("ffmpeg -nostdin -v error -y -t 2 -i " + avitest::Quote(media) + " -c copy " + avitest::Quote(cut));
    ASSERT_TRUE(avitest::FileExists(cut));

    IMediaInfo* info = core::New<IMediaInfo>("MEDIAGETINFO");
    if (!info) GTEST_SKIP() << "media probe not built";
    ASSERT_TRUE(info->Open(cut.c_str(), false));
    VideoStreamInfo v{};
    info->GetVideoInfo(&v);
    info->Release();
    ASSERT_GT(v.frameCount, 0u);
    const int expected = int(double(v.frameCount) * (30000.0 / 1001.0) / v.frameRate);

    Recorder rec;
    auto* job = core::New<IAviConversionJob>("AVIENCWRAPPER");
    ASSERT_TRUE(job);
    const std::string out = dir.File("echo.avi");
    job->SetSourceFile(cut.c_str());
    job->SetTargetFile(out.c_str());
    job->SetCodecFamily(1);
    job->SetCallback(&rec);
    job->SetAudioType(2);
    job->StartDirect(240, 136, 3, 48000);
    ASSERT_TRUE(job->WaitForWorker(-1));
    job->Release();
    ASSERT_EQ(rec.finished, 1) << (rec.messages.empty() ? "" : rec.messages[0]);
    const auto s = avitest::ProbeStreams(out);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].at("codec_tag_string"), "DIVX");
    EXPECT_EQ(s[0].at("width"), "240");
    EXPECT_EQ(s[1].at("sample_rate"), "48000");
    EXPECT_EQ(avitest::DecodedVideoFrames(out), expected);
    std::string err;
    EXPECT_TRUE(avitest::DecodesCleanly(out, &err)) << err;
    // MP3 sound starts before the pictures (the encoder's start-up), so it ends
    // with the pictures' end on the file's time line.
    const double end = avitest::FirstPictureSeconds(out) + expected * 1001.0 / 30000.0;
    EXPECT_NEAR(avitest::DecodedAudioSeconds(out, 48000, 2), end, 1001.0 / 30000.0);
}

}  // namespace

namespace {

// A second of footage through the real media components with every compressor;
// the sound types take turns so each one meets the real audio path too.
struct FootageCase {
    const char* codec;
    int audioType;
};

void PrintTo(const FootageCase& c, std::ostream* os) { *os << c.codec << " audio " << c.audioType; }

class FootageEveryCompressor : public ::testing::TestWithParam<FootageCase> {
protected:
    static void SetUpTestSuite() {
        const std::string media = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
        if (!avitest::HaveTool("ffmpeg") || !avitest::FileExists(media)) return;
        dir_ = new TempDir;
        cut_ = dir_->File("cut.webm");
        avitest::Run("ffmpeg -nostdin -v error -y -ss 10 -t 1 -i " + avitest::Quote(media) + " -c copy " +
                     avitest::Quote(cut_));
        IMediaInfo* info = core::New<IMediaInfo>("MEDIAGETINFO");
        if (info && info->Open(cut_.c_str(), false)) info->GetVideoInfo(&source_);
        if (info) info->Release();
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static TempDir* dir_;
    static std::string cut_;
    static VideoStreamInfo source_;
};
TempDir* FootageEveryCompressor::dir_ = nullptr;
std::string FootageEveryCompressor::cut_;
VideoStreamInfo FootageEveryCompressor::source_{};

TEST_P(FootageEveryCompressor, ConvertsToAFilePlayableToTheLastFrame) {
    REQUIRE_FFMPEG();
    if (!dir_ || source_.frameCount == 0) GTEST_SKIP() << "no footage";
    const FootageCase c = GetParam();
    const int rate = c.audioType == 1 ? 44100 : 48000;
    const int expected = int(double(source_.frameCount) * 25.0 / source_.frameRate);
    const std::string name = std::string(c.codec, 4) == "DIB " ? "DIB" : c.codec;
    const std::string out = dir_->File(name + ".avi");

    Recorder rec;
    auto* job = core::New<IAviConversionJob>("AVIENCWRAPPER");
    ASSERT_TRUE(job);
    job->SetSourceFile(cut_.c_str());
    job->SetTargetFile(out.c_str());
    job->SetCodecFamily(0);
    job->SetCallback(&rec);
    job->SetAudioType(c.audioType);
    if (c.audioType == 3) {
        ASSERT_TRUE(job->ChooseDefaultAudioFormat(rate));
    }
    job->SetVideoCodec(af::MakeFourCC(c.codec[0], c.codec[1], c.codec[2], c.codec[3]));
    job->StartDirectWithCodec(160, 96, 2, rate);
    ASSERT_TRUE(job->WaitForWorker(-1));
    job->Release();
    ASSERT_EQ(rec.finished, 1) << (rec.messages.empty() ? "" : rec.messages[0]);

    const avitest::AviLayout L = avitest::ReadAviLayout(out);
    ASSERT_TRUE(L.ok) << L.error;
    ASSERT_EQ(L.streams.size(), c.audioType >= 2 ? 2u : 1u);
    EXPECT_EQ(L.streams[0].fccHandler, std::string(c.codec, 4));
    EXPECT_EQ(L.streams[0].rate, 25000u);
    EXPECT_EQ(L.streams[0].length, std::uint32_t(expected));
    EXPECT_EQ(avitest::DecodedVideoFrames(out), expected);
    std::string err;
    EXPECT_TRUE(avitest::DecodesCleanly(out, &err)) << err;
    const double video = expected / 25.0;
    const double videoEnd = avitest::FirstPictureSeconds(out) + video;
    const std::string wav = dir_->File(name + ".wav");
    EXPECT_EQ(avitest::FileExists(wav), c.audioType == 1);
    if (c.audioType == 1) {
        EXPECT_NEAR(avitest::DecodedAudioSeconds(wav, 44100, 2), video, 1 / 25.0);
    }
    if (c.audioType >= 2) {
        EXPECT_NEAR(avitest::DecodedAudioSeconds(out, rate, 2), videoEnd, 1 / 25.0);
        const auto s = avitest::ProbeStreams(out);
        ASSERT_EQ(s.size(), 2u);
        EXPECT_EQ(s[1].at("sample_rate"), std::to_string(rate));
        EXPECT_EQ(s[1].at("codec_name"), c.audioType == 2 ? "mp3" : "adpcm_ms");
    }
}

INSTANTIATE_TEST_SUITE_P(Avi, FootageEveryCompressor,
                         ::testing::Values(FootageCase{"DIVX", 2}, FootageCase{"XVID", 3}, FootageCase{"MP43", 1},
                                           FootageCase{"MP42", 0}, FootageCase{"MJPG", 2}, FootageCase{"cvid", 1},
                                           FootageCase{"MSVC", 3}, FootageCase{"HFYU", 0}, FootageCase{"FFV1", 2},
                                           FootageCase{"DIB ", 1}),
                         [](const auto& info) {
                             std::string n = info.param.codec;
                             return (n == "DIB " ? std::string("DIB") : n) + "_audio" +
                                    std::to_string(info.param.audioType);
                         });

}  // namespace
