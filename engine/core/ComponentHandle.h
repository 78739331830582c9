// An owning handle to one engine component: it calls Release when it goes out
// of scope, like a COM smart pointer. Move-only, since a component has exactly
// one owner; get() lends the raw pointer to C-shaped calls without giving it up.
#pragma once

#include <utility>

#include "engine/core/Factories.h"
#include "engine/core/IEngineComponent.h"

namespace reelcast::core {

template <class I>
class ComponentHandle {
public:
    ComponentHandle() noexcept = default;
    // Takes ownership of p (which may be null).
    explicit ComponentHandle(I* p) noexcept : p_(p) {}
    ~ComponentHandle() { reset(); }

    ComponentHandle(ComponentHandle&& other) noexcept : p_(other.release()) {}
    ComponentHandle& operator=(ComponentHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ComponentHandle(const ComponentHandle&) = delete;
    ComponentHandle& operator=(const ComponentHandle&) = delete;

    I* get() const noexcept { return p_; }
    I* operator->() const noexcept { return p_; }
    I& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Releases the held component (if any) and takes ownership of p.
    void reset(I* p = nullptr) noexcept {
        I* old = std::exchange(p_, p);
        if (old) old->Release();
    }
    // Gives up ownership without releasing: the caller now owns the pointer.
    [[nodiscard]] I* release() noexcept { return std::exchange(p_, nullptr); }

private:
    I* p_ = nullptr;
};

// Creates a fresh instance of mod through the current resolver, owned by a
// handle (empty when the module is unknown or its Init failed).
template <class I>
ComponentHandle<I> MakeHandle(const char* mod) {
    return ComponentHandle<I>(New<I>(mod));
}

}  // namespace reelcast::core
