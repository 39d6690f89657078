// The burn log sink: one lock over the installed services, the counters and
// the status state, so rows from the burn thread and the read-ahead thread
// keep their order and a status row is never rewritten by two threads at once.

#include "optical/burn/burn_log.h"

#include <algorithm>

#include "foundation/diagnostic_log.h"
#include "foundation/language.h"
#include "optical/scsi/drive_clock.h"

namespace optical {

namespace {

constexpr size_t kLogTextChars = 8191;       // the line buffer holds 8192 with its end
constexpr size_t kReplaceTextChars = 255;    // the replace buffer holds 256
constexpr uint64_t kStatusIntervalMs = 1000;

enum StatusState : int { kStatusNone = 0, kStatusWriting = 3, kStatusVerifying = 4 };

struct SinkState {
    std::mutex mutex;
    uint32_t warnings = 0;
    uint64_t rows = 0;
    bool lastLineWarning = false;
    std::u16string lastEventText;
    int statusState = kStatusNone;
    const char16_t* lastDetail = nullptr;
    uint64_t writingTime = 0;
    uint64_t verifyingTime = 0;
    int64_t lastPercent = -1;
};

SinkState& Sink() {
    static SinkState state;
    return state;
}

// Never between the two halves of a surrogate pair, so a cut row stays
// valid UTF-16.
std::u16string_view Cut(std::u16string_view text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t n = limit;
    if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    return text.substr(0, n);
}

// Callers hold the lock.
void AddLocked(SinkState& s, bool warning, std::u16string_view text) {
    BurnLogServicesSlot().Get().AddEvent(warning, text);
    foundation::LogPrintf(false, true, u"%s\r\n", text);
    ++s.rows;
    if (warning) ++s.warnings;
    s.lastLineWarning = warning;
    s.lastEventText.clear();
    s.statusState = kStatusNone;
    s.writingTime = 0;
    s.verifyingTime = 0;
}

void ReplaceLocked(SinkState& s, bool warning, std::u16string_view text) {
    foundation::LogPrintf(false, true, u"%s\r\n", text);
    if (text == s.lastEventText) return;
    BurnLogServicesSlot().Get().ReplaceLastEvent(warning, text);
    s.lastLineWarning = warning;
    s.lastEventText.assign(text);
}

void ShowStatus(bool reset, const char16_t* detail, int state) {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    uint64_t& shownAt = state == kStatusWriting ? s.writingTime : s.verifyingTime;
    const uint64_t now = DriveClock().NowMs();
    if (reset) {
        shownAt = 0;
    } else if (s.statusState == state) {
        if (detail == s.lastDetail) return;
        if (detail && s.lastDetail && shownAt != 0 && now - shownAt < kStatusIntervalMs) return;
    }
    std::u16string text;
    if (state == kStatusWriting) {
        text = platform::Format(u"%s %s", foundation::GetLangString(kStringWritingMedia, u"Writing media..."),
                                detail ? detail : u"");
    } else {
        text = platform::Format(u"%s... %s", foundation::GetLangString(kStringVerifying, u"Verifying"),
                                detail ? detail : u"");
    }
    if (s.statusState == state) {
        ReplaceLocked(s, false, Cut(text, kReplaceTextChars));
    } else {
        AddLocked(s, false, Cut(text, kLogTextChars));
    }
    s.statusState = state;
    s.lastDetail = detail;
    // A status shown at tick 0 still counts as shown.
    (state == kStatusWriting ? s.writingTime : s.verifyingTime) = now == 0 ? 1 : now;
}

std::u16string MiB(uint32_t blocks, bool fine) {
    return platform::Format(fine ? u"%.3fM" : u"%.1fM", static_cast<double>(blocks) / 512.0);
}

}  // namespace

IBurnLogServices* SetBurnLogServices(IBurnLogServices* services) {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    return BurnLogServicesSlot().Install(services);
}

void BurnLogString(bool warning, std::u16string_view text) {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    AddLocked(s, warning, Cut(text, kLogTextChars));
}

void BurnLogReplaceString(bool warning, std::u16string_view text) {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    ReplaceLocked(s, warning, Cut(text, kReplaceTextChars));
}

uint64_t BurnLogRow(bool warning, std::u16string_view text) {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    AddLocked(s, warning, Cut(text, kLogTextChars));
    return s.rows;
}

bool BurnLogReplaceRow(uint64_t row, bool warning, std::u16string_view text) {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    if (row != s.rows || s.statusState != kStatusNone) return false;
    ReplaceLocked(s, warning, Cut(text, kReplaceTextChars));
    return true;
}

void BurnLogNotEnoughSpace(bool warning, uint32_t availableBlocks, uint32_t neededBlocks) {
    const bool fine = neededBlocks < availableBlocks || neededBlocks - availableBlocks < 201;
    BurnLog(warning,
            foundation::GetLangString(kStringNotEnoughBlocks,
                                      u"There is no enough free blocks on media (%s needed, %s available)."),
            MiB(neededBlocks, fine), MiB(availableBlocks, fine));
}

void BurnShowWritingStatus(bool reset, const char16_t* detail) { ShowStatus(reset, detail, kStatusWriting); }
void BurnShowVerifyStatus(bool reset, const char16_t* detail) { ShowStatus(reset, detail, kStatusVerifying); }

void BurnSetProgress(int64_t done, int64_t total) {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    if (done <= 0) s.lastPercent = -1;
    if (total <= 0) return;
    // 128 bits: done x 100 must not overflow for any 64-bit count.
    const __int128 wide = static_cast<__int128>(std::max<int64_t>(done, 0)) * 100 / total;
    const int64_t percent = wide > 100 ? 100 : static_cast<int64_t>(wide);
    if (percent == s.lastPercent) return;
    s.lastPercent = percent;
    BurnLogServicesSlot().Get().SetProgress(static_cast<int>(percent));
    foundation::LogPrintf(false, true, u"BurnProgress[%d]\r\n", static_cast<int>(percent));
}

uint32_t BurnWarningCount() {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    return s.warnings;
}

bool BurnLastLineWarning() {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    return s.lastLineWarning;
}

uint64_t BurnLogRowCount() {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    return s.rows;
}

void ResetBurnLogForJob() {
    SinkState& s = Sink();
    std::lock_guard lock(s.mutex);
    s.lastLineWarning = false;
    s.lastEventText.clear();
    s.statusState = kStatusNone;
    s.lastDetail = nullptr;
    s.writingTime = 0;
    s.verifyingTime = 0;
    s.lastPercent = -1;
}

void BurnLogRows::AddEvent(bool warning, std::u16string_view text) {
    std::lock_guard lock(mutex_);
    rows_.push_back({warning, std::u16string(text)});
}

void BurnLogRows::ReplaceLastEvent(bool warning, std::u16string_view text) {
    std::lock_guard lock(mutex_);
    if (rows_.empty()) {
        rows_.push_back({warning, std::u16string(text)});
    } else {
        rows_.back() = {warning, std::u16string(text)};
    }
}

void BurnLogRows::SetProgress(int percent) {
    std::lock_guard lock(mutex_);
    progress_.push_back(percent);
}

std::vector<BurnLogRows::Row> BurnLogRows::Rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
}

std::vector<int> BurnLogRows::Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

std::u16string BurnLogRows::Joined() const {
    std::lock_guard lock(mutex_);
    std::u16string all;
    for (const Row& row : rows_) {
        all += row.text;
        all += u'\n';
    }
    return all;
}

}  // namespace optical
