#include "platform/window/PreviewWindow.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace reelcast::platform {
namespace {

std::mutex& RegistryLock() {
    static std::mutex m;
    return m;
}

std::vector<IPreviewSurface*>& Registry() {
    static std::vector<IPreviewSurface*> surfaces;
    return surfaces;
}

bool KnownLocked(WindowHandle h) {
    auto& r = Registry();
    return h && std::find(r.begin(), r.end(), static_cast<IPreviewSurface*>(h)) != r.end();
}

}  // namespace

WindowHandle RegisterSurface(IPreviewSurface* surface) {
    if (!surface) return nullptr;
    std::lock_guard<std::mutex> lock(RegistryLock());
    if (!KnownLocked(surface)) Registry().push_back(surface);
    return surface;
}

void UnregisterSurface(IPreviewSurface* surface) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    auto& r = Registry();
    r.erase(std::remove(r.begin(), r.end(), surface), r.end());
}

bool IsWindow(WindowHandle h) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    return KnownLocked(h);
}

bool DrawPicture(WindowHandle h, const std::uint8_t* dib, std::uint32_t dibSize) {
    if (!dib || dibSize < 40) return false;
    std::lock_guard<std::mutex> lock(RegistryLock());
    if (!KnownLocked(h)) return false;
    auto* s = static_cast<IPreviewSurface*>(h);
    if (!s->IsVisible()) return false;
    s->Present(dib, dibSize);
    return true;
}

int PostToWindow(WindowHandle h, void (*task)(void* ctx), void* ctx) {
    if (!task) return 0;
    std::lock_guard<std::mutex> lock(RegistryLock());
    if (!KnownLocked(h)) return 0;
    return static_cast<IPreviewSurface*>(h)->Post(task, ctx) ? 1 : 0;
}

}  // namespace reelcast::platform
