// Whole conversions: reelcast-cli against the FFmpeg command that makes the
// nearest equivalent file (same size, frame rate, video bit rate, group length,
// B pictures and Layer II sound; VCD against `-target pal-vcd`; the AVI route
// against MPEG-4 and MP3 at the same size, rate and video bit rate), on the same
// sources, one after the other, several times. Reports for each source and
// mode the best and median wall time of both, their ratio, processor time,
// peak memory, file size and the luma PSNR of each result against the source
// scaled to the same size and rate by the same ffmpeg filters: as timed in
// the file ("t"), and with each picture matched to the nearest-looking source
// picture ("al").
//
//   bench_convert [--source=FILE]... [--sources=DIR] [--modes=vcd,dvd] [--runs=N]
//                 [--seconds=S] [--threads=N] [--ff-threads=N] [--no-psnr] [--keep]
//
// Sources: the --source files, else the generated set of
// bench/convert/make_sources.sh (in --sources, made when missing) and the
// footage. --threads is ours (reelcast-cli --threads; default: its own
// default, one per processor); --ff-threads FFmpeg's -threads (default 0: it
// chooses, so both programs may use every core).
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <sstream>
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
    double wall = 0;    // seconds
    double cpu = 0;     // user + system seconds of the command
    long maxRssKb = 0;  // peak resident memory of the command
};

// Runs cmd with /bin/sh, collecting its standard output, times and peak memory.
Run Exec(const std::string& cmd) {
    Run r;
    int fds[2];
    if (::pipe(fds) != 0) return r;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return r;
    }
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::array<char, 4096> buf;
    ssize_t n;
    while ((n = ::read(fds[0], buf.data(), buf.size())) > 0) r.out.append(buf.data(), static_cast<std::size_t>(n));
    ::close(fds[0]);
    int st = 0;
    rusage ru{};
    ::wait4(pid, &st, 0, &ru);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec * 1e-6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec * 1e-6;
    r.maxRssKb = ru.ru_maxrss;
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
    std::string rate = "25";  // pictures per second, as ffprobe gives it ("30000/1001")
    long bitRate = 0;         // of the video stream, bits per second
};

Size VideoSize(const std::string& file) {
    const Run r = Exec("ffprobe -v error -select_streams v:0 -show_entries stream=width,height,r_frame_rate,bit_rate "
                       "-of csv=p=0:s=x " + Quote(file));
    Size s;
    char rate[32] = "";
    std::sscanf(r.out.c_str(), "%dx%dx%31[^x]x%ld", &s.w, &s.h, rate, &s.bitRate);
    if (rate[0]) s.rate = rate;
    return s;
}


// Per-picture luma MSE of file's pictures against the source at the file's
// size and picture rate, both time lines starting at their first
// picture, with the file `shift` pictures ahead (> 0) or behind (< 0).
// Indexed by the file's picture number; -1 where not compared.
std::vector<double> LumaMse(const std::string& file, const std::string& source, const Size& s, int shift,
                            const fs::path& dir) {
    const std::string stats = (dir / "psnr_stats.txt").string();
    const int skipFile = shift > 0 ? shift : 0, skipRef = shift < 0 ? -shift : 0;
    char graph[768];
    std::snprintf(graph, sizeof graph,
                  "[0:v]trim=start_frame=%d,setpts=PTS-STARTPTS[a];"
                  "[1:v]fps=%s,scale=%d:%d:flags=bicubic,trim=start_frame=%d,setpts=PTS-STARTPTS[b];"
                  "[a][b]psnr=shortest=1:stats_file=%s",
                  skipFile, s.rate.c_str(), s.w, s.h, skipRef, stats.c_str());
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

// What FFmpeg is told of the file reelcast-cli made.
enum class Match {
    Target,     // nothing: a disc target of its own
    Size,       // its size (ffArgs takes width and height)
    Everything  // its rate, size and video bit rate (ffArgs takes them in that order)
};

struct Mode {
    const char* name;     // reelcast-cli --mode
    const char* ffLabel;  // what the FFmpeg side is
    const char* ffArgs;   // its output options
    Match match;
    const char* ext;      // of both files
};

// The AVI route's default: MPEG-4 (DivX) pictures and MP3 sound at 192 kbit/s.
constexpr char kAviArgs[] =
    "-r %s -s %dx%d -c:v mpeg4 -vtag DIVX -b:v %ld -c:a libmp3lame -b:a 192k -ar 44100 -ac 2 -f avi";

const Mode kModes[] = {
    {"mpg1", "mpeg1video 1150k + mp2 224k, -f mpeg",
     "-r 25 -s %dx%d -c:v mpeg1video -b:v 1150k -maxrate 1150k -minrate 1150k -bufsize 327680 -g 15 -bf 2 "
     "-c:a mp2 -b:a 224k -ar 44100 -ac 2 -f mpeg",
     Match::Size, "mpg"},
    {"vcd", "-target pal-vcd", "-target pal-vcd", Match::Target, "mpg"},
    {"mpg2", "mpeg2video 2376k + mp2 224k, -f vob",
     "-r 25 -s %dx%d -c:v mpeg2video -b:v 2376k -maxrate 2376k -minrate 2376k -bufsize 1835008 -g 15 -bf 2 "
     "-c:a mp2 -b:a 224k -ar 44100 -ac 2 -f vob",
     Match::Size, "mpg"},
    // The svcd target alone codes no B pictures; ours has two between references.
    {"svcd", "-target pal-svcd -bf 2", "-target pal-svcd -bf 2", Match::Target, "mpg"},
    {"dvd", "mpeg2video 720x576 2376k + mp2 224k, -f dvd",
     "-r 25 -s 720x576 -c:v mpeg2video -b:v 2376k -maxrate 2376k -minrate 2376k -bufsize 1835008 -g 15 -bf 2 "
     "-c:a mp2 -b:a 224k -ar 48000 -ac 2 -f dvd",
     Match::Target, "mpg"},
    {"divx", "mpeg4 (DIVX) + mp3 192k, -f avi", kAviArgs, Match::Everything, "avi"},
    {"avi", "mpeg4 (DIVX) + mp3 192k, -f avi", kAviArgs, Match::Everything, "avi"},
};


struct Timing {
    std::vector<double> wall, cpu;
    long maxRssKb = 0;
    void Add(const Run& r) {
        wall.push_back(r.wall);
        cpu.push_back(r.cpu);
        maxRssKb = std::max(maxRssKb, r.maxRssKb);
    }
    static double Median(std::vector<double> v) {
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
    }
    double BestWall() const { return wall.empty() ? 0 : *std::min_element(wall.begin(), wall.end()); }
    double MedianWall() const { return Median(wall); }
    double MedianCpu() const { return Median(cpu); }
};

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream ss(s);
    for (std::string item; std::getline(ss, item, ',');)
        if (!item.empty()) out.push_back(item);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> sources;
    std::string sourceDir = "/tmp/reelcast-bench-sources";
    std::vector<std::string> modes;
    double seconds = 0;
    int runs = 3;
    int threads = 0;    // ours; 0: reelcast-cli's default
    int ffThreads = 0;  // FFmpeg's; 0: it chooses
    bool keep = false, psnr = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--source=", 0) == 0) sources.push_back(a.substr(9));
        else if (a.rfind("--sources=", 0) == 0) sourceDir = a.substr(10);
        else if (a.rfind("--modes=", 0) == 0) modes = Split(a.substr(8));
        else if (a.rfind("--seconds=", 0) == 0) seconds = std::atof(a.c_str() + 10);
        else if (a.rfind("--runs=", 0) == 0) runs = std::max(1, std::atoi(a.c_str() + 7));
        else if (a.rfind("--threads=", 0) == 0) threads = std::atoi(a.c_str() + 10);
        else if (a.rfind("--ff-threads=", 0) == 0) ffThreads = std::atoi(a.c_str() + 13);
        else if (a == "--no-psnr") psnr = false;
        else if (a == "--keep") keep = true;
        else {
            std::fprintf(stderr,
                         "usage: %s [--source=FILE]... [--sources=DIR] [--modes=vcd,dvd] [--runs=N] [--seconds=S]\n"
                         "       [--threads=N] [--ff-threads=N] [--no-psnr] [--keep]\n",
                         argv[0]);
            return 2;
        }
    }
    const std::string cli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";
    if (!fs::exists(cli)) {
        std::fprintf(stderr, "%s is not built\n", cli.c_str());
        return 1;
    }
    if (sources.empty()) {
        const Run made = Exec("bash " + Quote(std::string(REELCAST_BENCH_DIR) + "/make_sources.sh") + " " +
                              Quote(sourceDir) + " 2>&1");
        if (made.status != 0) {
            std::fprintf(stderr, "cannot make the sources: %s\n", made.out.c_str());
            return 1;
        }
        for (const char* name : {"h264_444.mp4", "xvid.avi", "still_mpeg4.avi", "raw_rgb.avi"})
            sources.push_back(sourceDir + "/" + name);
        const std::string footage = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
        if (fs::exists(footage)) sources.push_back(footage);
    }
    const fs::path dir = fs::temp_directory_path() / ("reelcast_bench_convert_" + std::to_string(::getpid()));
    fs::create_directories(dir);

    std::printf("runs %d, ours: %s, FFmpeg threads: %s\n", runs,
                threads > 0 ? ("--threads " + std::to_string(threads)).c_str() : "default threads",
                ffThreads > 0 ? std::to_string(ffThreads).c_str() : "auto");
    std::printf("%-16s %-5s | %-7s %-7s %-6s %-6s %-7s %-13s | %-7s %-7s %-6s %-6s %-7s %-13s | %-6s %-6s\n", "source",
                "mode", "best s", "med s", "cpu s", "MB", "peak MB", "PSNR Y t/al", "best s", "med s", "cpu s", "MB",
                "peak MB", "PSNR Y t/al", "wall x", "mem x");
    int failures = 0;
    for (const std::string& source : sources) {
        if (!fs::exists(source)) {
            std::printf("no source at %s: skipped\n", source.c_str());
            continue;
        }
        // A cut of the source when asked, copied without re-encoding, so both
        // sides read the same packets.
        std::string input = source;
        if (seconds > 0) {
            input = (dir / ("cut" + fs::path(source).extension().string())).string();
            if (Exec("ffmpeg -nostdin -v error -y -i " + Quote(source) + " -t " + std::to_string(seconds) +
                     " -c copy " + Quote(input)).status != 0) {
                std::fprintf(stderr, "cannot cut %s\n", source.c_str());
                ++failures;
                continue;
            }
        }
        const std::string label = fs::path(source).stem().string().substr(0, 16);
        for (const Mode& m : kModes) {
            if (!modes.empty() && std::find(modes.begin(), modes.end(), m.name) == modes.end()) continue;
            const std::string ours = (dir / (std::string("ours_") + m.name + "." + m.ext)).string();
            const std::string theirs = (dir / (std::string("ffmpeg_") + m.name + "." + m.ext)).string();
            std::string oursCmd = Quote(cli) + " convert --mode " + m.name + " -q -y ";
            if (threads > 0) oursCmd += "--threads " + std::to_string(threads) + " ";
            oursCmd += Quote(input) + " " + Quote(ours) + " 2>&1";
            Timing a, b;
            // The first run of ours also gives the size FFmpeg is asked for.
            Run first = Exec(oursCmd);
            if (first.status != 0) {
                std::printf("%-16s %-5s reelcast-cli failed: %s\n", label.c_str(), m.name, first.out.c_str());
                ++failures;
                continue;
            }
            char args[512];
            const Size made = VideoSize(ours);
            switch (m.match) {
            case Match::Target:
                std::snprintf(args, sizeof args, "%s", m.ffArgs);
                break;
            case Match::Size:
                std::snprintf(args, sizeof args, m.ffArgs, made.w, made.h);
                break;
            case Match::Everything:
                std::snprintf(args, sizeof args, m.ffArgs, made.rate.c_str(), made.w, made.h, made.bitRate);
                break;
            }
            std::string ffCmd = "ffmpeg -nostdin -v error -y ";
            if (ffThreads > 0) ffCmd += "-threads " + std::to_string(ffThreads) + " -filter_threads " +
                                        std::to_string(ffThreads) + " ";
            ffCmd += "-i " + Quote(input) + " ";
            if (ffThreads > 0) ffCmd += "-threads " + std::to_string(ffThreads) + " ";
            ffCmd += std::string(args) + " " + Quote(theirs) + " 2>&1";
            bool failed = false;
            for (int run = 0; run < runs && !failed; ++run) {
                const Run ra = run == 0 ? first : Exec(oursCmd);
                const Run rb = Exec(ffCmd);
                if (ra.status != 0 || rb.status != 0) {
                    std::printf("%-16s %-5s %s failed: %s\n", label.c_str(), m.name,
                                ra.status != 0 ? "reelcast-cli" : "ffmpeg", (ra.status != 0 ? ra : rb).out.c_str());
                    failed = true;
                }
                a.Add(ra);
                b.Add(rb);
            }
            if (failed) {
                ++failures;
                continue;
            }
            char qa[48] = "-", qb[48] = "-";
            if (psnr) {
                const Psnr pa = MeasurePsnr(ours, input, dir);
                const Psnr pb = MeasurePsnr(theirs, input, dir);
                std::snprintf(qa, sizeof qa, "%.2f/%.2f", pa.timeline, pa.aligned);
                std::snprintf(qb, sizeof qb, "%.2f/%.2f", pb.timeline, pb.aligned);
            }
            std::printf("%-16s %-5s | %-7.2f %-7.2f %-6.2f %-6.2f %-7.1f %-13s | %-7.2f %-7.2f %-6.2f %-6.2f %-7.1f %-13s | "
                        "%-6.2f %-6.2f\n",
                        label.c_str(), m.name, a.BestWall(), a.MedianWall(), a.MedianCpu(), fs::file_size(ours) / 1e6,
                        a.maxRssKb / 1024.0, qa, b.BestWall(), b.MedianWall(), b.MedianCpu(),
                        fs::file_size(theirs) / 1e6, b.maxRssKb / 1024.0, qb,
                        b.BestWall() > 0 ? a.BestWall() / b.BestWall() : 0.0,
                        b.maxRssKb > 0 ? static_cast<double>(a.maxRssKb) / b.maxRssKb : 0.0);
            std::fflush(stdout);
        }
    }
    if (keep) {
        std::printf("files kept in %s\n", dir.c_str());
    } else {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    return failures ? 1 : 0;
}
