// Kernels that do the work of others in larger steps (the coarse search's
// ring bookkeeping, two transforms at once): every vector family against the
// portable one on random inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "engine/mpeg/video/kernels/Kernels.h"
#include "tests/kernels/KernelFamilies.h"

namespace {

using namespace reelcast::kernels;
using Row = std::array<std::uint16_t, kCoarseRingColumns>;

// Rows formed from random quarter pictures (wide and narrow) or kept as the
// caller filled them (0 .. 16 x 255, or the 0xFFFF of a position outside the
// window), windows clipped at either end, every ring; the middle row alone.
TEST(BatchKernels, CoarseRingMatchesPortable) {
    std::mt19937 rng(reelcast::test::KernelSeed() + 11);
    VideoKernels ref;
    InitVideoKernelsPortable(&ref);
    auto sums = [&](Row& r) {
        const int top = rng() % 3 == 0 ? 8 : 4081;  // narrow ranges make ties
        for (auto& v : r) v = rng() % 16 == 0 ? 0xFFFF : static_cast<std::uint16_t>(rng() % top);
    };
    for (const auto& f : reelcast::test::VectorFamilies(&InitVideoKernels)) {
        SCOPED_TRACE(f.name);
        for (int it = 0; it < 3000; ++it) {
            const int stride = 40 + static_cast<int>(rng() % 60);
            std::vector<std::uint8_t> picture(static_cast<std::size_t>(stride) * 4 + 48);
            const bool flat = rng() % 4 == 0;  // equal sums everywhere
            for (auto& v : picture) v = static_cast<std::uint8_t>(flat ? 7 : rng() % (rng() % 2 ? 256 : 4));
            std::uint8_t cur[16];
            for (auto& v : cur) v = static_cast<std::uint8_t>(flat ? 9 : rng());
            Row top, bottom, outside, span, columnMin;
            sums(top);
            sums(bottom);
            sums(columnMin);
            const int lo = static_cast<int>(rng() % 20), hi = kCoarseRingColumns - static_cast<int>(rng() % 20);
            const int ring = static_cast<int>(rng() % 16);
            for (int j = 0; j < kCoarseRingColumns; ++j) {
                outside[static_cast<std::size_t>(j)] = j < lo || j >= hi ? 0xFFFF : 0;
                span[static_cast<std::size_t>(j)] = std::abs(j - kCoarseRingColumns / 2) <= ring ? 0 : 0xFFFF;
            }
            const int wide = static_cast<int>(rng() & 1);
            const std::uint8_t* refTop = rng() % 4 ? picture.data() + rng() % 8 : nullptr;
            const std::uint8_t* refBottom = rng() % 4 ? picture.data() + rng() % 8 : nullptr;
            const bool same = it % 4 == 0;  // one row on its own
            if (same) refBottom = refTop;
            Row t1 = top, b1 = same ? top : bottom, c1 = columnMin, t2 = t1, b2 = b1, c2 = c1;
            const CoarseRows r1{cur, stride, outside.data(), c1.data()}, r2{cur, stride, outside.data(), c2.data()};
            const std::uint16_t want =
                ref.CoarseRing32(r1, refTop, refBottom, wide, t1.data(), same ? t1.data() : b1.data(), span.data());
            const std::uint16_t got =
                f.k.CoarseRing32(r2, refTop, refBottom, wide, t2.data(), same ? t2.data() : b2.data(), span.data());
            ASSERT_EQ(want, got) << "iteration " << it;
            ASSERT_TRUE(t1 == t2 && b1 == b2 && c1 == c2) << "iteration " << it;
        }
    }
}

// Forward: prediction errors, any int16 (the wide inputs take the plain pass
// in one block and the mirrored one in the other), and blocks of extremes;
// inverse: the same shapes within the dequantisers' -2048..2047.
TEST(BatchKernels, TransformPairsMatchSingleTransforms) {
    std::mt19937 rng(reelcast::test::KernelSeed() + 12);
    VideoKernels ref;
    InitVideoKernelsPortable(&ref);
    auto block = [&](std::array<std::int16_t, 64>& b) {
        const int mode = static_cast<int>(rng() % 4);
        for (auto& v : b) {
            switch (mode) {
                case 0: v = static_cast<std::int16_t>(static_cast<int>(rng() % 511) - 255); break;
                case 1: v = static_cast<std::int16_t>(rng()); break;
                case 2: v = static_cast<std::int16_t>(rng() & 1 ? 255 : -255); break;
                default: v = static_cast<std::int16_t>(rng() % 6 == 0 ? static_cast<int>(rng() % 41) - 20 : 0); break;
            }
        }
    };
    auto families = reelcast::test::VectorFamilies(&InitVideoKernels);
    families.insert(families.begin(), {"portable", ref});
    for (const auto& f : families) {
        SCOPED_TRACE(f.name);
        for (int it = 0; it < 4000; ++it) {
            std::array<std::int16_t, 64> a, b;
            block(a);
            block(b);
            const bool inverse = it % 2 == 1;
            if (inverse)
                for (auto* blk : {&a, &b})
                    for (auto& v : *blk) v = static_cast<std::int16_t>(std::clamp<int>(v * 8, -2048, 2047));
            auto wantA = a, wantB = b;
            (inverse ? ref.InverseDct : ref.ForwardDct)(wantA.data());
            (inverse ? ref.InverseDct : ref.ForwardDct)(wantB.data());
            (inverse ? f.k.InverseDct2 : f.k.ForwardDct2)(a.data(), b.data());
            ASSERT_TRUE(a == wantA && b == wantB) << (inverse ? "inverse" : "forward") << ", iteration " << it;
        }
    }
}

}  // namespace
