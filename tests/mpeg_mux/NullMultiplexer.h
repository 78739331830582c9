// A multiplexer stand-in that takes every unit and writes nothing. The encoder
// tests and benchmarks derive from it to record what they need.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/mpeg/mux/IMpegMultiplexer.h"

namespace reelcast::testing {

class NullMultiplexer : public IMpegMultiplexer {
public:
    void DeletingDestructor(std::uint32_t) override {}
    void Release() override {}
    bool Init() override { return true; }
    bool IsReady() override { return true; }
    bool AddAudioUnit(const AudioUnit*) override { return true; }
    bool AddVideoUnit(const VideoUnit*) override { return true; }
    bool Multiplex() override { return true; }
    void Finish() override {}
    bool Reserved8() override { return true; }
    double GetMegabytesWritten() override { return 0.0; }
    // 27 MHz time to the 33-bit 90 kHz base, as the MPEG-1 multiplexer converts it.
    void MakeTimecode(double t, Timecode* out) override {
        const auto base33 = static_cast<std::uint64_t>(std::floor(t / 300.0));
        out->highBit = static_cast<std::uint32_t>((base33 >> 32) & 1u);
        out->base = static_cast<std::uint32_t>(base33 & 0xFFFFFFFFu);
        out->extension = 0;
    }
    std::int32_t SetMpeg1Format(std::int32_t, std::int32_t) override { return 364; }
    std::int32_t SetMpeg2Format(std::int32_t, std::int32_t) override { return 180; }
    bool AddVideoPicture(std::int32_t, std::int32_t, double, double, double, VideoUnit*) override { return true; }
    void SetStream(IStreamSource*, double, std::uint32_t, double, const char*, std::uint32_t, std::uint32_t) override {}
    bool WriteFailed() override { return false; }
};

}  // namespace reelcast::testing
