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
    std::size_t iBytes = 0;  // size of the stand-in I pictures, when not the default
    // Stand-in pictures as large as the video bit rate allows, and this share more.
    double overRate = -1;
    // Picture n's time in 90 kHz ticks at the exact rate fps stands for (23.976
    // is 24000/1001), the halves rounded up.
    std::int64_t PictureTick(std::int64_t n) const {
        const std::int64_t num = frameRateCode == 1 ? 24000 : frameRateCode == 4 ? 30000 : std::llround(fps);
        const std::int64_t den = frameRateCode == 1 || frameRateCode == 4 ? 1001 : 1;
        return (2 * n * 90000 * den + num) / (2 * num);
    }
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
    if (s.iBytes) enc.iBytes = s.iBytes;
    if (s.overRate >= 0) {
        // A group of 15 holds one I, four P and ten B pictures, sized 4 : 2 : 1.
        const double b = s.videoBitRate / 8 * (1 + s.overRate) * 15 / s.fps / 22;
        enc.bBytes = static_cast<std::size_t>(b);
        enc.pBytes = static_cast<std::size_t>(2 * b);
        enc.iBytes = static_cast<std::size_t>(4 * b);
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

    // SCR: one pack time per sector at the disc's sector rate, else at the mux
    // rate; SVCD and DVD skip the packs they have nothing for.
    const double packsPerSecond =
        s.kind == 1 ? 75.0 : s.kind == 3 && !s.dvd ? 150.0 : std::floor(ps.sectors[0].muxRate * 50.0 / 2324.0);
    const double packTime = 27000000.0 / packsPerSecond;
    const double tick = mpeg1 ? 300.0 : 1.0;  // the SCR's resolution
    for (std::size_t i = 1; i < ps.sectors.size(); ++i) {
        const double d = ps.sectors[i].Scr27() - ps.sectors[i - 1].Scr27();
        const double packs = std::round(d / packTime);
        EXPECT_NEAR(d, packs * packTime, tick) << "sector " << i;
        if (s.kind == 3) {
            EXPECT_GE(packs, 1.0) << "sector " << i;
        } else {
            EXPECT_EQ(packs, 1.0) << "sector " << i;
        }
    }

    // Time stamps: a video packet carries the PTS of the first picture whose
    // picture start code begins in it (sequence and group headers before it may
    // lie in the packet before), with the DTS when that differs; an audio packet
    // the PTS of the first frame that begins in it. Stamps keep one offset from
    // the units' exact times, rounded to the nearest 90 kHz tick.
    std::map<std::size_t, const StandInPicture*> pictureStarts;
    {
        std::size_t k = 0;
        const std::vector<std::uint8_t>& v = r.src.videoAll;
        for (std::size_t i = 0; i + 4 <= v.size() && k < r.pictures.size(); ++i) {
            if (v[i] == 0 && v[i + 1] == 0 && v[i + 2] == 1 && v[i + 3] == 0) pictureStarts[i] = &r.pictures[k++];
        }
        EXPECT_EQ(k, r.pictures.size());
    }
    auto audioStarts = Starts(r.audio);
    auto at90k = [&](double seconds) { return std::llround(seconds * 90000.0); };
    std::size_t vpos = 0, apos = 0;
    std::int64_t voff = INT64_MIN, aoff = INT64_MIN;
    std::vector<std::size_t> iSectors;
    for (std::size_t si = 0; si < ps.sectors.size(); ++si) {
        for (const ParsedPacket& pk : ps.sectors[si].packets) {
            if (pk.id == 0xE0) {
                auto it = pictureStarts.lower_bound(vpos);
                const bool starts = it != pictureStarts.end() && it->first < vpos + pk.dataLength;
                EXPECT_EQ(pk.hasPts, starts) << "video packet at " << pk.offset;
                if (starts && pk.hasPts) {
                    const StandInPicture& p = *it->second;
                    const std::int64_t pts = s.PictureTick(p.displayIndex + 1);
                    const std::int64_t dts = s.PictureTick(p.codingIndex);
                    if (voff == INT64_MIN) voff = static_cast<std::int64_t>(pk.pts) - pts;
                    EXPECT_EQ(static_cast<std::int64_t>(pk.pts) - pts, voff) << "picture " << p.codingIndex;
                    EXPECT_EQ(pk.hasDts, dts != pts) << "picture " << p.codingIndex;
                    if (pk.hasDts) {
                        EXPECT_EQ(static_cast<std::int64_t>(pk.dts) - dts, voff) << "picture " << p.codingIndex;
                    }
                    // The picture arrives before it is decoded, and not long before.
                    const double lead = (dts + voff) * 300.0 - ps.sectors[si].Scr27();
                    EXPECT_GE(lead, 0.0) << "picture " << p.codingIndex;
                    EXPECT_LE(lead, 1.5 * 27000000.0) << "picture " << p.codingIndex;
                }
                if (!mpeg1) {
                    // I pictures, with the headers before them, begin their packet.
                    for (const StandInPicture& p : r.pictures) {
                        if (p.type == 1 && p.offset >= vpos && p.offset < vpos + pk.dataLength) {
                            EXPECT_EQ(p.offset, vpos) << "I picture " << p.codingIndex;
                            iSectors.push_back(si);
                        }
                    }
                }
                vpos += pk.dataLength;
            } else if (pk.id == 0xC0) {
                auto it = audioStarts.lower_bound(apos);
                const bool starts = it != audioStarts.end() && it->first < apos + pk.dataLength;
                EXPECT_EQ(pk.hasPts, starts) << "audio packet at " << pk.offset;
                EXPECT_FALSE(pk.hasDts);
                if (starts && pk.hasPts) {
                    const std::int64_t t = at90k(it->second->ticks / 27000000.0);
                    if (aoff == INT64_MIN) aoff = static_cast<std::int64_t>(pk.pts) - t;
                    EXPECT_EQ(static_cast<std::int64_t>(pk.pts) - t, aoff);
                }
                apos += pk.dataLength;
            }
        }
    }
    // Both streams are shifted by the same offset, so they stay in sync.
    EXPECT_EQ(voff, aoff);

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

namespace {

// A kind's usual factor and video bit rate: a VCD's the disc's, an SVCD's double
// speed, the generic kinds as they come.
MuxSetup ForKind(int kind) {
    return MuxSetup{kind, false, kind == 1 ? 1.4 : kind == 3 ? 5.6 : 1.0, kind <= 1 ? 1150000.0 : 2376000.0};
}

// Each kind laid out whole, with its pack rate and first pack clock where they
// are fixed: a VCD's is the disc's own (75 sectors of 2352 bytes a second,
// whatever the factor; the first SCR 30 packs of 1/75 s in), an SVCD's double
// speed (150 sectors a second at most). The generic kinds take at least the rate
// of the streams with their pack overhead, and room for what that leaves out (1 %
// excess, the part-filled packet before each MPEG-2 group): 3533 rather than
// 3480, 6787 rather than 6603. A DVD's pack clock follows the decoding times. No
// pack-index file stays behind (an SVCD's is gone once its offsets are written).
struct KindCase {
    const char* name;
    MuxSetup (*setup)();
    std::uint32_t muxRate;  // 0: not fixed
    std::int64_t scrBase;   // -1: not fixed
};

class MuxKinds : public ::testing::TestWithParam<KindCase> {};

}  // namespace

TEST_P(MuxKinds, PackRateAndLayout) {
    const KindCase& c = GetParam();
    TempDir dir;
    const MuxSetup s = c.setup();
    auto r = RunMux(s, dir.File("kind.mpg"));
    CheckLayout(s, *r);
    ASSERT_FALSE(r->ps.sectors.empty());
    if (c.muxRate) {
        EXPECT_EQ(c.muxRate, r->ps.sectors[0].muxRate);
    }
    if (c.scrBase >= 0) {
        EXPECT_EQ(std::uint64_t(c.scrBase), r->ps.sectors[0].scrBase);
        EXPECT_EQ(0u, r->ps.sectors[0].scrExt);
    }
    EXPECT_FALSE(fs::exists(dir.File("kind.mpgsvcd")));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MuxKinds,
    ::testing::Values(KindCase{"Vcd", +[] { MuxSetup s = ForKind(1); s.pictures = 75; return s; }, 3528, 36000},
                      KindCase{"GenericMpeg1",
                               +[] {
                                   MuxSetup s = ForKind(0);
                                   s.fps = 30000.0 / 1001.0;
                                   s.frameRateCode = 4;
                                   s.sampleRate = 48000;
                                   return s;
                               },
                               3533, -1},
                      KindCase{"GenericMpeg2", +[] { return ForKind(2); }, 6787, 0},
                      // 10 groups, so the far addresses reach past their ends.
                      KindCase{"Svcd", +[] { MuxSetup s = ForKind(3); s.pictures = 150; return s; }, 7056, -1},
                      KindCase{"Dvd", +[] { MuxSetup s{3, true, 1.014, 6000000.0}; s.pictures = 45; return s; }, 0,
                               -1}),
    [](const auto& info) { return std::string(info.param.name); });

// Pack 3 carries video only when the video cannot wait: at the start of a VCD
// the video has the whole 364 ms offset ahead of it.
TEST(MuxLayout, VcdThirdPackWaitsForTheVideo) {
    TempDir dir;
    MuxSetup s = ForKind(1);
    s.pictures = 75;
    auto r = RunMux(s, dir.File("vcd.mpg"));
    ASSERT_GT(r->ps.sectors.size(), 3u);
    ASSERT_FALSE(r->ps.sectors[3].packets.empty());
    EXPECT_NE(0xE0, r->ps.sectors[3].packets[0].id);
}

// Streams that use their whole bit rate for two minutes, a little more where the
// rate is ours to choose (a VCD's is the disc's): the pack clock keeps its
// distance to the time stamps (CheckLayout: every picture arrives before it is
// decoded and at most 1.5 s before).
TEST(MuxLayout, LeadStaysInItsWindowOverMinutes) {
    for (int kind : {0, 1, 2, 3}) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        TempDir dir;
        MuxSetup s = ForKind(kind);
        s.pictures = 3000;
        s.overRate = kind == 1 ? 0.0 : 0.005;
        auto r = RunMux(s, dir.File("long.mpg"));
        CheckLayout(s, *r);
    }
}

// Every kind at every picture rate: each time stamp is the exact time rounded
// to the nearest 90 kHz tick (3600, 3003, or 3753/3754 ticks per picture).
struct RateCase {
    int kind;
    bool dvd;
    double fps;
    std::uint32_t code;
};

class MuxRates : public ::testing::TestWithParam<RateCase> {};

TEST_P(MuxRates, ExactTimeStamps) {
    const RateCase& c = GetParam();
    TempDir dir;
    MuxSetup s = ForKind(c.kind);
    s.dvd = c.dvd;
    if (c.dvd) s.factor = 1.0;
    s.fps = c.fps;
    s.frameRateCode = c.code;
    s.pictures = 100;
    auto r = RunMux(s, dir.File("rates.mpg"));
    CheckLayout(s, *r);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, MuxRates,
                         ::testing::Values(RateCase{1, false, 25.0, 3}, RateCase{1, false, 29.97, 4},
                                           RateCase{1, false, 23.976, 1}, RateCase{0, false, 24.0, 2},
                                           RateCase{2, false, 30.0, 5}, RateCase{2, false, 23.976, 1},
                                           RateCase{3, false, 29.97, 4}, RateCase{3, true, 23.976, 1}));

// A picture whose sequence and group headers begin at the end of one packet and
// whose picture start code lies in the next (or is cut by the packet end) is
// stamped in the packet where its picture start code begins.
TEST(MuxLayout, HeadersAcrossPacketEnds) {
    for (int before : {1, 3, 10, 19, 22}) {
        SCOPED_TRACE("I picture headers begin " + std::to_string(before) + " bytes before a packet end");
        TempDir dir;
        MuxSetup s = ForKind(1);
        s.pictures = 30;
        // The second I picture (coding index 13) follows the first I picture,
        // four P and eight B pictures; video packets carry 2294 bytes each.
        const std::size_t rest = 4 * 5000 + 8 * 2500;  // the stand-ins' P and B sizes
        const std::size_t target = 20 * 2294 - before;
        s.iBytes = target - rest;
        auto run = RunMux(s, dir.File("cut.mpg"));
        CheckLayout(s, *run);
        ASSERT_GT(run->pictures.size(), 13u);
        EXPECT_EQ(target, run->pictures[13].offset);
        // The case happened: a video packet ends inside that picture's headers.
        std::size_t vpos = 0;
        bool cut = false;
        for (const ParsedSector& sec : run->ps.sectors)
            for (const ParsedPacket& pk : sec.packets)
                if (pk.id == 0xE0) {
                    vpos += pk.dataLength;
                    cut = cut || vpos == target + before;
                }
        EXPECT_TRUE(cut);
    }
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
            const MuxSetup s = ForKind(kind);
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
    const MuxSetup s = ForKind(2);
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
