// Variable-length code tables of ISO/IEC 13818-2 Annex B (shared by MPEG-1, whose
// tables in ISO/IEC 11172-2 Annex B are the same), the zig-zag scan and the default
// quantiser matrices. Codes are right-aligned in `code`; `length` is in bits; a
// length of 0 marks a value without a code of its own (escape needed).
#pragma once

#include <array>
#include <cstdint>

namespace reelcast::mpeg::video {

struct Vlc {
    std::uint16_t code;
    std::uint8_t length;
};

// B.1 macroblock_address_increment 1..33 (index = increment); the 11-bit escape
// stands for 33 more.
extern const Vlc kAddressIncrement[34];
inline constexpr Vlc kAddressEscape{0x008, 11};

// B.2 to B.4 macroblock_type, indexed by the flag word (1 intra, 2 pattern,
// 4 backward, 8 forward, 16 quantiser) for I, P and B pictures.
extern const std::array<Vlc, 32> kMbTypeI;
extern const std::array<Vlc, 32> kMbTypeP;
extern const std::array<Vlc, 32> kMbTypeB;

// B.9 coded_block_pattern (4:2:0), index 0..63.
extern const Vlc kCodedBlockPattern[64];

// B.10 motion_code magnitude 0..16, without the sign bit that follows non-zero codes.
extern const Vlc kMotionCode[17];

// B.12 / B.13 dct_dc_size for luma and chroma, sizes 0..11.
extern const Vlc kDcSizeLuma[12];
extern const Vlc kDcSizeChroma[12];

// B.14 DCT coefficients, table zero, without the sign bit. Only runs 0..1 with
// levels 1..40 and runs 0..31 with levels 1..5 are looked up; other pairs (and
// those with length 0 here) are escaped.
extern const std::array<std::array<Vlc, 41>, 2> kDctRun01;  // [run][level], level 1..40
extern const std::array<std::array<Vlc, 6>, 32> kDctRunAny; // [run][level], level 1..5
inline constexpr Vlc kDctEndOfBlock{0x2, 2};
inline constexpr Vlc kDctEscape{0x1, 6};
// First coefficient of a non-intra block, run 0 and level 1: "1s".
inline constexpr Vlc kDctFirstRun0Level1{0x1, 1};

// Coefficient position in natural row-major order of the n-th coefficient in the
// zig-zag scan.
extern const std::uint8_t kZigZag[64];

// Default quantiser matrices in natural row-major order.
extern const std::uint8_t kDefaultIntraMatrix[64];
extern const std::uint8_t kDefaultNonIntraMatrix[64];

// Looks up the B.14 code for (run, |level|); length 0 when the pair needs an escape.
inline Vlc DctCode(int run, int absLevel) {
    if (run < 2 && absLevel <= 40) return kDctRun01[run][absLevel];
    if (run < 32 && absLevel <= 5) return kDctRunAny[run][absLevel];
    return Vlc{0, 0};
}

}  // namespace reelcast::mpeg::video
