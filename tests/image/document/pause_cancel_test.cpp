// The pause and cancel wait between units of work, with a second thread in the
// part of the progress dialog.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "foundation/progress_callbacks.h"
#include "foundation/operation_status.h"
#include "image/document/pause_cancel.h"

namespace image {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(WaitIfPaused, NullRecordGoesOnWithoutTouchingStatus) {
    foundation::OperationStatus = 7;
    const auto start = Clock::now();
    EXPECT_EQ(WaitIfPaused(nullptr), 1);
    EXPECT_LT(Clock::now() - start, milliseconds(50));
    EXPECT_EQ(foundation::OperationStatus.load(), 7);
    foundation::OperationStatus = 0;
}

TEST(WaitIfPaused, RunningRecordGoesOn) {
    foundation::ProgressCallbacks progress;
    foundation::OperationStatus = 0;
    EXPECT_EQ(WaitIfPaused(&progress), 1);
    EXPECT_EQ(foundation::OperationStatus.load(), 0);
}

TEST(WaitIfPaused, CancelIsSeenOnTheFirstCall) {
    foundation::ProgressCallbacks progress;
    foundation::OperationStatus = 0;
    progress.cancelEvent.Set();
    EXPECT_EQ(WaitIfPaused(&progress), 0);
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled);
    foundation::OperationStatus = 0;
}

// A paused worker blocks until the other thread acts; the call then returns
// within about 100 ms (bounded generously for loaded machines).
struct Case {
    const char* name;
    bool cancel;
    int32_t expected;
};

class PausedThen : public ::testing::TestWithParam<Case> {};

TEST_P(PausedThen, ReturnsSoonAfterTheDialogActs) {
    const Case c = GetParam();
    foundation::ProgressCallbacks progress;
    progress.paused = 1;
    foundation::OperationStatus = 0;
    auto result = std::async(std::launch::async, [&] {
        const int32_t r = WaitIfPaused(&progress);
        return std::make_pair(r, Clock::now());
    });
    EXPECT_EQ(result.wait_for(milliseconds(250)), std::future_status::timeout);   // still paused
    const auto acted = Clock::now();
    if (c.cancel) {
        progress.cancelEvent.Set();   // cancel wins while the pause still holds
    } else {
        progress.paused = 0;
    }
    const auto [r, returned] = result.get();
    EXPECT_EQ(r, c.expected);
    EXPECT_LT(returned - acted, milliseconds(300));
    EXPECT_EQ(foundation::OperationStatus.load(), c.cancel ? foundation::kStatusCancelled : 0);
    foundation::OperationStatus = 0;
}

INSTANTIATE_TEST_SUITE_P(Dialog, PausedThen,
                         ::testing::Values(Case{"Continued", false, 1}, Case{"Cancelled", true, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace image
