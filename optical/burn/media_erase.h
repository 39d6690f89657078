#pragma once
// Erasing a rewritable medium (also a job of its own), the question whether a
// medium holds anything, and the blank check before a burn with its
// questions. The durations of past erases ("EraseTime") make the estimate
// the progress bar runs on.

#include <array>
#include <cstdint>

#include "platform/file.h"

namespace optical {

struct BurnJob;

// Language strings.
constexpr int kStringErasingMedia = 32320;
constexpr int kStringMediaErased = 32330;
constexpr int kStringErrorErasing = 32340;
constexpr int kStringErrorVerifyingBlank = 32350;
constexpr int kStringErrorReadingCapacity = 32180;
constexpr int kStringErrorFormatting = 32480;
constexpr int kStringSyncFailed = 32520;
constexpr int kStringErrorClosingTrack = 32530;
constexpr int kStringErrorWritingData = 32460;
constexpr int kStringNoDisc = 32080;
constexpr int kStringUnknownDisc = 32700;
constexpr int kStringCannotBeErased = 32710;
constexpr int kStringDiscNotEmpty = 32130;
constexpr int kStringDestinationNotEmpty = 32740;
constexpr int kStringInsertBlank = 32140;
constexpr int kStringEraseNow = 32690;

// "EraseTime": ten 16-bit big-endian durations in seconds.
using EraseTimes = std::array<uint8_t, 64>;
// The slot's byte offset for a medium and an erase kind (1 quick, else
// full); -1 for a medium that has none.
int EraseTimeOffset(uint8_t type, int32_t kind);
// The stored value. A value shorter than 64 bytes keeps the slots it holds,
// a longer one its first 64 bytes; one of another type counts as none.
EraseTimes LoadEraseTimes();
// High byte elapsed ms / 256000, low byte elapsed ms / 1000, each cut to 8 bits.
void StoreEraseDuration(EraseTimes& times, int offset, uint64_t elapsedMs);
// The estimate in seconds: the stored duration, the medium's default when
// none, at least the medium's minimum; 0 for a medium without a slot.
uint32_t EraseEstimateSeconds(const EraseTimes& times, uint8_t type, int32_t kind);

// 1 erased, 0 failed (logged). The job's cancel flag is polled per chunk of
// zero writes; a cancelled erase fails and stores no duration.
int EraseMedia(platform::FileHandle h, BurnJob& job, int32_t kind, int32_t speed);
// 1 not empty, 0 empty, -1 the query failed.
int IsMediaNotEmpty(platform::FileHandle h, uint8_t type);
// 0 go on, 1 the user declined (stop quietly), -1 stop.
int CheckDestinationBlank(platform::FileHandle h, uint8_t type, BurnJob& job);

}  // namespace optical
