// The headers above the macroblock layer, in ISO/IEC 13818-2 section 6.2 syntax
// (ISO/IEC 11172-2 for the MPEG-1 kinds). Every start code is byte-aligned by
// zero bits first.
#pragma once

#include <cstdint>

#include "engine/mpeg/BitWriter.h"
#include "engine/mpeg/video/CodingTypes.h"

namespace reelcast::mpeg::video {

inline constexpr std::uint32_t kPictureStartCode = 0x100;
inline constexpr std::uint32_t kSliceStartCodeFirst = 0x101;
inline constexpr std::uint32_t kUserDataStartCode = 0x1B2;
inline constexpr std::uint32_t kSequenceHeaderCode = 0x1B3;
inline constexpr std::uint32_t kExtensionStartCode = 0x1B5;
inline constexpr std::uint32_t kSequenceEndCode = 0x1B7;
inline constexpr std::uint32_t kGroupStartCode = 0x1B8;

// Heights above this need the slice_vertical_position_extension (MPEG-2).
inline constexpr int kSliceExtensionHeight = 2800;

// bit_rate_value as written (18 low bits in the sequence header, the rest in
// the sequence extension): the constant rate, or the uncontrolled rate; 0x3FFFF
// (variable) for MPEG-1 without rate control.
std::uint32_t BitRateValue(const SequenceSettings& s);

void WriteStartCode(BitWriter& bw, std::uint32_t code);

// Sequence header, and for the MPEG-2 kinds its sequence extension and sequence
// display extension.
void WriteSequenceHeader(BitWriter& bw, const SequenceSettings& s);

// time_code of the group whose first picture has display number n.
std::uint32_t TimeCode(int n, double frameRate);
void WriteGroupHeader(BitWriter& bw, const SequenceSettings& s, int firstDisplayNumber, bool closed);

// fCode: forward horizontal, forward vertical, backward horizontal, backward vertical.
void WritePictureHeader(BitWriter& bw, const SequenceSettings& s, int type, int temporalReference,
                        int vbvDelay, const int fCode[4]);
void WritePictureCodingExtension(BitWriter& bw, const SequenceSettings& s, const int fCode[4]);
// Scan-offset placeholders the multiplexer fills in SVCD files.
void WriteSvcdUserData(BitWriter& bw);
void WriteSliceHeader(BitWriter& bw, const SequenceSettings& s, int mbRow, int quantiserCode);
void WriteSequenceEnd(BitWriter& bw);

}  // namespace reelcast::mpeg::video
