// The probe's records of a source's video and audio streams. They cross the
// library boundary, so field order and natural alignment are fixed.
#pragma once

#include <cstdint>

namespace reelcast {

struct VideoStreamInfo {
    std::uint8_t present;     // 1 when the file has a video stream
    std::uint32_t frameCount; // number of pictures
    float frameRate;          // pictures per second
    std::int32_t width;
    std::int32_t height;      // as the decoder's bitmap header gives it
    std::int32_t bitCount;    // bits per pixel of the decoded picture
    char fourCC[5];           // stream handler or compression code, NUL-terminated
    char codec[128];          // decoder name
    char description[128];
};

// Video stream header values the AVI probe could not believe, as the header gave
// them. The video record carries what the file itself shows instead.
struct HeaderDoubts {
    std::uint8_t frameCount;        // 1: headerFrameCount was not believed
    std::uint8_t frameRate;         // 1: headerFrameRate was not believed
    std::uint32_t headerFrameCount;
    float headerFrameRate;
};

struct AudioStreamInfo {
    std::uint8_t present;     // 1 when the file has an audio stream
    std::uint32_t channels;
    std::uint32_t sampleRate; // Hz
    std::uint32_t bitRate;    // average bytes per second x 8
    std::uint32_t blockAlign; // bytes
    std::uint16_t formatTag;  // wave format tag
    char codec[128];          // format-tag name or decoder name
    char description[128];
};

}  // namespace reelcast
