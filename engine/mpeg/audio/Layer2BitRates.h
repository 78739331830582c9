// Layer II bit rates in kbit/s by bitrate_index (ISO/IEC 11172-3, ID 1): index 0
// is free format, 15 is forbidden and has no entry. Used by the audio encoder for
// its frame sizes and by the multiplexer for its rate.
#pragma once

#include <cstdint>

namespace reelcast::mpeg::audio {

inline constexpr int kLayer2BitRateCount = 15;
inline constexpr std::int32_t kLayer2BitRatesKbps[kLayer2BitRateCount] = {0,   32,  48,  56,  64,  80,  96, 112,
                                                                          128, 160, 192, 224, 256, 320, 384};

}  // namespace reelcast::mpeg::audio
