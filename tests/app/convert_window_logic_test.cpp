// The conversion window's decisions, without a window.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "app/logic/ConvertModes.h"
#include "app/logic/ConvertWindowLogic.h"
#include "app/logic/FileInfoText.h"

namespace {

using namespace reelcast::app;

TEST(ConvertWindowLogic, OnlyAnIdleAllToAviWindowSwitchesToTheBridge) {
    EXPECT_TRUE(SwitchesToBridge(ConvertState::Idle, kModeAllToAvi, false, "C:\\film.mov"));
    EXPECT_TRUE(SwitchesToBridge(ConvertState::Idle, kModeAllToAvi, false, "/x/film.Mp4"));
    EXPECT_FALSE(SwitchesToBridge(ConvertState::Converting, kModeAllToAvi, false, "/x/film.mov"));
    EXPECT_FALSE(SwitchesToBridge(ConvertState::Idle, kModeAllToDivx, false, "/x/film.mov"));
    EXPECT_FALSE(SwitchesToBridge(ConvertState::Idle, kModeAllToAvi, true, "/x/film.mov"));
    EXPECT_FALSE(SwitchesToBridge(ConvertState::Idle, kModeAllToAvi, false, "/x/film.wmv"));
}

TEST(ConvertWindowLogic, ProposedOutputAppendsToTheWholeInputName) {
    EXPECT_EQ(ProposedOutput("C:\\a.wmv", "ALL to AVI", false), "C:\\a.wmv.avi");
    EXPECT_EQ(ProposedOutput("/v/a.avi", "AVI to VCD", false), "/v/a.avi.mpg");
    EXPECT_EQ(ProposedOutput("/v/film.mov", "AVI to MPG1", true), "/v/film.mov.avi");
    EXPECT_EQ(ProposedOutput("/v/film.mov", "MOV to AVI", false), "");
}

TEST(ConvertWindowLogic, ProgressTextIsWholePercent) {
    EXPECT_EQ(ProgressText(0), "0%");
    EXPECT_EQ(ProgressText(9999), "99%");
    EXPECT_EQ(ProgressText(10000), "100%");
    EXPECT_EQ(ProgressPercent(5050), 50);
    EXPECT_EQ(LockedOutputMessage("/a/b.mpg"), "File :/a/b.mpgis locked, can not be overwrite!");
}

TEST(ConvertWindowLogic, BridgeEndValuesMapToTheirBoxes) {
    struct Case {
        int value;
        const char* start;
        const char* caption;
    };
    const Case cases[] = {
        {0, "Convert completed!", "Info"},
        {1, "Vantor Reelcast need QuickTime to convert this file.\nPlease download QuickTime from:\n\n   ",
         "Stop"},
        {2, "Minimum installation of QuickTime find. \n", "Stop"},
        {3, "Convert error!", "Error"},
        {4, "Open the MOV file failed!", "Error"},
        {5, "Open the MOV file failed!", "Error"},
        {6, "Initialize error!", "Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        MessageSpec m;
        ASSERT_TRUE(BridgeEndMessage(c.value, &m));
        EXPECT_EQ(m.text.rfind(c.start, 0), 0u) << m.text;
        EXPECT_STREQ(m.caption, c.caption);
        EXPECT_EQ(m.icon, c.value == 0 ? MessageIcon::Information : MessageIcon::Error);
    }
    MessageSpec m;
    ASSERT_TRUE(BridgeEndMessage(1, &m));
    EXPECT_NE(m.text.find("\n\nand install it first.\nAttention:\nPlease choose \"Recommended\" option on the "
                          "installation.\n"),
              std::string::npos);
    EXPECT_FALSE(BridgeEndMessage(7, &m));
    EXPECT_FALSE(BridgeEndMessage(-1, &m));
}

TEST(ConvertWindowLogic, GeometryOfPreviewCentringAndUnfolding) {
    const Point p = PreviewPosition({400, 500}, 320, 328, 267);
    EXPECT_EQ(p.x, 396);
    EXPECT_EQ(p.y, 500 - 267 - 5);
    const Point c = CentredOn(100, 100, 320, 120, 200, 300);
    EXPECT_EQ(c.x, 160);
    EXPECT_EQ(c.y, 10);

    int half = 0, ticks = 0;
    while (half != 60) {
        half = UnfoldStep(half, 120);
        ++ticks;
    }
    EXPECT_EQ(ticks, 30);
    EXPECT_EQ(UnfoldStep(59, 119), 59) << "capped at half the height";
    EXPECT_EQ(FoldStep(1), 0);
    const Band closed = VisibleBand(0, 120);
    EXPECT_EQ(closed.bottom - closed.top, 1) << "a one-pixel band at the middle row";
    const Band open = VisibleBand(60, 120);
    EXPECT_EQ(open.top, 0);
    EXPECT_EQ(open.bottom, 120);
}

class TempFile {
public:
    TempFile() : path_("/tmp/reelcast-out-" + std::to_string(getpid()) + "-" + std::to_string(++n_)) {}
    ~TempFile() { unlink(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    static inline int n_ = 0;
    std::string path_;
};

long SizeOf(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

TEST(EmptiedOutput, RemovesOnlyAnOutputNobodyWrote) {
    TempFile f;
    std::ofstream(f.path()) << "previous contents";
    EXPECT_TRUE(OutputExists(f.path()));
    EmptiedOutput out;
    ASSERT_TRUE(out.Empty(f.path()));
    EXPECT_EQ(SizeOf(f.path()), 0);
    EXPECT_TRUE(out.RemoveIfUnwritten());
    EXPECT_FALSE(OutputExists(f.path()));
    EXPECT_FALSE(out.RemoveIfUnwritten()) << "forgotten after removal";

    ASSERT_TRUE(out.Empty(f.path()));
    std::ofstream(f.path()) << "a job wrote this";
    EXPECT_FALSE(out.RemoveIfUnwritten());
    EXPECT_GT(SizeOf(f.path()), 0);

    ASSERT_TRUE(out.Empty(f.path()));
    out.Forget();
    EXPECT_FALSE(out.RemoveIfUnwritten()) << "a job that took the file over keeps it";
    EXPECT_EQ(SizeOf(f.path()), 0);
}

// A job's message that ends a run names the file it left behind, by the name
// actually written (the AVI job's own for another extension).
TEST(ConvertWindowLogic, FailedRunNamesThePartWritten) {
    EXPECT_EQ(WrittenOutput(kModeAllToDivx, false, "/v/a.mkv"), "/v/a.avi");
    EXPECT_EQ(WrittenOutput(kModeAllToAvi, false, "/v/a.AVI"), "/v/a.AVI");
    EXPECT_EQ(WrittenOutput(kModeAllToAvi, true, "/v/a.mov.mkv"), "/v/a.mov.mkv");
    EXPECT_EQ(WrittenOutput(4, false, "/v/a.vob"), "/v/a.vob") << "an MPEG mode";

    TempFile f;
    EXPECT_EQ(JobMessageText("User Canceled", f.path()), "User Canceled") << "an empty file holds nothing";
    std::ofstream(f.path()) << "pictures";
    EXPECT_EQ(JobMessageText("User Canceled", f.path()),
              "User Canceled\n" + f.path() + " holds the part written so far");
    const std::string warning = "The source's sound could not be read: the output has silence in its place";
    EXPECT_EQ(JobMessageText(warning, f.path()), warning) << "a warning ends nothing";
    EXPECT_EQ(JobMessageText("Get video frames error", f.path() + ".gone"), "Get video frames error");
}

TEST(EmptiedOutput, AFileThatCannotBeWrittenIsRefused) {
    EmptiedOutput out;
    EXPECT_FALSE(out.Empty("/tmp"));
    EXPECT_FALSE(out.Empty("/nonexistent/dir/out.mpg"));
    EXPECT_TRUE(out.path().empty());
}

TEST(FileInfoText, SizesAreGroupedInThrees) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {123456, "123,456"}, {1234567, "1,234,567"},
        {18446744073709551615ull, "18,446,744,073,709,551,615"}};
    for (const auto& [v, text] : cases) EXPECT_EQ(GroupThousands(v), text);

    TempFile f;
    EXPECT_EQ(FileSizeText(f.path()), "0") << "a file that cannot be opened";
    { std::ofstream(f.path()) << std::string(1234567, 'x'); }
    EXPECT_EQ(FileSizeText(f.path()), "1,234,567");
}

TEST(FileInfoText, LinesNameTheFileAndCarryTheProbeText) {
    const auto lines = FileInfoLines("/films/holiday.avi", "1,024", "Video:\r\n  320 x 240\r\n");
    ASSERT_GE(lines.size(), 11u);
    EXPECT_EQ(lines[0], "Notice:");
    EXPECT_EQ(lines[5], "File Name: holiday.avi");
    EXPECT_EQ(lines[7], "File Size: 1,024");
    EXPECT_EQ(lines[9], "Video:");
    EXPECT_EQ(lines[10], "  320 x 240");
    EXPECT_EQ(lines.size(), 11u);
}

}  // namespace
