#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/mpeg/BitWriter.h"

namespace {

using reelcast::mpeg::BitWriter;

struct Writer {
    std::vector<std::uint8_t> mem = std::vector<std::uint8_t>(BitWriter::kBufferSize, 0xEE);
    BitWriter w;
    Writer() {
        w.buffer = mem.data();
        w.Reset();
    }
};

TEST(BitWriter, PacksMsbFirstAndKeepsPartialWordPending) {
    Writer t;
    t.w.PutBits(0xFFF, 12);
    t.w.PutBits(1, 1);
    t.w.PutBits(2, 2);
    t.w.PutBits(1, 1);
    EXPECT_EQ(t.w.pendingBits, 16);
    EXPECT_EQ(t.w.accumulator >> 16, 0xFFFDu);
    EXPECT_EQ(t.w.writeIndex, 0);
    EXPECT_EQ(t.w.totalBits, 16u);
    EXPECT_EQ(t.mem[0], 0xEE);  // nothing stored yet
}

TEST(BitWriter, FullWordStaysPendingUntilNextPut) {
    Writer t;
    t.w.PutBits(0x12345678, 32);
    EXPECT_EQ(t.w.pendingBits, 32);
    EXPECT_EQ(t.w.writeIndex, 0);
    t.w.PutBits(1, 1);
    ASSERT_EQ(t.w.writeIndex, 4);
    EXPECT_EQ(t.mem[0], 0x12);
    EXPECT_EQ(t.mem[1], 0x34);
    EXPECT_EQ(t.mem[2], 0x56);
    EXPECT_EQ(t.mem[3], 0x78);
    EXPECT_EQ(t.w.pendingBits, 1);
    EXPECT_EQ(t.w.accumulator, 0x80000000u);

    // 32 bits onto 32 pending: the old word is stored, the new one becomes the accumulator.
    Writer u;
    u.w.PutBits(0xCAFEBABE, 32);
    u.w.PutBits(0x0BADF00D, 32);
    EXPECT_EQ(u.w.writeIndex, 4);
    EXPECT_EQ(u.w.accumulator, 0x0BADF00Du);
    EXPECT_EQ(u.w.pendingBits, 32);
    EXPECT_EQ(u.mem[0], 0xCA);
    EXPECT_EQ(u.mem[3], 0xBE);
}

// Random widths against a one-bit-at-a-time model.
TEST(BitWriter, MatchesBitByBitModelOnRandomWidths) {
    Writer t;
    std::mt19937 rng(1234);
    std::vector<int> bits;
    for (int i = 0; i < 20000; ++i) {
        const int n = 1 + static_cast<int>(rng() % 32);
        std::uint32_t v = rng();
        if (n < 32) v &= (1u << n) - 1;
        t.w.PutBits(v, n);
        for (int b = n - 1; b >= 0; --b) bits.push_back((v >> b) & 1);
    }
    EXPECT_EQ(t.w.totalBits, bits.size());
    const std::size_t stored = static_cast<std::size_t>(t.w.writeIndex) * 8;
    ASSERT_EQ(stored + static_cast<std::size_t>(t.w.pendingBits), bits.size());
    for (std::size_t i = 0; i < stored; ++i)
        ASSERT_EQ((t.mem[i / 8] >> (7 - i % 8)) & 1, bits[i]) << "bit " << i;
    for (int i = 0; i < t.w.pendingBits; ++i)
        ASSERT_EQ(static_cast<int>((t.w.accumulator >> (31 - i)) & 1), bits[stored + static_cast<std::size_t>(i)]);
}

TEST(BitWriter, OverflowStopsStoringButKeepsCounting) {
    Writer t;
    for (int i = 0; i < BitWriter::kBufferSize / 4; ++i) {
        ASSERT_EQ(t.w.overflow, 0) << "word " << i;
        t.w.PutBits(static_cast<std::uint32_t>(i), 32);
        t.w.FlushWord();
        t.w.accumulator = 0;
        t.w.pendingBits = 0;
    }
    EXPECT_EQ(t.w.overflow, 1);
    EXPECT_EQ(t.w.writeIndex, 0);
    const std::uint8_t first = t.mem[3];
    for (int i = 0; i < 100; ++i) t.w.PutBits(0xFFFFFFFF, 32);
    EXPECT_EQ(t.w.writeIndex, 0);  // nothing for a reader to drain
    EXPECT_EQ(t.mem[3], first);
    EXPECT_EQ(t.w.totalBits, (static_cast<std::uint64_t>(BitWriter::kBufferSize) * 8) + 3200u);
    std::uint8_t out[8];
    EXPECT_EQ(t.w.Drain(out, 8), 0);

    t.w.Reset();
    EXPECT_EQ(t.w.overflow, 0);
    EXPECT_EQ(t.w.totalBits, 0u);
    t.w.PutBits(0xA5A5A5A5, 32);
    t.w.PutBits(0, 1);
    EXPECT_EQ(t.w.writeIndex, 4);
    EXPECT_EQ(t.mem[0], 0xA5);
}

TEST(BitWriter, DrainMovesRemainderToFrontAndAlignPads) {
    Writer t;
    for (std::uint32_t i = 0; i < 4; ++i) t.w.PutBits(0x01020304u + i * 0x04040404u, 32);
    t.w.PutBits(1, 3);
    ASSERT_EQ(t.w.writeIndex, 16);
    std::uint8_t out[32] = {};
    EXPECT_EQ(t.w.Drain(out, 5), 5);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[4], 0x05);
    EXPECT_EQ(t.w.writeIndex, 11);
    EXPECT_EQ(t.mem[0], 0x06);
    EXPECT_EQ(t.w.Drain(out, 100), 11);  // more than held: exactly what is there
    EXPECT_EQ(out[10], 0x10);
    EXPECT_EQ(t.w.writeIndex, 0);
    EXPECT_EQ(t.w.Drain(out, 100), 0);
    EXPECT_EQ(t.w.Drain(nullptr, 100), 0);

    EXPECT_EQ(t.w.BitsToByteBoundary(), 5);
    t.w.AlignToByte();
    EXPECT_EQ(t.w.totalBits % 8, 0u);
    EXPECT_EQ(t.w.BitsToByteBoundary(), 0);
    t.w.PutBits(0, 0);  // zero width is a no-op
    EXPECT_EQ(t.w.totalBits, 136u);
}

}  // namespace
