// The conversion's thread count and the row team that shares a picture's rows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/core/ParallelRows.h"
#include "engine/core/ThreadCount.h"

namespace reelcast::core {
namespace {

TEST(ThreadCount, TextsAndTheEnvironment) {
    EXPECT_EQ(ParseThreadCount("1"), 1);
    EXPECT_EQ(ParseThreadCount("64"), 64);
    for (const char* bad : {"0", "65", "-2", "2x", "", " 3", "many"}) EXPECT_EQ(ParseThreadCount(bad), 0) << bad;
    EXPECT_EQ(ParseThreadCount(nullptr), 0);

    setenv(kThreadsVariable, "3", 1);
    EXPECT_EQ(ConversionThreads(), 3);
    setenv(kThreadsVariable, "zero", 1);  // a bad value falls back to the processors
    const int fallback = ConversionThreads();
    EXPECT_GE(fallback, 1);
    unsetenv(kThreadsVariable);
    EXPECT_EQ(ConversionThreads(), fallback);
}

// Every row of every pass runs exactly once, and a pass is over when Run
// returns, for teams larger and smaller than the row count; many short passes
// in a row catch a helper that misses or repeats a pass, and slow rows now and
// then make the caller wait beyond its awake spell.
class ParallelRowsTeam : public ::testing::TestWithParam<int> {};

TEST_P(ParallelRowsTeam, EachRowOncePerPass) {
    ParallelRows team;
    team.Start(GetParam());
    EXPECT_GE(team.Threads(), 1);
    for (int pass = 0; pass < 500; ++pass) {
        const int rows = pass % 7 == 0 ? 1 : 1 + pass % 40;
        std::vector<std::atomic<int>> runs(static_cast<std::size_t>(rows));
        const bool slow = pass % 50 == 49;
        team.Run(rows, [&](int r) {
            if (slow) std::this_thread::sleep_for(std::chrono::microseconds(400));
            runs[static_cast<std::size_t>(r)].fetch_add(1);
        });
        for (int r = 0; r < rows; ++r) ASSERT_EQ(runs[static_cast<std::size_t>(r)].load(), 1) << pass << "/" << r;
    }
    team.Stop();  // and again: stopping twice and running alone after it are fine
    team.Stop();
    int alone = 0;
    team.Run(5, [&](int) { ++alone; });
    EXPECT_EQ(alone, 5);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ParallelRowsTeam, ::testing::Values(1, 2, 4, 9));

}  // namespace
}  // namespace reelcast::core
