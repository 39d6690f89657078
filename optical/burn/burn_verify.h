#pragma once
// Verify after burn: what the disc now holds against the source, chunk by
// chunk, the source read again through the burn's source reader (no thread)
// and the disc through the retrying sector reader. The user may cancel, and
// chooses on each mismatch whether to retry, ignore or stop.

#include <cstddef>
#include <cstdint>

#include "platform/file.h"

namespace optical {

struct BurnJob;
struct BurnSourceReader;

// Language strings of the pass.
constexpr int kStringVerifySuccessful = 32610;
constexpr int kStringVerifyFailed = 32620;
constexpr int kStringVerifyWithErrors = 32630;
constexpr int kStringVerifyCancelled = 32640;
constexpr int kStringVerifyAbortQuestion = 32600;
constexpr int kStringVerifyMismatch = 32650;
constexpr int kStringVerifySourceError = 32660;
constexpr int kStringVerifyDiscError = 32670;
constexpr int kStringSectorOffset = 32680;

// The state of one pass.
struct VerifyPass {
    BurnJob* job = nullptr;
    platform::FileHandle drive = nullptr;
    uint32_t ignoredMismatches = 0;   // counted here, apart from the burn's warnings
    bool cancelled = false;
};

// 1 verified (also when the user cancelled), 0 failed. Logs the outcome.
int VerifyDisc(platform::FileHandle h, BurnJob& job);

// count sectors from first of the track at position `track` (-1: a range of
// the whole image); preloaded, when given, holds the source side.
int VerifyRange(VerifyPass& pass, BurnSourceReader& reader, int32_t track, int64_t first, uint32_t count,
                int64_t progressBase, int64_t progressTotal, const uint8_t* preloaded);

// 0 equal or accepted, 1 a mismatch. For 2352-byte tracks by the track's
// mode: audio is accepted; data compares the user data of every sector; a
// Mode 2 track after the first is accepted with at most 5 % of the bytes
// differing.
int CompareVerifyData(const BurnSourceReader& reader, int32_t track, const uint8_t* source, const uint8_t* disc,
                      size_t length);

}  // namespace optical
