// The conversion jobs' texts for the user. Callers compare them: they stay as
// they are.
#pragma once

#include <string>
#include <string_view>

namespace reelcast::jobs {

inline constexpr const char* kNoMediaInfo = "Can't get media information from input file";
inline constexpr const char* kNoStreams = "The media file have not any video or audio stream";
inline constexpr const char* kFrameError = "Get video frames error";
// Used when the MPEG encoder front failed without saying why.
inline constexpr const char* kEncodeFailed = "MPEGEnc: Encoding failed.";
inline constexpr const char* kCanceled = "User Canceled";
inline constexpr const char* kNoPictureStream = "The source has no picture stream";
inline constexpr const char* kSoundUnreadable =
    "The source's sound could not be read: the output has silence in its place";

// Whether a job's message only warns: the conversion goes on (and may finish).
inline bool IsWarning(std::string_view text) { return text == kSoundUnreadable; }

// What the user is told of an output that a conversion which did not finish
// leaves behind: the pictures written so far, complete and playable.
inline std::string PartWrittenNotice(const std::string& path) { return path + " holds the part written so far"; }

}  // namespace reelcast::jobs
