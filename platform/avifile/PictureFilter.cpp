#include "platform/avifile/PictureFilter.h"

#include <cmath>
#include <cstdio>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace reelcast::platform {
namespace {

bool FieldOrderInterlaced(const AVStream* st) {
    switch (st->codecpar->field_order) {
        case AV_FIELD_TT:
        case AV_FIELD_BB:
        case AV_FIELD_TB:
        case AV_FIELD_BT:
            return true;
        default:
            return false;
    }
}

}  // namespace

int DisplayRotation(const AVStream* st) {
    if (!st) return 0;
    size_t size = 0;
    const std::uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!m || size < 9 * sizeof(std::int32_t)) return 0;
    // The matrix turns counter-clockwise; players show the picture turned back.
    const double ccw = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(m));
    if (!std::isfinite(ccw)) return 0;
    long turn = std::lround(-ccw / 90.0) % 4;
    if (turn < 0) turn += 4;
    return static_cast<int>(turn * 90);
}

void DisplaySize(const AVStream* st, int* width, int* height) {
    const int r = DisplayRotation(st);
    if (r == 90 || r == 270) std::swap(*width, *height);
}

PictureFilter::~PictureFilter() { Close(); }

void PictureFilter::Open(const AVStream* st) {
    Close();
    st_ = st;
    rotation_ = DisplayRotation(st);
}

void PictureFilter::Close() {
    Reset();
    av_frame_free(&held_);
    st_ = nullptr;
    rotation_ = 0;
}

void PictureFilter::FreeGraph() {
    avfilter_graph_free(&graph_);
    src_ = sink_ = nullptr;
}

void PictureFilter::Reset() {
    FreeGraph();
    if (held_) av_frame_unref(held_);
    holding_ = false;
    decided_ = false;
    passThrough_ = false;
    width_ = height_ = 0;
    format_ = -1;
}

bool PictureFilter::Build(const AVFrame* first) {
    FreeGraph();
    std::string chain;
    if (first->interlaced_frame) {
        // The pictures say which are interlaced (and which field comes first).
        chain = "bwdif=mode=send_frame:parity=auto:deint=interlaced";
    } else if (FieldOrderInterlaced(st_)) {
        // Only the stream says so: every picture is.
        const bool tff = st_->codecpar->field_order == AV_FIELD_TT || st_->codecpar->field_order == AV_FIELD_TB;
        chain = std::string("bwdif=mode=send_frame:deint=all:parity=") + (tff ? "tff" : "bff");
    }
    const char* turn = rotation_ == 90 ? "transpose=clock" : rotation_ == 180 ? "hflip,vflip"
                                                        : rotation_ == 270 ? "transpose=cclock" : nullptr;
    if (turn) chain += (chain.empty() ? "" : ",") + std::string(turn);
    width_ = first->width;
    height_ = first->height;
    format_ = first->format;
    if (chain.empty()) return true;

    graph_ = avfilter_graph_alloc();
    if (!graph_) return false;
    graph_->nb_threads = 1;
    const AVRational tb = st_->time_base.num > 0 && st_->time_base.den > 0 ? st_->time_base : AVRational{1, 90000};
    const AVRational sar = first->sample_aspect_ratio.num > 0 ? first->sample_aspect_ratio : AVRational{1, 1};
    char args[256];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                  first->width, first->height, first->format, tb.num, tb.den, sar.num, sar.den);
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    bool ok = outputs && inputs &&
              avfilter_graph_create_filter(&src_, avfilter_get_by_name("buffer"), "in", args, nullptr, graph_) >= 0 &&
              avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                           graph_) >= 0;
    if (ok) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = src_;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink_;
        ok = avfilter_graph_parse_ptr(graph_, chain.c_str(), &inputs, &outputs, nullptr) >= 0 &&
             avfilter_graph_config(graph_, nullptr) >= 0;
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (!ok) FreeGraph();
    return ok;
}

bool PictureFilter::Push(AVFrame* picture) {
    if (!picture) {
        return !graph_ || av_buffersrc_add_frame_flags(src_, nullptr, 0) >= 0;
    }
    if (!decided_ || (graph_ && (picture->width != width_ || picture->height != height_ ||
                                 picture->format != format_))) {
        // A picture the filters cannot take (a pixel format without a deinterlacer
        // or turn) is shown as it is.
        decided_ = true;
        passThrough_ = !Build(picture) || !graph_;
    }
    if (passThrough_) {
        if (!held_) held_ = av_frame_alloc();
        if (!held_) return false;
        av_frame_unref(held_);
        av_frame_move_ref(held_, picture);
        holding_ = true;
        return true;
    }
    const bool ok = av_buffersrc_add_frame_flags(src_, picture, 0) >= 0;
    av_frame_unref(picture);
    return ok;
}

bool PictureFilter::Pull(AVFrame* out) {
    if (passThrough_ || !graph_) {
        if (!holding_) return false;
        av_frame_move_ref(out, held_);
        holding_ = false;
        return true;
    }
    return av_buffersink_get_frame(sink_, out) >= 0;
}

}  // namespace reelcast::platform
