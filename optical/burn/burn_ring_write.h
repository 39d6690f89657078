#pragma once
// The write loop the writers share: sectors taken from the read-ahead ring a
// chunk at a time, each chunk written with WRITE(10) and only then released,
// the job's cancel flag polled before every chunk, the progress and the
// writing status kept up.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/file.h"

namespace optical {

struct BurnJob;
struct ReadAheadBuffer;

struct RingWrite {
    platform::FileHandle h = nullptr;
    ReadAheadBuffer* buffer = nullptr;
    BurnJob* job = nullptr;
    uint32_t sectorSize = 2048;
    uint32_t chunk = 16;
    // Rewrites frames of a chunk (a copy) before they are sent; may be empty.
    std::function<void(int64_t lba, uint8_t* data, uint32_t count)> fix;
    // Called with each chunk after it was written; may be empty.
    std::function<void(const uint8_t* data, int64_t lba, uint32_t count)> written;
    // Progress: (done + base) of total; total 0 shows none.
    int64_t progressBase = 0;
    int64_t progressTotal = 0;
};

enum class RingWriteResult { Written, WriteFailed, SourceEnded, Cancelled };

// count sectors from the ring to lba on; failedLba is the sector of a failed WRITE.
RingWriteResult WriteFromRing(RingWrite& w, int64_t lba, uint32_t count, int64_t& failedLba);

// count sectors of generated data (gap frames, zeros) at lba, chunk sectors a WRITE.
bool WriteGenerated(platform::FileHandle h, BurnJob& job, int64_t lba, uint32_t count, uint32_t sectorSize,
                    uint32_t chunk, const std::function<void(int64_t lba, uint8_t* data, uint32_t count)>& make,
                    int64_t& failedLba);

// "Burning cancelled." as a warning row.
void LogBurnCancelled();

}  // namespace optical
