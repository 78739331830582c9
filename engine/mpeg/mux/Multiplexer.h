// MPGLIB_MUX: the program-stream multiplexer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Component.h"
#include "engine/mpeg/mux/IMpegMultiplexer.h"
#include "engine/mpeg/mux/TimeBase.h"

namespace reelcast::mux {

class Multiplexer final : public core::Component<IMpegMultiplexer, Multiplexer> {
public:
    Multiplexer() = default;
    ~Multiplexer();

    bool Init() override;
    bool AddAudioUnit(const AudioUnit* unit) override;
    bool AddVideoUnit(const VideoUnit* unit) override;
    bool Multiplex() override;
    void Finish() override;
    bool Reserved8() override;
    double GetMegabytesWritten() override;
    void MakeTimecode(double ticks27MHz, Timecode* out) override;
    std::int32_t SetMpeg1Format(std::int32_t kind, std::int32_t ignored) override;
    std::int32_t SetMpeg2Format(std::int32_t kind, std::int32_t notDvd) override;
    bool AddVideoPicture(std::int32_t codingIndex, std::int32_t displayIndex, double frameRate, double unused1,
                         double unused2, VideoUnit* unit) override;
    void SetStream(IStreamSource* source, double muxRateFactor, std::uint32_t audioBitRateIndex,
                   double videoBitRate, const char* outputPath, std::uint32_t frameRateCode,
                   std::uint32_t gopLength) override;
    bool WriteFailed() override;

    static constexpr std::size_t kSectorSize = 2324;
    static constexpr std::size_t kWriteBufferSize = 1048576;

private:
    // A queued access unit; times in 27 MHz ticks, offsets included once current.
    struct Unit {
        std::uint32_t length = 0;     // bytes
        std::uint32_t remaining = 0;  // bytes still to send
        std::uint32_t pictureType = 0;
        Ticks dts = 0;                // decoding time (audio: its PTS)
        Ticks pts = 0;
        // The unit byte whose packet carries the time stamp: audio units at their
        // first byte, pictures at their picture start code (after any sequence and
        // group headers), found while the bytes go out.
        std::uint32_t stampAt = 0;
        std::uint32_t searched = 0;           // bytes searched for the picture start code
        std::uint32_t recent = 0xFFFFFFFFu;   // the last four of them
        bool tail = false;                    // bytes after the last unit (sequence end code)
        std::uint32_t Sent() const { return length - remaining; }
    };
    struct StdEntry {
        std::uint32_t bytes;
        Ticks time;
    };
    struct Stream {
        bool video = false;
        std::uint8_t id = 0;
        std::deque<Unit> queue;
        std::uint64_t queuedBytes = 0;  // bytes of the waiting units
        Unit cur;
        bool hasCur = false;
        bool dry = false;               // finishing: the source has nothing after the units
        std::deque<StdEntry> std;
        std::uint32_t stdSize = 0;
        std::uint64_t stdFill = 0;
        Ticks offset = 0;               // added to every unit's time stamps
        Ticks startup = 0;              // how long the decoder buffers before the first unit
        std::uint32_t payload = 0;
        bool stdDue = true;
        std::uint32_t stdScale = 0;
        std::uint32_t stdSizeField = 0;
        Ticks lastTime = 0;             // time stamp of the last unit sent (for tail bytes)
        std::vector<std::uint8_t> ahead;  // bytes read from the encoder before their packet
        std::size_t aheadPos = 0;
    };
    // What one data packet carries.
    struct Payload {
        std::uint32_t bytes = 0;
        bool stamped = false;        // a picture or audio frame begins here
        Ticks pts = 0, dts = 0;      // of that unit
        bool iPictureFirst = false;  // an I picture's unit is the first thing in it
    };

    bool IsMpeg2() const { return kind_ >= 2; }
    bool IsVcd() const { return kind_ == 1; }
    bool IsSvcd() const { return kind_ == 3 && !dvd_; }
    // Packs only when a stream has something to send; the clock runs on between.
    bool SkipsIdlePacks() const { return dvd_ || IsSvcd(); }
    Ticks TimecodeToTicks(const Timecode& tc) const;
    Ticks ScrOfPack(std::uint32_t packIndex) const;

    bool OpenOutput();
    bool CreateFiles();
    void ChooseRates();
    void EndFile();
    bool WritePack();
    bool WriteFirstPack();
    void DrainStdBuffers();
    Stream* ChooseStream();
    bool PromoteUnit(Stream& s);
    bool MaySend(const Stream& s) const;
    std::uint64_t FreeSpace(const Stream& s) const { return s.stdSize > s.stdFill ? s.stdSize - s.stdFill : 0; }
    bool HasData(Stream& s);
    std::int32_t Pull(Stream& s, std::uint8_t* dst, std::int32_t max);
    std::uint32_t Peek(Stream& s, std::uint32_t count);
    void LocatePictureStart(Stream& s, Unit& u, const std::uint8_t* bytes, std::uint32_t count);

    std::size_t PutPackHeader(std::uint8_t* p) const;
    std::size_t PutDataPacketHeader(std::uint8_t* p, const Stream& s, const Payload& pl, std::uint32_t stuffing,
                                    std::uint32_t extra) const;
    bool WritePaddingPack(bool endSector);
    bool WriteSystemHeaderPack(bool listVideo, bool listAudio, bool trailingZeros);
    bool GatherPayload(Stream& s, Payload& pl);
    bool RecordIPictureSector();
    bool WriteDataPack(Stream& s);
    bool AppendSector(const std::uint8_t* p, std::size_t n);
    bool FlushWriteBuffer();
    void Fail();

    // Format settings.
    std::int32_t kind_ = 1;
    bool dvd_ = false;
    std::uint32_t videoKiB_ = 46;
    std::uint32_t packsBeforeScr_ = 30;
    Ticks videoMs_ = 344, audioMs_ = 394;
    bool zeroBytesAfterAudio_ = true;
    // Stream settings.
    IStreamSource* source_ = nullptr;
    double muxFactor_ = 1.0;
    std::uint32_t audioRateIndex_ = 11;
    double videoBitRate_ = 1150000.0;
    std::string path_;
    std::uint32_t frameRateCode_ = 3;
    std::uint32_t gopLength_ = 15;

    Stream video_, audio_;
    std::int32_t muxRate_ = 0;
    std::uint32_t packsPerSecond_ = 75;
    Ticks scr_ = 0;
    std::uint32_t packCounter_ = 0;
    std::uint32_t sectorsWritten_ = 0;
    bool firstPack_ = true;
    int vcdHeaderStep_ = 0;
    bool finishing_ = false;
    bool open_ = false;
    bool ended_ = false;
    bool failed_ = false;
    std::uint64_t bytesWritten_ = 0;
    int fd_ = -1;
    std::unique_ptr<std::uint8_t[]> writeBuf_;
    std::size_t writeFill_ = 0;
    std::uint8_t sector_[kSectorSize + 64];
    std::uint8_t packet_[kSectorSize];
    // Kind 3: sector index of every I picture, for the scan-offset pass.
    std::FILE* packIndex_ = nullptr;
    std::string packIndexPath_;
    std::uint32_t packIndexCount_ = 0;
};

}  // namespace reelcast::mux
