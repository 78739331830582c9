// Implementation helpers of the component convention: the common slots, the
// fresh-instance factory and the shared-instance factory.
#pragma once

#include <cstdlib>
#include <new>
#include <type_traits>

#include "engine/core/IEngineComponent.h"

#define REELCAST_API __attribute__((visibility("default")))

namespace reelcast::core {

// Base of every component class: implements slots 0, 1 and 3 for Self, which
// derives from this with its interface as Iface. Self must be final (it is
// destroyed through its own type) and provide Init().
template <class Iface, class Self>
class Component : public Iface {
public:
    void DeletingDestructor(std::uint32_t flags) override {
        Self* self = static_cast<Self*>(this);
        if (flags & 1u) {
            delete self;
        } else {
            self->~Self();
        }
    }
    void Release() override { DeletingDestructor(1u); }
    bool IsReady() override { return true; }
};

// _NEW_<MOD>: allocate, construct, Init through the table; null on any failure.
template <class Self>
IEngineComponent* MakeFresh() noexcept {
    Self* obj = new (std::nothrow) Self();
    if (!obj) return nullptr;
    IEngineComponent* c = obj;
    if (!c->Init()) {
        c->Release();
        return nullptr;
    }
    return c;
}

// _NEW_00_<MOD>: one instance per component in static storage, constructed on the
// first call and destroyed when the library unloads; Init (called directly, not
// through the table) is retried until it has succeeded once. Taken from one thread.
template <class Self>
IEngineComponent* SharedInstance() noexcept {
    alignas(Self) static unsigned char storage[sizeof(Self)];
    static bool constructed = false;
    static bool initialised = false;
    Self* obj = std::launder(reinterpret_cast<Self*>(storage));
    if (!constructed) {
        constructed = true;
        ::new (static_cast<void*>(storage)) Self();
        std::atexit([] { std::launder(reinterpret_cast<Self*>(storage))->~Self(); });
    }
    if (initialised) return obj;
    if (obj->Self::Init()) {
        initialised = true;
        return obj;
    }
    return nullptr;
}

}  // namespace reelcast::core

// Defines the exported factory pair of one component. The names carry no
// "@0" decoration: ELF symbols cannot, and platform/dynlib drops it on lookup.
#define REELCAST_EXPORT_COMPONENT(MOD, Class)                                         \
    extern "C" REELCAST_API ::reelcast::IEngineComponent* _NEW_##MOD() {              \
        return ::reelcast::core::MakeFresh<Class>();                                  \
    }                                                                                 \
    extern "C" REELCAST_API ::reelcast::IEngineComponent* _NEW_00_##MOD() {           \
        return ::reelcast::core::SharedInstance<Class>();                             \
    }
