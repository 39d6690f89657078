#include "window/models/progress_estimate.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace dialogs {

namespace {

std::u16string Ascii(const char* text) {
    std::u16string out;
    for (const char* p = text; *p; ++p) out.push_back(static_cast<char16_t>(*p));
    return out;
}

}  // namespace

int64_t CoarseSteadyMs() {
    struct timespec now {};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) != 0) clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::u16string FormatDuration(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    const int64_t hours = seconds / 3600;
    char text[16];
    if (hours >= 100) {
        std::snprintf(text, sizeof text, "99:59:59");
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(hours),
                      static_cast<int>((seconds % 3600) / 60), static_cast<int>(seconds % 60));
    }
    return Ascii(text);
}

ProgressEstimate::ProgressEstimate(MillisecondClock now) : clock_(std::move(now)) {}

void ProgressEstimate::Start(std::u16string_view caption) {
    caption_ = std::u16string(caption.substr(0, 256));
    Reset(false);
    view_ = ProgressView{};
    view_.caption = caption_;
}

void ProgressEstimate::Reset(bool held) {
    total_ = -1;
    done_ = 0;
    doneAtSample_ = 0;
    rate_ = 0;
    remaining_ = 0;
    rangeSet_ = false;
    finalShown_ = false;
    shift_ = 6;
    discard_.store(held, std::memory_order_relaxed);
    now_ = clock_();
    start_ = lastRefresh_ = lastText_ = lastSample_ = now_;
    sampleUnits_.fill(0);
    sampleMs_.fill(0);
    ring_ = 0;
    view_.barMaximum = 0;
    view_.barPosition = 0;
}

void ProgressEstimate::SetTotal(uint64_t total) {
    // Counts are kept signed; anything beyond is the same "huge" total.
    total_ = static_cast<int64_t>(std::min<uint64_t>(total, std::numeric_limits<int64_t>::max()));
    finalShown_ = false;
    if (rangeSet_) return;
    // A bar takes 32-bit values: the total is scaled down by at least 64 and
    // as much more as it needs to fit; a range of 0..0 would show a busy bar.
    shift_ = 6;
    while ((total_ >> shift_) > std::numeric_limits<int32_t>::max()) ++shift_;
    view_.barMaximum = static_cast<int32_t>(std::max<int64_t>(1, total_ >> shift_));
    view_.barPosition = 0;
    rangeSet_ = true;
}

bool ProgressEstimate::AddDone(uint64_t delta) {
    const int64_t step = static_cast<int64_t>(std::min<uint64_t>(delta, std::numeric_limits<int64_t>::max()));
    done_ = done_ > std::numeric_limits<int64_t>::max() - step ? std::numeric_limits<int64_t>::max() : done_ + step;
    now_ = clock_();
    return Refresh();
}

bool ProgressEstimate::SetDone(uint64_t done) {
    done_ = static_cast<int64_t>(std::min<uint64_t>(done, std::numeric_limits<int64_t>::max()));
    now_ = clock_();
    return Refresh();
}

bool ProgressEstimate::Refresh() {
    if (total_ < 0) return false;
    const bool reached = done_ >= total_;
    if (now_ <= lastRefresh_ + kRefreshMs) {
        // The final count always shows, but only once: past the total every
        // block would otherwise refresh.
        if (!reached || finalShown_) return false;
    }
    if (reached) finalShown_ = true;

    if (rangeSet_) {
        int64_t position = reached ? view_.barMaximum : std::min<int64_t>(done_ >> shift_, view_.barMaximum);
        if (position > view_.barPosition || (position < view_.barPosition && done_ == 0))
            view_.barPosition = static_cast<int32_t>(position);
    }

    TakeSample();
    if (remaining_ > 0 && now_ - lastText_ > kSampleMs) {
        view_.timeLeftText = FormatDuration(remaining_);
        lastText_ = now_;
        view_.elapsedText = FormatDuration((now_ - start_) / 1000);
    }

    int percent = 100;
    if (total_ > 0 && !reached)
        percent = static_cast<int>(std::min<long double>(100.0L, static_cast<long double>(done_) * 100.0L /
                                                                     static_cast<long double>(total_)));
    char text[8];
    std::snprintf(text, sizeof text, "%d%%", percent);
    view_.percentText = Ascii(text);
    view_.caption = caption_;
    lastRefresh_ = now_;
    return true;
}

void ProgressEstimate::TakeSample() {
    if (now_ - start_ < kSampleMs) return;   // nothing is estimated in the first second
    const int64_t since = now_ - lastSample_;
    if (since <= kSampleMs) return;
    const bool discard = discard_.exchange(false, std::memory_order_relaxed);
    if (discard || since > 5 * kSampleMs) {
        sampleUnits_[ring_] = 0;
        sampleMs_[ring_] = 0;
    } else {
        sampleUnits_[ring_] = done_ - doneAtSample_;
        sampleMs_[ring_] = since;
    }
    ring_ = (ring_ + 1) % kSamples;
    int64_t units = 0;
    int64_t ms = 0;
    for (int i = 0; i < kSamples; ++i) {
        units += sampleUnits_[i];
        ms += sampleMs_[i];
    }
    rate_ = ms > 0 ? units / ms : 0;
    lastSample_ = now_;
    doneAtSample_ = done_;
    if (rate_ <= 0) {
        remaining_ = 0;
        return;
    }
    // Shown as milliseconds / 1024, as the estimate always did.
    remaining_ = (std::max<int64_t>(0, total_ - done_) / rate_) / 1024;
}

}  // namespace dialogs
