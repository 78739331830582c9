#include "engine/mpeg/MpegEncoder.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "engine/core/Factories.h"

namespace reelcast::mpeg {

namespace {

constexpr std::int32_t kGopLength = 15;

}  // namespace

std::int32_t FrameRateCode(double fps) {
    static const double kRates[] = {23.97, 24.0, 25.0, 29.97, 30.0};
    for (int i = 0; i < 5; ++i) {
        if (std::fabs(fps - kRates[i]) < 0.01) return i + 1;
    }
    return 0;
}

std::string ContinuationName(const std::string& base, std::int32_t counter) {
    std::string stem = base;
    const std::size_t dot = stem.rfind('.');
    const std::size_t slash = stem.rfind('/');
    // Only a dot in the file name itself starts an extension.
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%02d.mpg", static_cast<int>(counter));
    return stem + suffix;
}

std::int32_t MpegEncoder::Source::ReadAudio(std::uint8_t* dest, std::int32_t max) {
    return owner_->audio_ ? owner_->audio_->ReadStream(dest, max) : 0;
}

std::int32_t MpegEncoder::Source::ReadVideo(std::uint8_t* dest, std::int32_t max) {
    return owner_->video_ ? owner_->video_->ReadStream(dest, max) : 0;
}

MpegEncoder::MpegEncoder() : source_(this) {}

MpegEncoder::~MpegEncoder() { ReleaseComponents(); }

void MpegEncoder::ReleaseComponents() {
    if (video_) video_->FreeStream();
    if (audio_) audio_->FreeStream();
    ReleaseAndClear(audio_);
    ReleaseAndClear(video_);
    ReleaseAndClear(mux_);
}

bool MpegEncoder::Init() {
    ReleaseComponents();
    mux_ = core::New<IMpegMultiplexer>("MPGLIB_MUX");
    audio_ = core::New<IMpegAudioEncoder>("MPGLIB_AUDIO");
    video_ = core::New<IMpegVideoEncoder>("MPGLIB_VIDEO");
    // Without all three nothing can be encoded: the factory then answers null.
    if (!mux_ || !audio_ || !video_) {
        ReleaseComponents();
        return false;
    }
    audio_->SetMultiplexer(mux_);
    video_->SetMultiplexer(mux_);
    return true;
}

double MpegEncoder::GetMegabytesWritten() { return mux_ ? mux_->GetMegabytesWritten() : 0.0; }

void MpegEncoder::SetMessageSink(IMpegMessageSink* sink) { sink_ = sink; }

void MpegEncoder::Report(const char* text) {
    if (sink_) sink_->Report(text);
}

bool MpegEncoder::Open(MpegEncoderParams* p) {
    if (!p) return false;
    opened_ = false;

    // Presets.
    std::int32_t kind = codingKind_;
    double factor = 1.014;
    switch (p->formatType) {
        case 0:  // VCD
            kind = 1;
            p->videoBitRate = 1150;
            if (p->audioBitRateIndex == 0) p->audioBitRateIndex = 11;
            factor = 1.4;
            break;
        case 1:  // SVCD
            kind = 3;
            p->videoBitRate = 2376;
            if (p->audioBitRateIndex == 0) p->audioBitRateIndex = 11;
            factor = 5.6;
            break;
        case 2:  // DVD program stream
            kind = 3;
            break;
        case 5:  // MPEG-1
            kind = 0;
            if (p->videoBitRate == 0) p->videoBitRate = 1150;
            if (p->audioBitRateIndex == 0) p->audioBitRateIndex = 11;
            factor = 1.0;
            break;
        case 6:  // MPEG-2
            kind = 2;
            if (p->videoBitRate == 0) p->videoBitRate = 2376;
            if (p->audioBitRateIndex == 0) p->audioBitRateIndex = 11;
            factor = 1.0;
            break;
        default:  // no preset: the kind of the previous Open
            break;
    }
    const bool mpeg1 = kind <= 1;
    const std::int32_t vbv = mpeg1 ? 20 : 112;
    p->muxRateFactor = factor;
    p->vbvBufferSize = vbv;

    // Validation, before any component is configured.
    if (p->chromaFormat != 1 && p->chromaFormat != 3) {
        Report(kMsgChromaFormat);
        return false;
    }
    if (p->width % 16 != 0 || p->height % 16 != 0) {
        Report(kMsgDimension);
        return false;
    }
    const std::int32_t frc = FrameRateCode(p->frameRate);
    if (frc == 0) {
        Report(kMsgFrameRate);
        return false;
    }
    // Sound is coded at the rate it comes in, and Layer II has only these three:
    // any other rate would be labelled 44100 Hz and play at the wrong pitch and
    // out of sync. 0 (not given) keeps the encoder's 44100.
    const std::int32_t rate = p->audioSampleRate;
    if (rate == 32000 || rate == 44100 || rate == 48000) {
        audio_->SetSampleRate(static_cast<std::uint32_t>(rate));
    } else if (rate != 0) {
        Report(kMsgSampleRate);
        return false;
    }
    // Find out now, not after the first pictures, when the file cannot be made.
    if (!p->outputPath || !p->outputPath[0]) {
        Report(kMsgCreateOutput);
        return false;
    }
    {
        const bool existed = ::access(p->outputPath, F_OK) == 0;
        const int fd = ::open(p->outputPath, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            Report(kMsgCreateOutput);
            return false;
        }
        ::close(fd);
        if (!existed) ::unlink(p->outputPath);
    }
    outputName_ = baseName_ = p->outputPath;

    const bool pal = frc == 3;
    const std::int32_t colour = pal ? 5 : 4;
    const std::int32_t videoFormat = pal ? 1 : 2;
    const std::int32_t cbr = p->formatType == 2 ? 0 : 1;

    codingKind_ = kind;
    formatType_ = p->formatType;
    muxRateFactor_ = factor;
    audioBitRateIndex_ = static_cast<std::uint32_t>(p->audioBitRateIndex);
    videoBitRate_ = static_cast<double>(p->videoBitRate) * 1000.0;
    frameRateCode_ = frc;

    video_->SetPictureFormat(p->chromaFormat, videoBitRate_, frc, p->width, p->height, kGopLength,
                             p->totalFrames);
    video_->DetectProcessor();
    audio_->SetParameters(audioBitRateIndex_, p->frameRate);
    fileCounter_ = 1;
    totalFrames_ = 0;
    ConfigureMultiplexer();
    video_->SetCodingMode(kind, 0, mpeg1 ? 1 : 0, p->frameRate, mpeg1 ? 1 : 0, mpeg1 ? 0 : 1, cbr, mpeg1 ? 1 : 0,
                          vbv, 4, mpeg1 ? 1 : 0, mpeg1 ? 8 : 2, colour, colour, videoFormat);
    opened_ = StartStreams();
    return opened_;
}

void MpegEncoder::ConfigureMultiplexer() {
    // A multiplexer that has ended one file starts the next one afresh.
    mux_->Init();
    outputReported_ = false;
    mux_->SetStream(&source_, muxRateFactor_, audioBitRateIndex_, videoBitRate_, outputName_.c_str(),
                    static_cast<std::uint32_t>(frameRateCode_), kGopLength);
    switch (codingKind_) {
        case 0: mux_->SetMpeg1Format(0, 20); break;
        case 1: mux_->SetMpeg1Format(1, 20); break;
        case 2: mux_->SetMpeg2Format(2, 1); break;
        default: mux_->SetMpeg2Format(3, formatType_ == 2 ? 0 : 1); break;
    }
}

bool MpegEncoder::StartStreams() {
    videoStarted_ = video_->Start();
    audioStarted_ = audio_->Start();
    fileFrames_ = 0;
    return videoStarted_ && audioStarted_;
}

bool MpegEncoder::CheckOutput() {
    if (!mux_->WriteFailed()) return true;
    if (!outputReported_) Report(kMsgWriteOutput);
    outputReported_ = true;
    return false;
}

bool MpegEncoder::EncodeFrame(const VideoFrame* frame, const SampleBlock* audio) {
    if (!opened_) return false;
    SampleBlock none{nullptr, 0};
    if (!audio_->PutSamples(audio ? audio : &none, &audioStarted_)) {
        Close();
        Report(kMsgTooMuchAudio);
        return false;
    }
    if (!audioStarted_) {
        // The sound stops when its buffer overflows, which happens when the
        // multiplexer has stopped draining it because the file cannot be written.
        Close();
        CheckOutput();
        return false;
    }
    if (!video_->PutFrame(frame, &videoStarted_, fileFrames_)) {
        Close();
        return false;
    }
    ++fileFrames_;
    if (!videoStarted_) {
        Close();
        CheckOutput();
        return false;
    }
    ++totalFrames_;
    if (!mux_->Multiplex()) {
        CheckOutput();
        return false;
    }
    return true;
}

void MpegEncoder::Close() {
    if (audioStarted_) audio_->Stop();
    if (videoStarted_) video_->Stop();
    mux_->Finish();
    CheckOutput();
}

bool MpegEncoder::StartNextFile() {
    Close();
    ++fileCounter_;
    outputName_ = ContinuationName(baseName_, fileCounter_);
    ConfigureMultiplexer();
    return StartStreams();
}

}  // namespace reelcast::mpeg

REELCAST_EXPORT_COMPONENT(MPGLIB, reelcast::mpeg::MpegEncoder)
