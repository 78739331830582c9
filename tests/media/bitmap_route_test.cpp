// The media detector's planar route: swscale scales YCbCr, our row kernel makes
// the 24-bit rows. Its vector form against the portable one, its colours
// against FFmpeg's decode of colour bars, and its bytes at every thread count.
#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <string>
#include <vector>

#include "MediaClips.h"
#include "platform/avifile/YuvToBgr.h"
#include "platform/dshow/MediaDet.h"
#include "tests/kernels/KernelFamilies.h"

namespace {

namespace pf = reelcast::platform;

struct RowCase {
    const char* name;
    pf::YuvRowToBgr24Fn kernel;
    int width;
};

class YuvRowToBgr24 : public ::testing::TestWithParam<RowCase> {};

// Every input byte (clipping included) at widths around the 16-pixel steps and
// the two spare pixels the vector stores need; nothing written past the row.
TEST_P(YuvRowToBgr24, MatchesThePortableRowAndStaysInsideIt) {
    const RowCase c = GetParam();
    if (!c.kernel) GTEST_SKIP() << "no AVX2 here";
    std::mt19937 rng(reelcast::test::KernelSeed() + static_cast<unsigned>(c.width));
    const std::size_t w = static_cast<std::size_t>(c.width), guard = 64;
    std::vector<std::uint8_t> y(w), cb(w), cr(w);
    for (int round = 0; round < 20; ++round) {
        for (std::size_t i = 0; i < w; ++i) {
            y[i] = static_cast<std::uint8_t>(rng());
            cb[i] = static_cast<std::uint8_t>(rng());
            cr[i] = static_cast<std::uint8_t>(rng());
        }
        std::vector<std::uint8_t> want(3 * w + guard, 0xA5), got(3 * w + guard, 0xA5);
        pf::YuvRowToBgr24Portable(y.data(), cb.data(), cr.data(), want.data(), c.width);
        c.kernel(y.data(), cb.data(), cr.data(), got.data(), c.width);
        ASSERT_EQ(got, want) << "round " << round;
    }
}

std::vector<RowCase> RowCases() {
    const pf::YuvRowToBgr24Fn avx2 = __builtin_cpu_supports("avx2") ? pf::YuvRowToBgr24Avx2 : nullptr;
    std::vector<RowCase> out;
    for (int w : {1, 2, 15, 16, 17, 18, 33, 34, 35, 50, 96, 352, 719, 720, 1283}) {
        out.push_back({"avx2", avx2, w});
        out.push_back({"chosen", pf::YuvRowToBgr24Kernel(), w});
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Kernels, YuvRowToBgr24, ::testing::ValuesIn(RowCases()),
                         [](const ::testing::TestParamInfo<RowCase>& i) {
                             return std::string(i.param.name) + "_" + std::to_string(i.param.width);
                         });

// One picture through the media detector at the given size and thread count:
// the bitmap's rows, bottom-up, without the header.
std::vector<std::uint8_t> Picture(const std::string& path, int w, int h, int threads) {
    pf::MediaDet det;
    det.SetConversionThreads(threads);
    if (!det.SetFilename(path.c_str()) || !det.SetCurrentStream(0)) return {};
    std::uint32_t size = 0;
    if (!det.GetBitmapBits(0.0, &size, nullptr, w, h)) return {};
    std::vector<std::uint8_t> buf(size);
    if (!det.GetBitmapBits(0.0, &size, buf.data(), w, h)) return {};
    return std::vector<std::uint8_t>(buf.begin() + 40, buf.end());
}

// Colour bars (4:4:4 and 4:2:0, coded losslessly), scaled by the planar route:
// every bar's middle has the colour of FFmpeg's exact BT.601 limited-range
// conversion within 1, and the bytes are the same with 1, 2 and 4 threads.
TEST(BitmapRoute, ColourBarsKeepTheirColoursAtEveryThreadCount) {
    for (const char* format : {"yuv444p", "yuv420p"}) {
        SCOPED_TRACE(format);
        const std::string path = media_test::TempDir() + "/bars_" + format + ".mkv";
        ASSERT_TRUE(media_test::Run("ffmpeg -nostdin -v error -y -f lavfi -i smptebars=size=640x480:rate=25 -frames:v 1 "
                                    "-pix_fmt " + std::string(format) + " -c:v libx264 -qp 0 '" + path + "'"));
        // FFmpeg's own decode at the source size, top-down BGR.
        const std::string ref = media_test::Capture("ffmpeg -nostdin -v error -i '" + path +
                                                    "' -vf scale=flags=full_chroma_int+accurate_rnd -f rawvideo -pix_fmt bgr24 -");
        ASSERT_EQ(ref.size(), 640u * 480 * 3);
        // 640x480 bars scaled down bicubic, and beyond 2:1 both ways bilinear.
        for (const auto& [w, h] : {std::pair{352, 288}, std::pair{200, 150}}) {
            SCOPED_TRACE(w);
            const std::vector<std::uint8_t> ours = Picture(path, w, h, 1);
            ASSERT_EQ(ours.size(), static_cast<std::size_t>((3 * w + 3) / 4 * 4) * h);
            EXPECT_EQ(Picture(path, w, h, 2), ours);
            EXPECT_EQ(Picture(path, w, h, 4), ours);
            const std::size_t row = (3 * w + 3) / 4 * 4;
            for (int bar = 0; bar < 7; ++bar) {
                const int sx = 640 * (2 * bar + 1) / 14, sy = 480 / 3;  // the middle of a top bar
                const int x = sx * w / 640, y = sy * h / 480;
                for (int ch = 0; ch < 3; ++ch) {
                    const int want = static_cast<std::uint8_t>(ref[(static_cast<std::size_t>(sy) * 640 + sx) * 3 + ch]);
                    const int got = ours[row * static_cast<std::size_t>(h - 1 - y) + 3 * static_cast<std::size_t>(x) + ch];
                    EXPECT_NEAR(got, want, 1) << "bar " << bar << " channel " << ch;
                }
            }
        }
    }
}

}  // namespace
