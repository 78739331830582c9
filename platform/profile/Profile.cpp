#include "platform/profile/Profile.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

namespace reelcast::platform {
namespace {

std::string Trim(const std::string& s) {
    const char* blanks = " \t\r\n";
    const std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    const std::size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

std::vector<std::string> ReadLines(const char* file) {
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "[name]" -> name; otherwise false.
bool SectionName(const std::string& line, std::string* name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    const std::size_t close = t.find(']');
    if (close == std::string::npos) return false;
    *name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value" -> key and value (trimmed); otherwise false.
bool KeyValue(const std::string& line, std::string* key, std::string* value) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(line.substr(0, eq));
    *value = Trim(line.substr(eq + 1));
    return !key->empty();
}

// Index range [first, end) of the lines of section, first pointing at its
// header; first = npos when absent.
void FindSection(const std::vector<std::string>& lines, const char* section, std::size_t* first,
                 std::size_t* end) {
    *first = std::string::npos;
    *end = lines.size();
    std::string name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!SectionName(lines[i], &name)) continue;
        if (*first != std::string::npos) {
            *end = i;
            return;
        }
        if (SameName(name, section)) *first = i;
    }
}

}  // namespace

std::uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                      char* buffer, std::uint32_t size, const char* file) {
    if (!buffer || size == 0) return 0;
    std::string value = defaultValue ? defaultValue : "";
    if (section && key && file) {
        const std::vector<std::string> lines = ReadLines(file);
        std::size_t first = 0, end = 0;
        FindSection(lines, section, &first, &end);
        std::string k, v;
        for (std::size_t i = first == std::string::npos ? end : first + 1; i < end; ++i) {
            if (KeyValue(lines[i], &k, &v) && SameName(k, key)) {
                if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
                value = v;
                break;
            }
        }
    }
    const std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file) {
    if (!section || !key || !file || !*section || !*key) return false;
    std::vector<std::string> lines = ReadLines(file);
    std::size_t first = 0, end = 0;
    FindSection(lines, section, &first, &end);
    const std::string entry = value ? std::string(key) + "=" + value : std::string();
    if (first == std::string::npos) {
        if (!value) return true;
        lines.push_back(std::string("[") + section + "]");
        lines.push_back(entry);
    } else {
        std::string k, v;
        std::size_t found = std::string::npos;
        for (std::size_t i = first + 1; i < end; ++i) {
            if (KeyValue(lines[i], &k, &v) && SameName(k, key)) {
                found = i;
                break;
            }
        }
        if (found != std::string::npos && value) {
            lines[found] = entry;
        } else if (found != std::string::npos) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(found));
        } else if (value) {
            // After the section's last non-blank line.
            std::size_t at = end;
            while (at > first + 1 && Trim(lines[at - 1]).empty()) --at;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
        }
    }
    const std::string temp = std::string(file) + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (const std::string& l : lines) out << l << '\n';
        if (!out.flush()) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), file) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::vector<std::string> GetPrivateProfileSection(const char* section, std::uint32_t size,
                                                  const char* file) {
    std::vector<std::string> out;
    if (!section || !file || size < 2) return out;
    const std::vector<std::string> lines = ReadLines(file);
    std::size_t first = 0, end = 0;
    FindSection(lines, section, &first, &end);
    if (first == std::string::npos) return out;
    std::size_t used = 1;  // the final terminator
    for (std::size_t i = first + 1; i < end; ++i) {
        const std::string t = Trim(lines[i]);
        if (t.empty() || t[0] == ';') continue;
        used += t.size() + 1;
        if (used > size) break;
        out.push_back(t);
    }
    return out;
}

}  // namespace reelcast::platform
