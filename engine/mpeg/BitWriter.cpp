#include "engine/mpeg/BitWriter.h"

#include <cstring>

namespace reelcast::mpeg {

std::int32_t BitWriter::Drain(std::uint8_t* dest, std::int32_t maxBytes) {
    if (!dest || !buffer || maxBytes <= 0 || writeIndex <= 0) return 0;
    const std::int32_t n = maxBytes < writeIndex ? maxBytes : writeIndex;
    std::memcpy(dest, buffer, static_cast<std::size_t>(n));
    std::memmove(buffer, buffer + n, static_cast<std::size_t>(writeIndex - n));
    writeIndex -= n;
    return n;
}

}  // namespace reelcast::mpeg
