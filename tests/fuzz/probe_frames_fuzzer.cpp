// Fuzz target: any bytes as a source file, through the media probe (both of its
// back-ends) and the frame source (both of its readers), as a conversion uses
// them. Nothing may crash, hang, leak or read out of bounds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/core/ComponentHandle.h"
#include "engine/media/IMediaInfo.h"
#include "engine/media/IVideoFrameSource.h"

namespace {

using namespace reelcast;

// A picture larger than this is not read: the fuzzer's memory limit is not the
// frame source's business.
constexpr std::uint32_t kMaxPictureBytes = 64u << 20;

const std::string& InputPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/reelcast-fuzz-" + std::to_string(::getpid()) + ".avi";
    }();
    return path;
}

void Probe(const char* path) {
    auto info = core::MakeHandle<IMediaInfo>("MEDIAGETINFO");
    if (!info || !info->Open(path, false)) return;
    VideoStreamInfo v{};
    AudioStreamInfo a{};
    info->GetVideoInfo(&v);
    info->GetAudioInfo(&a);
    info->GetInfoText();
}

void ReadPictures(const char* path) {
    auto frames = core::MakeHandle<IVideoFrameSource>("VIDEODATADLL");
    if (!frames || !frames->Open(path, 32, 24, 29.97)) return;
    std::uint32_t size = 0;
    if (!frames->GetFrame(0, nullptr, &size) || size > kMaxPictureBytes) return;
    std::vector<std::uint8_t> buffer(size);
    // In order, a repeat, a jump back and one far past any end.
    for (std::uint32_t index : {0u, 1u, 2u, 2u, 7u, 1u, 100000u}) {
        std::uint32_t got = size;
        frames->GetFrame(index, buffer.data(), &got);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = InputPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    Probe(path.c_str());
    ReadPictures(path.c_str());
    std::remove(path.c_str());
    return 0;
}
