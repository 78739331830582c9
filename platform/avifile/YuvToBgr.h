// Planar YCbCr with full-size chroma to a row of packed 24-bit B, G, R, as the
// media detector's bitmaps carry them: BT.601, limited range (Y 16..235,
// Cb and Cr 16..240), in 13-bit fixed point, each channel limited to 0..255.
// The AVX2 form gives the same bytes as the portable one.
#pragma once

#include <cstdint>

namespace reelcast::platform {

using YuvRowToBgr24Fn = void (*)(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                                 std::uint8_t* out, int width);

void YuvRowToBgr24Portable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                           std::uint8_t* out, int width);
// Needs AVX2; writes only the row's 3 x width bytes.
void YuvRowToBgr24Avx2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* out,
                       int width);

// The fastest form this processor runs (the portable one when
// REELCAST_FORCE_PORTABLE=1 is set, as for the engine's kernels).
YuvRowToBgr24Fn YuvRowToBgr24Kernel();

// The coefficients x 8192: luma (Y - 16), Cb to blue, Cb and Cr to green, Cr to red.
inline constexpr int kBgrLuma = 9539, kBgrCbB = 16525, kBgrCbG = 3209, kBgrCrG = 6660, kBgrCrR = 13075;

}  // namespace reelcast::platform
