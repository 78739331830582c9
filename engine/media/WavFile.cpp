#include "engine/media/WavFile.h"

#include "engine/media/MediaText.h"

namespace reelcast::media {
namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

WavFile::~WavFile() { Finish(); }

bool WavFile::Init() {
    bytes_ = 0;
    return true;
}

void WavFile::Finish() {
    if (!file_) return;
    std::uint8_t v[4];
    Put32(v, static_cast<std::uint32_t>(bytes_));
    if (std::fseek(file_, 40, SEEK_SET) == 0) std::fwrite(v, 1, 4, file_);
    Put32(v, static_cast<std::uint32_t>(bytes_ + 36));
    if (std::fseek(file_, 4, SEEK_SET) == 0) std::fwrite(v, 1, 4, file_);
    std::fclose(file_);
    file_ = nullptr;
}

bool WavFile::Open(const char* path) {
    Finish();
    bytes_ = 0;
    if (!PathFits(path)) return false;
    file_ = std::fopen(path, "wb");
    if (!file_) return false;
    std::uint8_t h[44] = {};
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    Put32(h + 16, 16);
    Put16(h + 20, 1);       // PCM
    Put16(h + 22, 2);       // channels
    Put32(h + 24, 44100);   // samples per second
    Put32(h + 28, 176400);  // bytes per second
    Put16(h + 32, 4);       // block alignment
    Put16(h + 34, 16);      // bits per sample
    std::memcpy(h + 36, "data", 4);
    if (std::fwrite(h, 1, sizeof h, file_) != sizeof h) {
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

bool WavFile::WriteSamples(const std::int16_t* samples, std::uint32_t count) {
    if (!file_) return false;
    if (!samples || count == 0) return true;
    // Samples are stored little-endian, as this machine holds them.
    const std::size_t stored = std::fwrite(samples, sizeof(std::int16_t), count, file_);
    bytes_ += 2ull * stored;
    return stored == count && !std::ferror(file_);
}

}  // namespace reelcast::media

REELCAST_EXPORT_COMPONENT(WAVFILE, reelcast::media::WavFile)
