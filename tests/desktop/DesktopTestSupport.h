// Shared by the desktop program's tests: scratch folders laid out like the
// program's own (skins, config.ini), small bitmaps written to them, and the Qt
// application the window tests need.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace desktop_test {

// A fresh empty folder, removed when the object ends.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

// A 24-bit bitmap file of width x height whose pixel (x, y) is colour(x, y) as 0xRRGGBB.
void WriteBitmap(const std::string& path, int width, int height,
                 const std::function<std::uint32_t(int x, int y)>& colour);

// Copies the shipped skins SKIN0.. from the build's program folder into folder.
// Answers how many were copied.
int CopyShippedSkins(const std::string& folder);

// A skin of our own in folder/SKIN<n>: a face of width x height with a magenta
// border of `border` pixels, and buttons 1..count of 4 faces of 20 x 10 each,
// placed at (5 + 25 (N - 1), 5).
void MakeSkin(const std::string& folder, int n, int width, int height, int border, int count);

// The Qt application of the window tests, made on first use, on the offscreen
// platform unless another one was asked for.
void EnsureApplication();

}  // namespace desktop_test
