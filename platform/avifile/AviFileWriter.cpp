#include "platform/avifile/AviFileWriter.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <numeric>

namespace reelcast::platform::avifile {
namespace {

// Each RIFF list stays below 1 GiB, as readers of AVI 1.0 and OpenDML expect.
std::atomic<std::uint64_t> g_riffLimit{(1ull << 30) - (1ull << 20)};

// Room in each stream's super index: one entry per RIFF list, so 256 entries
// cover files of about 256 GiB.
constexpr std::uint32_t kSuperIndexEntries = 256;

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;
constexpr std::uint32_t kAviifKeyframe = 0x10;

// 'vprp' with one field description: nine values, then eight for the field.
constexpr std::size_t kVideoPropertiesSize = 4 * (9 + 8);

constexpr std::uint32_t FourCC(const char (&s)[5]) { return MakeFourCC(s[0], s[1], s[2], s[3]); }

std::size_t Padded(std::size_t n) { return n + (n & 1); }

}  // namespace

void AviFileWriter::SetRiffLimit(std::uint64_t bytes) {
    g_riffLimit = bytes ? bytes : (1ull << 30) - (1ull << 20);
}
std::uint64_t AviFileWriter::RiffLimit() { return g_riffLimit; }

std::unique_ptr<AviFileWriter> AviFileWriter::Create(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return nullptr;
    std::unique_ptr<AviFileWriter> w(new (std::nothrow) AviFileWriter());
    if (!w) {
        std::fclose(f);
        return nullptr;
    }
    w->file_ = f;
    w->buffer_.resize(1 << 20);
    std::setvbuf(f, w->buffer_.data(), _IOFBF, w->buffer_.size());
    return w;
}

AviFileWriter::~AviFileWriter() {
    if (file_) Close();
}

int AviFileWriter::CreateStream(const AviStreamInfo& info) {
    if (!file_ || started_ || streams_.size() >= 99) return -1;
    Stream s;
    s.info = info;
    const int n = int(streams_.size());
    const char d0 = char('0' + n / 10), d1 = char('0' + n % 10);
    const bool audio = info.fccType == kStreamTypeAudio;
    s.chunkId = MakeFourCC(d0, d1, audio ? 'w' : 'd', audio ? 'b' : 'c');
    s.indexId = MakeFourCC('i', 'x', d0, d1);
    streams_.push_back(std::move(s));
    return n;
}

bool AviFileWriter::SetFormat(int stream, const void* format, std::size_t size) {
    if (!file_ || started_ || stream < 0 || stream >= int(streams_.size())) return false;
    if (!format || size == 0 || size > (1u << 20)) return false;
    const auto* p = static_cast<const std::uint8_t*>(format);
    streams_[stream].format.assign(p, p + size);
    return true;
}

bool AviFileWriter::SetStart(int stream, std::uint32_t start) {
    if (!file_ || started_ || stream < 0 || stream >= int(streams_.size())) return false;
    streams_[stream].info.start = start;
    return true;
}

int AviFileWriter::FirstStream(std::uint32_t fccType) const {
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        if (streams_[i].info.fccType == fccType) return int(i);
    }
    return -1;
}

bool AviFileWriter::SetPixelAspect(int stream, int num, int den) {
    if (!file_ || started_ || stream < 0 || stream >= int(streams_.size()) || num <= 0 || den <= 0) return false;
    Stream& s = streams_[stream];
    if (s.info.fccType != kStreamTypeVideo || s.format.size() < sizeof(BitmapInfoHeader)) return false;
    BitmapInfoHeader h;
    std::memcpy(&h, s.format.data(), sizeof h);
    const std::uint64_t x = std::uint64_t(num) * std::uint64_t(std::max(h.width, 1));
    const std::uint64_t y = std::uint64_t(den) * std::uint64_t(std::max(std::abs(h.height), 1));
    if (x == y) {
        s.frameAspect = 0;
        return true;
    }
    // The display aspect in lowest terms, brought into 16 bits each.
    std::uint64_t ax = x / std::gcd(x, y), ay = y / std::gcd(x, y);
    while (ax > 0xFFFF || ay > 0xFFFF) {
        ax = (ax + 1) / 2;
        ay = (ay + 1) / 2;
    }
    s.frameAspect = std::uint32_t(ax << 16 | ay);
    return true;
}

bool AviFileWriter::WriteBytes(const void* p, std::size_t n) {
    if (failed_) return false;
    if (n && std::fwrite(p, 1, n, file_) != n) {
        failed_ = true;
        return false;
    }
    pos_ += n;
    return true;
}

bool AviFileWriter::Put32(std::uint32_t v) {
    const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                               std::uint8_t(v >> 24)};
    return WriteBytes(b, 4);
}

bool AviFileWriter::Put16(std::uint16_t v) {
    const std::uint8_t b[2] = {std::uint8_t(v), std::uint8_t(v >> 8)};
    return WriteBytes(b, 2);
}

bool AviFileWriter::Seek(std::uint64_t pos) {
    if (failed_) return false;
    if (std::fflush(file_) != 0 || fseeko(file_, off_t(pos), SEEK_SET) != 0) {
        failed_ = true;
        return false;
    }
    pos_ = pos;
    return true;
}

std::size_t AviFileWriter::HeaderSize() const {
    std::size_t n = 12 + 12 + 64;  // RIFF, LIST hdrl, avih
    for (const Stream& s : streams_) {
        n += 12 + 64 + 8 + Padded(s.format.size());
        if (!s.info.name.empty()) n += 8 + Padded(s.info.name.size() + 1);
        n += 8 + 24 + 16 * kSuperIndexEntries;
        if (s.frameAspect) n += 8 + kVideoPropertiesSize;
    }
    n += 12 + 8 + 248;  // LIST odml, dmlh
    return n;
}

std::uint32_t AviFileWriter::ChunkDuration(const Stream& s, std::uint32_t size) const {
    if (s.info.fccType == kStreamTypeAudio && s.info.sampleSize) return size / s.info.sampleSize;
    return 1;
}

// Lays out (first call) or rewrites (at Close) everything before the first 'movi'
// list. The size never changes between the two, so the data behind stays put.
bool AviFileWriter::WriteHeaders() {
    const Stream* video = nullptr;
    for (const Stream& s : streams_) {
        if (s.info.fccType == kStreamTypeVideo) {
            video = &s;
            break;
        }
    }
    const std::size_t headerSize = HeaderSize();
    const std::uint64_t firstRiffSize =
        riffCount_ > 0 ? firstRiffEnd_ - 8 : std::uint64_t(headerSize - 8 + 12);
    Put32(FourCC("RIFF"));
    Put32(std::uint32_t(firstRiffSize));
    Put32(FourCC("AVI "));
    Put32(FourCC("LIST"));
    Put32(std::uint32_t(headerSize - 12 - 8));
    Put32(FourCC("hdrl"));
    WriteMainHeader(video);
    for (const Stream& s : streams_) WriteStreamList(s);
    WriteOdmlList(video);
    return !failed_;
}

// 'avih': timing, rates and sizes over all streams, the picture size from the
// video stream's format.
void AviFileWriter::WriteMainHeader(const Stream* video) {
    BitmapInfoHeader bih;
    if (video && video->format.size() >= sizeof(bih)) std::memcpy(&bih, video->format.data(), sizeof(bih));
    std::uint32_t usPerFrame = 0;
    if (video && video->info.rate)
        usPerFrame = std::uint32_t(std::llround(1e6 * double(video->info.scale) / video->info.rate));
    double maxBytesPerSec = 0;
    std::uint32_t suggested = 0;
    for (const Stream& s : streams_) {
        if (s.info.scale && s.info.rate) {
            const double perSec = double(s.info.rate) / s.info.scale;
            maxBytesPerSec += s.info.sampleSize ? perSec * s.info.sampleSize : perSec * s.maxChunk;
        }
        suggested = std::max(suggested, s.maxChunk);
    }
    Put32(FourCC("avih"));
    Put32(56);
    Put32(usPerFrame);
    Put32(std::uint32_t(std::min(maxBytesPerSec, 4294967295.0)));
    Put32(0);  // padding granularity
    Put32(kAvifHasIndex | kAvifIsInterleaved);
    Put32(video ? video->chunksFirstRiff : 0);
    Put32(0);  // initial frames
    Put32(std::uint32_t(streams_.size()));
    Put32(suggested ? suggested + 8 : 0);
    Put32(std::uint32_t(bih.width));
    Put32(std::uint32_t(std::abs(bih.height)));
    for (int i = 0; i < 4; ++i) Put32(0);
}

// One stream's 'strl': its header, format, name and super index.
void AviFileWriter::WriteStreamList(const Stream& s) {
    std::size_t strl = 4 + 64 + 8 + Padded(s.format.size()) + 8 + 24 + 16 * kSuperIndexEntries;
    if (!s.info.name.empty()) strl += 8 + Padded(s.info.name.size() + 1);
    if (s.frameAspect) strl += 8 + kVideoPropertiesSize;
    Put32(FourCC("LIST"));
    Put32(std::uint32_t(strl));
    Put32(FourCC("strl"));
    WriteStreamHeader(s);

    Put32(FourCC("strf"));
    Put32(std::uint32_t(s.format.size()));
    WriteBytes(s.format.data(), s.format.size());
    if (s.format.size() & 1) WriteBytes("", 1);

    if (!s.info.name.empty()) {
        Put32(FourCC("strn"));
        Put32(std::uint32_t(s.info.name.size() + 1));
        WriteBytes(s.info.name.c_str(), s.info.name.size() + 1);
        if ((s.info.name.size() + 1) & 1) WriteBytes("", 1);
    }
    WriteSuperIndex(s);
    if (s.frameAspect) WriteVideoProperties(s);
}

// 'vprp': the frame's display aspect over its whole picture, one field per frame.
void AviFileWriter::WriteVideoProperties(const Stream& s) {
    BitmapInfoHeader h;
    std::memcpy(&h, s.format.data(), sizeof h);
    const std::uint32_t width = std::uint32_t(h.width), height = std::uint32_t(std::abs(h.height));
    Put32(FourCC("vprp"));
    Put32(std::uint32_t(kVideoPropertiesSize));
    Put32(0);  // format token: unknown
    Put32(0);  // video standard: unknown
    Put32(s.info.scale ? std::uint32_t(std::lround(double(s.info.rate) / s.info.scale)) : 0);
    Put32(width);   // horizontal total
    Put32(height);  // vertical total
    Put32(s.frameAspect);
    Put32(width);
    Put32(height);
    Put32(1);  // fields per frame
    Put32(height);  // compressed bitmap height, width
    Put32(width);
    Put32(height);  // valid bitmap height, width
    Put32(width);
    for (int i = 0; i < 4; ++i) Put32(0);  // valid offsets, video offsets
}

// 'strh'. A video frame rectangle left empty is the picture's own size.
void AviFileWriter::WriteStreamHeader(const Stream& s) {
    std::uint32_t length = std::uint32_t(s.chunks);
    if (s.info.fccType == kStreamTypeAudio && s.info.sampleSize)
        length = std::uint32_t(s.bytes / s.info.sampleSize);
    std::int16_t right = s.info.frameRight, bottom = s.info.frameBottom;
    if (s.info.fccType == kStreamTypeVideo && !right && !bottom && s.format.size() >= sizeof(BitmapInfoHeader)) {
        BitmapInfoHeader h;
        std::memcpy(&h, s.format.data(), sizeof(h));
        right = std::int16_t(h.width);
        bottom = std::int16_t(std::abs(h.height));
    }
    Put32(FourCC("strh"));
    Put32(56);
    Put32(s.info.fccType);
    Put32(s.info.fccHandler);
    Put32(s.info.flags);
    Put16(s.info.priority);
    Put16(s.info.language);
    Put32(0);  // initial frames
    Put32(s.info.scale);
    Put32(s.info.rate);
    Put32(s.info.start);
    Put32(length);
    Put32(std::max(s.info.suggestedBufferSize, s.maxChunk));
    Put32(std::uint32_t(s.info.quality));
    Put32(s.info.sampleSize);
    Put16(std::uint16_t(s.info.frameLeft));
    Put16(std::uint16_t(s.info.frameTop));
    Put16(std::uint16_t(right));
    Put16(std::uint16_t(bottom));
}

// Super index: one entry per RIFF list holding this stream's chunks, in a
// fixed number of slots so that the header part keeps its size.
void AviFileWriter::WriteSuperIndex(const Stream& s) {
    Put32(FourCC("indx"));
    Put32(24 + 16 * kSuperIndexEntries);
    Put16(4);   // longs per entry
    WriteBytes("\0\0", 2);  // sub-type 0, type 0: an index of indexes
    Put32(std::uint32_t(s.super.size()));
    Put32(s.chunkId);
    Put32(0);
    Put32(0);
    Put32(0);
    for (std::uint32_t i = 0; i < kSuperIndexEntries; ++i) {
        const SuperEntry e = i < s.super.size() ? s.super[i] : SuperEntry{0, 0, 0};
        Put32(std::uint32_t(e.offset));
        Put32(std::uint32_t(e.offset >> 32));
        Put32(e.size);
        Put32(e.duration);
    }
}

// 'odml' with the total frame count over all RIFF lists.
void AviFileWriter::WriteOdmlList(const Stream* video) {
    Put32(FourCC("LIST"));
    Put32(4 + 8 + 248);
    Put32(FourCC("odml"));
    Put32(FourCC("dmlh"));
    Put32(248);
    Put32(video ? std::uint32_t(video->chunks) : 0);
    static const std::uint8_t zeros[244] = {};
    WriteBytes(zeros, sizeof(zeros));
}

bool AviFileWriter::BeginMovi(bool first) {
    if (first) {
        riffStart_ = 0;
        if (!WriteHeaders()) return false;
    } else {
        riffStart_ = pos_;
        Put32(FourCC("RIFF"));
        Put32(0);  // patched by EndRiff
        Put32(FourCC("AVIX"));
    }
    moviStart_ = pos_;
    Put32(FourCC("LIST"));
    Put32(0);  // patched by EndRiff
    Put32(FourCC("movi"));
    ++riffCount_;
    riffEntryBytes_ = 0;
    return !failed_;
}

bool AviFileWriter::EndRiff() {
    const bool first = riffCount_ == 1;
    for (Stream& s : streams_) {
        if (s.riffEntries.empty()) continue;
        if (s.super.size() >= kSuperIndexEntries) {
            failed_ = true;
            return false;
        }
        const std::uint32_t n = std::uint32_t(s.riffEntries.size());
        const std::uint64_t at = pos_;
        Put32(s.indexId);
        Put32(24 + 8 * n);
        Put16(2);  // longs per entry
        const std::uint8_t subTypeAndType[2] = {0, 1};  // an index of chunks
        WriteBytes(subTypeAndType, 2);
        Put32(n);
        Put32(s.chunkId);
        Put32(std::uint32_t(riffStart_));
        Put32(std::uint32_t(riffStart_ >> 32));
        Put32(0);
        for (const Entry& e : s.riffEntries) {
            Put32(std::uint32_t(e.offset - riffStart_));
            Put32(e.size | (e.keyframe ? 0u : 0x80000000u));
        }
        s.super.push_back({at, 8 + 24 + 8 * n, s.riffDuration});
        s.riffEntries.clear();
        s.riffDuration = 0;
    }
    const std::uint64_t moviEnd = pos_;
    if (first) {
        Put32(FourCC("idx1"));
        Put32(std::uint32_t(16 * idx1_.size()));
        for (const Idx1Entry& e : idx1_) {
            Put32(e.ckid);
            Put32(e.flags);
            Put32(e.offset);
            Put32(e.size);
        }
        idx1_.clear();
        idx1_.shrink_to_fit();
    }
    const std::uint64_t end = pos_;
    if (!Seek(moviStart_ + 4) || !Put32(std::uint32_t(moviEnd - moviStart_ - 8))) return false;
    if (!first) {
        if (!Seek(riffStart_ + 4) || !Put32(std::uint32_t(end - riffStart_ - 8))) return false;
    } else {
        firstRiffEnd_ = end;
    }
    return Seek(end);
}

bool AviFileWriter::Write(int stream, const void* data, std::size_t size, bool keyframe) {
    if (!file_ || failed_ || stream < 0 || stream >= int(streams_.size())) return false;
    if (size >= 0x7FFFFFF0u || (size && !data)) return false;
    if (!started_) {
        started_ = true;
        if (!BeginMovi(true)) return false;
    }
    // Close this RIFF list before it would grow past the limit with its indexes.
    std::uint64_t indexBytes = riffEntryBytes_ + 8 * streams_.size() * (32 + 8);
    if (riffCount_ == 1) indexBytes += 8 + 16 * (idx1_.size() + 1);
    const std::uint64_t projected = pos_ - riffStart_ + 8 + Padded(size) + indexBytes;
    if (projected > g_riffLimit && pos_ > moviStart_ + 12) {
        if (!EndRiff() || !BeginMovi(false)) return false;
    }
    Stream& s = streams_[stream];
    const std::uint64_t header = pos_;
    Put32(s.chunkId);
    Put32(std::uint32_t(size));
    WriteBytes(data, size);
    if (size & 1) WriteBytes("", 1);
    if (failed_) return false;
    s.riffEntries.push_back({header + 8, std::uint32_t(size), keyframe});
    riffEntryBytes_ += 8;
    if (riffCount_ == 1) {
        idx1_.push_back({s.chunkId, keyframe ? kAviifKeyframe : 0u,
                         std::uint32_t(header - (moviStart_ + 8)), std::uint32_t(size)});
        ++s.chunksFirstRiff;
    }
    ++s.chunks;
    s.bytes += size;
    s.maxChunk = std::max(s.maxChunk, std::uint32_t(size));
    s.riffDuration += ChunkDuration(s, std::uint32_t(size));
    return true;
}

bool AviFileWriter::Close() {
    if (!file_) return false;
    if (!started_) {
        started_ = true;
        BeginMovi(true);
    }
    EndRiff();
    const std::uint64_t end = pos_;
    if (Seek(0)) WriteHeaders();
    Seek(end);
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return !failed_ && flushed && closed;
}

}  // namespace reelcast::platform::avifile
