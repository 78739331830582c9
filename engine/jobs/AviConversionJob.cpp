// AVIENCWRAPPER: one source file to one AVI file, on a worker thread.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "engine/avi/AviEncodeParams.h"
#include "engine/avi/AviOutputName.h"
#include "engine/avi/IAviEncoder.h"
#include "engine/avi/IAviMessageSink.h"
#include "engine/core/Component.h"
#include "engine/core/ComponentHandle.h"
#include "engine/core/Factories.h"
#include "engine/core/ThreadCount.h"
#include "engine/jobs/IAviConversionJob.h"
#include "engine/jobs/JobMessages.h"
#include "engine/jobs/PictureSound.h"
#include "engine/jobs/ReadAhead.h"
#include "engine/media/IAudioStreamConverter.h"
#include "engine/media/IMediaInfo.h"
#include "engine/media/IVideoFrameSource.h"
#include "platform/avifile/BitmapInfo.h"
#include "platform/avifile/DibScaler.h"
#include "platform/avifile/PixelShape.h"
#include "platform/ui/Dialogs.h"
#include "platform/window/PreviewWindow.h"

namespace reelcast::jobs {
namespace {

constexpr char kNoCodec[] = "No this the codec";
constexpr char kWriteError[] = "Compress Avi file error! have to stop!";

// The custom split rule with a limit of 2^30 MiB, a size no file reaches: the
// job's outputs are never split.
constexpr std::int32_t kNeverSplitMiB = 0x40000000;

// The source facts a start needs.
struct SourceFacts {
    bool ok = false;
    bool hasVideo = false;
    bool hasAudio = false;
    std::uint32_t frames = 0;
    double fps = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    platform::PixelAspect aspect;  // of the pictures as the frame source gives them
};

SourceFacts Probe(const std::string& path) {
    SourceFacts f;
    auto info = core::MakeHandle<IMediaInfo>("MEDIAGETINFO");
    if (!info) return f;
    if (info->Open(path.c_str(), false)) {
        VideoStreamInfo v{};
        AudioStreamInfo a{};
        info->GetVideoInfo(&v);
        info->GetAudioInfo(&a);
        f.ok = true;
        f.hasVideo = v.present != 0;
        f.hasAudio = a.present != 0;
        f.frames = v.frameCount;
        f.fps = v.frameRate;
        f.width = v.width;
        f.height = std::abs(v.height);
    }
    if (f.hasVideo) f.aspect = platform::SourcePixelAspect(path.c_str());
    return f;
}

// Frames at the target rate: source frames x target rate / source rate, truncated,
// and at least one: a source with a picture never gives an empty file.
std::int32_t TotalFrames(const SourceFacts& f, int frameRateIndex) {
    if (f.frames == 0) return 0;
    if (!(f.fps > 0)) return std::int32_t(std::min<std::uint32_t>(f.frames, 0x7FFFFFFF));
    const double total = double(f.frames) * AviFrameRate(frameRateIndex) / f.fps;
    return total >= 2147483647.0 ? 0x7FFFFFFF : std::max(std::int32_t(total), 1);
}

bool StartsWithNoCase(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix) {
        if (std::tolower(static_cast<unsigned char>(*s)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    }
    return true;
}

class AviConversionJob final : public core::Component<IAviConversionJob, AviConversionJob>,
                               public IAviMessageSink,
                               private platform::ui::AviOptionsHost {
public:
    ~AviConversionJob() {
        // The worker's last act may be a callback that the program runs on its
        // interface thread, which may be this very thread: keep its events going.
        if (worker_.joinable()) {
            platform::ui::WaitHandlingEvents([this] { return done_.load(); });
            worker_.join();
        }
        if (encoder_) encoder_->Close();
        encoder_.reset();
    }

    bool Init() override {
        encoder_ = core::MakeHandle<IAviEncoder>("AVIENC");
        if (!encoder_) return false;
        callback_ = nullptr;
        family_ = 0;
        cancel_ = 1;
        preview_ = nullptr;
        return true;
    }

    bool SetSourceFile(const char* path) override {
        source_ = path ? path : "";
        return true;
    }

    void SetTargetFile(const char* path) override { target_ = path ? path : ""; }

    void SetCallback(I_CONVERT_Callback* cb) override {
        callback_ = cb;
        encoder_->SetMessageSink(this);
    }

    bool EnumVideoCodec(std::int32_t index, char* name, std::uint32_t* handler) override {
        return encoder_->EnumVideoCodec(index, name, handler);
    }

    // Slot 8, and the dialog's choice on OK.
    void SetVideoCodec(std::uint32_t handler) override { encoder_->SetVideoCodec(handler); }

    void SetPreviewWindow(void* window) override { preview_ = window; }

    void StartWithOptions(void* parent) override {
        if (OnWorkerThread()) return;  // a callback cannot start the next conversion
        WaitForPrevious();
        const SourceFacts src = Probe(source_);
        cancel_ = 0;
        encoder_->SetAudioType(kAviAudioMp3);
        platform::ui::AviOptionsResult r;
        if (!platform::ui::RunAviOptionsDialog(parent, *this, src.width, src.height, kAviFrameRates,
                                               kAviFrameRateCount, &r))
            return;
        encoder_->SetAudioType(r.audioType);
        sampleRate_ = r.sampleRate;
        const int rateIndex = r.frameRateIndex >= 0 ? r.frameRateIndex : 2;
        const int width = r.noChangeSize ? src.width : r.width;
        const int height = r.noChangeSize ? src.height : r.height;
        if (!Convertible(src)) return;
        FillParams(src, width, height, rateIndex);
        Launch();
    }

    void StartDirect(std::int32_t width, std::int32_t height, std::int32_t frameRateIndex,
                     std::int32_t sampleRate) override {
        Direct(width, height, frameRateIndex, sampleRate, true);
    }

    void StartDirectWithCodec(std::int32_t width, std::int32_t height, std::int32_t frameRateIndex,
                              std::int32_t sampleRate) override {
        Direct(width, height, frameRateIndex, sampleRate, false);
    }

    void Direct(std::int32_t width, std::int32_t height, std::int32_t frameRateIndex, std::int32_t sampleRate,
                bool byFamily) {
        if (OnWorkerThread()) return;  // a callback cannot start the next conversion
        WaitForPrevious();
        const SourceFacts src = Probe(source_);
        cancel_ = 0;
        sampleRate_ = sampleRate;
        if (!Convertible(src)) return;
        const int rateIndex = frameRateIndex >= 0 && frameRateIndex < kAviFrameRateCount ? frameRateIndex : 2;
        FillParams(src, width ? width : src.width, height ? height : src.height, rateIndex);
        if (!byFamily) {
            Launch();
            return;
        }

        // The first compressor of the family; when the family has none here (no
        // Indeo encoder exists on this platform) the first one listed.
        std::uint32_t first = 0;
        bool haveFirst = false;
        bool matched = false;
        for (int i = 0; i < 100; ++i) {
            char name[256] = {};
            std::uint32_t handler = 0;
            if (!encoder_->EnumVideoCodec(i, name, &handler)) break;
            if (!haveFirst) {
                first = handler;
                haveFirst = true;
            }
            const bool match = family_ ? (StartsWithNoCase(name, "divx") || StartsWithNoCase(name, "xvid"))
                                       : (StartsWithNoCase(name, "indeo") || std::strstr(name, "indeo"));
            if (match) {
                encoder_->SetVideoCodec(handler);
                matched = true;
                break;
            }
        }
        if (!haveFirst) {
            Message(kNoCodec);
            return;
        }
        if (!matched) encoder_->SetVideoCodec(first);
        Launch();
    }

    bool SetCodecFamily(std::int32_t family) override {
        family_ = family;
        return true;
    }

    void Cancel() override { cancel_ = 1; }

    bool SetAudioType(std::int32_t audioType) override { return encoder_->SetAudioType(audioType); }

    bool ChooseDefaultAudioFormat(std::int32_t sampleRate) override {
        return encoder_->ChooseDefaultAudioFormat(sampleRate);
    }

    bool WaitForWorker(std::int32_t timeoutMs) override {
        if (!worker_.joinable()) return true;
        // From one of the worker's own callbacks: it cannot wait for itself.
        if (OnWorkerThread()) return false;
        {
            std::unique_lock<std::mutex> lock(doneMutex_);
            if (timeoutMs < 0) {
                doneCv_.wait(lock, [this] { return done_.load(); });
            } else if (!doneCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [this] { return done_.load(); })) {
                return false;
            }
        }
        worker_.join();
        return true;
    }

    // IAviMessageSink
    void Report(const char* text) override {
        if (callback_) callback_->OnMessage(text);
    }

private:
    // platform::ui::AviOptionsHost: what the "AVI Option" dialog asks of the job.
    bool EnumVideoCodec(int index, std::string* name, std::uint32_t* handler) override {
        char buf[256] = {};
        if (!encoder_->EnumVideoCodec(index, buf, handler)) return false;
        if (name) *name = buf;
        return true;
    }
    bool ConfigureAudio(platform::ui::WindowHandle dialog, int audioType) override {
        return encoder_->ConfigureAudio(dialog, audioType);
    }
    std::string AudioDescription() override { return encoder_->GetAudioDescription(); }
    int CodecFamily() override { return family_; }

    void Message(const char* text) {
        if (callback_) callback_->OnMessage(text);
    }

    // A source that gives no pictures gives no AVI: refused before anything is
    // written, with the reason.
    bool Convertible(const SourceFacts& src) {
        if (!src.ok) {
            Message(kNoMediaInfo);
            return false;
        }
        if (!src.hasVideo) {
            Message(kNoPictureStream);
            return false;
        }
        if (src.frames == 0) {
            Message(kFrameError);
            return false;
        }
        hasAudio_ = src.hasAudio;
        return true;
    }

    // A picture that keeps the source's pixel grid keeps its pixel shape too; a
    // size the user chose is filled with square pixels.
    void FillParams(const SourceFacts& src, int width, int height, int rateIndex) {
        const bool sameGrid = width == src.width && height == src.height;
        pixelAspect_ = sameGrid ? src.aspect : platform::PixelAspect{};
        const std::int32_t total = TotalFrames(src, rateIndex);
        std::memset(&params_, 0, sizeof params_);
        params_.width = width;
        params_.height = height;
        std::strncpy(params_.outputPath, target_.c_str(), sizeof params_.outputPath - 1);
        params_.totalFrames = total;
        params_.customSplitSizeMiB = kNeverSplitMiB;
        params_.splitRule = static_cast<std::int32_t>(AviSplitRule::Custom);
        params_.frameRateIndex = rateIndex;
    }

    // The worker notes its own id, so that a callback can be told apart from the
    // program's threads without reading worker_ while it is being assigned.
    bool OnWorkerThread() const { return workerId_.load() == std::this_thread::get_id(); }

    void WaitForPrevious() {
        if (!worker_.joinable()) return;
        platform::ui::WaitHandlingEvents([this] { return done_.load(); });
        worker_.join();
    }

    void Launch() {
        done_ = false;
        worker_ = std::thread([this] { Run(); });
    }

    void Run() {
        workerId_ = std::this_thread::get_id();
        Convert();
        workerId_ = std::thread::id{};
        {
            std::lock_guard<std::mutex> lock(doneMutex_);
            done_ = true;
        }
        doneCv_.notify_all();
    }

    // What one conversion reads from: both are released when it ends.
    struct Sources {
        core::ComponentHandle<IVideoFrameSource> frames;
        core::ComponentHandle<IAudioStreamConverter> sound;
        std::vector<std::uint8_t> picture;  // one decoded picture: header, then rows
        // A source read through the AVI file services comes at its own size;
        // the compressor was opened at the output size and reads that many rows.
        platform::DibScaler scaler;
        std::vector<std::uint8_t> sized;  // rows at the output size
    };

    // The rows of a picture read, at the output size; null when they cannot be
    // brought to it.
    const std::uint8_t* RowsAtOutputSize(Sources* src, const std::vector<std::uint8_t>& picture,
                                         std::uint32_t* bytes) {
        const platform::BitmapInfoHeader h = platform::ReadBitmapInfoHeader(picture.data());
        const std::uint8_t* rows = picture.data() + platform::kBitmapInfoHeaderSize;
        const std::uint64_t outBytes =
            platform::DibRowSize(params_.width, 24) * static_cast<std::uint64_t>(params_.height);
        if (h.bitCount == 24 && h.width == params_.width && h.height == params_.height) {
            *bytes = std::uint32_t(picture.size() - platform::kBitmapInfoHeaderSize);
            return *bytes >= outBytes ? rows : nullptr;
        }
        if (h.bitCount != 24 || h.height <= 0 ||
            platform::DibRowSize(h.width, 24) * std::uint64_t(h.height) + platform::kBitmapInfoHeaderSize >
                picture.size())
            return nullptr;
        src->sized.resize(outBytes);
        if (!src->scaler.Scale(rows, h.width, h.height, src->sized.data(), params_.width, params_.height))
            return nullptr;
        *bytes = std::uint32_t(outBytes);
        return src->sized.data();
    }

    // Opens the pictures and the sound and reads the first picture, before any
    // output exists: a source that gives no picture leaves no file behind.
    bool OpenSources(Sources* src, double fps) {
        src->frames = core::MakeHandle<IVideoFrameSource>("VIDEODATADLL");
        std::uint32_t size = 0;
        if (!src->frames || !src->frames->Open(source_.c_str(), params_.width, params_.height, fps) ||
            !src->frames->GetFrame(0, nullptr, &size) || size <= platform::kBitmapInfoHeaderSize) {
            Message(kFrameError);
            return false;
        }
        src->picture.assign(size, 0);
        if (!src->frames->GetFrame(0, src->picture.data(), &size)) {
            Message(kFrameError);
            return false;
        }
        // Without the converter the sound would be silence: that is no conversion.
        src->sound = core::MakeHandle<IAudioStreamConverter>("ASCONVERT");
        if (!src->sound || !src->sound->Open(source_.c_str(), fps, std::uint32_t(sampleRate_))) {
            Message(kWriteError);
            return false;
        }
        return true;
    }

    void Convert() {
        const double fps = AviFrameRate(params_.frameRateIndex);
        Sources src;
        if (!OpenSources(&src, fps)) return;
        encoder_->SetParameters(&params_, sampleRate_);
        encoder_->SetPixelAspect(pixelAspect_.num, pixelAspect_.den);
        if (!encoder_->Open()) {
            Message(kWriteError);
            return;
        }
        PictureSound sound(fps, sampleRate_);
        const std::int32_t total = params_.totalFrames;
        const Outcome run = WritePictures(&src, &sound);
        // The file is complete (headers and indexes written) before anyone is told
        // the conversion finished or stopped, so that what the user is told of the
        // file holds; a file without a single picture is of no use and goes.
        const bool closed = encoder_->Close();
        if (run.written == 0 && total > 0) RemoveOutput();
        if (run.stop) {
            Message(run.stop);
            return;
        }
        if (!closed) {
            Message(kWriteError);
            return;
        }
        if (hasAudio_ && !sound.HeardSource()) Message(kSoundUnreadable);
        if (callback_) callback_->OnFinished();
    }

    void RemoveOutput() {
        std::remove(AviOutputName(target_).c_str());
        std::remove((AviBaseName(target_) + ".wav").c_str());
    }

    struct Outcome {
        std::int32_t written = 0;    // pictures in the file
        const char* stop = nullptr;  // why the loop stopped early; null when it ran through
    };

    // Picture i as read, with its sound, ready for the compressor.
    struct ReadPicture {
        std::vector<std::uint8_t> bitmap;
        std::vector<std::int16_t> sound;  // holds block's samples
        SampleBlock block{nullptr, 0};
        bool readFailed = false;
    };

    // Reads picture i (the first was read when the sources were opened) and
    // its sound, and paints it into the preview. Out of memory (only the
    // first pictures allocate) reads as a picture that cannot be had.
    bool ReadOne(Sources* src, std::uint32_t i, ReadPicture& out) {
        try {
            return ReadOneOrThrow(src, i, out);
        } catch (const std::bad_alloc&) {
            out.readFailed = true;
            return false;
        }
    }

    bool ReadOneOrThrow(Sources* src, std::uint32_t i, ReadPicture& out) {
        out.bitmap.resize(src->picture.size());
        std::uint32_t got = std::uint32_t(out.bitmap.size());
        if (i == 0) {
            std::copy(src->picture.begin(), src->picture.end(), out.bitmap.begin());
        } else if (!src->frames->GetFrame(i, out.bitmap.data(), &got)) {
            out.readFailed = true;
            return false;
        }
        out.readFailed = false;
        SampleBlock block{nullptr, 0};
        if (!src->sound->GetBlock(&block)) block = SampleBlock{nullptr, 0};
        out.block = KeepBlock(block, out.sound);
        if (preview_) platform::DrawPicture(preview_, out.bitmap.data(), std::uint32_t(out.bitmap.size()));
        return true;
    }

    // The loop over the pictures. With more than one thread the pictures are
    // read and decoded ahead, on a thread of their own, while the compressor
    // works; the compressor gets the same pictures and sound in the same order.
    Outcome WritePictures(Sources* src, PictureSound* sound) {
        constexpr std::size_t kPicturesAhead = 3;
        Outcome run;
        const std::int32_t total = params_.totalFrames;
        std::vector<ReadPicture> slots(core::ConversionThreads() > 1 ? kPicturesAhead : 1);
        // Declared after the slots it fills, so it stops before they go.
        ReadAhead ahead;
        const bool threaded = slots.size() > 1 && total > 0 &&
                              ahead.Start(std::uint32_t(total), slots.size(), [&](std::uint32_t i, std::size_t s) {
                                  return ReadOne(src, i, slots[s]);
                              });
        for (std::int32_t i = 0; i < total; ++i) {
            ReadPicture& picture = threaded ? slots[ahead.Next()] : slots[0];
            if (!threaded) ReadOne(src, std::uint32_t(i), picture);
            if (picture.readFailed) {
                run.stop = kFrameError;
                return run;
            }
            const SampleBlock block = sound->Complete(picture.block, i);
            std::uint32_t rowBytes = 0;
            const std::uint8_t* rows = RowsAtOutputSize(src, picture.bitmap, &rowBytes);
            if (!rows) {
                run.stop = kFrameError;
                return run;
            }
            if (!encoder_->WriteFrame(rows, std::int32_t(rowBytes), &block)) {
                run.stop = kWriteError;
                return run;
            }
            if (threaded) ahead.Done();
            run.written = i + 1;
            if (cancel_) {
                run.stop = kCanceled;
                return run;
            }
            if (callback_) callback_->OnProgress(std::int32_t(std::int64_t(i) * 10000 / total));
        }
        return run;
    }

    core::ComponentHandle<IAviEncoder> encoder_;
    I_CONVERT_Callback* callback_ = nullptr;
    std::string source_;
    std::string target_;
    std::int32_t family_ = 0;
    std::atomic<std::uint8_t> cancel_{1};
    std::int32_t sampleRate_ = 44100;
    bool hasAudio_ = false;
    AviEncodeParams params_{};
    platform::PixelAspect pixelAspect_;
    void* preview_ = nullptr;
    std::thread worker_;
    std::atomic<bool> done_{true};
    std::atomic<std::thread::id> workerId_{};
    std::mutex doneMutex_;
    std::condition_variable doneCv_;
};

}  // namespace
}  // namespace reelcast::jobs

REELCAST_EXPORT_COMPONENT(AVIENCWRAPPER, reelcast::jobs::AviConversionJob)
