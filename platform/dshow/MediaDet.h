// Stand-in for the DirectShow media detector (IMediaDet): the output streams of a
// file with their media types, and the picture of the video stream at a stream
// time as a 24-bit packed DIB scaled to a requested size. Reading pictures at
// increasing times decodes forward; each source picture is decoded once.
// One thread at a time. No FFmpeg types here: the engine includes this header.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/dshow/MediaTypes.h"
#include "platform/NonCopyable.h"

namespace reelcast::platform {

class MediaDet : NonCopyable {
public:
    MediaDet();
    ~MediaDet();

    // put_Filename. False when the file cannot be read.
    bool SetFilename(const char* path);
    // get_OutputStreams: the file's audio and video streams.
    int OutputStreams() const;
    // put_CurrentStream.
    bool SetCurrentStream(int stream);
    // get_StreamMediaType of the current stream: a decodable video stream has the
    // video-info format (88 bytes) of its decoded pictures.
    MediaType CurrentStreamMediaType() const;

    // GetBitmapBits: with buffer null stores the bytes needed (header included) in
    // *size; otherwise writes the picture of the current video stream shown at
    // `seconds` from the start, scaled to width x height, into buffer, which must
    // hold *size bytes, and stores the bytes written in *size.
    bool GetBitmapBits(double seconds, std::uint32_t* size, std::uint8_t* buffer, int width,
                       int height);

    // Threads the conversion to a bitmap may use for one picture (default 1).
    void SetConversionThreads(int threads);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace reelcast::platform
