// Which glyph of its image list a skinned button shows, and the pictures it
// derives from its first glyph: a grey one and an embossed disabled one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reelcast::app {

struct GlyphState {
    int numGlyphs = 1;           // 1 to 4
    bool threeState = false;
    bool enabled = true;
    bool pressedInside = false;  // held with the pointer over the button
    bool hot = false;            // pointer over the button
    bool down = false;           // latched pressed
    bool explorerAutoGray = true;// frame style explorer with AutoGray
};

// Index of the glyph to show, before the button's ImageIndex is added. A
// disabled button keeps its disabled glyph even where AutoGray would show the
// first one.
int ChooseGlyph(const GlyphState& s);

// The grey level of a pixel as the grey glyph computes it.
inline int GreyLevel(int red, int green, int blue) { return (11 * red + 59 * green + 30 * blue) / 100; }

// In place, pixels 0xAARRGGBB: each colour replaced by its grey level, alpha kept.
void GreyPixels(std::uint32_t* pixels, std::size_t count);

// The disabled glyph's outline: true for every pixel that is neither white nor
// the colour of the top-left pixel (those are drawn; the rest is background).
// Pixels 0x??RRGGBB, `count` of them, the first being the top-left one.
void DisabledOutline(const std::uint32_t* pixels, std::size_t count, bool* outline);

}  // namespace reelcast::app
