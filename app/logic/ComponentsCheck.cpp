#include "app/logic/ComponentsCheck.h"

#include <string>

extern "C" {
#include <libavcodec/version_major.h>
#include <libavformat/version_major.h>
#include <libavutil/version.h>
#include <libswresample/version_major.h>
#include <libswscale/version_major.h>
}

#include "platform/dynlib/DynLib.h"

namespace reelcast::app {
namespace {

std::string SoName(const char* stem, int major) {
    return std::string("lib") + stem + ".so." + std::to_string(major);
}

platform::LibraryHandle Codecs() {
    static platform::LibraryHandle lib =
        platform::LoadLibrary(SoName("avcodec", LIBAVCODEC_VERSION_MAJOR));
    return lib;
}

}  // namespace

bool DecodingLibrariesLoad() {
    const std::string names[] = {SoName("avutil", LIBAVUTIL_VERSION_MAJOR),
                                 SoName("avformat", LIBAVFORMAT_VERSION_MAJOR),
                                 SoName("swscale", LIBSWSCALE_VERSION_MAJOR),
                                 SoName("swresample", LIBSWRESAMPLE_VERSION_MAJOR)};
    if (!Codecs()) return false;
    // They stay loaded: the engine uses them for the rest of the process.
    for (const auto& name : names)
        if (!platform::LoadLibrary(name)) return false;
    return true;
}

bool WindowsMediaDecodersExist() {
    using FindDecoder = const void* (*)(const char*);
    auto find = reinterpret_cast<FindDecoder>(
        platform::GetProcAddress(Codecs(), "avcodec_find_decoder_by_name"));
    return find && find("wmv3") && find("wmav2");
}

ComponentStatus CheckComponents(int quickTimeStatus) {
    ComponentStatus s;
    s.quickTime = QuickTimePresent(quickTimeStatus);
    s.directX = DecodingLibrariesLoad();
    s.windowsMedia = s.directX && WindowsMediaDecodersExist();
    return s;
}

}  // namespace reelcast::app
