// Helpers of the end-to-end MPEG tests: running programs, generating sources,
// and reading back what FFmpeg makes of our files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include "../TestShell.h"

namespace reelcast::testing {

using testshell::CommandResult;
using testshell::HaveProgram;
using testshell::Quote;
using testshell::RunCommand;

// A folder of its own for one test, removed afterwards.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag) {
        path_ = std::filesystem::temp_directory_path() /
                ("reelcast_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        if (std::getenv("REELCAST_KEEP_TEST_FILES")) return;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
    static inline int counter_ = 0;
};

// What ffprobe says of the first video ("v") and audio ("a") streams, as
// "v.width" -> "352" and so on, from one run.
inline std::map<std::string, std::string> ProbeStreams(const std::string& file) {
    std::map<std::string, std::string> m;
    for (const char* st : {"v", "a"}) {
        const std::string cmd = std::string("ffprobe -v error -select_streams ") + st +
                                ":0 -show_entries stream=codec_name,width,height,r_frame_rate,sample_rate,channels"
                                " -of default=nw=1 " + Quote(file);
        testshell::AddKeyValues(RunCommand(cmd).out, m, std::string(st) + ".");
    }
    return m;
}

inline double Rate(const std::string& fraction) {
    const std::size_t slash = fraction.find('/');
    if (slash == std::string::npos) return std::atof(fraction.c_str());
    const double d = std::atof(fraction.c_str() + slash + 1);
    return d > 0 ? std::atof(fraction.substr(0, slash).c_str()) / d : 0;
}

}  // namespace reelcast::testing
