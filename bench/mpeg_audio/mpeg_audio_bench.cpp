// Layer II encoding speed: 60 s of 44.1 kHz stereo at 224 kbit/s through our
// encoder, beside twolame -P 2 and FFmpeg's mp2 encoder on the same samples.
// The counter x_realtime is seconds of sound coded per second of wall time.
//   bench_mpeg_audio --benchmark_filter=Encode
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/core/Factories.h"
#include "engine/mpeg/audio/AnalysisFilterbank.h"
#include "engine/mpeg/audio/IMpegAudioEncoder.h"
#include "engine/mpeg/audio/PsychoModel2.h"
#include "tests/mpeg_mux/NullMultiplexer.h"

namespace {

using namespace reelcast;

constexpr int kRate = 44100;
constexpr double kSeconds = 60.0;

using NullMux = testing::NullMultiplexer;

// 60 s of sound: the footage's track repeated when it is available, otherwise
// tones over noise. Also written to a raw file for the external encoders.
struct Input {
    std::vector<std::int16_t> pcm;
    std::string rawPath;
    Input() {
        char tmpl[] = "/tmp/reelcast-audio-bench-XXXXXX";
        const char* dir = mkdtemp(tmpl);
        rawPath = std::string(dir ? dir : "/tmp") + "/in.raw";
        const std::string src = std::string(REELCAST_MEDIA_DIR) + "/echo-hereweare.webm";
        const std::size_t want = static_cast<std::size_t>(2 * kRate * kSeconds);
        if (std::filesystem::exists(src)) {
            const std::string cmd = "ffmpeg -nostdin -v error -i '" + src + "' -vn -ac 2 -ar 44100 -f s16le -y '" +
                                    rawPath + "'";
            if (std::system(cmd.c_str()) == 0) {
                std::ifstream f(rawPath, std::ios::binary);
                std::vector<char> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
                std::vector<std::int16_t> once(b.size() / 2);
                std::memcpy(once.data(), b.data(), once.size() * 2);
                while (!once.empty() && pcm.size() < want)
                    pcm.insert(pcm.end(), once.begin(), once.begin() + std::min(once.size(), want - pcm.size()));
            }
        }
        if (pcm.size() < want) {
            pcm.assign(want, 0);
            std::mt19937 rng(5);
            std::normal_distribution<double> noise(0.0, 800.0);
            for (std::size_t i = 0; i < want / 2; ++i) {
                const double t = static_cast<double>(i) / kRate;
                pcm[2 * i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * t) + noise(rng));
                pcm[2 * i + 1] = static_cast<std::int16_t>(6000 * std::sin(2 * M_PI * 1250 * t) + noise(rng));
            }
        }
        std::ofstream o(rawPath, std::ios::binary | std::ios::trunc);
        o.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
    }
    ~Input() {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(rawPath).parent_path(), ec);
    }
};

Input& In() {
    static Input in;
    return in;
}

void SetRealtimeCounter(benchmark::State& st) {
    st.counters["x_realtime"] =
        benchmark::Counter(kSeconds * static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
}

void BM_EncodeOurs(benchmark::State& st) {
    Input& in = In();
    NullMux mux;
    std::vector<std::uint8_t> sink(1 << 16);
    const std::size_t perPicture = 2 * kRate / 25;
    std::size_t bytes = 0;
    for (auto _ : st) {
        auto* enc = static_cast<IMpegAudioEncoder*>(_NEW_MPGLIB_AUDIO());
        enc->SetMultiplexer(&mux);
        enc->SetSampleRate(kRate);
        enc->SetParameters(11, 25.0);  // 224 kbit/s
        enc->Start();
        bool going = true;
        bytes = 0;
        for (std::size_t pos = 0; pos < in.pcm.size() && going; pos += perPicture) {
            SampleBlock b{in.pcm.data() + pos,
                          static_cast<std::uint32_t>(std::min(perPicture, in.pcm.size() - pos))};
            enc->PutSamples(&b, &going);
            for (std::int32_t n; (n = enc->ReadStream(sink.data(), static_cast<std::int32_t>(sink.size()))) > 0;)
                bytes += static_cast<std::size_t>(n);
        }
        enc->Stop();
        enc->FreeStream();
        enc->Release();
    }
    st.counters["bytes"] = static_cast<double>(bytes);
    SetRealtimeCounter(st);
}
BENCHMARK(BM_EncodeOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void RunExternal(benchmark::State& st, const std::string& cmd) {
    for (auto _ : st) {
        if (std::system(cmd.c_str()) != 0) {
            st.SkipWithError(("failed: " + cmd).c_str());
            return;
        }
    }
    SetRealtimeCounter(st);
}

void BM_EncodeTwolameP2(benchmark::State& st) {
    const std::string out = In().rawPath + ".tl.mp2";
    RunExternal(st, "twolame --quiet -r -s 44100 -N 2 -m s -P 2 -b 224 '" + In().rawPath + "' '" + out +
                        "' >/dev/null 2>&1");
}
BENCHMARK(BM_EncodeTwolameP2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_EncodeFfmpegMp2(benchmark::State& st) {
    const std::string out = In().rawPath + ".ff.mp2";
    RunExternal(st, "ffmpeg -nostdin -v error -f s16le -ar 44100 -ac 2 -i '" + In().rawPath +
                        "' -c:a mp2 -b:a 224k -y '" + out + "'");
}
BENCHMARK(BM_EncodeFfmpegMp2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Stages of one frame (both channels), for finding where the time goes.
void BM_StageFilterbank(benchmark::State& st) {
    mpeg::audio::AnalysisFilterbank fb;
    std::vector<float> in(1152);
    for (int i = 0; i < 1152; ++i) in[static_cast<std::size_t>(i)] = In().pcm[static_cast<std::size_t>(2 * i)] / 32768.0f;
    alignas(32) float out[36][32];
    for (auto _ : st) {
        fb.Process(0, in.data(), out);
        fb.Process(1, in.data(), out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_StageFilterbank);

void BM_StagePsychoModel2(benchmark::State& st) {
    mpeg::audio::PsychoModel2 m;
    m.Setup(kRate);
    std::vector<float> in(1152);
    for (int i = 0; i < 1152; ++i) in[static_cast<std::size_t>(i)] = In().pcm[static_cast<std::size_t>(2 * i)];
    float smr[32];
    for (auto _ : st) {
        m.Analyse(0, in.data(), smr);
        m.Analyse(1, in.data(), smr);
        benchmark::DoNotOptimize(smr);
    }
}
BENCHMARK(BM_StagePsychoModel2);

}  // namespace

BENCHMARK_MAIN();
