// MSB-first bit writer shared by the MPEG video and audio encoders.
//
// Bits collect in a left-aligned 32-bit accumulator; every full word is stored as
// four big-endian bytes into a fixed 1 MiB buffer that the multiplexer drains
// through the encoder's ReadStream. Up to 31 bits (32 just before the next put)
// stay in the accumulator; callers that need their last bits in the buffer pad
// and store them themselves.
//
// Not thread-safe: one instance per encoder, used on the job's worker thread.
#pragma once

#include <cstdint>

namespace reelcast::mpeg {

struct BitWriter {
    static constexpr std::int32_t kBufferSize = 1048576;  // bytes

    // Field order is part of the layout the encoders share; keep it.
    std::uint8_t* buffer = nullptr;  // kBufferSize bytes, owned by the encoder
    std::uint32_t accumulator = 0;   // pending bits, first pending bit in bit 31
    std::int32_t writeIndex = 0;     // bytes stored in buffer; next byte goes here
    std::int32_t pendingBits = 0;    // bits in accumulator, 0..32
    std::uint64_t totalBits = 0;     // every bit put since the last Reset
    std::uint8_t overflow = 0;       // set once the buffer has filled

    // Clears all state except the buffer pointer.
    void Reset() {
        accumulator = 0;
        writeIndex = 0;
        pendingBits = 0;
        totalBits = 0;
        overflow = 0;
    }

    // Appends the low n bits (1..32) of value, most significant first. Bits of
    // value above n must be zero (not masked here). n = 0 puts nothing.
    void PutBits(std::uint32_t value, int n) {
        if (n <= 0) return;
        totalBits += static_cast<std::uint64_t>(n);
        const int p = pendingBits + n;
        if (p <= 32) {
            accumulator |= value << (32 - p);
            pendingBits = p;
            return;
        }
        if (p != 64) accumulator |= value >> (p - 32);  // leading bits that still fit
        FlushWord();
        accumulator = value << (64 - p);  // remaining bits, left-aligned
        pendingBits = p - 32;
    }

    // Stores the accumulator's four bytes at the write index (unless the buffer
    // has overflowed) and advances the index. Leaves the accumulator and the
    // pending count alone. Once the buffer has filled, the index stays at 0 and
    // nothing more is stored until Reset, so a reader never drains bytes that
    // were not written.
    void FlushWord() {
        if (overflow) return;
        if (buffer) {
            std::uint8_t* d = buffer + writeIndex;
            d[0] = static_cast<std::uint8_t>(accumulator >> 24);
            d[1] = static_cast<std::uint8_t>(accumulator >> 16);
            d[2] = static_cast<std::uint8_t>(accumulator >> 8);
            d[3] = static_cast<std::uint8_t>(accumulator);
        }
        writeIndex += 4;
        if (writeIndex >= kBufferSize) {
            overflow = 1;
            writeIndex = 0;
        }
    }

    // Zero bits needed to reach the next byte boundary of the whole stream.
    int BitsToByteBoundary() const { return static_cast<int>((8 - (totalBits & 7)) & 7); }

    // Pads with zero bits to a byte boundary.
    void AlignToByte() { PutBits(0, BitsToByteBoundary()); }

    // Copies min(maxBytes, writeIndex) bytes from the front of the buffer to dest,
    // moves the rest to the front and lowers the write index. Answers the count
    // copied (0 for a null dest/buffer or a non-positive maximum).
    std::int32_t Drain(std::uint8_t* dest, std::int32_t maxBytes);
};

}  // namespace reelcast::mpeg
