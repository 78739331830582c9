#include <gtest/gtest.h>

#include "engine/core/Component.h"
#include "engine/core/ComponentHandle.h"
#include "engine/core/Factories.h"

namespace {

using reelcast::IEngineComponent;

struct Counters {
    int constructed = 0;
    int destroyed = 0;
    int inits = 0;
    bool initResult = true;
};
Counters g_counts;

class Probe final : public reelcast::core::Component<IEngineComponent, Probe> {
public:
    Probe() { ++g_counts.constructed; }
    ~Probe() { ++g_counts.destroyed; }
    bool Init() override {
        ++g_counts.inits;
        return g_counts.initResult;
    }
};

TEST(ComponentFactory, FreshInstanceInitFailureFreesAndAnswersNull) {
    g_counts = {};
    g_counts.initResult = false;
    EXPECT_EQ(reelcast::core::MakeFresh<Probe>(), nullptr);
    EXPECT_EQ(g_counts.constructed, 1);
    EXPECT_EQ(g_counts.destroyed, 1);

    g_counts.initResult = true;
    IEngineComponent* c = reelcast::core::MakeFresh<Probe>();
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->IsReady());
    c->Release();
    EXPECT_EQ(g_counts.destroyed, 2);
    reelcast::ReleaseComponent(nullptr);  // no effect
}

class Shared final : public reelcast::core::Component<IEngineComponent, Shared> {
public:
    static inline int inits = 0;
    static inline bool ok = false;
    bool Init() override {
        ++inits;
        return ok;
    }
};

TEST(ComponentFactory, SharedInstanceRetriesInitUntilItSucceedsOnce) {
    EXPECT_EQ(reelcast::core::SharedInstance<Shared>(), nullptr);
    EXPECT_EQ(reelcast::core::SharedInstance<Shared>(), nullptr);
    EXPECT_EQ(Shared::inits, 2);
    Shared::ok = true;
    IEngineComponent* a = reelcast::core::SharedInstance<Shared>();
    IEngineComponent* b = reelcast::core::SharedInstance<Shared>();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(Shared::inits, 3);
}

TEST(ComponentFactory, NamesResolveAndResolverCanBeReplaced) {
    EXPECT_NE(reelcast::core::FindFactory("OMBRIXDLL"), nullptr);
    EXPECT_EQ(reelcast::core::FindFactory("NOSUCH"), nullptr);
    EXPECT_EQ(reelcast::core::FindFactory(nullptr), nullptr);
    IEngineComponent* c = reelcast::core::NewComponent("OMBRIXDLL");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->IsReady());
    c->Release();

    static int asked = 0;
    auto previous = reelcast::core::SetResolver([](const char*) -> IEngineComponent* {
        ++asked;
        return nullptr;
    });
    EXPECT_EQ(reelcast::core::NewComponent("OMBRIXDLL"), nullptr);
    EXPECT_EQ(asked, 1);
    reelcast::core::SetResolver(previous);
    c = reelcast::core::NewComponent("OMBRIXDLL");
    ASSERT_NE(c, nullptr);
    c->Release();
}

// The handle releases exactly once, whichever way ownership travels.
TEST(ComponentHandle, ReleasesOnceAcrossMovesResetsAndHandOffs) {
    using reelcast::core::ComponentHandle;
    g_counts = {};
    {
        ComponentHandle<IEngineComponent> a(reelcast::core::MakeFresh<Probe>());
        ASSERT_TRUE(a);
        ComponentHandle<IEngineComponent> b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_TRUE(b);
        ComponentHandle<IEngineComponent> c;
        c = std::move(b);
        ComponentHandle<IEngineComponent>& alias = c;
        c = std::move(alias);  // self-move keeps the component
        EXPECT_TRUE(c);
        EXPECT_EQ(g_counts.destroyed, 0);
        c.reset(reelcast::core::MakeFresh<Probe>());  // releases the first
        EXPECT_EQ(g_counts.destroyed, 1);
        IEngineComponent* raw = c.release();  // hand-off: not released here
        EXPECT_FALSE(c);
        ComponentHandle<IEngineComponent> d(raw);
    }
    EXPECT_EQ(g_counts.constructed, 2);
    EXPECT_EQ(g_counts.destroyed, 2);

    auto made = reelcast::core::MakeHandle<IEngineComponent>("OMBRIXDLL");
    EXPECT_TRUE(made && made->IsReady());
    EXPECT_FALSE(reelcast::core::MakeHandle<IEngineComponent>("NOSUCH"));
}

}  // namespace
