#include "engine/mpeg/MpegEncoder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "engine/core/Factories.h"
#include "engine/core/ThreadCount.h"
#include "engine/mpeg/FrameRates.h"
#include "engine/mpeg/video/CodingMode.h"

namespace reelcast::mpeg {

namespace {

constexpr std::int32_t kGopLength = 15;

}  // namespace

std::int32_t FrameRateCode(double fps) { return FrameRateIndex(fps) + 1; }

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
    audio_.reset();
    video_.reset();
    mux_.reset();
}

bool MpegEncoder::Init() {
    ReleaseComponents();
    mux_ = core::MakeHandle<IMpegMultiplexer>("MPGLIB_MUX");
    audio_ = core::MakeHandle<IMpegAudioEncoder>("MPGLIB_AUDIO");
    video_ = core::MakeHandle<IMpegVideoEncoder>("MPGLIB_VIDEO");
    // Without all three nothing can be encoded: the factory then answers null.
    if (!mux_ || !audio_ || !video_) {
        ReleaseComponents();
        return false;
    }
    audio_->SetMultiplexer(mux_.get());
    video_->SetMultiplexer(mux_.get());
    return true;
}

double MpegEncoder::GetMegabytesWritten() { return mux_ ? mux_->GetMegabytesWritten() : 0.0; }

void MpegEncoder::SetMessageSink(IMpegMessageSink* sink) { sink_ = sink; }

void MpegEncoder::Report(const char* text) {
    if (sink_) sink_->Report(text);
}

namespace {

// 224 kbit/s, the Layer II rate of every preset that chooses one.
constexpr std::int32_t kPresetAudioBitRateIndex = 11;

// What a preset decides. A zero rate or index leaves the caller's value.
struct Preset {
    MpegFormat format;
    CodingKind kind;
    std::int32_t videoBitRate;       // kbit/s
    bool videoBitRateFixed;          // replaces the caller's value even when one is given
    std::int32_t audioBitRateIndex;  // used when the caller gives 0
    // Reported back in the record. The multiplexer runs VCD and SVCD at their
    // discs' sector rates (75 and at most 150 per second) instead, since a
    // player reads the disc at that speed whatever the factor would give.
    double muxRateFactor;
};

// SVCD video averages at most 2040 kbit/s, coded at a variable rate (easy
// scenes take less), not the generic MPEG-2 2376 constant: the usual SVCD
// target, which keeps a film's file about as large as other SVCD authoring
// tools make it and leaves the disc's peak rate room for the sound.
constexpr std::int32_t kSvcdVideoBitRate = 2040;

constexpr Preset kPresets[] = {
    {MpegFormat::Vcd, CodingKind::Vcd, 1150, true, kPresetAudioBitRateIndex, 1.4},
    {MpegFormat::Svcd, CodingKind::SvcdOrDvd, kSvcdVideoBitRate, true, kPresetAudioBitRateIndex, 5.6},
    {MpegFormat::Dvd, CodingKind::SvcdOrDvd, 0, false, 0, 1.014},
    {MpegFormat::Mpeg1, CodingKind::Mpeg1, 1150, false, kPresetAudioBitRateIndex, 1.0},
    {MpegFormat::Mpeg2, CodingKind::Mpeg2, 2376, false, kPresetAudioBitRateIndex, 1.0},
};

// The factor of a format without a preset.
constexpr double kDefaultMuxRateFactor = 1.014;

const Preset* FindPreset(std::int32_t formatType) {
    for (const Preset& preset : kPresets) {
        if (static_cast<std::int32_t>(preset.format) == formatType) return &preset;
    }
    return nullptr;
}

// Completes the record from its format's preset; answers the coding kind, which
// is `previous` for a format without a preset.
CodingKind ApplyPreset(MpegEncoderParams* p, CodingKind previous) {
    const Preset* preset = FindPreset(p->formatType);
    const CodingKind kind = preset ? preset->kind : previous;
    if (preset) {
        if (preset->videoBitRate && (preset->videoBitRateFixed || p->videoBitRate == 0))
            p->videoBitRate = preset->videoBitRate;
        if (preset->audioBitRateIndex && p->audioBitRateIndex == 0) p->audioBitRateIndex = preset->audioBitRateIndex;
    }
    p->muxRateFactor = preset ? preset->muxRateFactor : kDefaultMuxRateFactor;
    p->vbvBufferSize = video::VbvBufferSizeOf(kind);
    return kind;
}

// Creates the file, unless it exists, and removes it again: finds out now, not
// after the first pictures, when the output cannot be made.
bool OutputCanBeCreated(const char* path) {
    if (!path || !path[0]) return false;
    const bool existed = ::access(path, F_OK) == 0;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    if (!existed) ::unlink(path);
    return true;
}

}  // namespace

std::int32_t MpegEncoder::CheckPictureFormat(const MpegEncoderParams& p) {
    if (p.chromaFormat != 1 && p.chromaFormat != 3) {
        Report(kMsgChromaFormat);
        return 0;
    }
    if (p.width % 16 != 0 || p.height % 16 != 0) {
        Report(kMsgDimension);
        return 0;
    }
    const std::int32_t frc = FrameRateCode(p.frameRate);
    if (frc == 0) Report(kMsgFrameRate);
    return frc;
}

bool MpegEncoder::AcceptSampleRate(std::int32_t rate) {
    // Sound is coded at the rate it comes in, and Layer II has only these three:
    // any other rate would be labelled 44100 Hz and play at the wrong pitch and
    // out of sync. 0 (not given) keeps the encoder's 44100.
    if (rate == 32000 || rate == 44100 || rate == 48000) {
        audio_->SetSampleRate(static_cast<std::uint32_t>(rate));
    } else if (rate != 0) {
        Report(kMsgSampleRate);
        return false;
    }
    return true;
}

bool MpegEncoder::Open(MpegEncoderParams* p) {
    if (!p) return false;
    opened_ = false;
    const CodingKind kind = ApplyPreset(p, codingKind_);

    // Validation, before any component is configured.
    const std::int32_t frc = CheckPictureFormat(*p);
    if (frc == 0 || !AcceptSampleRate(p->audioSampleRate)) return false;
    if (!OutputCanBeCreated(p->outputPath)) {
        Report(kMsgCreateOutput);
        return false;
    }
    outputName_ = baseName_ = p->outputPath;

    codingKind_ = kind;
    formatType_ = p->formatType;
    muxRateFactor_ = p->muxRateFactor;
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
    video::CodingMode mode = video::CodingModeOf(kind, p->frameRate, frc, !IsDvd());
    mode.aspectRatioInformation = video::AspectRatioInformationOf(kind, p->width, p->height);
    video::SetCodingMode(*video_, mode);
    beside_.Start(std::min(core::ConversionThreads(), 2));  // two tasks: one helper at most
    opened_ = StartStreams();
    return opened_;
}

void MpegEncoder::ConfigureMultiplexer() {
    // A multiplexer that has ended one file starts the next one afresh.
    mux_->Init();
    outputReported_ = false;
    mux_->SetStream(&source_, muxRateFactor_, audioBitRateIndex_, videoBitRate_, outputName_.c_str(),
                    static_cast<std::uint32_t>(frameRateCode_), kGopLength);
    const auto kind = static_cast<std::int32_t>(codingKind_);
    if (IsMpeg1(codingKind_)) {
        mux_->SetMpeg1Format(kind, video::kMpeg1VbvBufferSize);
    } else {
        mux_->SetMpeg2Format(kind, IsDvd() ? 0 : 1);
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
    // The sound and the picture are coded side by side: each encoder hands its
    // units to a queue of its own in the multiplexer, which reads them only in
    // Multiplex below. Both run whatever the thread count, so the file is the
    // same for any.
    bool soundTaken = true;
    bool pictureTaken = true;
    // The picture is the calling thread's own task, so the video encoder's
    // team always has this thread as its first member, with that member's
    // rows in this core's cache; the sound goes to the helper.
    beside_.Run(2, [&](int task) {
        if (task == 0) pictureTaken = video_->PutFrame(frame, &videoStarted_, fileFrames_);
        else soundTaken = audio_->PutSamples(audio ? audio : &none, &audioStarted_);
    });
    if (!soundTaken) {
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
    if (!pictureTaken) {
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
