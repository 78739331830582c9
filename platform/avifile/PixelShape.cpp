#include "platform/avifile/PixelShape.h"

#include <utility>

#include "platform/avifile/MediaInput.h"
#include "platform/avifile/PictureFilter.h"

extern "C" {
#include <libavutil/rational.h>
}

namespace reelcast::platform {

PixelAspect SourcePixelAspect(const char* path) {
    PixelAspect aspect;
    AVFormatContext* fmt = OpenMediaInput(path, nullptr, true);
    if (!fmt) return aspect;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC) ||
            !avcodec_find_decoder(st->codecpar->codec_id))
            continue;
        const AVRational sar = av_guess_sample_aspect_ratio(fmt, st, nullptr);
        if (sar.num > 0 && sar.den > 0) {
            av_reduce(&aspect.num, &aspect.den, sar.num, sar.den, 65535);
            if (aspect.num <= 0 || aspect.den <= 0) aspect = PixelAspect{};
            const int turn = DisplayRotation(st);
            if (turn == 90 || turn == 270) std::swap(aspect.num, aspect.den);
        }
        break;
    }
    avformat_close_input(&fmt);
    return aspect;
}

}  // namespace reelcast::platform
