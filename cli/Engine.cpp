#include "cli/Engine.h"

namespace reelcast::cli {

Engine::~Engine() { platform::FreeLibrary(lib_); }

bool Engine::Load() {
    lib_ = platform::LoadLibrary(core::kEngineLibraryName);
    if (!lib_) error_ = "Can not find DLL: " + platform::LastLoadError();
    return lib_ != nullptr;
}

void* Engine::Export(const char* name) const { return platform::GetProcAddress(lib_, name); }

void* Engine::Create(const char* factoryName) const {
    using Factory = void* (*)();
    auto f = reinterpret_cast<Factory>(Export(factoryName));
    return f ? f() : nullptr;
}

}  // namespace reelcast::cli
