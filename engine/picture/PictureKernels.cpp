// Portable family of the picture kernels and the family selection.
#include "engine/picture/PictureKernels.h"

#include <cmath>
#include <cstring>

#include "engine/mpeg/video/kernels/Cpu.h"

namespace reelcast::picture {

void BuildYuvTables(YuvTables* tables) {
    for (int i = 0; i < 8; ++i) {
        const double c = kYuvCoefficients[i];  // the float's exact value
        for (int v = 0; v < 256; ++v)
            tables->t[i][v] = static_cast<std::uint32_t>(static_cast<double>(v * 256) * c);
    }
}

YuvTableRecipe MakeYuvTableRecipe() {
    YuvTableRecipe r{};
    for (int i = 0; i < 8; ++i) {
        int e = 0;
        const double m = std::frexp(static_cast<double>(kYuvCoefficients[i]), &e);  // c = m 2^e
        // c = M 2^(e-24) with M < 2^24; 256 c v = v M 2^(e-16) and v M < 2^32.
        r.mul[i] = static_cast<std::uint32_t>(std::ldexp(m, 24));
        r.shift[i] = 16 - e;
    }
    return r;
}

namespace {

using std::int32_t;
using std::uint16_t;
using std::uint32_t;
using std::uint8_t;

void RgbRowToYuv(const uint8_t* p, uint8_t* y, uint8_t* cb, uint8_t* cr, int width, const YuvTables* tb) {
    const auto& t = tb->t;
    for (int x = 0; x < width; ++x, p += 3) {
        const int b = p[0], g = p[1], r = p[2];
        y[x] = static_cast<uint8_t>((t[0][r] + t[1][g] + t[2][b] + (16u << 16)) >> 16);
        cb[x] = static_cast<uint8_t>(((128u << 16) - t[3][r] - t[4][g] + t[5][b]) >> 16);
        cr[x] = static_cast<uint8_t>(((128u << 16) + t[5][r] - t[6][g] - t[7][b]) >> 16);
    }
}

void Subsample2x2(const uint8_t* r0, const uint8_t* r1, uint8_t* out, int outWidth) {
    for (int j = 0; j < outWidth; ++j)
        out[j] = static_cast<uint8_t>((r0[2 * j] + r0[2 * j + 1] + r1[2 * j] + r1[2 * j + 1]) >> 2);
}

void BlendRows(const uint8_t* r0, const uint8_t* r1, int fy, uint16_t* v, int n) {
    const int w0 = 256 - fy;
    for (int i = 0; i < n; ++i) v[i] = static_cast<uint16_t>(r0[i] * w0 + r1[i] * fy);
}

void ScaleRow(const uint16_t* v, const int32_t* xi, const uint16_t* fx, uint8_t* out, int dw) {
    for (int j = 0; j < dw; ++j) {
        const uint16_t* s = v + xi[j];
        out[j] = static_cast<uint8_t>((static_cast<uint32_t>(s[0]) * (256u - fx[j]) +
                                       static_cast<uint32_t>(s[1]) * fx[j]) >> 16);
    }
}

inline uint8_t Clip8(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

void YuvRowToBgr(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width,
                 int bpp) {
    for (int x = 0; x < width; ++x, out += bpp) {
        const int32_t l = (y[x] - 16) * 8192 + 4096;
        const int32_t u = cb[x] - 128, v = cr[x] - 128;
        out[0] = Clip8((l + 14516 * u) >> 13);
        out[1] = Clip8((l - 2819 * u - 5850 * v) >> 13);
        out[2] = Clip8((l + 11485 * v) >> 13);
        if (bpp == 4) out[3] = 0;
    }
}

void UpsampleRow(const uint8_t* c, int cw, uint8_t* out, int outWidth) {
    for (int x = 0; x < outWidth; ++x) {
        const int j = x >> 1;
        if (j >= cw) {
            out[x] = c[cw - 1];
        } else if ((x & 1) == 0) {
            out[x] = c[j];
        } else {
            const int n = j + 1 < cw ? j + 1 : j;
            out[x] = static_cast<uint8_t>((c[j] + c[n]) >> 1);
        }
    }
}

void AverageRows(const uint8_t* a, const uint8_t* b, uint8_t* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((a[i] + b[i]) >> 1);
}

}  // namespace

void InitPictureKernelsPortable(PictureKernels* k) {
    k->RgbRowToYuv = RgbRowToYuv;
    k->Subsample2x2 = Subsample2x2;
    k->BlendRows = BlendRows;
    k->ScaleRow = ScaleRow;
    k->YuvRowToBgr = YuvRowToBgr;
    k->UpsampleRow = UpsampleRow;
    k->AverageRows = AverageRows;
}

void InitPictureKernels(PictureKernels* k, std::uint32_t cpuFlags) {
    InitPictureKernelsPortable(k);
    if (!(cpuFlags & kernels::kCpuSse2)) return;
    InitPictureKernelsSse2(k);
    if (!(cpuFlags & kernels::kCpuAvx2)) return;
    InitPictureKernelsAvx2(k);
}

}  // namespace reelcast::picture
