#include "app/logic/Skins.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>

#include "app/logic/SkinFolder.h"
#include "platform/profile/Profile.h"

namespace reelcast::app {
namespace {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Size of a regular file; -1 when it is missing or not a file.
long long FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

}  // namespace

int LenientNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > INT_MAX) return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -v : v);
}

std::string SkinControlFile(int number) { return "ctrl" + std::to_string(number) + ".bmp"; }

std::vector<SkinControl> ParseSkinControls(const std::vector<std::string>& lines) {
    std::vector<SkinControl> controls;
    for (const auto& line : lines) {
        SkinControl c;
        c.number = LenientNumber(line);
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            c.left = LenientNumber(line.substr(eq + 1));
            const auto comma = line.find(',', eq + 1);
            if (comma != std::string::npos) c.top = LenientNumber(line.substr(comma + 1));
        }
        controls.push_back(c);
    }
    return controls;
}

SkinDescription DescribeSkin(const std::string& folder) {
    SkinDescription d;
    d.folder = folder;
    const std::string face = folder + "/" + kSkinFaceFile;
    const std::string ini = folder + "/" + kSkinIniFile;
    if (FileSize(face) <= 0) {
        d.problem = face + " is missing or empty";
        return d;
    }
    if (FileSize(ini) <= 0) {
        d.problem = ini + " is missing or empty";
        return d;
    }
    for (const auto& c : ParseSkinControls(
             platform::GetPrivateProfileSection(kSkinControlsSection, kSkinSectionChars, ini.c_str()))) {
        if (c.number >= 1 && c.number <= kSkinButtonCount) d.controls.push_back(c);
    }
    if (d.controls.empty()) {
        d.problem = ini + " places none of the buttons";
        return d;
    }
    d.usable = true;
    return d;
}

bool SkinExists(const std::string& programFolder, int n) {
    return n >= 0 && IsFolder(SkinFolderPath(programFolder, n));
}

int CountSkins(const std::string& programFolder) {
    int n = 0;
    while (SkinExists(programFolder, n)) ++n;
    return n;
}

int NextSkin(const std::string& programFolder, int current) {
    if (current >= 0 && current < INT_MAX && SkinExists(programFolder, current + 1))
        return current + 1;
    return 0;
}

std::string ConfigPath(const std::string& programFolder) {
    return programFolder + "/" + kConfigFile;
}

int ReadSkinIndex(const std::string& configPath) {
    char text[kSkinIndexChars];
    platform::GetPrivateProfileString(kConfigSection, kSkinIndexKey, "0", text, sizeof text,
                                      configPath.c_str());
    return LenientNumber(text);
}

bool WriteSkinIndex(const std::string& configPath, int index) {
    return platform::WritePrivateProfileString(kConfigSection, kSkinIndexKey,
                                               std::to_string(index).c_str(), configPath.c_str());
}

}  // namespace reelcast::app
