// How components create each other.
//
// Components never use each other's classes: they create one another through the
// factory pairs, by module name. The lookup goes through a replaceable resolver so
// that tests can hand a component test doubles for the components it creates.
#pragma once

#include "engine/core/ComponentList.h"
#include "engine/core/IEngineComponent.h"

extern "C" {
#define REELCAST_DECLARE_FACTORIES(MOD)            \
    ::reelcast::IEngineComponent* _NEW_##MOD();    \
    ::reelcast::IEngineComponent* _NEW_00_##MOD();
REELCAST_FOR_EACH_COMPONENT(REELCAST_DECLARE_FACTORIES)
#undef REELCAST_DECLARE_FACTORIES
}

namespace reelcast::core {

using FactoryFn = IEngineComponent* (*)();

// Resolves a module name ("MPGLIB") to a fresh instance, or null.
using Resolver = IEngineComponent* (*)(const char* mod);

// The library's own factories: null for an unknown name.
FactoryFn FindFactory(const char* mod);
FactoryFn FindSharedFactory(const char* mod);

// Creates a fresh instance of mod through the current resolver.
IEngineComponent* NewComponent(const char* mod);

// Replaces the resolver (null restores the library's own factories). Returns the
// previous one. Meant for tests; not synchronised with running workers.
Resolver SetResolver(Resolver r);

// The engine library's file name and the exports the programs outside it (the
// desktop program, reelcast-cli) create their objects by.
inline constexpr const char* kEngineLibraryName = "OmbrixDll.dll";
inline constexpr const char* kMpegJobExport = "_NEW_OMBRIX@0";
inline constexpr const char* kMediaInfoExport = "_NEW_MEDIAGETINFO@0";
inline constexpr const char* kAviJobExport = "_NEW_AVIENCWRAPPER@0";

// Typed form: the interface I must derive from IEngineComponent and be the one
// the component mod implements.
template <class I>
I* New(const char* mod) {
    return static_cast<I*>(NewComponent(mod));
}

}  // namespace reelcast::core
