// Header fields parsed back from our streams, bit by bit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/mpeg_video/VideoTestSupport.h"

namespace reelcast::testing {
namespace {

std::uint32_t SequenceField(const std::vector<std::uint8_t>& s, int skipBits, int n) {
    for (const StartCodeUnit& u : FindStartCodes(s)) {
        if (u.code != 0x1B3) continue;
        BitReader br(s, u.offset);
        br.Get(skipBits);
        return br.Get(n);
    }
    return 0xFFFFFFFFu;
}

TEST(VideoHeaders, CodingOrderAndTemporalReferences) {
    // Pictures 0..18: index 18 is a multiple of 3, so all 19 are coded.
    const YuvClip clip = MakeLavfiClip("testsrc2", 176, 144, 25.0, 19);
    const EncodeResult r = Encode(clip, {.kind = 2, .bitRate = 800000.0});
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.pictures.size(), 19u);
    const int display[] = {0, 3, 1, 2, 6, 4, 5, 9, 7, 8, 12, 10, 11, 15, 13, 14, 18, 16, 17};
    const std::uint32_t types[] = {1, 2, 3, 3, 2, 3, 3, 2, 3, 3, 2, 3, 3, 1, 3, 3, 2, 3, 3};
    for (int i = 0; i < 19; ++i) {
        EXPECT_EQ(r.pictures[i].codingIndex, i);
        EXPECT_EQ(r.pictures[i].displayIndex, display[i]) << "coding index " << i;
        EXPECT_EQ(r.pictures[i].type, types[i]) << "coding index " << i;
        EXPECT_DOUBLE_EQ(r.pictures[i].frameRate, 25.0);
    }
    const std::vector<ParsedPicture> pics = ParsePictures(r.stream);
    ASSERT_EQ(pics.size(), 19u);
    for (int i = 0; i < 13; ++i) EXPECT_EQ(pics[i].temporalReference, display[i]);
    // The 14th picture coded is the second group's I picture, display 15.
    EXPECT_EQ(pics[13].type, 1);
    EXPECT_EQ(pics[13].temporalReference, 2);
    EXPECT_TRUE(pics[13].afterSequence);
    EXPECT_TRUE(pics[13].afterGroup);
    EXPECT_FALSE(pics[13].closedGop);
    EXPECT_EQ(pics[13].timeCode, (1u << 12) | 13u);  // 00:00:00, picture 13
    EXPECT_EQ(pics[14].temporalReference, 0);
    EXPECT_EQ(pics[15].temporalReference, 1);
    EXPECT_TRUE(pics[0].afterSequence && pics[0].afterGroup && pics[0].closedGop);
    EXPECT_EQ(pics[0].timeCode, 1u << 12);
    for (int i = 1; i < 19; ++i) {
        if (i == 13) continue;
        EXPECT_FALSE(pics[i].afterGroup) << i;
    }
    // I pictures carry f_code 15 everywhere; P pictures 15 backward.
    for (int f : pics[0].fCode) EXPECT_EQ(f, 15);
    EXPECT_EQ(pics[1].fCode[2], 15);
    EXPECT_EQ(pics[1].fCode[3], 15);
    EXPECT_EQ(pics[1].forwardFCode, 7);  // MPEG-2 moves f_code to the extension

    // Announced lengths tile the stream: every picture starts where the last
    // ended, and only the sequence end code is left over.
    std::size_t total = 0;
    for (const auto& p : r.pictures) total += p.length;
    EXPECT_EQ(total + 4, r.stream.size());
    ASSERT_GE(r.stream.size(), 4u);
    EXPECT_EQ(r.stream[r.stream.size() - 1], 0xB7);
    std::size_t at = 0;
    for (std::size_t i = 0; i < r.pictures.size(); ++i) {
        ASSERT_LT(at + 3, r.stream.size());
        EXPECT_EQ(r.stream[at + 2], 1);
        const std::uint8_t code = r.stream[at + 3];
        EXPECT_TRUE(code == 0xB3 || code == 0x00) << "picture " << i << " starts with 0x" << std::hex << int(code);
        at += r.pictures[i].length;
    }
}

TEST(VideoHeaders, SequenceHeaderAndExtensions) {
    const YuvClip clip = MakeLavfiClip("testsrc2", 352, 240, 29.97, 4);
    // MPEG-1 without rate control: variable bit rate and vbv_delay 0xFFFF.
    EncodeSettings es{.kind = 0, .cbr = false, .frameRate = 29.97, .frameRateCode = 4};
    EncodeResult r = Encode(clip, es);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(SequenceField(r.stream, 0, 12), 352u);
    EXPECT_EQ(SequenceField(r.stream, 12, 12), 240u);
    EXPECT_EQ(SequenceField(r.stream, 24, 4), 8u);   // aspect_ratio_information
    EXPECT_EQ(SequenceField(r.stream, 28, 4), 4u);   // frame_rate_code 29.97
    EXPECT_EQ(SequenceField(r.stream, 32, 18), 0x3FFFFu);
    EXPECT_EQ(SequenceField(r.stream, 50, 1), 1u);   // marker
    EXPECT_EQ(SequenceField(r.stream, 51, 10), 20u); // vbv_buffer_size_value
    EXPECT_EQ(SequenceField(r.stream, 61, 1), 1u);   // constrained_parameters_flag
    EXPECT_EQ(SequenceField(r.stream, 62, 2), 0u);   // no matrices loaded
    for (const ParsedPicture& p : ParsePictures(r.stream)) EXPECT_EQ(p.vbvDelay, 0xFFFF);
    for (const StartCodeUnit& u : FindStartCodes(r.stream)) EXPECT_NE(u.code, 0x1B5u);

    // VCD: constant rate, still vbv_delay 0xFFFF in MPEG-1.
    es.kind = 1;
    es.cbr = true;
    r = Encode(clip, es);
    EXPECT_EQ(SequenceField(r.stream, 32, 18), 2875u);  // 1 150 000 / 400
    for (const ParsedPicture& p : ParsePictures(r.stream)) EXPECT_EQ(p.vbvDelay, 0xFFFF);

    // MPEG-2 without rate control: the uncontrolled rate, and all three extensions.
    es.kind = 3;
    es.cbr = false;
    r = Encode(clip, es);
    EXPECT_EQ(SequenceField(r.stream, 32, 18), 6500u);  // 2 600 000 / 400
    EXPECT_EQ(SequenceField(r.stream, 24, 4), 2u);
    EXPECT_EQ(SequenceField(r.stream, 51, 10), 112u);
    EXPECT_EQ(SequenceField(r.stream, 61, 1), 0u);
    const std::vector<StartCodeUnit> codes = FindStartCodes(r.stream);
    ASSERT_GE(codes.size(), 5u);
    EXPECT_EQ(codes[0].code, 0x1B3u);
    ASSERT_EQ(codes[1].code, 0x1B5u);
    BitReader seqExt(r.stream, codes[1].offset);
    EXPECT_EQ(seqExt.Get(4), 1u);
    EXPECT_EQ(seqExt.Get(8), 0x48u);  // Main Profile, Main Level
    EXPECT_EQ(seqExt.Get(1), 0u);     // progressive_sequence
    EXPECT_EQ(seqExt.Get(2), 1u);     // 4:2:0
    EXPECT_EQ(seqExt.Get(4), 0u);     // size extensions
    EXPECT_EQ(seqExt.Get(12), 0u);    // bit_rate_extension
    EXPECT_EQ(seqExt.Get(1), 1u);
    EXPECT_EQ(seqExt.Get(8), 0u);
    EXPECT_EQ(seqExt.Get(1), 0u);     // low_delay
    ASSERT_EQ(codes[2].code, 0x1B5u);
    BitReader disp(r.stream, codes[2].offset);
    EXPECT_EQ(disp.Get(4), 2u);
    EXPECT_EQ(disp.Get(3), 2u);   // NTSC
    EXPECT_EQ(disp.Get(1), 1u);   // colour_description
    EXPECT_EQ(disp.Get(8), 4u);   // colour_primaries
    EXPECT_EQ(disp.Get(8), 4u);   // transfer_characteristics
    EXPECT_EQ(disp.Get(8), 5u);   // matrix_coefficients
    EXPECT_EQ(disp.Get(14), 352u);
    EXPECT_EQ(disp.Get(1), 1u);
    EXPECT_EQ(disp.Get(14), 240u);
    EXPECT_EQ(codes[3].code, 0x1B8u);
    // Picture coding extension of the I picture.
    for (const StartCodeUnit& u : codes) {
        BitReader br(r.stream, u.offset);
        if (u.code != 0x1B5 || br.Get(4) != 8) continue;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(br.Get(4), 15u);
        EXPECT_EQ(br.Get(2), 1u);  // intra_dc_precision 9 bits
        EXPECT_EQ(br.Get(2), 3u);  // frame picture
        EXPECT_EQ(br.Get(1), 0u);  // top_field_first
        EXPECT_EQ(br.Get(1), 1u);  // frame_pred_frame_dct
        EXPECT_EQ(br.Get(5), 0u);  // concealment, q_scale_type, intra_vlc, alternate_scan, repeat
        EXPECT_EQ(br.Get(1), 0u);  // chroma_420_type = progressive_frame
        EXPECT_EQ(br.Get(1), 0u);  // progressive_frame
        EXPECT_EQ(br.Get(1), 0u);  // composite_display_flag
        break;
    }
    // SVCD scan-offset placeholders after each I picture's extension.
    int userData = 0;
    for (const StartCodeUnit& u : codes) {
        if (u.code != 0x1B2) continue;
        ++userData;
        const std::uint8_t expect[14] = {0x10, 0x0E, 0, 0x80, 0x80, 0, 0x80, 0x80, 0, 0x80, 0x80, 0, 0x80, 0x80};
        for (int i = 0; i < 14; ++i) EXPECT_EQ(r.stream[u.offset + i], expect[i]);
    }
    EXPECT_EQ(userData, 1);
    // Every slice starts with quantiser_scale_code 4: the fixed quantiser 8.
    for (const StartCodeUnit& u : codes) {
        if (u.code < 0x101 || u.code > 0x1AF) continue;
        BitReader br(r.stream, u.offset);
        EXPECT_EQ(br.Get(5), 4u);
    }

    // MPEG-2 with rate control: real delays, and the configured rate.
    es.kind = 2;
    es.cbr = true;
    es.bitRate = 2376000.0;
    r = Encode(clip, es);
    EXPECT_EQ(SequenceField(r.stream, 32, 18), 5940u);
    const std::vector<ParsedPicture> pics = ParsePictures(r.stream);
    ASSERT_FALSE(pics.empty());
    // First picture: the buffer seven-eighths full, less the header bits already in.
    const double first = 112 * 16384 * 7.0 / 8.0 * 90000.0 / 2376000.0;
    EXPECT_NEAR(pics[0].vbvDelay, first, 20.0);
    for (const ParsedPicture& p : pics) EXPECT_LT(p.vbvDelay, 0xFFFF);
}

// The VCD preset's rate control as the stream shows it: the configured rate in
// the sequence header, and the first slice of the first picture opening with
// the picture's first quantiser from the initial I fullness and the reaction
// parameter: floor(29677 x 31 / 92000 + 0.5) x 2 = 20 (code 10).
TEST(VideoHeaders, VcdFirstQuantiserInTheSlices) {
    const YuvClip clip = MakeLavfiClip("testsrc2", 352, 288, 25.0, 4);
    const EncodeResult r = Encode(clip, {.kind = 1, .bitRate = 1150000.0, .cbr = true});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(SequenceField(r.stream, 28, 4), 3u);     // 25 pictures/s
    EXPECT_EQ(SequenceField(r.stream, 32, 18), 2875u); // 1 150 000 / 400
    EXPECT_EQ(SequenceField(r.stream, 51, 10), 20u);
    int pictures = 0, firstPictureSlices = 0;
    for (const StartCodeUnit& u : FindStartCodes(r.stream)) {
        if (u.code == 0x100) ++pictures;
        if (pictures != 1 || u.code < 0x101 || u.code > 0x1AF) continue;
        BitReader br(r.stream, u.offset);
        // Only the first slice is bound to it; later rows start with the last quantiser sent.
        if (u.code == 0x101) {
            EXPECT_EQ(br.Get(5), 10u);
        }
        ++firstPictureSlices;
    }
    EXPECT_EQ(firstPictureSlices, 18);
}

TEST(VideoHeaders, TimeCodesAtNtscRate) {
    const YuvClip clip = MakeLavfiClip("testsrc2", 176, 144, 29.97, 30);
    const EncodeResult r = Encode(clip, {.kind = 0, .frameRate = 29.97, .frameRateCode = 4});
    ASSERT_TRUE(r.ok);
    std::vector<std::uint32_t> tcs;
    for (const ParsedPicture& p : ParsePictures(r.stream))
        if (p.afterGroup) tcs.push_back(p.timeCode);
    ASSERT_EQ(tcs.size(), 2u);
    EXPECT_EQ(tcs[0], 1u << 12);
    EXPECT_EQ(tcs[1], (1u << 12) | 13u);  // group 2 starts at picture 13; 30 per second
}

TEST(VideoHeaders, TallPicturesUseTheSliceExtension) {
    const YuvClip clip = MakeLavfiClip("testsrc2", 704, 2816, 25.0, 4);
    ASSERT_EQ(clip.frames.size(), 4u);
    const EncodeResult r = Encode(clip, {.kind = 2, .bitRate = 8000000.0});
    ASSERT_TRUE(r.ok);
    int slices = 0;
    int lastRow = -1;
    for (const StartCodeUnit& u : FindStartCodes(r.stream)) {
        if (u.code == 0x100) {
            lastRow = -1;
            continue;
        }
        if (u.code < 0x101 || u.code > 0x1AF) continue;
        BitReader br(r.stream, u.offset);
        const int row = static_cast<int>(u.code - 0x101) + 128 * static_cast<int>(br.Get(3));
        EXPECT_EQ(row, lastRow + 1);
        lastRow = row;
        EXPECT_LE(u.code, 0x101u + 127u);
        ++slices;
    }
    EXPECT_EQ(slices, 4 * 176);
    YuvClip dec;
    std::string log;
    EXPECT_TRUE(DecodeStreamWithFfmpeg(r.stream, "tall.m2v", 704, 2816, &dec, &log)) << log;
    EXPECT_EQ(dec.frames.size(), 4u);
}

// Vectors and their f_code: a still picture keeps f_code 1, a pan of 20
// pixels per picture raises the forward code to 4 (60 pixels between anchors);
// MPEG-1 has one code per direction, the larger of the two.
TEST(VideoHeaders, FCodesFollowTheMotion) {
    const YuvClip wide = MakeLavfiClip("testsrc2", 640, 144, 25.0, 1);
    ASSERT_EQ(wide.frames.size(), 1u);
    auto window = [&](int x0) {
        std::vector<std::uint8_t> f(176 * 144 * 3 / 2);
        const std::uint8_t* y = wide.frames[0].data();
        const std::uint8_t* cb = y + 640 * 144;
        const std::uint8_t* cr = cb + 320 * 72;
        for (int r = 0; r < 144; ++r) std::memcpy(&f[r * 176], y + r * 640 + x0, 176);
        for (int r = 0; r < 72; ++r) {
            std::memcpy(&f[176 * 144 + r * 88], cb + r * 320 + x0 / 2, 88);
            std::memcpy(&f[176 * 144 + 88 * 72 + r * 88], cr + r * 320 + x0 / 2, 88);
        }
        return f;
    };
    YuvClip still{176, 144, {}};
    YuvClip pan{176, 144, {}};
    for (int i = 0; i < 10; ++i) {
        still.frames.push_back(window(200));
        pan.frames.push_back(window(20 * i));
    }
    for (int kind : {0, 2}) {
        const EncodeSettings es{.kind = kind, .bitRate = 1150000.0};
        const EncodeResult s = Encode(still, es);
        for (const ParsedPicture& p : ParsePictures(s.stream)) {
            if (p.type == 1) continue;
            if (kind == 0) {
                EXPECT_EQ(p.forwardFCode, 1);
            } else {
                EXPECT_EQ(p.fCode[0], 1);
                EXPECT_EQ(p.fCode[1], 1);
            }
        }
        const EncodeResult m = Encode(pan, es);
        const std::vector<ParsedPicture> pics = ParsePictures(m.stream);
        ASSERT_EQ(pics.size(), 10u);
        for (std::size_t i = 1; i < pics.size(); ++i) {
            if (kind == 0) {
                EXPECT_EQ(pics[i].forwardFCode, 4) << i;
            } else {
                EXPECT_EQ(pics[i].fCode[0], 4) << i;
            }
        }
        YuvClip dec;
        std::string log;
        EXPECT_TRUE(DecodeStreamWithFfmpeg(m.stream, "pan.mpv", 176, 144, &dec, &log)) << log;
        EXPECT_GT(ClipPsnr(pan, dec), 30.0);
    }
}

}  // namespace
}  // namespace reelcast::testing
