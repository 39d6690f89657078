#pragma once
// The one sink for everything a burn, erase or verify wants the user to see.
// Every message also goes to the diagnostic log. With services installed (the
// burn dialog's event list, a console, a test recorder) each message becomes
// its own row; status lines and merged read-error runs rewrite the last row
// in place. One lock guards the rows and the status state, because the burn
// thread and the read-ahead thread write at the same time.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/services.h"
#include "platform/format.h"

namespace optical {

// Language strings of the sink's own texts.
constexpr int kStringWritingMedia = 32440;
constexpr int kStringVerifying = 32590;
constexpr int kStringNotEnoughBlocks = 32190;

// Where the sink's rows are shown. Called under the sink's lock, in message
// order; the stand-in shows nothing (the diagnostic log still gets each row).
class IBurnLogServices {
public:
    virtual ~IBurnLogServices() = default;
    // A new row.
    virtual void AddEvent(bool warning, std::u16string_view text) = 0;
    // The newest row gets this text (and the warning look when warning).
    virtual void ReplaceLastEvent(bool warning, std::u16string_view text) = 0;
    // The job's percentage, 0..100; only changes are passed on.
    virtual void SetProgress(int percent) = 0;
};

namespace detail {
class BurnLogStandIn final : public IBurnLogServices {
public:
    void AddEvent(bool, std::u16string_view) override {}
    void ReplaceLastEvent(bool, std::u16string_view) override {}
    void SetProgress(int) override {}
};
}  // namespace detail

inline foundation::ServiceSlot<IBurnLogServices, detail::BurnLogStandIn>& BurnLogServicesSlot() {
    static foundation::ServiceSlot<IBurnLogServices, detail::BurnLogStandIn> slot;
    return slot;
}
// Not owned; null restores the stand-in. Returns the services installed before.
// Takes the sink's lock, so once it returns no thread is still in the
// services it replaced.
IBurnLogServices* SetBurnLogServices(IBurnLogServices* services);

// A plain or warning row; a warning counts.
void BurnLogString(bool warning, std::u16string_view text);
template <typename... Args>
void BurnLog(bool warning, std::u16string_view format, const Args&... args) {
    BurnLogString(warning, platform::Format(format, args...));
}
// Rewrites the newest row (the same text twice changes nothing); counts no
// warning and leaves the status state alone. Cut to 255 characters.
void BurnLogReplaceString(bool warning, std::u16string_view text);
template <typename... Args>
void BurnLogReplace(bool warning, std::u16string_view format, const Args&... args) {
    BurnLogReplaceString(warning, platform::Format(format, args...));
}
// A warning or plain row whose number is returned, so its writer can rewrite
// that row later (a run of read errors that grows).
uint64_t BurnLogRow(bool warning, std::u16string_view text);
// Rewrites the row only while it is still the newest one; false (nothing
// done) once another row came after it.
bool BurnLogReplaceRow(uint64_t row, bool warning, std::u16string_view text);
// "There is no enough free blocks on media (%s needed, %s available)." with
// both sizes (2048-byte blocks) in MiB.
void BurnLogNotEnoughSpace(bool warning, uint32_t availableBlocks, uint32_t neededBlocks);
// Status rows. detail is compared by identity, not content: a caller that
// names the same item passes the same pointer. reset makes the next status
// start afresh.
void BurnShowWritingStatus(bool reset, const char16_t* detail);
void BurnShowVerifyStatus(bool reset, const char16_t* detail);
// done x 100 / total, capped at 100; done 0 forgets the last percentage.
void BurnSetProgress(int64_t done, int64_t total);

// Warnings logged since the process started; a job compares two readings.
uint32_t BurnWarningCount();
// True when the newest row is a warning row.
bool BurnLastLineWarning();
// Rows added since the process started: a caller that wants to rewrite its
// own row later checks that no other row came in between.
uint64_t BurnLogRowCount();
// At the start of every burn thread: no last row, no status shown.
void ResetBurnLogForJob();

// Services that keep their rows (tests, the console's end-of-job summary).
class BurnLogRows final : public IBurnLogServices {
public:
    struct Row {
        bool warning = false;
        std::u16string text;
    };
    void AddEvent(bool warning, std::u16string_view text) override;
    void ReplaceLastEvent(bool warning, std::u16string_view text) override;
    void SetProgress(int percent) override;
    std::vector<Row> Rows() const;
    std::vector<int> Progress() const;
    // The rows' texts joined by '\n' (for searching in tests).
    std::u16string Joined() const;

private:
    mutable std::mutex mutex_;
    std::vector<Row> rows_;
    std::vector<int> progress_;
};

}  // namespace optical
