// Opening a local media file with libavformat the safe way for this program:
// local files only (no protocol prefixes, no network references from playlists),
// regular files only, and an optional forced container. Platform-internal.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

namespace reelcast::platform {

// Paths of 260 characters or more are refused, as everywhere in the engine.
constexpr unsigned kMaxPathChars = 260;

// True when path is a usable source path: not null, shorter than 260 characters,
// and naming an existing regular file.
bool IsReadableFile(const char* path);

// Opens path (container `format`, e.g. "avi", or null for any). When findInfo is
// set the streams are probed as well. Null on any failure; free with
// avformat_close_input.
AVFormatContext* OpenMediaInput(const char* path, const char* format, bool findInfo);

}  // namespace reelcast::platform
