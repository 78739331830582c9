// Our video encoder against FFmpeg's mpeg2video / mpeg1video on the same real
// footage, one thread each, same group structure (15 pictures, two B pictures
// between anchors) and the same constant bit rate: pictures per second, and
// PSNR / SSIM of each stream against the source measured by the same ffmpeg
// filters. FFmpeg runs as its command-line program; both are timed by
// processor time (FFmpeg's as it reports it with -benchmark, which includes
// reading the raw pictures), so a busy machine does not skew the ratio.
//
//   bench_mpeg_video [--pictures=N] [benchmark flags]
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "tests/mpeg_video/VideoTestSupport.h"

namespace {

using namespace reelcast::testing;

int g_pictures = 250;

struct Setup {
    const char* name;
    int kind;
    int width;
    int height;
    double bitRate;
    int vbvUnits;
    const char* ffCodec;
};

const Setup kSetups[] = {
    {"mpeg2_720x576_2376k", 2, 720, 576, 2376000.0, 112, "mpeg2video"},
    {"mpeg1_352x288_1150k", 0, 352, 288, 1150000.0, 20, "mpeg1video"},
};

struct Source {
    YuvClip clip;
    std::string yuvPath;
};

const Source& SourceFor(const Setup& s) {
    static std::map<std::string, Source> cache;
    auto it = cache.find(s.name);
    if (it != cache.end()) return it->second;
    Source src;
    if (!MediaFile().empty()) {
        src.clip = MakeFileClip(MediaFile(), s.width, s.height, 25.0, g_pictures, 0);
        src.yuvPath = TempDir() + "/" + s.name + ".yuv";
        std::vector<std::uint8_t> all;
        for (const auto& f : src.clip.frames) all.insert(all.end(), f.begin(), f.end());
        WriteFile(src.yuvPath, all);
    }
    return cache.emplace(s.name, std::move(src)).first->second;
}

struct Quality {
    double psnr = 0.0;
    double ssim = 0.0;
    int frames = 0;
};

Quality Measure(const std::string& coded, const Setup& s, const std::string& yuv) {
    // Pictures are paired by their position in display order.
    char cmd[2048];
    Quality q;
    for (const char* filter : {"psnr", "ssim"}) {
        std::snprintf(cmd, sizeof cmd,
                      "ffmpeg -nostdin -hide_banner -i '%s' -f rawvideo -pix_fmt yuv420p -s %dx%d -r 25 -i '%s' "
                      "-lavfi '[0:v]settb=1/25,setpts=N[a];[1:v]settb=1/25,setpts=N[b];[a][b]%s' -f null -",
                      coded.c_str(), s.width, s.height, yuv.c_str(), filter);
        std::string out;
        RunCommand(cmd, &out);
        const char* p = std::strstr(out.c_str(), filter[0] == 'p' ? "] PSNR" : "] SSIM");
        if (p && filter[0] == 'p' && (p = std::strstr(p, "average:"))) q.psnr = std::atof(p + 8);
        if (p && filter[0] == 's' && (p = std::strstr(p, "All:"))) q.ssim = std::atof(p + 4);
    }
    std::string out;
    std::snprintf(cmd, sizeof cmd, "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                  "stream=nb_read_frames -of csv=p=0 '%s'", coded.c_str());
    if (RunCommand(cmd, &out)) q.frames = std::atoi(out.c_str());
    return q;
}

std::map<std::string, double> g_fps;
std::map<std::string, std::uint64_t> g_hash;

// FNV-1a of our stream: speed work must leave the bytes as they were.
std::uint64_t Fnv1a(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

void Report(benchmark::State& state, const std::string& key, double seconds, int pictures,
            std::size_t bytes, const Quality& q) {
    const double fps = pictures / seconds;
    g_fps[key] = fps;
    state.counters["pictures/s"] = fps;
    state.counters["kbit/s"] = bytes * 8.0 * 25.0 / pictures / 1000.0;
    state.counters["PSNR"] = q.psnr;
    state.counters["SSIM"] = q.ssim;
    state.counters["decoded"] = q.frames;
}

void BM_Ours(benchmark::State& state, const Setup* s) {
    const Source& src = SourceFor(*s);
    if (src.clip.frames.empty()) {
        state.SkipWithError("footage not present");
        return;
    }
    EncodeSettings es;
    es.kind = s->kind;
    es.bitRate = s->bitRate;
    EncodeResult r;
    double seconds = 0.0;
    for (auto _ : state) {
        // Processor time of this (single-threaded) process: steady under a loaded machine.
        const std::clock_t c0 = std::clock();
        r = Encode(src.clip, es);
        seconds = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        state.SetIterationTime(seconds);
    }
    const std::string file = TempDir() + "/ours_" + s->name + (s->kind <= 1 ? ".m1v" : ".m2v");
    WriteFile(file, r.stream);
    g_hash[s->name] = Fnv1a(r.stream);
    Report(state, std::string("ours_") + s->name, seconds, static_cast<int>(src.clip.frames.size()),
           r.stream.size(), Measure(file, *s, src.yuvPath));
}

void BM_FFmpeg(benchmark::State& state, const Setup* s) {
    const Source& src = SourceFor(*s);
    if (src.clip.frames.empty()) {
        state.SkipWithError("footage not present");
        return;
    }
    const std::string file = TempDir() + "/ffmpeg_" + s->name + (s->kind <= 1 ? ".m1v" : ".m2v");
    double seconds = 0.0;
    for (auto _ : state) {
        char cmd[2048];
        const int kbps = static_cast<int>(s->bitRate / 1000.0);
        std::snprintf(cmd, sizeof cmd,
                      "ffmpeg -nostdin -hide_banner -benchmark -y -threads 1 -f rawvideo -pix_fmt yuv420p "
                      "-s %dx%d -r 25 -i '%s' -c:v %s -threads 1 -g 15 -bf 2 -b:v %dk -minrate %dk -maxrate %dk "
                      "-bufsize %d -f %s '%s'",
                      s->width, s->height, src.yuvPath.c_str(), s->ffCodec, kbps, kbps, kbps, s->vbvUnits * 16384,
                      s->kind <= 1 ? "mpeg1video" : "mpeg2video", file.c_str());
        std::string out;
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = RunCommand(cmd, &out);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        // The program's own account of its processor time (user + system), as for ours.
        const char* ut = std::strstr(out.c_str(), "utime=");
        const char* st = std::strstr(out.c_str(), "stime=");
        if (ut && st) seconds = std::atof(ut + 6) + std::atof(st + 6);
        if (!ok) state.SkipWithError(("ffmpeg failed: " + out).c_str());
        state.SetIterationTime(seconds);
    }
    std::vector<std::uint8_t> bytes = ReadFile(file);
    Report(state, std::string("ffmpeg_") + s->name, seconds, static_cast<int>(src.clip.frames.size()),
           bytes.size(), Measure(file, *s, src.yuvPath));
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--pictures=", 11) == 0) g_pictures = std::atoi(argv[i] + 11);
    }
    for (const Setup& s : kSetups) {
        benchmark::RegisterBenchmark((std::string("Ours/") + s.name).c_str(), BM_Ours, &s)
            ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("FFmpeg/") + s.name).c_str(), BM_FFmpeg, &s)
            ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const Setup& s : kSetups) {
        const double ours = g_fps[std::string("ours_") + s.name];
        const double ff = g_fps[std::string("ffmpeg_") + s.name];
        if (ours > 0 && ff > 0)
            std::printf("%s: ours %.1f pictures/s, FFmpeg %.1f pictures/s, ratio %.2f\n", s.name, ours, ff, ours / ff);
        if (g_hash.count(s.name))
            std::printf("%s: our stream FNV-1a %016llx\n", s.name, static_cast<unsigned long long>(g_hash[s.name]));
    }
    return 0;
}
