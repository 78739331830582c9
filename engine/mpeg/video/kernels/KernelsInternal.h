// Shared between the kernel families only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reelcast::kernels {

// Quantisers are clamped to 1..kMaxQuantiser by every (de)quantiser so that
// all products stay exact in the vector forms (2 x 255 x 64 fits int16).
inline constexpr int kMaxQuantiser = 64;

namespace portable {
void Predict(std::uint8_t* dst, const std::uint8_t* ref, std::ptrdiff_t stride, int w, int h, int hx, int hy,
             int average);
void Chroma444To422(const std::uint8_t* src, std::uint8_t* dst, int width, int height, int mpeg1);
void Chroma422To420(const std::uint8_t* src, std::uint8_t* dst, int width, int height, int progressiveFrame);
}  // namespace portable

}  // namespace reelcast::kernels
