// Whole conversions of the real footage, once each: reelcast-cli in every MPEG
// mode against the FFmpeg command that makes the nearest equivalent file.
// Reports wall and processor time of both, their ratio, file size, and the
// luma PSNR of each result's pictures against the source scaled to the same
// size and rate by the same ffmpeg filters: as timed in the file ("t"), and
// with each picture matched to the nearest-looking source picture ("al").
//
//   bench_convert [--source=FILE] [--seconds=S] [--threads=N] [--keep]
//
// --threads is FFmpeg's thread count (default 1, like our encoder); 0 lets
// FFmpeg choose.
#include <sys/resource.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Run {
    int status = -1;
    std::string out;
    double wall = 0;  // seconds
    double cpu = 0;   // user + system seconds of the children
};

double ChildrenCpu() {
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec * 1e-6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec * 1e-6;
}

Run Exec(const std::string& cmd) {
    Run r;
    const double cpu0 = ChildrenCpu();
    const auto t0 = std::chrono::steady_clock::now();
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = ::pclose(p);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.cpu = ChildrenCpu() - cpu0;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Size {
    int w = 0, h = 0;
};

Size VideoSize(const std::string& file) {
    const Run r = Exec("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x " +
                       Quote(file));
    Size s;
    std::sscanf(r.out.c_str(), "%dx%d", &s.w, &s.h);
    return s;
}


// Per-picture luma MSE of file's pictures against the source at the file's
// size and 25 pictures per second, both time lines starting at their first
// picture, with the file `shift` pictures ahead (> 0) or behind (< 0).
// Indexed by the file's picture number; -1 where not compared.
std::vector<double> LumaMse(const std::string& file, const std::string& source, const Size& s, int shift,
                            const fs::path& dir) {
    const std::string stats = (dir / "psnr_stats.txt").string();
    const int skipFile = shift > 0 ? shift : 0, skipRef = shift < 0 ? -shift : 0;
    char graph[768];
    std::snprintf(graph, sizeof graph,
                  "[0:v]trim=start_frame=%d,setpts=PTS-STARTPTS[a];"
                  "[1:v]fps=25,scale=%d:%d:flags=bicubic,trim=start_frame=%d,setpts=PTS-STARTPTS[b];"
                  "[a][b]psnr=shortest=1:stats_file=%s",
                  skipFile, s.w, s.h, skipRef, stats.c_str());
    Exec("ffmpeg -nostdin -v error -i " + Quote(file) + " -i " + Quote(source) + " -filter_complex \"" + graph +
         "\" -f null - 2>&1");
    std::vector<double> mse;
    std::FILE* f = std::fopen(stats.c_str(), "r");
    if (!f) return mse;
    char line[512];
    for (int j = 0; std::fgets(line, sizeof line, f); ++j) {
        const char* y = std::strstr(line, "mse_y:");
        if (!y) continue;
        const std::size_t at = static_cast<std::size_t>(j + skipFile);
        if (mse.size() <= at) mse.resize(at + 1, -1.0);
        mse[at] = std::atof(y + 6);
    }
    std::fclose(f);
    return mse;
}

double PsnrOfMse(double mse) { return mse > 0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0; }

struct Psnr {
    double timeline = 0;  // luma PSNR of the pictures as timed, from the mean MSE
    double aligned = 0;   // the same, each picture against its best match within 2 pictures
    int pictures = 0;
};

// Two measures: the pictures exactly as the file times them (which charges an
// encoder for every picture its frame-rate conversion took from a neighbouring
// source picture), and each picture against the best of the five nearest
// source pictures (coding and scaling only).
Psnr MeasurePsnr(const std::string& file, const std::string& source, const fs::path& dir) {
    const Size s = VideoSize(file);
    std::vector<double> best;
    Psnr p;
    for (int k = -2; k <= 2; ++k) {
        const std::vector<double> m = LumaMse(file, source, s, k, dir);
        if (k == 0) {
            double sum = 0;
            int n = 0;
            for (double v : m)
                if (v >= 0) sum += v, ++n;
            p.timeline = n ? PsnrOfMse(sum / n) : 0;
        }
        if (best.size() < m.size()) best.resize(m.size(), -1.0);
        for (std::size_t i = 0; i < m.size(); ++i)
            if (m[i] >= 0 && (best[i] < 0 || m[i] < best[i])) best[i] = m[i];
    }
    double sum = 0;
    int n = 0;
    for (double v : best)
        if (v >= 0) sum += v, ++n;
    p.aligned = n ? PsnrOfMse(sum / n) : 0;
    const Run count = Exec("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                           "-of csv=p=0 " + Quote(file));
    p.pictures = std::atoi(count.out.c_str());
    return p;
}

struct Mode {
    const char* name;     // reelcast-cli --mode
    const char* ffLabel;  // what the FFmpeg side is
    const char* ffArgs;   // its output options (%W x %H filled for the generic kinds)
    bool sameSize;        // FFmpeg encodes at the size reelcast-cli chose
};

const Mode kModes[] = {
    {"mpg1", "mpeg1video 1150k + mp2 224k, -f mpeg",
     "-r 25 -s %dx%d -c:v mpeg1video -b:v 1150k -maxrate 1150k -minrate 1150k -bufsize 327680 -g 15 -bf 2 "
     "-c:a mp2 -b:a 224k -ar 44100 -ac 2 -f mpeg",
     true},
    {"vcd", "-target pal-vcd", "-target pal-vcd", false},
    {"mpg2", "mpeg2video 2376k + mp2 224k, -f vob",
     "-r 25 -s %dx%d -c:v mpeg2video -b:v 2376k -maxrate 2376k -minrate 2376k -bufsize 1835008 -g 15 -bf 2 "
     "-c:a mp2 -b:a 224k -ar 44100 -ac 2 -f vob",
     true},
    {"svcd", "-target pal-svcd", "-target pal-svcd", false},
    {"dvd", "mpeg2video 720x576 2376k + mp2 224k, -f dvd",
     "-r 25 -s 720x576 -c:v mpeg2video -b:v 2376k -maxrate 2376k -minrate 2376k -bufsize 1835008 -g 15 -bf 2 "
     "-c:a mp2 -b:a 224k -ar 48000 -ac 2 -f dvd",
     false},
};

}  // namespace

int main(int argc, char** argv) {
    std::string source = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
    double seconds = 0;
    int threads = 1;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--source=", 0) == 0) source = a.substr(9);
        else if (a.rfind("--seconds=", 0) == 0) seconds = std::atof(a.c_str() + 10);
        else if (a.rfind("--threads=", 0) == 0) threads = std::atoi(a.c_str() + 10);
        else if (a == "--keep") keep = true;
        else {
            std::fprintf(stderr, "usage: %s [--source=FILE] [--seconds=S] [--threads=N] [--keep]\n", argv[0]);
            return 2;
        }
    }
    const std::string cli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";
    if (!fs::exists(source)) {
        std::printf("no source at %s: nothing measured\n", source.c_str());
        return 0;
    }
    if (!fs::exists(cli)) {
        std::fprintf(stderr, "%s is not built\n", cli.c_str());
        return 1;
    }
    const fs::path dir = fs::temp_directory_path() / ("reelcast_bench_convert_" + std::to_string(::getpid()));
    fs::create_directories(dir);

    // A cut of the footage when asked, copied without re-encoding, so both
    // sides read the same packets.
    std::string input = source;
    if (seconds > 0) {
        input = (dir / ("cut" + fs::path(source).extension().string())).string();
        if (Exec("ffmpeg -nostdin -v error -y -i " + Quote(source) + " -t " + std::to_string(seconds) +
                 " -c copy " + Quote(input)).status != 0) {
            std::fprintf(stderr, "cannot cut %s\n", source.c_str());
            return 1;
        }
    }
    std::printf("source %s%s, FFmpeg threads %s\n", source.c_str(),
                seconds > 0 ? (" (first " + std::to_string(seconds) + " s)").c_str() : "",
                threads > 0 ? std::to_string(threads).c_str() : "auto");
    std::printf("%-5s | %-8s %-8s %-9s %-6s %-14s | %-8s %-8s %-9s %-6s %-14s | %-6s %s\n", "mode", "ours s",
                "cpu s", "MB", "pics", "PSNR Y t/al", "ffmpeg s", "cpu s", "MB", "pics", "PSNR Y t/al", "wall x",
                "ffmpeg command");
    int failures = 0;
    for (const Mode& m : kModes) {
        const std::string ours = (dir / (std::string("ours_") + m.name + ".mpg")).string();
        const std::string theirs = (dir / (std::string("ffmpeg_") + m.name + ".mpg")).string();
        const Run a = Exec(Quote(cli) + " convert --mode " + m.name + " -q -y " + Quote(input) + " " + Quote(ours) +
                           " 2>&1");
        if (a.status != 0) {
            std::printf("%-5s reelcast-cli failed: %s\n", m.name, a.out.c_str());
            ++failures;
            continue;
        }
        char args[512];
        if (m.sameSize) {
            const Size s = VideoSize(ours);
            std::snprintf(args, sizeof args, m.ffArgs, s.w, s.h);
        } else {
            std::snprintf(args, sizeof args, "%s", m.ffArgs);
        }
        std::string ffCmd = "ffmpeg -nostdin -v error -y ";
        if (threads > 0) ffCmd += "-threads " + std::to_string(threads) + " -filter_threads " +
                                  std::to_string(threads) + " ";
        ffCmd += "-i " + Quote(input) + " ";
        if (threads > 0) ffCmd += "-threads " + std::to_string(threads) + " ";
        ffCmd += std::string(args) + " " + Quote(theirs) + " 2>&1";
        const Run b = Exec(ffCmd);
        if (b.status != 0) {
            std::printf("%-5s ffmpeg failed: %s\n", m.name, b.out.c_str());
            ++failures;
            continue;
        }
        const Psnr pa = MeasurePsnr(ours, input, dir);
        const Psnr pb = MeasurePsnr(theirs, input, dir);
        char qa[48], qb[48];
        std::snprintf(qa, sizeof qa, "%.2f/%.2f", pa.timeline, pa.aligned);
        std::snprintf(qb, sizeof qb, "%.2f/%.2f", pb.timeline, pb.aligned);
        std::printf("%-5s | %-8.2f %-8.2f %-9.2f %-6d %-14s | %-8.2f %-8.2f %-9.2f %-6d %-14s | %-6.2f %s\n", m.name,
                    a.wall, a.cpu, fs::file_size(ours) / 1e6, pa.pictures, qa, b.wall, b.cpu,
                    fs::file_size(theirs) / 1e6, pb.pictures, qb, b.wall > 0 ? a.wall / b.wall : 0.0, m.ffLabel);
        std::fflush(stdout);
    }
    if (keep) {
        std::printf("files kept in %s\n", dir.c_str());
    } else {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    return failures ? 1 : 0;
}
