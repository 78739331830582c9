#include "tests/mpeg_video/VideoTestSupport.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/core/Factories.h"
#include "engine/mpeg/video/CodingMode.h"
#include "engine/mpeg/video/MpegVideoEncoder.h"
#include "engine/mpeg/video/kernels/Cpu.h"
#include "../TestShell.h"

namespace reelcast::testing {

std::string TempDir() {
    // Removed with the object itself at exit, so no handler outlives the path.
    struct Dir {
        std::string path;
        Dir() {
            path = std::filesystem::temp_directory_path().string() + "/reelcast_video_" +
                   std::to_string(getpid());
            std::filesystem::create_directories(path);
        }
        ~Dir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Dir dir;
    return dir.path;
}

bool RunCommand(const std::string& cmd, std::string* output) {
    // Commands that route their own error stream keep it.
    std::string full = cmd.find(" 2> ") == std::string::npos ? cmd + " 2>&1" : cmd;
    testshell::CommandResult r = testshell::RunCommand(full);
    if (output) *output = std::move(r.out);
    return r.status == 0;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

YuvClip ReadYuv(const std::string& path, int width, int height) {
    YuvClip c;
    c.width = width;
    c.height = height;
    const std::vector<std::uint8_t> all = ReadFile(path);
    const std::size_t fs = c.FrameSize();
    for (std::size_t off = 0; fs && off + fs <= all.size(); off += fs)
        c.frames.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(off),
                              all.begin() + static_cast<std::ptrdiff_t>(off + fs));
    return c;
}

static int g_clipCounter = 0;

YuvClip MakeLavfiClip(const std::string& source, int width, int height, double fps, int n) {
    const std::string out = TempDir() + "/lavfi" + std::to_string(++g_clipCounter) + ".yuv";
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "ffmpeg -v error -y -f lavfi -i %s=size=%dx%d:rate=%g -frames:v %d -pix_fmt yuv420p "
                  "-f rawvideo '%s'",
                  source.c_str(), width, height, fps, n, out.c_str());
    if (!RunCommand(cmd)) return YuvClip{};
    YuvClip c = ReadYuv(out, width, height);
    std::remove(out.c_str());
    return c;
}

YuvClip MakeFileClip(const std::string& path, int width, int height, double fps, int n, int skip) {
    const std::string out = TempDir() + "/file" + std::to_string(++g_clipCounter) + ".yuv";
    char cmd[2048];
    std::snprintf(cmd, sizeof cmd,
                  "ffmpeg -v error -y -i '%s' -vf 'fps=%g,scale=%d:%d,select=gte(n\\,%d)' -frames:v %d "
                  "-pix_fmt yuv420p -f rawvideo '%s'",
                  path.c_str(), fps, width, height, skip, n, out.c_str());
    if (!RunCommand(cmd)) return YuvClip{};
    YuvClip c = ReadYuv(out, width, height);
    std::remove(out.c_str());
    return c;
}

std::string MediaFile() {
    const std::string p = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
    return std::filesystem::exists(p) ? p : std::string();
}

EncodeResult Encode(const YuvClip& clip, const EncodeSettings& es, bool keepReconstruction) {
    EncodeResult r;
    auto* enc = core::New<IMpegVideoEncoder>("MPGLIB_VIDEO");
    if (!enc) return r;
    RecordingMux mux;
    enc->SetMultiplexer(&mux);
    const int total = es.totalPictures >= 0 ? es.totalPictures : static_cast<int>(clip.frames.size());
    enc->SetPictureFormat(1, es.bitRate, es.frameRateCode, clip.width, clip.height, 15, total);
    enc->DetectProcessor();
    mpeg::video::SetCodingMode(*enc, mpeg::video::CodingModeOf(static_cast<mpeg::CodingKind>(es.kind), es.frameRate,
                                                                es.frameRateCode, es.cbr));
    auto* concrete = static_cast<mpeg::video::MpegVideoEncoder*>(enc);
    const int w = clip.width;
    const int h = clip.height;
    if (keepReconstruction) {
        concrete->SetReconstructionObserver(
            [&r, w, h](int d, const mpeg::video::PictureStore& rec, const mpeg::video::Geometry& g) {
                std::vector<std::uint8_t> f(static_cast<std::size_t>(w) * h * 3 / 2);
                for (int y = 0; y < h; ++y) std::memcpy(&f[static_cast<std::size_t>(y) * w], rec.y + y * g.lumaWidth, w);
                std::uint8_t* cb = f.data() + static_cast<std::size_t>(w) * h;
                std::uint8_t* cr = cb + static_cast<std::size_t>(w / 2) * (h / 2);
                for (int y = 0; y < h / 2; ++y) {
                    std::memcpy(cb + y * (w / 2), rec.cb + y * g.chromaWidth, w / 2);
                    std::memcpy(cr + y * (w / 2), rec.cr + y * g.chromaWidth, w / 2);
                }
                r.reconstruction[d] = std::move(f);
            });
    }
    const std::uint32_t savedMask = kernels::CpuMask();
    if (es.forcePortable) kernels::ForcePortableKernels(true);
    bool ok = enc->Start();
    std::vector<std::uint8_t> buf(1 << 20);
    auto drain = [&] {
        for (;;) {
            const int n = enc->ReadStream(buf.data(), static_cast<int>(buf.size()));
            if (n <= 0) break;
            r.stream.insert(r.stream.end(), buf.begin(), buf.begin() + n);
        }
    };
    const std::size_t ls = static_cast<std::size_t>(w) * h;
    for (std::size_t i = 0; ok && i < clip.frames.size(); ++i) {
        const std::vector<std::uint8_t>& f = clip.frames[i];
        VideoFrame vf{w, h, 1, const_cast<std::uint8_t*>(f.data()), const_cast<std::uint8_t*>(f.data() + ls),
                      const_cast<std::uint8_t*>(f.data() + ls + ls / 4)};
        bool coded = true;
        if (!enc->PutFrame(&vf, &coded, static_cast<int>(i)) || !coded) ok = false;
        drain();
    }
    if (ok) enc->Stop();
    drain();
    kernels::SetCpuMask(savedMask);
    const mpeg::video::EncoderStats st = concrete->Stats();
    r.vbvOverflows = st.vbv.overflows;
    r.vbvUnderflows = st.vbv.underflows;
    r.pictures = mux.pictures;
    r.ok = ok;
    enc->FreeStream();
    enc->Release();
    return r;
}

bool DecodeWithFfmpeg(const std::string& file, int width, int height, YuvClip* out, std::string* log) {
    const std::string yuv = file + ".ffdec.yuv";
    std::string output;
    const bool ok = RunCommand("ffmpeg -v error -nostdin -y -xerror -err_detect explode -i '" + file +
                                   "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" + yuv + "'",
                               &output);
    if (log) *log = output;
    if (out) *out = ReadYuv(yuv, width, height);
    std::remove(yuv.c_str());
    return ok && output.empty();
}

bool DecodeStreamWithFfmpeg(const std::vector<std::uint8_t>& stream, const std::string& name, int width,
                            int height, YuvClip* out, std::string* log) {
    const std::string file = TempDir() + "/" + name;
    if (!WriteFile(file, stream)) {
        if (log) *log = "cannot write " + file;
        return false;
    }
    const bool ok = DecodeWithFfmpeg(file, width, height, out, log);
    std::remove(file.c_str());
    return ok;
}

bool DecodeWithMpeg2dec(const std::string& file, int width, int height, YuvClip* out, std::string* log) {
    // pgmpipe writes one P5 image per picture: luma, then the two chroma planes
    // side by side, (height * 3 / 2) rows of the coded width.
    const std::string pgm = file + ".pgm";
    const std::string err = file + ".mpeg2dec.log";
    const bool ran = RunCommand("mpeg2dec -o pgmpipe '" + file + "' > '" + pgm + "' 2> '" + err + "'");
    const std::vector<std::uint8_t> errBytes = ReadFile(err);
    std::remove(err.c_str());
    // Besides its banner and the closing count mpeg2dec prints only complaints.
    std::string output;
    std::string line;
    for (std::uint8_t ch : errBytes) {
        if (ch != '\n') {
            line += static_cast<char>(ch);
            continue;
        }
        if (!line.empty() && line.rfind("libmpeg2-", 0) != 0 && line.find("frames decoded") == std::string::npos)
            output += line + "\n";
        line.clear();
    }
    if (!line.empty() && line.find("frames decoded") == std::string::npos) output += line;
    const bool ok = ran;
    if (log) *log = output;
    const std::vector<std::uint8_t> all = ReadFile(pgm);
    std::remove(pgm.c_str());
    YuvClip c;
    c.width = width;
    c.height = height;
    std::size_t pos = 0;
    while (pos < all.size()) {
        int pw = 0, ph = 0, maxv = 0, consumed = 0;
        const std::string head(reinterpret_cast<const char*>(all.data() + pos),
                               std::min<std::size_t>(64, all.size() - pos));
        if (std::sscanf(head.c_str(), "P5 %d %d %d%n", &pw, &ph, &maxv, &consumed) != 3) break;
        pos += static_cast<std::size_t>(consumed) + 1;
        const std::size_t size = static_cast<std::size_t>(pw) * ph;
        if (pos + size > all.size()) break;
        const std::uint8_t* img = all.data() + pos;
        const int codedH = ph * 2 / 3;
        std::vector<std::uint8_t> f(c.FrameSize());
        for (int y = 0; y < height; ++y) std::memcpy(&f[static_cast<std::size_t>(y) * width], img + y * pw, width);
        std::uint8_t* cb = f.data() + static_cast<std::size_t>(width) * height;
        std::uint8_t* cr = cb + static_cast<std::size_t>(width / 2) * (height / 2);
        for (int y = 0; y < height / 2; ++y) {
            std::memcpy(cb + y * (width / 2), img + (codedH + y) * pw, width / 2);
            std::memcpy(cr + y * (width / 2), img + (codedH + y) * pw + pw / 2, width / 2);
        }
        c.frames.push_back(std::move(f));
        pos += size;
    }
    if (out) *out = std::move(c);
    return ok && output.empty();
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, std::size_t n) {
    double se = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        se += d * d;
    }
    if (se == 0.0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / se);
}

double ClipPsnr(const YuvClip& a, const YuvClip& b) {
    double se = 0.0;
    std::size_t n = 0;
    const std::size_t frames = std::min(a.frames.size(), b.frames.size());
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t size = std::min(a.frames[f].size(), b.frames[f].size());
        for (std::size_t i = 0; i < size; ++i) {
            const double d = static_cast<double>(a.frames[f][i]) - b.frames[f][i];
            se += d * d;
        }
        n += size;
    }
    if (n == 0) return 0.0;
    if (se == 0.0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / se);
}

std::vector<StartCodeUnit> FindStartCodes(const std::vector<std::uint8_t>& s) {
    std::vector<StartCodeUnit> v;
    for (std::size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            v.push_back({0x100u | s[i + 3], i + 4});
            i += 3;
        }
    }
    return v;
}

std::uint32_t BitReader::Get(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const std::size_t byte = pos_ / 8;
        const int bit = (byte < s_.size()) ? (s_[byte] >> (7 - pos_ % 8)) & 1 : 0;
        v = (v << 1) | static_cast<std::uint32_t>(bit);
        ++pos_;
    }
    return v;
}

std::vector<ParsedPicture> ParsePictures(const std::vector<std::uint8_t>& s) {
    std::vector<ParsedPicture> out;
    bool group = false, sequence = false, closed = false;
    std::uint32_t tc = 0;
    for (const StartCodeUnit& u : FindStartCodes(s)) {
        BitReader br(s, u.offset);
        if (u.code == 0x1B3) {
            sequence = true;
        } else if (u.code == 0x1B8) {
            group = true;
            tc = br.Get(25);
            closed = br.Get(1) != 0;
        } else if (u.code == 0x100) {
            ParsedPicture p{};
            p.temporalReference = static_cast<int>(br.Get(10));
            p.type = static_cast<int>(br.Get(3));
            p.vbvDelay = static_cast<int>(br.Get(16));
            if (p.type == 2 || p.type == 3) {
                br.Get(1);
                p.forwardFCode = static_cast<int>(br.Get(3));
            }
            if (p.type == 3) {
                br.Get(1);
                p.backwardFCode = static_cast<int>(br.Get(3));
            }
            p.afterGroup = group;
            p.afterSequence = sequence;
            p.timeCode = tc;
            p.closedGop = closed;
            group = sequence = false;
            out.push_back(p);
        } else if (u.code == 0x1B5 && !out.empty()) {
            if (br.Get(4) == 8) {
                for (int& f : out.back().fCode) f = static_cast<int>(br.Get(4));
            }
        }
    }
    return out;
}

}  // namespace reelcast::testing
