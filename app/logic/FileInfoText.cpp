#include "app/logic/FileInfoText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reelcast::app {

std::string GroupThousands(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string FileSizeText(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "0";
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0;
    ::close(fd);
    return ok ? GroupThousands(static_cast<std::uint64_t>(st.st_size)) : "0";
}

std::vector<std::string> FileInfoLines(std::string_view path, std::string_view sizeText,
                                       std::string_view probeText) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    std::vector<std::string> lines = {
        "Notice:",
        "    You can send Email to us about the information,",
        "    Version 3.8",
        "    if the file can not be converted !",
        "-------------- support@vantor-reelcast.example --------------",
        "File Name: " + std::string(name),
        "",
        "File Size: " + std::string(sizeText),
        "",
    };
    std::size_t start = 0;
    while (start < probeText.size()) {
        std::size_t end = probeText.find('\n', start);
        if (end == std::string_view::npos) end = probeText.size();
        std::string_view line = probeText.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace reelcast::app
