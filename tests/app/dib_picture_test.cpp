// Pictures the engine paints into the preview, as the window reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/logic/DibPicture.h"
#include "platform/avifile/BitmapInfo.h"

namespace {

using reelcast::app::DibToRgb;
using reelcast::app::RgbPicture;
using namespace reelcast::platform;

// A 3 x 2 picture: pixel (x, y) (top row first) has blue x, green y, red 100 + x + y;
// the 8-bit form maps index x + 3y to that colour.
std::vector<std::uint8_t> Dib(int bits, bool topDown, std::uint32_t clrUsed = 6) {
    const int w = 3, h = 2;
    BitmapInfoHeader hdr;
    hdr.width = w;
    hdr.height = topDown ? -h : h;
    hdr.bitCount = static_cast<std::uint16_t>(bits);
    hdr.clrUsed = bits == 8 ? clrUsed : 0;
    const std::size_t palette = bits == 8 ? (clrUsed ? clrUsed : 256) * 4 : 0;
    const std::size_t row = DibRowSize(w, bits);
    std::vector<std::uint8_t> dib(40 + palette + row * h, 0);
    WriteBitmapInfoHeader(dib.data(), hdr);
    for (int i = 0; i < 6; ++i) {
        if (bits != 8) break;
        const std::uint8_t c[4] = {std::uint8_t(i % 3), std::uint8_t(i / 3), std::uint8_t(100 + i % 3 + i / 3), 0};
        std::memcpy(&dib[40 + i * 4], c, 4);
    }
    for (int y = 0; y < h; ++y) {
        std::uint8_t* r = &dib[40 + palette + row * (topDown ? y : h - 1 - y)];
        for (int x = 0; x < w; ++x) {
            if (bits == 8) {
                r[x] = std::uint8_t(x + 3 * y);
            } else {
                std::uint8_t* p = r + x * (bits / 8);
                p[0] = std::uint8_t(x);
                p[1] = std::uint8_t(y);
                p[2] = std::uint8_t(100 + x + y);
            }
        }
    }
    return dib;
}

struct DibCase {
    int bits;
    bool topDown;
};

class DibToRgbTest : public ::testing::TestWithParam<DibCase> {};

TEST_P(DibToRgbTest, GivesTopRowFirstRgb) {
    const auto dib = Dib(GetParam().bits, GetParam().topDown);
    RgbPicture pic;
    ASSERT_TRUE(DibToRgb(dib.data(), static_cast<std::uint32_t>(dib.size()), &pic));
    ASSERT_EQ(pic.width, 3);
    ASSERT_EQ(pic.height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pic.pixels[y * 3 + x], 0xff000000u | std::uint32_t(100 + x + y) << 16 | std::uint32_t(y) << 8 |
                                                 std::uint32_t(x))
                << x << "," << y;
    EXPECT_FALSE(DibToRgb(dib.data(), static_cast<std::uint32_t>(dib.size() - 1), &pic)) << "rows cut short";
}

INSTANTIATE_TEST_SUITE_P(Depths, DibToRgbTest,
                         ::testing::Values(DibCase{8, false}, DibCase{24, false}, DibCase{24, true},
                                           DibCase{32, false}));

TEST(DibToRgb, RefusesWhatItCannotShow) {
    RgbPicture pic;
    auto dib = Dib(24, false);
    EXPECT_FALSE(DibToRgb(dib.data(), 39, &pic));
    EXPECT_FALSE(DibToRgb(nullptr, 100, &pic));
    dib[16] = 1;  // compressed
    EXPECT_FALSE(DibToRgb(dib.data(), static_cast<std::uint32_t>(dib.size()), &pic));
    auto odd = Dib(16, false);
    EXPECT_FALSE(DibToRgb(odd.data(), static_cast<std::uint32_t>(odd.size()), &pic));
    auto hugePalette = Dib(8, false, 6);
    BitmapInfoHeader h = ReadBitmapInfoHeader(hugePalette.data());
    h.clrUsed = 100000;
    WriteBitmapInfoHeader(hugePalette.data(), h);
    EXPECT_FALSE(DibToRgb(hugePalette.data(), static_cast<std::uint32_t>(hugePalette.size()), &pic));
}

}  // namespace
