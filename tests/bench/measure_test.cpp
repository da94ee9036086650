// Median, timing rounds and the derived figures.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "measure.hpp"

namespace vorlex::bench {
namespace {

TEST(Median, OddEvenEmptyAndUnsorted) {
    struct Case {
        std::vector<double> values;
        double expected;
    } cases[] = {
        {{}, 0},
        {{7}, 7},
        {{3, 1}, 2},
        {{5, 1, 4}, 4},
        {{9, 1, 8, 2}, 5},            // mean of the two middle values, 2 and 8
        {{2, 2, 2, 100, 1}, 2},       // an outlier does not move it
        {{0.5, 0.25, 0.75, 1.0, 0.0, 10.0}, 0.625},
    };
    for (const Case& c : cases) {
        const std::vector<double> before = c.values;
        EXPECT_DOUBLE_EQ(median(c.values), c.expected) << ::testing::PrintToString(c.values);
        EXPECT_EQ(c.values, before);
    }
}

TEST(Figures, RatioSpeedAndRelativeSpeed) {
    EXPECT_DOUBLE_EQ(compression_ratio(1000, 250), 4.0);
    EXPECT_DOUBLE_EQ(compression_ratio(1000, 3000), 1.0 / 3);
    EXPECT_EQ(compression_ratio(1000, 0), 0);

    EXPECT_DOUBLE_EQ(mb_per_second(10'000'000, 2.0), 5.0);  // 10^6 bytes, not 2^20
    EXPECT_DOUBLE_EQ(mb_per_second(1'000'000, 0.25), 4.0);
    EXPECT_EQ(mb_per_second(1'000'000, 0), 0);

    EXPECT_DOUBLE_EQ(*speed_ratio(300, 1200), 0.25);
    EXPECT_FALSE(speed_ratio(300, 0).has_value());
    EXPECT_FALSE(speed_ratio(300, std::numeric_limits<double>::quiet_NaN()).has_value());
}

// A clock that moves only when told: time_calls sees exactly what each call costs.
double fake_time = 0;
double fake_clock() { return fake_time; }

TEST(TimeCalls, RunsUntilTheMinimumAndReportsPerCall) {
    struct Case {
        double call_cost, min_time;
        uint64_t min_calls;
    } cases[] = {
        {0.001, 0.5, 500},   // many calls
        {2.0, 0.5, 1},       // one call already too long
        {0.001, 0.0, 1},     // no minimum still makes one call
        {1e-9, 0.001, 1'000'000},
    };
    for (const Case& c : cases) {
        fake_time = 0;
        uint64_t calls = 0;
        CallTiming t;
        ASSERT_TRUE(time_calls(
            [&] {
                ++calls;
                fake_time += c.call_cost;
                return true;
            },
            c.min_time, fake_clock, t));
        EXPECT_EQ(t.calls, calls);
        EXPECT_GE(t.calls, c.min_calls);
        EXPECT_GE(t.seconds, c.min_time);
        // Batches aim just past the minimum rather than doubling far beyond it.
        EXPECT_LE(t.seconds, std::max(c.min_time * 1.25, c.call_cost) + 1e-9);
        EXPECT_NEAR(t.per_call(), c.call_cost, c.call_cost * 1e-6);
    }
}

TEST(TimeCalls, StopsAtTheFirstFailure) {
    fake_time = 0;
    uint64_t calls = 0;
    CallTiming t;
    EXPECT_FALSE(time_calls(
        [&] {
            fake_time += 0.01;
            return ++calls < 5;
        },
        10.0, fake_clock, t));
    EXPECT_EQ(calls, 5u);
    EXPECT_EQ(t.calls, 4u);  // the failed call is not counted as done
}

TEST(TimeCalls, ACoarseClockKeepsDoubling) {
    // Nothing measurable yet: the next batch doubles instead of dividing by 0.
    EXPECT_EQ(next_batch(CallTiming{0, 4}, 4, 1.0), 8u);
    EXPECT_EQ(next_batch(CallTiming{0, 1}, UINT64_MAX, 1.0), UINT64_MAX);
    // 100 calls took 0.1 s; 0.9 s remain: about 990 calls, capped by doubling.
    EXPECT_EQ(next_batch(CallTiming{0.1, 100}, 64, 1.0), 128u);
    const uint64_t aimed = next_batch(CallTiming{0.1, 100}, 4096, 1.0);
    EXPECT_GE(aimed, 990u);
    EXPECT_LE(aimed, 991u);
}

}  // namespace
}  // namespace vorlex::bench
