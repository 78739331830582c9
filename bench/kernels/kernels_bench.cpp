// Every video kernel, each family side by side:
//   bench_kernels --benchmark_filter=InverseDct
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/mpeg/video/kernels/Kernels.h"

namespace {

using namespace reelcast::kernels;

struct Data {
    static constexpr int kStride = 720;
    std::vector<std::uint8_t> a, b, c, dst;
    alignas(16) std::int16_t blk[64];
    alignas(16) std::int16_t coef[64];
    std::uint8_t flat[64], intra[64];
    Data() : a(kStride * 40), b(a.size()), c(a.size()), dst(a.size()) {
        std::mt19937 rng(1);
        for (auto* v : {&a, &b, &c, &dst})
            for (auto& x : *v) x = static_cast<std::uint8_t>(rng());
        for (int i = 0; i < 64; ++i) {
            blk[i] = static_cast<std::int16_t>(static_cast<int>(rng() % 511) - 255);
            coef[i] = static_cast<std::int16_t>(i < 12 ? static_cast<int>(rng() % 401) - 200 : 0);
            flat[i] = 16;
            intra[i] = static_cast<std::uint8_t>(8 + i);
        }
    }
};

Data& D() {
    static Data d;
    return d;
}

void Register(const std::string& family, const VideoKernels k) {
    auto add = [&](const char* name, auto fn) {
        benchmark::RegisterBenchmark((std::string(name) + "/" + family).c_str(), [k, fn](benchmark::State& st) {
            Data& d = D();
            for (auto _ : st) fn(k, d);
        });
    };
    const int s = Data::kStride;
    add("Difference", [s](const VideoKernels& k, Data& d) {
        k.Difference(d.blk, d.a.data() + 3, d.b.data() + 5, s);
        benchmark::DoNotOptimize(d.blk);
    });
    add("AddClip", [s](const VideoKernels& k, Data& d) {
        k.AddClip(d.dst.data() + 8, d.b.data() + 8, d.blk, s);
        benchmark::ClobberMemory();
    });
    add("ForwardDct", [](const VideoKernels& k, Data& d) {
        std::int16_t t[64];
        std::memcpy(t, d.blk, sizeof t);
        k.ForwardDct(t);
        benchmark::DoNotOptimize(t);
    });
    add("InverseDct", [](const VideoKernels& k, Data& d) {
        std::int16_t t[64];
        std::memcpy(t, d.coef, sizeof t);
        k.InverseDct(t);
        benchmark::DoNotOptimize(t);
    });
    add("PredictionError_halfpel", [s](const VideoKernels& k, Data& d) {
        benchmark::DoNotOptimize(k.PredictionError(d.a.data() + 1, d.b.data() + 16, s, 1, 1, 16));
    });
    add("BidirAbsError", [s](const VideoKernels& k, Data& d) {
        benchmark::DoNotOptimize(k.BidirAbsError(d.a.data() + 1, d.c.data() + 2, d.b.data() + 16, s, 1, 0, 0, 1, 16));
    });
    add("BidirPredictionError", [s](const VideoKernels& k, Data& d) {
        benchmark::DoNotOptimize(k.BidirPredictionError(d.a.data() + 1, d.c.data() + 2, d.b.data() + 16, s, 1, 1, 1, 1, 16));
    });
    add("MacroblockVariance", [s](const VideoKernels& k, Data& d) {
        benchmark::DoNotOptimize(k.MacroblockVariance(d.a.data() + 32, s));
    });
    add("Sad16_fullpel", [s](const VideoKernels& k, Data& d) {
        benchmark::DoNotOptimize(k.Sad16(d.a.data() + 3, d.b.data() + 16, s, 0, 0, 16, 1 << 30));
    });
    add("Sad16_halfpel_xy", [s](const VideoKernels& k, Data& d) {
        benchmark::DoNotOptimize(k.Sad16(d.a.data() + 3, d.b.data() + 16, s, 1, 1, 16, 1 << 30));
    });
    add("Sad4x4", [s](const VideoKernels& k, Data& d) {
        benchmark::DoNotOptimize(k.Sad4x4(d.a.data() + 3, d.b.data() + 4, s / 4, 1 << 30));
    });
    // Motion-search batches: whole sums of many candidates per call.
    add("Sad4x4Row16", [s](const VideoKernels& k, Data& d) {
        std::uint16_t out[16];
        k.Sad4x4Row16(d.a.data() + 3, d.b.data() + 64, s / 4, out);
        benchmark::DoNotOptimize(out);
    });
    add("Sad16Row9", [s](const VideoKernels& k, Data& d) {
        std::uint16_t out[9];
        k.Sad16Row9(d.a.data() + 3, d.b.data() + 16, s, out);
        benchmark::DoNotOptimize(out);
    });
    add("HalfPelSads", [s](const VideoKernels& k, Data& d) {
        int out[9];
        k.HalfPelSads(d.a.data() + s + 3, d.b.data() + 16, s, out);
        benchmark::DoNotOptimize(out);
    });
    add("BlockSums16", [s](const VideoKernels& k, Data& d) {
        std::int32_t sum[8], sq[8];
        k.BlockSums16(d.a.data() + 32, s, sum, sq);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(sq);
    });
    add("QuarterRow_180", [s](const VideoKernels& k, Data& d) {
        k.QuarterRow(d.a.data(), s, d.dst.data(), s / 4);
        benchmark::ClobberMemory();
    });
    add("NonZeroMask", [](const VideoKernels& k, Data& d) {
        benchmark::DoNotOptimize(k.NonZeroMask(d.coef));
    });
    add("Predict16_halfpel_avg", [s](const VideoKernels& k, Data& d) {
        k.Predict(d.dst.data() + 16, d.a.data() + 5, s, 16, 16, 1, 1, 1);
        benchmark::ClobberMemory();
    });
    add("Predict8_halfpel", [s](const VideoKernels& k, Data& d) {
        k.Predict(d.dst.data() + 16, d.a.data() + 5, s, 8, 8, 1, 0, 0);
        benchmark::ClobberMemory();
    });
    add("QuantNonIntra", [](const VideoKernels& k, Data& d) {
        std::int16_t t[64];
        benchmark::DoNotOptimize(k.QuantNonIntra(t, d.blk, d.flat, 8, 2047));
        benchmark::DoNotOptimize(t);
    });
    add("QuantIntra", [](const VideoKernels& k, Data& d) {
        std::int16_t t[64];
        k.QuantIntra(t, d.blk, d.intra, 8, 1, 2047);
        benchmark::DoNotOptimize(t);
    });
    add("DequantNonIntraMpeg1", [](const VideoKernels& k, Data& d) {
        std::int16_t t[64];
        k.DequantNonIntraMpeg1(t, d.coef, d.flat, 8);
        benchmark::DoNotOptimize(t);
    });
    add("DequantNonIntraMpeg2", [](const VideoKernels& k, Data& d) {
        std::int16_t t[64];
        k.DequantNonIntraMpeg2(t, d.coef, d.flat, 8);
        benchmark::DoNotOptimize(t);
    });
    add("DequantIntraMpeg2", [](const VideoKernels& k, Data& d) {
        std::int16_t t[64];
        k.DequantIntraMpeg2(t, d.coef, d.intra, 8, 1);
        benchmark::DoNotOptimize(t);
    });
    add("Chroma444To422_720x36", [](const VideoKernels& k, Data& d) {
        k.Chroma444To422(d.a.data(), d.dst.data(), 720, 36, 0);
        benchmark::ClobberMemory();
    });
    add("Chroma422To420_360x72", [](const VideoKernels& k, Data& d) {
        k.Chroma422To420(d.a.data(), d.dst.data(), 360, 72, 1);
        benchmark::ClobberMemory();
    });
}

}  // namespace

int main(int argc, char** argv) {
    VideoKernels k;
    InitVideoKernelsPortable(&k);
    Register("portable", k);
    const std::uint32_t cpu = DetectCpuFlags();
    if (cpu & kCpuSse2) {
        InitVideoKernels(&k, kCpuSse2);
        Register("sse2", k);
    }
    if (cpu & kCpuAvx2) {
        InitVideoKernels(&k, cpu);
        Register("avx2", k);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
