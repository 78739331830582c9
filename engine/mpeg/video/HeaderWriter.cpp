#include "engine/mpeg/video/HeaderWriter.h"

#include <cmath>

namespace reelcast::mpeg::video {

std::uint32_t BitRateValue(const SequenceSettings& s) {
    if (!s.mode.constantBitRate && IsMpeg1(s.mode.Kind())) return 0x3FFFF;
    const double rate = s.mode.constantBitRate ? s.bitRate : s.uncontrolledBitRate;
    const double units = std::ceil(rate / 400.0);
    if (units <= 0.0) return 0;
    if (units >= 1073741823.0) return 0x3FFFFFFF;  // 30 bits: header plus extension
    return static_cast<std::uint32_t>(units);
}

void WriteStartCode(BitWriter& bw, std::uint32_t code) {
    bw.AlignToByte();
    bw.PutBits(code, 32);
}

void WriteSequenceHeader(BitWriter& bw, const SequenceSettings& s) {
    const std::uint32_t rate = BitRateValue(s);
    const auto vbv = static_cast<std::uint32_t>(s.mode.vbvBufferSize);
    WriteStartCode(bw, kSequenceHeaderCode);
    bw.PutBits(static_cast<std::uint32_t>(s.width) & 0xFFF, 12);
    bw.PutBits(static_cast<std::uint32_t>(s.height) & 0xFFF, 12);
    bw.PutBits(static_cast<std::uint32_t>(s.mode.aspectRatioInformation) & 0xF, 4);
    bw.PutBits(static_cast<std::uint32_t>(s.frameRateCode) & 0xF, 4);
    bw.PutBits(rate & 0x3FFFF, 18);
    bw.PutBits(1, 1);  // marker
    bw.PutBits(vbv & 0x3FF, 10);
    bw.PutBits(s.mode.constrainedParameters ? 1 : 0, 1);
    bw.PutBits(0, 1);  // load_intra_quantiser_matrix: the default matrix
    bw.PutBits(0, 1);  // load_non_intra_quantiser_matrix
    if (!s.Mpeg2()) return;

    WriteStartCode(bw, kExtensionStartCode);
    bw.PutBits(1, 4);  // sequence extension
    bw.PutBits(static_cast<std::uint32_t>((s.profile << 4) | s.level), 8);
    bw.PutBits(s.mode.progressiveSequence ? 1 : 0, 1);
    bw.PutBits(1, 2);  // chroma_format 4:2:0
    bw.PutBits((static_cast<std::uint32_t>(s.width) >> 12) & 3, 2);
    bw.PutBits((static_cast<std::uint32_t>(s.height) >> 12) & 3, 2);
    bw.PutBits((rate >> 18) & 0xFFF, 12);
    bw.PutBits(1, 1);  // marker
    bw.PutBits((vbv >> 10) & 0xFF, 8);
    bw.PutBits(0, 1);  // low_delay
    bw.PutBits(0, 2);  // frame_rate_extension_n
    bw.PutBits(0, 5);  // frame_rate_extension_d

    WriteStartCode(bw, kExtensionStartCode);
    bw.PutBits(2, 4);  // sequence display extension
    bw.PutBits(static_cast<std::uint32_t>(s.mode.videoFormat) & 7, 3);
    bw.PutBits(1, 1);  // colour_description
    bw.PutBits(static_cast<std::uint32_t>(s.mode.colourPrimaries) & 0xFF, 8);
    bw.PutBits(static_cast<std::uint32_t>(s.mode.transferCharacteristics) & 0xFF, 8);
    bw.PutBits(static_cast<std::uint32_t>(s.matrixCoefficients) & 0xFF, 8);
    bw.PutBits(static_cast<std::uint32_t>(s.width) & 0x3FFF, 14);
    bw.PutBits(1, 1);  // marker
    bw.PutBits(static_cast<std::uint32_t>(s.height) & 0x3FFF, 14);
}

std::uint32_t TimeCode(int n, double frameRate) {
    int f = static_cast<int>(frameRate + 0.5);
    if (f < 1) f = 1;
    if (n < 0) n = 0;
    const std::uint32_t pictures = static_cast<std::uint32_t>(n % f);
    const std::uint32_t seconds = static_cast<std::uint32_t>((n / f) % 60);
    const std::uint32_t minutes = static_cast<std::uint32_t>((n / (60 * f)) % 60);
    const std::uint32_t hours = static_cast<std::uint32_t>((n / (3600 * f)) % 24);
    // drop_frame_flag 0, hours 5, minutes 6, marker 1, seconds 6, pictures 6
    return (hours << 19) | (minutes << 13) | (1u << 12) | (seconds << 6) | pictures;
}

void WriteGroupHeader(BitWriter& bw, const SequenceSettings& s, int firstDisplayNumber, bool closed) {
    WriteStartCode(bw, kGroupStartCode);
    bw.PutBits(TimeCode(firstDisplayNumber, s.mode.frameRate), 25);
    bw.PutBits(closed ? 1 : 0, 1);
    bw.PutBits(0, 1);  // broken_link
}

void WritePictureHeader(BitWriter& bw, const SequenceSettings& s, int type, int temporalReference,
                        int vbvDelay, const int fCode[4]) {
    WriteStartCode(bw, kPictureStartCode);
    bw.PutBits(static_cast<std::uint32_t>(temporalReference) & 0x3FF, 10);
    bw.PutBits(static_cast<std::uint32_t>(type) & 7, 3);
    bw.PutBits(static_cast<std::uint32_t>(vbvDelay) & 0xFFFF, 16);
    if (type == kPictureP || type == kPictureB) {
        bw.PutBits(0, 1);  // full_pel_forward_vector
        bw.PutBits(s.Mpeg2() ? 7u : static_cast<std::uint32_t>(fCode[0]) & 7, 3);
    }
    if (type == kPictureB) {
        bw.PutBits(0, 1);  // full_pel_backward_vector
        bw.PutBits(s.Mpeg2() ? 7u : static_cast<std::uint32_t>(fCode[2]) & 7, 3);
    }
    bw.PutBits(0, 1);  // extra_bit_picture
}

void WritePictureCodingExtension(BitWriter& bw, const SequenceSettings& s, const int fCode[4]) {
    WriteStartCode(bw, kExtensionStartCode);
    bw.PutBits(8, 4);  // picture coding extension
    for (int i = 0; i < 4; ++i) bw.PutBits(static_cast<std::uint32_t>(fCode[i]) & 0xF, 4);
    bw.PutBits(static_cast<std::uint32_t>(s.mode.intraDcPrecision) & 3, 2);
    bw.PutBits(3, 2);  // picture_structure: frame
    bw.PutBits(0, 1);  // top_field_first
    bw.PutBits(1, 1);  // frame_pred_frame_dct
    bw.PutBits(0, 1);  // concealment_motion_vectors
    bw.PutBits(0, 1);  // q_scale_type: linear
    bw.PutBits(0, 1);  // intra_vlc_format
    bw.PutBits(0, 1);  // alternate_scan
    bw.PutBits(0, 1);  // repeat_first_field
    bw.PutBits(s.mode.progressiveFrame ? 1 : 0, 1);  // chroma_420_type
    bw.PutBits(s.mode.progressiveFrame ? 1 : 0, 1);  // progressive_frame
    bw.PutBits(0, 1);  // composite_display_flag
}

void WriteSvcdUserData(BitWriter& bw) {
    WriteStartCode(bw, kUserDataStartCode);
    bw.PutBits(0x10, 8);  // tag: scan information
    bw.PutBits(0x0E, 8);  // length of this block in bytes
    for (int i = 0; i < 4; ++i) bw.PutBits(0x008080, 24);  // offsets, filled in later
}

void WriteSliceHeader(BitWriter& bw, const SequenceSettings& s, int mbRow, int quantiserCode) {
    const bool extension = s.Mpeg2() && s.height > kSliceExtensionHeight;
    if (extension) {
        WriteStartCode(bw, kSliceStartCodeFirst + static_cast<std::uint32_t>(mbRow % 128));
        bw.PutBits(static_cast<std::uint32_t>(mbRow / 128) & 7, 3);
    } else {
        WriteStartCode(bw, kSliceStartCodeFirst + static_cast<std::uint32_t>(mbRow));
    }
    bw.PutBits(static_cast<std::uint32_t>(quantiserCode) & 0x1F, 5);
    bw.PutBits(0, 1);  // extra_bit_slice
}

void WriteSequenceEnd(BitWriter& bw) { WriteStartCode(bw, kSequenceEndCode); }

}  // namespace reelcast::mpeg::video
