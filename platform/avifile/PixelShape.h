// The shape of the pixels of the pictures a source shows, for outputs that keep
// the source's pixel grid. No FFmpeg types here: the engine includes this header.
#pragma once

namespace reelcast::platform {

// Pixel width : pixel height, in lowest terms, each at most 65535.
struct PixelAspect {
    int num = 1;
    int den = 1;
    bool IsSquare() const { return num == den; }
};

// The pixel shape of the first decodable video stream of path as a player shows
// it (the container's value before the codec's, turned with the picture by the
// stream's display rotation); square when the file tells none or cannot be read.
PixelAspect SourcePixelAspect(const char* path);

}  // namespace reelcast::platform
