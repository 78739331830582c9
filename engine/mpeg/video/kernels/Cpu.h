// Processor features and the switch that picks a kernel family.
//
// Every vector kernel of the engine (video encoder kernels, colour conversion,
// scaler) has a portable twin with identical results. Which family runs is
// decided from ActiveCpuFlags(): the detected vector extensions masked by a
// process-wide mask. Clearing the mask (ForcePortableKernels(true), or the
// environment variable REELCAST_FORCE_PORTABLE=1 at start) runs the portable
// code everywhere, so the output bytes of both families can be compared.
#pragma once

#include <cstdint>

namespace reelcast::kernels {

// Vector extensions our kernels use (not the encoder's legacy feature bits).
enum CpuFlag : std::uint32_t {
    kCpuSse2 = 1u << 0,
    kCpuSsse3 = 1u << 1,
    kCpuSse41 = 1u << 2,
    kCpuAvx2 = 1u << 3,  // only when the OS saves the YMM state too
    kCpuAll = 0xFFFFFFFFu,
};

// What this processor offers, read once through cpuid and cached.
std::uint32_t DetectCpuFlags();

// DetectCpuFlags() & the current mask. Kernel tables are filled from this value
// when they are built; changing the mask affects tables built afterwards.
std::uint32_t ActiveCpuFlags();

// Restricts the families used from now on (kCpuAll = everything detected,
// 0 = portable only). Thread-safe; meant for start-up, tests and benchmarks.
void SetCpuMask(std::uint32_t mask);
std::uint32_t CpuMask();

// Shorthand: true forces the portable family, false allows everything detected.
inline void ForcePortableKernels(bool force) { SetCpuMask(force ? 0u : kCpuAll); }
inline bool PortableKernelsForced() { return CpuMask() == 0u; }

// Feature bit set of the video encoder's DetectProcessor:
//   1 identification available, 2 standard leaf, 4 extended leaves, 16 TSC,
//   32 MMX, 64 CMOV, 128 3DNow!, 256 extended 3DNow! (AMD only), 512|1024 SSE
//   (512 alone: AMD extended MMX without SSE), 2048 AMD with family/model/
//   stepping 0x588..0x5FF, 4096 MTRR.
std::int32_t DetectProcessor();

}  // namespace reelcast::kernels
