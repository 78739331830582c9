#include "app/logic/EngineLibraries.h"

#include "platform/dynlib/DynLib.h"

namespace reelcast::app {
namespace {

EngineFactories g_factories;

constexpr const char* kEngineLibrary = "OmbrixDll.dll";
constexpr const char* kBridgeLibrary = "Movbridge.dll";

struct Export {
    const char* library;
    const char* name;
    EngineFactory EngineFactories::*slot;
};

constexpr Export kExports[] = {
    {kEngineLibrary, "_NEW_OMBRIX@0", &EngineFactories::newOmbrix},
    {kEngineLibrary, "_NEW_MEDIAGETINFO@0", &EngineFactories::newMediaGetInfo},
    {kEngineLibrary, "_NEW_AVIENCWRAPPER@0", &EngineFactories::newAviEncWrapper},
    {kBridgeLibrary, "_NEW_MOVBRIDGE@0", &EngineFactories::newMovbridge},
};

void* Create(EngineFactory f) { return f ? f() : nullptr; }

}  // namespace

bool BindEngineLibraries(std::string& missing, const std::string& folder) {
    missing.clear();
    EngineFactories bound;
    platform::LibraryHandle engine = nullptr;
    platform::LibraryHandle bridge = nullptr;
    for (const char* name : {kEngineLibrary, kBridgeLibrary}) {
        const std::string path = folder.empty() ? std::string(name)
                                                : folder + "/" + platform::SharedObjectName(name);
        platform::LibraryHandle lib = platform::LoadLibrary(path);
        if (!lib) {
            missing = name;
            platform::FreeLibrary(engine);
            return false;
        }
        (name == kEngineLibrary ? engine : bridge) = lib;
    }
    for (const Export& e : kExports) {
        void* sym = platform::GetProcAddress(e.library == kEngineLibrary ? engine : bridge, e.name);
        if (!sym) {
            missing = std::string(e.name) + " (" + e.library + ")";
            platform::FreeLibrary(engine);
            platform::FreeLibrary(bridge);
            return false;
        }
        bound.*e.slot = reinterpret_cast<EngineFactory>(sym);
    }
    g_factories = bound;
    return true;
}

const EngineFactories& BoundFactories() { return g_factories; }

void SetBoundFactories(const EngineFactories& factories) { g_factories = factories; }

IMpegConversionJob* NewMpegJob() {
    return static_cast<IMpegConversionJob*>(Create(g_factories.newOmbrix));
}

IAviConversionJob* NewAviJob() {
    return static_cast<IAviConversionJob*>(Create(g_factories.newAviEncWrapper));
}

IMediaInfo* NewMediaProbe() { return static_cast<IMediaInfo*>(Create(g_factories.newMediaGetInfo)); }

void* NewMovbridgeInstance() { return Create(g_factories.newMovbridge); }

}  // namespace reelcast::app
