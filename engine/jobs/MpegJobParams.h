// The record the program hands to the MPEG conversion job. It crosses the library
// boundary and is copied whole, so field order and natural alignment are fixed.
#pragma once

#include <cstdint>

namespace reelcast {

// Path fields hold at most 259 characters and the terminating NUL.
constexpr std::uint32_t kRecordPathSize = 260;

// What the job makes, the values of jobKind. The DVD settings use Mpeg2 with
// the DVD's picture sizes and 48000 Hz sound.
enum class MpegJobKind : std::uint32_t {
    Vcd = 0,
    Svcd = 1,
    Mpeg1 = 5,
    Mpeg2 = 6,
};

struct MpegJobParams {
    char sourcePath[kRecordPathSize];
    char outputPath[kRecordPathSize];
    double frameRate;          // output pictures per second
    std::uint32_t audioRate;   // Hz; 0 = follow the source (limited to 32000..48000)
    std::uint32_t width;       // output size, multiples of 16
    std::uint32_t height;
    void* previewWindow;       // surface handle of platform/window; may be null
    std::uint32_t jobKind;     // an MpegJobKind
};

}  // namespace reelcast
