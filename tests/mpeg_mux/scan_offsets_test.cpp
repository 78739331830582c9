// The scan-offset pass on its own: addresses, reach, and placement in files the
// test lays out itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "engine/mpeg/mux/BitReader.h"
#include "engine/mpeg/mux/ScanOffsets.h"
#include "tests/mpeg_mux/PackParser.h"

namespace fs = std::filesystem;
using namespace reelcast::mux;

namespace {

std::vector<std::uint8_t> Addr(std::uint32_t v) {
    std::uint8_t a[3];
    SectorAddress(v, a);
    return {a[0], a[1], a[2]};
}

struct Files {
    fs::path dir = fs::temp_directory_path() / ("scan_test_" + std::to_string(::getpid()));
    Files() { fs::create_directories(dir); }
    ~Files() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

void WriteFile(const fs::path& p, const std::vector<std::uint8_t>& b) {
    std::FILE* f = std::fopen(p.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

// A file with `blocks` reserved blocks at irregular places, and an index of
// `records` sector numbers 100 + 7 i.
struct Layout {
    std::vector<std::size_t> at;  // positions of the 12-byte records
};

Layout MakeFiles(const fs::path& out, const fs::path& index, int blocks, int records) {
    std::vector<std::uint8_t> b;
    Layout l;
    for (int i = 0; i < blocks; ++i) {
        b.insert(b.end(), 37 + (i * 53) % 200, 0x00);  // zeros around, as in real streams
        // A decoy: user data with other leading bytes is passed over.
        for (std::uint8_t c : {0, 0, 1, 0xB2, 0x10, 0x0F}) b.push_back(c);
        for (std::uint8_t c : {0, 0, 1, 0xB2, 0x10, 0x0E}) b.push_back(c);
        l.at.push_back(b.size());
        for (int k = 0; k < 4; ++k) b.insert(b.end(), {0x00, 0x80, 0x80});
    }
    b.insert(b.end(), 10, 0x55);
    WriteFile(out, b);
    std::vector<std::uint8_t> idx;
    for (int i = 0; i < records; ++i) {
        const std::uint32_t v = 100 + 7 * i;
        idx.insert(idx.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
    }
    WriteFile(index, idx);
    return l;
}

ScanPassResult RunPass(const fs::path& out, const fs::path& index, int records) {
    int fd = ::open(out.c_str(), O_RDWR);
    EXPECT_GE(fd, 0);
    ScanPassResult r = FillScanOffsets(out.c_str(), fd, index.c_str(), records, 3, 15);
    ::close(fd);
    return r;
}

// Files of `blocks` blocks and `records` index records named after name, one
// pass over them, and the output's bytes after it.
struct Pass {
    Layout layout;
    ScanPassResult result;
    std::vector<std::uint8_t> bytes;
};

Pass MakeAndRun(const fs::path& dir, const std::string& name, int blocks, int records) {
    const fs::path out = dir / (name + ".mpg"), index = dir / (name + ".mpgsvcd");
    Pass p{MakeFiles(out, index, blocks, records), {}, {}};
    p.result = RunPass(out, index, records);
    p.bytes = reelcast::testing::ReadWholeFile(out.string());
    return p;
}

}  // namespace

TEST(ScanOffsets, SectorAddressesAndReach) {
    EXPECT_EQ((std::vector<std::uint8_t>{0x00, 0x80, 0x80}), Addr(0));
    EXPECT_EQ((std::vector<std::uint8_t>{0x00, 0x81, 0x80}), Addr(75));
    EXPECT_EQ((std::vector<std::uint8_t>{0x01, 0x80, 0x80}), Addr(4500));
    EXPECT_EQ((std::vector<std::uint8_t>{0x01, 0x80, 0xF4}), Addr(4574));
    EXPECT_EQ((std::vector<std::uint8_t>{0x12, 0xD9, 0xF4}), Addr(12 * 4500 + 59 * 75 + 74));
    EXPECT_EQ(12u, ScanReach(1, 15));
    EXPECT_EQ(12u, ScanReach(2, 15));
    EXPECT_EQ(12u, ScanReach(3, 15));
    EXPECT_EQ(14u, ScanReach(4, 15));
    EXPECT_EQ(14u, ScanReach(5, 15));
    EXPECT_EQ("clip.mpgsvcd", PackIndexPath("clip.mpg"));
}

TEST(ScanOffsets, ThirtyIPicturesAtTwentyFive) {
    Files f;
    const Pass pass = MakeAndRun(f.dir, "a", 30, 30);
    EXPECT_EQ(ScanPassResult::kDone, pass.result);
    const Layout& l = pass.layout;
    const auto& b = pass.bytes;
    auto rec = [&](int i, int field) {
        const std::size_t p = l.at[i] + 3 * field;
        return std::vector<std::uint8_t>(b.begin() + p, b.begin() + p + 3);
    };
    auto sector = [](int i) { return Addr(100 + 7 * i); };
    const std::vector<std::uint8_t> none{0xFF, 0xFF, 0xFF};
    EXPECT_EQ(none, rec(0, 0));
    EXPECT_EQ(sector(1), rec(0, 1));
    EXPECT_EQ(sector(0), rec(0, 2));   // backward: itself
    EXPECT_EQ(sector(12), rec(0, 3));
    EXPECT_EQ(sector(8), rec(20, 2));
    EXPECT_EQ(sector(29), rec(20, 3));  // 20 >= 30 - 12 - 1: the last
    EXPECT_EQ(sector(28), rec(16, 3));
    EXPECT_EQ(sector(28), rec(29, 0));
    EXPECT_EQ(none, rec(29, 1));
    // Nothing outside the records changed: the decoys keep their bytes.
    for (std::size_t p : l.at) EXPECT_EQ(0x0F, b[p - 7]);
}

TEST(ScanOffsets, FewerBlocksThanRecordsFails) {
    Files f;
    const Pass pass = MakeAndRun(f.dir, "b", 5, 8);
    EXPECT_EQ(ScanPassResult::kFailed, pass.result);
    // The blocks found got their addresses.
    const std::size_t at = pass.layout.at[4] + 3;
    EXPECT_EQ(Addr(100 + 7 * 5), std::vector<std::uint8_t>(pass.bytes.begin() + at, pass.bytes.begin() + at + 3));
    EXPECT_EQ(ScanPassResult::kIndexUnreadable,
              FillScanOffsets((f.dir / "b.mpg").c_str(), -1, (f.dir / "missing").c_str(), 1, 3, 15));
}

TEST(ScanOffsets, BitReaderReadsAcrossChunks) {
    Files f;
    const fs::path p = f.dir / "c.bin";
    std::vector<std::uint8_t> b(BitReader::kChunk + 100, 0x11);
    b[BitReader::kChunk - 2] = 0x00;
    b[BitReader::kChunk - 1] = 0x00;
    b[BitReader::kChunk] = 0x01;
    b[BitReader::kChunk + 1] = 0xB2;
    WriteFile(p, b);
    BitReader r;
    ASSERT_TRUE(r.Open(p.c_str()));
    std::uint32_t v = 0;
    ASSERT_TRUE(r.ReadBits(4, &v));
    EXPECT_EQ(1u, v);
    ASSERT_TRUE(r.Search(0x000001B2, 32));
    EXPECT_EQ(BitReader::kChunk + 2, r.BytePosition());
    EXPECT_FALSE(r.Search(0x000001B3, 32));
    EXPECT_TRUE(r.AtEnd());
    EXPECT_FALSE(r.Open((f.dir / "nothing").c_str()));
}

// The reader against a plain bit cursor over the same bytes: random reads of
// 1 to 32 bits, of bytes, and searches, through two chunk boundaries, with start codes
// planted across them and at the very end.
TEST(ScanOffsets, BitReaderMatchesABitCursor) {
    Files f;
    const fs::path p = f.dir / "r.bin";
    std::uint32_t seed = 12345;
    auto rnd = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    std::vector<std::uint8_t> b(2 * BitReader::kChunk + 777);
    for (auto& x : b) x = static_cast<std::uint8_t>(rnd() | 0x10);  // no stray zero bytes
    auto plant = [&b](std::size_t at, std::uint8_t code) {
        b[at] = 0;
        b[at + 1] = 0;
        b[at + 2] = 1;
        b[at + 3] = code;
    };
    for (std::size_t k = 0; k < 60; ++k) plant(rnd() % (b.size() - 4), k % 2 ? 0xB2 : 0xB3);
    for (std::size_t edge : {BitReader::kChunk, 2 * BitReader::kChunk}) {
        for (std::size_t back = 1; back <= 4; ++back) {
            plant(edge - back - 8 * back, 0xB2);
            plant(edge - back, 0xB2);
        }
    }
    plant(b.size() - 4, 0xB2);
    WriteFile(p, b);

    std::uint64_t bit = 0;  // the cursor
    const std::uint64_t total = 8ull * b.size();
    auto cursorBits = [&](int n, std::uint32_t* v) {
        if (bit + n > total) return false;
        *v = 0;
        for (int i = 0; i < n; ++i, ++bit) *v = (*v << 1) | ((b[bit / 8] >> (7 - bit % 8)) & 1u);
        return true;
    };
    auto cursorSearch = [&](std::uint32_t pattern, int n) {
        std::uint32_t v = 0;
        if (bit % 8 && !cursorBits(8 - static_cast<int>(bit % 8), &v)) return false;
        const std::uint32_t mask = n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1u;
        if (!cursorBits(n, &v)) return false;
        while ((v & mask) != (pattern & mask)) {
            std::uint32_t byte = 0;
            if (!cursorBits(8, &byte)) return false;
            v = (v << 8) | byte;
        }
        return true;
    };

    BitReader r;
    ASSERT_TRUE(r.Open(p.c_str()));
    for (int step = 0; step < 200000; ++step) {
        const std::uint32_t op = rnd() % 10;
        bool want, got;
        if (op < 6) {
            const int n = op < 2 ? 8 : 1 + static_cast<int>(rnd() % 32);
            std::uint32_t a = 0, c = 0;
            want = cursorBits(n, &c);
            got = op < 2 ? r.ReadByte(&a) : r.ReadBits(n, &a);
            if (want && got) {
                ASSERT_EQ(c, a) << "step " << step << " n " << n;
            }
        } else {
            const std::uint32_t pattern = op < 9 ? 0x000001B2u : 0x0001u;
            const int n = op < 9 ? 32 : 16;
            want = cursorSearch(pattern, n);
            got = r.Search(pattern, n);
        }
        ASSERT_EQ(want, got) << "step " << step;
        if (!want) break;
        ASSERT_EQ(bit / 8, r.BytePosition()) << "step " << step;
        ASSERT_EQ(bit == total, r.AtEnd()) << "step " << step;
    }
    EXPECT_TRUE(r.AtEnd());
}
