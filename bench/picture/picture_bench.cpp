// Colour conversion and scaling of one 1280x720 picture (to 720x576), each
// kernel family side by side.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/ComponentHandle.h"
#include "engine/mpeg/video/kernels/Cpu.h"
#include "engine/picture/IYuvToRgb.h"
#include "engine/picture/IYuvUtil.h"

namespace {

using reelcast::IYuvToRgb;
using reelcast::IYuvUtil;
using reelcast::VideoFrame;

struct Pictures {
    int sw = 1280, sh = 720, dw = 720, dh = 576;
    std::vector<std::uint8_t> bmp, y, cb, cr, dy, dcb, dcr;
    Pictures()
        : bmp(static_cast<std::size_t>(1280 * 3) * 720), y(1280 * 720), cb(640 * 360), cr(640 * 360), dy(720 * 576),
          dcb(360 * 288), dcr(360 * 288) {
        std::mt19937 rng(3);
        // Smooth gradients with some noise, like decoded video.
        for (int r = 0; r < sh; ++r)
            for (int x = 0; x < sw; ++x)
                for (int c = 0; c < 3; ++c)
                    bmp[(static_cast<std::size_t>(r) * sw + x) * 3 + c] = static_cast<std::uint8_t>((x + r * (c + 1) + rng() % 16) & 255);
    }
};

Pictures& P() {
    static Pictures p;
    return p;
}

void Register(const std::string& family, std::uint32_t mask) {
    benchmark::RegisterBenchmark(("RgbToYuv420_1280x720/" + family).c_str(), [mask](benchmark::State& st) {
        reelcast::kernels::SetCpuMask(mask);
        const auto u = reelcast::core::MakeHandle<IYuvUtil>("YUVUTL");
        Pictures& p = P();
        for (auto _ : st) u->RgbToYuv420(p.sw, p.sh, p.bmp.data(), p.y.data(), p.cb.data(), p.cr.data());
        st.SetItemsProcessed(st.iterations() * p.sw * p.sh);
    });
    benchmark::RegisterBenchmark(("Scale_1280x720_to_720x576/" + family).c_str(), [mask](benchmark::State& st) {
        reelcast::kernels::SetCpuMask(mask);
        const auto u = reelcast::core::MakeHandle<IYuvUtil>("YUVUTL");
        Pictures& p = P();
        VideoFrame src{p.sw, p.sh, 1, p.y.data(), p.cb.data(), p.cr.data()};
        VideoFrame dst{p.dw, p.dh, 1, p.dy.data(), p.dcb.data(), p.dcr.data()};
        for (auto _ : st) u->Scale(&src, &dst);
        st.SetItemsProcessed(st.iterations() * p.dw * p.dh);
    });
    using Conversion = bool (IYuvToRgb::*)(const VideoFrame*, std::uint8_t**);
    const std::pair<const char*, Conversion> conversions[] = {
        {"ToRgb24", &IYuvToRgb::ToRgb24}, {"ToRgb32", &IYuvToRgb::ToRgb32}, {"ToYuy2", &IYuvToRgb::ToYuy2}};
    for (const auto& entry : conversions) {
        const Conversion convert = entry.second;
        benchmark::RegisterBenchmark((std::string(entry.first) + "_720x576/" + family).c_str(),
                                     [mask, convert](benchmark::State& st) {
            reelcast::kernels::SetCpuMask(mask);
            const auto c = reelcast::core::MakeHandle<IYuvToRgb>("YUVRGB");
            Pictures& p = P();
            VideoFrame f{p.dw, p.dh, 1, p.dy.data(), p.dcb.data(), p.dcr.data()};
            for (auto _ : st) {
                std::uint8_t* out = nullptr;
                (c.get()->*convert)(&f, &out);
                benchmark::DoNotOptimize(out);
                std::free(out);
            }
            st.SetItemsProcessed(st.iterations() * p.dw * p.dh);
        });
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace reelcast::kernels;
    Register("portable", 0u);
    const std::uint32_t cpu = DetectCpuFlags();
    if (cpu & kCpuSse2) Register("sse2", kCpuSse2);
    if (cpu & kCpuAvx2) Register("avx2", kCpuAll);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SetCpuMask(kCpuAll);
    return 0;
}
