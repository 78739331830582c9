#include "engine/mpeg/mux/Multiplexer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>

#include "engine/mpeg/audio/Layer2BitRates.h"
#include "engine/mpeg/mux/ScanOffsets.h"

namespace reelcast::mux {

namespace {

constexpr std::uint8_t kVideoId = 0xE0;
constexpr std::uint8_t kAudioId = 0xC0;
constexpr std::uint8_t kPaddingId = 0xBE;
constexpr std::uint32_t kPictureI = 1;
constexpr std::size_t kZeroBytesAfterAudio = 20;
// A pack step that writes no data this many times in a row means the model is stuck.
constexpr std::uint32_t kMaxIdlePacks = 1000000;

// Sector layout: a pack header, then one packet of start code and length field,
// header and data. Every data packet reserves the same header room (stuffing
// fills what a packet does not use), so all packets of a stream carry the same
// payload: the STD buffer field and a PTS and DTS.
constexpr std::uint32_t kSector = 2324;
constexpr std::uint32_t kMpeg1PackHeader = 12;
constexpr std::uint32_t kMpeg2PackHeader = 14;
constexpr std::uint32_t kPacketStart = 6;       // start code and length field
constexpr std::uint32_t kStdFieldBytes = 2;
constexpr std::uint32_t kTimeStampBytes = 5;
constexpr std::uint32_t kMpeg1VideoHeader = kStdFieldBytes + 2 * kTimeStampBytes;  // 12
constexpr std::uint32_t kMpeg1AudioHeader = kStdFieldBytes + kTimeStampBytes;      // 7
constexpr std::uint32_t kMpeg2FlagsBytes = 3;   // flag bytes and header data length
constexpr std::uint32_t kMpeg2ExtensionBytes = 1 + kStdFieldBytes;                 // PES extension with P-STD
constexpr std::uint32_t kMpeg2VideoHeaderData = 2 * kTimeStampBytes + kMpeg2ExtensionBytes;  // 13
constexpr std::uint32_t kMpeg2AudioHeaderData = kTimeStampBytes + kMpeg2ExtensionBytes;      // 8
constexpr std::uint32_t kMpeg1MaxStuffing = 16;
constexpr std::uint32_t kMpeg2MaxStuffing = 32;
// A shortfall below this becomes header stuffing rather than a padding packet.
constexpr std::uint32_t kMinPaddingPacket = 7;

// Disc rates. A CD sector is 2352 bytes on the disc, and the mux rate counts
// those: 75 sectors per second at single speed (VCD), 150 at double speed
// (SVCD). Each pack fills one sector, so the pack time is the sector time.
constexpr std::int32_t kVcdMuxRate = 3528;
constexpr std::uint32_t kVcdSectorsPerSecond = 75;
constexpr std::int32_t kSvcdMuxRate = 2 * kVcdMuxRate;
constexpr std::uint32_t kSvcdSectorsPerSecond = 2 * kVcdSectorsPerSecond;
constexpr std::int32_t kMuxRateUnit = 50;       // bytes per second
constexpr std::int32_t kMinMuxRate = 47;        // at least one pack per second
constexpr std::int32_t kMaxMuxRate = 0x3FFFFF;  // 22 bits

// Share by which the coded streams may exceed their nominal rates.
constexpr double kRateHeadroom = 0.01;

// How long before a unit's bytes are due (its decoding time less the stream's
// start-up offset) they may enter the decoder. Bounds how far the time stamps
// run ahead of the pack clock when the pictures are small.
constexpr Ticks kMaxEarly = kTicksPerSecond / 2;

constexpr std::uint32_t kNotFound = 0xFFFFFFFFu;
constexpr std::uint32_t kPictureStartCode = 0x00000100u;

// The STD buffer field: '01', scale, 13-bit size.
void PutStdField(std::uint8_t* p, std::uint32_t scale, std::uint32_t size) {
    p[0] = static_cast<std::uint8_t>(0x40 | (scale << 5) | ((size >> 8) & 0x1F));
    p[1] = static_cast<std::uint8_t>(size);
}

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

void PutStartCode(std::uint8_t* p, std::uint8_t code) {
    p[0] = 0;
    p[1] = 0;
    p[2] = 1;
    p[3] = code;
}

// A 33-bit time stamp in the 5-byte form: prefix (4 bits), then the value split
// 3/15/15 with a marker bit after each part.
void PutTimeStamp(std::uint8_t* p, std::uint8_t prefix, std::uint64_t t) {
    p[0] = static_cast<std::uint8_t>((prefix << 4) | ((t >> 29) & 0x0E) | 1);
    p[1] = static_cast<std::uint8_t>(t >> 22);
    p[2] = static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1);
    p[3] = static_cast<std::uint8_t>(t >> 7);
    p[4] = static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1);
}

// A packet's PTS alone, or its PTS and DTS; the bytes written.
std::size_t PutPacketTimeStamps(std::uint8_t* p, std::uint64_t pts, std::uint64_t dts, bool withDts) {
    PutTimeStamp(p, withDts ? 0x3 : 0x2, pts);
    if (!withDts) return kTimeStampBytes;
    PutTimeStamp(p + kTimeStampBytes, 0x1, dts);
    return 2 * kTimeStampBytes;
}

// A padding packet of total bytes (>= 6): MPEG-1 content starts with 0x0F.
std::size_t PutPaddingPacket(std::uint8_t* p, std::size_t total, bool mpeg2) {
    PutStartCode(p, kPaddingId);
    Put16(p + 4, static_cast<std::uint32_t>(total - 6));
    std::memset(p + 6, 0xFF, total - 6);
    if (!mpeg2 && total > 6) p[6] = 0x0F;
    return total;
}

}  // namespace

Multiplexer::~Multiplexer() {
    EndFile();
    if (fd_ >= 0) ::close(fd_);
    if (packIndex_) std::fclose(packIndex_);
}

bool Multiplexer::Init() {
    if (open_ && !ended_) EndFile();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (packIndex_) std::fclose(packIndex_);
    packIndex_ = nullptr;

    kind_ = 1;
    dvd_ = false;
    videoKiB_ = 46;
    packsBeforeScr_ = 30;
    videoMs_ = 344;
    audioMs_ = 394;
    zeroBytesAfterAudio_ = true;
    source_ = nullptr;
    muxFactor_ = 1.0;
    audioRateIndex_ = 11;
    videoBitRate_ = 1150000.0;
    path_.clear();
    frameRateCode_ = 3;
    gopLength_ = 15;

    for (Stream* s : {&video_, &audio_}) {
        s->queue.clear();
        s->queuedBytes = 0;
        s->hasCur = false;
        s->dry = false;
        s->std.clear();
        s->stdFill = 0;
        s->ahead.clear();
        s->aheadPos = 0;
    }
    video_.video = true;
    video_.id = kVideoId;
    audio_.video = false;
    audio_.id = kAudioId;
    muxRate_ = 0;
    packsPerSecond_ = kVcdSectorsPerSecond;
    scr_ = 0;
    packCounter_ = 0;
    sectorsWritten_ = 0;
    firstPack_ = true;
    vcdHeaderStep_ = 0;
    finishing_ = false;
    open_ = false;
    ended_ = false;
    failed_ = false;
    bytesWritten_ = 0;
    writeFill_ = 0;
    packIndexCount_ = 0;
    packIndexPath_.clear();
    return true;
}

bool Multiplexer::AddAudioUnit(const AudioUnit* unit) {
    if (!unit || ended_) return true;
    Unit u;
    u.length = u.remaining = unit->length;
    u.dts = u.pts = TimecodeToTicks(unit->pts);
    audio_.queue.push_back(u);
    audio_.queuedBytes += u.remaining;
    return true;
}

bool Multiplexer::AddVideoUnit(const VideoUnit* unit) {
    if (!unit || ended_) return true;
    Unit u;
    u.length = u.remaining = unit->length;
    u.pictureType = unit->pictureType;
    u.dts = TimecodeToTicks(unit->dts);
    u.pts = TimecodeToTicks(unit->pts);
    u.stampAt = kNotFound;
    video_.queue.push_back(u);
    video_.queuedBytes += u.remaining;
    return true;
}

bool Multiplexer::Multiplex() {
    if (ended_) return false;
    if (!open_) {
        // Nothing is opened before both streams have a unit to begin with.
        if (audio_.queue.empty() || video_.queue.empty()) return true;
        if (!OpenOutput()) return false;
    }
    // Keep a whole packet of each stream in reserve: the last bytes of the newest
    // unit may still sit in its encoder's bit accumulator.
    std::uint32_t idle = 0;
    while (video_.queuedBytes > video_.payload && audio_.queuedBytes > audio_.payload) {
        const std::uint64_t before = video_.queuedBytes + audio_.queuedBytes;
        const std::uint32_t sentBefore = sectorsWritten_;
        if (!WritePack()) return false;
        if (video_.queuedBytes + audio_.queuedBytes == before && sectorsWritten_ == sentBefore) ++idle;
        if (idle > kMaxIdlePacks) {
            Fail();
            return false;
        }
    }
    return true;
}

void Multiplexer::Finish() {
    if (ended_) return;
    finishing_ = true;
    if (!open_) {
        // A stream without sound still makes a file.
        if (video_.queue.empty()) return;
        if (!OpenOutput()) return;
    }
    auto left = [this] {
        return video_.queuedBytes + audio_.queuedBytes + (video_.hasCur ? video_.cur.remaining : 0) +
               (audio_.hasCur ? audio_.cur.remaining : 0);
    };
    std::uint64_t idle = 0;
    while (!ended_ && (HasData(video_) || HasData(audio_))) {
        const std::uint64_t before = left();
        if (!WritePack()) break;
        idle = left() < before ? 0 : idle + 1;
        if (idle > kMaxIdlePacks) break;
    }
    for (Stream* s : {&video_, &audio_}) {
        s->queue.clear();
        s->queuedBytes = 0;
        s->hasCur = false;
    }
    EndFile();
}

bool Multiplexer::Reserved8() { return true; }

double Multiplexer::GetMegabytesWritten() { return static_cast<double>(bytesWritten_) / 1048576.0; }

void Multiplexer::MakeTimecode(double ticks, Timecode* out) {
    if (!out) return;
    if (!(ticks > 0)) ticks = 0;  // also catches NaN
    // The nearest tick of what the stream can hold: 27 MHz in the MPEG-2 kinds,
    // 90 kHz in the MPEG-1 kinds.
    const Ticks t = std::llround(std::min(ticks, 9.0e18));
    const std::uint64_t base33 = static_cast<std::uint64_t>(IsMpeg2() ? t / kTicksPer90kHz : NearestTick90k(t));
    out->highBit = static_cast<std::uint32_t>((base33 >> 32) & 1u);
    out->base = static_cast<std::uint32_t>(base33);
    out->extension = IsMpeg2() ? static_cast<std::uint32_t>(t % kTicksPer90kHz) : 0u;
}

Ticks Multiplexer::TimecodeToTicks(const Timecode& tc) const {
    const std::uint64_t base33 = (static_cast<std::uint64_t>(tc.highBit & 1u) << 32) | tc.base;
    return static_cast<Ticks>(base33) * kTicksPer90kHz + static_cast<Ticks>(tc.extension % kTicksPer90kHz);
}

std::int32_t Multiplexer::SetMpeg1Format(std::int32_t kind, std::int32_t) {
    kind_ = kind == 0 ? 0 : 1;
    dvd_ = false;
    videoKiB_ = 46;
    packsBeforeScr_ = 30;
    videoMs_ = audioMs_ = 364;
    zeroBytesAfterAudio_ = true;
    return 364;
}

std::int32_t Multiplexer::SetMpeg2Format(std::int32_t kind, std::int32_t notDvd) {
    kind_ = kind == 2 ? 2 : 3;
    dvd_ = notDvd == 0;
    videoKiB_ = 230;
    packsBeforeScr_ = 0;
    videoMs_ = audioMs_ = 180;
    zeroBytesAfterAudio_ = false;
    return 180;
}

bool Multiplexer::AddVideoPicture(std::int32_t codingIndex, std::int32_t displayIndex, double frameRate, double,
                                  double, VideoUnit* unit) {
    if (!unit || !(frameRate > 0) || codingIndex < 0 || displayIndex < 0) return false;
    const PictureRate rate = ExactPictureRate(frameRate);
    MakeTimecode(static_cast<double>(PictureTicks(codingIndex, rate)), &unit->dts);
    MakeTimecode(static_cast<double>(PictureTicks(displayIndex + 1, rate)), &unit->pts);
    return AddVideoUnit(unit);
}

void Multiplexer::SetStream(IStreamSource* source, double muxRateFactor, std::uint32_t audioBitRateIndex,
                            double videoBitRate, const char* outputPath, std::uint32_t frameRateCode,
                            std::uint32_t gopLength) {
    source_ = source;
    muxFactor_ = muxRateFactor;
    audioRateIndex_ = audioBitRateIndex;
    videoBitRate_ = videoBitRate;
    path_ = outputPath ? outputPath : "";
    frameRateCode_ = frameRateCode;
    gopLength_ = gopLength;
}

bool Multiplexer::WriteFailed() { return failed_; }

Ticks Multiplexer::ScrOfPack(std::uint32_t packIndex) const {
    const Ticks exact = DivRound((static_cast<Ticks>(packsBeforeScr_) + packIndex) * kTicksPerSecond,
                                 static_cast<Ticks>(packsPerSecond_));
    // The MPEG-1 kinds carry the clock in 90 kHz ticks.
    return IsMpeg2() ? exact : NearestTick90k(exact) * kTicksPer90kHz;
}

bool Multiplexer::OpenOutput() {
    packCounter_ = 0;
    sectorsWritten_ = 0;
    firstPack_ = true;
    vcdHeaderStep_ = 0;
    video_.stdDue = audio_.stdDue = true;
    video_.dry = audio_.dry = false;
    packIndexCount_ = 0;
    if (!CreateFiles()) {
        failed_ = true;
        ended_ = true;
        return false;
    }
    video_.stdSize = videoKiB_ * 1024;
    audio_.stdSize = 4096;
    video_.stdScale = 1;
    video_.stdSizeField = videoKiB_;
    audio_.stdScale = 0;
    audio_.stdSizeField = 4096 >> 7;
    ChooseRates();

    scr_ = ScrOfPack(0);
    // Offsets in whole 90 kHz ticks keep every time stamp exact.
    video_.startup = videoMs_ * kTicksPerMillisecond;
    audio_.startup = audioMs_ * kTicksPerMillisecond;
    video_.offset = scr_ + video_.startup;
    audio_.offset = scr_ + audio_.startup;
    video_.hasCur = audio_.hasCur = false;
    PromoteUnit(video_);
    PromoteUnit(audio_);
    open_ = true;
    return true;
}

bool Multiplexer::CreateFiles() {
    writeBuf_.reset(new (std::nothrow) std::uint8_t[kWriteBufferSize]);
    writeFill_ = 0;
    if (!writeBuf_ || path_.empty()) return false;
    if (kind_ == 3) {
        packIndexPath_ = PackIndexPath(path_.c_str());
        packIndex_ = std::fopen(packIndexPath_.c_str(), "wb");
        if (!packIndex_) return false;
    }
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ >= 0) return true;
    if (packIndex_) {
        std::fclose(packIndex_);
        packIndex_ = nullptr;
        std::remove(packIndexPath_.c_str());
    }
    return false;
}

void Multiplexer::ChooseRates() {
    const std::uint32_t packHeader = IsMpeg2() ? kMpeg2PackHeader : kMpeg1PackHeader;
    const std::uint32_t videoHeader = IsMpeg2() ? kMpeg2FlagsBytes + kMpeg2VideoHeaderData : kMpeg1VideoHeader;
    const std::uint32_t audioHeader = IsMpeg2() ? kMpeg2FlagsBytes + kMpeg2AudioHeaderData : kMpeg1AudioHeader;
    const std::uint32_t audioTrailer = zeroBytesAfterAudio_ && IsVcd() ? kZeroBytesAfterAudio : 0;
    video_.payload = kSector - packHeader - kPacketStart - videoHeader;
    audio_.payload = kSector - packHeader - kPacketStart - audioHeader - audioTrailer;

    if (IsVcd()) {
        // A VCD player reads one sector per 1/75 s and expects exactly that rate,
        // whatever the streams need: padding packs fill the rest.
        muxRate_ = kVcdMuxRate;
        packsPerSecond_ = kVcdSectorsPerSecond;
        return;
    }
    if (IsSvcd()) {
        // SVCD discs are read at double speed; the streams' own rate is below it,
        // so packs are written only when there is something to send.
        muxRate_ = kSvcdMuxRate;
        packsPerSecond_ = kSvcdSectorsPerSecond;
        return;
    }
    const double videoBytes = std::floor(videoBitRate_ * 0.125);
    const double audioBytes = audioRateIndex_ < mpeg::audio::kLayer2BitRateCount
                                  ? mpeg::audio::kLayer2BitRatesKbps[audioRateIndex_] * 125.0
                                  : 0.0;
    const double perSecond = std::ceil(static_cast<double>(kSector) / video_.payload * (videoBytes + audioBytes));
    // The rate must also carry what that estimate leaves out, or the pack clock
    // runs ahead of the pictures for good: the part-filled packet before each
    // group's I picture, the whole packs per second, and the encoders' small
    // excess over their nominal rates.
    const double groupsPerSecond = IsMpeg2() && gopLength_ > 0 ? FrameRateOfCode(frameRateCode_) / gopLength_ : 0.0;
    const double packsNeeded = videoBytes / video_.payload + audioBytes / audio_.payload + groupsPerSecond;
    const double packsWithHeadroom = std::ceil(packsNeeded * (1.0 + kRateHeadroom));
    const double rate = std::max(std::ceil(muxFactor_ * perSecond / kMuxRateUnit),
                                 std::ceil(packsWithHeadroom * kSector / kMuxRateUnit));
    muxRate_ = static_cast<std::int32_t>(std::clamp(rate, static_cast<double>(kMinMuxRate),
                                                    static_cast<double>(kMaxMuxRate)));
    packsPerSecond_ = static_cast<std::uint32_t>(muxRate_) * kMuxRateUnit / kSector;
}

bool Multiplexer::PromoteUnit(Stream& s) {
    if (s.hasCur) return true;
    if (!s.queue.empty()) {
        Unit u = s.queue.front();
        s.queue.pop_front();
        s.queuedBytes -= u.remaining;
        u.dts += s.offset;
        u.pts += s.offset;
        s.cur = u;
        s.hasCur = true;
        return true;
    }
    if (finishing_ && !s.dry) {
        // Bytes the encoder wrote after its last unit (the sequence end code).
        const std::uint32_t n = Peek(s, s.payload);
        if (n > 0) {
            Unit u;
            u.length = u.remaining = n;
            u.dts = u.pts = s.lastTime;
            u.stampAt = kNotFound;
            u.tail = true;
            s.cur = u;
            s.hasCur = true;
            return true;
        }
        s.dry = true;
    }
    return false;
}

bool Multiplexer::HasData(Stream& s) { return PromoteUnit(s); }

std::int32_t Multiplexer::Pull(Stream& s, std::uint8_t* dst, std::int32_t max) {
    if (max <= 0) return 0;
    std::int32_t n = 0;
    const std::size_t held = s.ahead.size() - s.aheadPos;
    if (held > 0) {
        n = static_cast<std::int32_t>(std::min<std::size_t>(held, static_cast<std::size_t>(max)));
        std::memcpy(dst, s.ahead.data() + s.aheadPos, static_cast<std::size_t>(n));
        s.aheadPos += static_cast<std::size_t>(n);
        if (s.aheadPos == s.ahead.size()) {
            s.ahead.clear();
            s.aheadPos = 0;
        }
    }
    if (n < max && source_ && !s.cur.tail) {
        const std::int32_t want = max - n;
        const std::int32_t got = s.video ? source_->ReadVideo(dst + n, want) : source_->ReadAudio(dst + n, want);
        n += std::clamp<std::int32_t>(got, 0, want);
    }
    return n;
}

std::uint32_t Multiplexer::Peek(Stream& s, std::uint32_t count) {
    const std::size_t held = s.ahead.size() - s.aheadPos;
    if (held < count && source_) {
        const std::size_t want = count - held;
        const std::size_t old = s.ahead.size();
        s.ahead.resize(old + want);
        const std::int32_t want32 = static_cast<std::int32_t>(want);
        const std::int32_t got = s.video ? source_->ReadVideo(s.ahead.data() + old, want32)
                                         : source_->ReadAudio(s.ahead.data() + old, want32);
        s.ahead.resize(old + static_cast<std::size_t>(std::clamp<std::int32_t>(got, 0, want32)));
    }
    return static_cast<std::uint32_t>(std::min<std::size_t>(count, s.ahead.size() - s.aheadPos));
}

// Follows the unit's bytes (the first of them is unit byte u.Sent()) to its
// picture start code; a start code that the packet end cuts is seen through the
// next bytes, read ahead, so that its first byte's packet still gets the stamp.
void Multiplexer::LocatePictureStart(Stream& s, Unit& u, const std::uint8_t* bytes, std::uint32_t count) {
    auto search = [&u](const std::uint8_t* p, std::uint32_t from, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n && u.stampAt == kNotFound; ++i) {
            if (from + i < u.searched) continue;
            u.recent = (u.recent << 8) | p[i];
            u.searched = from + i + 1;
            if (u.recent == kPictureStartCode) u.stampAt = from + i - 3;
        }
    };
    if (u.stampAt != kNotFound || u.tail) return;
    search(bytes, u.Sent(), count);
    if (u.stampAt == kNotFound && u.remaining > count) {
        const std::uint32_t k = Peek(s, std::min<std::uint32_t>(3, u.remaining - count));
        search(s.ahead.data() + s.aheadPos, u.Sent() + count, k);
    }
}

bool Multiplexer::MaySend(const Stream& s) const {
    return s.hasCur && FreeSpace(s) >= s.payload && s.cur.dts - s.startup <= scr_ + kMaxEarly;
}

void Multiplexer::DrainStdBuffers() {
    for (Stream* s : {&video_, &audio_}) {
        while (!s->std.empty() && s->std.front().time <= scr_) {
            s->stdFill -= s->std.front().bytes;
            s->std.pop_front();
        }
        PromoteUnit(*s);
    }
}

// The stream whose next bytes are needed first, among those the decoder has
// room for; none when neither may be sent yet.
Multiplexer::Stream* Multiplexer::ChooseStream() {
    bool videoOk = MaySend(video_);
    const bool audioOk = MaySend(audio_);
    // The third pack of a VCD carries sound unless the pictures cannot wait.
    const Ticks twoPacks = 2 * kTicksPerSecond / packsPerSecond_;
    if (IsVcd() && packCounter_ == 3 && videoOk && video_.cur.dts >= scr_ + twoPacks) videoOk = false;
    if (videoOk && audioOk) return video_.cur.dts - video_.startup <= audio_.cur.dts - audio_.startup ? &video_ : &audio_;
    return videoOk ? &video_ : audioOk ? &audio_ : nullptr;
}

bool Multiplexer::WriteFirstPack() {
    if (!IsVcd()) {
        firstPack_ = false;
        return WriteSystemHeaderPack(true, true, false);
    }
    // VCD: one system header for each stream, in a sector of its own.
    if (vcdHeaderStep_ == 0) {
        vcdHeaderStep_ = 1;
        return WriteSystemHeaderPack(true, false, false);
    }
    firstPack_ = false;
    return WriteSystemHeaderPack(false, true, true);
}

bool Multiplexer::WritePack() {
    scr_ = ScrOfPack(packCounter_);
    DrainStdBuffers();
    bool ok = true;
    if (firstPack_) {
        ok = WriteFirstPack();
    } else if (Stream* send = ChooseStream()) {
        ok = WriteDataPack(*send);
        if (ok && !IsVcd()) send->stdDue = false;
    } else if (!SkipsIdlePacks()) {
        ok = WritePaddingPack(false);
    }
    if (!ok) {
        Fail();
        return false;
    }
    ++packCounter_;
    return true;
}

std::size_t Multiplexer::PutPackHeader(std::uint8_t* p) const {
    PutStartCode(p, 0xBA);
    const std::uint32_t mr = static_cast<std::uint32_t>(muxRate_) & 0x3FFFFF;
    if (!IsMpeg2()) {
        PutTimeStamp(p + 4, 0x2, static_cast<std::uint64_t>(NearestTick90k(scr_)));
        const std::uint32_t v = (1u << 23) | (mr << 1) | 1u;
        p[9] = static_cast<std::uint8_t>(v >> 16);
        p[10] = static_cast<std::uint8_t>(v >> 8);
        p[11] = static_cast<std::uint8_t>(v);
        return kMpeg1PackHeader;
    }
    const std::uint64_t base = static_cast<std::uint64_t>(scr_ / kTicksPer90kHz);
    const std::uint32_t ext = static_cast<std::uint32_t>(scr_ % kTicksPer90kHz);
    p[4] = static_cast<std::uint8_t>(0x40 | ((base >> 27) & 0x38) | 0x04 | ((base >> 28) & 0x03));
    p[5] = static_cast<std::uint8_t>(base >> 20);
    p[6] = static_cast<std::uint8_t>(((base >> 12) & 0xF8) | 0x04 | ((base >> 13) & 0x03));
    p[7] = static_cast<std::uint8_t>(base >> 5);
    p[8] = static_cast<std::uint8_t>(((base << 3) & 0xF8) | 0x04 | ((ext >> 7) & 0x03));
    p[9] = static_cast<std::uint8_t>(((ext << 1) & 0xFE) | 1);
    const std::uint32_t v = (mr << 2) | 3u;
    p[10] = static_cast<std::uint8_t>(v >> 16);
    p[11] = static_cast<std::uint8_t>(v >> 8);
    p[12] = static_cast<std::uint8_t>(v);
    p[13] = 0xF8;  // reserved bits, no pack stuffing
    return kMpeg2PackHeader;
}

bool Multiplexer::WritePaddingPack(bool endSector) {
    std::uint8_t* p = sector_;
    std::size_t n = PutPackHeader(p);
    // The padding packet takes the place of a video packet; the end sector keeps
    // four bytes for the end code.
    const std::size_t videoHeader = IsMpeg2() ? kMpeg2FlagsBytes + kMpeg2VideoHeaderData : kMpeg1VideoHeader;
    const std::size_t endCode = endSector ? 4 : 0;
    n += PutPaddingPacket(p + n, kPacketStart + videoHeader + video_.payload - endCode, IsMpeg2());
    if (endSector) {
        PutStartCode(p + n, 0xB9);
        n += endCode;
    }
    ++sectorsWritten_;
    return AppendSector(p, n);
}

bool Multiplexer::WriteSystemHeaderPack(bool listVideo, bool listAudio, bool trailingZeros) {
    std::uint8_t* p = sector_;
    std::size_t n = PutPackHeader(p);
    const int streams = (listVideo ? 1 : 0) + (listAudio ? 1 : 0);
    PutStartCode(p + n, 0xBB);
    Put16(p + n + 4, static_cast<std::uint32_t>(6 + 3 * streams));
    n += 6;
    const std::uint32_t mr = static_cast<std::uint32_t>(muxRate_) & 0x3FFFFF;
    const std::uint32_t rb = (1u << 23) | (mr << 1) | 1u;
    p[n++] = static_cast<std::uint8_t>(rb >> 16);
    p[n++] = static_cast<std::uint8_t>(rb >> 8);
    p[n++] = static_cast<std::uint8_t>(rb);
    const std::uint32_t csps = IsMpeg2() ? 0 : 1;
    p[n++] = static_cast<std::uint8_t>(((listAudio ? 1u : 0u) << 2) | csps);  // audio bound, fixed 0, CSPS
    const std::uint32_t locks = kind_ == 2 ? 0u : 3u;
    p[n++] = static_cast<std::uint8_t>((locks << 6) | 0x20 | (listVideo ? 1u : 0u));
    p[n++] = IsMpeg2() ? 0x7F : 0xFF;
    for (const Stream* s : {&video_, &audio_}) {
        if (!(s->video ? listVideo : listAudio)) continue;
        p[n++] = s->id;
        p[n++] = static_cast<std::uint8_t>(0xC0 | (s->stdScale << 5) | ((s->stdSizeField >> 8) & 0x1F));
        p[n++] = static_cast<std::uint8_t>(s->stdSizeField);
    }
    const std::size_t zeros = trailingZeros ? kZeroBytesAfterAudio : 0;
    n += PutPaddingPacket(p + n, kSectorSize - n - zeros, IsMpeg2());
    std::memset(p + n, 0, zeros);
    n += zeros;
    ++sectorsWritten_;
    return AppendSector(p, n);
}

// Fills packet_ with up to one payload of the stream's bytes, unit after unit,
// and notes the time stamp the packet carries and the decoder buffer entries.
bool Multiplexer::GatherPayload(Stream& s, Payload& pl) {
    while (pl.bytes < s.payload) {
        if (!PromoteUnit(s)) break;
        Unit& u = s.cur;
        const bool unitStarts = u.Sent() == 0;
        // In the MPEG-2 kinds an I picture always begins a packet of its own.
        if (unitStarts && pl.bytes > 0 && IsMpeg2() && s.video && u.pictureType == kPictureI && !u.tail) break;
        const std::uint32_t want = std::min(u.remaining, s.payload - pl.bytes);
        std::uint8_t* at = packet_ + pl.bytes;
        const std::int32_t got = Pull(s, at, static_cast<std::int32_t>(want));
        const std::uint32_t n = static_cast<std::uint32_t>(got);
        if (n > 0) {
            if (unitStarts && pl.bytes == 0 && s.video && u.pictureType == kPictureI && !u.tail) {
                pl.iPictureFirst = true;
            }
            if (s.video) LocatePictureStart(s, u, at, n);
            const std::uint32_t sent = u.Sent();
            if (!pl.stamped && !u.tail && u.stampAt >= sent && u.stampAt < sent + n) {
                pl.stamped = true;
                pl.pts = u.pts;
                pl.dts = u.dts;
            }
            s.std.push_back(StdEntry{n, u.dts});
            s.stdFill += n;
            pl.bytes += n;
            u.remaining -= n;
            s.lastTime = u.dts;
        }
        if (u.remaining == 0) {
            s.hasCur = false;
            continue;
        }
        if (n < want) {
            // The encoder has not got these bytes (yet). At the end nothing more
            // will come: what is missing of the unit is given up.
            if (finishing_ && n == 0) {
                s.hasCur = false;
                continue;
            }
            break;
        }
    }
    return pl.bytes > 0;
}

// SVCD and DVD: the sector in which each I picture begins, for the scan offsets.
bool Multiplexer::RecordIPictureSector() {
    if (!packIndex_) return true;
    const std::uint32_t v = sectorsWritten_;
    const unsigned char rec[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                  static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    if (std::fwrite(rec, 1, 4, packIndex_) != 4) return false;
    ++packIndexCount_;
    return true;
}

// The packet's start code, length and header up to its data. A picture whose
// decoding time differs from its presentation time carries both.
std::size_t Multiplexer::PutDataPacketHeader(std::uint8_t* p, const Stream& s, const Payload& pl,
                                             std::uint32_t stuffing, std::uint32_t extra) const {
    const bool mpeg2 = IsMpeg2();
    const bool withStd = s.stdDue;
    const std::uint64_t pts = static_cast<std::uint64_t>(NearestTick90k(pl.pts));
    const std::uint64_t dts = static_cast<std::uint64_t>(NearestTick90k(pl.dts));
    const bool withDts = pl.stamped && dts != pts;
    const std::uint32_t header = mpeg2 ? kMpeg2FlagsBytes + (s.video ? kMpeg2VideoHeaderData : kMpeg2AudioHeaderData)
                                       : (s.video ? kMpeg1VideoHeader : kMpeg1AudioHeader);
    PutStartCode(p, s.id);
    Put16(p + 4, header + extra + pl.bytes);
    std::size_t n = kPacketStart;
    if (!mpeg2) {
        std::memset(p + n, 0xFF, stuffing + extra);
        n += stuffing + extra;
        if (withStd) {
            PutStdField(p + n, s.stdScale, s.stdSizeField);
            n += kStdFieldBytes;
        }
        if (pl.stamped) {
            n += PutPacketTimeStamps(p + n, pts, dts, withDts);
        } else {
            p[n++] = 0x0F;
        }
        return n;
    }
    p[n++] = kind_ == 3 ? 0x81 : 0x80;
    p[n++] = static_cast<std::uint8_t>((pl.stamped ? (withDts ? 0xC0 : 0x80) : 0x00) | (withStd ? 0x01 : 0x00));
    p[n++] = static_cast<std::uint8_t>((s.video ? kMpeg2VideoHeaderData : kMpeg2AudioHeaderData) + extra);
    if (pl.stamped) n += PutPacketTimeStamps(p + n, pts, dts, withDts);
    if (withStd) {
        p[n++] = 0x1E;  // P-STD buffer field only
        PutStdField(p + n, s.stdScale, s.stdSizeField);
        n += kStdFieldBytes;
    }
    std::memset(p + n, 0xFF, stuffing + extra);
    return n + stuffing + extra;
}

bool Multiplexer::WriteDataPack(Stream& s) {
    Payload pl;
    if (!GatherPayload(s, pl)) return SkipsIdlePacks() ? true : WritePaddingPack(false);
    if (pl.iPictureFirst && !RecordIPictureSector()) return false;

    // The header room the packet leaves unused becomes stuffing.
    const bool withDts = pl.stamped && NearestTick90k(pl.dts) != NearestTick90k(pl.pts);
    const std::uint32_t stamps = pl.stamped ? (withDts ? 2 : 1) * kTimeStampBytes : 0;
    std::uint32_t stuffing;
    std::uint32_t maxStuffing;
    if (!IsMpeg2()) {
        const std::uint32_t room = s.video ? kMpeg1VideoHeader : kMpeg1AudioHeader;
        stuffing = room - (s.stdDue ? kStdFieldBytes : 0) - (pl.stamped ? stamps : 1);
        maxStuffing = kMpeg1MaxStuffing;
    } else {
        const std::uint32_t room = s.video ? kMpeg2VideoHeaderData : kMpeg2AudioHeaderData;
        stuffing = room - stamps - (s.stdDue ? kMpeg2ExtensionBytes : 0);
        maxStuffing = kMpeg2MaxStuffing;
    }
    // What the packet lacks of a full payload: a few bytes more stuffing, or a
    // padding packet after the data.
    const std::uint32_t shortfall = s.payload - pl.bytes;
    const bool asStuffing = shortfall < kMinPaddingPacket && stuffing + shortfall <= maxStuffing;
    const std::uint32_t extra = asStuffing ? shortfall : 0;
    const std::uint32_t padding = shortfall - extra;  // 0 or at least a packet start

    std::uint8_t* p = sector_;
    std::size_t n = PutPackHeader(p);
    n += PutDataPacketHeader(p + n, s, pl, stuffing, extra);
    std::memcpy(p + n, packet_, pl.bytes);
    n += pl.bytes;
    if (padding > 0) n += PutPaddingPacket(p + n, padding, IsMpeg2());
    if (!s.video && zeroBytesAfterAudio_) {
        std::memset(p + n, 0, kZeroBytesAfterAudio);
        n += kZeroBytesAfterAudio;
    }
    ++sectorsWritten_;
    return AppendSector(p, n);
}

bool Multiplexer::AppendSector(const std::uint8_t* p, std::size_t n) {
    if (failed_ || fd_ < 0) return false;
    if (writeFill_ + n > kWriteBufferSize && !FlushWriteBuffer()) return false;
    std::memcpy(writeBuf_.get() + writeFill_, p, n);
    writeFill_ += n;
    bytesWritten_ += n;
    return true;
}

bool Multiplexer::FlushWriteBuffer() {
    if (fd_ < 0) return false;
    std::size_t done = 0;
    while (done < writeFill_) {
        const ssize_t w = ::write(fd_, writeBuf_.get() + done, writeFill_ - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            failed_ = true;
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    writeFill_ = 0;
    return true;
}

void Multiplexer::Fail() {
    failed_ = true;
    EndFile();
}

void Multiplexer::EndFile() {
    if (!open_ || ended_) return;
    ended_ = true;
    bool ok = !failed_;
    if (ok) {
        if (kind_ == 1 || kind_ == 3) {
            scr_ = ScrOfPack(packCounter_);
            ok = WritePaddingPack(true);
        } else {
            std::uint8_t end[4];
            PutStartCode(end, 0xB9);
            ok = AppendSector(end, 4);
        }
    }
    ok = ok && FlushWriteBuffer();
    bool keepIndex = false;
    if (kind_ == 3 && packIndex_) {
        std::fclose(packIndex_);
        packIndex_ = nullptr;
        if (ok) {
            const bool synced = ::fsync(fd_) == 0 &&
                                ::ftruncate(fd_, static_cast<off_t>(bytesWritten_)) == 0;
            if (!synced) {
                ok = false;
                keepIndex = true;
            } else if (FillScanOffsets(path_.c_str(), fd_, packIndexPath_.c_str(), packIndexCount_,
                                       frameRateCode_, gopLength_) == ScanPassResult::kIndexUnreadable) {
                keepIndex = true;
            }
        }
        if (!keepIndex) std::remove(packIndexPath_.c_str());
    }
    if (fd_ >= 0 && ::close(fd_) != 0) ok = false;
    fd_ = -1;
    if (!ok) failed_ = true;
    for (Stream* s : {&video_, &audio_}) {
        s->std.clear();
        s->stdFill = 0;
    }
    writeBuf_.reset();
    writeFill_ = 0;
}

}  // namespace reelcast::mux

REELCAST_EXPORT_COMPONENT(MPGLIB_MUX, reelcast::mux::Multiplexer)
