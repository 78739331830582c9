// What the bridge can read, judged by a file's content and by the decoders and
// encoders the FFmpeg libraries offer.
#pragma once

#include <cstdint>

extern "C" {
struct AVFormatContext;
}

namespace reelcast::movbridge {

// A MOVBRIDGE_FILE_* value. Any thread.
std::int32_t CheckFile(const char* path);

// QuickTimeStatus(): 0 all there, 2 parts missing, 1 the libraries are unusable.
std::int32_t LibraryStatus();

// The container families the bridge takes, by the demuxer that opened the file.
bool IsQuickTimeFamily(const AVFormatContext* fmt);
bool IsFlash(const AVFormatContext* fmt);

// The stream to convert: the first real video stream (no cover art) with a
// decoder; -1 when there is none.
int FindPictureStream(const AVFormatContext* fmt);

// Quiets the libraries' complaints about damaged input unless REELCAST_FFMPEG_LOG is set.
void QuietLibraryLog();

}  // namespace reelcast::movbridge
