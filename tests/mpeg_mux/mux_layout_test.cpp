// Sector-level checks of the multiplexer's output, fed by stand-in encoders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "engine/core/Factories.h"
#include "engine/mpeg/mux/IMpegMultiplexer.h"
#include "tests/mpeg_mux/PackParser.h"
#include "tests/mpeg_mux/StandInStreams.h"

namespace fs = std::filesystem;
using namespace reelcast;
using namespace reelcast::testing;

namespace {

struct MuxSetup {
    int kind;          // 0 MPEG-1, 1 VCD, 2 MPEG-2, 3 SVCD/DVD
    bool dvd = false;
    double factor;
    double videoBitRate;
    double fps = 25.0;
    int sampleRate = 44100;
    int pictures = 60;
    std::uint32_t frameRateCode = 3;
};

struct MuxRun {
    ParsedStream ps;
    StandInSource src;
    std::vector<StandInPicture> pictures;
    std::vector<StandInAudioFrame> audio;
    std::vector<std::uint8_t> bytes;
    bool multiplexOk = true;
    bool failed = false;
    double megabytes = 0;
};

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() / ("mux_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

IMpegMultiplexer* NewMux() { return core::New<IMpegMultiplexer>("MPGLIB_MUX"); }

void Configure(IMpegMultiplexer* mux, const MuxSetup& s, IStreamSource* src, const std::string& path) {
    mux->SetStream(src, s.factor, 11, s.videoBitRate, path.c_str(), s.frameRateCode, 15);
    if (s.kind <= 1) {
        EXPECT_EQ(364, mux->SetMpeg1Format(s.kind, 20));
    } else {
        EXPECT_EQ(180, mux->SetMpeg2Format(s.kind, s.dvd ? 0 : 1));
    }
}

std::unique_ptr<MuxRun> RunMux(const MuxSetup& s, const std::string& path) {
    auto run = std::make_unique<MuxRun>();
    IMpegMultiplexer* mux = NewMux();
    EXPECT_NE(mux, nullptr);
    if (!mux) return run;
    Configure(mux, s, &run->src, path);
    StandInEncoders enc(mux, &run->src, s.fps, s.sampleRate, 224, s.kind == 3);
    if (s.kind >= 2) {
        enc.iBytes = 30000;
        enc.pBytes = 10000;
        enc.bBytes = 5000;
    }
    enc.SubmitPictures(s.pictures);
    enc.Stop();
    mux->Finish();
    run->multiplexOk = enc.multiplexOk;
    run->failed = mux->WriteFailed();
    run->megabytes = mux->GetMegabytesWritten();
    ReleaseAndClear(mux);
    run->pictures = enc.pictures;
    run->audio = enc.audioFrames;
    run->bytes = ReadWholeFile(path);
    run->ps = ParseProgramStream(run->bytes);
    return run;
}

// Which stand-in unit starts at each offset of a stream.
template <class U>
std::map<std::size_t, const U*> Starts(const std::vector<U>& units) {
    std::map<std::size_t, const U*> m;
    for (const U& u : units) m[u.offset] = &u;
    return m;
}

// Checks everything every kind must satisfy.
void CheckLayout(const MuxSetup& s, const MuxRun& r) {
    const ParsedStream& ps = r.ps;
    ASSERT_TRUE(ps.errors.empty()) << ps.errors.front();
    ASSERT_GT(ps.sectors.size(), 4u);
    EXPECT_TRUE(r.multiplexOk);
    EXPECT_FALSE(r.failed);
    EXPECT_DOUBLE_EQ(r.megabytes, r.bytes.size() / 1048576.0);
    const bool mpeg1 = s.kind <= 1;
    EXPECT_EQ(ps.mpeg2, !mpeg1);

    // Nothing lost: both elementary streams come back byte for byte, the video
    // with its sequence end code.
    EXPECT_EQ(ps.video.size(), r.src.videoAll.size());
    // (Kind 3: apart from the scan offsets, which the multiplexer fills in.)
    auto maskScanOffsets = [](std::vector<std::uint8_t> v) {
        for (std::size_t k = 0; k + 18 <= v.size(); ++k) {
            if (v[k] == 0 && v[k + 1] == 0 && v[k + 2] == 1 && v[k + 3] == 0xB2 && v[k + 4] == 0x10 &&
                v[k + 5] == 0x0E)
                std::fill(v.begin() + k + 6, v.begin() + k + 18, 0);
        }
        return v;
    };
    if (s.kind == 3) {
        EXPECT_TRUE(maskScanOffsets(ps.video) == maskScanOffsets(r.src.videoAll));
    } else {
        EXPECT_TRUE(ps.video == r.src.videoAll);
    }
    EXPECT_TRUE(ps.audio == r.src.audioAll);
    ASSERT_GE(ps.video.size(), 4u);
    EXPECT_EQ(0xB7, ps.video.back());
    EXPECT_TRUE(ps.endsWithEndCode);

    // Sector sizes: every sector is 2324 bytes, the generic MPEG-1 audio sector
    // 2344; the generic kinds end with the bare end code.
    for (std::size_t i = 0; i < ps.sectors.size(); ++i) {
        const ParsedSector& sec = ps.sectors[i];
        std::size_t size = sec.size;
        const bool last = i + 1 == ps.sectors.size();
        if (last && (s.kind == 0 || s.kind == 2)) {
            EXPECT_TRUE(sec.endCode);
            size -= 4;
        }
        const bool audio = !sec.packets.empty() && sec.packets[0].id == 0xC0;
        const std::size_t want = (s.kind == 0 && audio) ? 2344 : 2324;
        if (!(s.kind == 0 && last && sec.packets.empty())) {
            EXPECT_EQ(size, want) << "sector " << i;
        }
        if (mpeg1 && audio) {
            EXPECT_EQ(20, sec.trailingZeros) << "sector " << i;
        } else if (!(s.kind == 1 && i == 1)) {
            EXPECT_EQ(0, sec.trailingZeros) << "sector " << i;
        }
        for (const ParsedPacket& pk : sec.packets) {
            EXPECT_FALSE(pk.hasDts);
            if (mpeg1) {
                EXPECT_LE(pk.stuffing, 16);
            }
            if (pk.id == 0xE0) {
                EXPECT_LE(pk.dataLength, mpeg1 ? 2294u : 2288u);
            }
            if (pk.id == 0xC0) {
                EXPECT_LE(pk.dataLength, s.kind == 1 ? 2279u : mpeg1 ? 2299u : 2293u);
            }
        }
        EXPECT_EQ(sec.muxRate, ps.sectors[0].muxRate);
    }
    // The end sector of VCD, SVCD and DVD: a pack with one padding packet and the end code.
    if (s.kind == 1 || s.kind == 3) {
        const ParsedSector& end = ps.sectors.back();
        ASSERT_EQ(1u, end.packets.size());
        EXPECT_EQ(0xBE, end.packets[0].id);
        EXPECT_TRUE(end.endCode);
        EXPECT_EQ(2324u, end.size);
    }

    // First packs.
    if (s.kind == 1) {
        ASSERT_TRUE(ps.sectors[0].systemHeader && ps.sectors[1].systemHeader);
        EXPECT_EQ(std::vector<std::uint8_t>{0xE0}, ps.sectors[0].listedStreams);
        EXPECT_EQ(std::vector<std::uint8_t>{0xC0}, ps.sectors[1].listedStreams);
        EXPECT_EQ(0, ps.sectors[0].audioBound);
        EXPECT_EQ(1, ps.sectors[0].videoBound);
        EXPECT_EQ(1, ps.sectors[1].audioBound);
        EXPECT_EQ(0, ps.sectors[1].videoBound);
        EXPECT_FALSE(ps.sectors[2].systemHeader);
    } else {
        ASSERT_TRUE(ps.sectors[0].systemHeader);
        EXPECT_EQ((std::vector<std::uint8_t>{0xE0, 0xC0}), ps.sectors[0].listedStreams);
        EXPECT_EQ((std::vector<int>{mpeg1 ? 46 : 230, 32}), ps.sectors[0].listedSizes);
        EXPECT_FALSE(ps.sectors[1].systemHeader);
    }
    EXPECT_EQ(ps.sectors[0].rateBound, ps.sectors[0].muxRate);
    EXPECT_EQ(ps.sectors[0].csps, mpeg1);
    EXPECT_EQ(ps.sectors[0].videoLock, s.kind != 2);

    // STD fields: every packet in VCD, the first of each stream elsewhere.
    std::map<std::uint8_t, int> seen;
    for (const ParsedSector& sec : ps.sectors) {
        for (const ParsedPacket& pk : sec.packets) {
            if (pk.id != 0xE0 && pk.id != 0xC0) continue;
            const bool first = seen[pk.id]++ == 0;
            EXPECT_EQ(pk.hasStd, s.kind == 1 || first) << "packet at " << pk.offset;
            if (pk.hasStd && pk.id == 0xE0) {
                EXPECT_EQ(1, pk.stdScale);
                EXPECT_EQ(mpeg1 ? 46 : 230, pk.stdSize);
            }
            if (pk.hasStd && pk.id == 0xC0) {
                EXPECT_EQ(0, pk.stdScale);
                EXPECT_EQ(32, pk.stdSize);
            }
        }
    }

    // SCR: rises by one pack time per sector (DVD may jump further ahead).
    const double packsPerSecond = std::floor(ps.sectors[0].muxRate * 50.0 / 2324.0);
    const double packTime = 27000000.0 / packsPerSecond;
    for (std::size_t i = 1; i < ps.sectors.size(); ++i) {
        const double d = ps.sectors[i].Scr27() - ps.sectors[i - 1].Scr27();
        if (s.dvd) {
            EXPECT_GE(d, packTime - 300.0) << "sector " << i;
        } else {
            EXPECT_NEAR(d, packTime, 300.0) << "sector " << i;
        }
    }

    // PTS: a packet carries the PTS of the first unit that begins in it, and
    // none when no unit begins in it. Stamps keep one offset from the units' own times.
    auto pictureStarts = Starts(r.pictures);
    auto audioStarts = Starts(r.audio);
    std::size_t vpos = 0, apos = 0;
    double voff = NAN, aoff = NAN;
    std::vector<std::size_t> iSectors;
    for (std::size_t si = 0; si < ps.sectors.size(); ++si) {
        for (const ParsedPacket& pk : ps.sectors[si].packets) {
            if (pk.id == 0xE0) {
                auto it = pictureStarts.lower_bound(vpos);
                const bool starts = it != pictureStarts.end() && it->first < vpos + pk.dataLength;
                EXPECT_EQ(pk.hasPts, starts) << "video packet at " << pk.offset;
                if (starts && pk.hasPts) {
                    const StandInPicture& p = *it->second;
                    const double t = (p.displayIndex + 1) / s.fps * 90000.0;
                    if (std::isnan(voff)) voff = pk.pts - t;
                    EXPECT_NEAR(pk.pts - t, voff, 1.01) << "picture " << p.codingIndex;
                }
                if (!mpeg1) {
                    // I pictures begin their packet.
                    for (auto jt = it; jt != pictureStarts.end() && jt->first < vpos + pk.dataLength; ++jt) {
                        if (jt->second->type == 1) {
                            EXPECT_EQ(jt->first, vpos) << "I picture " << jt->second->codingIndex;
                            iSectors.push_back(si);
                        }
                    }
                }
                vpos += pk.dataLength;
            } else if (pk.id == 0xC0) {
                auto it = audioStarts.lower_bound(apos);
                const bool starts = it != audioStarts.end() && it->first < apos + pk.dataLength;
                EXPECT_EQ(pk.hasPts, starts) << "audio packet at " << pk.offset;
                if (starts && pk.hasPts) {
                    const double t = it->second->ticks / 300.0;
                    if (std::isnan(aoff)) aoff = pk.pts - t;
                    EXPECT_NEAR(pk.pts - t, aoff, 1.01);
                }
                apos += pk.dataLength;
            }
        }
    }
    // Both streams are shifted by the same offset, so they stay in sync.
    EXPECT_NEAR(voff, aoff, 1.01);

    // SVCD scan offsets: each I picture's user data holds the addresses of the
    // sectors in which the neighbouring I pictures begin.
    if (s.kind == 3) {
        const int count = static_cast<int>(iSectors.size());
        ASSERT_GT(count, 1);
        const int reach = static_cast<int>(std::ceil(25.0 * 7.0 / 15.0));
        auto addr = [&](int i) -> std::vector<std::uint8_t> {
            if (i < 0 || i >= count) return {0xFF, 0xFF, 0xFF};
            const std::uint32_t v = static_cast<std::uint32_t>(iSectors[i]);
            auto bcd = [](std::uint32_t x) { return static_cast<std::uint8_t>(((x / 10) << 4) | (x % 10)); };
            return {bcd(v / 4500), static_cast<std::uint8_t>(0x80 | bcd((v % 4500) / 75)),
                    static_cast<std::uint8_t>(0x80 | bcd(v % 75))};
        };
        int found = 0;
        for (std::size_t k = 0; k + 18 <= r.bytes.size(); ++k) {
            if (r.bytes[k] || r.bytes[k + 1] || r.bytes[k + 2] != 1 || r.bytes[k + 3] != 0xB2) continue;
            if (r.bytes[k + 4] != 0x10 || r.bytes[k + 5] != 0x0E) continue;
            const int i = found++;
            ASSERT_LT(i, count);
            // The block lies in the sector recorded for this I picture.
            EXPECT_GE(k, ps.sectors[iSectors[i]].offset);
            EXPECT_LT(k, ps.sectors[iSectors[i]].offset + 2324);
            const std::uint8_t* rec = &r.bytes[k + 6];
            const int back = i > reach - 1 ? i - reach : 0;
            const int fwd = i < count - reach - 1 ? i + reach : count - 1;
            EXPECT_EQ(addr(i - 1), std::vector<std::uint8_t>(rec, rec + 3)) << "I picture " << i;
            EXPECT_EQ(addr(i + 1), std::vector<std::uint8_t>(rec + 3, rec + 6)) << "I picture " << i;
            EXPECT_EQ(addr(back), std::vector<std::uint8_t>(rec + 6, rec + 9)) << "I picture " << i;
            EXPECT_EQ(addr(fwd), std::vector<std::uint8_t>(rec + 9, rec + 12)) << "I picture " << i;
        }
        EXPECT_EQ(found, count);
    }
}

}  // namespace

TEST(MuxLayout, VcdRatesFirstPacksAndSectors) {
    TempDir dir;
    MuxSetup s{1, false, 1.4, 1150000.0};
    s.pictures = 75;
    auto r = RunMux(s, dir.File("vcd.mpg"));
    CheckLayout(s, *r);
    ASSERT_FALSE(r->ps.sectors.empty());
    EXPECT_EQ(4872u, r->ps.sectors[0].muxRate);
    // 104 packs per second; the first SCR lies 30 packs in.
    EXPECT_EQ(static_cast<std::uint64_t>(30 * (27000000.0 / 104) / 300), r->ps.sectors[0].scrBase);
    EXPECT_EQ(0u, r->ps.sectors[0].scrExt);
    // Pack 3 carries video only when the video cannot wait: at the start the
    // video has the whole 364 ms offset ahead of it.
    ASSERT_FALSE(r->ps.sectors[3].packets.empty());
    EXPECT_NE(0xE0, r->ps.sectors[3].packets[0].id);
    EXPECT_FALSE(fs::exists(dir.File("vcd.mpgsvcd")));
}

TEST(MuxLayout, GenericMpeg1) {
    TempDir dir;
    MuxSetup s{0, false, 1.0, 1150000.0};
    s.fps = 30000.0 / 1001.0;
    s.frameRateCode = 4;
    s.sampleRate = 48000;
    auto r = RunMux(s, dir.File("m1.mpg"));
    CheckLayout(s, *r);
    EXPECT_EQ(3480u, r->ps.sectors[0].muxRate);
}

TEST(MuxLayout, GenericMpeg2) {
    TempDir dir;
    MuxSetup s{2, false, 1.0, 2376000.0};
    auto r = RunMux(s, dir.File("m2.mpg"));
    CheckLayout(s, *r);
    EXPECT_EQ(6603u, r->ps.sectors[0].muxRate);
    EXPECT_EQ(0u, r->ps.sectors[0].scrBase);
}

TEST(MuxLayout, SvcdWithScanOffsets) {
    TempDir dir;
    MuxSetup s{3, false, 5.6, 2376000.0};
    s.pictures = 150;  // 10 groups, so the far addresses reach past their ends
    auto r = RunMux(s, dir.File("svcd.mpg"));
    CheckLayout(s, *r);
    EXPECT_FALSE(fs::exists(dir.File("svcd.mpgsvcd")));  // the pack-index file is gone
}

TEST(MuxLayout, DvdScrFollowsDecodingTimes) {
    TempDir dir;
    MuxSetup s{3, true, 1.014, 6000000.0};
    s.pictures = 45;
    auto r = RunMux(s, dir.File("dvd.mpg"));
    CheckLayout(s, *r);
}

TEST(MuxTimecode, HighBitAndExtension) {
    IMpegMultiplexer* mux = NewMux();
    ASSERT_NE(mux, nullptr);
    Timecode tc{};
    // Past 2^32 ticks of 90 kHz the high bit is set.
    const double big = (4294967296.0 + 1000.0) * 300.0 + 123.0;
    mux->SetMpeg2Format(2, 1);
    mux->MakeTimecode(big, &tc);
    EXPECT_EQ(1u, tc.highBit);
    EXPECT_EQ(1000u, tc.base);
    EXPECT_EQ(123u, tc.extension);
    EXPECT_DOUBLE_EQ(big, TimecodeTicks(tc));
    // 200 s lies past the 159 s where 27 MHz counts leave 32 bits.
    mux->MakeTimecode(200.0 * 27000000.0 + 299.0, &tc);
    EXPECT_EQ(0u, tc.highBit);
    EXPECT_EQ(18000000u, tc.base);
    EXPECT_EQ(299u, tc.extension);
    // The MPEG-1 kinds carry no extension.
    mux->SetMpeg1Format(1, 20);
    mux->MakeTimecode(200.0 * 27000000.0 + 299.0, &tc);
    EXPECT_EQ(0u, tc.extension);
    VideoUnit u{1000, 2, {}, {}};
    EXPECT_TRUE(mux->AddVideoPicture(1, 3, 25.0, 0, 0, &u));
    EXPECT_EQ(3600u, u.dts.base);
    EXPECT_EQ(14400u, u.pts.base);
    EXPECT_TRUE(mux->Reserved8());
    ReleaseAndClear(mux);
}

// A conversion that cannot write its output must say so.
TEST(MuxFailures, UnwritableOutputIsReported) {
    TempDir dir;
    for (const std::string& path : {dir.File("no/such/folder/x.mpg"), std::string("/dev/full")}) {
        for (int kind : {1, 3}) {
            SCOPED_TRACE(path + " kind " + std::to_string(kind));
            StandInSource src;
            IMpegMultiplexer* mux = NewMux();
            ASSERT_NE(mux, nullptr);
            MuxSetup s{kind, false, kind == 1 ? 1.4 : 5.6, kind == 1 ? 1150000.0 : 2376000.0};
            Configure(mux, s, &src, path);
            StandInEncoders enc(mux, &src, 25.0, 44100, 224, kind == 3);
            enc.SubmitPictures(60);
            enc.Stop();
            mux->Finish();
            EXPECT_TRUE(mux->WriteFailed());
            if (path != "/dev/full") {
                EXPECT_FALSE(enc.multiplexOk);
            }
            ReleaseAndClear(mux);
        }
    }
    EXPECT_FALSE(fs::exists(dir.File("no")));
}

// Finish with sound but Multiplex never having run writes the whole file.
TEST(MuxFinish, ShortStreamIsWrittenWhole) {
    TempDir dir;
    StandInSource src;
    IMpegMultiplexer* mux = NewMux();
    ASSERT_NE(mux, nullptr);
    MuxSetup s{2, false, 1.0, 2376000.0};
    Configure(mux, s, &src, dir.File("short.mpg"));
    StandInEncoders enc(mux, &src, 25.0, 48000, 224, false);
    enc.SubmitPictures(4);
    enc.Stop();
    mux->Finish();
    EXPECT_FALSE(mux->WriteFailed());
    ReleaseAndClear(mux);
    auto ps = ParseProgramStream(ReadWholeFile(dir.File("short.mpg")));
    ASSERT_TRUE(ps.errors.empty()) << ps.errors.front();
    EXPECT_TRUE(ps.video == src.videoAll);
    EXPECT_TRUE(ps.audio == src.audioAll);
    EXPECT_TRUE(ps.endsWithEndCode);
}
