// Shared pieces of the Layer II encoder tests: a multiplexer stand-in, an
// encoding helper, external-program helpers and the SNR measure.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/Factories.h"
#include "engine/mpeg/audio/MpegAudioEncoder.h"
#include "engine/mpeg/audio/Layer2BitRates.h"
#include "../TestShell.h"
#include "tests/mpeg_mux/NullMultiplexer.h"

namespace reelcast::testing {

// Records every unit and the times it converts.
class MuxStandIn final : public NullMultiplexer {
public:
    std::vector<AudioUnit> units;
    std::vector<double> times;  // the 27 MHz times handed to MakeTimecode
    bool refuse = false;

    bool AddAudioUnit(const AudioUnit* unit) override {
        if (refuse) return false;
        units.push_back(*unit);
        return true;
    }
    void MakeTimecode(double t, Timecode* out) override {
        times.push_back(t);
        NullMultiplexer::MakeTimecode(t, out);
    }
};

// Layer II bit-rate index of a rate in kbit/s (0 when there is none).
inline std::uint32_t BitrateIndex(int kbps) {
    for (std::uint32_t i = 1; i < mpeg::audio::kLayer2BitRateCount; ++i)
        if (mpeg::audio::kLayer2BitRatesKbps[i] == kbps) return i;
    return 0;
}

// Encodes interleaved stereo PCM through the component's calling order, feeding
// one picture's worth of samples per call, and returns the whole stream (the
// tail bytes flushed by Stop included).
inline std::vector<std::uint8_t> EncodeStream(const std::vector<std::int16_t>& pcm, int rate, int kbps,
                                              MuxStandIn* mux = nullptr, double fps = 25.0) {
    MuxStandIn local;
    if (!mux) mux = &local;
    auto* enc = static_cast<IMpegAudioEncoder*>(_NEW_MPGLIB_AUDIO());
    std::vector<std::uint8_t> out;
    if (!enc) return out;
    enc->SetMultiplexer(mux);
    enc->SetSampleRate(static_cast<std::uint32_t>(rate));
    enc->SetParameters(BitrateIndex(kbps), fps);
    if (!enc->Start()) {
        enc->Release();
        return out;
    }
    const std::size_t perPicture = 2 * static_cast<std::size_t>(std::lround(rate / fps));
    bool going = true;
    std::vector<std::uint8_t> chunk(65536);
    for (std::size_t pos = 0; pos < pcm.size() && going; pos += perPicture) {
        const std::size_t n = std::min(perPicture, pcm.size() - pos);
        SampleBlock b{const_cast<std::int16_t*>(pcm.data() + pos), static_cast<std::uint32_t>(n)};
        if (!enc->PutSamples(&b, &going)) break;
        for (std::int32_t got; (got = enc->ReadStream(chunk.data(), static_cast<std::int32_t>(chunk.size()))) > 0;)
            out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    }
    enc->Stop();
    for (std::int32_t got; (got = enc->ReadStream(chunk.data(), static_cast<std::int32_t>(chunk.size()))) > 0;)
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    enc->FreeStream();
    enc->Release();
    return out;
}

// Stereo test tones: a different frequency per channel, with a slow swell.
inline std::vector<std::int16_t> Tones(int rate, double seconds, double f0, double f1, double amp = 12000.0) {
    const std::size_t n = static_cast<std::size_t>(rate * seconds);
    std::vector<std::int16_t> v(2 * n);
    const double pi = 3.14159265358979323846;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double env = 0.6 + 0.4 * std::sin(2 * pi * 0.7 * t);
        v[2 * i] = static_cast<std::int16_t>(std::lround(amp * env * std::sin(2 * pi * f0 * t)));
        v[2 * i + 1] = static_cast<std::int16_t>(std::lround(amp * env * std::sin(2 * pi * f1 * t)));
    }
    return v;
}

// A scratch folder removed with the object.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/reelcast-audio-XXXXXX";
        const char* d = mkdtemp(tmpl);
        path_ = d ? d : "/tmp";
    }
    ~TempDir() {
        std::error_code ec;
        if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

using testshell::HaveProgram;

// Runs a shell command; answers its exit status and its combined output.
inline int Run(const std::string& cmd, std::string* output = nullptr) {
    testshell::CommandResult r = testshell::RunCommand(cmd + " 2>&1");
    if (output) *output = std::move(r.out);
    return r.status;
}

inline bool WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::ofstream f(path, std::ios::binary);
    f.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(f);
}

inline std::vector<std::int16_t> ReadPcm(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> v(bytes.size() / 2);
    std::memcpy(v.data(), bytes.data(), v.size() * 2);
    return v;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline double SnrAt(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& dec, std::size_t from,
                    std::size_t to, int d) {
    double sig = 0.0, noise = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        for (int c = 0; c < 2; ++c) {
            const double r = ref[2 * i + c];
            const double e = r - dec[2 * (i + d) + c];
            sig += r * r;
            noise += e * e;
        }
    }
    return noise > 0.0 ? 10.0 * std::log10(sig / noise) : 200.0;
}

// SNR in dB of a decoded stereo signal against the input, at the delay (in
// sample pairs, 0..maxDelay) that fits best; the delay is found on a stretch of
// 8192 pairs. The first and last two frames are left out: the coder starts from
// silence and the tail is never coded.
inline double SnrDb(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& dec, int maxDelay = 1600,
                    int* bestDelay = nullptr) {
    const std::size_t pairs = std::min(ref.size(), dec.size()) / 2;
    const std::size_t from = 2304;
    if (pairs < from + 2304 + static_cast<std::size_t>(maxDelay) + 1) return -999.0;
    const std::size_t to = pairs - 2304 - static_cast<std::size_t>(maxDelay);
    const std::size_t probeFrom = from + (to - from) / 3;
    const std::size_t probeTo = std::min(to, probeFrom + 8192);
    int best = 0;
    double bestSnr = -1e9;
    for (int d = 0; d <= maxDelay; ++d) {
        const double snr = SnrAt(ref, dec, probeFrom, probeTo, d);
        if (snr > bestSnr) {
            bestSnr = snr;
            best = d;
        }
    }
    if (bestDelay) *bestDelay = best;
    return SnrAt(ref, dec, from, to, best);
}

}  // namespace reelcast::testing
