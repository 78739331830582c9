// Flash-and-beep sources and where FFmpeg finds their flashes and beeps in a
// converted file: the support of the picture-and-sound sync checks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/mpeg_front/E2eSupport.h"

namespace reelcast::testing {

// Flash: the whole picture white for one picture in every `every` pictures.
// Beep: 60 ms of a 1 kHz tone starting at the same instant.
inline std::string MakeFlashBeepSource(const ScratchDir& dir, const char* rate, int every, double interval,
                                       int sampleRate, int seconds) {
    const std::string path = dir.File("flashbeep.mkv");
    char timing[64];
    std::snprintf(timing, sizeof timing, "%.6f", interval);
    const std::string cmd =
        std::string("ffmpeg -v error -y -f lavfi -i \"color=c=black:s=176x144:r=") + rate +
        ",drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='eq(mod(n\\," + std::to_string(every) +
        ")\\,0)'\" -f lavfi -i \"aevalsrc=exprs='if(lt(mod(t\\," + timing +
        ")\\,0.06)\\,0.7*sin(2*PI*1000*t)\\,0)':s=" + std::to_string(sampleRate) + "\" -t " +
        std::to_string(seconds) +
        " -c:v mpeg4 -q:v 2 -c:a pcm_s16le " + Quote(path);
    EXPECT_EQ(0, RunCommand(cmd).status) << cmd;
    return path;
}

// Presentation times of the pictures that start a flash (bright after dark),
// in seconds of the file's own time line; inputOptions (such as -ss) go before
// the input.
inline std::vector<double> FlashTimes(const std::string& file, const std::string& inputOptions = "") {
    // showinfo reports every decoded picture's time stamp and mean luma.
    const CommandResult r = RunCommand("ffmpeg -nostdin " + inputOptions + " -copyts -i " + Quote(file) +
                                       " -map 0:v:0 -vf scale=16:16,showinfo -f null - 2>&1");
    EXPECT_EQ(0, r.status) << r.out.substr(0, 400);
    std::vector<double> times;
    bool bright = false;
    std::size_t pos = 0;
    while ((pos = r.out.find("pts_time:", pos)) != std::string::npos) {
        const double t = std::atof(r.out.c_str() + pos + 9);
        const std::size_t mean = r.out.find("mean:[", pos);
        const std::size_t eol = r.out.find('\n', pos);
        pos += 9;
        if (mean == std::string::npos || mean > eol) continue;
        const int luma = std::atoi(r.out.c_str() + mean + 6);
        const bool now = luma > 125;  // black is 16, white 235
        if (now && !bright) times.push_back(t);
        bright = now;
    }
    return times;
}

// Times at which a beep starts: the first sample of a loud stretch after at
// least half a second of quiet.
inline std::vector<double> BeepTimes(const std::string& file, int* sampleRateOut,
                                     const std::string& inputOptions = "") {
    // The first decoded sound frame's time on the file's own time line.
    const std::string first = RunCommand("ffmpeg -nostdin " + inputOptions + " -copyts -i " + Quote(file) +
                                         " -map 0:a:0 -af ashowinfo -f null - 2>&1 | grep -m1 -o 'pts_time:[-0-9.]*'").out;
    const double start = std::atof(first.c_str() + std::min<std::size_t>(first.size(), 9));
    const std::string rateText = RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate "
                                            "-of csv=p=0 " + Quote(file)).out;
    const int rate = std::atoi(rateText.c_str());
    *sampleRateOut = rate;
    std::vector<double> times;
    if (rate <= 0) {
        ADD_FAILURE() << "no sample rate for " << file;
        return times;
    }
    const CommandResult pcm = RunCommand("ffmpeg -nostdin -v error " + inputOptions + " -copyts -i " + Quote(file) +
                                         " -map 0:a:0 -ac 1 -f s16le -");
    EXPECT_EQ(0, pcm.status);
    const std::size_t count = pcm.out.size() / 2;
    const long quiet = rate / 2;
    long lastLoud = -quiet - 1;
    for (std::size_t i = 0; i < count; ++i) {
        std::int16_t v;
        std::memcpy(&v, pcm.out.data() + 2 * i, 2);
        if (std::abs(static_cast<int>(v)) < 9000) continue;  // the tone peaks near 23000
        if (static_cast<long>(i) - lastLoud > quiet) times.push_back(start + static_cast<double>(i) / rate);
        lastLoud = static_cast<long>(i);
    }
    return times;
}

}  // namespace reelcast::testing
