// The MPEG job's arithmetic, apart so that it can be checked on its own.
#pragma once

#include <cstdint>

#include "engine/jobs/MpegJobParams.h"
#include "engine/mpeg/MpegEncoderParams.h"

namespace reelcast::jobs {

// Pictures at the output rate: ceil(sourceFrames x outputRate / sourceRate), the
// source rate as the probe's single-precision value. 0 when the source gives no
// usable count or rate.
std::uint32_t TargetPictureCount(std::uint32_t sourceFrames, float sourceRate, double outputRate);

// The sample rate the sound is encoded at. A fixed rate is kept; 0 follows the
// source, limited to 32000..48000 and then moved to the nearest rate Layer II
// codes (32000, 44100, 48000): any other rate would be labelled 44100 by the
// encoder while the sound ran at another speed.
std::uint32_t OutputSampleRate(std::uint32_t requested, std::uint32_t sourceRate);

// The encoder front's preset for a job kind. Each kind has the number of its
// preset, and a value outside the enumeration is passed on unchanged, so that the
// front decides what it means.
constexpr MpegFormat FormatTypeOf(MpegJobKind kind) {
    return static_cast<MpegFormat>(static_cast<std::int32_t>(kind));
}

// The video bit rate (kbit/s) the job asks of the front; presets may override it.
constexpr std::int32_t VideoBitRateOf(MpegJobKind kind) { return kind == MpegJobKind::Mpeg2 ? 2376 : 1150; }

// OnProgress value after picture i of n: runs from 0 to below 10000.
std::int32_t ProgressValue(std::uint32_t i, std::uint32_t n);

// How many times the last picture (index n-1) is handed over in all, so that the
// total count of pictures is of the form 3k + 1.
std::uint32_t LastPictureRepeats(std::uint32_t n);

}  // namespace reelcast::jobs
