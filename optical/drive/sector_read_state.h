#pragma once
// The reading state shared by every disc read (one reading job at a time):
// the run of failed attempts, the skip countdown, the ignore-all answer and the
// had-errors mark, and the source name of a running disc-image job. Atomic, as
// the burn engine's read-ahead thread reads while the window thread looks.

#include <atomic>
#include <cstdint>
#include <string>

namespace optical {

extern std::atomic<uint32_t> g_ReadErrorRun;
extern std::atomic<int32_t> g_SkipCountdown;
extern std::atomic<bool> g_IgnoreAllReadErrors;
extern std::atomic<bool> g_ReadHadErrors;

// The make-image job names its source for its duration; empty otherwise.
void SetImageJobSourceName(std::u16string_view name);
std::u16string ImageJobSourceName();
bool ImageJobRunning();

// Tests: everything back to the process start.
void ResetSectorReadState();

}  // namespace optical
