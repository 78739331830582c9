#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "platform/window/PreviewWindow.h"

namespace {

using namespace reelcast::platform;

class Surface final : public IPreviewSurface {
public:
    bool IsVisible() const override { return visible; }
    void Present(const std::uint8_t*, std::uint32_t size) override {
        ++presented;
        lastSize = size;
    }
    bool visible = true;
    std::atomic<int> presented{0};
    std::uint32_t lastSize = 0;
};

TEST(PreviewWindow, OnlyKnownVisibleSurfacesAreDrawn) {
    std::uint8_t dib[64] = {};
    Surface s;
    EXPECT_FALSE(DrawPicture(&s, dib, sizeof dib)) << "not registered";
    WindowHandle h = RegisterSurface(&s);
    EXPECT_TRUE(IsWindow(h));
    EXPECT_TRUE(DrawPicture(h, dib, sizeof dib));
    EXPECT_EQ(s.lastSize, sizeof dib);
    s.visible = false;
    EXPECT_FALSE(DrawPicture(h, dib, sizeof dib));
    s.visible = true;
    EXPECT_FALSE(DrawPicture(h, dib, 10)) << "shorter than a bitmap header";
    EXPECT_FALSE(DrawPicture(nullptr, dib, sizeof dib));
    UnregisterSurface(&s);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(DrawPicture(h, dib, sizeof dib));
    EXPECT_EQ(s.presented.load(), 1);
}

TEST(PreviewWindow, UnregisteringWhileAWorkerDrawsIsSafe) {
    std::uint8_t dib[64] = {};
    auto* s = new Surface;
    WindowHandle h = RegisterSurface(s);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop) DrawPicture(h, dib, sizeof dib);
    });
    while (s->presented < 100) std::this_thread::yield();
    UnregisterSurface(s);
    delete s;  // no draw can reach it any more
    stop = true;
    worker.join();
}

// A window that runs posted work when its "GUI thread" drains its queue.
class PostingSurface final : public IPreviewSurface {
public:
    bool IsVisible() const override { return true; }
    void Present(const std::uint8_t*, std::uint32_t) override {}
    bool Post(void (*task)(void*), void* ctx) override {
        queued.push_back({task, ctx});
        return true;
    }
    void Drain() {
        for (auto& [task, ctx] : queued) task(ctx);
        queued.clear();
    }
    std::vector<std::pair<void (*)(void*), void*>> queued;
};

TEST(PreviewWindow, PostedWorkRunsOnlyThroughARegisteredSurfaceThatTakesIt) {
    int runs = 0;
    auto task = [](void* ctx) { ++*static_cast<int*>(ctx); };
    PostingSurface window;
    EXPECT_EQ(PostToWindow(&window, task, &runs), 0) << "not registered";
    RegisterSurface(&window);
    EXPECT_EQ(PostToWindow(&window, task, &runs), 1);
    EXPECT_EQ(runs, 0) << "queued, not run on the caller's thread";
    window.Drain();
    EXPECT_EQ(runs, 1);
    UnregisterSurface(&window);
    EXPECT_EQ(PostToWindow(&window, task, &runs), 0);

    Surface previewOnly;  // takes pictures, not work
    RegisterSurface(&previewOnly);
    EXPECT_EQ(PostToWindow(&previewOnly, task, &runs), 0);
    EXPECT_EQ(PostToWindow(nullptr, task, &runs), 0);
    UnregisterSurface(&previewOnly);
    EXPECT_EQ(runs, 1);
}

}  // namespace
