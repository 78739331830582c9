// Helpers of the end-to-end MPEG tests: running programs, generating sources,
// and reading back what FFmpeg makes of our files.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace reelcast::testing {

// Runs a shell command; its standard output (stderr joined when asked) and exit status.
struct CommandResult {
    int status = -1;
    std::string out;
};

inline CommandResult RunCommand(const std::string& cmd) {
    CommandResult r;
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

inline bool HaveProgram(const char* name) {
    return RunCommand(std::string("command -v ") + name + " >/dev/null 2>&1").status == 0;
}

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

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
        const std::string out = RunCommand(cmd).out;
        std::size_t pos = 0;
        while (pos < out.size()) {
            std::size_t eol = out.find('\n', pos);
            if (eol == std::string::npos) eol = out.size();
            const std::string line = out.substr(pos, eol - pos);
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos) m[std::string(st) + "." + line.substr(0, eq)] = line.substr(eq + 1);
            pos = eol + 1;
        }
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
