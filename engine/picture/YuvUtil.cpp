#include "engine/picture/YuvUtil.h"

#include <new>

#include "engine/mpeg/video/kernels/Cpu.h"

namespace reelcast::picture {

bool YuvUtil::Init() {
    BuildYuvTables(&tables_);
    InitPictureKernels(&kernels_, kernels::ActiveCpuFlags());
    return true;
}

void YuvUtil::RgbToYuv420(std::int32_t width, std::int32_t height, const std::uint8_t* rgbRows,
                          std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr) {
    if (width < 1 || height < 1 || !rgbRows || !y) return;
    const bool chroma = height >= 2 && width >= 2 && cb && cr;
    const std::size_t stride = (3u * static_cast<std::size_t>(width) + 3u) & ~std::size_t{3};
    const int cw = width / 2;
    try {
        chromaRows_.resize(4 * static_cast<std::size_t>(width));
    } catch (const std::bad_alloc&) {
        return;
    }
    std::uint8_t* cb0 = chromaRows_.data();
    std::uint8_t* cb1 = cb0 + width;
    std::uint8_t* cr0 = cb1 + width;
    std::uint8_t* cr1 = cr0 + width;
    // Bottom-up bitmap: picture row r is stored row height - 1 - r.
    auto srcRow = [&](int r) { return rgbRows + static_cast<std::size_t>(height - 1 - r) * stride; };
    int r = 0;
    for (; r + 1 < height; r += 2) {
        kernels_.RgbRowToYuv(srcRow(r), y + static_cast<std::size_t>(r) * width, cb0, cr0, width, &tables_);
        kernels_.RgbRowToYuv(srcRow(r + 1), y + static_cast<std::size_t>(r + 1) * width, cb1, cr1, width,
                             &tables_);
        if (chroma) {
            const std::size_t k = static_cast<std::size_t>(r / 2) * cw;
            kernels_.Subsample2x2(cb0, cb1, cb + k, cw);
            kernels_.Subsample2x2(cr0, cr1, cr + k, cw);
        }
    }
    if (r < height)  // odd last row: luma only, its chroma is dropped
        kernels_.RgbRowToYuv(srcRow(r), y + static_cast<std::size_t>(r) * width, cb0, cr0, width, &tables_);
}

void YuvUtil::ScalePlane(const std::uint8_t* src, int sw, int sh, std::uint8_t* dst, int dw, int dh) {
    if (!src || !dst || sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
    try {
        xi_.resize(static_cast<std::size_t>(dw));
        fx_.resize(static_cast<std::size_t>(dw));
        blend_.resize(static_cast<std::size_t>(sw) + 1);
    } catch (const std::bad_alloc&) {
        return;
    }
    // Positions advance by repeated addition, the same for every row.
    const double xs = static_cast<double>(sw) / dw;
    const double ys = static_cast<double>(sh) / dh;
    double x = 0.0;
    for (int j = 0; j < dw; ++j, x += xs) {
        int xi = static_cast<int>(x);
        int fx = static_cast<int>((x - xi) * 256.0);
        if (xi > sw - 1) xi = sw - 1, fx = 0;  // guards rounding drift at the edge
        xi_[static_cast<std::size_t>(j)] = xi;
        fx_[static_cast<std::size_t>(j)] = static_cast<std::uint16_t>(fx);
    }
    // The last column's right neighbour is itself: blend_ carries one copy more.
    double yp = 0.0;
    for (int i = 0; i < dh; ++i, yp += ys) {
        int yi = static_cast<int>(yp);
        int fy = static_cast<int>((yp - yi) * 256.0);
        if (yi > sh - 1) yi = sh - 1, fy = 0;
        const int yn = yi + 1 > sh - 1 ? sh - 1 : yi + 1;
        // (256-fx)(256-fy)p00 + (256-fx)fy p10 + fx(256-fy)p01 + fx fy p11
        //   = (256-fx) V[xi] + fx V[xi+1] with V = (256-fy) row yi + fy row yn.
        kernels_.BlendRows(src + static_cast<std::size_t>(yi) * sw, src + static_cast<std::size_t>(yn) * sw, fy,
                           blend_.data(), sw);
        blend_[static_cast<std::size_t>(sw)] = blend_[static_cast<std::size_t>(sw) - 1];
        kernels_.ScaleRow(blend_.data(), xi_.data(), fx_.data(), dst + static_cast<std::size_t>(i) * dw, dw);
    }
}

void YuvUtil::Scale(const VideoFrame* src, VideoFrame* dst) {
    if (!src || !dst) return;
    dst->chromaFormat = src->chromaFormat;
    ScalePlane(src->y, src->width, src->height, dst->y, dst->width, dst->height);
    // 4:4:4 chroma planes are full size; every other format is scaled as 4:2:0.
    const bool full = src->chromaFormat == 3;
    const int sw = full ? src->width : src->width / 2, sh = full ? src->height : src->height / 2;
    const int dw = full ? dst->width : dst->width / 2, dh = full ? dst->height : dst->height / 2;
    ScalePlane(src->cb, sw, sh, dst->cb, dw, dh);
    ScalePlane(src->cr, sw, sh, dst->cr, dw, dh);
}

}  // namespace reelcast::picture

REELCAST_EXPORT_COMPONENT(YUVUTL, reelcast::picture::YuvUtil)
