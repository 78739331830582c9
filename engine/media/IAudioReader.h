// IAudioReader (MEDIAAUDIODATA): decodes the primary audio stream of a file to
// 16-bit PCM at a requested rate, stereo or mono-made-stereo (more channels are
// mixed down to stereo), on a decoding thread of its own, and hands it out chunk
// by chunk. Used by one caller thread; exactly one request is in flight at a time.
#pragma once

#include <cstdint>

#include "engine/core/IEngineComponent.h"

namespace reelcast {

class IAudioReader : public IEngineComponent {
public:
    // Slot 4. Starts the decoding thread and waits until it has set up; true when
    // the set-up succeeded. A failed Open leaves a reader whose chunks are empty.
    virtual bool Open(const char* path, std::uint32_t sampleRate) = 0;
    // Slot 5. The next chunk of interleaved 16-bit stereo samples. *data is a new
    // buffer (freed by the caller with FreeChunk) of *bytes bytes. After the end of
    // the sound each chunk is silence of the largest size handed out so far (an
    // empty chunk, *data null and *bytes 0, when nothing was ever produced).
    virtual bool GetChunk(std::uint8_t** data, std::uint32_t* bytes) = 0;
    // Slot 6. Frees a chunk from GetChunk; null is allowed.
    virtual void FreeChunk(std::uint8_t* data) = 0;

protected:
    ~IAudioReader() = default;
};

}  // namespace reelcast
