// The file information dialog's text: a notice, the file's name and size, and
// the probe's description.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reelcast::app {

inline constexpr const char* kNoFileInformation = "Can not get information of the file!";

// 1234567 -> "1,234,567"; 999 -> "999".
std::string GroupThousands(std::uint64_t value);

// The size of the file as the dialog shows it: grouped, or "0" when the file
// cannot be opened for reading.
std::string FileSizeText(const std::string& path);

// The dialog's lines: the notice, "File Name: " with the name without its
// folder, "File Size: " with sizeText, then the probe's text (its own line
// breaks, "\r\n" or "\n", split into lines).
std::vector<std::string> FileInfoLines(std::string_view path, std::string_view sizeText,
                                       std::string_view probeText);

}  // namespace reelcast::app
