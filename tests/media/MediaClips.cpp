#include "MediaClips.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <utility>

#include "TestShell.h"

namespace media_test {
namespace {

struct Recipe {
    const char* name;
    const char* args;  // ffmpeg arguments between the inputs and the output name
};

// Short and small: a second or two, tiny pictures. %M is the real footage.
const Recipe kRecipes[] = {
    // Uncompressed AVIs, 25 fps, 50 pictures, no sound.
    {"rgb24.avi", "-f lavfi -i testsrc2=size=66x50:rate=25:duration=2 -c:v rawvideo -pix_fmt bgr24"},
    {"rgb32.avi", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -c:v rawvideo -pix_fmt bgra"},
    {"pal8.avi", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -c:v rawvideo -pix_fmt pal8"},
    // Compressed AVIs with sound.
    {"xvid_mp3.avi",
     "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -f lavfi -i sine=f=440:r=44100:d=2 "
     "-ac 2 -c:v libxvid -vtag XVID -c:a libmp3lame -b:a 128k"},
    {"mpeg4_pcm.avi",
     "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -f lavfi -i sine=f=440:r=44100:d=2 "
     "-ac 2 -c:v mpeg4 -vtag DX50 -c:a pcm_s16le"},
    {"mjpeg_pcm.avi",
     "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -f lavfi -i sine=f=440:r=22050:d=2 "
     "-c:v mjpeg -c:a pcm_s16le"},
    {"mjpeg_mp3.avi",
     "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -f lavfi -i sine=f=440:r=44100:d=1 "
     "-ac 2 -c:v mjpeg -c:a libmp3lame"},
    {"h264.avi", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v libx264 -pix_fmt yuv420p -bf 0"},
    // Widths whose rows end inside a converter's vector store.
    {"mjpeg_200x150.avi", "-f lavfi -i testsrc2=size=200x150:rate=25:duration=0.4 -c:v mjpeg"},
    {"h264_202x150.avi", "-f lavfi -i testsrc2=size=202x150:rate=25:duration=0.4 -c:v libx264 -pix_fmt yuv420p"},
    {"ffv1_444_202x150.avi", "-f lavfi -i testsrc2=size=202x150:rate=25:duration=0.4 -c:v ffv1 -pix_fmt yuv444p"},
    {"ffv1_422_202x150.avi", "-f lavfi -i testsrc2=size=202x150:rate=25:duration=0.4 -c:v ffv1 -pix_fmt yuv422p"},
    {"rgb555_202x150.avi", "-f lavfi -i testsrc2=size=202x150:rate=25:duration=0.4 -c:v rawvideo -pix_fmt rgb555le"},
    // Reordered (B) pictures in AVI, where the packets carry no presentation times.
    {"h264_b.avi", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v libx264 -pix_fmt yuv420p -bf 3"},
    {"mpeg4_b.avi", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v mpeg4 -bf 2 -vtag XVID"},
    // Sound shorter than the video.
    {"short_sound.avi",
     "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 -f lavfi -i sine=f=440:r=44100:d=0.5 "
     "-ac 2 -c:v mjpeg -c:a pcm_s16le"},
    // Other containers.
    {"mpeg1.mpg",
     "-f lavfi -i testsrc2=size=176x144:rate=25:duration=2 -f lavfi -i sine=f=440:r=44100:d=2 "
     "-c:v mpeg1video -c:a mp2 -f mpeg"},
    {"ntsc.mpg",
     "-f lavfi -i testsrc2=size=176x120:rate=30000/1001:duration=2 -c:v mpeg1video -f mpeg"},
    {"mpeg2.mpg",
     "-f lavfi -i testsrc2=size=176x144:rate=25:duration=2 -f lavfi -i sine=f=440:r=48000:d=2 "
     "-c:v mpeg2video -c:a mp2 -f vob"},
    {"video.wmv",
     "-f lavfi -i testsrc2=size=176x144:rate=25:duration=2 -f lavfi -i sine=f=440:r=44100:d=2 "
     "-c:v wmv2 -c:a wmav2 -f asf"},
    {"h264.mp4", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -c:v libx264 -pix_fmt yuv420p"},
    {"stereo.wav", "-f lavfi -i sine=f=440:r=44100:d=1 -f lavfi -i sine=f=660:r=44100:d=1 "
                   "-filter_complex amerge=inputs=2 -c:a pcm_s16le"},
    {"mono22050.wav", "-f lavfi -i sine=f=440:r=22050:d=1 -c:a pcm_s16le"},
    // 5.1: each channel its own tone, so a mix-down shows all of them.
    {"surround.wav", "-f lavfi -i 'aevalsrc=sin(300*2*PI*t)|sin(500*2*PI*t)|sin(700*2*PI*t)|"
                     "sin(900*2*PI*t)|sin(1100*2*PI*t)|sin(1300*2*PI*t):s=48000:d=1:c=5.1' "
                     "-c:a pcm_s16le"},
    {"tone.mp3", "-f lavfi -i sine=f=440:r=44100:d=1 -ac 2 -c:a libmp3lame"},
    {"vorbis.webm", "-f lavfi -i sine=f=440:r=44100:d=1 -ac 2 -c:a libvorbis -f webm"},
    {"tone.ac3", "-f lavfi -i sine=f=440:r=48000:d=1 -ac 2 -c:a ac3"},
    // Containers that give no frame rate for their video, so it is measured.
    {"norate.nut", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 -c:v mpeg4"},
    {"norate_ntsc.nut", "-f lavfi -i testsrc2=size=64x48:rate=30000/1001:duration=2 -c:v mpeg4"},
    {"video.m1v", "-f lavfi -i testsrc2=size=176x144:rate=25:duration=1 -c:v mpeg1video -f mpeg1video"},
};

std::mutex g_mutex;
std::string g_dir;
std::map<std::string, std::string> g_made;

void RemoveDir() {
    if (!g_dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(g_dir, ec);
    }
}

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}
void PutId(std::vector<std::uint8_t>& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(id[i]));
}
void Patch32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

std::string TempDir() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_dir.empty()) {
        char tmpl[] = "/tmp/reelcast-media-XXXXXX";
        if (!mkdtemp(tmpl)) return {};
        g_dir = tmpl;
        std::atexit(RemoveDir);
    }
    return g_dir;
}

std::string RealFootage() {
    const std::string p = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? p : std::string();
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Capture(const std::string& command) {
    testshell::CommandResult r = testshell::RunCommand(command);
    return r.status == 0 ? std::move(r.out) : std::string();
}

std::string Clip(const std::string& name) {
    const std::string dir = TempDir();
    std::lock_guard<std::mutex> lock(g_mutex);
    if (auto it = g_made.find(name); it != g_made.end()) return it->second;
    for (const Recipe& r : kRecipes) {
        if (name != r.name) continue;
        const std::string out = dir + "/" + name;
        const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " +
                                std::string(r.args) + " " + out + " </dev/null";
        const std::string path = Run(cmd) ? out : std::string();
        g_made[name] = path;
        return path;
    }
    return {};
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

void AviPalette(int i, std::uint8_t bgr[3]) {
    bgr[0] = static_cast<std::uint8_t>(i * 16 + 1);
    bgr[1] = static_cast<std::uint8_t>(255 - i * 8);
    bgr[2] = static_cast<std::uint8_t>(i * 5 + 100);
}

std::uint8_t AviPixel(const AviSpec& s, int frame, int x, int y, int component) {
    if (s.bitCount == 8) return static_cast<std::uint8_t>((x + 2 * y + frame) % s.paletteEntries);
    return static_cast<std::uint8_t>(x * 7 + y * 13 + frame * 29 + component * 50);
}

std::vector<std::uint8_t> BuildAvi(const AviSpec& s) {
    const int bpp = s.bitCount / 8;
    const std::uint32_t row = ((s.width * s.bitCount + 31) / 32) * 4;
    const std::uint32_t image = row * s.height;
    const std::uint32_t palBytes = s.bitCount == 8 ? 4 * s.paletteEntries : 0;
    std::vector<std::uint8_t> b;
    PutId(b, "RIFF");
    Put32(b, 0);
    PutId(b, "AVI ");
    PutId(b, "LIST");
    const std::size_t hdrlSize = b.size();
    Put32(b, 0);
    PutId(b, "hdrl");
    PutId(b, "avih");
    Put32(b, 56);
    Put32(b, 1000000 * s.scale / (s.rate ? s.rate : 1));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0x10);  // has index
    Put32(b, s.frames);
    Put32(b, 0);
    Put32(b, 1);
    Put32(b, image);
    Put32(b, s.width);
    Put32(b, s.height);
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    PutId(b, "LIST");
    const std::size_t strlSize = b.size();
    Put32(b, 0);
    PutId(b, "strl");
    PutId(b, "strh");
    Put32(b, 56);
    PutId(b, "vids");
    Put32(b, 0);  // handler: uncompressed
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, s.scale);
    Put32(b, s.rate);
    Put32(b, 0);
    Put32(b, s.frames);
    Put32(b, image);
    Put32(b, 0xFFFFFFFF);
    Put32(b, 0);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, s.frameRect ? s.width : 0);
    Put16(b, s.frameRect ? s.height : 0);
    PutId(b, "strf");
    Put32(b, 40 + palBytes);
    Put32(b, 40);
    Put32(b, s.width);
    Put32(b, s.height);
    Put16(b, 1);
    Put16(b, s.bitCount);
    Put32(b, 0);
    Put32(b, image);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, s.clrUsed);
    Put32(b, 0);
    for (int i = 0; i < s.paletteEntries && s.bitCount == 8; ++i) {
        std::uint8_t bgr[3];
        AviPalette(i, bgr);
        b.insert(b.end(), bgr, bgr + 3);
        b.push_back(0);
    }
    Patch32(b, strlSize, static_cast<std::uint32_t>(b.size() - strlSize - 4));
    Patch32(b, hdrlSize, static_cast<std::uint32_t>(b.size() - hdrlSize - 4));
    PutId(b, "LIST");
    const std::size_t moviSize = b.size();
    Put32(b, 0);
    PutId(b, "movi");
    std::vector<std::uint32_t> offsets;
    for (int f = 0; f < s.frames; ++f) {
        offsets.push_back(static_cast<std::uint32_t>(b.size() - moviSize - 4));
        PutId(b, "00db");
        Put32(b, image);
        // Bottom-up rows: the file's first row is the picture's last.
        for (int yy = s.height - 1; yy >= 0; --yy) {
            std::uint32_t n = 0;
            for (int x = 0; x < s.width; ++x)
                for (int c = 0; c < bpp; ++c, ++n) b.push_back(AviPixel(s, f, x, yy, c));
            for (; n < row; ++n) b.push_back(0);
        }
    }
    Patch32(b, moviSize, static_cast<std::uint32_t>(b.size() - moviSize - 4));
    PutId(b, "idx1");
    Put32(b, 16 * s.frames);
    for (int f = 0; f < s.frames; ++f) {
        PutId(b, "00db");
        Put32(b, 0x10);
        Put32(b, offsets[f]);
        Put32(b, image);
    }
    Patch32(b, 4, static_cast<std::uint32_t>(b.size() - 8));
    return b;
}

}  // namespace media_test
