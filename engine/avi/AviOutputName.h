// Where an AVI conversion writes: the name the user gave when it ends in .avi
// (in any case), else that name with its extension replaced by .avi. Only the
// last part of the path counts, so a dot in a folder name never moves the file
// into another folder. Continuation files and the WAV beside the AVI are named
// after the same base. Used by the writer and by reelcast-cli, which tells the
// user when the written name differs from the one given.
#pragma once

#include <cstring>
#include <string>
#include <strings.h>

namespace reelcast {

// The path without the extension of its last part.
inline std::string AviBaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        return path;  // no extension (a leading dot names a hidden file)
    return path.substr(0, dot);
}

inline std::string AviOutputName(const std::string& path) {
    const std::string base = AviBaseName(path);
    if (path.size() - base.size() == 4 && strcasecmp(path.c_str() + base.size(), ".avi") == 0) return path;
    return base + ".avi";
}

}  // namespace reelcast
