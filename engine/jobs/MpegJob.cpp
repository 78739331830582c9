#include "engine/jobs/MpegJob.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/core/Factories.h"
#include "engine/core/ThreadCount.h"
#include "engine/jobs/MpegJobRules.h"
#include "engine/jobs/PictureSound.h"
#include "engine/jobs/PictureStage.h"
#include "engine/media/IAudioStreamConverter.h"
#include "engine/media/IMediaInfo.h"
#include "engine/mpeg/IMpegEncoder.h"
#include "engine/picture/IYuvUtil.h"
#include "platform/avifile/BitmapInfo.h"

namespace reelcast::jobs {
namespace {

using platform::kBitmapInfoHeaderSize;

std::int32_t ReadInt32(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

MpegJob::~MpegJob() {
    if (worker_.joinable()) worker_.join();
}

bool MpegJob::Init() {
    callback_ = nullptr;
    started_ = false;
    return true;
}

IMpegConversionJob* MpegJob::SetParameters(const MpegJobParams* params, I_MPEG_Callback* callback) {
    if (params) std::memcpy(&params_, params, sizeof params_);
    // The program's record may come without terminators; never read past the fields.
    params_.sourcePath[kRecordPathSize - 1] = '\0';
    params_.outputPath[kRecordPathSize - 1] = '\0';
    callback_ = callback;
    return this;
}

void* MpegJob::Start() {
    if (started_) return nullptr;  // one run per job object
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (...) {
        return nullptr;
    }
    started_ = true;
    return &worker_;
}

void MpegJob::Report(const char* message) {
    std::lock_guard<std::mutex> lock(messageLock_);
    lastMessage_ = message ? message : "";
}

std::string MpegJob::TakeLastMessage() {
    std::lock_guard<std::mutex> lock(messageLock_);
    std::string m;
    m.swap(lastMessage_);
    return m;
}

// One run of the job on its worker thread: the components it creates, the
// buffers it reuses for every picture, and its steps in the order they run.
class MpegJob::Conversion {
public:
    explicit Conversion(MpegJob& job) : job_(job), p_(job.params_), cb_(job.callback_) {}

    // Runs every step; true when the output file is complete.
    bool Run();
    // Releases the run's components in the order they are ended.
    void ReleaseComponents();
    // An output this run created but did not complete: nothing in it is usable.
    bool LeftIncompleteOutput() const { return outputOpened_ && !outputClosed_; }

private:
    // How the picture loop ended.
    enum class LoopEnd { Done, ReadFailed, Cancelled, EncodeFailed };

    bool Probe();
    bool OpenFrameSource();
    void OpenSound();
    bool OpenEncoder();
    bool ReadFirstPicture();
    void ConfigurePictureStage();
    LoopEnd EncodePictures();
    bool EncodePicture(std::uint32_t i, const StagedPicture& picture);
    bool Finish(LoopEnd end);
    void CloseOutput();

    void Message(const char* text) {
        if (cb_) cb_->OnMessage(text);
    }
    // The front's own reason for a failure, or the general text when it gave none.
    void ReportFrontFailure() {
        const std::string why = job_.TakeLastMessage();
        Message(why.empty() ? kEncodeFailed : why.c_str());
    }

    MpegJob& job_;
    const MpegJobParams p_;
    I_MPEG_Callback* const cb_;

    VideoStreamInfo video_{};
    AudioStreamInfo audio_{};
    std::uint32_t sampleRate_ = 0;
    std::uint32_t pictureCount_ = 0;

    core::ComponentHandle<IAudioStreamConverter> sound_;
    std::optional<PictureSound> padding_;  // when the source has sound
    core::ComponentHandle<IMpegEncoder> encoder_;
    core::ComponentHandle<IYuvUtil> yuv_;

    std::vector<std::uint8_t> frameBuffer_;
    std::uint32_t frameSize_ = 0;
    std::int32_t srcW_ = 0;
    std::int32_t srcH_ = 0;
    PictureStage stage_;
    std::uint32_t stoppedAt_ = 0;  // the picture index the loop stopped at
    bool outputOpened_ = false;
    bool outputClosed_ = false;
};

bool MpegJob::Conversion::Run() {
    if (!Probe()) return false;
    sampleRate_ = OutputSampleRate(p_.audioRate, audio_.sampleRate);
    if (!video_.present && !audio_.present) {
        Message(kNoStreams);
        return false;
    }
    if (!OpenFrameSource()) return false;
    OpenSound();
    pictureCount_ = TargetPictureCount(video_.frameCount, video_.frameRate, p_.frameRate);
    // The first picture is read before the output exists: a source that gives
    // none leaves no file behind.
    yuv_ = core::MakeHandle<IYuvUtil>("YUVUTL");
    if (!ReadFirstPicture()) return false;
    if (!OpenEncoder()) return false;
    ConfigurePictureStage();
    return Finish(EncodePictures());
}

void MpegJob::Conversion::CloseOutput() {
    encoder_->Close();
    outputClosed_ = true;
}

void MpegJob::Conversion::ReleaseComponents() {
    stage_.Stop();
    frameBuffer_ = {};
    yuv_.reset();
    encoder_.reset();
    sound_.reset();
    job_.frameSource_.reset();
}

bool MpegJob::Conversion::Probe() {
    auto probe = core::MakeHandle<IMediaInfo>("MEDIAGETINFO");
    if (!probe || !probe->Open(p_.sourcePath, false)) {
        Message(kNoMediaInfo);
        return false;
    }
    probe->GetAudioInfo(&audio_);
    probe->GetVideoInfo(&video_);
    return true;
}

bool MpegJob::Conversion::OpenFrameSource() {
    auto& frames = job_.frameSource_;
    frames = core::MakeHandle<IVideoFrameSource>("VIDEODATADLL");
    if (!frames || (video_.present && !frames->Open(p_.sourcePath, static_cast<std::int32_t>(p_.width),
                                                    static_cast<std::int32_t>(p_.height), p_.frameRate))) {
        frames.reset();
        Message(kFrameError);
        return false;
    }
    return true;
}

void MpegJob::Conversion::OpenSound() {
    sound_ = core::MakeHandle<IAudioStreamConverter>("ASCONVERT");
    if (!sound_ || !audio_.present) return;
    sound_->Open(p_.sourcePath, p_.frameRate, sampleRate_);
    // Sound that cannot be read, or ends early, is completed with silence: a
    // source with sound never gives a file without it.
    padding_.emplace(p_.frameRate, static_cast<std::int32_t>(sampleRate_));
}

bool MpegJob::Conversion::OpenEncoder() {
    encoder_ = core::MakeHandle<IMpegEncoder>("MPGLIB");
    if (!encoder_ || !sound_) {
        Message(encoder_ ? kFrameError : kEncodeFailed);
        return false;
    }
    const auto kind = static_cast<MpegJobKind>(p_.jobKind);
    MpegEncoderParams ep{};
    ep.outputPath = p_.outputPath;
    ep.formatType = static_cast<std::int32_t>(FormatTypeOf(kind));
    ep.totalFrames = static_cast<std::int32_t>(pictureCount_ + 2);
    ep.frameRate = p_.frameRate;
    ep.chromaFormat = 1;
    ep.audioSampleRate = static_cast<std::int32_t>(sampleRate_);
    ep.width = static_cast<std::int32_t>(p_.width);
    ep.height = static_cast<std::int32_t>(p_.height);
    ep.videoBitRate = VideoBitRateOf(kind);
    encoder_->SetMessageSink(&job_);
    if (!encoder_->Open(&ep)) {
        // The front refused the settings or could not start its streams: say why
        // rather than fail on the first picture.
        ReportFrontFailure();
        return false;
    }
    outputOpened_ = true;
    return true;
}

// Picture 0 gives the size of every frame buffer and the source picture size.
// No pictures means nothing can be encoded: say so instead of ending silently,
// which would leave the caller waiting.
bool MpegJob::Conversion::ReadFirstPicture() {
    IVideoFrameSource* frames = job_.frameSource_.get();
    if (!yuv_ || pictureCount_ == 0 || !frames->GetFrame(0, nullptr, &frameSize_) ||
        frameSize_ <= kBitmapInfoHeaderSize) {
        Message(kFrameError);
        return false;
    }
    frameBuffer_.assign(frameSize_, 0);
    bool ok = frames->GetFrame(0, frameBuffer_.data(), &frameSize_);
    if (ok) {
        srcW_ = ReadInt32(frameBuffer_.data() + 4);
        srcH_ = ReadInt32(frameBuffer_.data() + 8);
        if (srcH_ < 0) srcH_ = -srcH_;
        const std::uint64_t rowBytes = ((3ull * static_cast<std::uint64_t>(srcW_) + 3) / 4) * 4;
        ok = srcW_ > 0 && srcH_ > 0 &&
             kBitmapInfoHeaderSize + rowBytes * static_cast<std::uint64_t>(srcH_) <= frameBuffer_.size();
    }
    if (!ok) {
        Message(kFrameError);
        return false;
    }
    return true;
}

// Reading, showing, converting and scaling each picture, with its sound.
void MpegJob::Conversion::ConfigurePictureStage() {
    PictureStage::Source src;
    src.frames = job_.frameSource_.get();
    src.yuv = yuv_.get();
    src.sound = sound_.get();
    src.previewWindow = p_.previewWindow;
    src.frameBuffer = &frameBuffer_;
    src.sourceWidth = srcW_;
    src.sourceHeight = srcH_;
    src.outputWidth = static_cast<std::int32_t>(p_.width);
    src.outputHeight = static_cast<std::int32_t>(p_.height);
    stage_.Configure(src);
}

// With more than one thread the picture stage reads and converts ahead of the
// encoder, a few pictures at most; the encoder gets the same pictures in the
// same order as when the stage runs here between encodings. The encoder takes
// its pictures in threes (a reference picture and the two B pictures before
// it) with no coding in between: with room for two such groups the stage keeps
// working while the encoder codes, and the encoder does not wait for pictures.
MpegJob::Conversion::LoopEnd MpegJob::Conversion::EncodePictures() {
    constexpr std::size_t kPicturesAhead = 6;
    const bool ahead = core::ConversionThreads() > 1 && stage_.Start(pictureCount_, kPicturesAhead);
    StagedPicture here;
    LoopEnd end = LoopEnd::Done;
    for (std::uint32_t i = 0; i < pictureCount_; ++i) {
        stoppedAt_ = i;
        if (cb_ && cb_->IsCancelled()) {
            end = LoopEnd::Cancelled;
            break;
        }
        if (!ahead) stage_.Produce(i, here);
        const StagedPicture& picture = ahead ? stage_.Next() : here;
        if (picture.readFailed) {
            Message(kFrameError);
            CloseOutput();
            end = LoopEnd::ReadFailed;
            break;
        }
        const bool ok = EncodePicture(i, picture);
        if (ahead) stage_.Done();
        if (!ok) {
            end = LoopEnd::EncodeFailed;
            break;
        }
    }
    // Nothing reads on once the loop has ended, whatever ended it.
    stage_.Stop();
    return end;
}

// Encodes one picture with its sound.
bool MpegJob::Conversion::EncodePicture(std::uint32_t i, const StagedPicture& picture) {
    const VideoFrame* coded = &picture.picture.frame;
    SampleBlock block = picture.block;
    if (padding_) block = padding_->Complete(block, i);
    const bool ok = encoder_->EncodeFrame(coded, &block);
    if (cb_) cb_->OnProgress(ProgressValue(i, pictureCount_));
    if (!ok) return false;
    // The last picture goes in again until the count is of the form 3k + 1.
    if (i == pictureCount_ - 1) {
        for (std::uint32_t k = 1; k < LastPictureRepeats(pictureCount_); ++k) encoder_->EncodeFrame(coded, &block);
    }
    return true;
}

bool MpegJob::Conversion::Finish(LoopEnd end) {
    switch (end) {
        case LoopEnd::ReadFailed:
            // The file is complete up to the picture before.
            return true;
        case LoopEnd::Cancelled:
        case LoopEnd::EncodeFailed:
            // A partial file is completed once more than four pictures went in.
            if (stoppedAt_ > 3) CloseOutput();
            if (end == LoopEnd::EncodeFailed) ReportFrontFailure();
            return false;
        case LoopEnd::Done:
            break;
    }
    // The front reports a file it could not complete to its sink: then the
    // conversion has failed, not finished.
    job_.TakeLastMessage();
    CloseOutput();
    const std::string why = job_.TakeLastMessage();
    if (!why.empty()) {
        Message(why.c_str());
        return false;
    }
    if (padding_ && !padding_->HeardSource()) Message(kSoundUnreadable);
    return true;
}

void MpegJob::Run() {
    Conversion conversion(*this);
    const bool finished = conversion.Run();
    conversion.ReleaseComponents();
    if (!finished && conversion.LeftIncompleteOutput()) std::remove(params_.outputPath);
    if (finished && callback_) callback_->OnFinished();
}

}  // namespace reelcast::jobs

REELCAST_EXPORT_COMPONENT(OMBRIX, reelcast::jobs::MpegJob)
