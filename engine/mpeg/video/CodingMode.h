// The fifteen coding-mode values the video encoder's SetCodingMode takes, as one
// record, and the one place that chooses them for a coding kind.
#pragma once

#include <cstdint>

#include "engine/mpeg/CodingKind.h"
#include "engine/mpeg/video/IMpegVideoEncoder.h"

namespace reelcast::mpeg::video {

// In SetCodingMode's argument order.
struct CodingMode {
    std::int32_t codingKind = 0;  // a CodingKind
    std::int32_t initialVbvDelay = 0;
    std::int32_t progressiveSequence = 0;
    double frameRate = 0.0;
    std::int32_t progressiveFrame = 0;
    std::int32_t intraDcPrecision = 0;  // code: 0 = 8 bits ... 3 = 11 bits
    std::int32_t constantBitRate = 0;
    std::int32_t mpeg1Syntax = 0;
    std::int32_t vbvBufferSize = 0;  // units of 16384 bits
    std::int32_t fixedQuantiserCode = 0;
    std::int32_t constrainedParameters = 0;
    std::int32_t aspectRatioInformation = 0;
    std::int32_t transferCharacteristics = 0;
    std::int32_t colourPrimaries = 0;
    std::int32_t videoFormat = 0;

    CodingKind Kind() const { return static_cast<CodingKind>(codingKind); }
};

// VBV buffer size of each syntax, in units of 16384 bits.
inline constexpr std::int32_t kMpeg1VbvBufferSize = 20;
inline constexpr std::int32_t kMpeg2VbvBufferSize = 112;

inline constexpr std::int32_t VbvBufferSizeOf(CodingKind kind) {
    return IsMpeg1(kind) ? kMpeg1VbvBufferSize : kMpeg2VbvBufferSize;
}

// The coding mode of a kind at a picture rate (frame_rate_code 3 is the PAL
// rate, whose colour description differs), with or without a constant bit rate.
inline CodingMode CodingModeOf(CodingKind kind, double frameRate, std::int32_t frameRateCode, bool constantBitRate) {
    const bool mpeg1 = IsMpeg1(kind);
    const bool pal = frameRateCode == 3;
    CodingMode m;
    m.codingKind = static_cast<std::int32_t>(kind);
    m.initialVbvDelay = 0;
    m.progressiveSequence = mpeg1 ? 1 : 0;
    m.frameRate = frameRate;
    m.progressiveFrame = mpeg1 ? 1 : 0;
    m.intraDcPrecision = mpeg1 ? 0 : 1;  // 8 bits for MPEG-1, 9 for MPEG-2
    m.constantBitRate = constantBitRate ? 1 : 0;
    m.mpeg1Syntax = mpeg1 ? 1 : 0;
    m.vbvBufferSize = VbvBufferSizeOf(kind);
    m.fixedQuantiserCode = 4;
    m.constrainedParameters = mpeg1 ? 1 : 0;
    m.aspectRatioInformation = mpeg1 ? 8 : 2;  // MPEG-1 pel aspect code, MPEG-2 4:3 display
    m.transferCharacteristics = pal ? 5 : 4;
    m.colourPrimaries = pal ? 5 : 4;
    m.videoFormat = pal ? 1 : 2;  // PAL, NTSC
    return m;
}

// Whether the rate control caps the rate instead of holding it constant: SVCD
// (the kind's constant-rate use; DVD runs a fixed quantiser) may vary its
// video rate, so easy scenes are not padded up to the nominal rate.
inline bool CapsBitRate(const CodingMode& m) { return m.constantBitRate != 0 && m.Kind() == CodingKind::SvcdOrDvd; }

// Picture sizes of the 625- and 525-line disc formats, which fill a 4:3 display.
inline constexpr bool FillsFourByThree(std::int32_t width, std::int32_t height) {
    return (width == 352 || width == 480 || width == 704 || width == 720) &&
           (height == 240 || height == 288 || height == 480 || height == 576);
}

// Pel aspect ratios (pel height / pel width) of the MPEG-1 aspect codes 1 to 14.
inline constexpr double kMpeg1PelAspects[] = {1.0,    0.6735, 0.7031, 0.7615, 0.8055, 0.8437, 0.8935,
                                              0.9157, 0.9815, 1.0255, 1.0695, 1.0950, 1.1575, 1.2015};

// The aspect code that makes a picture of this size show its real shape: the
// disc sizes fill a 4:3 display, every other size has square pels. VCD keeps
// code 8, the 625-line pel shape its players expect.
inline std::int32_t AspectRatioInformationOf(CodingKind kind, std::int32_t width, std::int32_t height) {
    const bool fourByThree = FillsFourByThree(width, height);
    if (!IsMpeg1(kind)) return fourByThree ? 2 : 1;  // 4:3 display, or square samples
    if (kind == CodingKind::Vcd || width <= 0 || height <= 0) return 8;
    const double pel = fourByThree ? 3.0 * width / (4.0 * height) : 1.0;
    std::int32_t best = 1;
    for (std::int32_t code = 1; code <= 14; ++code) {
        const double d = pel - kMpeg1PelAspects[code - 1];
        const double b = pel - kMpeg1PelAspects[best - 1];
        if (d * d < b * b) best = code;
    }
    return best;
}

// Hands the record to the encoder's table, field by field.
inline void SetCodingMode(IMpegVideoEncoder& encoder, const CodingMode& m) {
    encoder.SetCodingMode(m.codingKind, m.initialVbvDelay, m.progressiveSequence, m.frameRate, m.progressiveFrame,
                          m.intraDcPrecision, m.constantBitRate, m.mpeg1Syntax, m.vbvBufferSize,
                          m.fixedQuantiserCode, m.constrainedParameters, m.aspectRatioInformation,
                          m.transferCharacteristics, m.colourPrimaries, m.videoFormat);
}

}  // namespace reelcast::mpeg::video
