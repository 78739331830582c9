// The encoder's units on their own: rate-control figures, the group
// structure, time codes, coefficient escapes, f_code ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <string>
#include <tuple>
#include <vector>

#include "engine/mpeg/BitWriter.h"
#include "engine/mpeg/video/GopStructure.h"
#include "engine/mpeg/video/HeaderWriter.h"
#include "engine/mpeg/video/MacroblockCoder.h"
#include "engine/mpeg/video/MotionSearch.h"
#include "engine/mpeg/video/RateControl.h"

namespace reelcast::mpeg::video {
namespace {

// A writer over its own buffer; Bits() gives what was written as a '0'/'1' text.
struct TestWriter {
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(BitWriter::kBufferSize);
    BitWriter bw;
    TestWriter() {
        bw.buffer = buffer.data();
        bw.Reset();
    }
    std::string Bits() {
        std::string s;
        for (int i = 0; i < bw.writeIndex; ++i)
            for (int b = 7; b >= 0; --b) s += ((buffer[static_cast<std::size_t>(i)] >> b) & 1) ? '1' : '0';
        for (int b = 0; b < bw.pendingBits; ++b) s += ((bw.accumulator >> (31 - b)) & 1) ? '1' : '0';
        return s;
    }
};

TEST(VideoRateControl, VcdFigures) {
    RateControl rc;
    rc.StartSequence(1150000.0, 25.0, 396, 20, false, true);
    EXPECT_EQ(rc.ReactionParameter(), 92000);
    EXPECT_EQ(rc.ComplexityI(), 1600000);
    EXPECT_EQ(rc.ComplexityP(), 600000);
    EXPECT_EQ(rc.ComplexityB(), 420000);
    EXPECT_EQ(rc.InitialFullnessI(), 29677);
    EXPECT_EQ(rc.InitialFullnessP(), 29677);
    EXPECT_EQ(rc.InitialFullnessB(), 41548);
    const GroupCounts g = GroupCountsAt(0, 15, 1000);
    EXPECT_EQ(g.n, 13);
    EXPECT_EQ(g.np, 4);
    EXPECT_EQ(g.nb, 8);
    rc.StartGroup(g.np, g.nb);
    EXPECT_DOUBLE_EQ(rc.RemainingBits(), 598000.0);
    EXPECT_EQ(rc.InitialFullnessP(), 0);  // P and B buffers restart with the group
    EXPECT_EQ(rc.InitialFullnessB(), 0);
    EXPECT_EQ(rc.StartPicture(kPictureI, 0.0), 20);
    // Later groups: 15 pictures, 4 P and 10 B.
    const GroupCounts g2 = GroupCountsAt(13, 15, 1000);
    EXPECT_EQ(g2.n, 15);
    EXPECT_EQ(g2.np, 4);
    EXPECT_EQ(g2.nb, 10);
    // The last group is cut at the announced picture count.
    EXPECT_EQ(GroupCountsAt(13, 15, 20).n, 7);
}

TEST(VideoRateControl, QuantiserSmoothingAroundTheFirstQuantiser) {
    RateControl rc;
    rc.StartSequence(1150000.0, 25.0, 396, 20, false, true);
    rc.StartGroup(4, 8);
    const double s0 = 1000.0;
    ASSERT_EQ(rc.StartPicture(kPictureI, s0), 20);
    // Activity equal to the average (400 at the start) leaves the quantiser as is;
    // bits spent move the virtual buffer: Q = (29677 + spent) * 31 / 92000.
    EXPECT_EQ(rc.MacroblockQuantiser(0, s0 + 2968.0, 400.0), 20);    // 22 -> the first quantiser
    EXPECT_EQ(rc.MacroblockQuantiser(0, s0 + 8904.0, 400.0), 26);    // beyond 4 away: kept
    EXPECT_EQ(rc.MacroblockQuantiser(0, s0 - 20774.0, 400.0), 6);    // below 8: kept
    EXPECT_EQ(rc.MacroblockQuantiser(0, s0 - 1e9, 400.0), 2);
    EXPECT_EQ(rc.MacroblockQuantiser(0, s0 + 1e9, 400.0), 62);
    // Busy macroblocks get coarser quantisers, flat ones finer.
    EXPECT_GT(rc.MacroblockQuantiser(0, s0 + 8904.0, 4000.0), 26);
    EXPECT_LT(rc.MacroblockQuantiser(0, s0 + 8904.0, 10.0), 26);
}

TEST(VideoRateControl, StarvedPictureIsStuffedToNinetyPercent) {
    TestWriter w;
    BitWriter& bw = w.bw;
    RateControl rc;
    rc.StartSequence(1150000.0, 25.0, 396, 20, false, true);
    rc.StartGroup(4, 8);
    rc.StartPicture(kPictureI, 0.0);
    const double t = rc.Target();
    bw.PutBits(0x5, 3);  // a picture of almost nothing
    rc.EndPicture(bw);
    const double pad = std::floor(0.9 * t - 3.0);
    const double expected = 3.0 + std::floor(pad / 32.0) * 32.0;
    const double aligned = std::ceil(expected / 8.0) * 8.0;
    EXPECT_DOUBLE_EQ(static_cast<double>(bw.totalBits), aligned);
    EXPECT_DOUBLE_EQ(rc.RemainingBits(), 598000.0 - aligned);
    // A picture at its target is left alone.
    const double before = static_cast<double>(bw.totalBits);
    rc.StartPicture(kPictureP, before);
    for (int i = 0; i < static_cast<int>(rc.Target()) / 32; ++i) bw.PutBits(0xFFFFFFFFu, 32);
    const double written = static_cast<double>(bw.totalBits);
    rc.EndPicture(bw);
    EXPECT_DOUBLE_EQ(static_cast<double>(bw.totalBits), written);
}

// A capped rate pads nothing, keeps no credit from easy pictures or groups,
// stops at its quantiser floor and marks every picture as variable rate.
TEST(VideoRateControl, CappedRateSpendsOnlyWhatPicturesNeed) {
    TestWriter w;
    BitWriter& bw = w.bw;
    RateControl rc;
    rc.StartSequence(2040000.0, 25.0, 1620, 112, true, false);
    rc.SetCapped(true);
    for (int group = 0; group < 2; ++group) {
        rc.StartGroup(4, 10);
        const double budget = rc.RemainingBits();
        EXPECT_DOUBLE_EQ(budget, 15 * 2040000.0 / 25.0);  // the second group inherits nothing
        for (int type : {kPictureI, kPictureP, kPictureB}) {
            const int first = rc.StartPicture(type, static_cast<double>(bw.totalBits));
            EXPECT_EQ(rc.VbvDelay(type, static_cast<double>(bw.totalBits)), 0xFFFF);
            const int floor = type == kPictureI ? 4 : 6;
            if (group == 1) {
                EXPECT_EQ(first, floor);  // no debt left by the easy pictures
            }
            EXPECT_EQ(rc.MacroblockQuantiser(800, static_cast<double>(bw.totalBits), 1.0), floor);
            const std::uint64_t before = bw.totalBits;
            bw.PutBits(0x5, 3);  // a picture of almost nothing
            rc.EndPicture(bw);
            EXPECT_EQ(bw.totalBits - before, 3u);
        }
    }
}

TEST(VideoRateControl, VbvDelayStartsSevenEighthsFull) {
    RateControl rc;
    rc.StartSequence(2376000.0, 25.0, 1620, 112, true, false);
    const double full = 112 * 16384 * 7.0 / 8.0 * 90000.0 / 2376000.0;
    EXPECT_EQ(rc.VbvDelay(kPictureI, 0.0), static_cast<int>(std::floor(full)));
    // A picture period later, with exactly one period's bits sent, the delay holds.
    rc.EndPictureVbv(95040.0);
    EXPECT_EQ(rc.VbvDelay(kPictureP, 95040.0), static_cast<int>(std::floor(full + 3600.0 - 3600.0)));
    rc.EndPictureVbv(190080.0);
    EXPECT_EQ(rc.VbvDelay(kPictureB, 190080.0), static_cast<int>(std::floor(full)));
    EXPECT_EQ(rc.Counts().overflows, 0);
    EXPECT_EQ(rc.Counts().underflows, 0);
    // Far too many bits: the delay bottoms out at 0 and counts an underflow.
    rc.EndPictureVbv(5e6);
    EXPECT_EQ(rc.VbvDelay(kPictureB, 5e6), 0);
    EXPECT_GE(rc.Counts().underflows, 1);
}

TEST(VideoGop, CodingOrderOfTheFirstGroups) {
    const char* order = "I0 P3 B1 B2 P6 B4 B5 P9 B7 B8 P12 B10 B11 I15 B13 B14 P18 B16 B17";
    std::string got;
    for (int p = 0; p < 19; ++p) {
        const CodedPicture c = PictureAt(p, 15, 1000);
        if (p) got += ' ';
        got += "?IPB"[c.type];
        got += std::to_string(c.displayNumber);
    }
    EXPECT_EQ(got, order);
    const CodedPicture i15 = PictureAt(13, 15, 1000);
    EXPECT_EQ(i15.groupStart, 13);
    EXPECT_EQ(i15.temporalReference, 2);
    EXPECT_EQ(PictureAt(28, 15, 1000).type, kPictureI);
    EXPECT_EQ(PictureAt(28, 15, 1000).displayNumber, 30);
    // The last anchor is capped at the announced count.
    EXPECT_EQ(PictureAt(7, 15, 9).displayNumber, 8);
    // Queue slots: I0 from the first, then each anchor before its B pictures.
    EXPECT_EQ(QueueSlotFor(0), 0);
    EXPECT_EQ(QueueSlotFor(1), 0);
    EXPECT_EQ(QueueSlotFor(2), 1);
    EXPECT_EQ(QueueSlotFor(3), 2);
}

TEST(VideoHeaderFields, TimeCodes) {
    EXPECT_EQ(TimeCode(0, 29.97), 1u << 12);
    EXPECT_EQ(TimeCode(1800, 29.97), (1u << 13) | (1u << 12));        // 00:01:00 picture 0
    EXPECT_EQ(TimeCode(13, 25.0), (1u << 12) | 13u);
    EXPECT_EQ(TimeCode(90000, 25.0), (1u << 19) | (1u << 12));         // 01:00:00
    EXPECT_EQ(TimeCode(25 * 61 + 3, 25.0), (1u << 13) | (1u << 12) | (1u << 6) | 3u);
}

TEST(VideoCoefficients, Mpeg1EscapeOfLevel200) {
    TestWriter w;
    std::int16_t levels[64] = {};
    levels[1] = 200;  // zig-zag position 1, run 0
    WriteBlockCoefficients(w.bw, levels, 1, false, true);
    //           escape   run 0    0x00      0xC8      end of block
    EXPECT_EQ(w.Bits(), "000001" "000000" "00000000" "11001000" "10");
    TestWriter n;
    levels[1] = -200;
    WriteBlockCoefficients(n.bw, levels, 1, false, true);
    EXPECT_EQ(n.Bits(), "000001" "000000" "10000000" "00111000" "10");
    TestWriter m;
    levels[1] = -128;  // needs the long form: the short one cannot hold -128
    WriteBlockCoefficients(m.bw, levels, 1, false, true);
    EXPECT_EQ(m.Bits(), "000001" "000000" "10000000" "10000000" "10");
    TestWriter s;
    levels[1] = -100;
    WriteBlockCoefficients(s.bw, levels, 1, false, true);
    EXPECT_EQ(s.Bits(), "000001" "000000" "10011100" "10");
}

TEST(VideoCoefficients, Mpeg2EscapeAndTableCodes) {
    TestWriter w;
    std::int16_t levels[64] = {};
    levels[0] = 1;    // first non-intra coefficient, run 0 level 1: "1s"
    levels[8] = -3;   // zig-zag 2: run 1 level 3: 0010 0101 s
    levels[63] = 41;  // zig-zag 63: run 60, escape with 12-bit level
    WriteBlockCoefficients(w.bw, levels, 0, true, false);
    EXPECT_EQ(w.Bits(), "10" "001001011" "000001" "111100" "000000101001" "10");
    TestWriter i;
    std::int16_t intra[64] = {};
    intra[1] = 1;  // intra AC run 0 level 1 uses the ordinary "11s"
    WriteBlockCoefficients(i.bw, intra, 1, false, false);
    EXPECT_EQ(i.Bits(), "110" "10");
}

// The search as first written down: a spiral walked position by position with
// the early-exit sums, then the full-pel rings and the half-pel step the same
// way. The encoder forms its candidates in batches from tables; both must find
// the same vectors everywhere, the picture's edges included.
struct Spiral {
    int x, y;
};
template <class Visit>
void WalkRingSlowly(int cx, int cy, int k, Visit&& visit) {
    int x = cx - k, y = cy - k;
    for (int i = 0; i < 2 * k; ++i) visit(x++, y);
    for (int i = 0; i < 2 * k; ++i) visit(x, y++);
    for (int i = 0; i < 2 * k; ++i) visit(x--, y);
    for (int i = 0; i < 2 * k; ++i) visit(x, y--);
}

Spiral ReferenceSearch(const std::vector<std::uint8_t>& qRef, const std::vector<std::uint8_t>& qCur, int qw, int qh,
                       const std::uint8_t* ref, const std::uint8_t* cur, int w, int h, int mx, int my, int radius,
                       int detail, const kernels::VideoKernels& k) {
    // Coarse: 4x4 blocks of the quarter pictures.
    const int x0 = mx * 4, y0 = my * 4;
    const int xlo = std::max(0, x0 - radius), xlim = std::min(x0 + radius - 1, qw - 4);
    const int ylo = std::max(0, y0 - radius), ylim = std::min(y0 + radius - 1, qh - 4);
    const std::uint8_t* c4 = qCur.data() + y0 * qw + x0;
    int best = k.Sad4x4(qRef.data() + y0 * qw + x0, c4, qw, 65536);
    Spiral pos{x0, y0};
    int unproductive = 0;
    for (int ring = 1; ring <= radius; ++ring) {
        WalkRingSlowly(x0, y0, ring, [&](int x, int y) {
            if (best == 0 || x < xlo || x >= xlim || y < ylo || y >= ylim) return;
            const int s = k.Sad4x4(qRef.data() + y * qw + x, c4, qw, best);
            if (s < best) {
                best = s;
                pos = {x, y};
                unproductive = 0;
            }
        });
        if (best == 0) break;
        if ((ring == 1 || ring == 2 || ring == 4 || ring == 8) && ++unproductive > detail) break;
    }
    // Full pel: rings 1 to 4 within 62 pixels and the picture.
    const int px = mx * 16, py = my * 16;
    const std::uint8_t* c = cur + py * w + px;
    Spiral full{pos.x * 4, pos.y * 4};
    best = k.Sad16(ref + full.y * w + full.x, c, w, 0, 0, 16, 65536);
    const Spiral start = full;
    for (int ring = 1; ring <= 4 && best > 0; ++ring) {
        WalkRingSlowly(start.x, start.y, ring, [&](int x, int y) {
            if (best == 0 || x < std::max(0, px - 62) || x > std::min(w - 16, px + 62) || y < std::max(0, py - 62) ||
                y > std::min(h - 16, py + 62))
                return;
            const int s = k.Sad16(ref + y * w + x, c, w, 0, 0, 16, best);
            if (s < best) {
                best = s;
                full = {x, y};
            }
        });
    }
    // Half pel, row by row.
    best = 65536;
    Spiral half{2 * full.x, 2 * full.y};
    for (int hy = 2 * full.y - 1; hy <= 2 * full.y + 1; ++hy) {
        for (int hx = 2 * full.x - 1; hx <= 2 * full.x + 1; ++hx) {
            if (hx < 0 || hy < 0 || hx > 2 * (w - 16) || hy > 2 * (h - 16)) continue;
            const int s = k.Sad16(ref + (hy >> 1) * w + (hx >> 1), c, w, hx & 1, hy & 1, 16, best);
            if (s < best) {
                best = s;
                half = {hx, hy};
            }
        }
    }
    return {half.x - 2 * px, half.y - 2 * py};
}

// Moving scenes exercise the rings; still ones (every picture the same) the
// searches that stop at an exact match, and the half-pel choice among equal
// zero sums in the flat bands. Both kernel families.
class VideoMotion : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(VideoMotion, BatchedSearchFindsTheVectorsOfThePlainWalk) {
    const auto [speed, portable] = GetParam();
    kernels::VideoKernels k;
    if (portable) kernels::InitVideoKernelsPortable(&k); else k = kernels::SelectVideoKernels();
    for (const auto& [w, h] : {std::pair{48, 32}, std::pair{96, 64}, std::pair{176, 144}, std::pair{352, 288}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Geometry g;
        g.mbWidth = w / 16;
        g.mbHeight = h / 16;
        g.lumaWidth = w;
        g.lumaHeight = h;
        g.chromaWidth = w / 2;
        g.chromaHeight = h / 2;
        // A textured scene moving by a few pixels a picture, with flat black
        // bands (sums of 0 end searches at once) and some noise.
        std::mt19937 rng(static_cast<unsigned>(w * 7 + h));
        std::vector<std::uint8_t> texture(static_cast<std::size_t>(w + 64) * (h + 64));
        for (auto& v : texture) v = static_cast<std::uint8_t>(rng() % 64 + 96);
        auto picture = [&](int t) {
            std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool band = y < 8 || (x >= w / 2 - 8 && x < w / 2 + 28);
                    const int v = texture[static_cast<std::size_t>(y + 2 * t * speed + 16) * (w + 64) + x +
                                          5 * t * speed + 16] +
                                  static_cast<int>(speed ? rng() % 3 : 0);
                    p[static_cast<std::size_t>(y) * w + x] = band ? 0 : static_cast<std::uint8_t>(v);
                }
            return p;
        };
        const std::vector<std::uint8_t> p0 = picture(0), p3 = picture(6), p1 = picture(2);
        auto quarter = [&](const std::vector<std::uint8_t>& p) {
            std::vector<std::uint8_t> q(static_cast<std::size_t>(w / 4) * (h / 4));
            for (int y = 0; y < h / 4; ++y)
                for (int x = 0; x < w / 4; ++x) {
                    int s = 0;
                    for (int r = 0; r < 4; ++r)
                        for (int c = 0; c < 4; ++c) s += p[static_cast<std::size_t>(4 * y + r) * w + 4 * x + c];
                    q[static_cast<std::size_t>(y) * (w / 4) + x] = static_cast<std::uint8_t>((s + 8) >> 4);
                }
            return q;
        };
        MotionSearch ms;
        ASSERT_TRUE(ms.Allocate(g));
        ms.ResetMaxima();
        std::vector<MacroblockInfo> info(static_cast<std::size_t>(g.MbCount()));
        ms.PreparePicture(p0.data(), kPictureI, k);
        ms.PreparePicture(p3.data(), kPictureP, k);
        MotionSearch::Pictures pics{p3.data(), p0.data(), p3.data(), p0.data(), p3.data()};
        ms.SearchRows(kPictureP, pics, 0, g.mbHeight, info.data(), k);
        const int detailP = ms.DetailLevel();
        const auto q0 = quarter(p0), q3 = quarter(p3), q1 = quarter(p1);
        // Detail level 2 when the quarter picture's squared deviations from its
        // truncated mean reach 20 per full-size sample.
        auto detail = [&](const std::vector<std::uint8_t>& q) {
            long long total = 0, dev = 0;
            for (const std::uint8_t v : q) total += v;
            const long long mean = total / static_cast<long long>(q.size());
            for (const std::uint8_t v : q) dev += (mean - v) * (mean - v);
            return dev < 20LL * w * h ? 1 : 2;
        };
        ASSERT_EQ(detail(q3), detailP);
        for (int i = 0; i < g.MbCount(); ++i) {
            const Spiral want = ReferenceSearch(q0, q3, w / 4, h / 4, p0.data(), p3.data(), w, h, i % g.mbWidth,
                                                i / g.mbWidth, MotionSearch::kForwardRadius, detailP, k);
            int x, y;
            ms.FoundVector(0, i, &x, &y);
            ASSERT_TRUE(x == want.x && y == want.y) << "P macroblock " << i << ": " << x << "," << y << " against "
                                                    << want.x << "," << want.y;
        }
        // A B picture between them: forward in the old reference, backward in the new.
        ms.PreparePicture(p1.data(), kPictureB, k);
        pics.cur = p1.data();
        ms.SearchRows(kPictureB, pics, 0, g.mbHeight, info.data(), k);
        const int detailB = ms.DetailLevel();
        ASSERT_EQ(detail(q1), detailB);
        for (int i = 0; i < g.MbCount(); ++i) {
            const int mx = i % g.mbWidth, my = i / g.mbWidth;
            const Spiral f = ReferenceSearch(q0, q1, w / 4, h / 4, p0.data(), p1.data(), w, h, mx, my,
                                             MotionSearch::kForwardRadius, detailB, k);
            const Spiral b = ReferenceSearch(q3, q1, w / 4, h / 4, p3.data(), p1.data(), w, h, mx, my,
                                             MotionSearch::kBackwardRadius, detailB, k);
            int fx, fy, bx, by;
            ms.FoundVector(0, i, &fx, &fy);
            ms.FoundVector(1, i, &bx, &by);
            ASSERT_TRUE(fx == f.x && fy == f.y && bx == b.x && by == b.y) << "B macroblock " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MovingAndStill, VideoMotion,
                         ::testing::Combine(::testing::Values(1, 0), ::testing::Bool()));

TEST(VideoMotionFCode, FCodeRanges) {
    EXPECT_EQ(FCodeFor(0), 1);
    EXPECT_EQ(FCodeFor(7), 1);
    EXPECT_EQ(FCodeFor(8), 2);
    EXPECT_EQ(FCodeFor(60), 4);
    EXPECT_EQ(FCodeFor(63), 4);
    EXPECT_EQ(FCodeFor(64), 5);
    EXPECT_EQ(FCodeFor(2047), 9);
}

}  // namespace
}  // namespace reelcast::mpeg::video
