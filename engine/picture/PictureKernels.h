// Inner loops of the colour conversion and the scaler as a table of function
// pointers, filled with the portable versions and upgraded by CPU flags like
// the video encoder's kernels. Every family gives bit-identical results.
#pragma once

#include <cstdint>

namespace reelcast::picture {

// The eight BT.601 lookup tables of the RGB to YCbCr conversion, in the order
// of their coefficients: R->Y 65.481, G->Y 128.553, B->Y 24.966, R->Cb 37.797,
// G->Cb 74.203, B->Cb and R->Cr 112, G->Cr 93.786, B->Cr 18.214. Entry v is
// trunc(v x 256 x c) with c held as a single-precision float and the product
// taken exactly: c x v in 16.16 fixed point, with a further factor 1/256.
struct YuvTables {
    std::uint32_t t[8][256];
};
inline constexpr float kYuvCoefficients[8] = {65.481f, 128.553f, 24.966f, 37.797f,
                                              74.203f, 112.0f,   93.786f, 18.214f};
void BuildYuvTables(YuvTables* tables);

// Entry v of table i equals (v * kTableMul[i]) >> kTableShift[i] exactly (the
// float's mantissa and exponent), which lets vector code compute the tables
// with 32-bit multiplies instead of look-ups.
struct YuvTableRecipe {
    std::uint32_t mul[8];
    int shift[8];
};
YuvTableRecipe MakeYuvTableRecipe();

struct PictureKernels {
    // One row of width BGR pixels to Y, and to full-resolution Cb', Cr'.
    void (*RgbRowToYuv)(const std::uint8_t* bgr, std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr,
                        int width, const YuvTables* tables);
    // out[j] = (r0[2j] + r0[2j+1] + r1[2j] + r1[2j+1]) >> 2 for j < outWidth.
    void (*Subsample2x2)(const std::uint8_t* r0, const std::uint8_t* r1, std::uint8_t* out,
                         int outWidth);
    // v[i] = r0[i] * (256 - fy) + r1[i] * fy, i < n, fy 0..255.
    void (*BlendRows)(const std::uint8_t* r0, const std::uint8_t* r1, int fy, std::uint16_t* v, int n);
    // out[j] = (v[xi[j]] * (256 - fx[j]) + v[xi[j] + 1] * fx[j]) >> 16, j < dw;
    // xi never decreases; v must hold one element beyond the largest xi (a copy
    // of the last column).
    void (*ScaleRow)(const std::uint16_t* v, const std::int32_t* xi, const std::uint16_t* fx,
                     std::uint8_t* out, int dw);
    // One row of planar Y and full-size Cb, Cr to packed B, G, R (bytesPerPixel
    // 3) or B, G, R, 0 (bytesPerPixel 4), with the 13-bit fixed-point formulas.
    void (*YuvRowToBgr)(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                        std::uint8_t* out, int width, int bytesPerPixel);
    // Horizontal 2x chroma up-sampling of one row: out[2j] = c[j],
    // out[2j+1] = (c[j] + c[j+1]) >> 1 (c[cw] taken as c[cw-1]); out has
    // outWidth samples, those past 2*cw repeat c[cw-1]. cw >= 1.
    void (*UpsampleRow)(const std::uint8_t* c, int cw, std::uint8_t* out, int outWidth);
    // out[i] = (a[i] + b[i]) >> 1, i < n.
    void (*AverageRows)(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, int n);
};

void InitPictureKernels(PictureKernels* k, std::uint32_t cpuFlags);
void InitPictureKernelsPortable(PictureKernels* k);
void InitPictureKernelsSse2(PictureKernels* k);
void InitPictureKernelsAvx2(PictureKernels* k);

}  // namespace reelcast::picture
