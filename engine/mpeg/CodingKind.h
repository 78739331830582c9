// The coding kind: which syntax and which fixed choices of it the video encoder
// and the multiplexer use. Records that cross the library boundary keep it as a
// plain integer of these values.
#pragma once

#include <cstdint>

namespace reelcast::mpeg {

enum class CodingKind : std::int32_t {
    Mpeg1 = 0,     // generic MPEG-1 video in an MPEG-1 system stream
    Vcd = 1,       // MPEG-1, constrained for VCD players
    Mpeg2 = 2,     // generic MPEG-2 video in a program stream
    SvcdOrDvd = 3, // MPEG-2 for SVCD and DVD players (SVCD also carries scan offsets)
};

// Kinds 0 and 1 (and, from C callers, anything below) use the MPEG-1 syntax.
constexpr bool IsMpeg1(CodingKind k) { return static_cast<std::int32_t>(k) <= static_cast<std::int32_t>(CodingKind::Vcd); }

}  // namespace reelcast::mpeg
