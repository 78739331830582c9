// The kernel families a test compares, for any kernel table that has a portable
// initialiser and one driven by processor flags: the portable reference and
// every vector family this machine runs. Also the seed of the random inputs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/mpeg/video/kernels/Cpu.h"

namespace reelcast::test {

// From REELCAST_TEST_SEED when set, printed once so that a failure can be rerun.
inline unsigned KernelSeed() {
    static const unsigned seed = [] {
        const char* e = std::getenv("REELCAST_TEST_SEED");
        const unsigned s = e ? static_cast<unsigned>(std::strtoul(e, nullptr, 10)) : 20261207u;
        std::printf("kernel test seed %u (set REELCAST_TEST_SEED to change)\n", s);
        return s;
    }();
    return seed;
}

template <class Table>
struct KernelFamily {
    std::string name;
    Table k;
};

// The SSE2 family and, where the processor has it, the AVX2 one.
template <class Table>
std::vector<KernelFamily<Table>> VectorFamilies(void (*init)(Table*, std::uint32_t)) {
    std::vector<KernelFamily<Table>> out;
    const std::uint32_t cpu = kernels::DetectCpuFlags();
    Table k{};
    if (cpu & kernels::kCpuSse2) {
        init(&k, kernels::kCpuSse2);
        out.push_back({"sse2", k});
    }
    if (cpu & kernels::kCpuAvx2) {
        init(&k, cpu);
        out.push_back({"avx2", k});
    }
    return out;
}

// The portable family first, then the vector ones.
template <class Table>
std::vector<KernelFamily<Table>> AllFamilies(void (*portable)(Table*), void (*init)(Table*, std::uint32_t)) {
    Table k{};
    portable(&k);
    std::vector<KernelFamily<Table>> out = {{"portable", k}};
    for (auto& f : VectorFamilies(init)) out.push_back(f);
    return out;
}

}  // namespace reelcast::test
