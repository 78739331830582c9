// Long films through reelcast-cli: a generated flash-and-beep source of the given
// length (a white picture and a 1 kHz beep every ten seconds) in each MPEG mode.
// For every file: conversion time, size, the mux rate and pack clock, the lead
// of the video time stamps over the pack clock (PTS - SCR of the packet that
// carries them) along the file, and the beep-to-flash offset at the first and
// the last flash.
//
//   bench_long_film [--minutes=M] [--modes=dvd,vcd,...] [--keep] [--mux-only]
//
// Defaults: 12 minutes, every mode. Two hours: --minutes=120 --modes=dvd.
// --mux-only leaves out the encoders: the multiplexer alone, fed by the tests'
// stand-in encoders at the modes' full nominal rates (0.5 % over, except VCD,
// whose rate is the disc's), so hours take minutes.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <fstream>
#include <vector>

#include "tests/mpeg_front/E2eSupport.h"
#include "engine/core/Factories.h"
#include "tests/mpeg_front/SyncSupport.h"
#include "tests/mpeg_mux/StandInStreams.h"

using namespace reelcast::testing;

namespace {

const std::string kCli = std::string(REELCAST_BIN_DIR) + "/reelcast-cli";
constexpr int kFlashEvery = 250;  // pictures at 25 per second

struct Options {
    int minutes = 12;
    std::vector<std::string> modes{"mpg1", "vcd", "mpg2", "svcd", "dvd"};
    bool keep = false;
    bool muxOnly = false;
};

// Lead of the video stamps over the pack clock, per tenth of the file.
struct LeadReport {
    std::uint32_t muxRate = 0;
    std::uint64_t packs = 0;
    double minStep = 1e30, maxStep = 0;  // SCR steps, 27 MHz ticks
    double slices[10][2];                // min, max lead in seconds
    double minLead = 1e30, maxLead = -1e30;
    double lastScr = 0;                  // seconds
};

std::uint64_t Ts(const std::uint8_t* p) {
    return (static_cast<std::uint64_t>((p[0] >> 1) & 7) << 30) | (static_cast<std::uint64_t>(p[1]) << 22) |
           (static_cast<std::uint64_t>(p[2] >> 1) << 15) | (static_cast<std::uint64_t>(p[3]) << 7) | (p[4] >> 1);
}

// Walks the file's packs and packets (mapped, so hours of output need no memory).
LeadReport MeasureLead(const std::string& path) {
    LeadReport r;
    for (auto& s : r.slices) s[0] = 1e30, s[1] = -1e30;
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < 16) return r;
    const std::size_t n = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, n, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) return r;
    const std::uint8_t* b = static_cast<const std::uint8_t*>(map);
    const bool mpeg2 = (b[4] & 0xC0) == 0x40;
    double scr = 0, prev = -1;
    std::size_t i = 0;
    while (i + 16 <= n) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) {
            ++i;
            continue;
        }
        const std::uint8_t code = b[i + 3];
        if (code == 0xBA) {
            const std::uint8_t* p = b + i;
            if (mpeg2) {
                const std::uint64_t base = (static_cast<std::uint64_t>((p[4] >> 3) & 7) << 30) |
                                           (static_cast<std::uint64_t>(p[4] & 3) << 28) | (p[5] << 20) |
                                           ((p[6] >> 3) << 15) | ((p[6] & 3) << 13) | (p[7] << 5) | (p[8] >> 3);
                scr = base * 300.0 + (((p[8] & 3) << 7) | (p[9] >> 1));
                r.muxRate = (static_cast<std::uint32_t>(p[10]) << 14) | (p[11] << 6) | (p[12] >> 2);
                i += 14 + (p[13] & 7);
            } else {
                scr = Ts(p + 4) * 300.0;
                r.muxRate = ((static_cast<std::uint32_t>(p[9]) & 0x7F) << 15) | (p[10] << 7) | (p[11] >> 1);
                i += 12;
            }
            if (prev >= 0) {
                r.minStep = std::min(r.minStep, scr - prev);
                r.maxStep = std::max(r.maxStep, scr - prev);
            }
            prev = scr;
            ++r.packs;
            continue;
        }
        if (code == 0xB9) {
            i += 4;
            continue;
        }
        const std::size_t len = (static_cast<std::size_t>(b[i + 4]) << 8) | b[i + 5];
        const std::size_t h = i + 6;
        if (code == 0xE0 && h + 10 < n) {
            bool has = false;
            std::uint64_t pts = 0;
            if (mpeg2) {
                has = (b[h + 1] & 0x80) != 0;
                if (has) pts = Ts(b + h + 3);
            } else {
                std::size_t k = h;
                while (k < h + 16 && b[k] == 0xFF) ++k;
                if ((b[k] & 0xC0) == 0x40) k += 2;
                has = (b[k] & 0xE0) == 0x20;
                if (has) pts = Ts(b + k);
            }
            if (has) {
                const double lead = (pts * 300.0 - scr) / 27e6;
                const int slice = std::min(9, static_cast<int>(10.0 * i / n));
                r.slices[slice][0] = std::min(r.slices[slice][0], lead);
                r.slices[slice][1] = std::max(r.slices[slice][1], lead);
                r.minLead = std::min(r.minLead, lead);
                r.maxLead = std::max(r.maxLead, lead);
            }
        }
        i = h + len;
    }
    r.lastScr = scr / 27e6;
    ::munmap(map, n);
    return r;
}

// Offset of beep to flash (ms) at the flashes within `seconds` from `from`.
void SyncAt(const std::string& file, double from, double seconds, double* first, double* last) {
    char opts[96];
    std::snprintf(opts, sizeof opts, "-ss %.3f -t %.3f", std::max(0.0, from), seconds);
    int rate = 0;
    const std::vector<double> flashes = FlashTimes(file, opts);
    const std::vector<double> beeps = BeepTimes(file, &rate, opts);
    *first = *last = NAN;
    // Pair each flash with the beep nearest to it.
    std::vector<double> d;
    for (double f : flashes) {
        double best = 1e9;
        for (double b : beeps)
            if (std::fabs(b - f) < std::fabs(best)) best = b - f;
        if (std::fabs(best) < 1.0) d.push_back(best * 1000);
    }
    if (!d.empty()) {
        *first = d.front();
        *last = d.back();
    }
}

void PrintLead(const LeadReport& r) {
    std::printf("  video PTS - SCR: %.3f .. %.3f s; by tenths:", r.minLead, r.maxLead);
    for (const auto& s : r.slices) std::printf(" %.2f..%.2f", s[0], s[1]);
    std::printf("\n");
}

void RunMode(const Options& o, const std::string& mode, const ScratchDir& dir) {
    const int seconds = o.minutes * 60;
    const int rate = mode == "dvd" ? 48000 : 44100;  // no rate conversion on the way
    const std::string src = dir.File("film_" + std::to_string(rate) + ".mkv");
    if (!std::ifstream(src)) {
        const std::string made = MakeFlashBeepSource(dir, "25", kFlashEvery, kFlashEvery / 25.0, rate, seconds);
        std::rename(made.c_str(), src.c_str());
    }
    const std::string out = dir.File(mode + ".mpg");
    const auto t0 = std::chrono::steady_clock::now();
    const CommandResult conv =
        RunCommand(Quote(kCli) + " convert --mode " + mode + " -q -y " + Quote(src) + " " + Quote(out) + " 2>&1");
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (conv.status != 0) {
        std::printf("%s: conversion failed after %.0f s: %s\n", mode.c_str(), wall, conv.out.c_str());
        return;
    }
    const LeadReport r = MeasureLead(out);
    double firstStart, firstEnd, lastStart, lastEnd;
    SyncAt(out, 0, 25, &firstStart, &firstEnd);
    SyncAt(out, r.lastScr - 25, 30, &lastStart, &lastEnd);
    struct stat st {};
    ::stat(out.c_str(), &st);
    std::printf("%s: %d min in %.0f s, %.1f MB, mux rate %u, %llu packs, SCR step %.0f..%.0f ticks\n", mode.c_str(),
                o.minutes, wall, st.st_size / 1048576.0, r.muxRate, static_cast<unsigned long long>(r.packs),
                r.minStep, r.maxStep);
    PrintLead(r);
    std::printf("  beep - flash: %+.1f ms at the first flash, %+.1f ms at the last\n", firstStart, lastEnd);
    std::fflush(stdout);
}

void RunMuxOnly(const Options& o, const std::string& mode, const ScratchDir& dir) {
    using namespace reelcast;
    // The program's DVD mode is the generic MPEG-2 kind at DVD sizes.
    const int kind = mode == "mpg1" ? 0 : mode == "vcd" ? 1 : mode == "svcd" ? 3 : 2;
    const double videoRate = kind <= 1 ? 1150000.0 : 2376000.0;
    const std::string out = dir.File(mode + "_mux.mpg");
    auto* mux = core::New<IMpegMultiplexer>("MPGLIB_MUX");
    if (!mux) return;
    StandInSource src;
    mux->SetStream(&src, kind == 1 ? 1.4 : kind == 3 ? 5.6 : 1.0, 11, videoRate, out.c_str(), 3, 15);
    if (kind <= 1) {
        mux->SetMpeg1Format(kind, 20);
    } else {
        mux->SetMpeg2Format(kind, 1);
    }
    StandInEncoders enc(mux, &src, 25.0, 44100, 224, kind == 3);
    const double over = kind == 1 ? 1.0 : 1.005;
    const double b = videoRate / 8 * over * 15 / 25.0 / 22;  // I : P : B = 4 : 2 : 1 in groups of 15
    enc.bBytes = static_cast<std::size_t>(b);
    enc.pBytes = static_cast<std::size_t>(2 * b);
    enc.iBytes = static_cast<std::size_t>(4 * b);
    const auto t0 = std::chrono::steady_clock::now();
    const int pictures = o.minutes * 60 * 25;
    for (int done = 0; done < pictures; done += 250) {
        enc.SubmitPictures(std::min(250, pictures - done));
        // The stand-ins keep a copy of the bytes and pictures for the tests; not
        // needed here (the sound frames count the sound's time).
        src.videoAll.clear();
        src.audioAll.clear();
        enc.pictures.clear();
    }
    enc.Stop();
    mux->Finish();
    mux->Release();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const LeadReport r = MeasureLead(out);
    std::printf("%s (multiplexer only): %d min in %.0f s, mux rate %u, %llu packs, SCR step %.0f..%.0f ticks\n",
                mode.c_str(), o.minutes, wall, r.muxRate, static_cast<unsigned long long>(r.packs), r.minStep,
                r.maxStep);
    PrintLead(r);
    if (!o.keep) std::remove(out.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--minutes=", 0) == 0) {
            o.minutes = std::max(1, std::atoi(a.c_str() + 10));
        } else if (a.rfind("--modes=", 0) == 0) {
            o.modes.clear();
            std::string list = a.substr(8);
            for (std::size_t p = 0; p <= list.size();) {
                const std::size_t c = std::min(list.find(',', p), list.size());
                if (c > p) o.modes.push_back(list.substr(p, c - p));
                p = c + 1;
            }
        } else if (a == "--keep") {
            o.keep = true;
        } else if (a == "--mux-only") {
            o.muxOnly = true;
        } else {
            std::fprintf(stderr, "usage: bench_long_film [--minutes=M] [--modes=dvd,vcd,...] [--keep] [--mux-only]\n");
            return 2;
        }
    }
    if (o.keep) ::setenv("REELCAST_KEEP_TEST_FILES", "1", 1);
    ScratchDir dir("long_film");
    for (const std::string& m : o.modes) {
        if (o.muxOnly) {
            RunMuxOnly(o, m, dir);
        } else {
            RunMode(o, m, dir);
        }
    }
    return 0;
}
