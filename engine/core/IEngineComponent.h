// The four operations every engine interface begins with.
//
// The engine's callers (the desktop program, reelcast-cli, C programs) reach
// components only through their operation tables, by slot position. Slot 0 is the
// deleting destructor taking a flags word: it is declared as an ordinary virtual
// operation because a C++ virtual destructor would take two slots under the
// Itanium ABI and shift every later slot.
#pragma once

#include <cstdint>

namespace reelcast {

class IEngineComponent {
public:
    // Slot 0. Destroys the object; bit 0 of flags also frees its storage.
    virtual void DeletingDestructor(std::uint32_t flags) = 0;
    // Slot 1. Destroys the instance through slot 0 with the free flag.
    virtual void Release() = 0;
    // Slot 2. The component's own initialisation; false makes its factory answer null.
    virtual bool Init() = 0;
    // Slot 3. Answers true in every component.
    virtual bool IsReady() = 0;

protected:
    IEngineComponent() = default;
    ~IEngineComponent() = default;
};

// Release() on a null instance does nothing.
inline void ReleaseComponent(IEngineComponent* c) {
    if (c) c->Release();
}

// Releases *p (when not null) and clears the pointer.
template <class T>
inline void ReleaseAndClear(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace reelcast
