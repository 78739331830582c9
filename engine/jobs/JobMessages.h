// The conversion jobs' texts for the user. Callers compare them: they stay as
// they are.
#pragma once

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

}  // namespace reelcast::jobs
