// SVCD scan offsets: every I picture of an SVCD video stream carries a user-data
// block (00 00 01 B2, 0x10, 0x0E, 12 bytes) that a player reads for fast search:
// the sector addresses of the previous, next, far-backward and far-forward I
// pictures. Those are known only once the file is multiplexed, so the
// multiplexer records the sector of every I picture in a pack-index file and this
// pass writes the addresses into the finished file.
#pragma once

#include <cstdint>
#include <string>

namespace reelcast::mux {

// The 3-byte address of sector v: minutes, seconds | 0x80, frames | 0x80, each in
// BCD at 75 sectors per second.
void SectorAddress(std::uint32_t v, std::uint8_t out[3]);

// The pack-index file beside the output: its path with "svcd" appended.
std::string PackIndexPath(const char* outputPath);

// How many I pictures the far addresses reach: ceil(pictures per second * 7 / gop).
std::uint32_t ScanReach(std::uint32_t frameRateCode, std::uint32_t gopLength);

enum class ScanPassResult {
    kIndexUnreadable,  // the pack-index file could not be reopened (left in place)
    kFailed,           // stopped early; the addresses already written stay
    kDone,
};

// Reads recordCount little-endian uint32 sector indices from indexPath and writes
// the addresses into the blocks of outputPath, in order, through outputFd (which
// must be open for writing on the same file).
ScanPassResult FillScanOffsets(const char* outputPath, int outputFd, const char* indexPath,
                               std::uint32_t recordCount, std::uint32_t frameRateCode,
                               std::uint32_t gopLength);

}  // namespace reelcast::mux
