#pragma once
// Setting the drive's read and write speeds: SET STREAMING with the drive's
// own write-speed list on DVD and BD, SET CD SPEED with the mode page's list
// otherwise. Each setter sends at most three times and then accepts the speed
// the drive actually took.

#include <atomic>
#include <cstdint>

#include "platform/file.h"

namespace optical {

// Language strings of the speed line of the burn log.
constexpr int kStringSpeedRounded = 32230;
constexpr int kStringSpeedTenths = 32220;

// The speed index last chosen (for the speed combos).
extern std::atomic<int32_t> g_SpeedIndex;
// Clears "the speed line was logged", at the start of each burn job.
void ResetSpeedLog();

// writeSpeed in KB/s; 0 only reads the current speed; -1 on CD: the maximum.
bool SetDriveSpeed(platform::FileHandle h, int32_t speedIndex, uint8_t code, uint16_t readSpeed, int32_t writeSpeed);
// 1 set, -1 no write-speed list (use SET CD SPEED), -2 failure.
int SetSpeedByStreaming(platform::FileHandle h, uint8_t code, uint16_t readSpeed, int32_t writeSpeed);
// 1 set, -2 failure.
int SetSpeedByCdSpeed(platform::FileHandle h, uint8_t code, uint16_t readSpeed, int32_t writeSpeed);

}  // namespace optical
