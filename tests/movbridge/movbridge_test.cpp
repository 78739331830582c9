// The bridge from outside: sources made by ffmpeg, converted through the table by
// c_movbridge_test (C, slot numbers only) and through reelcast-cli, and every AVI
// judged by ffprobe and FFmpeg's decoders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "AviTestSupport.h"

namespace {

using avitest::Quote;


const std::string kLib = std::string(REELCAST_BIN_DIR) + "/libMovbridge.so";
const std::string kCli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";

// A program of ours run from a test. Under AddressSanitizer the runtime's
// __tls_get_addr interception can misread the dynamic TLS of libraries loaded at
// run time and crash the leak check at exit; the option turns it off.
const char kAsanPrefix[] = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_tls_get_addr=0\" ";
std::string Ours(const std::string& program) { return kAsanPrefix + Quote(program); }

std::string Driver(const std::string& args, int* status) {
    return avitest::Run(Ours(MOVBRIDGE_C_DRIVER) + " " + Quote(kLib) + " " + args + " 2>&1", status);
}

bool Generate(const std::string& args, const std::string& path) {
    int st = -1;
    avitest::Run("ffmpeg -nostdin -v error -y " + args + " " + Quote(path) + " 2>&1", &st);
    return st == 0 && avitest::FileSize(path) > 0;
}

const char kPictures[] = "-f lavfi -i testsrc2=size=176x144:rate=25 ";

// A source long enough to be stopped mid-way on a busy machine.
bool MakeLongSource(const std::string& path) {
    return Generate("-f lavfi -i testsrc2=size=640x360:rate=25 -f lavfi -i sine=r=48000 -t 40 "
                    "-c:v mpeg4 -q:v 4 -c:a aac",
                    path);
}

// A Flash file with a shape and a frame but no picture of any kind.
void WriteVectorFlash(const std::string& path) {
    std::string body;
    body += std::string("\x78\x00\x01\xb8\x00\x00\x05\xa0\x00", 9);  // frame 176 x 144 in twips
    body += std::string("\x00\x0c\x01\x00", 4);        // 12 frames per second, 1 frame
    body += std::string("\x43\x02\xff\xff\xff", 5);    // SetBackgroundColor, white
    body += std::string("\x87\x00\x01\x00\x00\x00\x00\x00\x00", 9);  // DefineShape, 7 bytes
    body += std::string("\x40\x00", 2);                // ShowFrame
    body += std::string("\x00\x00", 2);                // End
    const std::uint32_t length = 8 + body.size();
    std::string head = "FWS";
    head += char(6);
    for (int i = 0; i < 4; ++i) head += char((length >> (8 * i)) & 0xFF);
    std::ofstream(path, std::ios::binary) << head << body;
}

// The source's length as a player sees it: the container's duration, or the
// counted pictures over their rate where the container has none (Flash).
double SourceSeconds(const std::string& path) {
    const std::string d = avitest::Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(path));
    if (std::atof(d.c_str()) > 0) return std::atof(d.c_str());
    const std::string r = avitest::Run("ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 " +
                              Quote(path));
    int num = 0, den = 1;
    std::sscanf(r.c_str(), "%d/%d", &num, &den);
    return num > 0 ? avitest::DecodedVideoFrames(path) * double(den) / num : 0;
}

double Rate(const std::string& fraction) {
    int num = 0, den = 1;
    std::sscanf(fraction.c_str(), "%d/%d", &num, &den);
    return den > 0 ? double(num) / den : 0;
}

struct SourceCase {
    const char* name;
    const char* file;
    std::string ffmpegArgs;
    int width, height;
    const char* frameRate;  // of the AVI
    int sampleRate;         // of the AVI's MP3; 0: no sound
};
void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.file; }

const SourceCase kSources[] = {
    {"H264High444", "h264_444.mov",
     std::string(kPictures) + "-f lavfi -i sine=r=44100 -t 2 -c:v libx264 -preset ultrafast -pix_fmt yuv444p -c:a aac",
     176, 144, "25/1", 44100},
    {"H264TenBit", "h264_10bit.mp4",
     std::string(kPictures) + "-f lavfi -i sine=r=48000 -t 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p10le -c:a aac",
     176, 144, "25/1", 48000},
    // Every third picture left out: the base rate stays, the gaps repeat a picture.
    {"VariableRate", "vfr.mp4",
     "-f lavfi -i testsrc2=size=176x144:rate=30 -f lavfi -i sine=r=48000 -t 2 "
     "-vf select='not(eq(mod(n\\,3)\\,2))' -fps_mode vfr -c:v libx264 -preset ultrafast -c:a aac",
     176, 144, "30/1", 48000},
    {"SilentOddSize", "odd.mov",
     "-f lavfi -i testsrc2=size=176x144:rate=24 -t 2 -vf crop=161:121:0:0 -c:v qtrle", 160, 120, "24/1", 0},
    {"Surround51", "surround.mov",
     std::string(kPictures) + "-f lavfi -i sine=r=48000 -t 2 -c:v libx264 -preset ultrafast -ac 6 -c:a aac", 176,
     144, "25/1", 48000},
    {"ProResWithPcm", "prores.mov",
     std::string(kPictures) + "-f lavfi -i sine=r=48000 -t 2 -c:v prores_ks -c:a pcm_s16le", 176, 144, "25/1",
     48000},
    {"Mpeg4In3gpAt22k", "clip.3gp",
     std::string(kPictures) + "-f lavfi -i sine=r=22050 -t 2 -c:v mpeg4 -c:a aac -ac 1", 176, 144, "25/1", 44100},
    {"FlashVideoWithMp3", "flv1.swf",
     "-f lavfi -i testsrc2=size=176x144:rate=12 -f lavfi -i sine=r=22050 -t 2 -c:v flv1 -c:a libmp3lame", 176,
     144, "12/1", 44100},
    {"FlashJpegFrames", "mjpeg.swf",
     "-f lavfi -i testsrc2=size=176x144:rate=10 -t 2 -c:v mjpeg -pix_fmt yuvj420p", 176, 144, "10/1", 0},
};

class BridgeConverts : public ::testing::TestWithParam<SourceCase> {};

// Through the table from C: the events keep their rules (checked by the driver),
// and the AVI has XVID pictures of the source's even size at a constant rate,
// as many as the source's length at that rate, and sound as long as the
// pictures to within one picture.
TEST_P(BridgeConverts, ToACompleteXvidAvi) {
    REQUIRE_FFMPEG();
    const SourceCase& c = GetParam();
    avitest::TempDir dir;
    const std::string src = dir.File(c.file);
    const std::string out = dir.File("out.avi");
    ASSERT_TRUE(Generate(c.ffmpegArgs, src)) << c.ffmpegArgs;

    int st = -1;
    const std::string log = Driver("convert " + Quote(src) + " " + Quote(out), &st);
    ASSERT_EQ(st, 0) << log;
    EXPECT_NE(log.find("end 0 "), std::string::npos) << log;

    const auto streams = avitest::ProbeStreams(out);
    ASSERT_EQ(streams.size(), c.sampleRate ? 2u : 1u);
    const auto& v = streams[0];
    EXPECT_EQ(v.at("codec_name"), "mpeg4");
    EXPECT_EQ(v.at("codec_tag_string"), "XVID");
    EXPECT_EQ(v.at("width"), std::to_string(c.width));
    EXPECT_EQ(v.at("height"), std::to_string(c.height));
    EXPECT_EQ(v.at("r_frame_rate"), c.frameRate);

    const double rate = Rate(c.frameRate);
    const int frames = avitest::DecodedVideoFrames(out);
    EXPECT_NEAR(frames, SourceSeconds(src) * rate, 1.0);
    if (c.sampleRate) {
        const auto& a = streams[1];
        EXPECT_EQ(a.at("codec_name"), "mp3");
        EXPECT_EQ(a.at("sample_rate"), std::to_string(c.sampleRate));
        EXPECT_EQ(a.at("channels"), "2");
        EXPECT_NEAR(avitest::DecodedAudioSeconds(out, c.sampleRate, 2), frames / rate, 1.0 / rate);
    }
    std::string errors;
    EXPECT_TRUE(avitest::DecodesCleanly(out, &errors)) << errors;
}

INSTANTIATE_TEST_SUITE_P(Sources, BridgeConverts, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

// A source stored turned comes out upright: its AVI matches, picture for
// picture, what FFmpeg's own player pipeline shows (it turns by the display
// matrix), with width and height swapped for quarter turns.
class BridgeTurns : public ::testing::TestWithParam<int> {};

TEST_P(BridgeTurns, PicturesAsAPlayerShowsThem) {
    REQUIRE_FFMPEG();
    avitest::TempDir dir;
    const std::string plain = dir.File("plain.mov");
    const std::string turned = dir.File("turned.mov");
    const std::string out = dir.File("out.avi");
    ASSERT_TRUE(Generate(std::string(kPictures) + "-t 1 -c:v libx264 -preset ultrafast -qp 10", plain));
    ASSERT_TRUE(Generate("-i " + Quote(plain) + " -c copy -metadata:s:v rotate=" + std::to_string(GetParam()), turned));
    int st = -1;
    const std::string log = Driver("convert " + Quote(turned) + " " + Quote(out), &st);
    ASSERT_EQ(st, 0) << log;
    const auto v = avitest::ProbeStreams(out).at(0);
    const bool across = GetParam() % 180 != 0;
    EXPECT_EQ(v.at("width"), across ? "144" : "176");
    EXPECT_EQ(v.at("height"), across ? "176" : "144");
    const std::string psnr = avitest::Run("ffmpeg -nostdin -i " + Quote(out) + " -i " + Quote(turned) +
                                          " -lavfi '[0:v][1:v]psnr' -f null - 2>&1 | grep -o 'y:[0-9.]*' | tail -1");
    EXPECT_GT(std::atof(psnr.c_str() + 2), 35.0) << psnr << " (a wrong turn gives about 10 dB)";
}

INSTANTIATE_TEST_SUITE_P(Degrees, BridgeTurns, ::testing::Values(90, 180, 270));

// Content decides, never the name: "<IsSupportedFile> <MovbridgeCheckFile>" per file.
TEST(BridgeFiles, AreJudgedByContent) {
    REQUIRE_FFMPEG();
    avitest::TempDir dir;
    const std::string mov = dir.File("clip.mov");
    const std::string mp4 = dir.File("clip.mp4");
    const std::string swf = dir.File("clip.swf");
    const std::string wav = dir.File("sound.wav");
    const std::string avi = dir.File("pictures.avi");
    ASSERT_TRUE(Generate(std::string(kPictures) + "-t 1 -c:v mpeg4", mov));
    ASSERT_TRUE(Generate(std::string(kPictures) + "-f lavfi -i sine -t 1 -c:v mpeg4 -c:a aac", mp4));
    ASSERT_TRUE(Generate(std::string(kPictures) + "-t 1 -c:v flv1", swf));
    ASSERT_TRUE(Generate("-f lavfi -i sine -t 1", wav));
    ASSERT_TRUE(Generate(std::string(kPictures) + "-t 1 -c:v mpeg4", avi));
    avitest::Run("cp " + Quote(mov) + " " + Quote(dir.File("named.avi")));
    avitest::Run("cp " + Quote(avi) + " " + Quote(dir.File("named.mov")));
    avitest::Run("head -c 20000 " + Quote(mp4) + " > " + Quote(dir.File("truncated.mp4")));  // its index is at the end
    std::ofstream(dir.File("notes.mov")) << "not a movie\n";
    std::ofstream(dir.File("empty.mov"));
    WriteVectorFlash(dir.File("vector.swf"));

    const struct {
        std::string path;
        const char* want;
    } cases[] = {
        {mov, "1 0"},
        {mp4, "1 0"},
        {swf, "1 0"},
        {dir.File("named.avi"), "1 0"},
        {dir.File("vector.swf"), "0 2"},
        {wav, "0 1"},
        {avi, "0 1"},
        {dir.File("named.mov"), "0 1"},
        {dir.File("truncated.mp4"), "0 1"},
        {dir.File("notes.mov"), "0 1"},
        {dir.File("empty.mov"), "0 1"},
        {dir.File("missing.mov"), "0 1"},
        {dir.path(), "0 1"},
    };
    std::string args = "check";
    for (const auto& c : cases) args += " " + Quote(c.path);
    int st = -1;
    std::istringstream answers(Driver(args, &st));
    ASSERT_EQ(st, 0);
    for (const auto& c : cases) {
        std::string line;
        std::getline(answers, line);
        EXPECT_EQ(line, c.want) << c.path;
    }
}

// Stopping (mid-way, or at once before any picture), and releasing the instance
// mid-way: the call returns (no hang), no end event follows, and what was written
// is a complete AVI with at least one picture that decodes to its last one.
class BridgeInterrupted : public ::testing::TestWithParam<const char*> {};

TEST_P(BridgeInterrupted, LeavesAReadableAvi) {
    REQUIRE_FFMPEG();
    avitest::TempDir dir;
    const std::string src = dir.File("long.mov");
    const std::string out = dir.File("part.avi");
    ASSERT_TRUE(MakeLongSource(src));
    int st = -1;
    const std::string log = Driver(std::string(GetParam()) + " " + Quote(src) + " " + Quote(out), &st);
    ASSERT_EQ(st, 0) << log;
    const auto layout = avitest::ReadAviLayout(out);
    EXPECT_TRUE(layout.ok) << layout.error;
    const int frames = avitest::DecodedVideoFrames(out);
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 1000) << "the whole source was converted: nothing was stopped";
    std::string errors;
    EXPECT_TRUE(avitest::DecodesCleanly(out, &errors)) << errors;
}

INSTANTIATE_TEST_SUITE_P(Ways, BridgeInterrupted, ::testing::Values("stop", "stopnow", "release"));

// With a window, every event runs on the thread that drains the window's queue.
TEST(BridgeWindow, DeliversEventsOnTheWindowsThread) {
    REQUIRE_FFMPEG();
    avitest::TempDir dir;
    const std::string src = dir.File("clip.mov");
    ASSERT_TRUE(Generate(std::string(kPictures) + "-f lavfi -i sine -t 2 -c:v mpeg4 -c:a aac", src));
    int st = -1;
    const std::string log = Driver("window " + Quote(src) + " " + Quote(dir.File("out.avi")), &st);
    EXPECT_EQ(st, 0) << log;
}

#define REQUIRE_CLI_AND_FFMPEG()                                              \
    if (!avitest::FileExists(kCli)) GTEST_SKIP() << "reelcast-cli not built"; \
    REQUIRE_FFMPEG()

std::string Cli(const std::string& args, int* status) { return avitest::Run(Ours(kCli) + " " + args + " 2>&1", status); }

TEST(BridgeCli, ConvertsAndRefusesWhatIsNotQuickTimeOrFlashPictures) {
    REQUIRE_CLI_AND_FFMPEG();
    avitest::TempDir dir;
    const std::string mov = dir.File("clip.mov");
    const std::string out = dir.File("clip.avi");
    ASSERT_TRUE(Generate(std::string(kPictures) + "-f lavfi -i sine -t 1 -c:v libx264 -preset ultrafast -c:a aac", mov));
    int st = -1;
    std::string msg = Cli("convert --mode mov -q " + Quote(mov) + " " + Quote(out), &st);
    ASSERT_EQ(st, 0) << msg;
    EXPECT_EQ(avitest::ProbeStreams(out).at(0).at("codec_tag_string"), "XVID");

    msg = Cli("convert --mode mov -q " + Quote(mov) + " " + Quote(out), &st);
    EXPECT_EQ(st, 1) << "an existing output needs -y: " << msg;
    msg = Cli("convert --mode swf -q -y " + Quote(mov) + " " + Quote(out), &st);
    EXPECT_EQ(st, 0) << msg;
    msg = Cli("convert --mode mov -q -y " + Quote(mov) + " " + Quote(mov), &st);
    EXPECT_EQ(st, 1) << "converting a file onto itself";
    EXPECT_GT(avitest::DecodedVideoFrames(mov), 0) << "the source was damaged";

    std::ofstream(dir.File("notes.mov")) << "not a movie\n";
    msg = Cli("convert --mode mov " + Quote(dir.File("notes.mov")) + " " + Quote(dir.File("n.avi")), &st);
    EXPECT_EQ(st, 1);
    EXPECT_EQ(msg, "This is not a QuickTime MOV/MP4 format file.\n");
    WriteVectorFlash(dir.File("vector.swf"));
    msg = Cli("convert --mode swf " + Quote(dir.File("vector.swf")) + " " + Quote(dir.File("v.avi")), &st);
    EXPECT_EQ(st, 1);
    EXPECT_EQ(msg, "This Flash SWF file holds only vector animation, which can not be converted.\n");
    EXPECT_FALSE(avitest::FileExists(dir.File("n.avi")) || avitest::FileExists(dir.File("v.avi")));
}

// Ctrl-C stops the bridge; the part written is a complete AVI and the exit says
// the conversion did not finish.
TEST(BridgeCli, CtrlCLeavesAReadableAvi) {
    REQUIRE_CLI_AND_FFMPEG();
    avitest::TempDir dir;
    const std::string src = dir.File("long.mov");
    const std::string out = dir.File("part.avi");
    ASSERT_TRUE(MakeLongSource(src));
    // Ctrl-C once the conversion has begun (its first progress line is out).
    const std::string log = dir.File("stderr.txt");
    const std::string script = kAsanPrefix + Quote(kCli) + " convert --mode mov " + Quote(src) + " " + Quote(out) +
                               " 2>" + Quote(log) + " & pid=$!; for i in $(seq 600); do grep -q % " + Quote(log) +
                               " && break; sleep 0.05; done; kill -INT $pid; wait $pid; echo $?";
    const int st = std::atoi(avitest::Run(script).c_str());
    std::string msg;
    std::getline(std::ifstream(log), msg, '\0');
    EXPECT_EQ(st, 1) << msg;
    EXPECT_NE(msg.find("cancelled"), std::string::npos) << msg;
    std::string errors;
    EXPECT_TRUE(avitest::DecodesCleanly(out, &errors)) << errors;
    EXPECT_LT(avitest::DecodedVideoFrames(out), 1000);
}

}  // namespace
