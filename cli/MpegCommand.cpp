// reelcast-cli convert for the five MPEG modes: fills the job's record exactly as
// the desktop program's settings dialogs would, then runs the MPEG job.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/logic/MpegStart.h"
#include "cli/Commands.h"
#include "cli/JobCallback.h"
#include "cli/Progress.h"
#include "cli/SourceCause.h"
#include "engine/jobs/IMpegConversionJob.h"
#include "engine/jobs/JobMessages.h"
#include "engine/media/IMediaInfo.h"

namespace reelcast::cli {
namespace {

int ModeIndex(Mode m) {
    switch (m) {
        case Mode::Mpg1: return app::kModeMpg1;
        case Mode::Vcd: return app::kModeVcd;
        case Mode::Mpg2: return app::kModeMpg2;
        case Mode::Svcd: return app::kModeSvcd;
        case Mode::Dvd: return app::kModeDvd;
        default: return -1;
    }
}

// Index of fps in the dialog's list, or -1.
template <std::size_t N>
int RateIndex(const double (&list)[N], double fps) {
    for (std::size_t i = 0; i < N; ++i) {
        if (std::fabs(list[i] - fps) < 0.001) return static_cast<int>(i);
    }
    return -1;
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

int RunMpegConvert(Engine& engine, const CliOptions& opts) {
    const int mode = ModeIndex(opts.mode);
    app::MpegDialogChoice choice;
    if (opts.fps > 0) {
        choice.frameRateIndex = mode == app::kModeMpg1 ? RateIndex(app::kMpeg1FrameRates, opts.fps)
                                                       : RateIndex(app::kMpeg2FrameRates, opts.fps);
        if (choice.frameRateIndex < 0) {
            std::fprintf(stderr, "reelcast-cli: --fps must be one of %s\n",
                         mode == app::kModeMpg1 ? "23.976 24 25 29.97 30" : "23.976 25 29.97 30");
            return 2;
        }
    }
    if (opts.width > 0) {
        choice.sizeNoChange = false;
        choice.typedWidth = opts.width;
        choice.typedHeight = opts.height;
    }
    choice.ntsc = opts.ntsc;
    choice.ntscRateIndex = opts.film ? 1 : 0;
    choice.lowResolution = opts.lowRes;

    if (Exists(opts.output) && !opts.overwrite) return RefuseOverwrite(opts.output);

    auto probe = engine.Make<IMediaInfo>(core::kMediaInfoExport);
    app::MpegSourceFacts facts;
    const bool probed = probe && probe->Open(opts.input.c_str(), false);
    VideoStreamInfo video{};
    AudioStreamInfo audio{};
    if (probe) {
        probe->GetVideoInfo(&video);
        probe->GetAudioInfo(&audio);
        probe.reset();
    }
    if (!probed) {
        // The job's own verdict on a source nobody can read.
        TellFailure(engine, opts.input, jobs::kNoMediaInfo, true);
        return 1;
    }
    facts.hasVideo = video.present != 0;
    facts.hasAudio = audio.present != 0;
    facts.width = video.width;
    facts.height = video.height < 0 ? -video.height : video.height;

    MpegJobParams record{};
    const app::MpegStartOutcome outcome = app::BuildMpegJobParams(
        mode, choice, facts, opts.input.c_str(), opts.output.c_str(), nullptr, &record);
    if (!outcome.ok) {
        TellFailure(engine, opts.input, outcome.message, true);
        return 1;
    }

    auto job = engine.Make<IMpegConversionJob>(core::kMpegJobExport);
    if (!job) return Unavailable("MPEG conversion job");
    const OutputMark before = MarkOutput(opts.output);
    Progress progress(opts.quiet);
    MpegJobCallback callback(progress);
    job->SetParameters(&record, &callback);
    if (!job->Start()) {
        job.reset();  // before the callback it was given
        std::fprintf(stderr, "reelcast-cli: the conversion could not be started\n");
        return 1;
    }
    job.reset();  // waits for the worker to end
    return callback.Conclude(engine, opts, before, callback.cancelled());
}

}  // namespace reelcast::cli
