#include "app/MpegJobStart.h"

#include <cstdlib>

#include "app/MessageBoxes.h"
#include "app/MpegSettingDialogs.h"
#include "app/logic/EngineLibraries.h"
#include "app/logic/MpegStart.h"
#include "engine/jobs/IMpegConversionJob.h"
#include "engine/media/IMediaInfo.h"

namespace reelcast::app {

bool StartMpegJob(int mode, const std::string& input, const std::string& output, const MpegStartContext& ctx,
                  core::ComponentHandle<IMpegConversionJob>& job) {
    VideoStreamInfo video{};
    AudioStreamInfo audio{};
    {
        auto probe = NewMediaProbe();
        if (!probe) return false;
        if (probe->Open(input.c_str(), false)) {
            probe->GetVideoInfo(&video);
            probe->GetAudioInfo(&audio);
        }
    }

    MpegSourceFacts source;
    source.hasVideo = video.present != 0;
    source.hasAudio = audio.present != 0;
    source.width = video.width;
    source.height = std::abs(video.height);
    if (!source.hasVideo || !source.hasAudio) {
        ShowMessage(ctx.owner, kNeedsAudioAndVideo, "Error", MessageIcon::Error);
        return false;
    }

    MpegDialogChoice choice;
    if (!ctx.dialogs->Ask(mode, RoundDown16(source.width), RoundDown16(source.height), &choice)) return false;

    MpegJobParams record{};
    const MpegStartOutcome outcome = BuildMpegJobParams(mode, choice, source, input.c_str(), output.c_str(),
                                                        ctx.previewWindow, &record);
    if (!outcome.ok) {
        ShowMessage(ctx.owner, outcome.message, outcome.caption, MessageIcon::Error);
        return false;
    }

    ctx.releaseJob(job);
    job = NewMpegJob();
    if (!job) return false;
    job->SetParameters(&record, ctx.callback);
    if (!job->Start()) {
        ctx.releaseJob(job);
        return false;
    }
    return true;
}

}  // namespace reelcast::app
