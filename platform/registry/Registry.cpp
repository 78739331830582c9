#include "platform/registry/Registry.h"

#include <cerrno>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace reelcast::platform::registry {
namespace {

std::mutex g_mutex;

// Key paths compare without regard to case, as registry keys do.
struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const int x = std::tolower(static_cast<unsigned char>(a[i]));
            const int y = std::tolower(static_cast<unsigned char>(b[i]));
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
};
using Store = std::map<std::string, std::string, CaseLess>;

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/VantorReelcast";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/VantorReelcast";
}

// Tabs, line breaks and backslashes in values are escaped so each entry stays on
// one line; key paths keep their backslashes (they never hold tabs or breaks).
std::string Escape(const std::string& s) {
    std::string o;
    for (char c : s) {
        switch (c) {
        case '\\': o += "\\\\"; break;
        case '\t': o += "\\t"; break;
        case '\n': o += "\\n"; break;
        case '\r': o += "\\r"; break;
        default: o += c;
        }
    }
    return o;
}

std::string Unescape(const std::string& s) {
    std::string o;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            o += s[i];
            continue;
        }
        const char c = s[++i];
        o += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return o;
}

Store Load() {
    Store st;
    std::ifstream in(StorePath());
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) continue;  // not ours: skipped
        st[line.substr(0, tab)] = Unescape(line.substr(tab + 1));
    }
    return st;
}

bool MakeFolders(const std::string& path) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

bool Save(const Store& st) {
    const std::string folder = ConfigFolder();
    if (!MakeFolders(folder)) return false;
    const std::string path = StorePath();
    const std::string tmp = path + ".tmp." + std::to_string(getpid());
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) return false;
        for (const auto& [k, v] : st) out << k << '\t' << Escape(v) << '\n';
        out.flush();
        if (!out) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

std::string Normalise(std::string key) {
    for (char& c : key)
        if (c == '/') c = '\\';
    while (!key.empty() && key.back() == '\\') key.pop_back();
    while (!key.empty() && key.front() == '\\') key.erase(0, 1);
    return key;
}

}  // namespace

std::string StorePath() { return ConfigFolder() + "/registry"; }

std::string JoinKey(const std::string& key, const std::string& sub) {
    const std::string k = Normalise(key), s = Normalise(sub);
    if (k.empty()) return s;
    if (s.empty()) return k;
    return k + "\\" + s;
}

bool SetValue(const std::string& key, const std::string& sub, const std::string& value) {
    const std::string path = JoinKey(key, sub);
    if (path.empty() || path.find_first_of("\t\n\r") != std::string::npos) return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    Store st = Load();
    st[path] = value;
    return Save(st);
}

bool QueryValue(const std::string& key, const std::string& sub, std::string* value) {
    const std::string path = JoinKey(key, sub);
    std::lock_guard<std::mutex> lock(g_mutex);
    const Store st = Load();
    const auto it = st.find(path);
    if (it == st.end()) return false;
    if (value) *value = it->second;
    return true;
}

bool DeleteKey(const std::string& key) {
    const std::string path = Normalise(key);
    std::lock_guard<std::mutex> lock(g_mutex);
    Store st = Load();
    CaseLess less;
    for (auto it = st.begin(); it != st.end();) {
        const std::string& k = it->first;
        const bool below = k.size() > path.size() && k[path.size()] == '\\' &&
                           !less(k.substr(0, path.size()), path) && !less(path, k.substr(0, path.size()));
        const bool same = !less(k, path) && !less(path, k);
        it = (same || below) ? st.erase(it) : std::next(it);
    }
    return Save(st);
}

}  // namespace reelcast::platform::registry
