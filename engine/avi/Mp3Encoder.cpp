// LAME: the MP3 encoder library libnlame.so, bound by name.
#include <algorithm>
#include <mutex>

#include "engine/avi/IMp3Encoder.h"
#include "engine/core/Component.h"
#include "platform/dynlib/DynLib.h"

namespace reelcast::avi {
namespace {

using VersionGetFn = const char* (*)(int);
using VersionNumFn = int (*)();
using PsyNumFn = const char* (*)();
using StringGetFn = const char* (*)(int);
using NewFn = void* (*)();
using DeleteFn = void (*)(void*);
using VarSetIntFn = int (*)(void*, int, int);
using VarGetIntFn = int (*)(void*, int);
using InitParamsFn = int (*)(void*);
using EncodeBufferFn = int (*)(void*, int, const short*, const short*, int, unsigned char*, int);
using EncodeFlushFn = int (*)(void*, unsigned char*, int);
using CallbackSetFn = int (*)(void*, int, Mp3ReportFn);

// The library's read-only variable that tells the start-up delay of a handle.
constexpr int kStartDelayVariable = 40;

// The library's function addresses, shared by every instance: the library stays
// loaded for the life of the process once bound.
struct NlameFunctions {
    platform::LibraryHandle lib = nullptr;
    VersionGetFn versionGet = nullptr;
    VersionNumFn versionNum = nullptr;
    PsyNumFn psyNum = nullptr;
    StringGetFn stringGet = nullptr;
    NewFn create = nullptr;
    DeleteFn destroy = nullptr;
    VarSetIntFn varSetInt = nullptr;
    VarGetIntFn varGetInt = nullptr;
    InitParamsFn initParams = nullptr;
    EncodeBufferFn encodeBuffer = nullptr;
    EncodeFlushFn encodeFlush = nullptr;
    CallbackSetFn callbackSet = nullptr;
};
NlameFunctions g_nlame;
std::mutex g_bindMutex;

template <class F>
F Lookup(platform::LibraryHandle lib, const char* name) {
    return reinterpret_cast<F>(platform::GetProcAddress(lib, name));
}

// Loads "nlame.dll" and looks its functions up; answers whether it is loaded.
platform::LibraryHandle Bind() {
    std::lock_guard<std::mutex> lock(g_bindMutex);
    if (g_nlame.lib) return g_nlame.lib;
    platform::LibraryHandle lib = platform::LoadLibrary("nlame.dll");
    if (!lib) return nullptr;
    NlameFunctions f;
    f.lib = lib;
    f.versionGet = Lookup<VersionGetFn>(lib, "nlame_lame_version_get");
    f.versionNum = Lookup<VersionNumFn>(lib, "nlame_lame_version_get_num");
    f.psyNum = Lookup<PsyNumFn>(lib, "nlame_lame_version_get_psy_num");
    f.stringGet = Lookup<StringGetFn>(lib, "nlame_lame_string_get");
    f.create = Lookup<NewFn>(lib, "nlame_lame_new");
    if (!f.create) f.create = Lookup<NewFn>(lib, "nlame_new");
    f.destroy = Lookup<DeleteFn>(lib, "nlame_lame_delete");
    if (!f.destroy) f.destroy = Lookup<DeleteFn>(lib, "nlame_delete");
    f.varSetInt = Lookup<VarSetIntFn>(lib, "nlame_var_set_int");
    f.varGetInt = Lookup<VarGetIntFn>(lib, "nlame_var_get_int");
    f.initParams = Lookup<InitParamsFn>(lib, "nlame_init_params");
    f.encodeBuffer = Lookup<EncodeBufferFn>(lib, "nlame_encode_buffer");
    f.encodeFlush = Lookup<EncodeFlushFn>(lib, "nlame_encode_flush");
    f.callbackSet = Lookup<CallbackSetFn>(lib, "nlame_callback_set");
    g_nlame = f;
    return lib;
}

class Mp3Encoder final : public core::Component<IMp3Encoder, Mp3Encoder> {
public:
    bool Init() override {
        bitrate_ = 192;
        stereoMode_ = 0;
        quality_ = 3;
        lowpass_ = 19500;
        highpass_ = -1;
        sampleRate_ = 44100;
        lib_ = Bind();
        return true;  // a missing library only makes MP3 output refuse to open
    }

    void VarSetInt(Mp3Handle h, std::int32_t id, std::int32_t value) override {
        if (lib_ && g_nlame.varSetInt) g_nlame.varSetInt(h, id, value);
    }
    std::int32_t InitParams(Mp3Handle h) override {
        return lib_ && g_nlame.initParams ? g_nlame.initParams(h) : -1;
    }
    void VersionGet(std::int32_t x) override {
        if (lib_ && g_nlame.versionGet) g_nlame.versionGet(x);
    }
    Mp3Handle New() override { return lib_ && g_nlame.create ? g_nlame.create() : nullptr; }
    void Delete(Mp3Handle h) override {
        if (lib_ && g_nlame.destroy && h) g_nlame.destroy(h);
    }
    std::int32_t EncodeBuffer(Mp3Handle h, std::int32_t kind, const std::int16_t* left,
                              const std::int16_t* right, std::int32_t pairs, std::uint8_t* out,
                              std::int32_t outSize) override {
        if (!lib_ || !g_nlame.encodeBuffer) return -1;
        return g_nlame.encodeBuffer(h, kind, left, right, pairs, out, outSize);
    }
    void CallbackSet(Mp3Handle h, std::int32_t kind, Mp3ReportFn fn) override {
        if (lib_ && g_nlame.callbackSet) g_nlame.callbackSet(h, kind, fn);
    }
    bool IsLoaded() override { return lib_ != nullptr; }

    void ApplySettings(Mp3Handle h) override {
        // (variable number, value) in the order the library is given them.
        const std::int32_t calls[25][2] = {
            {0, bitrate_},   {1, quality_}, {2, sampleRate_}, {3, stereoMode_}, {4, 2},
            {5, sampleRate_}, {6, 98},      {7, 0},           {8, 0},           {9, 0},
            {10, 0},         {17, lowpass_}, {18, -1},        {19, highpass_},  {20, -1},
            {21, 0},         {22, 0},       {23, 0},          {24, 0},          {25, 2},
            {26, 0},         {27, 1},       {36, 1},          {37, 0},          {38, 0},
        };
        for (const auto& c : calls) VarSetInt(h, c[0], c[1]);
    }

    std::int32_t GetBitrate() override { return bitrate_; }
    void SetBitrate(std::int32_t kbps) override { bitrate_ = kbps; }
    std::int32_t GetQuality() override { return quality_; }
    void SetQuality(std::int32_t q) override { quality_ = q; }
    std::int32_t GetStereoMode() override { return stereoMode_; }
    void SetStereoMode(std::int32_t mode) override { stereoMode_ = mode; }
    void SetLowpass(std::int32_t hz) override { lowpass_ = hz; }
    void SetHighpass(std::int32_t hz) override { highpass_ = hz; }
    std::int32_t GetSampleRate() override { return sampleRate_; }
    void SetSampleRate(std::int32_t hz) override { sampleRate_ = hz; }

    std::int32_t EncodeFlush(Mp3Handle h, std::uint8_t* out, std::int32_t outSize) override {
        if (!lib_ || !g_nlame.encodeFlush) return -1;
        return g_nlame.encodeFlush(h, out, outSize);
    }

    std::int32_t StartDelay(Mp3Handle h) override {
        if (!lib_ || !g_nlame.varGetInt || !h) return 0;
        return std::max(g_nlame.varGetInt(h, kStartDelayVariable), 0);
    }

private:
    platform::LibraryHandle lib_ = nullptr;
    std::int32_t bitrate_ = 192;
    std::int32_t stereoMode_ = 0;
    std::int32_t quality_ = 3;
    std::int32_t lowpass_ = 19500;
    std::int32_t highpass_ = -1;
    std::int32_t sampleRate_ = 44100;
};

}  // namespace
}  // namespace reelcast::avi

REELCAST_EXPORT_COMPONENT(LAME, reelcast::avi::Mp3Encoder)
