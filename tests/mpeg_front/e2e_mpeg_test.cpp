// Whole conversions through reelcast-cli in every MPEG mode, checked with
// programs we did not write: ffprobe, FFmpeg's strictest decoding, vcdimager;
// and the sector layout and scan offsets parsed back.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/mpeg_front/E2eSupport.h"
#include "tests/mpeg_mux/PackParser.h"

namespace fs = std::filesystem;
using namespace reelcast::testing;

namespace {

const std::string kCli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";

struct Source {
    const char* name;
    int width, height;
    const char* fps;  // lavfi rate
    int sampleRate, channels;
};

struct Case {
    const char* mode;  // mpg1 vcd mpg2 svcd dvd
    bool ntsc;         // vcd/svcd/dvd: --ntsc; mpg1/mpg2: --fps 29.97
};

bool Mpeg1Mode(const std::string& m) { return m == "mpg1" || m == "vcd"; }

// Output picture rate and size the desktop program's dialogs give each mode.
double OutputFps(const Case& c) { return c.ntsc ? 30000.0 / 1001.0 : 25.0; }

int NearestLayer2Rate(int source) {
    int r = std::min(48000, std::max(32000, source));
    int best = 32000;
    for (int c : {32000, 44100, 48000})
        if (std::abs(c - r) < std::abs(best - r)) best = c;
    return best;
}

// Job's picture count N from what the engine's own probe reports.
struct Facts {
    unsigned frames = 0;
    double fps = 0;
};

Facts ProbeWithCli(const std::string& file) {
    Facts f;
    const std::string info = RunCommand(Quote(kCli) + " info " + Quote(file)).out;
    const std::size_t a = info.find("Total Frame:");
    const std::size_t b = info.find("FrameRate:");
    if (a != std::string::npos) f.frames = static_cast<unsigned>(std::atol(info.c_str() + a + 12));
    if (b != std::string::npos) f.fps = std::atof(info.c_str() + b + 10);
    return f;
}

// The pictures the job hands over: N, then the last one repeated until the
// count is of the form 3k + 1.
unsigned PicturesHandedOver(unsigned n) {
    if (n == 0) return 0;
    unsigned last = n - 1;
    while (last % 3 != 0) ++last;
    return last + 1;
}

std::string MakeSource(const ScratchDir& dir, const Source& s, double seconds) {
    const std::string path = dir.File(std::string(s.name) + ".mkv");
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "ffmpeg -v error -y -f lavfi -i testsrc2=size=%dx%d:rate=%s -f lavfi -i "
                  "sine=frequency=523:sample_rate=%d -t %.2f -c:v mpeg4 -q:v 4 -c:a pcm_s16le -ac %d %s",
                  s.width, s.height, s.fps, s.sampleRate, seconds, s.channels, Quote(path).c_str());
    EXPECT_EQ(0, RunCommand(cmd).status) << cmd;
    return path;
}

std::string Convert(const std::string& src, const std::string& out, const Case& c) {
    std::string cmd = Quote(kCli) + " convert --mode " + c.mode + " -q -y";
    if (c.ntsc) cmd += Mpeg1Mode(c.mode) && std::string(c.mode) == "mpg1" ? " --fps 29.97" : "";
    if (c.ntsc && std::string(c.mode) == "mpg2") cmd += " --fps 29.97";
    if (c.ntsc && (std::string(c.mode) == "vcd" || std::string(c.mode) == "svcd" || std::string(c.mode) == "dvd"))
        cmd += " --ntsc";
    cmd += " " + Quote(src) + " " + Quote(out) + " 2>&1";
    CommandResult r = RunCommand(cmd);
    EXPECT_EQ(0, r.status) << cmd << "\n" << r.out;
    return r.out;
}

std::uint32_t AddressToSector(const std::uint8_t* a) {
    auto unbcd = [](std::uint8_t v) { return static_cast<std::uint32_t>((v >> 4) * 10 + (v & 15)); };
    return unbcd(a[0]) * 4500 + unbcd(a[1] & 0x7F) * 75 + unbcd(a[2] & 0x7F);
}

// Sectors in which each I picture (with the sequence and group headers before
// it) begins a video packet, in stream order; and every reserved scan-offset
// block of the video stream with the I picture it follows.
void CheckScanOffsets(const ParsedStream& ps, double fps) {
    std::vector<std::size_t> packetStarts;  // video stream offset of each video packet
    std::vector<std::uint32_t> packetSector;
    std::size_t vpos = 0;
    for (std::size_t si = 0; si < ps.sectors.size(); ++si)
        for (const ParsedPacket& pk : ps.sectors[si].packets)
            if (pk.id == 0xE0) {
                packetStarts.push_back(vpos);
                packetSector.push_back(static_cast<std::uint32_t>(si));
                vpos += pk.dataLength;
            }
    const std::vector<std::uint8_t>& v = ps.video;
    std::vector<std::uint32_t> iSectors;
    std::vector<std::array<std::uint32_t, 4>> blocks;
    std::vector<int> blockOwner;  // index of the I picture a block follows, -1 elsewhere
    std::size_t chainStart = std::string::npos;  // first header before the next picture
    int currentI = -1;
    for (std::size_t k = 0; k + 6 <= v.size(); ++k) {
        if (v[k] || v[k + 1] || v[k + 2] != 1) continue;
        const std::uint8_t code = v[k + 3];
        if ((code == 0xB3 || code == 0xB8) && chainStart == std::string::npos) chainStart = k;
        if (code == 0x00) {
            const int type = (v[k + 5] >> 3) & 7;
            const std::size_t first = chainStart == std::string::npos ? k : chainStart;
            chainStart = std::string::npos;
            currentI = -1;
            if (type != 1) continue;
            const auto it = std::lower_bound(packetStarts.begin(), packetStarts.end(), first);
            if (it == packetStarts.end() || *it != first) {
                ADD_FAILURE() << "I picture " << iSectors.size() << " does not begin a video packet";
                iSectors.push_back(0xFFFFFFFFu);
            } else {
                iSectors.push_back(packetSector[it - packetStarts.begin()]);
            }
            currentI = static_cast<int>(iSectors.size()) - 1;
        }
        if (code == 0xB2 && v[k + 4] == 0x10 && v[k + 5] == 0x0E && k + 18 <= v.size()) {
            std::array<std::uint32_t, 4> r{};
            for (int f = 0; f < 4; ++f) {
                const std::uint8_t* a = &v[k + 6 + 3 * f];
                r[f] = (a[0] == 0xFF && a[1] == 0xFF && a[2] == 0xFF) ? 0xFFFFFFFFu : AddressToSector(a);
            }
            blocks.push_back(r);
            blockOwner.push_back(currentI);
        }
    }
    ASSERT_FALSE(iSectors.empty());
    ASSERT_EQ(iSectors.size(), blocks.size()) << "one reserved block per I picture";
    // Reach of the backward and forward addresses: 7 s of groups of 15 pictures.
    const std::size_t n = static_cast<std::size_t>(std::ceil(fps * 7.0 / 15.0 - 1e-9));
    const std::size_t count = iSectors.size();
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE("I picture " + std::to_string(i) + " of " + std::to_string(count));
        EXPECT_EQ(static_cast<int>(i), blockOwner[i]) << "the block follows its own I picture";
        EXPECT_EQ(i == 0 ? 0xFFFFFFFFu : iSectors[i - 1], blocks[i][0]) << "previous";
        EXPECT_EQ(i + 1 == count ? 0xFFFFFFFFu : iSectors[i + 1], blocks[i][1]) << "next";
        EXPECT_EQ(i + 1 > n ? iSectors[i - n] : iSectors[0], blocks[i][2]) << "backward";
        EXPECT_EQ(i + n + 1 < count ? iSectors[i + n] : iSectors[count - 1], blocks[i][3]) << "forward";
        // Each address names a pack whose video packet begins with an I picture.
        for (int f = 0; f < 4; ++f) {
            if (blocks[i][f] == 0xFFFFFFFFu) continue;
            ASSERT_LT(blocks[i][f], ps.sectors.size());
            EXPECT_TRUE(std::find(iSectors.begin(), iSectors.end(), blocks[i][f]) != iSectors.end()) << f;
        }
    }
}

// Mux rate (units of 50 bytes/s) and pack clock: the disc's sector rate for VCD
// (75 per second) and SVCD (at most 150, packs only when there is data); for
// the others the streams' rate (1150 or 2376 kbit/s video, 224 kbit/s sound,
// with the pack overhead) and a little room, one pack time per sector.
void CheckPackClock(const ParsedStream& ps, const std::string& mode) {
    const std::uint32_t rate = ps.sectors[0].muxRate;
    if (mode == "vcd") {
        EXPECT_EQ(3528u, rate);
    } else if (mode == "svcd") {
        EXPECT_EQ(7056u, rate);
    } else {
        const double formula = Mpeg1Mode(mode) ? 3480 : 6603;
        EXPECT_GE(rate, formula);
        EXPECT_LE(rate, formula * 1.05);
    }
    const double perSecond = mode == "vcd" ? 75 : mode == "svcd" ? 150 : std::floor(rate * 50.0 / 2324.0);
    const double packTime = 27000000.0 / perSecond;
    const double tick = Mpeg1Mode(mode) ? 300.0 : 1.0;
    for (std::size_t i = 1; i < ps.sectors.size(); ++i) {
        const double d = ps.sectors[i].Scr27() - ps.sectors[i - 1].Scr27();
        const double packs = std::round(d / packTime);
        EXPECT_NEAR(d, packs * packTime, tick) << "sector " << i;
        if (mode == "svcd") {
            EXPECT_GE(packs, 1.0) << "sector " << i;
        } else {
            EXPECT_EQ(1.0, packs) << "sector " << i;
        }
    }
}

// Picture time stamps lie on the exact picture grid, to the nearest 90 kHz
// tick: sorted, every step is a whole number of picture periods, rounded once.
// A packet with a PTS carries the DTS as well exactly when the two differ; no
// two stamped pictures more than 0.7 s apart.
void CheckPictureStamps(const ParsedStream& ps, double fps) {
    std::vector<std::int64_t> pts;
    for (const ParsedSector& s : ps.sectors)
        for (const ParsedPacket& pk : s.packets)
            if (pk.id == 0xE0 && pk.hasPts) {
                pts.push_back(static_cast<std::int64_t>(pk.pts));
                if (pk.hasDts) {
                    EXPECT_LT(pk.dts, pk.pts);
                }
            }
    std::sort(pts.begin(), pts.end());
    ASSERT_GT(pts.size(), 2u);
    const double period = 90000.0 / fps;
    for (std::size_t k = 1; k < pts.size(); ++k) {
        const double n = std::round((pts[k] - pts[0]) / period);
        EXPECT_EQ(std::llround(n * period), pts[k] - pts[0]) << "picture stamp " << k;
        EXPECT_LE(pts[k] - pts[k - 1], 63000) << "picture stamp " << k;
    }
}

void CheckFile(const std::string& out, const Case& c, const Facts& facts, int sourceRate) {
    const std::string mode = c.mode;
    ASSERT_TRUE(fs::exists(out));
    const bool mpeg1 = Mpeg1Mode(mode);
    const double fps = OutputFps(c);

    // What ffprobe sees.
    auto probe = ProbeStreams(out);
    auto ProbeValue = [&](const std::string&, const char* st, const char* key) {
        return probe[std::string(st) + "." + key];
    };
    EXPECT_EQ(mpeg1 ? "mpeg1video" : "mpeg2video", ProbeValue(out, "v", "codec_name"));
    EXPECT_EQ("mp2", ProbeValue(out, "a", "codec_name"));
    EXPECT_NEAR(fps, Rate(ProbeValue(out, "v", "r_frame_rate")), 0.001);
    const int width = std::atoi(ProbeValue(out, "v", "width").c_str());
    const int height = std::atoi(ProbeValue(out, "v", "height").c_str());
    const std::map<std::string, std::pair<int, int>> pal = {{"vcd", {352, 288}}, {"svcd", {480, 576}}, {"dvd", {720, 576}}};
    const std::map<std::string, std::pair<int, int>> ntsc = {{"vcd", {352, 240}}, {"svcd", {480, 480}}, {"dvd", {720, 480}}};
    if (pal.count(mode)) {
        const auto want = c.ntsc ? ntsc.at(mode) : pal.at(mode);
        EXPECT_EQ(want.first, width);
        EXPECT_EQ(want.second, height);
    } else {
        EXPECT_GT(width, 0);
        EXPECT_EQ(0, width % 16);
        EXPECT_EQ(0, height % 16);
    }
    const int rate = std::atoi(ProbeValue(out, "a", "sample_rate").c_str());
    if (mode == "vcd" || mode == "svcd") {
        EXPECT_EQ(44100, rate);
    } else if (mode == "dvd") {
        EXPECT_EQ(48000, rate);
    } else {
        EXPECT_EQ(NearestLayer2Rate(sourceRate), rate);
    }
    EXPECT_EQ("2", ProbeValue(out, "a", "channels"));

    // FFmpeg decodes the whole file at its strictest; count pictures and samples.
    CommandResult dec = RunCommand("ffmpeg -v error -xerror -err_detect explode -i " + Quote(out) +
                                   " -map 0:v -map 0:a -f framecrc - 2>&1");
    EXPECT_EQ(0, dec.status) << dec.out.substr(0, 500);
    unsigned pictures = 0;
    double samples = 0;
    std::size_t pos = 0;
    while (pos < dec.out.size()) {
        std::size_t eol = dec.out.find('\n', pos);
        if (eol == std::string::npos) eol = dec.out.size();
        const std::string line = dec.out.substr(pos, eol - pos);
        pos = eol + 1;
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("0,", 0) == 0) {
            ++pictures;
        } else if (line.rfind("1,", 0) == 0) {
            // stream, dts, pts, duration, size, crc: 16-bit stereo samples
            int commas = 0;
            std::size_t k = 0;
            for (; k < line.size() && commas < 4; ++k) {
                if (line[k] == ',') ++commas;
            }
            samples += std::atof(line.c_str() + k) / 4.0;
        } else if (line.find("rror") != std::string::npos) {
            ADD_FAILURE() << line;
        }
    }
    // Nothing lost: every picture handed over, and the sound of all of them
    // but at most the last partial Layer II frame.
    const unsigned n = static_cast<unsigned>(std::ceil(facts.frames * fps / facts.fps - 1e-9));
    const unsigned handed = PicturesHandedOver(n);
    EXPECT_EQ(handed, pictures) << "N = " << n;
    const double soundSeconds = samples / rate;
    EXPECT_NEAR(handed / fps, soundSeconds, 1152.0 / rate + 0.5 / fps) << "pictures " << pictures;

    // Sector layout.
    const std::vector<std::uint8_t> bytes = ReadWholeFile(out);
    const ParsedStream ps = ParseProgramStream(bytes);
    ASSERT_TRUE(ps.errors.empty()) << ps.errors.front();
    EXPECT_TRUE(ps.endsWithEndCode);
    ASSERT_GE(ps.video.size(), 4u);
    EXPECT_EQ(0, std::memcmp(ps.video.data() + ps.video.size() - 4, "\x00\x00\x01\xB7", 4))
        << "the video stream ends with its sequence end code";
    for (std::size_t i = 0; i + 1 < ps.sectors.size(); ++i) {
        const ParsedSector& s = ps.sectors[i];
        const bool audio = !s.packets.empty() && s.packets[0].id == 0xC0;
        EXPECT_EQ(mode == "mpg1" && audio ? 2344u : 2324u, s.size) << "sector " << i;
    }
    // VCD and SVCD end with a whole end sector; the generic kinds (and DVD mode,
    // which is generic MPEG-2 at DVD sizes) with the bare end code.
    if (mode == "vcd" || mode == "svcd") {
        EXPECT_EQ(2324u, ps.sectors.back().size);
    } else {
        const std::size_t last = ps.sectors.back().size;
        EXPECT_TRUE(last == 2324 + 4 || (mode == "mpg1" && last == 2344 + 4)) << last;
        EXPECT_EQ(0, std::memcmp(bytes.data() + bytes.size() - 4, "\x00\x00\x01\xB9", 4));
    }
    EXPECT_EQ(mode == "vcd" ? 2 : 1, ps.sectors[0].systemHeader + ps.sectors[1].systemHeader);
    // The first packs' system headers: VCD lists video, then audio, in two
    // sectors; the other kinds both streams, video first, in one.
    if (mode == "vcd") {
        EXPECT_EQ(std::vector<std::uint8_t>{0xE0}, ps.sectors[0].listedStreams);
        EXPECT_EQ(std::vector<std::uint8_t>{0xC0}, ps.sectors[1].listedStreams);
    } else {
        EXPECT_EQ((std::vector<std::uint8_t>{0xE0, 0xC0}), ps.sectors[0].listedStreams);
    }
    // One mux rate throughout, within the rate bound; the SCR only moves on;
    // the STD field in every packet in VCD, else in each stream's first only;
    // the 20 zero bytes after every MPEG-1 audio packet; PTS rising per stream.
    std::map<std::uint8_t, int> packetsSeen;
    std::map<std::uint8_t, double> lastPts;
    for (std::size_t i = 0; i < ps.sectors.size(); ++i) {
        const ParsedSector& s = ps.sectors[i];
        SCOPED_TRACE("sector " + std::to_string(i));
        EXPECT_EQ(ps.sectors[0].muxRate, s.muxRate);
        if (i > 0) {
            EXPECT_GT(s.Scr27(), ps.sectors[i - 1].Scr27());
        }
        for (const ParsedPacket& pk : s.packets) {
            if (pk.id != 0xE0 && pk.id != 0xC0) continue;
            const int seen = packetsSeen[pk.id]++;
            EXPECT_EQ(mode == "vcd" || seen == 0, pk.hasStd) << "stream " << int(pk.id) << " packet " << seen;
            if (pk.id == 0xC0 && mpeg1) {
                EXPECT_EQ(20, s.trailingZeros);
            }
            if (pk.hasPts) {
                // Pictures come in coding order, so only audio rises strictly.
                if (pk.id == 0xC0 && lastPts.count(0xC0)) {
                    EXPECT_GT(static_cast<double>(pk.pts), lastPts[0xC0]);
                }
                lastPts[pk.id] = static_cast<double>(pk.pts);
            }
        }
    }
    EXPECT_LE(ps.sectors[0].muxRate, ps.sectors[0].rateBound);
    CheckPackClock(ps, mode);
    CheckPictureStamps(ps, fps);
    if (!mpeg1) {
        // Every group's sequence header (before its I picture) starts a packet.
        std::size_t vpos = 0;
        std::vector<std::size_t> packetStarts;
        for (const ParsedSector& s : ps.sectors)
            for (const ParsedPacket& pk : s.packets)
                if (pk.id == 0xE0) {
                    packetStarts.push_back(vpos);
                    vpos += pk.dataLength;
                }
        for (std::size_t k = 0; k + 4 <= ps.video.size(); ++k) {
            if (ps.video[k] || ps.video[k + 1] || ps.video[k + 2] != 1 || ps.video[k + 3] != 0xB3) continue;
            EXPECT_TRUE(std::binary_search(packetStarts.begin(), packetStarts.end(), k)) << "at " << k;
        }
    }

    // SVCD scan offsets, read from the demultiplexed video stream: every I
    // picture carries one reserved block, and its four addresses name exactly
    // the sectors whose video packet begins with the previous, next, backward
    // and forward I pictures.
    if (mode == "svcd") CheckScanOffsets(ps, fps);

    // vcdimager builds a disc image from VCD and SVCD files without complaint.
    if ((mode == "vcd" || mode == "svcd") && HaveProgram("vcdimager")) {
        const std::string bin = out + ".bin", cue = out + ".cue";
        CommandResult v = RunCommand(std::string("vcdimager -t ") + (mode == "vcd" ? "vcd2" : "svcd") + " -c " +
                                     Quote(cue) + " -b " + Quote(bin) + " " + Quote(out) + " 2>&1");
        EXPECT_EQ(0, v.status) << v.out;
        EXPECT_EQ(std::string::npos, v.out.find("WARN")) << v.out;
        EXPECT_EQ(std::string::npos, v.out.find("ERR")) << v.out;
        EXPECT_NE(std::string::npos, v.out.find("finished ok")) << v.out;
        fs::remove(bin);
        fs::remove(cue);
    }
}

class E2eMpeg : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kCli)) GTEST_SKIP() << "reelcast-cli not built";
        if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) GTEST_SKIP() << "ffmpeg missing";
    }
};

void RunCases(const Source& s, std::initializer_list<Case> cases, double seconds = 2.0) {
    ScratchDir dir(s.name);
    const std::string src = MakeSource(dir, s, seconds);
    const Facts facts = ProbeWithCli(src);
    ASSERT_GT(facts.frames, 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(s.name) + " -> " + c.mode + (c.ntsc ? " NTSC" : " PAL"));
        const std::string out = dir.File(std::string(c.mode) + (c.ntsc ? "_ntsc" : "_pal") + ".mpg");
        Convert(src, out, c);
        CheckFile(out, c, facts, s.sampleRate);
    }
}

}  // namespace

// Odd size, 20 fps, 22050 Hz mono.
TEST_F(E2eMpeg, OddSize20FpsMono22050) {
    RunCases({"odd20", 300, 222, "20", 22050, 1},
             {{"mpg1", false}, {"vcd", true}, {"mpg2", true}, {"svcd", false}, {"dvd", true}});
}

// Small odd size, 24 fps, 48000 Hz stereo.
TEST_F(E2eMpeg, SmallSize24Fps48000) {
    RunCases({"small24", 186, 142, "24", 48000, 2},
             {{"vcd", false}, {"svcd", true}, {"mpg1", true}, {"mpg2", false}, {"dvd", false}});
}

// 30 and 50 fps sources at 44100 Hz.
TEST_F(E2eMpeg, HighRates) {
    RunCases({"rate30", 320, 240, "30", 44100, 2}, {{"vcd", true}, {"mpg2", true}});
    RunCases({"rate50", 352, 288, "50", 44100, 2}, {{"vcd", false}, {"svcd", false}, {"mpg1", false}});
}

// Long enough for the backward and forward scan addresses to reach seven
// seconds away (more than 2 x 12 and 2 x 14 groups), PAL and NTSC.
TEST_F(E2eMpeg, SvcdScanOffsetsOverManyGroups) {
    RunCases({"scan", 176, 144, "25", 44100, 2}, {{"svcd", false}, {"svcd", true}}, 16.0);
}

// A few seconds of real footage in every mode.
TEST_F(E2eMpeg, RealFootage) {
    const std::string media = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
    if (!fs::exists(media)) GTEST_SKIP() << "no footage at " << media;
    ScratchDir dir("footage");
    const std::string src = dir.File("cut.mkv");
    ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -i " + Quote(media) + " -t 3 -c copy " + Quote(src)).status);
    const Facts facts = ProbeWithCli(src);
    ASSERT_GT(facts.frames, 0u);
    for (Case c : {Case{"mpg1", false}, Case{"vcd", false}, Case{"vcd", true}, Case{"mpg2", false},
                   Case{"svcd", false}, Case{"svcd", true}, Case{"dvd", false}}) {
        SCOPED_TRACE(std::string("footage -> ") + c.mode + (c.ntsc ? " NTSC" : " PAL"));
        const std::string out = dir.File(std::string(c.mode) + (c.ntsc ? "_ntsc" : "_pal") + ".mpg");
        Convert(src, out, c);
        CheckFile(out, c, facts, 44100);
    }
}

// VCD and SVCD files about as large as FFmpeg's for the same discs: a VCD runs
// at the disc's 75 sectors per second, an SVCD needs no padding to its rate and
// codes easy scenes (a still picture) at less than its nominal video rate. On
// a still picture FFmpeg's own share of its rate varies with the picture, so
// the margin there is wider; padded to the rate, ours would be 3 to 7 times
// as large.
TEST_F(E2eMpeg, DiscFilesAsLargeAsFfmpegs) {
    ScratchDir dir("discsize");
    const std::string moving = MakeSource(dir, {"disc", 720, 576, "25", 44100, 2}, 14.0);
    const std::string still = dir.File("still.mkv");
    ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -i " + Quote(moving) +
                            " -vf trim=end_frame=1,loop=loop=-1:size=1,setpts=N/25/TB -t 14 -c:v mpeg4 -q:v 2"
                            " -c:a copy " + Quote(still)).status);
    struct SizeCase {
        const std::string& source;
        const char* mode;
        bool ntsc;
        double low, high;  // ours / FFmpeg's
    };
    for (const SizeCase& c : {SizeCase{moving, "vcd", false, 0.95, 1.05}, SizeCase{moving, "svcd", false, 0.85, 1.15},
                              SizeCase{still, "svcd", false, 0.7, 1.3}, SizeCase{still, "svcd", true, 0.7, 1.3}}) {
        const std::string name = fs::path(c.source).stem().string() + "_" + c.mode + (c.ntsc ? "_ntsc" : "");
        SCOPED_TRACE(name);
        const std::string ours = dir.File(name + ".mpg");
        const std::string theirs = dir.File(name + "_ffmpeg.mpg");
        Convert(c.source, ours, {c.mode, c.ntsc});
        CheckFile(ours, {c.mode, c.ntsc}, ProbeWithCli(c.source), 44100);
        ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -i " + Quote(c.source) + " -target " + (c.ntsc ? "ntsc-" : "pal-") +
                                c.mode + " " + Quote(theirs)).status);
        const double ratio = static_cast<double>(fs::file_size(ours)) / static_cast<double>(fs::file_size(theirs));
        std::printf("[ size ] %s: ours %ju bytes, FFmpeg %ju, ratio %.3f\n", name.c_str(),
                    static_cast<std::uintmax_t>(fs::file_size(ours)), static_cast<std::uintmax_t>(fs::file_size(theirs)),
                    ratio);
        EXPECT_LT(ratio, c.high);
        EXPECT_GT(ratio, c.low);
    }
}

// The generic modes keep the source's size and show it in its own shape: square
// pels at 1280x720 and 320x240, the 4:3 pel shape at the disc sizes.
TEST_F(E2eMpeg, DisplayAspectFollowsThePicture) {
    struct AspectCase {
        Source source;
        const char* mode;
        double aspect;  // display width / height
    };
    for (const AspectCase& c : {AspectCase{{"hd", 1280, 720, "25", 44100, 2}, "mpg1", 16.0 / 9.0},
                                AspectCase{{"hd", 1280, 720, "25", 44100, 2}, "mpg2", 16.0 / 9.0},
                                AspectCase{{"qvga", 320, 240, "25", 44100, 2}, "mpg1", 4.0 / 3.0},
                                AspectCase{{"cif", 352, 288, "25", 44100, 2}, "mpg1", 4.0 / 3.0},
                                AspectCase{{"cif", 352, 288, "25", 44100, 2}, "vcd", 4.0 / 3.0}}) {
        SCOPED_TRACE(std::string(c.source.name) + " -> " + c.mode);
        ScratchDir dir("aspect");
        const std::string src = MakeSource(dir, c.source, 1.0);
        const std::string out = dir.File("out.mpg");
        Convert(src, out, {c.mode, false});
        const std::string dar = RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                                           "stream=display_aspect_ratio -of csv=p=0 " + Quote(out)).out;
        const std::size_t colon = dar.find(':');
        ASSERT_NE(std::string::npos, colon) << dar;
        const double shown = std::atof(dar.c_str()) / std::atof(dar.c_str() + colon + 1);
        EXPECT_NEAR(c.aspect, shown, c.aspect * 0.015) << dar;
    }
}

// An output that cannot be written ends with a message, not with success.
TEST_F(E2eMpeg, UnwritableOutputFails) {
    ScratchDir dir("unwritable");
    const std::string src = MakeSource(dir, {"w", 176, 144, "25", 44100, 2}, 1.0);
    for (const std::string& out : {dir.File("no/such/folder/x.mpg"), std::string("/dev/full")}) {
        CommandResult r = RunCommand(Quote(kCli) + " convert --mode vcd -q -y " + Quote(src) + " " + Quote(out) +
                                     " 2>&1");
        EXPECT_NE(0, r.status) << out;
        EXPECT_NE(std::string::npos, r.out.find("MPEGEnc: Can not")) << out << ": " << r.out;
    }
}
