// Writing AVI files: the stand-in for the AVIFile services' writing side.
//
// An AviFileWriter is created for one file, given its streams (header and format),
// then fed chunks stream by stream in the order they should lie in the file.
// Close() writes the headers and the indexes; until then the file is incomplete.
// Files grow past 1 GiB as OpenDML files: the first RIFF 'AVI ' list carries the
// headers, the legacy idx1 index of its own chunks and a super index per stream;
// further data goes into RIFF 'AVIX' lists, each with a standard index per stream.
//
// All operations run on the caller's thread; one writer is not shared between
// threads. Operations answer false on failure and never throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/NonCopyable.h"
#include "platform/avifile/BitmapInfo.h"
#include "platform/avifile/FourCC.h"

namespace reelcast::platform::avifile {

// The writer's callers spell the RIFF codes and the bitmap header from here.
using platform::BitmapInfoHeader;
using platform::kStreamTypeAudio;
using platform::kStreamTypeVideo;
using platform::MakeFourCC;

// The stream header as the AVIFile services take it (AVISTREAMINFO's fields
// that reach the file's 'strh' and 'strn' chunks).
struct AviStreamInfo {
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t flags = 0;
    std::uint16_t priority = 0;
    std::uint16_t language = 0;
    std::uint32_t scale = 0;
    std::uint32_t rate = 0;
    std::uint32_t start = 0;
    std::uint32_t length = 0;              // replaced by what was written
    std::uint32_t suggestedBufferSize = 0; // raised to the largest chunk written
    std::int32_t quality = -1;
    std::uint32_t sampleSize = 0;          // 0: one chunk is one sample
    std::int16_t frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;
    std::string name;                      // written as 'strn' when not empty
};

class AviFileWriter : NonCopyable {
public:
    // Creates (truncates) the file; null when it cannot be created.
    static std::unique_ptr<AviFileWriter> Create(const std::string& path);
    ~AviFileWriter();  // closes when still open

    // Adds a stream before the first chunk is written; its index, or -1.
    int CreateStream(const AviStreamInfo& info);
    // Sets (or replaces) a stream's format ('strf' contents); only before the
    // first chunk is written.
    bool SetFormat(int stream, const void* format, std::size_t size);
    // Sets a stream's start (strh dwStart, in the stream's scale/rate units): where
    // its first chunk lies on the file's time line. Only before the first chunk
    // is written.
    bool SetStart(int stream, std::uint32_t start);
    // The first stream of this type, or -1.
    int FirstStream(std::uint32_t fccType) const;
    // Records the shape of a video stream's pixels (width : height) as the
    // picture's display aspect in an OpenDML video properties ('vprp') chunk; only
    // before the first chunk is written. Square pixels need no record.
    bool SetPixelAspect(int stream, int num, int den);
    // Appends one chunk of the stream. Video chunks are one frame each (size 0
    // marks a dropped frame); audio chunks hold whole blocks.
    bool Write(int stream, const void* data, std::size_t size, bool keyframe);
    // Writes the indexes and the final headers and closes the file. False when any
    // write failed (the file is then closed all the same).
    bool Close();

    bool IsOpen() const { return file_ != nullptr; }
    // Bytes of the file so far.
    std::uint64_t FileSize() const { return pos_; }

    // The size at which a RIFF list is closed and the next 'AVIX' list begins.
    // Tests lower it to reach the OpenDML layout with small files.
    static void SetRiffLimit(std::uint64_t bytes);
    static std::uint64_t RiffLimit();

private:
    struct Entry {
        std::uint64_t offset;  // absolute offset of the chunk's data
        std::uint32_t size;
        bool keyframe;
    };
    struct SuperEntry {
        std::uint64_t offset;
        std::uint32_t size;
        std::uint32_t duration;
    };
    struct Stream {
        AviStreamInfo info;
        std::vector<std::uint8_t> format;
        std::uint32_t frameAspect = 0;  // 'vprp' display aspect, x << 16 | y; 0: none
        std::uint32_t chunkId = 0;      // '00dc', '01wb', ...
        std::uint32_t indexId = 0;      // 'ix00', ...
        std::vector<Entry> riffEntries; // chunks of the current RIFF list
        std::vector<SuperEntry> super;
        std::uint64_t chunks = 0;       // all chunks written
        std::uint64_t bytes = 0;        // all data bytes written
        std::uint32_t chunksFirstRiff = 0;
        std::uint32_t maxChunk = 0;
        std::uint32_t riffDuration = 0; // duration of the chunks of the current RIFF
    };
    struct Idx1Entry {
        std::uint32_t ckid;
        std::uint32_t flags;
        std::uint32_t offset;
        std::uint32_t size;
    };

    AviFileWriter() = default;
    bool WriteBytes(const void* p, std::size_t n);
    bool Put32(std::uint32_t v);
    bool Put16(std::uint16_t v);
    bool Seek(std::uint64_t pos);
    bool WriteHeaders();        // the whole header part, same size each time
    void WriteMainHeader(const Stream* video);
    void WriteStreamList(const Stream& s);
    void WriteStreamHeader(const Stream& s);
    void WriteSuperIndex(const Stream& s);
    void WriteVideoProperties(const Stream& s);
    void WriteOdmlList(const Stream* video);
    std::size_t HeaderSize() const;
    bool BeginMovi(bool first);
    bool EndRiff();             // standard indexes, idx1 for the first, sizes
    std::uint32_t ChunkDuration(const Stream& s, std::uint32_t size) const;

    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    std::uint64_t pos_ = 0;
    bool failed_ = false;
    bool started_ = false;      // headers laid out, chunks may follow
    std::vector<Stream> streams_;
    std::vector<Idx1Entry> idx1_;
    std::uint64_t riffStart_ = 0;  // offset of the current 'RIFF'
    std::uint64_t moviStart_ = 0;  // offset of the current 'LIST' of 'movi'
    int riffCount_ = 0;
    std::uint64_t firstRiffEnd_ = 0;  // end of the first RIFF list once closed
    std::uint64_t riffEntryBytes_ = 0; // standard-index bytes of the current RIFF
};

}  // namespace reelcast::platform::avifile
