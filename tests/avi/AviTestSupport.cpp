#include "AviTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "TestShell.h"

namespace avitest {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/reelcast-avi-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
    if (!path_.empty()) Run("rm -rf " + Quote(path_));
}

std::string Quote(const std::string& s) { return testshell::Quote(s); }

std::string Run(const std::string& command, int* status) {
    testshell::CommandResult r = testshell::RunCommand(command);
    if (status) *status = r.status;
    return std::move(r.out);
}

bool HaveTool(const char* name) { return testshell::HaveProgram(name); }

bool FileExists(const std::string& path) {
    struct stat s;
    return stat(path.c_str(), &s) == 0;
}

std::uint64_t FileSize(const std::string& path) {
    struct stat s;
    return stat(path.c_str(), &s) == 0 ? std::uint64_t(s.st_size) : 0;
}

namespace {

// ffprobe's key=value entries of each stream it shows.
std::vector<std::map<std::string, std::string>> ShowStreams(const std::string& options, const std::string& path) {
    std::vector<std::map<std::string, std::string>> out;
    const std::string text = Run("ffprobe -v error " + options + " -show_streams " + Quote(path) + " 2>/dev/null");
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "[STREAM]") {
            out.emplace_back();
        } else if (!out.empty() && line.find('=') != std::string::npos && line[0] != '[') {
            const auto eq = line.find('=');
            out.back()[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return out;
}

}  // namespace

std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& path) { return ShowStreams("", path); }

std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& selector) {
    auto streams = ShowStreams("-select_streams " + selector, path);
    return streams.empty() ? std::map<std::string, std::string>() : streams.front();
}

bool DecodesCleanly(const std::string& path, std::string* errors) {
    int st = 0;
    const std::string err =
        Run("ffmpeg -nostdin -v error -xerror -err_detect explode -i " + Quote(path) + " -f null - 2>&1", &st);
    if (errors) *errors = err;
    return st == 0 && err.empty();
}

double DecodedAudioSeconds(const std::string& path, int sampleRate, int channels) {
    const std::string n = Run("ffmpeg -nostdin -v error -i " + Quote(path) + " -map 0:a:0 -f s16le -ac " +
                              std::to_string(channels) + " -ar " + std::to_string(sampleRate) +
                              " - 2>/dev/null | wc -c");
    return double(std::strtoull(n.c_str(), nullptr, 10)) / (2.0 * channels * sampleRate);
}

int DecodedVideoFrames(const std::string& path) {
    const std::string n = Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=nb_read_frames -of csv=p=0 " + Quote(path) + " 2>/dev/null");
    return std::atoi(n.c_str());
}

double FirstPictureSeconds(const std::string& path) {
    return std::atof(Run("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "
                         "-read_intervals %+#1 " + Quote(path) + " 2>/dev/null").c_str());
}

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return std::uint32_t(d[at]) | std::uint32_t(d[at + 1]) << 8 | std::uint32_t(d[at + 2]) << 16 |
           std::uint32_t(d[at + 3]) << 24;
}
std::string Cc(const std::vector<std::uint8_t>& d, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(&d[at]), 4);
}

// Walks chunks in [begin, end); false on any size that does not fit.
bool Walk(const std::vector<std::uint8_t>& d, std::size_t begin, std::size_t end, AviLayout& L,
          const std::string& listType) {
    std::size_t at = begin;
    while (at + 8 <= end) {
        const std::string id = Cc(d, at);
        const std::uint32_t size = U32(d, at + 4);
        const std::size_t body = at + 8;
        if (body + size > end) {
            L.error = "chunk " + id + " overruns its list";
            return false;
        }
        if (id == "LIST") {
            if (size < 4) return false;
            const std::string type = Cc(d, body);
            if (type == "strl") L.streams.emplace_back();
            if (type != "movi" && !Walk(d, body + 4, body + size, L, type)) return false;
        } else if (id == "avih" && size >= 56) {
            L.avihMicroSecPerFrame = U32(d, body);
            L.avihTotalFrames = U32(d, body + 16);
        } else if (id == "strh" && size >= 56 && !L.streams.empty()) {
            AviStream& s = L.streams.back();
            s.fccType = Cc(d, body);
            s.fccHandler = Cc(d, body + 4);
            s.scale = U32(d, body + 20);
            s.rate = U32(d, body + 24);
            s.start = U32(d, body + 28);
            s.length = U32(d, body + 32);
            s.suggestedBuffer = U32(d, body + 36);
            s.sampleSize = U32(d, body + 44);
        } else if (id == "strf" && !L.streams.empty()) {
            L.streams.back().format.assign(d.begin() + long(body), d.begin() + long(body + size));
        } else if (id == "strn" && !L.streams.empty()) {
            L.streams.back().name = std::string(reinterpret_cast<const char*>(&d[body]), strnlen(
                reinterpret_cast<const char*>(&d[body]), size));
        } else if (id == "indx" && !L.streams.empty() && size >= 24) {
            L.streams.back().superIndexEntries = U32(d, body + 4);
        } else if (id == "vprp" && !L.streams.empty() && size >= 36) {
            L.streams.back().frameAspect = U32(d, body + 20);
        } else if (id == "dmlh" && size >= 4) {
            L.dmlhTotalFrames = U32(d, body);
        } else if (id == "idx1") {
            L.idx1Entries = size / 16;
        }
        (void)listType;
        at = body + size + (size & 1);
    }
    return at == end || at == end + 1;
}

}  // namespace

AviLayout ReadAviLayout(const std::string& path) {
    AviLayout L;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t at = 0;
    while (at + 12 <= d.size()) {
        if (Cc(d, at) != "RIFF") {
            L.error = "not a RIFF list at " + std::to_string(at);
            return L;
        }
        const std::uint32_t size = U32(d, at + 4);
        if (at + 8 + size > d.size()) {
            L.error = "RIFF list overruns the file";
            return L;
        }
        L.riffForms.push_back(Cc(d, at + 8));
        if (!Walk(d, at + 12, at + 8 + size, L, "RIFF")) {
            if (L.error.empty()) L.error = "bad chunk sizes";
            return L;
        }
        at += 8 + size + (size & 1);
    }
    L.ok = at == d.size() && !L.riffForms.empty();
    if (!L.ok && L.error.empty()) L.error = "trailing bytes";
    return L;
}

std::vector<std::uint8_t> TestPicture(int w, int h, int n) {
    const std::size_t stride = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
    std::vector<std::uint8_t> p(stride * std::size_t(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* px = &p[std::size_t(y) * stride + std::size_t(x) * 3];
            px[0] = std::uint8_t(x * 3 + n * 4);
            px[1] = std::uint8_t(y * 3 + n * 2);
            px[2] = std::uint8_t(((x / 8 + y / 8) & 1) ? 200 : 40);
        }
    return p;
}

bool MakeSource(const std::string& path, int width, int height, double fps, double seconds, int sampleRate,
                const std::string& videoCodec) {
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=%dx%d:rate=%g -f lavfi -i "
                  "sine=frequency=440:sample_rate=%d -t %g -c:v %s -q:v 4 -c:a pcm_s16le -ac 2 %s 2>&1",
                  width, height, fps, sampleRate, seconds, videoCodec.c_str(), Quote(path).c_str());
    int st = 0;
    Run(cmd, &st);
    return st == 0 && FileExists(path);
}

double LumaPsnrAgainstSource(const std::string& out, const std::string& src, int width, int height) {
    const std::string lavfi = "[1:v]scale=" + std::to_string(width) + ":" + std::to_string(height) +
                              ":flags=bicubic,format=yuv420p[r];[0:v]format=yuv420p[o];[o][r]psnr";
    const std::string y = Run("ffmpeg -nostdin -i " + Quote(out) + " -i " + Quote(src) + " -lavfi '" + lavfi +
                              "' -f null - 2>&1 | grep -o 'PSNR y:[0-9.]*' | tail -1");
    return y.size() > 7 ? std::atof(y.c_str() + 7) : 0.0;
}

}  // namespace avitest
