// Running programs from the tests: a shell command's output and exit status,
// quoting for the shell, and the key=value lines that ffprobe and mediainfo print.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>

namespace testshell {

struct CommandResult {
    int status = -1;  // the exit status; -1 when the command could not run or was killed
    std::string out;  // its standard output
};

inline CommandResult RunCommand(const std::string& command) {
    CommandResult r;
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
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

// The key=value lines of text, each key with `prefix` before it; other lines
// are passed over.
inline void AddKeyValues(const std::string& text, std::map<std::string, std::string>& into,
                         const std::string& prefix = "") {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && line[0] != '[') into[prefix + line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
}

inline std::map<std::string, std::string> KeyValues(const std::string& text) {
    std::map<std::string, std::string> m;
    AddKeyValues(text, m);
    return m;
}

}  // namespace testshell
