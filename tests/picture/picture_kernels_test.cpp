// Picture kernels of every vector family against the portable ones, row by
// row, over all widths up to 80 and a few large ones, misaligned pointers and
// guard bytes after every output.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/mpeg/video/kernels/Cpu.h"
#include "engine/picture/PictureKernels.h"
#include "tests/kernels/KernelFamilies.h"

namespace {

using namespace reelcast::picture;
using Bytes = std::vector<std::uint8_t>;

using Family = reelcast::test::KernelFamily<PictureKernels>;

std::vector<Family> VectorFamilies() { return reelcast::test::VectorFamilies(&InitPictureKernels); }

std::vector<int> Widths() {
    std::vector<int> w;
    for (int i = 1; i <= 80; ++i) w.push_back(i);
    for (int i : {127, 176, 352, 353, 719, 720, 1280}) w.push_back(i);
    return w;
}

Bytes Random(std::size_t n, std::mt19937& rng, int mode) {
    Bytes b(n);
    for (auto& v : b) v = mode == 0 ? static_cast<std::uint8_t>(rng()) : ((rng() & 1) ? 255 : 0);
    return b;
}

constexpr int kGuard = 48;

TEST(PictureKernels, RowKernelsMatchPortable) {
    PictureKernels ref;
    InitPictureKernelsPortable(&ref);
    YuvTables tables;
    BuildYuvTables(&tables);
    std::mt19937 rng(5150);
    for (const Family& f : VectorFamilies()) {
        SCOPED_TRACE(f.name);
        for (int w : Widths()) {
            SCOPED_TRACE(w);
            for (int mode = 0; mode < 2; ++mode) {
                const int off = static_cast<int>(rng() % 16);
                // RGB rows: exactly 3w bytes readable, nothing beyond.
                Bytes rgb = Random(static_cast<std::size_t>(3 * w), rng, mode);
                Bytes y1(w + kGuard, 0xEE), cb1(w + kGuard, 0xEE), cr1(w + kGuard, 0xEE);
                Bytes y2 = y1, cb2 = cb1, cr2 = cr1;
                ref.RgbRowToYuv(rgb.data(), y1.data(), cb1.data(), cr1.data(), w, &tables);
                f.k.RgbRowToYuv(rgb.data(), y2.data(), cb2.data(), cr2.data(), w, &tables);
                ASSERT_EQ(y1, y2);
                ASSERT_EQ(cb1, cb2);
                ASSERT_EQ(cr1, cr2);

                Bytes r0 = Random(2 * w + 16, rng, mode), r1 = Random(2 * w + 16, rng, mode);
                Bytes s1(w + kGuard, 0xEE), s2 = s1;
                ref.Subsample2x2(r0.data() + off % 2, r1.data(), s1.data(), w);
                f.k.Subsample2x2(r0.data() + off % 2, r1.data(), s2.data(), w);
                ASSERT_EQ(s1, s2);

                const int fy = static_cast<int>(rng() % 256);
                std::vector<std::uint16_t> v1(w + kGuard, 0xABCD), v2 = v1;
                ref.BlendRows(r0.data() + off, r1.data(), fy, v1.data(), w);
                f.k.BlendRows(r0.data() + off, r1.data(), fy, v2.data(), w);
                ASSERT_EQ(v1, v2);

                // Scaling positions as the scaler makes them, to several output widths.
                for (int dw : {1, w, 2 * w + 3, (w + 1) / 2, (w + 2) / 3}) {
                    std::vector<std::int32_t> xi(dw);
                    std::vector<std::uint16_t> fx(dw);
                    const double xs = static_cast<double>(w) / dw;
                    double x = 0;
                    for (int j = 0; j < dw; ++j, x += xs) {
                        xi[j] = std::min(static_cast<int>(x), w - 1);
                        fx[j] = static_cast<std::uint16_t>(static_cast<int>((x - static_cast<int>(x)) * 256));
                    }
                    std::vector<std::uint16_t> vv(w + 1);
                    for (auto& e : vv) e = static_cast<std::uint16_t>(mode ? 65280 : rng() % 65281);
                    Bytes o1(dw + kGuard, 0xEE), o2 = o1;
                    ref.ScaleRow(vv.data(), xi.data(), fx.data(), o1.data(), dw);
                    f.k.ScaleRow(vv.data(), xi.data(), fx.data(), o2.data(), dw);
                    ASSERT_EQ(o1, o2) << "dw " << dw;
                }

                Bytes yy = Random(w, rng, mode), uu = Random(w, rng, mode), vv8 = Random(w, rng, mode);
                for (int bpp : {3, 4}) {
                    Bytes p1(static_cast<std::size_t>(w) * bpp + kGuard, 0xEE), p2 = p1;
                    ref.YuvRowToBgr(yy.data(), uu.data(), vv8.data(), p1.data(), w, bpp);
                    f.k.YuvRowToBgr(yy.data(), uu.data(), vv8.data(), p2.data(), w, bpp);
                    ASSERT_EQ(p1, p2) << "bpp " << bpp;
                }

                const int cw = (w + 1) / 2;
                Bytes u1(w + kGuard, 0xEE), u2 = u1;
                ref.UpsampleRow(uu.data(), cw, u1.data(), w);
                f.k.UpsampleRow(uu.data(), cw, u2.data(), w);
                ASSERT_EQ(u1, u2);
                Bytes a1(w + kGuard, 0xEE), a2 = a1;
                ref.AverageRows(yy.data(), uu.data(), a1.data(), w);
                f.k.AverageRows(yy.data(), uu.data(), a2.data(), w);
                ASSERT_EQ(a1, a2);
            }
        }
    }
}

}  // namespace
