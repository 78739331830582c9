#include "app/logic/EngineLibraries.h"

#include "engine/core/Factories.h"
#include "engine/jobs/IAviConversionJob.h"
#include "engine/jobs/IMpegConversionJob.h"
#include "engine/media/IMediaInfo.h"
#include "movbridge/IMovbridge.h"
#include "platform/dynlib/DynLib.h"
#include "platform/window/PreviewWindow.h"

namespace reelcast::app {
namespace {

EngineFactories g_factories;

constexpr const char* kBridgeLibrary = MOVBRIDGE_LIBRARY_NAME;

struct Export {
    const char* library;
    const char* name;
    EngineFactory EngineFactories::*slot;
};

constexpr Export kExports[] = {
    {core::kEngineLibraryName, core::kMpegJobExport, &EngineFactories::newOmbrix},
    {core::kEngineLibraryName, core::kMediaInfoExport, &EngineFactories::newMediaGetInfo},
    {core::kEngineLibraryName, core::kAviJobExport, &EngineFactories::newAviEncWrapper},
    {kBridgeLibrary, MOVBRIDGE_FACTORY_EXPORT, &EngineFactories::newMovbridge},
};

void* Create(EngineFactory f) { return f ? f() : nullptr; }

}  // namespace

bool BindEngineLibraries(std::string& missing, const std::string& folder) {
    missing.clear();
    platform::LibraryHandle engine = nullptr;
    platform::LibraryHandle bridge = nullptr;
    auto fail = [&](const std::string& what) {
        missing = what;
        platform::FreeLibrary(engine);
        platform::FreeLibrary(bridge);
        return false;
    };
    for (const char* name : {core::kEngineLibraryName, kBridgeLibrary}) {
        const std::string path = folder.empty() ? std::string(name)
                                                : folder + "/" + platform::SharedObjectName(name);
        platform::LibraryHandle lib = platform::LoadLibrary(path);
        if (!lib) return fail(name);
        (name == core::kEngineLibraryName ? engine : bridge) = lib;
    }
    EngineFactories bound;
    for (const Export& e : kExports) {
        void* sym = platform::GetProcAddress(e.library == core::kEngineLibraryName ? engine : bridge, e.name);
        if (!sym) return fail(std::string(e.name) + " (" + e.library + ")");
        bound.*e.slot = reinterpret_cast<EngineFactory>(sym);
    }
    // The bridge delivers its events on the conversion window's thread through
    // the window layer's poster.
    auto setPoster =
        reinterpret_cast<MovbridgeSetPosterFn>(platform::GetProcAddress(bridge, MOVBRIDGE_SET_POSTER_EXPORT));
    if (!setPoster) return fail(std::string(MOVBRIDGE_SET_POSTER_EXPORT) + " (" + kBridgeLibrary + ")");
    setPoster(&platform::PostToWindow);
    g_factories = bound;
    return true;
}

const EngineFactories& BoundFactories() { return g_factories; }

void SetBoundFactories(const EngineFactories& factories) { g_factories = factories; }

core::ComponentHandle<IMpegConversionJob> NewMpegJob() {
    return core::ComponentHandle<IMpegConversionJob>(static_cast<IMpegConversionJob*>(Create(g_factories.newOmbrix)));
}

core::ComponentHandle<IAviConversionJob> NewAviJob() {
    return core::ComponentHandle<IAviConversionJob>(
        static_cast<IAviConversionJob*>(Create(g_factories.newAviEncWrapper)));
}

core::ComponentHandle<IMediaInfo> NewMediaProbe() {
    return core::ComponentHandle<IMediaInfo>(static_cast<IMediaInfo*>(Create(g_factories.newMediaGetInfo)));
}

void* NewMovbridgeInstance() { return Create(g_factories.newMovbridge); }

}  // namespace reelcast::app
