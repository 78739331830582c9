// The codec side of the Audio Compression Manager stand-in: the formats the
// installed audio codecs can make from 16-bit PCM, and conversion streams into
// them, over libavcodec's encoders of formats that fit an AVI file.
//
// Formats travel as byte images of WAVEFORMATEX (18 bytes, then cbSize extra
// bytes), exactly as they go into an AVI's 'strf' chunk. A stream belongs to
// the thread that uses it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/acm/WaveFormat.h"

namespace reelcast::platform::acm {

// WAVEFORMATEX: the wave format and the count of codec-specific bytes after it.
#pragma pack(push, 1)
struct WaveFormatEx : WaveFormat {
    std::uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatEx) == 18);

// The largest format any installed codec describes (ACM_METRIC_MAX_SIZE_FORMAT).
std::uint32_t MaxFormatSize();

// One format a codec offers for a source.
struct FormatChoice {
    std::vector<std::uint8_t> format;  // WAVEFORMATEX image
    std::string tagName;               // "Microsoft ADPCM", ...
    std::string description;           // "44.100 kHz, 4 Bit, Stereo", ...
};

// The formats the installed codecs make from `source` (16-bit PCM) at its sample
// rate, PCM variants first.
std::vector<FormatChoice> EnumFormats(const WaveFormatEx& source);

// The installed codec drivers, each converting PCM into one format family.
struct CodecDriver {
    int id;
    std::string shortName;
    std::string longName;
};
std::vector<CodecDriver> CodecDrivers();

class CodecStream {
public:
    // A stream from `source` (16-bit PCM) into `dest` (a WAVEFORMATEX image),
    // through driver `driverId`, or any driver when it is -1. Null when no
    // (such) driver converts between the two.
    static std::unique_ptr<CodecStream> Open(int driverId, const WaveFormatEx& source,
                                             const std::vector<std::uint8_t>& dest);
    virtual ~CodecStream() = default;

    // Room needed for the output of srcBytes source bytes (acmStreamSize).
    virtual std::uint32_t OutputSizeFor(std::uint32_t srcBytes) const = 0;
    // Converts whole source blocks; output comes in whole destination blocks and
    // input that does not fill one stays buffered for the next call. Answers the
    // bytes placed in out, or -1 (also when out is too small).
    virtual std::int64_t Convert(const std::uint8_t* src, std::uint32_t srcBytes, std::uint8_t* out,
                                 std::uint32_t outCapacity) = 0;
    // Converts what is still buffered, padding the last block with silence.
    virtual std::int64_t Flush(std::uint8_t* out, std::uint32_t outCapacity) = 0;
};

}  // namespace reelcast::platform::acm
