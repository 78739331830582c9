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
constexpr std::size_t kZeroBytesAfterAudio = 20;
// A pack step that writes no data this many times in a row means the model is stuck.
constexpr std::uint32_t kMaxIdlePacks = 1000000;

std::uint64_t Base33(const Timecode& tc) {
    return (static_cast<std::uint64_t>(tc.highBit & 1u) << 32) | tc.base;
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

// A padding packet of total bytes (>= 6): MPEG-1 content starts with 0x0F.
std::size_t PutPaddingPacket(std::uint8_t* p, std::size_t total, bool mpeg2) {
    PutStartCode(p, 0xBE);
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
        s->tailLen = s->tailPos = 0;
    }
    video_.video = true;
    video_.id = kVideoId;
    audio_.video = false;
    audio_.id = kAudioId;
    muxRate_ = 0;
    packTime_ = 0;
    scr_ = 0;
    scrCorrection_ = 0;
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
    u.remaining = unit->length;
    u.dts = u.pts = TimecodeTicks(unit->pts);
    audio_.queue.push_back(u);
    audio_.queuedBytes += u.remaining;
    return true;
}

bool Multiplexer::AddVideoUnit(const VideoUnit* unit) {
    if (!unit || ended_) return true;
    Unit u;
    u.remaining = unit->length;
    u.pictureType = unit->pictureType;
    u.dts = TimecodeTicks(unit->dts);
    u.pts = TimecodeTicks(unit->pts);
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
    std::uint64_t idle = 0;
    while (!ended_ && (HasData(video_) || HasData(audio_))) {
        const std::uint64_t before = video_.queuedBytes + audio_.queuedBytes +
                                     (video_.hasCur ? video_.cur.remaining : 0) +
                                     (audio_.hasCur ? audio_.cur.remaining : 0);
        if (!WritePack()) break;
        const std::uint64_t after = video_.queuedBytes + audio_.queuedBytes +
                                    (video_.hasCur ? video_.cur.remaining : 0) +
                                    (audio_.hasCur ? audio_.cur.remaining : 0);
        idle = after < before ? 0 : idle + 1;
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
    const std::uint64_t base33 = static_cast<std::uint64_t>(std::floor(ticks / 300.0));
    out->highBit = static_cast<std::uint32_t>((base33 >> 32) & 1u);
    out->base = static_cast<std::uint32_t>(base33);
    out->extension = IsMpeg2() ? static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::floor(ticks)) % 300u) : 0u;
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
    if (!unit || !(frameRate > 0)) return false;
    MakeTimecode(codingIndex / frameRate * 27000000.0, &unit->dts);
    MakeTimecode((displayIndex + 1) / frameRate * 27000000.0, &unit->pts);
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

double Multiplexer::ToTicks(double ticks) const {
    Timecode tc;
    const_cast<Multiplexer*>(this)->MakeTimecode(ticks, &tc);
    return TimecodeTicks(tc);
}

bool Multiplexer::OpenOutput() {
    packCounter_ = 0;
    sectorsWritten_ = 0;
    scrCorrection_ = 0;
    firstPack_ = true;
    vcdHeaderStep_ = 0;
    video_.stdDue = audio_.stdDue = true;
    video_.dry = audio_.dry = false;
    packIndexCount_ = 0;

    writeBuf_.reset(new (std::nothrow) std::uint8_t[kWriteBufferSize]);
    writeFill_ = 0;
    if (!writeBuf_ || path_.empty()) {
        failed_ = true;
        ended_ = true;
        return false;
    }
    if (kind_ == 3) {
        packIndexPath_ = PackIndexPath(path_.c_str());
        packIndex_ = std::fopen(packIndexPath_.c_str(), "wb");
        if (!packIndex_) {
            failed_ = true;
            ended_ = true;
            return false;
        }
    }
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        if (packIndex_) {
            std::fclose(packIndex_);
            packIndex_ = nullptr;
            std::remove(packIndexPath_.c_str());
        }
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

    const double videoBytes = std::floor(videoBitRate_ * 0.125);
    const double audioBytes = audioRateIndex_ < mpeg::audio::kLayer2BitRateCount ? mpeg::audio::kLayer2BitRatesKbps[audioRateIndex_] * 125.0 : 0.0;
    video_.payload = IsMpeg2() ? 2324 - 14 - 22 : 2324 - 12 - 18;
    audio_.payload = IsVcd() ? video_.payload - 15 : video_.payload + 5;

    const double perSecond = std::ceil(2324.0 / video_.payload * (videoBytes + audioBytes));
    muxRate_ = static_cast<std::int32_t>(std::ceil(muxFactor_ * perSecond * 0.02));
    if (muxRate_ < 47) muxRate_ = 47;  // at least one pack per second
    if (muxRate_ > 0x3FFFFF) muxRate_ = 0x3FFFFF;
    packTime_ = 27000000.0 / std::floor(muxRate_ * 50.0 / 2324.0);

    scr_ = packsBeforeScr_ * packTime_;
    video_.offset = ToTicks(scr_) + videoMs_ * 27000.0;
    audio_.offset = ToTicks(scr_) + audioMs_ * 27000.0;
    video_.hasCur = audio_.hasCur = false;
    PromoteUnit(video_);
    PromoteUnit(audio_);
    open_ = true;
    return true;
}

bool Multiplexer::PromoteUnit(Stream& s) {
    if (s.hasCur) return true;
    if (!s.queue.empty()) {
        Unit u = s.queue.front();
        s.queue.pop_front();
        s.queuedBytes -= u.remaining;
        u.dts += s.offset;
        u.pts += s.offset;
        u.startsNext = true;
        s.cur = u;
        s.hasCur = true;
        return true;
    }
    if (finishing_ && !s.dry) {
        // Bytes the encoder wrote after its last unit (the sequence end code).
        PrefetchTail(s);
        if (s.tailLen > s.tailPos) {
            Unit u;
            u.remaining = s.tailLen - s.tailPos;
            u.dts = u.pts = s.lastTime;
            u.tail = true;
            s.cur = u;
            s.hasCur = true;
            return true;
        }
        s.dry = true;
    }
    return false;
}

void Multiplexer::PrefetchTail(Stream& s) {
    s.tailLen = s.tailPos = 0;
    if (!source_) return;
    std::int32_t n = s.video ? source_->ReadVideo(s.tailBuf, static_cast<std::int32_t>(s.payload))
                             : source_->ReadAudio(s.tailBuf, static_cast<std::int32_t>(s.payload));
    s.tailLen = static_cast<std::uint32_t>(std::clamp<std::int32_t>(n, 0, static_cast<std::int32_t>(s.payload)));
}

bool Multiplexer::HasData(Stream& s) { return PromoteUnit(s); }

std::int32_t Multiplexer::Pull(Stream& s, std::uint8_t* dst, std::int32_t max) {
    if (max <= 0) return 0;
    if (s.cur.tail) {
        const std::int32_t n = std::min<std::int32_t>(max, static_cast<std::int32_t>(s.tailLen - s.tailPos));
        std::memcpy(dst, s.tailBuf + s.tailPos, static_cast<std::size_t>(n));
        s.tailPos += static_cast<std::uint32_t>(n);
        return n;
    }
    if (!source_) return 0;
    const std::int32_t n = s.video ? source_->ReadVideo(dst, max) : source_->ReadAudio(dst, max);
    return std::clamp<std::int32_t>(n, 0, max);
}

bool Multiplexer::CanWait(const Stream& s, double limit) const {
    if (dvd_) return s.cur.dts - s.offset > scr_;
    return s.cur.dts >= limit;
}

bool Multiplexer::WritePack() {
    const bool vcdPack3 = IsVcd() && packCounter_ == 3;
    if (packCounter_ != 0) {
        const double c = scrCorrection_ > 0 ? std::max(0.0, scrCorrection_ - packTime_) : 0.0;
        scr_ += packTime_ + c;
    }
    scrCorrection_ = 0;
    const double limit = dvd_ ? scr_ : scr_ + 2 * packTime_;

    for (Stream* s : {&video_, &audio_}) {
        while (!s->std.empty() && s->std.front().time <= scr_) {
            s->stdFill -= s->std.front().bytes;
            s->std.pop_front();
        }
        PromoteUnit(*s);
    }

    bool ok = true;
    if (firstPack_) {
        if (IsVcd()) {
            if (vcdHeaderStep_ == 0) {
                ok = WriteSystemHeaderPack(true, false, false);
                vcdHeaderStep_ = 1;
            } else {
                ok = WriteSystemHeaderPack(false, true, true);
                firstPack_ = false;
            }
        } else {
            ok = WriteSystemHeaderPack(true, true, false);
            firstPack_ = false;
        }
    } else {
        const bool audioWaits = audio_.hasCur && CanWait(audio_, limit);
        const bool videoWaits = video_.hasCur && CanWait(video_, limit);
        const bool videoRoom = FreeSpace(video_) >= video_.payload;
        const bool audioRoom = FreeSpace(audio_) >= audio_.payload;
        Stream* send = nullptr;
        if (videoRoom && video_.hasCur && (audioWaits || !audio_.hasCur) && !vcdPack3) {
            send = &video_;
        } else if (audioRoom && audio_.hasCur && (videoWaits || !video_.hasCur)) {
            send = &audio_;
        } else if (audioRoom && audio_.hasCur && !audioWaits) {
            send = &audio_;
        } else if (videoRoom && video_.hasCur && !videoWaits) {
            send = &video_;
        }
        if (send) {
            ok = WriteDataPack(*send);
            if (ok && !IsVcd()) send->stdDue = false;
        } else if (!dvd_) {
            ok = WritePaddingPack(false);
        }
    }
    if (!ok) {
        Fail();
        return false;
    }
    ++packCounter_;
    return true;
}

std::size_t Multiplexer::PutPackHeader(std::uint8_t* p, double scr) const {
    Timecode tc;
    const_cast<Multiplexer*>(this)->MakeTimecode(scr, &tc);
    const std::uint64_t base = Base33(tc);
    PutStartCode(p, 0xBA);
    const std::uint32_t mr = static_cast<std::uint32_t>(muxRate_) & 0x3FFFFF;
    if (!IsMpeg2()) {
        PutTimeStamp(p + 4, 0x2, base);
        const std::uint32_t v = (1u << 23) | (mr << 1) | 1u;
        p[9] = static_cast<std::uint8_t>(v >> 16);
        p[10] = static_cast<std::uint8_t>(v >> 8);
        p[11] = static_cast<std::uint8_t>(v);
        return 12;
    }
    const std::uint32_t ext = tc.extension;
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
    return 14;
}

bool Multiplexer::WritePaddingPack(bool endSector) {
    std::uint8_t* p = sector_;
    std::size_t n = PutPackHeader(p, scr_);
    const std::size_t len = video_.payload + (IsMpeg2() ? (endSector ? 12 : 16) : (endSector ? 8 : 12));
    n += PutPaddingPacket(p + n, len + 6, IsMpeg2());
    if (endSector) {
        PutStartCode(p + n, 0xB9);
        n += 4;
    }
    ++sectorsWritten_;
    return AppendSector(p, n);
}

bool Multiplexer::WriteSystemHeaderPack(bool listVideo, bool listAudio, bool trailingZeros) {
    std::uint8_t* p = sector_;
    std::size_t n = PutPackHeader(p, scr_);
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
    if (listVideo) {
        p[n++] = kVideoId;
        p[n++] = static_cast<std::uint8_t>(0xC0 | (video_.stdScale << 5) | ((video_.stdSizeField >> 8) & 0x1F));
        p[n++] = static_cast<std::uint8_t>(video_.stdSizeField);
    }
    if (listAudio) {
        p[n++] = kAudioId;
        p[n++] = static_cast<std::uint8_t>(0xC0 | (audio_.stdScale << 5) | ((audio_.stdSizeField >> 8) & 0x1F));
        p[n++] = static_cast<std::uint8_t>(audio_.stdSizeField);
    }
    const std::size_t zeros = trailingZeros ? kZeroBytesAfterAudio : 0;
    n += PutPaddingPacket(p + n, kSectorSize - n - zeros, IsMpeg2());
    std::memset(p + n, 0, zeros);
    n += zeros;
    ++sectorsWritten_;
    return AppendSector(p, n);
}

bool Multiplexer::WriteDataPack(Stream& s) {
    const std::uint32_t P = s.payload;
    std::uint32_t got = 0;
    bool havePts = false;
    double ptsTime = 0;
    bool iStarts = false;
    bool began = false;
    double beganDts = 0;
    while (got < P) {
        if (!PromoteUnit(s)) break;
        Unit& u = s.cur;
        // In the MPEG-2 kinds an I picture always begins a packet of its own.
        if (u.startsNext && got > 0 && IsMpeg2() && s.video && u.pictureType == 1) break;
        const std::uint32_t want = std::min(u.remaining, P - got);
        const std::int32_t n = Pull(s, packet_ + got, static_cast<std::int32_t>(want));
        if (n > 0) {
            if (u.startsNext) {
                if (!havePts && !u.tail) {
                    havePts = true;
                    ptsTime = u.pts;
                }
                if (got == 0 && s.video && u.pictureType == 1) iStarts = true;
                if (!began && !u.tail) {
                    began = true;
                    beganDts = u.dts;
                }
                u.startsNext = false;
            }
            StdEntry e{static_cast<std::uint32_t>(n), u.dts};
            s.std.push_back(e);
            s.stdFill += e.bytes;
            got += static_cast<std::uint32_t>(n);
            u.remaining -= static_cast<std::uint32_t>(n);
            s.lastTime = u.dts;
        }
        if (u.remaining == 0) {
            s.hasCur = false;
            continue;
        }
        if (static_cast<std::uint32_t>(n) < want) {
            // The encoder has not got these bytes (yet). At the end nothing more
            // will come: what is missing of the unit is given up.
            if (finishing_ && n == 0) {
                s.hasCur = false;
                continue;
            }
            break;
        }
    }
    if (got == 0) return WritePaddingPack(false);

    if (s.video && dvd_ && began) scrCorrection_ = std::max(0.0, beganDts - s.offset - scr_);
    if (iStarts && packIndex_) {
        const std::uint32_t v = sectorsWritten_;
        const unsigned char rec[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                      static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        if (std::fwrite(rec, 1, 4, packIndex_) != 4) return false;
        ++packIndexCount_;
    }

    const bool mpeg2 = IsMpeg2();
    const bool withStd = s.stdDue;
    std::uint64_t pts33 = 0;
    if (havePts) {
        Timecode tc;
        MakeTimecode(ptsTime, &tc);
        pts33 = Base33(tc);
    }
    // Fixed header sizes keep the payload of every packet the same; what the
    // packet lacks becomes header stuffing when small, else a padding packet.
    const std::uint32_t shortfall = P - got;
    std::uint32_t baseStuffing;
    std::uint32_t maxStuffing;
    if (!mpeg2) {
        const std::uint32_t h = s.video ? 12 : 7;
        baseStuffing = h - (withStd ? 2 : 0) - (havePts ? 5 : 1);
        maxStuffing = 16;
    } else {
        const std::uint32_t hd = s.video ? 13 : 8;
        baseStuffing = hd - (havePts ? 5 : 0) - (withStd ? 3 : 0);
        maxStuffing = 32;
    }
    std::uint32_t extra = 0;
    if (shortfall > 0 && shortfall < 7 && baseStuffing + shortfall <= maxStuffing) extra = shortfall;
    const std::uint32_t padding = shortfall - extra;  // 0 or >= 6

    std::uint8_t* p = sector_;
    std::size_t n = PutPackHeader(p, scr_);
    PutStartCode(p + n, s.id);
    const std::uint32_t headerAfterLength = mpeg2 ? (s.video ? 16 : 11) : (s.video ? 12 : 7);
    Put16(p + n + 4, headerAfterLength + extra + got);
    n += 6;
    if (!mpeg2) {
        std::memset(p + n, 0xFF, baseStuffing + extra);
        n += baseStuffing + extra;
        if (withStd) {
            p[n++] = static_cast<std::uint8_t>(0x40 | (s.stdScale << 5) | ((s.stdSizeField >> 8) & 0x1F));
            p[n++] = static_cast<std::uint8_t>(s.stdSizeField);
        }
        if (havePts) {
            PutTimeStamp(p + n, 0x2, pts33);
            n += 5;
        } else {
            p[n++] = 0x0F;
        }
    } else {
        p[n++] = kind_ == 3 ? 0x81 : 0x80;
        p[n++] = static_cast<std::uint8_t>((havePts ? 0x80 : 0x00) | (withStd ? 0x01 : 0x00));
        p[n++] = static_cast<std::uint8_t>((s.video ? 13 : 8) + extra);
        if (havePts) {
            PutTimeStamp(p + n, 0x2, pts33);
            n += 5;
        }
        if (withStd) {
            p[n++] = 0x1E;  // P-STD buffer field only
            p[n++] = static_cast<std::uint8_t>(0x40 | (s.stdScale << 5) | ((s.stdSizeField >> 8) & 0x1F));
            p[n++] = static_cast<std::uint8_t>(s.stdSizeField);
        }
        std::memset(p + n, 0xFF, baseStuffing + extra);
        n += baseStuffing + extra;
    }
    std::memcpy(p + n, packet_, got);
    n += got;
    if (padding > 0) n += PutPaddingPacket(p + n, padding, mpeg2);
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
            scr_ += packTime_ + scrCorrection_;
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
