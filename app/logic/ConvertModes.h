// The nine conversions the main window offers and what the conversion window
// does in each: one table, read by the main window (its commands), the
// conversion window (title, dialogs' filters, route) and the tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace reelcast::app {

// The main window's conversion commands, in the order of its buttons and menu.
enum class ConvertEntry { AviToMpg1, AviToMpg2, AviToVcd, AviToSvcd, AviToDvd, AllToDivx, AllToAvi, MovToAvi, SwfToAvi };

// How a conversion is carried out.
enum class ConvertRoute { MpegJob, AviJob, Bridge };

// convertMode values of the conversion window (0..4 are the MPEG modes of
// MpegStart.h). The two bridge entries leave the window's mode as it was.
inline constexpr int kModeAllToAvi = 100;
inline constexpr int kModeAllToDivx = 101;
inline constexpr int kModeUnchanged = -1;

struct ConvertModeInfo {
    ConvertEntry entry;
    int convertMode;           // kModeUnchanged for the bridge entries
    const char* title;         // the window's Label_Title
    const char* defaultExt;    // the dialogs' default extension
    const char* openFilter;    // "description|pattern|..." pairs
    const char* saveFilter;
    ConvertRoute route;        // ALL to AVI switches to the bridge for QuickTime/Flash inputs
    bool useMovbridge;         // what the entry sets the window's useMovbridge to
};

// The table, one row per entry in enum order.
const std::vector<ConvertModeInfo>& ConvertModeTable();
const ConvertModeInfo& ModeInfo(ConvertEntry entry);

// "*.avi|*.avi|*.*|*.*" -> {"*.avi (*.avi)", "*.* (*.*)"}: the file dialogs'
// filter list, description followed by its pattern.
std::vector<std::string> DialogFilters(std::string_view pipeFilter);

// The extension of a path in upper case with its dot (".MOV"), or "".
std::string UpperExtension(std::string_view path);

// Whether ALL to AVI hands this input to the bridge (.MOV, .MP4, .SWF).
bool IsBridgeInput(std::string_view path);

// Whether ALL to DivX refuses this input (.MOV, .SWF) for "All to AVI".
bool IsRefusedByDivx(std::string_view path);

}  // namespace reelcast::app
