// Stand-in for a DirectShow multimedia stream opened on a file's primary audio
// stream, read through an audio data object: each Update fills the caller's
// buffer with the next decoded sound as interleaved 16-bit PCM at the stream's
// own rate and channel count, placed as a player plays it against the pictures:
// counted from the start of the file's first video stream, with silence before
// sound that starts later and the part before the first picture dropped. One
// thread at a time (the audio reader's decoding thread). No FFmpeg types here:
// the engine includes this header.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/acm/WaveFormat.h"
#include "platform/NonCopyable.h"

namespace reelcast::platform {

class AudioStream : NonCopyable {
public:
    enum Status : std::int32_t {
        kOk = 0,
        kEndOfStream = 1,  // nothing more to read
        kFailed = -1,
    };

    AudioStream();
    ~AudioStream();

    // Opens the primary audio stream of path. False when the file has no audio
    // stream that can be decoded, or more than 8 channels.
    bool Open(const char* path);
    // The wave format of what Update delivers (PCM, 16 bits).
    WaveFormat Format() const;
    // Fills up to capacity bytes (whole sample frames) with the next sound; *filled
    // gets the bytes written. kOk with *filled > 0, or kEndOfStream with 0.
    Status Update(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t* filled);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace reelcast::platform
