#include "movbridge/Rotation.h"

#include <cmath>
#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace reelcast::movbridge {
namespace {

// One plane of w x h samples.
void TurnPlane(const std::uint8_t* src, int srcStride, int w, int h, std::uint8_t* dst, int dstStride, int turn) {
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = src + static_cast<std::ptrdiff_t>(y) * srcStride;
        for (int x = 0; x < w; ++x) {
            int dx = x;
            int dy = y;
            if (turn == 90) {
                dx = h - 1 - y;
                dy = x;
            } else if (turn == 180) {
                dx = w - 1 - x;
                dy = h - 1 - y;
            } else if (turn == 270) {
                dx = y;
                dy = w - 1 - x;
            }
            dst[static_cast<std::ptrdiff_t>(dy) * dstStride + dx] = row[x];
        }
    }
}

}  // namespace

int ClockwiseTurn(const AVStream* stream) {
    const auto* matrix = reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix) return 0;
    // The matrix gives the counter-clockwise angle.
    const double ccw = av_display_rotation_get(matrix);
    if (std::isnan(ccw)) return 0;
    const long turn = ((-std::lround(ccw)) % 360 + 360) % 360;
    return turn % 90 == 0 ? static_cast<int>(turn) : 0;
}

void TurnPicture(const AVFrame* src, AVFrame* dst, int turn) {
    for (int p = 0; p < 3; ++p) {
        const int shift = p == 0 ? 0 : 1;
        TurnPlane(src->data[p], src->linesize[p], src->width >> shift, src->height >> shift, dst->data[p],
                  dst->linesize[p], turn);
    }
}

}  // namespace reelcast::movbridge
