// The window shape from a picture, the skinned button's glyph rules and the
// start-up component checks: all without a window.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "app/logic/ComponentsCheck.h"
#include "app/logic/GlyphChoice.h"
#include "app/logic/WindowRegion.h"

namespace ra = reelcast::app;

namespace {

// ---- Window shape -----------------------------------------------------------------

std::vector<std::uint32_t> Picture(int w, int h, const std::function<bool(int, int)>& transparent) {
    std::vector<std::uint32_t> px(static_cast<size_t>(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[static_cast<size_t>(y * w + x)] = transparent(x, y) ? 0xFFFF00FFu : 0xFF336699u;
    return px;
}

TEST(WindowRegion, AMagentaBorderIsCutOff) {
    const int w = 12, h = 9;
    const auto px = Picture(w, h, [&](int x, int y) { return x < 2 || y < 1 || x >= w - 1 || y >= h - 3; });
    const auto region = ra::RegionFromPicture(px.data(), w, h, w);
    ASSERT_TRUE(region);
    ASSERT_EQ(region->bands.size(), 1u);  // one rectangle
    EXPECT_EQ(region->bands[0].top, 1);
    EXPECT_EQ(region->bands[0].bottom, 6);
    EXPECT_EQ(region->bands[0].spans, (std::vector<ra::RegionSpan>{{2, 11}}));
}

class RandomPicture : public ::testing::TestWithParam<int> {};

// Holes, gaps, empty rows: the shape is exactly the picture's other pixels.
TEST_P(RandomPicture, ShapeHoldsExactlyTheOpaquePixels) {
    std::mt19937 rng(static_cast<unsigned>(GetParam()));
    const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 40);
    const int stride = w + static_cast<int>(rng() % 3);
    const unsigned density = rng() % 100;
    std::vector<std::uint32_t> px(static_cast<size_t>(stride * h), 0xFF00FFu);
    int opaque = 0;
    for (int y = 0; y < h; ++y) {
        const bool emptyRow = rng() % 7 == 0;
        for (int x = 0; x < w; ++x) {
            if (!emptyRow && rng() % 100 >= density) {
                // The high byte is not part of the colour.
                px[static_cast<size_t>(y * stride + x)] = (rng() & 0xFF000000u) | (rng() % 0xFF00FFu);
                ++opaque;
            } else if (rng() % 2) {
                px[static_cast<size_t>(y * stride + x)] = 0x12FF00FFu;
            }
        }
    }
    const auto region = ra::RegionFromPicture(px.data(), w, h, stride);
    if (opaque == 0) {
        EXPECT_FALSE(region);
        return;
    }
    ASSERT_TRUE(region);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(region->Contains(x, y), !ra::IsTransparentPixel(px[static_cast<size_t>(y * stride + x)]))
                << x << "," << y;
    for (size_t i = 1; i < region->bands.size(); ++i)
        EXPECT_LE(region->bands[i - 1].bottom, region->bands[i].top);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomPicture, ::testing::Range(1, 41));

TEST(WindowRegion, PicturesWithoutAShapeAreRefused) {
    const auto magenta = Picture(8, 8, [](int, int) { return true; });
    EXPECT_FALSE(ra::RegionFromPicture(magenta.data(), 8, 8, 8));
    EXPECT_FALSE(ra::RegionFromPicture(nullptr, 8, 8, 8));
    EXPECT_FALSE(ra::RegionFromPicture(magenta.data(), 0, 8, 8));
    // Taller than the outline buffer of two points per row.
    const auto tall = Picture(2, ra::kMaxRegionRows + 1, [](int, int) { return false; });
    EXPECT_FALSE(ra::RegionFromPicture(tall.data(), 2, ra::kMaxRegionRows + 1, 2));
    EXPECT_TRUE(ra::RegionFromPicture(tall.data(), 2, ra::kMaxRegionRows, 2));
}

// ---- Glyphs -----------------------------------------------------------------------

struct GlyphCase {
    ra::GlyphState state;
    int expected;
};

class GlyphChoice : public ::testing::TestWithParam<GlyphCase> {};

TEST_P(GlyphChoice, FollowsTheMouseAndTheButtonState) {
    EXPECT_EQ(ra::ChooseGlyph(GetParam().state), GetParam().expected);
}

// numGlyphs, threeState, enabled, pressedInside, hot, down, explorerAutoGray
INSTANTIATE_TEST_SUITE_P(
    Table, GlyphChoice,
    ::testing::Values(
        // The skinned buttons: three glyphs, normal 0, hot 2, held 1.
        GlyphCase{{3, false, true, false, false, false, true}, 0},
        GlyphCase{{3, false, true, false, true, false, true}, 2},
        GlyphCase{{3, false, true, true, true, false, true}, 1},
        GlyphCase{{3, false, true, false, false, true, true}, 1},
        GlyphCase{{3, false, true, false, false, true, false}, 1},
        // Two glyphs: the second when disabled.
        GlyphCase{{2, false, false, false, false, false, true}, 1},
        GlyphCase{{2, false, true, false, true, false, true}, 0},
        // Four glyphs: pressed 2, disabled 1 (AutoGray does not hide it).
        GlyphCase{{4, false, false, false, false, false, true}, 1},
        GlyphCase{{4, false, true, true, true, false, true}, 2},
        GlyphCase{{4, false, true, true, false, false, false}, 2},
        GlyphCase{{4, false, true, true, false, false, true}, 0},
        // Three-state: hot 1, hot and held 2, otherwise 0.
        GlyphCase{{3, true, true, false, true, false, false}, 1},
        GlyphCase{{3, true, true, true, true, false, false}, 2},
        GlyphCase{{3, true, true, true, false, false, false}, 0},
        GlyphCase{{1, true, true, true, true, true, false}, 0}));

TEST(Glyphs, GreyLevelWeighsTheChannels) {
    EXPECT_EQ(ra::GreyLevel(255, 255, 255), 255);
    EXPECT_EQ(ra::GreyLevel(0, 0, 0), 0);
    EXPECT_EQ(ra::GreyLevel(100, 0, 0), 11);
    EXPECT_EQ(ra::GreyLevel(0, 100, 0), 59);
    EXPECT_EQ(ra::GreyLevel(0, 0, 100), 30);
    std::uint32_t px[] = {0x80FF0000u, 0xFF0000FFu};
    ra::GreyPixels(px, 2);
    EXPECT_EQ(px[0], 0x801C1C1Cu);  // 11 * 255 / 100 = 28, alpha kept
    EXPECT_EQ(px[1], 0xFF4C4C4Cu);  // 30 * 255 / 100 = 76
}

TEST(Glyphs, DisabledOutlineLeavesOutWhiteAndTheCornerColour) {
    const std::uint32_t px[] = {0xC0C0C0u, 0xFFFFFFu, 0x000000u, 0xFFC0C0C0u, 0x102030u};
    bool outline[5];
    ra::DisabledOutline(px, 5, outline);
    EXPECT_FALSE(outline[0]);
    EXPECT_FALSE(outline[1]);
    EXPECT_TRUE(outline[2]);
    EXPECT_FALSE(outline[3]);
    EXPECT_TRUE(outline[4]);
}

// ---- Components -------------------------------------------------------------------

TEST(Components, OnlyTheStatusOneMeansQuickTimeIsMissing) {
    EXPECT_FALSE(ra::QuickTimePresent(ra::kQuickTimeMissing));
    EXPECT_TRUE(ra::QuickTimePresent(0));
    EXPECT_TRUE(ra::QuickTimePresent(2));
    EXPECT_TRUE(ra::CheckComponents(1).AnyMissing());
}

// FFmpeg, with its Windows Media decoders, is what the program itself runs on.
TEST(Components, TheDecodingLibrariesOfThisBuildAreFound) {
    EXPECT_TRUE(ra::DecodingLibrariesLoad());
    EXPECT_TRUE(ra::WindowsMediaDecodersExist());
    EXPECT_FALSE(ra::CheckComponents(0).AnyMissing());
}

}  // namespace
