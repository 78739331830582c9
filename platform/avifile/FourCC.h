// Four-character codes as RIFF files and the AVIFile services spell them, and
// the stream types of an AVI stream header.
#pragma once

#include <cstdint>

namespace reelcast::platform {

constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24;
}

constexpr std::uint32_t kStreamTypeVideo = MakeFourCC('v', 'i', 'd', 's');
constexpr std::uint32_t kStreamTypeAudio = MakeFourCC('a', 'u', 'd', 's');

}  // namespace reelcast::platform
