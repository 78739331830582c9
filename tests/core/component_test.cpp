#include <gtest/gtest.h>

#include "engine/core/Component.h"
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

}  // namespace
