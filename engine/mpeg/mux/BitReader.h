// Bit-level reader over a file, most significant bit first, through a 1 MiB
// buffer. Used by the scan-offset pass to find the reserved user-data blocks in a
// finished program stream.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/NonCopyable.h"

namespace reelcast::mux {

class BitReader : NonCopyable {
public:
    static constexpr std::size_t kChunk = 1048576;

    BitReader() = default;
    ~BitReader();

    // Opens an existing file for reading and loads its first chunk. False when the
    // file cannot be opened or holds no bytes.
    bool Open(const char* path);
    // One bit into *bit; false at the end of the data or on a read failure.
    bool ReadBit(std::uint32_t* bit);
    // n bits (n <= 32), most significant first.
    bool ReadBits(int n, std::uint32_t* value);
    // Eight bits, as ReadBits(8); inline while aligned inside the buffer, since
    // the scan-offset pass reads a whole finished file this way.
    bool ReadByte(std::uint32_t* value) {
        if (bitPos_ == 8 && !endOfData_ && index_ + 1 < held_) {
            *value = buffer_[index_++];
            totalBits_ += 8;
            return true;
        }
        return ReadBits(8, value);
    }
    // Aligns to the next byte, then reads bytes until the last n bits read equal
    // pattern; false when the data ends first.
    bool Search(std::uint32_t pattern, int n);
    // Bytes consumed so far (total bits / 8).
    std::uint64_t BytePosition() const { return totalBits_ / 8; }
    bool AtEnd() const { return endOfData_; }
    // True when a read of the file failed (as opposed to reaching its end).
    bool ReadFailed() const { return readFailed_; }
    void Close();

private:
    bool LoadChunk();
    void NextByte();

    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t index_ = 0;
    int bitPos_ = 8;  // 8 = the most significant bit of the current byte is next
    std::uint64_t totalBits_ = 0;
    std::size_t held_ = 0;
    int fd_ = -1;
    bool endOfData_ = true;
    bool readFailed_ = false;
};

}  // namespace reelcast::mux
