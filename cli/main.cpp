// reelcast-cli: the converter from the command line, over the same engine library
// the desktop program loads.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Cancel.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/Engine.h"
#include "engine/core/ThreadCount.h"

namespace {

using reelcast::cli::CliOptions;
using reelcast::cli::Mode;

const char kUsage[] =
    "usage: reelcast-cli info FILE\n"
    "       reelcast-cli convert --mode MODE [options] INPUT OUTPUT\n"
    "       reelcast-cli codecs\n"
    "\n"
    "MODE: mpg1 mpg2 vcd svcd dvd avi divx mov swf\n"
    "options:\n"
    "  --ntsc            NTSC instead of PAL (vcd, svcd, dvd)\n"
    "  --film            23.976 fps (vcd with --ntsc)\n"
    "  --low-res         352 pixels wide (dvd)\n"
    "  --fps F           output frame rate (mpg1, mpg2, avi, divx)\n"
    "  --size WxH        output size (mpg1, mpg2, avi, divx)\n"
    "  --codec FOURCC    video compressor (avi, divx)\n"
    "  --audio TYPE      none|pcm|mp3|acm (avi, divx)\n"
    "  --rate HZ         32000|44100|48000 (avi, divx)\n"
    "  --portable        use the portable kernels only\n"
    "  --threads N       threads per conversion, 1 to 64 (default: one per processor;\n"
    "                    1 runs the stages one after another; same output bytes)\n"
    "  -y, --overwrite   replace OUTPUT if it exists\n"
    "  -q, --quiet       no progress\n";

int Usage(const char* why) {
    if (why) std::fprintf(stderr, "reelcast-cli: %s\n", why);
    std::fputs(kUsage, stderr);
    return 2;
}

bool ParseMode(const std::string& s, Mode* m) {
    static const struct {
        const char* name;
        Mode mode;
    } kModes[] = {{"mpg1", Mode::Mpg1}, {"mpg2", Mode::Mpg2}, {"vcd", Mode::Vcd},
                  {"svcd", Mode::Svcd}, {"dvd", Mode::Dvd},   {"avi", Mode::Avi},
                  {"divx", Mode::Divx}, {"mov", Mode::Mov},   {"swf", Mode::Swf}};
    for (const auto& e : kModes) {
        if (s == e.name) {
            *m = e.mode;
            return true;
        }
    }
    return false;
}

bool ParseSize(const std::string& s, int* w, int* h) {
    char x = 0;
    char extra = 0;
    return std::sscanf(s.c_str(), "%d%c%d%c", w, &x, h, &extra) == 3 && (x == 'x' || x == 'X') &&
           *w >= 0 && *h >= 0;
}

bool ParseDouble(const std::string& s, double* v) {
    char* end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && !s.empty() && *v > 0;
}

// Parses the convert command's arguments; returns 0 or a usage exit code.
int ParseConvert(const std::vector<std::string>& args, CliOptions* o) {
    bool haveMode = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name, std::string* out) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "reelcast-cli: %s needs a value\n", name);
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--mode") {
            if (!value("--mode", &v)) return 2;
            if (!ParseMode(v, &o->mode)) return Usage(("unknown mode '" + v + "'").c_str());
            haveMode = true;
        } else if (a == "--ntsc") {
            o->ntsc = true;
        } else if (a == "--film") {
            o->film = true;
        } else if (a == "--low-res") {
            o->lowRes = true;
        } else if (a == "--fps") {
            if (!value("--fps", &v) || !ParseDouble(v, &o->fps)) return Usage("bad --fps");
        } else if (a == "--size") {
            if (!value("--size", &v) || !ParseSize(v, &o->width, &o->height))
                return Usage("bad --size (WxH)");
        } else if (a == "--codec") {
            if (!value("--codec", &v) || v.empty() || v.size() > 4) return Usage("bad --codec");
            o->codec = v;
        } else if (a == "--audio") {
            if (!value("--audio", &v) || (v != "none" && v != "pcm" && v != "mp3" && v != "acm"))
                return Usage("bad --audio (none|pcm|mp3|acm)");
            o->audio = v;
        } else if (a == "--rate") {
            if (!value("--rate", &v) || (v != "32000" && v != "44100" && v != "48000"))
                return Usage("bad --rate (32000|44100|48000)");
            o->rate = static_cast<unsigned>(std::atoi(v.c_str()));
        } else if (a == "-y" || a == "--overwrite") {
            o->overwrite = true;
        } else if (a == "-q" || a == "--quiet") {
            o->quiet = true;
        } else if (a == "--portable") {
            o->portable = true;
        } else if (a == "--threads") {
            if (!value("--threads", &v) || !(o->threads = reelcast::core::ParseThreadCount(v.c_str())))
                return Usage("bad --threads (1 to 64)");
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage(("unknown option '" + a + "'").c_str());
        } else {
            positional.push_back(a);
        }
    }
    if (!haveMode) return Usage("convert needs --mode");
    if (positional.size() != 2) return Usage("convert needs INPUT and OUTPUT");
    o->input = positional[0];
    o->output = positional[1];

    const bool mpegFixed = o->mode == Mode::Vcd || o->mode == Mode::Svcd || o->mode == Mode::Dvd;
    const bool sized = o->mode == Mode::Mpg1 || o->mode == Mode::Mpg2 || o->mode == Mode::Avi ||
                       o->mode == Mode::Divx;
    const bool avi = o->mode == Mode::Avi || o->mode == Mode::Divx;
    if (o->ntsc && !mpegFixed) return Usage("--ntsc applies to vcd, svcd and dvd");
    if (o->film && !(o->mode == Mode::Vcd && o->ntsc)) return Usage("--film applies to vcd with --ntsc");
    if (o->lowRes && o->mode != Mode::Dvd) return Usage("--low-res applies to dvd");
    if ((o->fps > 0 || o->width > 0 || o->height > 0) && !sized)
        return Usage("--fps and --size apply to mpg1, mpg2, avi and divx");
    if ((!o->codec.empty() || !o->audio.empty() || o->rate) && !avi)
        return Usage("--codec, --audio and --rate apply to avi and divx");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage(nullptr);
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }

    CliOptions opts;
    if (command == "convert") {
        if (int rc = ParseConvert(args, &opts)) return rc;
    } else if (command == "info") {
        if (args.size() != 1) return Usage("info needs one FILE");
    } else if (command == "codecs") {
        if (!args.empty()) return Usage("codecs takes no arguments");
    } else {
        return Usage(("unknown command '" + command + "'").c_str());
    }

    // The engine reads this when it chooses its kernels.
    if (opts.portable) setenv("REELCAST_FORCE_PORTABLE", "1", 1);
    if (opts.threads) setenv(reelcast::core::kThreadsVariable, std::to_string(opts.threads).c_str(), 1);

    reelcast::cli::Engine engine;
    if (!engine.Load()) {
        std::fprintf(stderr, "%s\n", engine.error().c_str());
        return 1;
    }
    if (command == "info") return reelcast::cli::RunInfo(engine, args[0]);
    if (command == "codecs") return reelcast::cli::RunCodecs(engine);

    reelcast::cli::InstallCancelHandler();
    switch (opts.mode) {
        case Mode::Mpg1:
        case Mode::Mpg2:
        case Mode::Vcd:
        case Mode::Svcd:
        case Mode::Dvd:
            return reelcast::cli::RunMpegConvert(engine, opts);
        case Mode::Mov:
        case Mode::Swf:
            return reelcast::cli::RunBridgeConvert(opts);
        default:
            return reelcast::cli::RunAviConvert(engine, opts);
    }
}
