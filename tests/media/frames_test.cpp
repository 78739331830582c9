// Frame sources: pictures read through VIDEODATADLL against FFmpeg's own decode
// of the same files, the output-to-source index mapping, repeated pictures, the
// paletted and 32-bit expansions, and the DirectShow reader's scaled pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "MediaClips.h"
#include "engine/core/ComponentHandle.h"
#include "engine/media/IVfwFrameReader.h"
#include "engine/media/IVideoFrameSource.h"
#include "engine/media/VideoDataDll.h"

namespace {

using media_test::AviSpec;
using media_test::Clip;
using reelcast::IVideoFrameSource;

struct Header {
    std::uint32_t size;
    std::int32_t width, height;
    std::uint16_t planes, bitCount;
    std::uint32_t compression, sizeImage;
    std::int32_t xppm, yppm;
    std::uint32_t clrUsed, clrImportant;
};
static_assert(sizeof(Header) == 40);

Header HeaderOf(const std::vector<std::uint8_t>& buf) {
    Header h;
    std::memcpy(&h, buf.data(), 40);
    return h;
}

std::uint32_t RowSize(int w) { return ((3 * w + 3) / 4) * 4; }

// FFmpeg's decode of a file, bottom-up BGR rows without padding, one picture per entry.
// Pictures are numbered as the container's frame rate counts them, or, with
// `decoded`, one per decoded picture whatever its time stamp.
std::vector<std::vector<std::uint8_t>> Reference(const std::string& path, int w, int h,
                                                 const std::string& extraFilter = "",
                                                 bool decoded = false) {
    const std::string filter = extraFilter.empty() ? "vflip" : extraFilter + ",vflip";
    std::string raw = media_test::Capture("ffmpeg -nostdin -v error -i '" + path + "' -vf " + filter +
                                          (decoded ? " -fps_mode passthrough" : "") +
                                          " -f rawvideo -pix_fmt bgr24 -");
    std::vector<std::vector<std::uint8_t>> frames;
    const std::size_t n = static_cast<std::size_t>(w) * h * 3;
    for (std::size_t at = 0; n && at + n <= raw.size(); at += n)
        frames.emplace_back(raw.begin() + at, raw.begin() + at + n);
    return frames;
}

// FFmpeg's scaling nearest to the DirectShow reader's: bicubic, chroma at full
// width in the 24-bit result.
const std::string kDirectShowScaling = "flags=bicubic+full_chroma_int";

// Our picture's rows without their padding.
std::vector<std::uint8_t> Unpad(const std::vector<std::uint8_t>& dib, int w, int h) {
    std::vector<std::uint8_t> out;
    const std::uint32_t row = RowSize(w);
    for (int y = 0; y < h; ++y) {
        const auto* r = dib.data() + 40 + static_cast<std::size_t>(row) * y;
        out.insert(out.end(), r, r + 3 * w);
    }
    return out;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double se = 0;
    for (std::size_t i = 0; i < a.size(); ++i) se += (a[i] - b[i]) * (a[i] - b[i]);
    if (se == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * a.size() / se);
}

// VIDEODATADLL opened on a file, with a buffer of the size its pictures take.
// ok: opened and the size of picture 0 known.
struct Source {
    reelcast::core::ComponentHandle<IVideoFrameSource> src;
    bool ok = false;
    std::uint32_t size = 0;
    std::vector<std::uint8_t> buf;

    Source(const std::string& path, int w, int h, double rate)
        : src(reelcast::core::MakeHandle<IVideoFrameSource>("VIDEODATADLL")) {
        ok = src && src->Open(path.c_str(), w, h, rate) && src->GetFrame(0, nullptr, &size);
        if (ok) buf.resize(size);
    }
    // Output picture i into buf.
    bool Read(std::uint32_t i) { return src->GetFrame(i, buf.data(), &size); }
    int Mode() const { return static_cast<reelcast::media::VideoDataDll*>(src.get())->Mode(); }
};

std::string WriteAvi(const std::string& name, const AviSpec& spec) {
    const std::string path = media_test::TempDir() + "/" + name;
    return media_test::WriteFile(path, media_test::BuildAvi(spec)) ? path : std::string();
}

// Uncompressed AVIs come through the AVIFile reader at their own size, and every
// picture equals FFmpeg's decode exactly (24-bit copied, 32-bit packed, 8-bit
// expanded through the palette).
TEST(FrameSource, UncompressedAvisMatchFfmpegExactly) {
    for (const char* clip : {"rgb24.avi", "rgb32.avi", "pal8.avi"}) {
        SCOPED_TRACE(clip);
        const std::string path = Clip(clip);
        ASSERT_FALSE(path.empty());
        Source s(path, 352, 288, 25.0);
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(s.Mode(), 0);
        const int w = std::string(clip) == "rgb24.avi" ? 66 : 64;
        const int h = std::string(clip) == "rgb24.avi" ? 50 : 48;
        EXPECT_EQ(s.size, RowSize(w) * h + 40);
        const auto ref = Reference(path, w, h);
        ASSERT_FALSE(ref.empty());
        for (std::size_t i = 0; i < ref.size(); ++i) {
            ASSERT_TRUE(s.Read(static_cast<std::uint32_t>(i)));
            const Header hd = HeaderOf(s.buf);
            EXPECT_EQ(hd.width, w);
            EXPECT_EQ(hd.height, h);
            EXPECT_EQ(hd.bitCount, 24);
            EXPECT_EQ(hd.clrUsed, 0u);
            EXPECT_EQ(hd.sizeImage, RowSize(w) * h);
            ASSERT_EQ(Unpad(s.buf, w, h), ref[i]) << "picture " << i;
        }
    }
}

// Hand-built paletted AVIs: a 16-entry palette (colours-used 16) and a full one
// (colours-used 0 means 256 entries).
TEST(FrameSource, PalettedAviUsesItsPaletteEntries) {
    for (int entries : {16, 256}) {
        SCOPED_TRACE(entries);
        AviSpec spec;
        spec.width = 13;  // odd: source rows padded to 16, output rows to 40
        spec.height = 5;
        spec.paletteEntries = entries;
        spec.clrUsed = entries == 256 ? 0 : entries;
        const std::string path = WriteAvi("pal" + std::to_string(entries) + ".avi", spec);
        Source s(path, 16, 16, 25.0);
        ASSERT_TRUE(s.ok);
        ASSERT_EQ(s.Mode(), 0);
        ASSERT_EQ(s.size, RowSize(13) * 5 + 40);
        for (int f = 0; f < spec.frames; ++f) {
            ASSERT_TRUE(s.Read(f));
            for (int y = 0; y < spec.height; ++y) {
                for (int x = 0; x < spec.width; ++x) {
                    std::uint8_t bgr[3];
                    media_test::AviPalette(media_test::AviPixel(spec, f, x, y, 0), bgr);
                    // Bottom-up: picture row y is DIB row height-1-y.
                    const std::uint8_t* px = s.buf.data() + 40 + RowSize(13) * (spec.height - 1 - y) + 3 * x;
                    ASSERT_EQ(0, std::memcmp(px, bgr, 3)) << f << " " << x << "," << y;
                }
            }
        }
    }
}

// Twelve 8 x 4 pictures of 24 bits at rate / scale pictures a second.
AviSpec TwelvePictures(std::uint32_t rate, std::uint32_t scale) {
    AviSpec spec;
    spec.bitCount = 24;
    spec.width = 8;
    spec.height = 4;
    spec.frames = 12;
    spec.rate = rate;
    spec.scale = scale;
    return spec;
}

// 25 fps to 29.97 fps: output i shows source floor(i / 29.97 x 25 + 0.5); a
// repeated source picture leaves the caller's buffer untouched.
TEST(FrameSource, HigherOutputRateRepeatsPicturesWithoutTouchingTheBuffer) {
    const AviSpec spec = TwelvePictures(25, 1);
    const std::string path = WriteAvi("rate25.avi", spec);
    Source s(path, 8, 4, 29.97);
    ASSERT_TRUE(s.ok);
    auto shows = [&](int source) {
        // Picture row 0 is the DIB's last row.
        const std::uint8_t* px = s.buf.data() + 40 + RowSize(8) * 3;
        return px[0] == media_test::AviPixel(spec, source, 0, 0, 0) &&
               px[4] == media_test::AviPixel(spec, source, 1, 0, 1);
    };
    const int expected[] = {0, 1, 2, 3, 3, 4, 5, 6, 7, 8, 8, 9, 10, 11, 11, 11};
    int previous = -1;
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(i);
        if (expected[i] == previous) std::memset(s.buf.data(), 0xAB, s.buf.size());
        ASSERT_TRUE(s.Read(i));
        if (expected[i] == previous) {
            EXPECT_EQ(s.buf[0], 0xAB);
            EXPECT_EQ(s.buf.back(), 0xAB);
        } else {
            EXPECT_TRUE(shows(expected[i]));
        }
        previous = expected[i];
    }
    // Beyond the end the last picture stays.
    ASSERT_TRUE(s.Read(1000));
}

// 29.97 fps to 25 fps skips source pictures (output 5 shows source 6), and going
// back to an earlier picture works.
TEST(FrameSource, LowerOutputRateSkipsAndSeeksBack) {
    const AviSpec spec = TwelvePictures(30000, 1001);
    const std::string path = WriteAvi("rate2997.avi", spec);
    Source s(path, 8, 4, 25.0);
    ASSERT_TRUE(s.ok);
    auto pixel = [&] { return s.buf[40 + RowSize(8) * 3]; };
    ASSERT_TRUE(s.Read(5));
    EXPECT_EQ(pixel(), media_test::AviPixel(spec, 6, 0, 0, 0));
    ASSERT_TRUE(s.Read(2));
    EXPECT_EQ(pixel(), media_test::AviPixel(spec, 2, 0, 0, 0));
}

TEST(FrameSource, OneByOnePicture) {
    AviSpec spec;
    spec.bitCount = 24;
    spec.width = 1;
    spec.height = 1;
    const std::string path = WriteAvi("one.avi", spec);
    Source s(path, 16, 16, 25.0);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.size, 44u);
    ASSERT_TRUE(s.Read(2));
    EXPECT_EQ(s.buf[40], media_test::AviPixel(spec, 2, 0, 0, 0));
    EXPECT_EQ(s.buf[42], media_test::AviPixel(spec, 2, 0, 0, 2));
}

// Compressed AVIs decode through the AVIFile reader at their own size and agree
// with FFmpeg's decode.
TEST(FrameSource, CompressedAvisAgreeWithFfmpeg) {
    for (const char* clip : {"xvid_mp3.avi", "mjpeg_pcm.avi", "h264.avi"}) {
        SCOPED_TRACE(clip);
        const std::string path = Clip(clip);
        Source s(path, 352, 288, 25.0);
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(s.Mode(), 0);
        ASSERT_EQ(s.size, RowSize(160) * 120 + 40);
        const auto ref = Reference(path, 160, 120);
        ASSERT_GE(ref.size(), 25u);
        for (std::uint32_t i = 0; i < ref.size(); i += 3) {
            ASSERT_TRUE(s.Read(i));
            EXPECT_GT(Psnr(Unpad(s.buf, 160, 120), ref[i]), 35.0) << "picture " << i;
        }
    }
}

// The same AVI without its index chunk (a download cut at the end).
std::string WithoutIndex(const std::string& path) {
    std::vector<std::uint8_t> b = media_test::ReadFile(path);
    static const char kIdx[] = "idx1";
    const auto it = std::find_end(b.begin(), b.end(), kIdx, kIdx + 4);
    if (it == b.end()) return std::string();
    b.erase(it, b.end());
    const std::string out = path.substr(0, path.size() - 4) + "_noindex.avi";
    return media_test::WriteFile(out, b) ? out : std::string();
}

// With reordered pictures the AVI packets carry decode times only, and the
// decoder lets each picture out late: picture n must still be the n-th shown,
// read in order and read backwards, with the index or without it.
TEST(FrameSource, ReorderedPicturesInAviKeepTheirPlace) {
    const std::string h264 = Clip("h264_b.avi"), mpeg4 = Clip("mpeg4_b.avi");
    ASSERT_FALSE(h264.empty());
    ASSERT_FALSE(mpeg4.empty());
    for (const std::string& path : {h264, mpeg4, WithoutIndex(h264), WithoutIndex(mpeg4)}) {
        SCOPED_TRACE(path);
        ASSERT_FALSE(path.empty());
        const auto ref = Reference(path, 160, 120, "", true);
        ASSERT_EQ(ref.size(), 25u);
        Source s(path, 160, 120, 25.0);
        ASSERT_TRUE(s.ok);
        ASSERT_EQ(s.Mode(), 0);
        auto check = [&](std::uint32_t i) {
            ASSERT_TRUE(s.Read(i)) << i;
            const auto ours = Unpad(s.buf, 160, 120);
            const double own = Psnr(ours, ref[i]);
            EXPECT_GT(own, 35.0) << "picture " << i;
            for (std::uint32_t j = i >= 2 ? i - 2 : 0; j <= i + 2 && j < ref.size(); ++j)
                if (j != i) {
                    EXPECT_GT(own, Psnr(ours, ref[j])) << "picture " << i << " looks like " << j;
                }
        };
        for (std::uint32_t i = 0; i < ref.size(); ++i) check(i);
        for (std::uint32_t i : {20u, 3u, 0u, 11u}) check(i);
    }
}

// Files AVIFile cannot open go to the DirectShow reader, which scales to the
// requested size; its size answer carries the chooser's extra 40 bytes.
TEST(FrameSource, OtherContainersComeScaledThroughDirectShow) {
    const struct {
        const char* clip;
        int w, h;
    } cases[] = {{"video.wmv", 176, 144}, {"h264.mp4", 160, 120}, {"mpeg2.mpg", 176, 144}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clip);
        const std::string path = Clip(c.clip);
        const int W = 96, H = 64;
        Source s(path, W, H, 25.0);
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(s.Mode(), 1);
        EXPECT_EQ(s.size, RowSize(W) * H + 40 + 40);
        const auto ref = Reference(path, W, H, "scale=96:64:" + kDirectShowScaling, true);
        ASSERT_GE(ref.size(), 20u);
        for (std::uint32_t i : {0u, 1u, 2u, 10u, 19u, 7u}) {
            ASSERT_TRUE(s.Read(i)) << i;
            const Header hd = HeaderOf(s.buf);
            EXPECT_EQ(hd.width, W);
            EXPECT_EQ(hd.height, H);
            EXPECT_EQ(hd.bitCount, 24);
            EXPECT_GT(Psnr(Unpad(s.buf, W, H), ref[i]), 40.0) << "picture " << i;
        }
    }
}

// Scaled to awkward sizes the pictures still fill exactly the bitmap: the
// caller's buffer is sized to the answer (AddressSanitizer sees any store past
// it), the row padding is zero, and the pictures agree with FFmpeg's scaling.
TEST(FrameSource, AwkwardSizesFillExactlyTheBitmap) {
    const std::string path = Clip("h264.mp4");
    ASSERT_FALSE(path.empty());
    const struct {
        int w, h;
    } sizes[] = {{200, 150}, {201, 151}, {13, 7}, {333, 199}, {2, 2}, {161, 121}, {640, 480}};
    for (const auto& z : sizes) {
        SCOPED_TRACE(std::to_string(z.w) + "x" + std::to_string(z.h));
        Source s(path, z.w, z.h, 25.0);
        ASSERT_TRUE(s.ok);
        ASSERT_EQ(s.size, RowSize(z.w) * z.h + 80u);
        const auto ref = Reference(path, z.w, z.h,
                                   "scale=" + std::to_string(z.w) + ":" + std::to_string(z.h) + ":" + kDirectShowScaling,
                                   true);
        ASSERT_GE(ref.size(), 6u);
        s.buf.resize(s.size - 40);
        for (std::uint32_t i = 0; i < 6; ++i) {
            SCOPED_TRACE(i);
            ASSERT_TRUE(s.Read(i)) << i;
            const std::uint32_t row = RowSize(z.w);
            for (int y = 0; y < z.h; ++y) {
                for (std::uint32_t x = 3 * z.w; x < row; ++x) ASSERT_EQ(s.buf[40 + row * y + x], 0) << y;
            }
            if (z.w >= 8 && z.h >= 8) {
                EXPECT_GT(Psnr(Unpad(s.buf, z.w, z.h), ref[i]), 28.0) << "picture " << i;
            }
        }
    }
    // The same at the AVI's own size through the AVIFile reader, exactly as
    // FFmpeg converts.
    for (const char* clip : {"mjpeg_200x150.avi", "h264_202x150.avi", "ffv1_444_202x150.avi",
                             "ffv1_422_202x150.avi", "rgb555_202x150.avi"}) {
        SCOPED_TRACE(clip);
        const std::string p = Clip(clip);
        ASSERT_FALSE(p.empty());
        const int w = clip[0] == 'm' ? 200 : 202, h = 150;
        Source s(p, w, h, 25.0);
        ASSERT_TRUE(s.ok);
        ASSERT_EQ(s.Mode(), 0);
        ASSERT_EQ(s.size, RowSize(w) * h + 40u);
        const auto ref = Reference(p, w, h, "", true);
        ASSERT_EQ(ref.size(), 10u);
        for (std::uint32_t i = 0; i < ref.size(); ++i) {
            ASSERT_TRUE(s.Read(i)) << i;
            EXPECT_GT(Psnr(Unpad(s.buf, w, h), ref[i]), 40.0) << "picture " << i;
        }
    }
}

TEST(FrameSource, RealFootageThroughDirectShow) {
    const std::string real = media_test::RealFootage();
    if (real.empty()) GTEST_SKIP() << "real footage absent";
    Source s(real, 352, 240, 29.97);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.Mode(), 1);
    for (std::uint32_t i = 0; i < 30; ++i) ASSERT_TRUE(s.Read(i));
    EXPECT_EQ(HeaderOf(s.buf).width, 352);
}

TEST(FrameSource, NothingOpenAnswersFalse) {
    const auto src = reelcast::core::MakeHandle<IVideoFrameSource>("VIDEODATADLL");
    ASSERT_TRUE(src);
    std::uint32_t size = 0;
    EXPECT_FALSE(src->GetFrame(0, nullptr, &size));
    EXPECT_FALSE(src->Open(Clip("stereo.wav").c_str(), 64, 48, 25.0));
    EXPECT_FALSE(src->GetFrame(0, nullptr, &size));
    // A zero or non-finite output rate is refused rather than divided by.
    EXPECT_FALSE(src->Open(Clip("rgb24.avi").c_str(), 64, 48, 0.0));
    EXPECT_FALSE(src->Open(Clip("rgb24.avi").c_str(), 64, 48, std::nan("")));
    EXPECT_TRUE(src->Open(Clip("rgb24.avi").c_str(), 64, 48, 25.0));
}

}  // namespace
