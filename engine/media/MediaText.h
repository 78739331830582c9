// Small helpers shared by the media components: bounded copies into the fixed
// text fields of records, and the path rule of the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace reelcast::media {

// Path fields are 260 characters wide: longer paths are refused.
constexpr std::size_t kPathChars = 260;

inline bool PathFits(const char* path) {
    return path && *path && std::strlen(path) < kPathChars;
}

// Copies at most N - 1 bytes of src and terminates dst.
template <std::size_t N>
void CopyText(char (&dst)[N], std::string_view src) {
    const std::size_t n = src.size() < N - 1 ? src.size() : N - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

// The information text's marks after a stream header value it does not believe:
// what the file showed instead, when the value was replaced, or a plain mark.
inline constexpr const char* kDamagedHeaderMark = " (damaged header: ";
inline constexpr const char* kNotBelievableMark = " (not believable)";

// A four-character code as text (stops at a NUL byte inside the code).
inline void FourCCText(char (&dst)[5], std::uint32_t code) {
    for (int i = 0; i < 4; ++i) dst[i] = static_cast<char>((code >> (8 * i)) & 0xFF);
    dst[4] = '\0';
}

}  // namespace reelcast::media
