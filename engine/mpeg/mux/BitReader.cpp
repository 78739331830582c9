#include "engine/mpeg/mux/BitReader.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace reelcast::mux {

BitReader::~BitReader() { Close(); }

bool BitReader::Open(const char* path) {
    Close();
    if (!path) return false;
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    buffer_.reset(new (std::nothrow) std::uint8_t[kChunk]);
    if (!buffer_) {
        Close();
        return false;
    }
    index_ = 0;
    bitPos_ = 8;
    totalBits_ = 0;
    endOfData_ = false;
    readFailed_ = false;
    if (!LoadChunk()) {
        endOfData_ = true;
        return false;
    }
    return true;
}

// Fills the buffer from the file; false when nothing more could be read.
bool BitReader::LoadChunk() {
    std::size_t got = 0;
    while (got < kChunk) {
        ssize_t n = ::read(fd_, buffer_.get() + got, kChunk - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            readFailed_ = true;
            break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    held_ = got;
    index_ = 0;
    return got > 0;
}

// Moves past the current byte, loading the next chunk when the buffer is used up.
void BitReader::NextByte() {
    ++index_;
    if (index_ >= held_) {
        // A short chunk was the file's last one.
        if (held_ == kChunk) {
            if (!LoadChunk()) endOfData_ = true;
        } else {
            endOfData_ = true;
        }
        index_ = 0;
    }
}

bool BitReader::ReadBit(std::uint32_t* bit) {
    if (endOfData_) return false;
    *bit = (buffer_[index_] >> (bitPos_ - 1)) & 1u;
    --bitPos_;
    ++totalBits_;
    if (bitPos_ == 0) {
        bitPos_ = 8;
        NextByte();
    }
    return true;
}

bool BitReader::ReadBits(int n, std::uint32_t* value) {
    std::uint32_t v = 0;
    int i = 0;
    // Whole bytes at once while aligned; the same bits as one at a time.
    for (; bitPos_ == 8 && i + 8 <= n; i += 8) {
        if (endOfData_) return false;
        v = (v << 8) | buffer_[index_];
        totalBits_ += 8;
        NextByte();
    }
    for (; i < n; ++i) {
        std::uint32_t b = 0;
        if (!ReadBit(&b)) return false;
        v = (v << 1) | b;
    }
    *value = v;
    return true;
}

bool BitReader::Search(std::uint32_t pattern, int n) {
    std::uint32_t b = 0;
    while (bitPos_ != 8) {
        if (!ReadBit(&b)) return false;
    }
    const std::uint32_t mask = n >= 32 ? 0xFFFFFFFFu : ((1u << n) - 1u);
    const std::uint32_t want = pattern & mask;
    std::uint32_t v = 0;
    if (!ReadBits(n, &v)) return false;
    // Byte-aligned from here on: shift whole bytes straight out of the buffer
    // (a finished SVCD file is read through once, so this loop is the pass).
    while ((v & mask) != want) {
        if (endOfData_) return false;
        const std::uint8_t* buf = buffer_.get();
        std::size_t i = index_;
        const std::size_t end = held_ - 1;  // the chunk's last byte goes through NextByte
        while (i < end && (v & mask) != want) v = (v << 8) | buf[i++];
        totalBits_ += 8 * static_cast<std::uint64_t>(i - index_);
        index_ = i;
        if ((v & mask) == want) break;
        v = (v << 8) | buf[index_];
        totalBits_ += 8;
        NextByte();
    }
    return true;
}

void BitReader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.reset();
    held_ = 0;
    endOfData_ = true;
}

}  // namespace reelcast::mux
