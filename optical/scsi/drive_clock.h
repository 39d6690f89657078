#pragma once
// The one clock of the drive code. Every wait of the command set, the retry
// loops and the polls goes through it, so a test installs a virtual clock and
// 300 one-second retries cost nothing.

#include <cstdint>

#include "foundation/services.h"

namespace optical {

class IDriveClock {
public:
    virtual ~IDriveClock() = default;
    virtual void SleepMs(uint32_t milliseconds) = 0;
    // Milliseconds since an arbitrary start, never going backwards.
    virtual uint64_t NowMs() = 0;
};

namespace detail {
class SystemDriveClock final : public IDriveClock {
public:
    void SleepMs(uint32_t milliseconds) override;
    uint64_t NowMs() override;
};
}  // namespace detail

foundation::ServiceSlot<IDriveClock, detail::SystemDriveClock>& DriveClockSlot();
inline IDriveClock& DriveClock() { return DriveClockSlot().Get(); }
inline IDriveClock* SetDriveClock(IDriveClock* clock) { return DriveClockSlot().Install(clock); }
inline void DriveSleep(uint32_t milliseconds) { DriveClock().SleepMs(milliseconds); }

// A clock whose time moves only when someone sleeps on it.
class VirtualDriveClock final : public IDriveClock {
public:
    void SleepMs(uint32_t milliseconds) override {
        now_ += milliseconds;
        ++sleeps_;
    }
    uint64_t NowMs() override { return now_; }
    uint64_t sleeps() const { return sleeps_; }

private:
    uint64_t now_ = 0;
    uint64_t sleeps_ = 0;
};

}  // namespace optical
