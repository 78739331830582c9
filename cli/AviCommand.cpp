// reelcast-cli convert for the AVI modes, and the compressor list. The AVI job is
// driven without its dialog: the compressor comes from --codec or the mode's
// family, the sound from --audio (default MP3 with the stored MP3 settings).
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Cancel.h"
#include "cli/Commands.h"
#include "cli/JobCallback.h"
#include "cli/Progress.h"
#include "engine/avi/AviEncodeParams.h"
#include "engine/avi/AviOutputName.h"
#include "engine/jobs/IAviConversionJob.h"
#include "engine/media/IMediaInfo.h"

namespace reelcast::cli {
namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::uint32_t FourCC(const std::string& s) {
    char c[4] = {' ', ' ', ' ', ' '};
    for (std::size_t i = 0; i < s.size() && i < 4; ++i) c[i] = s[i];
    return std::uint32_t(std::uint8_t(c[0])) | std::uint32_t(std::uint8_t(c[1])) << 8 |
           std::uint32_t(std::uint8_t(c[2])) << 16 | std::uint32_t(std::uint8_t(c[3])) << 24;
}

std::string FourCCText(std::uint32_t h) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += char((h >> (8 * i)) & 0xFF);
    return s;
}

}  // namespace

int RunAviConvert(Engine& engine, const CliOptions& opts) {
    // Without --fps the source's own rate, or the nearest the AVI path offers;
    // 25 fps when the source tells none.
    int rateIndex = 2;
    if (opts.fps <= 0) {
        if (auto probe = engine.Make<IMediaInfo>(core::kMediaInfoExport)) {
            VideoStreamInfo video{};
            if (probe->Open(opts.input.c_str(), false)) probe->GetVideoInfo(&video);
            const int nearest = video.present ? NearestFrameRateIndex(video.frameRate) : -1;
            if (nearest >= 0) rateIndex = nearest;
        }
    } else {
        rateIndex = FrameRateIndex(opts.fps);
        if (rateIndex < 0) {
            std::fprintf(stderr, "reelcast-cli: --fps must be one of 23.976 24 25 29.97 30\n");
            return 2;
        }
    }
    const int sampleRate = opts.rate ? int(opts.rate) : 44100;
    AviAudioType audioType = AviAudioType::Mp3;
    if (opts.audio == "none") audioType = AviAudioType::None;
    if (opts.audio == "pcm") audioType = AviAudioType::Pcm;
    if (opts.audio == "acm") audioType = AviAudioType::Codec;
    if (audioType == AviAudioType::Pcm && sampleRate != 44100) {
        std::fprintf(stderr, "reelcast-cli: PCM sound goes into a 44100 Hz WAV file: use --rate 44100\n");
        return 2;
    }
    if ((opts.width > 0) != (opts.height > 0)) {
        std::fprintf(stderr, "reelcast-cli: --size needs both a width and a height\n");
        return 2;
    }
    const std::string written = AviOutputName(opts.output);
    if (Exists(written) && !opts.overwrite) return RefuseOverwrite(written);

    auto job = engine.Make<IAviConversionJob>(core::kAviJobExport);
    if (!job) return Unavailable("AVI conversion job");
    bool byFamily = true;
    if (!opts.codec.empty()) {
        const std::uint32_t wanted = FourCC(opts.codec);
        bool found = false;
        std::uint32_t h = 0;
        for (int i = 0; job->EnumVideoCodec(i, nullptr, &h); ++i) {
            if (h == wanted) found = true;
        }
        if (!found) {
            std::fprintf(stderr, "reelcast-cli: no video compressor '%s' (see reelcast-cli codecs)\n",
                         opts.codec.c_str());
            return 2;
        }
        job->SetVideoCodec(wanted);
        byFamily = false;
    }

    const OutputMark before = MarkOutput(written);
    Progress progress(opts.quiet);
    AviJobCallback callback(progress);
    job->SetSourceFile(opts.input.c_str());
    job->SetTargetFile(opts.output.c_str());
    job->SetPreviewWindow(nullptr);
    job->SetCodecFamily(opts.mode == Mode::Divx ? 1 : 0);
    job->SetCallback(&callback);
    job->SetAudioType(static_cast<std::int32_t>(audioType));
    if (audioType == AviAudioType::Codec && !job->ChooseDefaultAudioFormat(sampleRate)) {
        job.reset();  // before the callback it was given
        std::fprintf(stderr, "reelcast-cli: no audio codec makes a format at %d Hz\n", sampleRate);
        return 1;
    }
    if (byFamily) {
        job->StartDirect(opts.width, opts.height, rateIndex, sampleRate);
    } else {
        job->StartDirectWithCodec(opts.width, opts.height, rateIndex, sampleRate);
    }
    bool cancelSent = false;
    while (!job->WaitForWorker(100)) {
        if (CancelRequested() && !cancelSent) {
            job->Cancel();
            cancelSent = true;
        }
    }
    job.reset();  // the output is complete once the worker has ended
    const int status = callback.Conclude(engine, opts, before, cancelSent);
    if (status == 0 && written != opts.output)
        std::fprintf(stderr, "reelcast-cli: the AVI file was written as %s\n", written.c_str());
    return status;
}

int RunCodecs(Engine& engine) {
    auto job = engine.Make<IAviConversionJob>(core::kAviJobExport);
    if (!job) return Unavailable("AVI conversion job");
    char name[256];
    std::uint32_t h = 0;
    int n = 0;
    for (; job->EnumVideoCodec(n, name, &h); ++n) std::printf("%s  %s\n", FourCCText(h).c_str(), name);
    job.reset();
    if (n == 0) {
        std::fprintf(stderr, "reelcast-cli: no video compressors are installed\n");
        return 1;
    }
    return 0;
}

}  // namespace reelcast::cli
