// The drive buffer: written data leaves it at the write rate in real time; a
// write that does not fit waits, and a buffer found empty between writes of
// a recording is an underrun (the buffer-underrun protection then restarts).

#include <thread>

#include "soft_drive/soft_drive.h"

namespace softdrive {

namespace {

using Clock = std::chrono::steady_clock;

double BytesPerSecond(uint32_t kbps) { return static_cast<double>(kbps) * 1000.0; }

}  // namespace

void SoftDrive::Throttle(uint64_t bytes) {
    uint32_t rate = manifest_.write.rateKbps;
    if (rate == 0) return;
    double perSecond = BytesPerSecond(rate);
    double capacity = static_cast<double>(manifest_.write.bufferKb) * 1024.0;
    Clock::time_point now = Clock::now();
    if (write_.streaming) {
        double drained = std::chrono::duration<double>(now - write_.lastDrain).count() * perSecond;
        write_.bufferLevel -= drained;
        // A sector's worth of slack: the host is not late by a rounding error.
        if (write_.bufferLevel < -2048.0) ++write_.underruns;
        if (write_.bufferLevel < 0) write_.bufferLevel = 0;
    }
    double incoming = static_cast<double>(bytes);
    double over = write_.bufferLevel + incoming - capacity;
    if (over > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(over / perSecond));
        write_.bufferLevel -= over;
        now = Clock::now();
    }
    write_.bufferLevel += incoming;
    write_.lastDrain = now;
    write_.streaming = true;
}

void SoftDrive::Drain() {
    uint32_t rate = manifest_.write.rateKbps;
    if (rate == 0 || !write_.streaming) return;
    double perSecond = BytesPerSecond(rate);
    double left = write_.bufferLevel - std::chrono::duration<double>(Clock::now() - write_.lastDrain).count() * perSecond;
    if (left > 0) std::this_thread::sleep_for(std::chrono::duration<double>(left / perSecond));
    write_.bufferLevel = 0;
    write_.streaming = false;
}

}  // namespace softdrive
