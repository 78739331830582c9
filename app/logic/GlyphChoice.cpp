#include "app/logic/GlyphChoice.h"

namespace reelcast::app {

int ChooseGlyph(const GlyphState& s) {
    if (s.numGlyphs <= 1) return 0;
    int choice = 0;
    if (s.threeState) {
        choice = s.hot ? (s.pressedInside ? 2 : 1) : 0;
    } else if (s.numGlyphs == 2) {
        choice = s.enabled ? 0 : 1;
    } else if (s.numGlyphs == 3) {
        choice = s.pressedInside ? 1 : s.hot ? 2 : s.down ? 1 : 0;
    } else {
        choice = s.pressedInside ? 2 : s.enabled ? 0 : 1;
    }
    if (s.explorerAutoGray && s.enabled && !s.down && !s.hot) choice = 0;
    return choice;
}

void GreyPixels(std::uint32_t* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i];
        const auto g = static_cast<std::uint32_t>(GreyLevel((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
        pixels[i] = (p & 0xFF000000u) | (g << 16) | (g << 8) | g;
    }
}

void DisabledOutline(const std::uint32_t* pixels, std::size_t count, bool* outline) {
    if (count == 0) return;
    const std::uint32_t corner = pixels[0] & 0xFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t c = pixels[i] & 0xFFFFFFu;
        outline[i] = c != 0xFFFFFFu && c != corner;
    }
}

}  // namespace reelcast::app
