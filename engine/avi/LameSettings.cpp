#include "engine/avi/LameSettings.h"

#include <cstdlib>
#include <string>

#include "platform/registry/Registry.h"

namespace reelcast::avi {
namespace {

std::int32_t ReadOne(const char* sub, std::int32_t fallback) {
    std::string text;
    if (!platform::registry::QueryValue(kLameRegistryKey, sub, &text)) return fallback;
    if (text.size() > 511) text.resize(511);
    return std::int32_t(std::strtol(text.c_str(), nullptr, 10));
}

}  // namespace

LameRegistryValues ReadLameSettings(const LameRegistryValues& d) {
    return {ReadOne("bitrate", d.bitrate), ReadOne("stereo", d.stereo), ReadOne("quality", d.quality),
            ReadOne("lowpass", d.lowpass), ReadOne("highpass", d.highpass)};
}

bool WriteLameSettings(const LameRegistryValues& v) {
    bool ok = platform::registry::SetValue(kLameRegistryKey, "bitrate", std::to_string(v.bitrate));
    ok = platform::registry::SetValue(kLameRegistryKey, "stereo", std::to_string(v.stereo)) && ok;
    ok = platform::registry::SetValue(kLameRegistryKey, "quality", std::to_string(v.quality)) && ok;
    ok = platform::registry::SetValue(kLameRegistryKey, "lowpass", std::to_string(v.lowpass)) && ok;
    ok = platform::registry::SetValue(kLameRegistryKey, "highpass", std::to_string(v.highpass)) && ok;
    return ok;
}

}  // namespace reelcast::avi
