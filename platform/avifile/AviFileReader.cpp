#include "platform/avifile/AviFileReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/avifile/BitmapInfo.h"
#include "platform/avifile/DibConverter.h"
#include "platform/avifile/FrameCursor.h"
#include "platform/avifile/HeaderChecks.h"
#include "platform/avifile/MediaInput.h"

namespace reelcast::platform {
namespace {

constexpr std::uint32_t kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kList = MakeFourCC('L', 'I', 'S', 'T');
constexpr std::uint32_t kAvi = MakeFourCC('A', 'V', 'I', ' ');
constexpr std::uint32_t kHdrl = MakeFourCC('h', 'd', 'r', 'l');
constexpr std::uint32_t kStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr std::uint32_t kStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr std::uint32_t kStrf = MakeFourCC('s', 't', 'r', 'f');
constexpr std::uint32_t kMovi = MakeFourCC('m', 'o', 'v', 'i');
constexpr std::uint32_t kAvih = MakeFourCC('a', 'v', 'i', 'h');
// The header list is a few kilobytes in practice; a larger claim is damage.
constexpr std::uint32_t kMaxHeaderList = 16u << 20;

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int16_t Le16s(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | p[1] << 8); }

struct ParsedStream {
    AviStreamInfo info;
    std::vector<std::uint8_t> format;
    int avIndex = -1;  // the demuxer's stream, -1 when it has none
    // Pictures the file holds, counted on first use; -1 until then.
    mutable std::int64_t held = -1;
};

struct ParsedHeaders {
    std::uint32_t microSecPerFrame = 0;  // the main header's time per picture
    std::vector<ParsedStream> streams;
};

// Parses the main header and the strl lists of a header list held in memory.
// Everything is bounds checked: a claim past the end of the list ends the walk.
void ParseHeaderList(const std::uint8_t* p, std::size_t n, ParsedHeaders* headers) {
    std::vector<ParsedStream>* out = &headers->streams;
    std::size_t pos = 0;
    while (pos + 8 <= n) {
        const std::uint32_t id = Le32(p + pos);
        const std::uint32_t size = Le32(p + pos + 4);
        const std::size_t body = pos + 8;
        if (size > n - body) break;
        if (id == kAvih && size >= 4) headers->microSecPerFrame = Le32(p + body);
        if (id == kList && size >= 4 && Le32(p + body) == kStrl) {
            ParsedStream s;
            std::size_t q = body + 4;
            const std::size_t end = body + size;
            while (q + 8 <= end) {
                const std::uint32_t cid = Le32(p + q);
                const std::uint32_t csize = Le32(p + q + 4);
                const std::uint8_t* c = p + q + 8;
                if (csize > end - (q + 8)) break;
                if (cid == kStrh && csize >= 48) {
                    AviStreamInfo& i = s.info;
                    i.fccType = Le32(c);
                    i.fccHandler = Le32(c + 4);
                    i.flags = Le32(c + 8);
                    i.initialFrames = Le32(c + 16);
                    i.scale = Le32(c + 20);
                    i.rate = Le32(c + 24);
                    i.start = Le32(c + 28);
                    i.length = Le32(c + 32);
                    i.suggestedBufferSize = Le32(c + 36);
                    i.quality = Le32(c + 40);
                    i.sampleSize = Le32(c + 44);
                    if (csize >= 56) {
                        i.frameLeft = Le16s(c + 48);
                        i.frameTop = Le16s(c + 50);
                        i.frameRight = Le16s(c + 52);
                        i.frameBottom = Le16s(c + 54);
                    }
                } else if (cid == kStrf) {
                    s.format.assign(c, c + csize);
                }
                q += 8 + static_cast<std::size_t>(csize) + (csize & 1);
            }
            out->push_back(std::move(s));
        }
        pos = body + static_cast<std::size_t>(size) + (size & 1);
    }
}

// Reads the RIFF AVI header list. False when the file is no AVI file.
bool ReadHeaders(const char* path, ParsedHeaders* headers) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    bool ok = false;
    std::uint8_t h[12];
    if (std::fread(h, 1, 12, f) == 12 && Le32(h) == kRiff && Le32(h + 8) == kAvi) {
        // Walk the top-level chunks up to the header list (JUNK may precede it).
        for (int guard = 0; guard < 64; ++guard) {
            std::uint8_t c[12];
            if (std::fread(c, 1, 8, f) != 8) break;
            const std::uint32_t id = Le32(c), size = Le32(c + 4);
            if (id == kList) {
                if (size < 4 || std::fread(c + 8, 1, 4, f) != 4) break;
                const std::uint32_t type = Le32(c + 8);
                if (type == kMovi) break;
                if (type == kHdrl) {
                    if (size - 4 > kMaxHeaderList) break;
                    std::vector<std::uint8_t> list(size - 4);
                    if (std::fread(list.data(), 1, list.size(), f) != list.size()) break;
                    ParseHeaderList(list.data(), list.size(), headers);
                    ok = true;
                    break;
                }
                if (std::fseek(f, static_cast<long>(size - 4 + (size & 1)), SEEK_CUR) != 0) break;
            } else if (std::fseek(f, static_cast<long>(size + (size & 1)), SEEK_CUR) != 0) {
                break;
            }
        }
    }
    std::fclose(f);
    return ok;
}

bool IsUncompressedHandler(std::uint32_t handler) {
    return handler == 0 || handler == MakeFourCC('D', 'I', 'B', ' ') ||
           handler == MakeFourCC('R', 'G', 'B', ' ') || handler == MakeFourCC('R', 'A', 'W', ' ');
}

const std::vector<std::uint8_t> kNoFormat;

// Pictures of a video stream that its index places inside the file: one past the
// last picture number. -1 when the stream has no index (a file cut before its
// index, or written without one).
std::int64_t IndexedPictures(AVFormatContext* fmt, int avIndex) {
    AVStream* st = fmt->streams[avIndex];
    const int entries = avformat_index_get_entries_count(st);
    if (entries <= 0) return -1;
    const std::int64_t fileSize = fmt->pb ? avio_size(fmt->pb) : -1;
    std::int64_t held = 0;
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(st, i);
        if (!e || (fileSize > 0 && e->pos >= fileSize)) continue;
        held = std::max<std::int64_t>(held, e->timestamp + 1);
    }
    return held;
}

// Pictures of a stream counted packet by packet, on a demuxer of its own so that
// the file's readers keep their place. Each packet is a picture, an empty one too.
std::int64_t CountedPictures(const std::string& path, int avIndex) {
    AVFormatContext* fmt = OpenMediaInput(path.c_str(), "avi", false);
    if (!fmt) return 0;
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        fmt->streams[i]->discard = static_cast<int>(i) == avIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    AVPacket* pkt = av_packet_alloc();
    std::int64_t held = 0;
    while (pkt && av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == avIndex) ++held;
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return held;
}

// A header length within this many pictures above the count is believed: writers
// may end a stream with dropped pictures that leave no trace in the index.
std::uint32_t LengthSlack(std::uint32_t held) { return 2 + held / 100; }

}  // namespace

struct AviFile::Impl {
    AVFormatContext* fmt = nullptr;
    std::string path;
    ParsedHeaders headers;
    ~Impl() { avformat_close_input(&fmt); }
};

struct AviFrameReader::Impl {
    FrameCursor cursor;
    DibConverter dib;
    std::uint32_t clrUsed = 0;
};

AviFile::AviFile() : impl_(std::make_unique<Impl>()) {}
AviFile::~AviFile() = default;

std::unique_ptr<AviFile> AviFile::Open(const char* path) {
    if (!IsReadableFile(path)) return nullptr;
    std::unique_ptr<AviFile> file(new AviFile());
    if (!ReadHeaders(path, &file->impl_->headers)) return nullptr;
    file->impl_->path = path;
    file->impl_->fmt = OpenMediaInput(path, "avi", false);
    if (!file->impl_->fmt) return nullptr;
    AVFormatContext* fmt = file->impl_->fmt;
    // The demuxer numbers its streams by their place among the strl lists.
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const int id = fmt->streams[i]->id;
        if (id >= 0 && id < static_cast<int>(file->impl_->headers.streams.size()))
            file->impl_->headers.streams[id].avIndex = static_cast<int>(i);
    }
    return file;
}

int AviFile::StreamCount() const { return static_cast<int>(impl_->headers.streams.size()); }

int AviFile::FindStream(std::uint32_t fccType, int n) const {
    for (int i = 0; i < StreamCount(); ++i) {
        if (impl_->headers.streams[i].info.fccType == fccType && n-- == 0) return i;
    }
    return -1;
}

bool AviFile::StreamInfo(int stream, AviStreamInfo* out) const {
    if (stream < 0 || stream >= StreamCount() || !out) return false;
    *out = impl_->headers.streams[stream].info;
    return true;
}

bool AviFile::CheckedStreamInfo(int stream, AviStreamInfo* out, std::uint32_t* replaced) const {
    if (!StreamInfo(stream, out)) return false;
    std::uint32_t changed = 0;
    const ParsedStream& s = impl_->headers.streams[stream];
    if (out->fccType == kStreamTypeVideo) {
        const double fps = out->scale ? static_cast<double>(out->rate) / out->scale : 0.0;
        if (!BelievableFrameRate(fps)) {
            const std::uint32_t us = impl_->headers.microSecPerFrame;
            const bool mainHeader = us != 0 && BelievableFrameRate(1e6 / us);
            out->rate = mainHeader ? 1000000u : static_cast<std::uint32_t>(kAssumedFrameRate);
            out->scale = mainHeader ? us : 1u;
            changed |= kReplacedRate;
        }
        if (s.avIndex >= 0) {
            if (s.held < 0) {
                s.held = IndexedPictures(impl_->fmt, s.avIndex);
                if (s.held < 0) s.held = CountedPictures(impl_->path, s.avIndex);
            }
            const auto held = static_cast<std::uint32_t>(std::min<std::int64_t>(s.held, 0x7FFFFFFF));
            if (out->length < held || out->length - held > LengthSlack(held)) {
                out->length = held;
                changed |= kReplacedLength;
            }
        }
    }
    if (replaced) *replaced = changed;
    return true;
}

const std::vector<std::uint8_t>& AviFile::StreamFormat(int stream) const {
    if (stream < 0 || stream >= StreamCount()) return kNoFormat;
    return impl_->headers.streams[stream].format;
}

bool AviFile::VideoDecompressor(int stream, std::string* name, std::string* description) const {
    if (stream < 0 || stream >= StreamCount()) return false;
    const ParsedStream& s = impl_->headers.streams[stream];
    if (s.info.fccType != kStreamTypeVideo || s.avIndex < 0) return false;
    const AVCodecParameters* par = impl_->fmt->streams[s.avIndex]->codecpar;
    // Uncompressed RGB is read by the file services themselves, without a codec.
    std::uint32_t compression = s.format.size() >= 20 ? Le32(s.format.data() + 16) : 0;
    if (par->codec_id == AV_CODEC_ID_RAWVIDEO && IsUncompressedHandler(compression)) return false;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) return false;
    if (name) *name = codec->name;
    if (description) *description = codec->long_name ? codec->long_name : codec->name;
    return true;
}

std::unique_ptr<AviFrameReader> AviFile::GetFrameOpen(int stream) {
    if (stream < 0 || stream >= StreamCount()) return nullptr;
    const ParsedStream& s = impl_->headers.streams[stream];
    if (s.info.fccType != kStreamTypeVideo || s.avIndex < 0) return nullptr;
    std::unique_ptr<AviFrameReader> r(new AviFrameReader());
    if (!r->impl_->cursor.Open(impl_->fmt, s.avIndex, 0)) return nullptr;
    if (s.format.size() >= 40) r->impl_->clrUsed = Le32(s.format.data() + 32);
    return r;
}

AviFrameReader::AviFrameReader() : impl_(std::make_unique<Impl>()) {}
AviFrameReader::~AviFrameReader() = default;

const std::uint8_t* AviFrameReader::GetFrame(std::int32_t pos, std::uint32_t* bytes) {
    if (pos < 0) return nullptr;
    const AVFrame* f = impl_->cursor.FrameAt(pos);
    if (!f) return nullptr;
    std::uint32_t n = 0;
    const std::uint8_t* dib = impl_->dib.Native(f, impl_->clrUsed, &n);
    if (dib && bytes) *bytes = n;
    return dib;
}

const std::uint8_t* AviFrameReader::GetFrameInto(std::int32_t pos, int width, int height,
                                                 std::uint8_t* dst, std::uint64_t dstBytes,
                                                 std::uint32_t* bytes) {
    if (pos < 0) return nullptr;
    const AVFrame* f = impl_->cursor.FrameAt(pos);
    if (!f) return nullptr;
    std::uint32_t n = 0;
    const std::uint8_t* dib = nullptr;
    const std::uint64_t need = DibConverter::Rgb24Bytes(width, height);
    if (dst && need != 0 && need <= dstBytes && f->width == width && f->height == height &&
        DibConverter::IsNative24(f)) {
        if (!impl_->dib.Rgb24(f, width, height, dst, need)) return nullptr;
        n = static_cast<std::uint32_t>(need);
        dib = dst;
    } else {
        dib = impl_->dib.Native(f, impl_->clrUsed, &n);
    }
    if (dib && bytes) *bytes = n;
    return dib;
}

}  // namespace reelcast::platform
