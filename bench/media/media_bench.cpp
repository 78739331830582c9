// Reading every picture of a 720p H.264 clip through the frame source
// (VIDEODATADLL) at the clip's own rate and size, beside a plain decode of the
// same file with libavformat/libavcodec in the same run. The clip is made at
// start with ffmpeg (testsrc2, 1280x720, 25 fps, 10 s; libx264, else MPEG-4) in
// an AVI, read by the AVIFile reader, and in an MP4, read by the DirectShow
// reader. Both sides decode with the same automatic thread count.
//
// Pictures per second are given per wall second and per processor second of the
// whole process (decoder threads included), the latter being the steadier figure
// on a shared machine; the summary at the end gives the ratio frame source /
// plain decode for each container.
//
//   bench_media [--seconds=N] [benchmark flags]
//   REELCAST_BENCH_MEDIA_DIR=folder: read clip.avi / clip.mp4 made before from there
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/core/ComponentHandle.h"
#include "engine/media/IVideoFrameSource.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr double kRate = 25.0;
int g_seconds = 10;

std::string g_dir;
std::string g_codec;
bool g_keep = false;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

bool Run(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

bool HasEncoder(const char* name) {
    const std::string cmd =
        std::string("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' ") + name + " '";
    return Run(cmd);
}

// Makes clip.avi and clip.mp4 (the same coded stream) once.
bool MakeClips() {
    if (!g_dir.empty()) return true;
    // A folder that already holds the clips (for profiling the reading alone).
    if (const char* keep = std::getenv("REELCAST_BENCH_MEDIA_DIR")) {
        g_dir = keep;
        g_keep = true;
        g_codec = "as found in " + g_dir;
        return true;
    }
    char tmpl[] = "/tmp/reelcast-bench-media-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    g_dir = tmpl;
    g_codec = HasEncoder("libx264") ? "libx264 -preset fast -pix_fmt yuv420p" : "mpeg4 -q:v 3";
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=%dx%d:rate=%g:duration=%d "
                  "-c:v %s -y '%s/clip.avi' && ffmpeg -nostdin -v error -i '%s/clip.avi' -c copy "
                  "-y '%s/clip.mp4'",
                  kWidth, kHeight, kRate, g_seconds, g_codec.c_str(), g_dir.c_str(), g_dir.c_str(),
                  g_dir.c_str());
    return Run(cmd);
}

struct Figure {
    double pictures = 0;
    double wall = 0;
    double cpu = 0;
};
std::map<std::string, Figure> g_figures;


double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Every picture through the frame source, one buffer for the whole run. Answers
// the pictures read, -1 when the source cannot open the file.
int ReadThroughSource(const std::string& path, std::vector<std::uint8_t>* buffer) {
    const std::uint32_t count = static_cast<std::uint32_t>(g_seconds * kRate);
    const auto src = reelcast::core::MakeHandle<reelcast::IVideoFrameSource>("VIDEODATADLL");
    if (!src || !src->Open(path.c_str(), kWidth, kHeight, kRate)) return -1;
    std::uint32_t size = 0;
    src->GetFrame(0, nullptr, &size);
    buffer->resize(size);
    int got = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t n = size;
        if (src->GetFrame(i, buffer->data(), &n)) ++got;
    }
    benchmark::DoNotOptimize(buffer->data());
    return got;
}

// libavformat + libavcodec alone: every packet of the video stream decoded, no
// conversion of the pictures. Answers the pictures decoded, -1 on failure.
int PlainDecode(const std::string& path) {
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return -1;
    if (avformat_find_stream_info(fmt, nullptr) < 0) {
        avformat_close_input(&fmt);
        return -1;
    }
    const int vs = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = vs >= 0 ? avcodec_find_decoder(fmt->streams[vs]->codecpar->codec_id) : nullptr;
    AVCodecContext* dec = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!dec || avcodec_parameters_to_context(dec, fmt->streams[vs]->codecpar) < 0) {
        avcodec_free_context(&dec);
        avformat_close_input(&fmt);
        return -1;
    }
    dec->thread_count = 0;
    int got = -1;
    if (avcodec_open2(dec, codec, nullptr) >= 0) {
        got = 0;
        AVPacket* pkt = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(dec, frame) >= 0) {
                ++got;
                av_frame_unref(frame);
            }
        };
        while (av_read_frame(fmt, pkt) >= 0) {
            if (pkt->stream_index == vs) {
                avcodec_send_packet(dec, pkt);
                drain();
            }
            av_packet_unref(pkt);
        }
        avcodec_send_packet(dec, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&pkt);
    }
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
    return got;
}

// Each iteration reads the whole clip both ways, one after the other, so that
// both see the same load on a shared machine.
void BM_SourceAndPlain(benchmark::State& state, const char* file) {
    if (!MakeClips()) {
        state.SkipWithError("cannot make the clip");
        return;
    }
    const std::string path = g_dir + "/" + file;
    const int count = static_cast<int>(g_seconds * kRate);
    std::vector<std::uint8_t> buffer;
    Figure plain, source;
    for (auto _ : state) {
        double w = WallSeconds(), c = ProcessCpuSeconds();
        const int p = PlainDecode(path);
        plain.wall += WallSeconds() - w;
        plain.cpu += ProcessCpuSeconds() - c;
        plain.pictures += p;
        w = WallSeconds();
        c = ProcessCpuSeconds();
        const int s = ReadThroughSource(path, &buffer);
        source.wall += WallSeconds() - w;
        source.cpu += ProcessCpuSeconds() - c;
        source.pictures += s;
        if (p != count || s != count) {
            state.SkipWithError("not every picture could be read");
            return;
        }
    }
    for (const auto& [name, f] : {std::pair{"plain", plain}, std::pair{"source", source}}) {
        Figure& g = g_figures[std::string(name) + " " + file];
        g.pictures += f.pictures;
        g.wall += f.wall;
        g.cpu += f.cpu;
        state.counters[std::string(name) + "_pics/s_cpu"] = f.pictures / f.cpu;
    }
    state.counters["ratio_cpu"] = (source.pictures / source.cpu) / (plain.pictures / plain.cpu);
    state.counters["ratio_wall"] = (source.pictures / source.wall) / (plain.pictures / plain.wall);
}

void Summary() {
    if (g_figures.empty()) return;
    std::printf("\nclip: testsrc2 %dx%d %g fps %d s, %s\n", kWidth, kHeight, kRate, g_seconds,
                g_codec.c_str());
    std::printf("%-22s %12s %12s\n", "", "pics/s wall", "pics/s cpu");
    for (const auto& [key, f] : g_figures)
        std::printf("%-22s %12.1f %12.1f\n", key.c_str(), f.pictures / f.wall, f.pictures / f.cpu);
    for (const char* file : {"clip.avi", "clip.mp4"}) {
        const auto s = g_figures.find(std::string("source ") + file);
        const auto p = g_figures.find(std::string("plain ") + file);
        if (s == g_figures.end() || p == g_figures.end()) continue;
        const Figure& a = s->second;
        const Figure& b = p->second;
        std::printf("ratio %-16s %12.3f %12.3f   (target 0.8)\n", file,
                    (a.pictures / a.wall) / (b.pictures / b.wall),
                    (a.pictures / a.cpu) / (b.pictures / b.cpu));
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_SourceAndPlain, avi, "clip.avi")->Iterations(4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SourceAndPlain, mp4, "clip.mp4")->Iterations(4)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) g_seconds = std::atoi(argv[i] + 10);
    }
    if (g_seconds <= 0) g_seconds = 10;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Summary();
    if (!g_dir.empty() && !g_keep) Run("rm -rf '" + g_dir + "'");
    return 0;
}
