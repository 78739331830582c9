// Test-side reader of MPEG-1 system streams and MPEG-2 program streams, written
// from ISO/IEC 11172-1 and 13818-1 independently of the multiplexer: splits a
// file into sectors (pack to pack), parses every header and collects each
// stream's payload, so tests can check layouts byte by byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace reelcast::testing {

struct ParsedPacket {
    std::uint8_t id = 0;
    std::size_t offset = 0;       // file offset of the start code
    std::uint32_t length = 0;     // PES_packet_length
    int stuffing = 0;             // 0xFF stuffing bytes in the header
    bool hasStd = false;
    int stdScale = 0, stdSize = 0;
    bool hasPts = false, hasDts = false;
    std::uint64_t pts = 0, dts = 0;
    std::size_t dataOffset = 0;   // file offset of the first payload byte
    std::uint32_t dataLength = 0;
};

struct ParsedSector {
    std::size_t offset = 0;
    std::size_t size = 0;         // bytes up to the next pack or the end of the file
    std::uint64_t scrBase = 0;
    std::uint32_t scrExt = 0;
    std::uint32_t muxRate = 0;
    bool systemHeader = false;
    std::uint32_t rateBound = 0;
    int audioBound = 0, videoBound = 0;
    bool csps = false, audioLock = false, videoLock = false;
    std::vector<std::uint8_t> listedStreams;  // stream ids of the system header
    std::vector<int> listedSizes;             // their buffer size fields
    std::vector<ParsedPacket> packets;
    int trailingZeros = 0;                    // 0x00 bytes after the last packet
    bool endCode = false;
    double Scr27() const { return static_cast<double>(scrBase) * 300.0 + scrExt; }
};

struct ParsedStream {
    bool mpeg2 = false;
    std::vector<ParsedSector> sectors;
    std::vector<std::uint8_t> video, audio;   // reassembled payloads
    bool endsWithEndCode = false;
    std::vector<std::string> errors;
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::vector<std::uint8_t> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

inline std::uint64_t ReadTs(const std::uint8_t* p) {
    return (static_cast<std::uint64_t>((p[0] >> 1) & 7) << 30) | (static_cast<std::uint64_t>(p[1]) << 22) |
           (static_cast<std::uint64_t>(p[2] >> 1) << 15) | (static_cast<std::uint64_t>(p[3]) << 7) |
           (p[4] >> 1);
}

inline ParsedStream ParseProgramStream(const std::vector<std::uint8_t>& b) {
    ParsedStream ps;
    auto err = [&](std::size_t at, const std::string& what) {
        if (ps.errors.size() < 20) ps.errors.push_back("@" + std::to_string(at) + ": " + what);
    };
    auto isCode = [&](std::size_t i, std::uint8_t code) {
        return i + 4 <= b.size() && b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] == code;
    };
    std::size_t i = 0;
    if (b.size() > 4 && isCode(0, 0xBA)) ps.mpeg2 = (b[4] & 0xC0) == 0x40;
    while (i < b.size()) {
        if (!isCode(i, 0xBA)) {
            err(i, "pack start code expected");
            break;
        }
        ParsedSector s;
        s.offset = i;
        const std::uint8_t* p = &b[i];
        if (ps.mpeg2) {
            if (i + 14 > b.size()) { err(i, "short pack header"); break; }
            s.scrBase = (static_cast<std::uint64_t>((p[4] >> 3) & 7) << 30) |
                        (static_cast<std::uint64_t>(p[4] & 3) << 28) | (static_cast<std::uint64_t>(p[5]) << 20) |
                        (static_cast<std::uint64_t>(p[6] >> 3) << 15) | (static_cast<std::uint64_t>(p[6] & 3) << 13) |
                        (static_cast<std::uint64_t>(p[7]) << 5) | (p[8] >> 3);
            s.scrExt = (static_cast<std::uint32_t>(p[8] & 3) << 7) | (p[9] >> 1);
            s.muxRate = (static_cast<std::uint32_t>(p[10]) << 14) | (p[11] << 6) | (p[12] >> 2);
            if ((p[4] & 0x04) == 0 || (p[6] & 0x04) == 0 || (p[8] & 0x04) == 0 || (p[9] & 1) == 0 ||
                (p[12] & 3) != 3)
                err(i, "pack header marker bits");
            i += 14 + (p[13] & 7);
        } else {
            if (i + 12 > b.size()) { err(i, "short pack header"); break; }
            if ((p[4] & 0xF1) != 0x21 || (p[6] & 1) == 0 || (p[8] & 1) == 0 || (p[9] & 0x80) == 0 ||
                (p[11] & 1) == 0)
                err(i, "pack header marker bits");
            s.scrBase = ReadTs(p + 4);
            s.muxRate = ((static_cast<std::uint32_t>(p[9]) & 0x7F) << 15) | (p[10] << 7) | (p[11] >> 1);
            i += 12;
        }
        while (i < b.size() && !isCode(i, 0xBA)) {
            if (b[i] == 0 && !(i + 3 <= b.size() && b[i + 1] == 0 && b[i + 2] == 1)) {
                ++s.trailingZeros;
                ++i;
                continue;
            }
            if (isCode(i, 0xB9)) {
                s.endCode = true;
                i += 4;
                if (i != b.size()) err(i, "bytes after the end code");
                ps.endsWithEndCode = i == b.size();
                continue;
            }
            if (i + 6 > b.size()) { err(i, "truncated"); i = b.size(); break; }
            if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) {
                err(i, "start code expected");
                i = b.size();
                break;
            }
            const std::uint8_t code = b[i + 3];
            if (code == 0xB9) {
                s.endCode = true;
                i += 4;
                if (i != b.size()) err(i, "bytes after the end code");
                ps.endsWithEndCode = i == b.size();
                continue;
            }
            const std::uint32_t len = (static_cast<std::uint32_t>(b[i + 4]) << 8) | b[i + 5];
            if (i + 6 + len > b.size()) {
                err(i, "packet runs past the end");
                i = b.size();
                break;
            }
            if (s.trailingZeros > 0) err(i, "zero bytes before a packet");
            if (code == 0xBB) {
                const std::uint8_t* h = &b[i + 6];
                s.systemHeader = true;
                s.rateBound = ((static_cast<std::uint32_t>(h[0]) & 0x7F) << 15) | (h[1] << 7) | (h[2] >> 1);
                s.audioBound = h[3] >> 2;
                s.csps = h[3] & 1;
                s.audioLock = h[4] & 0x80;
                s.videoLock = h[4] & 0x40;
                s.videoBound = h[4] & 0x1F;
                for (std::uint32_t k = 6; k + 3 <= len; k += 3) {
                    s.listedStreams.push_back(h[k]);
                    s.listedSizes.push_back(((h[k + 1] & 0x1F) << 8) | h[k + 2]);
                }
                i += 6 + len;
                continue;
            }
            ParsedPacket pk;
            pk.id = code;
            pk.offset = i;
            pk.length = len;
            const std::size_t end = i + 6 + len;
            std::size_t q = i + 6;
            if (code == 0xBE) {
                pk.dataOffset = q;
                pk.dataLength = len;
            } else if (ps.mpeg2) {
                const std::uint8_t flags = b[q + 1];
                const std::size_t hdl = b[q + 2];
                const std::size_t hend = q + 3 + hdl;
                if ((b[q] & 0xC0) != 0x80) err(q, "PES marker bits");
                std::size_t r = q + 3;
                if ((flags & 0xC0) == 0x80) {
                    pk.hasPts = true;
                    if ((b[r] & 0xF1) != 0x21) err(r, "PTS prefix");
                    pk.pts = ReadTs(&b[r]);
                    r += 5;
                } else if ((flags & 0xC0) == 0xC0) {
                    pk.hasPts = pk.hasDts = true;
                    if ((b[r] & 0xF1) != 0x31 || (b[r + 5] & 0xF1) != 0x11) err(r, "PTS/DTS prefixes");
                    pk.pts = ReadTs(&b[r]);
                    pk.dts = ReadTs(&b[r + 5]);
                    r += 10;
                }
                if (flags & 0x01) {
                    const std::uint8_t ext = b[r++];
                    if (ext & 0x10) {
                        pk.hasStd = true;
                        if ((b[r] & 0xC0) != 0x40) err(r, "P-STD prefix");
                        pk.stdScale = (b[r] >> 5) & 1;
                        pk.stdSize = ((b[r] & 0x1F) << 8) | b[r + 1];
                        r += 2;
                    }
                }
                while (r < hend) {
                    if (b[r] != 0xFF) err(r, "stuffing byte not 0xFF");
                    ++pk.stuffing;
                    ++r;
                }
                q = hend;
                pk.dataOffset = q;
                pk.dataLength = static_cast<std::uint32_t>(end - q);
            } else {
                while (b[q] == 0xFF) {
                    ++pk.stuffing;
                    ++q;
                }
                if ((b[q] & 0xC0) == 0x40) {
                    pk.hasStd = true;
                    pk.stdScale = (b[q] >> 5) & 1;
                    pk.stdSize = ((b[q] & 0x1F) << 8) | b[q + 1];
                    q += 2;
                }
                if ((b[q] & 0xF0) == 0x20) {
                    pk.hasPts = true;
                    pk.pts = ReadTs(&b[q]);
                    q += 5;
                } else if ((b[q] & 0xF0) == 0x30) {
                    pk.hasPts = pk.hasDts = true;
                    if ((b[q + 5] & 0xF1) != 0x11) err(q, "DTS prefix");
                    pk.pts = ReadTs(&b[q]);
                    pk.dts = ReadTs(&b[q + 5]);
                    q += 10;
                } else if (b[q] == 0x0F) {
                    ++q;
                } else {
                    err(q, "bad MPEG-1 packet header");
                }
                pk.dataOffset = q;
                pk.dataLength = static_cast<std::uint32_t>(end - q);
            }
            if (code == 0xE0) ps.video.insert(ps.video.end(), b.begin() + pk.dataOffset, b.begin() + end);
            if (code == 0xC0) ps.audio.insert(ps.audio.end(), b.begin() + pk.dataOffset, b.begin() + end);
            s.packets.push_back(pk);
            i = end;
        }
        s.size = i - s.offset;
        ps.sectors.push_back(s);
    }
    return ps;
}

}  // namespace reelcast::testing
