// Time stamps and the access-unit records the encoders queue at the multiplexer.
//
// Times inside the MPEG encoders and the multiplexer are doubles in 27 MHz ticks;
// a Timecode is the same instant as a 33-bit 90 kHz count (split into its bit 32
// and its low 32 bits) plus the 27 MHz remainder (0 to 299, always 0 in MPEG-1).
#pragma once

#include <cstdint>

namespace reelcast {

struct Timecode {
    std::uint32_t highBit;    // bit 32 of the 90 kHz count
    std::uint32_t base;       // low 32 bits of the 90 kHz count
    std::uint32_t extension;  // 27 MHz remainder, 0..299
};

// One coded Layer II frame.
struct AudioUnit {
    std::uint32_t length;  // bytes
    Timecode pts;
};

// One coded picture.
struct VideoUnit {
    std::uint32_t length;       // bytes
    std::uint32_t pictureType;  // 1 = I, 2 = P, 3 = B
    Timecode dts;
    Timecode pts;
};

// The 27 MHz time a Timecode stands for.
inline double TimecodeTicks(const Timecode& tc) {
    return (static_cast<double>(tc.highBit) * 4294967296.0 + static_cast<double>(tc.base)) * 300.0 +
           static_cast<double>(tc.extension);
}

}  // namespace reelcast
