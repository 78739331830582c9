// The MP3 settings kept for the user under "Software\VantorReelcast\Lame": one
// sub-key per setting, its default value the decimal number as text.
#pragma once

#include <cstdint>

namespace reelcast::avi {

inline constexpr char kLameRegistryKey[] = "Software\\VantorReelcast\\Lame";

struct LameRegistryValues {
    std::int32_t bitrate;   // kbit/s
    std::int32_t stereo;    // 0 "Stereo", 1 "Join Stereo"
    std::int32_t quality;   // 1 (best) .. 8
    std::int32_t lowpass;   // Hz
    std::int32_t highpass;  // Hz, -1 off
};

// Defaults for values that are missing: the writer's and the dialog's differ in
// the channel mode.
inline constexpr LameRegistryValues kWriterLameDefaults = {192, 2, 3, 19500, -1};
inline constexpr LameRegistryValues kDialogLameDefaults = {192, 0, 3, 19500, -1};

// Each value is read as text of at most 511 characters and converted as a
// decimal number (text that is no number gives 0); a missing one takes its default.
LameRegistryValues ReadLameSettings(const LameRegistryValues& defaults);
// Writes bitrate, stereo, quality, lowpass, highpass in that order; false when the
// store cannot be written.
bool WriteLameSettings(const LameRegistryValues& v);

}  // namespace reelcast::avi
