// Streams of every kind, judged by decoders we did not write.
#include <gtest/gtest.h>

#include "tests/mpeg_video/VideoTestSupport.h"

namespace reelcast::testing {
namespace {

TEST(VideoStream, Smoke) {
    YuvClip clip = MakeLavfiClip("testsrc2", 352, 288, 25, 10);
    ASSERT_EQ(clip.frames.size(), 10u);
    EncodeSettings es;
    es.kind = 1;
    EncodeResult r = Encode(clip, es, true);
    ASSERT_TRUE(r.ok);
    const std::string file = TempDir() + "/smoke.m1v";
    ASSERT_TRUE(WriteFile(file, r.stream));
    YuvClip dec;
    std::string log;
    EXPECT_TRUE(DecodeWithFfmpeg(file, 352, 288, &dec, &log)) << log;
    EXPECT_EQ(dec.frames.size(), 10u);
    printf("bytes %zu psnr %.2f\n", r.stream.size(), ClipPsnr(clip, dec));
}

}  // namespace
}  // namespace reelcast::testing
