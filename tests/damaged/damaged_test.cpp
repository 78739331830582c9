// Damaged and odd sources through every route of reelcast-cli: no run goes on past
// what its source holds, none ends in success without a playable file holding the
// source's streams, and every failure names its cause and leaves no file behind.
// The damaged files are made from one generated clip by overwriting header fields
// at known offsets or cutting it short.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "AviTestSupport.h"

namespace {

using avitest::Quote;

const std::string kCli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";
// No single run may take longer: the sources are two seconds long.
constexpr int kRunLimitSeconds = 120;

// The folder of sources, made once for the whole program.
avitest::TempDir* g_dir = nullptr;

std::string Src(const std::string& name) { return g_dir->File(name); }

// Pictures of the undamaged source, as ffprobe reads its header.
int SourcePictures() {
    static const int n = std::atoi(avitest::Run("ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames "
                                                "-of csv=p=0 " + Quote(Src("good.avi")) + " 2>/dev/null")
                                       .c_str());
    return n;
}

bool Ffmpeg(const std::string& args, const std::string& out) {
    int st = -1;
    avitest::Run("ffmpeg -nostdin -v error -y " + args + " " + Quote(out) + " 2>&1", &st);
    return st == 0;
}

class SourceFolder : public ::testing::Environment {
public:
    void SetUp() override {
        g_dir = new avitest::TempDir();
        if (!avitest::HaveTool("ffmpeg")) return;
        const std::string tone = "-f lavfi -i sine=f=440:r=44100:d=2 -ac 2";
        Ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 " + tone +
                   " -c:v mpeg4 -vtag XVID -c:a libmp3lame",
               Src("good.avi"));
        Ffmpeg(tone + " -c:a pcm_s16le", Src("tone.wav"));
        Ffmpeg("-f lavfi -i testsrc2=size=640x480:rate=25:duration=120 -f lavfi -i sine=d=120 -ac 2 -c:v mpeg4",
               Src("minute.avi"));
        Ffmpeg(tone + " -c:a libmp3lame", Src("tone.mp3"));
        Ffmpeg(tone + " -c:a flac", Src("tone.flac"));
        Ffmpeg("-f lavfi -i sine=f=440:r=48000:d=2 -ac 2 -c:a ac3", Src("tone.ac3"));
    }
    void TearDown() override {
        delete g_dir;
        g_dir = nullptr;
    }
};
const auto* const g_sources = ::testing::AddGlobalTestEnvironment(new SourceFolder);

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::vector<std::uint8_t> b;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
        std::fclose(f);
    }
    return b;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& b) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
    }
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

// Body offset of chunk `id`: "avih", or the "strh" or "strf" of the first stream
// of `type` ("vids", "auds"); 0 when the file has none.
std::size_t ChunkBody(const std::vector<std::uint8_t>& b, const std::string& id, const char* type) {
    for (std::size_t i = 0; i + 12 <= b.size(); ++i) {
        if (id == "avih" && std::memcmp(&b[i], "avih", 4) == 0) return i + 8;
        if (std::memcmp(&b[i], "strh", 4) != 0 || std::memcmp(&b[i + 8], type, 4) != 0) continue;
        if (id == "strh") return i + 8;
        const std::uint32_t size = Le32(b, i + 4);
        const std::size_t next = i + 8 + size + (size & 1);
        return next + 8 <= b.size() && std::memcmp(&b[next], "strf", 4) == 0 ? next + 8 : 0;
    }
    return 0;
}

// A header field overwritten: in chunk "avih", or in the "strh" or "strf" of the
// first stream of `type`, at `offset` of the chunk's body, `width` bytes.
struct FieldWrite {
    const char* chunk;
    const char* type;
    std::size_t offset;
    std::uint32_t value;
    int width;
};
// strh: scale at 20, rate at 24, length at 32; avih: time per picture at 0; a
// wave format: channels at 2.
FieldWrite Strh(std::size_t offset, std::uint32_t value) { return {"strh", "vids", offset, value, 4}; }
const FieldWrite kNoFrameTime{"avih", "", 0, 0, 4};

// One damaged or odd source, made from a generated one.
struct Damage {
    const char* name;
    const char* base;                // the generated source it is made from
    std::vector<FieldWrite> writes;
    double keepShare = 1;            // of the file
    std::size_t keepBytes = 0;       // when not 0, the file is cut after this many bytes
    const char* cause = nullptr;     // null: every route converts it; else what the cause line says
    const char* infoMark = nullptr;  // what `info` marks, null for nothing
};

void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

Damage Header(const char* name, std::vector<FieldWrite> writes, const char* mark) {
    Damage d{name, "good.avi", std::move(writes)};
    d.infoMark = mark;
    return d;
}
Damage Cut(const char* name, double share, std::size_t bytes, const char* cause, const char* mark) {
    Damage d{name, "good.avi", {}, share, bytes, cause, mark};
    return d;
}
Damage SoundOnly(const char* name, const char* base) {
    Damage d{name, base, {}};
    d.cause = "has no picture stream";
    return d;
}

// The count a replaced length shows is checked against the source's own.
constexpr char kHolds[] = "(damaged header: the file holds ";
constexpr char kRateUsed[] = "(damaged header: 25.00 used)";

const Damage kDamages[] = {
    Header("scale_0", {Strh(20, 0)}, kRateUsed),
    Header("scale_7fffffff", {Strh(20, 0x7fffffff)}, kRateUsed),
    Header("scale_ffffffff", {Strh(20, 0xffffffff)}, kRateUsed),
    Header("rate_0", {Strh(24, 0)}, kRateUsed),
    Header("rate_7fffffff", {Strh(24, 0x7fffffff)}, kRateUsed),
    Header("rate_ffffffff", {Strh(24, 0xffffffff)}, kRateUsed),
    Header("length_0", {Strh(32, 0)}, kHolds),
    Header("length_1", {Strh(32, 1)}, kHolds),
    Header("length_7fffffff", {Strh(32, 0x7fffffff)}, kHolds),
    Header("length_ffffffff", {Strh(32, 0xffffffff)}, kHolds),
    // The main header's time per picture is only a fallback: alone it changes nothing.
    Header("frame_time_0", {kNoFrameTime}, nullptr),
    Header("scale_0_frame_time_0", {Strh(20, 0), kNoFrameTime}, kRateUsed),
    Header("sound_channels_0", {{"strf", "auds", 2, 0, 2}}, "Channels: 0 (not believable)"),
    Cut("cut_two_thirds", 0.66, 0, nullptr, kHolds),
    Cut("cut_2k", 1, 2048, "the file is damaged", nullptr),
    SoundOnly("tone_wav", "tone.wav"),
    SoundOnly("tone_mp3", "tone.mp3"),
    SoundOnly("tone_flac", "tone.flac"),
    SoundOnly("tone_ac3", "tone.ac3"),
};

void Patch(std::vector<std::uint8_t>* b, const FieldWrite& w) {
    const std::size_t at = ChunkBody(*b, w.chunk, w.type);
    ASSERT_NE(at, 0u) << w.chunk << " " << w.type;
    for (int i = 0; i < w.width; ++i) (*b)[at + w.offset + i] = (w.value >> (8 * i)) & 0xFF;
}

// Makes the damaged file (once) and answers its path.
std::string Make(const Damage& d) {
    const std::string ext = std::strrchr(d.base, '.');
    const std::string path = Src(std::string(d.name) + ext);
    if (avitest::FileExists(path)) return path;
    std::vector<std::uint8_t> b = ReadBytes(Src(d.base));
    if (b.empty()) return path;
    for (const FieldWrite& w : d.writes) Patch(&b, w);
    b.resize(d.keepBytes ? std::min(b.size(), d.keepBytes) : std::size_t(double(b.size()) * d.keepShare));
    WriteBytes(path, b);
    return path;
}

struct Route {
    const char* mode;
    const char* ext;
    const char* writtenExt = nullptr;  // of the file written, when not ext
};
void PrintTo(const Route& r, std::ostream* os) { *os << r.mode; }
const Route kRoutes[] = {{"divx", ".avi"}, {"avi", ".avi"}, {"vcd", ".mpg"}, {"dvd", ".mpg"}};

struct RunResult {
    int status = -1;
    std::string output;  // stderr and stdout
};

// Every run is bounded in time; `limit` is the command that bounds it.
RunResult RunCli(const std::string& args,
                 const std::string& limit = "timeout " + std::to_string(kRunLimitSeconds)) {
    RunResult r;
    r.output = avitest::Run("ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_tls_get_addr=0\" " + limit +
                                " " + Quote(kCli) + " " + args + " 2>&1",
                            &r.status);
    return r;
}

#define REQUIRE_CLI_AND_FFMPEG()                                              \
    if (!avitest::FileExists(kCli)) GTEST_SKIP() << "reelcast-cli not built"; \
    if (!avitest::HaveTool("ffmpeg") || !avitest::HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg/ffprobe not installed"

class DamagedSource : public ::testing::TestWithParam<std::tuple<Damage, Route>> {};

TEST_P(DamagedSource, EndsWithAPlayableFileOrAReasonAndNoFile) {
    REQUIRE_CLI_AND_FFMPEG();
    const auto& [d, route] = GetParam();
    const std::string in = Make(d);
    ASSERT_TRUE(avitest::FileExists(in));
    avitest::TempDir out;
    const std::string target = out.File(std::string("out") + route.ext);
    const RunResult r = RunCli("convert -q --mode " + std::string(route.mode) + " " + Quote(in) + " " + Quote(target));
    ASSERT_NE(r.status, 124) << "still running after " << kRunLimitSeconds << " s";
    if (!d.cause) {
        ASSERT_EQ(r.status, 0) << r.output;
        const int pictures = avitest::DecodedVideoFrames(target);
        // The MPEG job rounds its count up to the form 3k + 1 and adds two.
        EXPECT_GE(pictures, 1);
        EXPECT_LE(pictures, SourcePictures() + 3) << "pictures written";
        bool sound = false;
        for (const auto& s : avitest::ProbeStreams(target)) sound = sound || s.at("codec_type") == "audio";
        EXPECT_TRUE(sound) << "the source's sound is missing from " << target << "\n" << r.output;
        std::string errors;
        EXPECT_TRUE(avitest::DecodesCleanly(target, &errors)) << errors;
    } else {
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_EQ(r.output.rfind("reelcast-cli: " + in + ": ", 0), 0u) << r.output;
        const std::size_t second = r.output.find('\n');
        ASSERT_NE(second, std::string::npos) << r.output;
        EXPECT_NE(r.output.find(d.cause, second), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("reelcast-cli: " + in + ": ", second), second + 1) << r.output;
        EXPECT_FALSE(avitest::FileExists(target)) << r.output;
        EXPECT_FALSE(avitest::FileExists(out.File("out.wav")));
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, DamagedSource, ::testing::Combine(::testing::ValuesIn(kDamages),
                                                                   ::testing::ValuesIn(kRoutes)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).mode;
                         });

class DamagedInfo : public ::testing::TestWithParam<Damage> {};

// `info` shows what the header says, and marks what cannot be right.
TEST_P(DamagedInfo, MarksTheValuesItCannotBelieve) {
    REQUIRE_CLI_AND_FFMPEG();
    const Damage& d = GetParam();
    const RunResult r = RunCli("info " + Quote(Make(d)));
    if (d.infoMark) {
        EXPECT_EQ(r.status, 0) << r.output;
        const std::size_t mark = r.output.find(d.infoMark);
        ASSERT_NE(mark, std::string::npos) << r.output;
        if (d.infoMark == kHolds && d.keepShare == 1) {
            EXPECT_EQ(std::atoi(r.output.c_str() + mark + std::strlen(kHolds)), SourcePictures()) << r.output;
        }
    } else {
        EXPECT_EQ(r.output.find("(not believable)"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("(damaged header"), std::string::npos) << r.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, DamagedInfo, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

// A run ended by a signal (here timeout's TERM) says so, and what became of its
// output, instead of the user's "User Canceled".
class Interrupted : public ::testing::TestWithParam<Route> {};

TEST_P(Interrupted, SaysInterruptedAndWhatTheOutputHolds) {
    REQUIRE_CLI_AND_FFMPEG();
    avitest::TempDir out;
    const std::string target = out.File(std::string("out") + GetParam().ext);
    const std::string written = GetParam().writtenExt ? out.File(std::string("out") + GetParam().writtenExt) : target;
    const RunResult r = RunCli("convert -q --mode " + std::string(GetParam().mode) + " " + Quote(Src("minute.avi")) +
                               " " + Quote(target), "timeout --preserve-status -s TERM 3");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("reelcast-cli: " + Src("minute.avi") + ": interrupted\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("User Canceled"), std::string::npos) << r.output;
    if (avitest::FileExists(written)) {
        EXPECT_NE(r.output.find(written + " holds the part written so far"), std::string::npos) << r.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, Interrupted, ::testing::Values(kRoutes[0], kRoutes[3], Route{"divx", ".mkv", ".avi"}),
                         [](const auto& info) {
                             return std::string(info.param.mode) + (info.param.writtenExt ? "_renamed" : "");
                         });

}  // namespace
