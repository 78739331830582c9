#include "engine/jobs/MpegJob.h"

#include <cstring>
#include <vector>

#include "engine/core/Factories.h"
#include "engine/jobs/MpegJobRules.h"
#include "engine/media/IAudioStreamConverter.h"
#include "engine/media/IMediaInfo.h"
#include "engine/mpeg/IMpegEncoder.h"
#include "engine/picture/IYuvUtil.h"
#include "platform/window/PreviewWindow.h"

namespace reelcast::jobs {
namespace {

constexpr std::uint32_t kDibHeaderSize = 40;

// A planar picture whose chroma planes are sized for the width and height made
// even, as the converter writes them.
struct PlanarPicture {
    VideoFrame frame{};
    std::vector<std::uint8_t> storage;

    void Allocate(std::int32_t w, std::int32_t h) {
        const std::size_t luma = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
        const std::size_t cw = static_cast<std::size_t>(w + (w & 1));
        const std::size_t ch = static_cast<std::size_t>(h + (h & 1));
        const std::size_t chroma = cw * ch;
        storage.assign(luma + 2 * chroma, 0);
        frame.width = w;
        frame.height = h;
        frame.chromaFormat = 1;
        frame.y = storage.data();
        frame.cb = frame.y + luma;
        frame.cr = frame.cb + chroma;
    }
};

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

void MpegJob::Run() {
    const MpegJobParams p = params_;
    I_MPEG_Callback* cb = callback_;
    auto message = [cb](const char* text) {
        if (cb) cb->OnMessage(text);
    };
    auto cancelled = [cb] { return cb && cb->IsCancelled(); };

    // 1. Probe.
    VideoStreamInfo video{};
    AudioStreamInfo audio{};
    {
        IMediaInfo* probe = core::New<IMediaInfo>("MEDIAGETINFO");
        if (!probe || !probe->Open(p.sourcePath, false)) {
            ReleaseAndClear(probe);
            message(kNoMediaInfo);
            return;
        }
        probe->GetAudioInfo(&audio);
        probe->GetVideoInfo(&video);
        ReleaseAndClear(probe);
    }

    // 2. Output sample rate.
    const std::uint32_t sampleRate = OutputSampleRate(p.audioRate, audio.sampleRate);

    // 3. Something to convert.
    if (!video.present && !audio.present) {
        message(kNoStreams);
        return;
    }

    // 4. Frame source.
    frameSource_ = core::New<IVideoFrameSource>("VIDEODATADLL");
    if (!frameSource_ ||
        (video.present && !frameSource_->Open(p.sourcePath, static_cast<std::int32_t>(p.width),
                                              static_cast<std::int32_t>(p.height), p.frameRate))) {
        ReleaseAndClear(frameSource_);
        message(kFrameError);
        return;
    }

    // 5. Sound.
    IAudioStreamConverter* sound = core::New<IAudioStreamConverter>("ASCONVERT");
    if (sound && audio.present) sound->Open(p.sourcePath, p.frameRate, sampleRate);

    // 6. Picture count.
    const std::uint32_t n = TargetPictureCount(video.frameCount, video.frameRate, p.frameRate);

    // 7. Encoder front.
    IMpegEncoder* encoder = core::New<IMpegEncoder>("MPGLIB");
    IYuvUtil* yuv = nullptr;
    std::vector<std::uint8_t> frameBuffer;
    PlanarPicture a;
    PlanarPicture b;
    bool finished = false;

    auto cleanUp = [&] {
        frameBuffer = {};
        ReleaseAndClear(yuv);
        ReleaseAndClear(encoder);
        ReleaseAndClear(sound);
        ReleaseAndClear(frameSource_);
        if (finished && cb) cb->OnFinished();
    };

    if (!encoder || !sound) {
        message(encoder ? kFrameError : kEncodeFailed);
        cleanUp();
        return;
    }
    MpegEncoderParams ep{};
    ep.outputPath = p.outputPath;
    ep.formatType = static_cast<std::int32_t>(p.jobKind);
    ep.totalFrames = static_cast<std::int32_t>(n + 2);
    ep.frameRate = p.frameRate;
    ep.chromaFormat = 1;
    ep.audioSampleRate = static_cast<std::int32_t>(sampleRate);
    ep.width = static_cast<std::int32_t>(p.width);
    ep.height = static_cast<std::int32_t>(p.height);
    ep.videoBitRate = p.jobKind == 6 ? 2376 : 1150;
    encoder->SetMessageSink(this);
    if (!encoder->Open(&ep)) {
        // The front refused the settings or could not start its streams: say why
        // rather than fail on the first picture.
        const std::string why = TakeLastMessage();
        message(why.empty() ? kEncodeFailed : why.c_str());
        cleanUp();
        return;
    }

    // 8. Picture converter.
    yuv = core::New<IYuvUtil>("YUVUTL");

    // 9. Size of picture 0. No pictures means nothing can be encoded: say so
    // instead of ending silently, which would leave the caller waiting.
    std::uint32_t size = 0;
    if (!yuv || n == 0 || !frameSource_->GetFrame(0, nullptr, &size) || size <= kDibHeaderSize) {
        message(kFrameError);
        cleanUp();
        return;
    }

    // 10. Frame buffer and picture 0's header.
    frameBuffer.assign(size, 0);
    if (!frameSource_->GetFrame(0, frameBuffer.data(), &size)) {
        message(kFrameError);
        encoder->Close();
        cleanUp();
        return;
    }
    std::int32_t srcW = ReadInt32(frameBuffer.data() + 4);
    std::int32_t srcH = ReadInt32(frameBuffer.data() + 8);
    if (srcH < 0) srcH = -srcH;
    const std::uint64_t rowBytes = ((3ull * static_cast<std::uint64_t>(srcW) + 3) / 4) * 4;
    if (srcW <= 0 || srcH <= 0 ||
        kDibHeaderSize + rowBytes * static_cast<std::uint64_t>(srcH) > frameBuffer.size()) {
        message(kFrameError);
        encoder->Close();
        cleanUp();
        return;
    }
    const bool scaling = srcW != static_cast<std::int32_t>(p.width) ||
                         srcH != static_cast<std::int32_t>(p.height);

    // 11. Pictures A and B.
    a.Allocate(srcW, srcH);
    if (scaling) b.Allocate(static_cast<std::int32_t>(p.width), static_cast<std::int32_t>(p.height));
    const VideoFrame* coded = scaling ? &b.frame : &a.frame;

    // 12. The loop.
    std::uint32_t i = 0;
    bool stopped = false;
    bool failed = false;
    for (; i < n; ++i) {
        if (cancelled()) {
            stopped = true;
            break;
        }
        if (!frameSource_->GetFrame(i, frameBuffer.data(), &size)) {
            message(kFrameError);
            encoder->Close();
            finished = true;
            break;
        }
        platform::DrawPicture(p.previewWindow, frameBuffer.data(),
                              static_cast<std::uint32_t>(frameBuffer.size()));
        yuv->RgbToYuv420(srcW, srcH, frameBuffer.data() + kDibHeaderSize, a.frame.y, a.frame.cb,
                         a.frame.cr);
        if (scaling) yuv->Scale(&a.frame, &b.frame);
        SampleBlock block{};
        sound->GetBlock(&block);
        const bool ok = encoder->EncodeFrame(coded, &block);
        if (cb) cb->OnProgress(ProgressValue(i, n));
        if (!ok) {
            stopped = true;
            failed = true;
            break;
        }
        if (i == n - 1) {
            while (i % 3 != 0) {
                encoder->EncodeFrame(coded, &block);
                ++i;
            }
        }
    }

    if (stopped) {
        // 14. A partial file is completed once more than four pictures went in.
        if (i > 3) encoder->Close();
        if (failed) {
            const std::string why = TakeLastMessage();
            message(why.empty() ? kEncodeFailed : why.c_str());
        }
    } else if (!finished) {
        // 13. Ran to the end. The front reports a file it could not complete to
        // its sink: then the conversion has failed, not finished.
        TakeLastMessage();
        encoder->Close();
        const std::string why = TakeLastMessage();
        if (why.empty()) {
            finished = true;
        } else {
            message(why.c_str());
        }
    }
    cleanUp();
}

}  // namespace reelcast::jobs

REELCAST_EXPORT_COMPONENT(OMBRIX, reelcast::jobs::MpegJob)
