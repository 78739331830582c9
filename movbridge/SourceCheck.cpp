#include "movbridge/SourceCheck.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include "movbridge/IMovbridge.h"

namespace reelcast::movbridge {
namespace {

bool IsRegularFile(const char* path) {
    struct stat st;
    return path && *path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool HasDecoder(AVCodecID id) { return avcodec_find_decoder(id) != nullptr; }

}  // namespace

void QuietLibraryLog() {
    static const bool keepLog = std::getenv("REELCAST_FFMPEG_LOG") != nullptr;
    if (!keepLog && av_log_get_level() > AV_LOG_QUIET) av_log_set_level(AV_LOG_QUIET);
}

bool IsQuickTimeFamily(const AVFormatContext* fmt) {
    // One demuxer reads MOV, MP4, M4V, 3GP and their kin.
    return fmt && fmt->iformat && std::strstr(fmt->iformat->name, "mov") != nullptr;
}

bool IsFlash(const AVFormatContext* fmt) {
    return fmt && fmt->iformat && std::strcmp(fmt->iformat->name, "swf") == 0;
}

int FindPictureStream(const AVFormatContext* fmt) {
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* s = fmt->streams[i];
        if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (s->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        if (HasDecoder(s->codecpar->codec_id)) return static_cast<int>(i);
    }
    return -1;
}

std::int32_t CheckFile(const char* path) {
    if (!IsRegularFile(path)) return MOVBRIDGE_FILE_NOT_QUICKTIME;
    QuietLibraryLog();
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path, nullptr, nullptr) < 0) return MOVBRIDGE_FILE_NOT_QUICKTIME;
    std::int32_t kind = MOVBRIDGE_FILE_NOT_QUICKTIME;
    const bool quickTime = IsQuickTimeFamily(fmt);
    const bool flash = IsFlash(fmt);
    if ((quickTime || flash) && avformat_find_stream_info(fmt, nullptr) >= 0) {
        if (FindPictureStream(fmt) >= 0) {
            kind = MOVBRIDGE_FILE_SUPPORTED;
        } else if (flash) {
            kind = MOVBRIDGE_FILE_FLASH_VECTOR;
        }
    } else if (flash) {
        kind = MOVBRIDGE_FILE_FLASH_VECTOR;
    }
    avformat_close_input(&fmt);
    return kind;
}

std::int32_t LibraryStatus() {
    // Built against other major versions than the ones loaded: nothing can be trusted.
    if (avformat_version() >> 16 != LIBAVFORMAT_VERSION_MAJOR ||
        avcodec_version() >> 16 != LIBAVCODEC_VERSION_MAJOR ||
        avutil_version() >> 16 != LIBAVUTIL_VERSION_MAJOR)
        return MOVBRIDGE_END_NO_QUICKTIME;
    const bool parts = HasDecoder(AV_CODEC_ID_H264) && HasDecoder(AV_CODEC_ID_AAC) &&
                       avcodec_find_encoder(AV_CODEC_ID_MPEG4) != nullptr &&
                       avcodec_find_encoder_by_name("libmp3lame") != nullptr;
    return parts ? 0 : MOVBRIDGE_END_MISSING_PARTS;
}

}  // namespace reelcast::movbridge
