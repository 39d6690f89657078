#include "optical/burn/burn_ring_write.h"

#include <algorithm>
#include <cstring>

#include "optical/burn/burn_buffer.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_log.h"
#include "optical/mmc/mmc_commands.h"

namespace optical {

RingWriteResult WriteFromRing(RingWrite& w, int64_t lba, uint32_t count, int64_t& failedLba) {
    const size_t chunkBytes = size_t(w.chunk) * w.sectorSize;
    std::vector<uint8_t> work(chunkBytes);
    std::vector<uint8_t> fixed(w.fix ? chunkBytes : 0);
    uint32_t done = 0;
    while (done < count) {
        if (w.job && w.job->Cancelled()) return RingWriteResult::Cancelled;
        const uint32_t n = std::min(w.chunk, count - done);
        uint8_t* data = TakeSectors(w.buffer, work.data(), uint32_t(work.size()), n, false);
        if (!data) return RingWriteResult::SourceEnded;
        const int64_t at = lba + done;
        const uint8_t* out = data;
        if (w.fix) {
            std::memcpy(fixed.data(), data, size_t(n) * w.sectorSize);
            w.fix(at, fixed.data(), n);
            out = fixed.data();
        }
        BurnShowWritingStatus(false, nullptr);
        if (!ScsiWrite10(w.h, uint32_t(at), out, n * w.sectorSize, w.sectorSize)) {
            failedLba = at;
            return RingWriteResult::WriteFailed;
        }
        if (w.written) w.written(out, at, n);
        TakeSectors(w.buffer, work.data(), uint32_t(work.size()), n, true);
        done += n;
        if (w.progressTotal > 0) BurnSetProgress(w.progressBase + done, w.progressTotal);
    }
    return RingWriteResult::Written;
}

bool WriteGenerated(platform::FileHandle h, BurnJob& job, int64_t lba, uint32_t count, uint32_t sectorSize,
                    uint32_t chunk, const std::function<void(int64_t lba, uint8_t* data, uint32_t count)>& make,
                    int64_t& failedLba) {
    std::vector<uint8_t> data(size_t(chunk) * sectorSize);
    uint32_t done = 0;
    while (done < count) {
        if (job.Cancelled()) {
            failedLba = -1;
            return false;
        }
        const uint32_t n = std::min(chunk, count - done);
        std::fill(data.begin(), data.end(), 0);
        if (make) make(lba + done, data.data(), n);
        if (!ScsiWrite10(h, uint32_t(lba + done), data.data(), n * sectorSize, sectorSize)) {
            failedLba = lba + done;
            return false;
        }
        done += n;
    }
    return true;
}

void LogBurnCancelled() { BurnLogString(true, u"Burning cancelled."); }

}  // namespace optical
