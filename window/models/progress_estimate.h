#pragma once
// Turns the worker's total and done counts into what the progress dialog shows:
// the bar's range and position, the percent text, the time left and elapsed
// texts and the caption. The rate is smoothed over the last 30 samples of one
// second each; a sample that covers time spent waiting for the user (or a gap
// of more than five seconds) counts as empty, so a pause does not drag the
// rate down. The view is refreshed at most every 50 ms, except the first time
// the count reaches the total.
//
// Only the worker thread calls the counting entries; the window thread only
// raises the discard flag (atomic) and reads views it was handed by value.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace dialogs {

// Milliseconds of a steady clock (tests inject their own).
using MillisecondClock = std::function<int64_t()>;
// The dialog's clock: the monotonic clock at its coarse (few-millisecond)
// resolution, which is plenty for a 50 ms refresh and cheap enough to read
// for every block.
int64_t CoarseSteadyMs();

struct ProgressView {
    int32_t barMaximum = 0;      // 0 while the total is unknown
    int32_t barPosition = 0;
    std::u16string percentText;  // "37%"
    std::u16string timeLeftText; // "00:01:02", empty before the first estimate
    std::u16string elapsedText;
    std::u16string caption;
};

// "%02d:%02d:%02d" of whole seconds; 99:59:59 from 100 hours on.
std::u16string FormatDuration(int64_t seconds);

class ProgressEstimate {
public:
    explicit ProgressEstimate(MillisecondClock now);

    // Caption kept, counters restarted, texts emptied.
    void Start(std::u16string_view caption);
    // Counters, samples and bar range restarted for a new pass; the next sample
    // is discarded while the operation is held.
    void Reset(bool held = false);

    // The total of the operation; the bar's range is taken from the first total
    // after a start or reset.
    void SetTotal(uint64_t total);
    // True when the view changed and should be shown.
    bool AddDone(uint64_t delta);
    bool SetDone(uint64_t done);

    // The next rate sample is taken as empty (set while the operation waits).
    void DiscardNextSample() { discard_.store(true, std::memory_order_relaxed); }

    const ProgressView& View() const { return view_; }
    int64_t Total() const { return total_; }
    int64_t Done() const { return done_; }
    int64_t Rate() const { return rate_; }
    int64_t RemainingSeconds() const { return remaining_; }

    static constexpr int64_t kRefreshMs = 50;
    static constexpr int64_t kSampleMs = 1000;
    static constexpr int kSamples = 30;

private:
    bool Refresh();
    void TakeSample();

    MillisecondClock clock_;
    std::u16string caption_;
    ProgressView view_;

    int64_t total_ = -1;
    int64_t done_ = 0;
    int64_t doneAtSample_ = 0;
    int64_t rate_ = 0;
    int64_t remaining_ = 0;
    int64_t start_ = 0;
    int64_t lastRefresh_ = 0;
    int64_t lastText_ = 0;
    int64_t lastSample_ = 0;
    int64_t now_ = 0;
    int shift_ = 6;
    bool rangeSet_ = false;
    bool finalShown_ = false;
    std::atomic<bool> discard_{false};

    std::array<int64_t, kSamples> sampleUnits_{};
    std::array<int64_t, kSamples> sampleMs_{};
    int ring_ = 0;
};

}  // namespace dialogs
