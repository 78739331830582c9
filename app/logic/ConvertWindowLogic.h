// The conversion window's decisions and texts, without a window: its state, the
// output name it proposes, the progress text, the bridge's end messages, where
// the preview window goes, the unfolding band, and the empty output the window
// itself created.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace reelcast::app {

enum class ConvertState : std::int32_t { Idle = 0, Converting = 1, Stopping = 2 };

enum class MessageIcon { Information, Warning, Error };

// A message box: text, caption, icon.
struct MessageSpec {
    std::string text;
    const char* caption;
    MessageIcon icon;
};

inline constexpr const char* kNoInputFile = "Please set the input file name!";
inline constexpr const char* kNoOutputFile = "Please set the output file name!";
inline constexpr const char* kOverwriteQuestion = "Output File have exist! Do you want to overwrite it ?";
inline constexpr const char* kConvertCompleted = "Convert completed!";
inline constexpr const char* kStopQuestion = "Stop the converting?";
inline constexpr const char* kUseAllToAvi =
    "This is a QuickTime MOV or Flash SWF file, Please choose \"All to AVI\" to convert it.";
inline constexpr const char* kLoading = "Loading...";
inline constexpr const char* kProgressReset = "0/100";
// Where message 1 of the bridge sends the user for the decoding libraries.
inline constexpr const char* kQuickTimeDownload = "https://ffmpeg.org/download.html";

// "File :<path>is locked, can not be overwrite!"
std::string LockedOutputMessage(std::string_view path);

// Progress in 1/10000 as the bar's percentage and the label's "%d%%".
int ProgressPercent(std::int32_t permyriad);
std::string ProgressText(std::int32_t permyriad);

// Whether a new input makes ALL to AVI hand the conversion to the bridge: only
// when idle, in mode 100, not yet switched, and for .MOV, .MP4 and .SWF names.
bool SwitchesToBridge(ConvertState state, int convertMode, bool useMovbridge, std::string_view input);

// The output name proposed for an input: the bridge appends ".avi"; otherwise a
// title beginning "AVI" appends ".mpg" and one beginning "ALL" ".avi". Empty when
// the title proposes nothing.
std::string ProposedOutput(std::string_view input, std::string_view title, bool useMovbridge);

// The bridge's end event: the message box for `value`; false for values that
// end the conversion without one.
bool BridgeEndMessage(std::int32_t value, MessageSpec* out);

// The preview window's top-left corner: centred above the conversion window,
// 5 pixels between them.
struct Point {
    int x;
    int y;
};
Point PreviewPosition(Point convertWindow, int pictureWidth, int previewWidth, int previewHeight);

// The top-left corner that centres a window of size (w, h) on the centre of
// the rectangle (x, y, rw, rh).
Point CentredOn(int x, int y, int rw, int rh, int w, int h);

// Unfolding: the next half-height (2 pixels more, capped at half the height),
// and folding: 2 pixels less, not below 0.
int UnfoldStep(int halfHeight, int windowHeight);
int FoldStep(int halfHeight);
// The visible band of rows [top, bottom) for a half-height around the middle row.
struct Band {
    int top;
    int bottom;
};
Band VisibleBand(int halfHeight, int windowHeight);

// An output file the window emptied itself before a start (the overwrite
// answer). When the start is refused or the job fails before writing a byte,
// the empty file is removed, so the user is not left with a file of nothing.
class EmptiedOutput {
public:
    // Empties (or creates) path for writing; false when it cannot be opened for
    // writing (locked, read-only, a folder).
    bool Empty(const std::string& path);
    // Removes the file when it was emptied here and is still empty; forgets it.
    // Answers whether it was removed.
    bool RemoveIfUnwritten();
    // The job has taken over the file (completed, or left as the job left it).
    void Forget() { path_.clear(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Whether path names something that can be opened for reading (the overwrite
// question's test).
bool OutputExists(const std::string& path);

// The file a conversion writes for the output name given: the AVI job writes an
// AVI name; the MPEG job and the bridge write the name as given.
std::string WrittenOutput(int convertMode, bool useMovbridge, const std::string& output);

// The box text for a job's message. A message that ends the conversion while
// the written file holds something tells the user that the file holds the part
// written so far.
std::string JobMessageText(const std::string& message, const std::string& written);

}  // namespace reelcast::app
