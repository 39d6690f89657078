#include "window/models/progress_estimate.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

struct FakeClock {
    int64_t now = 100000;
    dialogs::MillisecondClock Get() {
        return [this] { return now; };
    }
};

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

TEST(ProgressEstimate, NothingMovesBeforeTheTotal) {
    FakeClock clock;
    dialogs::ProgressEstimate estimate(clock.Get());
    estimate.Start(u"Saving");
    clock.now += 500;
    EXPECT_FALSE(estimate.AddDone(1000));
    EXPECT_EQ(estimate.Done(), 1000);
    EXPECT_EQ(estimate.View().barMaximum, 0);
    EXPECT_TRUE(estimate.View().percentText.empty());
}

// Percent and bar for totals and counts, each refreshed once after the throttle.
TEST(ProgressEstimate, PercentAndBarTable) {
    struct Case {
        uint64_t total;
        uint64_t done;
        const char* percent;
        int32_t barMaximum;
        int32_t barPosition;
    } cases[] = {
        {1000, 500, "50%", 15, 7},
        {1000, 1000, "100%", 15, 15},
        {1000, 1500, "100%", 15, 15},     // past the total: never more than 100
        {0, 0, "100%", 1, 1},             // nothing to do is done
        {10, 3, "30%", 1, 0},             // under 64 units: a real range, never 0..0
        {uint64_t(1) << 40, uint64_t(1) << 39, "50%", 1 << 30, 1 << 29},
        {uint64_t(1) << 37, 3, "0%", int32_t(1) << 30, 0},   // 2^37 does not fit a 32-bit range / 64
    };
    for (const Case& c : cases) {
        FakeClock clock;
        dialogs::ProgressEstimate estimate(clock.Get());
        estimate.Start(u"t");
        estimate.SetTotal(c.total);
        clock.now += 60;
        EXPECT_TRUE(estimate.SetDone(c.done)) << c.total;
        EXPECT_EQ(Narrow(estimate.View().percentText), c.percent) << c.total << " " << c.done;
        EXPECT_EQ(estimate.View().barMaximum, c.barMaximum) << c.total;
        EXPECT_EQ(estimate.View().barPosition, c.barPosition) << c.total << " " << c.done;
        EXPECT_GE(estimate.View().barMaximum, 1);
        EXPECT_LE(estimate.View().barPosition, estimate.View().barMaximum);
    }
}

TEST(ProgressEstimate, ThrottleSkippedOnlyOnFirstReachingTheTotal) {
    FakeClock clock;
    dialogs::ProgressEstimate estimate(clock.Get());
    estimate.Start(u"t");
    estimate.SetTotal(1000);
    clock.now += 60;
    EXPECT_TRUE(estimate.AddDone(100));
    clock.now += 10;
    EXPECT_FALSE(estimate.AddDone(100));     // within 50 ms
    clock.now += 10;
    EXPECT_TRUE(estimate.AddDone(800));      // reaches the total: shown at once
    EXPECT_EQ(Narrow(estimate.View().percentText), "100%");
    clock.now += 10;
    EXPECT_FALSE(estimate.AddDone(500));     // past the total: throttled again
    clock.now += 60;
    EXPECT_TRUE(estimate.AddDone(1));
}

TEST(ProgressEstimate, TimeLeftFromTheSmoothedRate) {
    FakeClock clock;
    dialogs::ProgressEstimate estimate(clock.Get());
    estimate.Start(u"t");
    estimate.SetTotal(100'000'000);
    // 10,000 units per ms for the first second: nothing estimated yet.
    for (int i = 0; i < 10; ++i) {
        clock.now += 100;
        estimate.AddDone(1'000'000);
        EXPECT_TRUE(estimate.View().timeLeftText.empty());
    }
    for (int i = 0; i < 25; ++i) {
        clock.now += 100;
        estimate.AddDone(1'000'000);
    }
    EXPECT_EQ(estimate.Rate(), 10000);
    // Taken at the last sample (33e6 done): (100e6 - 33e6) / 10000 ms, shown as ms / 1024.
    EXPECT_EQ(estimate.RemainingSeconds(), (67'000'000 / 10000) / 1024);
    EXPECT_EQ(Narrow(estimate.View().timeLeftText), "00:00:06");
    EXPECT_FALSE(estimate.View().elapsedText.empty());
}

TEST(ProgressEstimate, LongGapAndHeldSamplesAreEmpty) {
    for (bool held : {false, true}) {
        FakeClock clock;
        dialogs::ProgressEstimate estimate(clock.Get());
        estimate.Start(u"t");
        estimate.SetTotal(1'000'000'000);
        for (int i = 0; i < 30; ++i) {
            clock.now += 100;
            estimate.AddDone(1'000'000);   // 10,000 per ms
        }
        const int64_t before = estimate.Rate();
        ASSERT_EQ(before, 10000);
        if (held) {
            estimate.DiscardNextSample();
            clock.now += 2000;   // a two-second box: not a gap, but held
        } else {
            clock.now += 6000;   // a pause with no calls at all
        }
        estimate.AddDone(1000);
        EXPECT_EQ(estimate.Rate(), before) << "held " << held;
    }
}

TEST(ProgressEstimate, SlowRateShowsNoTimeLeft) {
    FakeClock clock;
    dialogs::ProgressEstimate estimate(clock.Get());
    estimate.Start(u"t");
    estimate.SetTotal(1'000'000);
    for (int i = 0; i < 40; ++i) {
        clock.now += 100;
        estimate.AddDone(10);   // 0.1 unit per ms
    }
    EXPECT_EQ(estimate.Rate(), 0);
    EXPECT_TRUE(estimate.View().timeLeftText.empty());
}

TEST(ProgressEstimate, DurationsMatchDate) {
    for (int64_t seconds : {0, 59, 3725, 86399}) {
        const std::string expected =
            qvtest::RunOk("date -u -d @" + std::to_string(seconds) + " +%T");
        EXPECT_EQ(Narrow(dialogs::FormatDuration(seconds)) + "\n", expected);
    }
    EXPECT_EQ(Narrow(dialogs::FormatDuration(359999)), "99:59:59");
    EXPECT_EQ(Narrow(dialogs::FormatDuration(360000)), "99:59:59");
    EXPECT_EQ(Narrow(dialogs::FormatDuration(INT64_MAX)), "99:59:59");
    EXPECT_EQ(Narrow(dialogs::FormatDuration(90000)), "25:00:00");
}

}  // namespace
