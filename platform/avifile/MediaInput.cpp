#include "platform/avifile/MediaInput.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

namespace reelcast::platform {

bool IsReadableFile(const char* path) {
    if (!path || !*path || std::strlen(path) >= kMaxPathChars) return false;
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

AVFormatContext* OpenMediaInput(const char* path, const char* format, bool findInfo) {
    if (!IsReadableFile(path)) return nullptr;
    // The libraries' own complaints about damaged input ("moov atom not found",
    // damaged macroblocks) are not the user's business: the engine answers false
    // or describes what it could read, and prints nothing. REELCAST_FFMPEG_LOG
    // keeps them for debugging.
    static const bool keepLog = std::getenv("REELCAST_FFMPEG_LOG") != nullptr;
    if (!keepLog && av_log_get_level() > AV_LOG_QUIET) av_log_set_level(AV_LOG_QUIET);
    const AVInputFormat* fmt = nullptr;
    if (format) {
        fmt = av_find_input_format(format);
        if (!fmt) return nullptr;
    }
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    // "file:" keeps a name such as "a:b.avi" from being read as a protocol.
    const std::string url = std::string("file:") + path;
    AVFormatContext* ctx = nullptr;
    int rc = avformat_open_input(&ctx, url.c_str(), fmt, &opts);
    av_dict_free(&opts);
    if (rc < 0) return nullptr;
    if (findInfo && avformat_find_stream_info(ctx, nullptr) < 0) {
        avformat_close_input(&ctx);
        return nullptr;
    }
    return ctx;
}

}  // namespace reelcast::platform
