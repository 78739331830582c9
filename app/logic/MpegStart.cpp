#include "app/logic/MpegStart.h"

#include <cstring>
#include <iterator>

namespace reelcast::app {
namespace {

// The fixed rates of the VCD, SVCD and DVD settings, as listed.
constexpr double kFilm = kListedFrameRates[0];
constexpr double kPal = kListedFrameRates[2];
constexpr double kNtsc = kListedFrameRates[3];

MpegStartOutcome Refuse(const char* message, const char* caption) {
    return MpegStartOutcome{false, message, caption};
}

bool CopyPath(char (&field)[kRecordPathSize], const char* path) {
    const std::size_t n = path ? std::strlen(path) : 0;
    if (n >= kRecordPathSize) return false;
    if (n) std::memcpy(field, path, n);
    field[n] = '\0';
    return true;
}

}  // namespace

MpegStartOutcome BuildMpegJobParams(int mode, const MpegDialogChoice& choice,
                                    const MpegSourceFacts& source, const char* sourcePath,
                                    const char* outputPath, void* previewWindow,
                                    MpegJobParams* record) {
    if (!record || mode < kModeMpg1 || mode > kModeDvd) return Refuse("Unknown MPEG mode", "Error");
    if (!source.hasVideo || !source.hasAudio) return Refuse(kNeedsAudioAndVideo, "Error");

    MpegJobParams r{};
    if (mode == kModeMpg1 || mode == kModeMpg2) {
        if (choice.sizeNoChange) {
            r.width = static_cast<std::uint32_t>(RoundDown16(source.width));
            r.height = static_cast<std::uint32_t>(RoundDown16(source.height));
            // A source under 16 pixels would give an empty picture.
            if (r.width < 16 || r.height < 16) return Refuse(kSizeBelow16, "Stop");
        } else {
            if (choice.typedWidth % 16 != 0 || choice.typedHeight % 16 != 0)
                return Refuse(kSizeNotMultipleOf16, "Stop");
            if (choice.typedWidth < 16 || choice.typedHeight < 16) return Refuse(kSizeBelow16, "Stop");
            r.width = static_cast<std::uint32_t>(choice.typedWidth);
            r.height = static_cast<std::uint32_t>(choice.typedHeight);
        }
        if (mode == kModeMpg1) {
            const int idx = choice.frameRateIndex < 0 ? kMpeg1DefaultRateIndex : choice.frameRateIndex;
            if (idx >= static_cast<int>(std::size(kMpeg1FrameRates))) return Refuse("Unknown frame rate", "Error");
            r.frameRate = kMpeg1FrameRates[idx];
            r.jobKind = static_cast<std::uint32_t>(MpegJobKind::Mpeg1);
        } else {
            const int idx = choice.frameRateIndex < 0 ? kMpeg2DefaultRateIndex : choice.frameRateIndex;
            if (idx >= static_cast<int>(std::size(kMpeg2FrameRates))) return Refuse("Unknown frame rate", "Error");
            r.frameRate = kMpeg2FrameRates[idx];
            r.jobKind = static_cast<std::uint32_t>(MpegJobKind::Mpeg2);
        }
        r.audioRate = 0;
    } else if (mode == kModeVcd) {
        r.width = 352;
        r.height = choice.ntsc ? 240 : 288;
        r.frameRate = !choice.ntsc ? kPal : (choice.ntscRateIndex == 1 ? kFilm : kNtsc);
        r.audioRate = 44100;
        r.jobKind = static_cast<std::uint32_t>(MpegJobKind::Vcd);
    } else if (mode == kModeSvcd) {
        r.width = 480;
        r.height = choice.ntsc ? 480 : 576;
        r.frameRate = choice.ntsc ? kNtsc : kPal;
        r.audioRate = 44100;
        r.jobKind = static_cast<std::uint32_t>(MpegJobKind::Svcd);
    } else {  // DVD
        r.width = choice.lowResolution ? 352 : 720;
        r.height = choice.ntsc ? (choice.lowResolution ? 240 : 480) : (choice.lowResolution ? 288 : 576);
        r.frameRate = choice.ntsc ? kNtsc : kPal;
        r.audioRate = 48000;
        r.jobKind = static_cast<std::uint32_t>(MpegJobKind::Mpeg2);
    }
    if (!CopyPath(r.sourcePath, sourcePath) || !CopyPath(r.outputPath, outputPath))
        return Refuse(kPathTooLong, "Error");
    r.previewWindow = previewWindow;
    *record = r;
    return MpegStartOutcome{true, nullptr, nullptr};
}

}  // namespace reelcast::app
