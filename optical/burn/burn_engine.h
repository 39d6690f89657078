#pragma once
// The whole burn job after the user pressed Burn (or Erase): the target drive
// opened and held exclusively, the medium checked, erased when asked or
// needed, the read-ahead buffer filled, the writer for the medium run, the
// outcome logged, the disc verified and ejected, and everything released
// whatever happened. Runs on the burn thread; callable from tests.

#include <cstdint>

namespace optical {

struct BurnJob;

// Language strings of the engine.
constexpr int kStringMediaDetected = 32060;
constexpr int kStringMediaDetectFailed = 32070;
constexpr int kStringOnlyCd = 32100;
constexpr int kStringRrmRefused = 32370;
constexpr int kStringBurnSuccessful = 32560;
constexpr int kStringBurnWithWarnings = 32570;
constexpr int kStringCannotLockDrive = 32120;

// 1 success (or the user declined to erase), 0 failure.
int BurnMain(BurnJob& job);

// The buffer's sector size for the job on its medium: 2352 for music, mixed
// and Video CD documents and raw-sector documents, and for a disc copy to CD.
int32_t ChooseBurnSectorSize(const BurnJob& job, uint8_t type);

}  // namespace optical
