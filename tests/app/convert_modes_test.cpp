// The mode table as the main window and the conversion window read it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/logic/ConvertModes.h"

namespace {

using namespace reelcast::app;

struct ModeCase {
    ConvertEntry entry;
    int convertMode;
    const char* title;
    ConvertRoute route;
    std::vector<std::string> openFilters;
    std::vector<std::string> saveFilters;
};

class ModeTable : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeTable, EntryCarriesItsModeRouteAndFilters) {
    const ModeCase& c = GetParam();
    const ConvertModeInfo& m = ModeInfo(c.entry);
    EXPECT_EQ(m.entry, c.entry);
    EXPECT_EQ(m.convertMode, c.convertMode);
    EXPECT_STREQ(m.title, c.title);
    EXPECT_EQ(m.route, c.route);
    EXPECT_EQ(m.useMovbridge, c.route == ConvertRoute::Bridge);
    EXPECT_EQ(DialogFilters(m.openFilter), c.openFilters);
    EXPECT_EQ(DialogFilters(m.saveFilter), c.saveFilters);
}

const std::vector<std::string> kAviIn{"*.avi (*.avi)", "*.* (*.*)"};
const std::vector<std::string> kAviUpperIn{"*.AVI (*.AVI)", "*.* (*.*)"};
const std::vector<std::string> kMpgOut{"*.mpg (*.mpg)", "*.* (*.*)"};
const std::vector<std::string> kAviOut{"*.AVI (*.AVI)"};
const std::vector<std::string> kAviOutAny{"*.AVI (*.AVI)", "*.* (*.*)"};

INSTANTIATE_TEST_SUITE_P(
    Entries, ModeTable,
    ::testing::Values(
        ModeCase{ConvertEntry::AviToMpg1, 0, "AVI to MPG1", ConvertRoute::MpegJob, kAviIn, kMpgOut},
        ModeCase{ConvertEntry::AviToMpg2, 2, "AVI to MPG2", ConvertRoute::MpegJob, kAviIn, kMpgOut},
        ModeCase{ConvertEntry::AviToVcd, 1, "AVI to VCD", ConvertRoute::MpegJob, kAviUpperIn, kMpgOut},
        ModeCase{ConvertEntry::AviToSvcd, 3, "AVI to SVCD", ConvertRoute::MpegJob, kAviIn, kMpgOut},
        ModeCase{ConvertEntry::AviToDvd, 4, "AVI to DVD", ConvertRoute::MpegJob, kAviUpperIn,
                 {"*.MPG (*.MPG)", "*.* (*.*)"}},
        ModeCase{ConvertEntry::AllToDivx, 101, "ALL to DivX", ConvertRoute::AviJob,
                 {"All Files (*.*)", "*.AVI (*.AVI)", "*.SWF (*.SWF)", "*.WMV (*.WMV)", "*.ASF (*.ASF)",
                  "*.MPG (*.MPG)", "*.MOV (*.MOV)", "*.MP4 (*.MP4)"},
                 kAviOut},
        ModeCase{ConvertEntry::AllToAvi, 100, "ALL to AVI", ConvertRoute::AviJob,
                 {"All Files (*.*)", "*.SWF (*.SWF)", "*.WMV (*.WMV)", "*.ASF (*.ASF)", "*.MPG (*.MPG)",
                  "*.MOV (*.MOV)", "*.MP4 (*.MP4)"},
                 kAviOut},
        ModeCase{ConvertEntry::MovToAvi, kModeUnchanged, "MOV to AVI", ConvertRoute::Bridge,
                 {"*.MOV (*.MOV)", "*.* (*.*)"}, kAviOutAny},
        ModeCase{ConvertEntry::SwfToAvi, kModeUnchanged, "SWF to AVI", ConvertRoute::Bridge,
                 {"*.SWF (*.SWF)", "*.* (*.*)"}, kAviOutAny}));

TEST(ModeTable, HoldsOneRowPerEntryInEnumOrder) {
    const auto& table = ConvertModeTable();
    ASSERT_EQ(table.size(), 9u);
    for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(table[i].entry), i);
}

TEST(InputKinds, ExtensionsDecideBridgeAndDivxRefusal) {
    struct Case {
        const char* path;
        const char* ext;
        bool bridge;
        bool divxRefuses;
    };
    const Case cases[] = {
        {"/films/a.mov", ".MOV", true, true},   {"/films/a.Mp4", ".MP4", true, false},
        {"C:\\x\\clip.swf", ".SWF", true, true}, {"/films/a.wmv", ".WMV", false, false},
        {"/films.mov/noext", "", false, false},  {"a.mov.avi", ".AVI", false, false},
        {"", "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(UpperExtension(c.path), c.ext);
        EXPECT_EQ(IsBridgeInput(c.path), c.bridge);
        EXPECT_EQ(IsRefusedByDivx(c.path), c.divxRefuses);
    }
}

}  // namespace
