#include "platform/acm/AcmFormatTags.h"

#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace reelcast::platform {
namespace {

struct DriverDef {
    AcmDriver driver;
    // libavcodec codecs that make this driver "installed"; none means always.
    AVCodecID codecs[3];
};

// Tag values are the registered wave format tags (mmreg.h).
constexpr AcmFormatTag kPcmTags[] = {{0x0001, "PCM"}};
constexpr AcmFormatTag kMsAdpcmTags[] = {{0x0002, "Microsoft ADPCM"}};
constexpr AcmFormatTag kFloatTags[] = {{0x0003, "IEEE Float"}};
constexpr AcmFormatTag kG711Tags[] = {{0x0006, "CCITT A-Law"}, {0x0007, "CCITT u-Law"}};
constexpr AcmFormatTag kImaTags[] = {{0x0011, "IMA ADPCM"}};
constexpr AcmFormatTag kGsmTags[] = {{0x0031, "GSM 6.10"}};
constexpr AcmFormatTag kMpegTags[] = {{0x0050, "MPEG Layer-2"}};
constexpr AcmFormatTag kMp3Tags[] = {{0x0055, "MPEG Layer-3"}};
constexpr AcmFormatTag kWmaTags[] = {{0x0160, "Windows Media Audio V1"},
                                     {0x0161, "Windows Media Audio V2"}};
constexpr AcmFormatTag kAc3Tags[] = {{0x2000, "Dolby AC3"}};

const DriverDef kDrivers[] = {
    {{"MS-PCM", "PCM Converter (libswresample)", kPcmTags}, {AV_CODEC_ID_NONE}},
    {{"MS-ADPCM", "Microsoft ADPCM Codec (libavcodec)", kMsAdpcmTags}, {AV_CODEC_ID_ADPCM_MS}},
    {{"IEEE-Float", "IEEE Float Converter (libavcodec)", kFloatTags}, {AV_CODEC_ID_PCM_F32LE}},
    {{"CCITT G.711", "CCITT G.711 A-Law and u-Law Codec (libavcodec)", kG711Tags},
     {AV_CODEC_ID_PCM_ALAW, AV_CODEC_ID_PCM_MULAW}},
    {{"IMA ADPCM", "IMA ADPCM Codec (libavcodec)", kImaTags}, {AV_CODEC_ID_ADPCM_IMA_WAV}},
    {{"GSM 6.10", "GSM 6.10 Audio Codec (libavcodec)", kGsmTags}, {AV_CODEC_ID_GSM_MS}},
    {{"MPEG Layer-2", "MPEG Layer-1/2 Audio Codec (libavcodec)", kMpegTags},
     {AV_CODEC_ID_MP2, AV_CODEC_ID_MP1}},
    {{"MPEG Layer-3", "MPEG Layer-3 Codec (libavcodec)", kMp3Tags}, {AV_CODEC_ID_MP3}},
    {{"WMAudio", "Windows Media Audio Codec (libavcodec)", kWmaTags},
     {AV_CODEC_ID_WMAV1, AV_CODEC_ID_WMAV2}},
    {{"AC-3", "Dolby AC-3 Codec (libavcodec)", kAc3Tags}, {AV_CODEC_ID_AC3}},
};

bool Installed(const DriverDef& d) {
    if (d.codecs[0] == AV_CODEC_ID_NONE) return true;
    for (AVCodecID id : d.codecs) {
        if (id == AV_CODEC_ID_NONE) break;
        if (avcodec_find_decoder(id) || avcodec_find_encoder(id)) return true;
    }
    return false;
}

std::vector<AcmDriver> BuildList() {
    std::vector<AcmDriver> list;
    for (const DriverDef& d : kDrivers) {
        if (Installed(d)) list.push_back(d.driver);
    }
    return list;
}

}  // namespace

std::span<const AcmDriver> AcmInstalledDrivers() {
    static const std::vector<AcmDriver> list = BuildList();
    return list;
}

bool AcmFindFormatTag(std::uint16_t tag, const char** tagName, const char** driverLongName) {
    for (const AcmDriver& d : AcmInstalledDrivers()) {
        for (const AcmFormatTag& t : d.tags) {
            if (t.tag == tag) {
                if (tagName) *tagName = t.name;
                if (driverLongName) *driverLongName = d.longName;
                return true;
            }
        }
    }
    return false;
}

}  // namespace reelcast::platform
