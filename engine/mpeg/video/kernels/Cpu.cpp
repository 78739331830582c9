#include "engine/mpeg/video/kernels/Cpu.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define REELCAST_X86 1
#endif

namespace reelcast::kernels {

namespace {

struct Regs {
    unsigned a = 0, b = 0, c = 0, d = 0;
};

#if REELCAST_X86
Regs Cpuid(unsigned leaf, unsigned sub = 0) {
    Regs r;
    __cpuid_count(leaf, sub, r.a, r.b, r.c, r.d);
    return r;
}

std::uint64_t Xgetbv0() {
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<std::uint64_t>(hi) << 32) | lo;
}
#endif

std::uint32_t Probe() {
    std::uint32_t f = 0;
#if REELCAST_X86
    const unsigned maxLeaf = __get_cpuid_max(0, nullptr);
    if (maxLeaf < 1) return 0;
    const Regs l1 = Cpuid(1);
    if (l1.d & (1u << 26)) f |= kCpuSse2;
    if (l1.c & (1u << 9)) f |= kCpuSsse3;
    if (l1.c & (1u << 19)) f |= kCpuSse41;
    const bool osxsave = (l1.c & (1u << 27)) != 0;
    const bool avx = (l1.c & (1u << 28)) != 0;
    if (maxLeaf >= 7 && osxsave && avx && (Xgetbv0() & 0x6) == 0x6) {
        const Regs l7 = Cpuid(7, 0);
        if (l7.b & (1u << 5)) f |= kCpuAvx2;
    }
#endif
    return f;
}

std::uint32_t InitialMask() {
    const char* e = std::getenv("REELCAST_FORCE_PORTABLE");
    if (e && *e && std::strcmp(e, "0") != 0) return 0u;
    return kCpuAll;
}

std::atomic<std::uint32_t> g_mask{InitialMask()};

}  // namespace

std::uint32_t DetectCpuFlags() {
    static const std::uint32_t flags = Probe();
    return flags;
}

std::uint32_t ActiveCpuFlags() { return DetectCpuFlags() & g_mask.load(std::memory_order_relaxed); }

void SetCpuMask(std::uint32_t mask) { g_mask.store(mask, std::memory_order_relaxed); }

std::uint32_t CpuMask() { return g_mask.load(std::memory_order_relaxed); }

std::int32_t DetectProcessor() {
    std::int32_t bits = 0;
#if REELCAST_X86
    bits |= 1;  // the identification instruction exists on every x86-64
    char vendor[13] = "UnknownVendr";
    const unsigned maxLeaf = __get_cpuid_max(0, nullptr);
    {
        const Regs v = Cpuid(0);
        std::memcpy(vendor + 0, &v.b, 4);
        std::memcpy(vendor + 4, &v.d, 4);
        std::memcpy(vendor + 8, &v.c, 4);
    }
    const bool amd = std::memcmp(vendor, "AuthenticAMD", 12) == 0;
    unsigned stdEdx = 0;
    if (maxLeaf >= 1) {
        bits |= 2;
        const Regs l1 = Cpuid(1);
        stdEdx = l1.d;
        if (stdEdx & (1u << 4)) bits |= 16;
        if (stdEdx & (1u << 23)) bits |= 32;
        if (stdEdx & (1u << 15)) bits |= 64;
        if (stdEdx & (1u << 25)) bits |= 512 | 1024;
        if (stdEdx & (1u << 12)) bits |= 4096;
        const unsigned signature = l1.a & 0xFFFu;  // family, model, stepping
        if (amd && signature >= 0x588u && signature <= 0x5FFu) bits |= 2048;
    }
    const unsigned maxExt = __get_cpuid_max(0x80000000u, nullptr);
    if (maxExt >= 0x80000001u) {
        bits |= 4;
        const Regs e1 = Cpuid(0x80000001u);
        if (e1.d & (1u << 31)) bits |= 128;
        if (amd && (e1.d & (1u << 30))) bits |= 256;
        if (amd && !(stdEdx & (1u << 25)) && (e1.d & (1u << 22))) bits |= 512;
    }
#endif
    return bits;
}

}  // namespace reelcast::kernels
