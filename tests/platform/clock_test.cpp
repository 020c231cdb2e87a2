// SPDX-License-Identifier: MIT
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

TEST(VirtualClock, SleepRunsDueCallbacksInTimeOrderAtTheirOwnTime) {
    VirtualClock clock;
    std::vector<std::pair<int, uint64_t>> ran;
    const uint64_t start = clock.tickCount();
    clock.scheduleAfter(30, [&] { ran.push_back({3, clock.tickCount()}); });
    clock.scheduleAfter(10, [&] { ran.push_back({1, clock.tickCount()}); });
    clock.scheduleAfter(10, [&] { ran.push_back({2, clock.tickCount()}); });
    clock.scheduleAfter(31, [&] { ran.push_back({4, clock.tickCount()}); });

    clock.sleepMs(30);

    ASSERT_EQ(ran.size(), 3u);
    EXPECT_EQ(ran[0], std::make_pair(1, start + 10));
    EXPECT_EQ(ran[1], std::make_pair(2, start + 10));
    EXPECT_EQ(ran[2], std::make_pair(3, start + 30));
    EXPECT_EQ(clock.tickCount(), start + 30);
    EXPECT_EQ(clock.pendingCallbacks(), 1u);
}

TEST(VirtualClock, CallbackMayScheduleWithinTheSameSleep) {
    VirtualClock clock;
    int fired = 0;
    clock.scheduleAfter(5, [&] {
        ++fired;
        clock.scheduleAfter(5, [&] { ++fired; });
        clock.scheduleAt(0, [&] { ++fired; });  // in the past: runs at once, not never
    });
    clock.sleepMs(10);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(clock.sleptMs(), 10u);
}

TEST(ClockSeam, InstalledClockIsUsedAndRealClockRestored) {
    VirtualClock virtualClock;
    {
        ScopedClock scope(virtualClock);
        const uint64_t before = systemClock().tickCount();
        systemClock().sleepMs(25000);
        EXPECT_EQ(systemClock().tickCount() - before, 25000u);
    }
    EXPECT_NE(&systemClock(), &virtualClock);
}

}  // namespace
}  // namespace corvel
