#include "app/logic/ConvertModes.h"

#include <cctype>

#include "app/logic/MpegStart.h"

namespace reelcast::app {

const std::vector<ConvertModeInfo>& ConvertModeTable() {
    static const std::vector<ConvertModeInfo> table = {
        {ConvertEntry::AviToMpg1, kModeMpg1, "AVI to MPG1", "mpg", "*.avi|*.avi|*.*|*.*",
         "*.mpg|*.mpg|*.*|*.*", ConvertRoute::MpegJob, false},
        {ConvertEntry::AviToMpg2, kModeMpg2, "AVI to MPG2", "mpg", "*.avi|*.avi|*.*|*.*",
         "*.mpg|*.mpg|*.*|*.*", ConvertRoute::MpegJob, false},
        {ConvertEntry::AviToVcd, kModeVcd, "AVI to VCD", "mpg", "*.AVI|*.AVI|*.*|*.*",
         "*.mpg|*.mpg|*.*|*.*", ConvertRoute::MpegJob, false},
        {ConvertEntry::AviToSvcd, kModeSvcd, "AVI to SVCD", "mpg", "*.avi|*.avi|*.*|*.*",
         "*.mpg|*.mpg|*.*|*.*", ConvertRoute::MpegJob, false},
        {ConvertEntry::AviToDvd, kModeDvd, "AVI to DVD", "mpg", "*.AVI|*.AVI|*.*|*.*",
         "*.MPG|*.MPG|*.*|*.*", ConvertRoute::MpegJob, false},
        {ConvertEntry::AllToDivx, kModeAllToDivx, "ALL to DivX", "avi",
         "All Files|*.*|*.AVI|*.AVI|*.SWF|*.SWF|*.WMV|*.WMV|*.ASF|*.ASF|*.MPG|*.MPG|*.MOV|*.MOV|*.MP4|*.MP4",
         "*.AVI|*.AVI", ConvertRoute::AviJob, false},
        {ConvertEntry::AllToAvi, kModeAllToAvi, "ALL to AVI", "avi",
         "All Files|*.*|*.SWF|*.SWF|*.WMV|*.WMV|*.ASF|*.ASF|*.MPG|*.MPG|*.MOV|*.MOV|*.MP4|*.MP4",
         "*.AVI|*.AVI", ConvertRoute::AviJob, false},
        {ConvertEntry::MovToAvi, kModeUnchanged, "MOV to AVI", "AVI", "*.MOV|*.MOV|*.*|*.*",
         "*.AVI|*.AVI|*.*|*.*", ConvertRoute::Bridge, true},
        {ConvertEntry::SwfToAvi, kModeUnchanged, "SWF to AVI", "AVI", "*.SWF|*.SWF|*.*|*.*",
         "*.AVI|*.AVI|*.*|*.*", ConvertRoute::Bridge, true},
    };
    return table;
}

const ConvertModeInfo& ModeInfo(ConvertEntry entry) {
    return ConvertModeTable().at(static_cast<std::size_t>(entry));
}

std::vector<std::string> DialogFilters(std::string_view pipeFilter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= pipeFilter.size()) {
        const std::size_t bar = pipeFilter.find('|', start);
        const std::size_t end = bar == std::string_view::npos ? pipeFilter.size() : bar;
        parts.emplace_back(pipeFilter.substr(start, end - start));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    std::vector<std::string> filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        filters.push_back(parts[i] + " (" + parts[i + 1] + ")");
    }
    return filters;
}

std::string UpperExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string ext(path.substr(dot));
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

bool IsBridgeInput(std::string_view path) {
    const std::string ext = UpperExtension(path);
    return ext == ".MOV" || ext == ".MP4" || ext == ".SWF";
}

bool IsRefusedByDivx(std::string_view path) {
    const std::string ext = UpperExtension(path);
    return ext == ".MOV" || ext == ".SWF";
}

}  // namespace reelcast::app
