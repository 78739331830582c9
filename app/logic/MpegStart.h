// What each MPEG settings dialog puts into the MPEG job's record. Window-free, so
// that the desktop program's dialogs and reelcast-cli fill the record the same way.
#pragma once

#include "engine/jobs/MpegJobParams.h"
#include "engine/mpeg/FrameRates.h"

namespace reelcast::app {

// The conversion window's MPEG modes, in its order.
enum MpegMode { kModeMpg1 = 0, kModeVcd = 1, kModeMpg2 = 2, kModeSvcd = 3, kModeDvd = 4 };

// The dialogs' frame-rate lists, in list order: MPEG-2 leaves out 24.
inline constexpr double kMpeg1FrameRates[] = {kListedFrameRates[0], kListedFrameRates[1], kListedFrameRates[2],
                                              kListedFrameRates[3], kListedFrameRates[4]};
inline constexpr double kMpeg2FrameRates[] = {kListedFrameRates[0], kListedFrameRates[2], kListedFrameRates[3],
                                              kListedFrameRates[4]};
// "25.0 fps(PAL)" is selected initially in both lists.
inline constexpr int kMpeg1DefaultRateIndex = 2;
inline constexpr int kMpeg2DefaultRateIndex = 1;

inline constexpr const char* kNeedsAudioAndVideo = "Mpeg1/Mpeg2 should have audio and video stream";
inline constexpr const char* kSizeNotMultipleOf16 = "Width and Height should be dived by 16";
inline constexpr const char* kSizeBelow16 = "Width and Height can not less than 16";
inline constexpr const char* kPathTooLong = "The file path is too long (at most 259 characters)";

// The user's choices in the mode's dialog.
struct MpegDialogChoice {
    int frameRateIndex = -1;   // MPEG-1/MPEG-2 list index; -1: the initial selection
    bool sizeNoChange = true;  // "Size NoChange"
    int typedWidth = 0;        // edWidth/edHeight when not sizeNoChange
    int typedHeight = 0;
    bool ntsc = false;         // "Format Setting" second item (VCD, SVCD, DVD)
    int ntscRateIndex = 0;     // VCD NTSC: 0 "29.97  fps", 1 "23.976 fps"
    bool lowResolution = false;// DVD "Video Size" second item
};

// What the source offers, from the probe.
struct MpegSourceFacts {
    bool hasVideo = false;
    bool hasAudio = false;
    int width = 0;
    int height = 0;
};

struct MpegStartOutcome {
    bool ok = false;
    const char* message = nullptr;  // for the user when !ok
    const char* caption = nullptr;  // "Error" or "Stop"
};

// The source size rounded down to multiples of 16, as the size fields show it.
inline int RoundDown16(int v) { return v > 0 ? v - v % 16 : 0; }

// Checks the choice and fills *record (zeroed first) for mode. The checks and
// their texts are the dialogs' own; paths that do not fit the record are refused.
MpegStartOutcome BuildMpegJobParams(int mode, const MpegDialogChoice& choice,
                                    const MpegSourceFacts& source, const char* sourcePath,
                                    const char* outputPath, void* previewWindow,
                                    MpegJobParams* record);

}  // namespace reelcast::app
