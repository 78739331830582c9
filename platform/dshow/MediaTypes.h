// The media type vocabulary of the DirectShow stand-in: major types, the source
// filter's output subtypes, format blocks. Kept to what the probe and the readers
// look at. No FFmpeg types here: the engine includes this header.
#pragma once

#include <cstdint>

#include "platform/acm/WaveFormat.h"
#include "platform/avifile/BitmapInfo.h"

namespace reelcast::platform {

enum class MajorType { None, Video, Audio, Stream };

// Subtypes of a source filter's output, named after the public DirectShow subtypes.
enum class MediaSubtype {
    Unknown,
    Mpeg1System,
    Mpeg2Program,
    Mpeg1Audio,
    Mpeg1Video,
    Wave,
    Mpeg1VideoCD,
    DvdLpcmAudio,
    Mpeg2Audio,
    DolbyAc3,
    AsfStream,  // one per stream of an ASF file
};

enum class FormatType { None, VideoInfo, Mpeg1Video, Mpeg2Video, WaveFormatEx };

// Size of the video-info format block (VIDEOINFOHEADER).
constexpr std::uint32_t kVideoInfoFormatSize = 88;

struct MediaType {
    MajorType major = MajorType::None;
    FormatType format = FormatType::None;
    std::uint32_t formatSize = 0;
    // Video formats.
    BitmapInfoHeader bmi{};
    std::int64_t avgTimePerFrame = 0;  // 100 ns units; 0 when the stream gives no rate
    // Audio formats.
    WaveFormat wave{};
};

}  // namespace reelcast::platform
