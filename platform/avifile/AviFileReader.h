// Stand-in for the AVIFile services, reading side: an AVI file's stream headers
// and formats as its RIFF headers give them, the installed decompressor of a video
// stream, and decoded pictures as packed DIBs. Other containers fail to open, as
// they do with AVIFile. No FFmpeg types here: the engine includes this header.
//
// One thread at a time per file. A file has at most one frame reader open at a
// time, and the frame reader must be closed before its file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/NonCopyable.h"
#include "platform/avifile/FourCC.h"

namespace reelcast::platform {

// AVISTREAMINFO's fields that the readers use, from the stream header.
struct AviStreamInfo {
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t flags = 0;
    std::uint32_t initialFrames = 0;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint32_t suggestedBufferSize = 0;
    std::uint32_t quality = 0;
    std::uint32_t sampleSize = 0;
    std::int32_t frameLeft = 0;
    std::int32_t frameTop = 0;
    std::int32_t frameRight = 0;
    std::int32_t frameBottom = 0;
};

constexpr std::uint32_t kReplacedRate = 1;    // rate and scale
constexpr std::uint32_t kReplacedLength = 2;

class AviFrameReader;

class AviFile : NonCopyable {
public:
    // AVIFileOpen, read-only. Null when the file cannot be read or is no AVI file.
    static std::unique_ptr<AviFile> Open(const char* path);
    ~AviFile();

    int StreamCount() const;
    // AVIFileGetStream: the n-th stream (from 0) of type fccType, or -1.
    int FindStream(std::uint32_t fccType, int n = 0) const;
    // The stream header as written.
    bool StreamInfo(int stream, AviStreamInfo* out) const;
    // The stream header with the values the rest of the file contradicts replaced,
    // for a video stream: a rate of no believable value by the main header's time
    // per picture (or, when that is no better, an assumed rate), and a length by
    // the count of pictures the file holds. *replaced (optional) gets the
    // kReplaced... bits of what was replaced.
    bool CheckedStreamInfo(int stream, AviStreamInfo* out, std::uint32_t* replaced = nullptr) const;
    // The stream format chunk (BITMAPINFOHEADER or WAVEFORMATEX and what follows).
    const std::vector<std::uint8_t>& StreamFormat(int stream) const;

    // The installed video decompressor for a video stream (short name and
    // description); false when there is none. Uncompressed pictures need none.
    bool VideoDecompressor(int stream, std::string* name, std::string* description) const;

    // AVIStreamGetFrameOpen with the decompressor's default format. Null when the
    // stream has no decoder.
    std::unique_ptr<AviFrameReader> GetFrameOpen(int stream);

private:
    AviFile();
    struct Impl;
    std::unique_ptr<Impl> impl_;
    friend class AviFrameReader;
};

class AviFrameReader : NonCopyable {
public:
    ~AviFrameReader();

    // AVIStreamGetFrame: picture number pos as a packed DIB (header, a palette
    // for 8-bit pictures, bottom-up rows): 8-bit for paletted streams, 32-bit for
    // 32-bit RGB streams, 24-bit otherwise. Null when it cannot be decoded. Points
    // into the reader, valid until the next call. *bytes (optional) gets its size.
    const std::uint8_t* GetFrame(std::int32_t pos, std::uint32_t* bytes = nullptr);

    // The same picture, but when it would come as a 24-bit bitmap of exactly
    // width x height and dst holds dstBytes >= its size, it is written straight
    // into dst (header and rows, the same bytes GetFrame would give) and dst is
    // answered: the caller's copy out of the reader is saved.
    const std::uint8_t* GetFrameInto(std::int32_t pos, int width, int height, std::uint8_t* dst,
                                     std::uint64_t dstBytes, std::uint32_t* bytes = nullptr);

private:
    friend class AviFile;
    AviFrameReader();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace reelcast::platform
