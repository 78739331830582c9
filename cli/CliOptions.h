// The parsed command line of reelcast-cli, shared by its commands.
#pragma once

#include <string>

namespace reelcast::cli {

enum class Mode { Mpg1, Mpg2, Vcd, Svcd, Dvd, Avi, Divx, Mov, Swf };

struct CliOptions {
    Mode mode = Mode::Mpg1;
    std::string input;
    std::string output;
    bool ntsc = false;      // vcd, svcd, dvd
    bool film = false;      // vcd NTSC at 23.976
    bool lowRes = false;    // dvd at 352 wide
    double fps = 0;         // 0: not given
    int width = 0;          // 0: not given (--size)
    int height = 0;
    std::string codec;      // FourCC, avi/divx
    std::string audio;      // none|pcm|mp3|acm; empty: not given
    unsigned rate = 0;      // 32000|44100|48000 for avi/divx; 0: not given
    bool overwrite = false; // -y
    bool quiet = false;
    bool portable = false;  // force the portable kernel family
    int threads = 0;        // --threads; 0: not given (the engine's default)
};

}  // namespace reelcast::cli
