#include "engine/core/Factories.h"

#include <atomic>
#include <cstring>

#include "engine/core/Component.h"

// A component that is not built answers null from both factories. Each built
// component defines its own (strong) pair with REELCAST_EXPORT_COMPONENT, which
// the linker prefers to these weak ones.
#define REELCAST_WEAK_FACTORIES(MOD)                                                     \
    extern "C" REELCAST_API __attribute__((weak)) ::reelcast::IEngineComponent* _NEW_##MOD() { \
        return nullptr;                                                                  \
    }                                                                                    \
    extern "C" REELCAST_API __attribute__((weak)) ::reelcast::IEngineComponent* _NEW_00_##MOD() { \
        return nullptr;                                                                  \
    }
REELCAST_FOR_EACH_COMPONENT(REELCAST_WEAK_FACTORIES)
#undef REELCAST_WEAK_FACTORIES

namespace reelcast::core {
namespace {

struct Entry {
    const char* name;
    FactoryFn fresh;
    FactoryFn shared;
};

#define REELCAST_ENTRY(MOD) {#MOD, &_NEW_##MOD, &_NEW_00_##MOD},
const Entry kEntries[] = {REELCAST_FOR_EACH_COMPONENT(REELCAST_ENTRY)};
#undef REELCAST_ENTRY

const Entry* Find(const char* mod) {
    if (!mod) return nullptr;
    for (const Entry& e : kEntries) {
        if (std::strcmp(e.name, mod) == 0) return &e;
    }
    return nullptr;
}

IEngineComponent* DefaultResolver(const char* mod) {
    FactoryFn f = FindFactory(mod);
    return f ? f() : nullptr;
}

std::atomic<Resolver> g_resolver{&DefaultResolver};

}  // namespace

FactoryFn FindFactory(const char* mod) {
    const Entry* e = Find(mod);
    return e ? e->fresh : nullptr;
}

FactoryFn FindSharedFactory(const char* mod) {
    const Entry* e = Find(mod);
    return e ? e->shared : nullptr;
}

IEngineComponent* NewComponent(const char* mod) {
    return g_resolver.load()(mod);
}

Resolver SetResolver(Resolver r) {
    return g_resolver.exchange(r ? r : &DefaultResolver);
}

}  // namespace reelcast::core
