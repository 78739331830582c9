#include "platform/avifile/YuvToBgr.h"

#include <cstdlib>
#include <cstring>

namespace reelcast::platform {
namespace {

inline std::uint8_t Clip8(std::int32_t v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

bool PortableForced() {
    const char* v = std::getenv("REELCAST_FORCE_PORTABLE");
    return v && std::strcmp(v, "1") == 0;
}

}  // namespace

void YuvRowToBgr24Portable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                           std::uint8_t* out, int width) {
    for (int x = 0; x < width; ++x, out += 3) {
        const std::int32_t l = (y[x] - 16) * kBgrLuma + 4096;  // + 4096: rounds the >> 13
        const std::int32_t u = cb[x] - 128, v = cr[x] - 128;
        out[0] = Clip8((l + kBgrCbB * u) >> 13);
        out[1] = Clip8((l - kBgrCbG * u - kBgrCrG * v) >> 13);
        out[2] = Clip8((l + kBgrCrR * v) >> 13);
    }
}

YuvRowToBgr24Fn YuvRowToBgr24Kernel() {
    static const YuvRowToBgr24Fn chosen =
        !PortableForced() && __builtin_cpu_supports("avx2") ? YuvRowToBgr24Avx2 : YuvRowToBgr24Portable;
    return chosen;
}

}  // namespace reelcast::platform
