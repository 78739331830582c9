#include "engine/picture/YuvToRgb.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "engine/mpeg/video/kernels/Cpu.h"

namespace reelcast::picture {

namespace {

// Pictures beyond this many pixels are refused: keeps every size computation
// well inside 32-bit offsets and rejects nonsense records.
constexpr long long kMaxPixels = 1LL << 26;

// The pictures handed out are malloc'd (callers, C ones too, free them); this
// owns one until it is handed over.
struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
using OutputBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

OutputBuffer AllocateOutput(std::size_t bytes) { return OutputBuffer(static_cast<std::uint8_t*>(std::malloc(bytes))); }

// Working rows, freed with the conversion.
std::unique_ptr<std::uint8_t[]> AllocateRows(std::size_t bytes) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]);
}

bool Valid(const VideoFrame* in, std::uint8_t** out) {
    if (!out) return false;
    *out = nullptr;
    if (!in || !in->y || in->width < 1 || in->height < 1) return false;
    if (static_cast<long long>(in->width) * in->height > kMaxPixels) return false;
    return true;
}

// A picture's chroma as rows of full-size samples, up-sampled on demand from
// 4:2:0 (horizontal first, then odd rows as the average of their neighbours,
// the rows past the last chroma row repeating it) or taken as they are.
class FullChroma {
public:
    FullChroma(const PictureKernels& k, const VideoFrame& f, const std::uint8_t* plane)
        : k_(k), f_(f), plane_(plane) {}

    bool Prepare() {
        if (f_.chromaFormat != 1) return true;
        cw_ = f_.width / 2;
        ch_ = f_.height / 2;
        if (!plane_ || cw_ < 1 || ch_ < 1) return true;  // no chroma: neutral grey
        mem_ = AllocateRows(3 * static_cast<std::size_t>(f_.width));
        return mem_ != nullptr;
    }
    FullChroma(const FullChroma&) = delete;
    FullChroma& operator=(const FullChroma&) = delete;

    // Full-size row r (valid until the next call).
    const std::uint8_t* Row(int r) {
        const std::size_t w = static_cast<std::size_t>(f_.width);
        if (f_.chromaFormat != 1) {
            if (!plane_) return Neutral();
            return plane_ + static_cast<std::size_t>(r) * w;
        }
        if (!mem_) return Neutral();
        std::uint8_t* a = mem_.get();
        std::uint8_t* b = a + w;
        std::uint8_t* out = a + 2 * w;
        const int k0 = Clamp(r / 2);
        if ((r & 1) == 0) {
            Up(k0, a);
            return a;
        }
        const int k1 = Clamp((r + 1) / 2);
        Up(k0, a);
        if (k1 == k0) return a;
        Up(k1, b);
        k_.AverageRows(a, b, out, f_.width);
        return out;
    }

private:
    int Clamp(int k) const { return k < ch_ ? k : ch_ - 1; }
    void Up(int k, std::uint8_t* dst) {
        k_.UpsampleRow(plane_ + static_cast<std::size_t>(k) * cw_, cw_, dst, f_.width);
    }
    const std::uint8_t* Neutral() {
        if (!grey_) {
            grey_ = AllocateRows(static_cast<std::size_t>(f_.width));
            if (grey_) std::memset(grey_.get(), 128, static_cast<std::size_t>(f_.width));
        }
        return grey_.get();
    }

    const PictureKernels& k_;
    const VideoFrame& f_;
    const std::uint8_t* plane_;
    int cw_ = 0, ch_ = 0;
    std::unique_ptr<std::uint8_t[]> mem_;
    std::unique_ptr<std::uint8_t[]> grey_;
};

}  // namespace

bool YuvToRgb::Init() {
    InitPictureKernels(&kernels_, kernels::ActiveCpuFlags());
    return true;
}

bool YuvToRgb::ToBgr(const VideoFrame* in, std::uint8_t** out, int bpp) {
    if (!Valid(in, out)) return false;
    const std::size_t w = static_cast<std::size_t>(in->width), h = static_cast<std::size_t>(in->height);
    const std::size_t rowBytes = w * static_cast<std::size_t>(bpp);
    const std::size_t size = rowBytes * h + (bpp == 3 ? 4 : 0);
    OutputBuffer owned = AllocateOutput(size);
    if (!owned) return false;
    std::uint8_t* buf = owned.get();
    if (bpp == 3) std::memset(buf + rowBytes * h, 0, 4);
    FullChroma cb(kernels_, *in, in->cb), cr(kernels_, *in, in->cr);
    bool ok = cb.Prepare() && cr.Prepare();
    for (std::size_t r = 0; ok && r < h; ++r) {
        const std::uint8_t* u = cb.Row(static_cast<int>(r));
        const std::uint8_t* v = cr.Row(static_cast<int>(r));
        if (!u || !v) {
            ok = false;
            break;
        }
        // Bottom-up: picture row r is buffer row h - 1 - r.
        kernels_.YuvRowToBgr(in->y + r * w, u, v, buf + (h - 1 - r) * rowBytes, in->width, bpp);
    }
    if (!ok) return false;
    *out = owned.release();
    return true;
}

bool YuvToRgb::ToRgb32(const VideoFrame* in, std::uint8_t** out) { return ToBgr(in, out, 4); }

bool YuvToRgb::ToRgb24(const VideoFrame* in, std::uint8_t** out) { return ToBgr(in, out, 3); }

bool YuvToRgb::ToYuy2(const VideoFrame* in, std::uint8_t** out) {
    if (!Valid(in, out) || in->chromaFormat != 1) return false;
    const int w = in->width, h = in->height, cw = w / 2, ch = h / 2;
    OutputBuffer owned = AllocateOutput(static_cast<std::size_t>(w) * h * 2);
    const std::unique_ptr<std::uint8_t[]> rows = AllocateRows(2 * static_cast<std::size_t>(cw) + 2);
    if (!owned || !rows) return false;
    std::uint8_t* buf = owned.get();
    const bool haveChroma = in->cb && in->cr && cw >= 1 && ch >= 1;
    std::uint8_t* u = rows.get();
    std::uint8_t* v = u + cw + 1;
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* yr = in->y + static_cast<std::size_t>(r) * w;
        std::uint8_t* o = buf + static_cast<std::size_t>(r) * w * 2;
        const std::uint8_t* ur;
        const std::uint8_t* vr;
        if (!haveChroma) {
            std::memset(u, 128, static_cast<std::size_t>(cw) + 1);
            std::memset(v, 128, static_cast<std::size_t>(cw) + 1);
            ur = u, vr = v;
        } else {
            // Even rows are the chroma rows; odd rows average their neighbours,
            // rows past the last chroma row repeat it.
            const int k0 = (r / 2) < ch ? r / 2 : ch - 1;
            const int k1 = ((r + 1) / 2) < ch ? (r + 1) / 2 : ch - 1;
            const std::uint8_t* u0 = in->cb + static_cast<std::size_t>(k0) * cw;
            const std::uint8_t* v0 = in->cr + static_cast<std::size_t>(k0) * cw;
            if ((r & 1) == 0 || k1 == k0) {
                ur = u0, vr = v0;
            } else {
                kernels_.AverageRows(u0, in->cb + static_cast<std::size_t>(k1) * cw, u, cw);
                kernels_.AverageRows(v0, in->cr + static_cast<std::size_t>(k1) * cw, v, cw);
                ur = u, vr = v;
            }
        }
        int x = 0;
        for (; x + 1 < w; x += 2, o += 4) {
            o[0] = yr[x];
            o[1] = ur[x / 2];
            o[2] = yr[x + 1];
            o[3] = vr[x / 2];
        }
        if (x < w) {  // odd width: the last pixel with the last chroma pair's Cb
            o[0] = yr[x];
            o[1] = ur[(x / 2) < cw ? x / 2 : (cw > 0 ? cw - 1 : 0)];
        }
    }
    *out = owned.release();
    return true;
}

}  // namespace reelcast::picture

REELCAST_EXPORT_COMPONENT(YUVRGB, reelcast::picture::YuvToRgb)
