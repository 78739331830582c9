#include "engine/mpeg/mux/ScanOffsets.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <unistd.h>

#include "engine/mpeg/FrameRates.h"
#include "engine/mpeg/mux/BitReader.h"

namespace reelcast::mux {

namespace {

std::uint8_t Bcd(std::uint32_t v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

bool ReadRecord(std::FILE* f, std::uint32_t index, std::uint32_t* value) {
    if (std::fseek(f, static_cast<long>(index) * 4, SEEK_SET) != 0) return false;
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4) return false;
    *value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
             (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
}

bool WriteAll(int fd, const std::uint8_t* p, std::size_t n, std::uint64_t at) {
    while (n > 0) {
        ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(at));
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (w == 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
        at += static_cast<std::uint64_t>(w);
    }
    return true;
}

}  // namespace

void SectorAddress(std::uint32_t v, std::uint8_t out[3]) {
    const std::uint32_t m = v / 4500;
    const std::uint32_t s = (v % 4500) / 75;
    const std::uint32_t f = v % 75;
    out[0] = Bcd(m % 100);
    out[1] = static_cast<std::uint8_t>(0x80 | Bcd(s));
    out[2] = static_cast<std::uint8_t>(0x80 | Bcd(f));
}

std::string PackIndexPath(const char* outputPath) { return std::string(outputPath ? outputPath : "") + "svcd"; }

std::uint32_t ScanReach(std::uint32_t frameRateCode, std::uint32_t gopLength) {
    const double rate = FrameRateOfCode(frameRateCode);
    const double gop = gopLength > 0 ? static_cast<double>(gopLength) : 15.0;
    return static_cast<std::uint32_t>(std::ceil(rate * 7.0 / gop));
}

ScanPassResult FillScanOffsets(const char* outputPath, int outputFd, const char* indexPath,
                               std::uint32_t recordCount, std::uint32_t frameRateCode,
                               std::uint32_t gopLength) {
    std::FILE* index = std::fopen(indexPath, "rb");
    if (!index) return ScanPassResult::kIndexUnreadable;
    BitReader reader;
    if (!reader.Open(outputPath)) {
        std::fclose(index);
        return ScanPassResult::kFailed;
    }
    const std::int64_t count = recordCount;
    const std::int64_t reach = ScanReach(frameRateCode, gopLength);

    // The address of record i, or FF FF FF when there is none.
    auto address = [&](std::int64_t i, std::uint8_t out[3]) -> bool {
        if (i < 0 || i >= count) {
            out[0] = out[1] = out[2] = 0xFF;
            return true;
        }
        std::uint32_t v = 0;
        if (!ReadRecord(index, static_cast<std::uint32_t>(i), &v)) return false;
        SectorAddress(v, out);
        return true;
    };

    bool ok = true;
    std::int64_t i = 0;
    // A sliding window over the bytes, so that a start code beginning inside
    // bytes just looked at is still found.
    std::uint32_t window = 0;
    int filled = 0;
    while (i < count) {
        std::uint32_t byte = 0;
        if (!reader.ReadByte(&byte)) {
            ok = false;
            break;
        }
        window = (window << 8) | byte;
        filled = filled < 6 ? filled + 1 : 6;
        if (filled < 4 || window != 0x000001B2u) continue;
        std::uint32_t tag = 0, len = 0;
        if (!reader.ReadByte(&tag)) {
            ok = false;
            break;
        }
        window = (window << 8) | tag;
        if (tag != 0x10) continue;
        if (!reader.ReadByte(&len)) {
            ok = false;
            break;
        }
        window = (window << 8) | len;
        if (len != 0x0E) continue;
        const std::uint64_t at = reader.BytePosition();
        std::uint8_t rec[12];
        const std::int64_t back = i > reach - 1 ? i - reach : 0;
        const std::int64_t fwd = i < count - reach - 1 ? i + reach : count - 1;
        if (!address(i - 1, rec) || !address(i + 1, rec + 3) || !address(back, rec + 6) ||
            !address(fwd, rec + 9)) {
            ok = false;
            break;
        }
        if (!WriteAll(outputFd, rec, sizeof rec, at)) {
            ok = false;
            break;
        }
        ++i;
    }
    reader.Close();
    std::fclose(index);
    return ok && i == count ? ScanPassResult::kDone : ScanPassResult::kFailed;
}

}  // namespace reelcast::mux
