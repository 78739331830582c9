// The engine library as reelcast-cli sees it: loaded by its Windows file name
// through platform/dynlib, exactly as the desktop program loads it.
#pragma once

#include <string>

#include "engine/core/ComponentHandle.h"
#include "engine/core/Factories.h"
#include "platform/dynlib/DynLib.h"
#include "platform/NonCopyable.h"

namespace reelcast::cli {

class Engine : NonCopyable {
public:
    Engine() = default;
    ~Engine();

    // Loads "OmbrixDll.dll"; false with a reason in error().
    bool Load();
    // Resolves an export ("_NEW_OMBRIX@0"); null when missing.
    void* Export(const char* name) const;
    // Calls a factory export by name; null when missing or when it answers null.
    void* Create(const char* factoryName) const;
    // The same, owned: I is the interface the factory's component implements.
    template <class I>
    core::ComponentHandle<I> Make(const char* factoryName) const {
        return core::ComponentHandle<I>(static_cast<I*>(Create(factoryName)));
    }
    const std::string& error() const { return error_; }

private:
    platform::LibraryHandle lib_ = nullptr;
    std::string error_;
};

}  // namespace reelcast::cli
