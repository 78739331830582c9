// Test inputs made at test time: short clips from FFmpeg's lavfi sources and the
// shared real footage, plus hand-built AVI files, in a temporary folder removed
// when the test program ends. Each clip is made on first use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media_test {

// Path of the named clip (see MediaClips.cpp for the list); empty when it could
// not be made (the test should fail or skip).
std::string Clip(const std::string& name);

// The temporary folder itself.
std::string TempDir();

// Path of the shared real footage, or empty when it is absent.
std::string RealFootage();

// Runs a shell command, answering whether it exited with 0.
bool Run(const std::string& command);

// Output of a shell command (stdout), empty on failure.
std::string Capture(const std::string& command);

std::vector<std::uint8_t> ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// An uncompressed AVI written byte by byte: 8-bit paletted pictures (palette of
// `paletteEntries` colours, colours-used written as clrUsed) or 24-bit ones.
struct AviSpec {
    int width = 16;
    int height = 8;
    int bitCount = 8;
    int frames = 4;
    std::uint32_t rate = 25, scale = 1;
    std::uint32_t clrUsed = 16;        // written into the stream format
    int paletteEntries = 16;           // entries actually written
    bool frameRect = true;             // write the stream header's frame rectangle
};
std::vector<std::uint8_t> BuildAvi(const AviSpec& spec);
// The pixel bytes of picture `frame` of BuildAvi (palette indices or BGR).
std::uint8_t AviPixel(const AviSpec& spec, int frame, int x, int y, int component);
// Palette entry i (blue, green, red) of BuildAvi.
void AviPalette(int i, std::uint8_t bgr[3]);

}  // namespace media_test
