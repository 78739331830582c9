// The optional components checked once at start. The program's decoders stand
// in for what the user was once asked to install: "DirectX" is present when the
// decoding libraries load, "Windows Media Format" when the WMV and WMA decoders
// exist, QuickTime when the bridge says its decoders and encoders are there.
#pragma once

namespace reelcast::app {

// The bridge's QuickTimeStatus() answer that means QuickTime is missing.
inline constexpr int kQuickTimeMissing = 1;

struct ComponentStatus {
    bool directX = true;
    bool windowsMedia = true;
    bool quickTime = true;

    bool AnyMissing() const { return !directX || !windowsMedia || !quickTime; }
};

inline bool QuickTimePresent(int quickTimeStatus) { return quickTimeStatus != kQuickTimeMissing; }

// Whether FFmpeg's decoding libraries, the ones the engine was built against, load.
bool DecodingLibrariesLoad();
// Whether libavcodec offers the Windows Media Video 9 and Windows Media Audio 2 decoders.
bool WindowsMediaDecodersExist();

// The three checks, in their order; quickTimeStatus as the bridge answered it.
ComponentStatus CheckComponents(int quickTimeStatus);

}  // namespace reelcast::app
