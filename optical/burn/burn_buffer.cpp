// The read-ahead ring. The reader thread fills free space in large pieces (a
// quarter of the ring at a time once the pre-fill is done) so the drive keeps
// streaming; the writer takes chunks of 16 or 32 sectors. Positions and the
// filled count change only under the mutex; the ring memory between them is
// touched by one side at a time (the reader writes free sectors, the writer
// reads filled ones), so the copies themselves run unlocked.

#include "optical/burn/burn_buffer.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "foundation/diagnostic_log.h"
#include "foundation/language.h"
#include "foundation/settings.h"
#include "image/document/image_context.h"
#include "image/sectors/audio_services.h"
#include "image/sectors/raw_sectors.h"
#include "image/sheets/track_list.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_log.h"
#include "optical/burn/burn_source_reader.h"
#include "optical/mmc/mmc_commands.h"

namespace optical {

namespace {
constexpr uint32_t kSectorsPerMegabyte = 512;
constexpr uint32_t kDefaultMegabytes = 8;
constexpr uint32_t kMaxMegabytes = 128;
constexpr uint32_t kDriveCopyMegabytes = 32;
constexpr uint32_t kDriveCopyPiece = 16;        // sectors per request to a source drive
constexpr uint32_t kRefillMargin = 2048;        // a short ring waits until this close to full
}  // namespace

struct ReadAheadBuffer {
    BurnJob* job = nullptr;
    BurnSourceReader reader;
    std::unique_ptr<uint8_t[]> ring;
    uint32_t capacity = 0;
    int32_t sectorSize = 2048;
    bool driveCopy = false;

    std::mutex mutex;
    std::condition_variable dataReady;    // the reader put sectors in, or stopped
    std::condition_variable spaceReady;   // the writer took sectors out, or stop was asked
    uint32_t readPos = 0;
    uint32_t writePos = 0;
    uint32_t filled = 0;
    bool running = false;
    bool finished = false;
    bool stopRequested = false;
    bool prefill = true;
    // The writer ran short and waits for the ring to fill up again: the
    // reader then takes any free space it finds, or neither side could move
    // (a next track longer than the free space, free space below a quarter).
    bool writerStarved = false;
    uint32_t emptyCount = 0;

    std::jthread thread;

    uint8_t* At(uint32_t position) { return ring.get() + size_t(position) * size_t(sectorSize); }
};

namespace {

// Reads count sectors from sector into the ring at the write position.
bool Fill(ReadAheadBuffer& b, int32_t track, int64_t sector, uint64_t count) {
    while (count > 0) {
        std::unique_lock lock(b.mutex);
        uint32_t free = 0;
        b.spaceReady.wait(lock, [&] {
            if (b.stopRequested) return true;
            free = b.capacity - b.filled;
            if (free == 0) return false;
            return free >= count || free >= b.capacity / 4 || b.prefill || b.writerStarved ||
                   (b.driveCopy && free >= kRefillMargin);
        });
        if (b.stopRequested) return false;
        uint32_t n = uint32_t(std::min<uint64_t>(free, count));
        if (b.driveCopy) n = std::min(n, kDriveCopyPiece);
        const uint32_t position = b.writePos;
        lock.unlock();

        const uint32_t first = std::min(n, b.capacity - position);
        if (!ReadBurnSource(b.reader, track, sector, first, b.At(position))) return false;
        if (first < n && !ReadBurnSource(b.reader, track, sector + first, n - first, b.At(0))) return false;

        lock.lock();
        b.writePos = (position + n) % b.capacity;
        b.filled += n;
        lock.unlock();
        b.dataReady.notify_all();
        sector += n;
        count -= n;
    }
    return true;
}

// Tracks in disc order, each with data, none reaching back into the one
// before it. The first track's pregap may lie before sector 0: those frames
// are zeros.
bool IsTrackLayoutSound(const image::TrackList& list) {
    const int32_t tracks = std::clamp(list.trackCount, 0, image::kMaxTracks);
    int64_t previousEnd = INT64_MIN;
    for (int32_t i = 0; i < tracks; ++i) {
        const image::TrackEntry& t = list.tracks[size_t(i)];
        if (t.length <= 0 || t.pregap < 0 || t.postgap < 0) return false;
        const int64_t first = int64_t(t.startSector) - t.pregap;
        if (i > 0 && first < previousEnd) return false;
        previousEnd = int64_t(t.startSector) + t.length + t.postgap;
    }
    return tracks > 0;
}

bool FillDiscCopy(ReadAheadBuffer& b, image::TrackList& list) {
    if (!IsTrackLayoutSound(list)) return false;
    if (b.reader.fromDrive)
        BurnLogString(false, u"Caching of the source disc started...");
    for (int32_t i = 0; i < std::clamp(list.trackCount, 0, image::kMaxTracks); ++i) {
        const image::TrackEntry& t = list.tracks[size_t(i)];
        const int64_t pregap = std::max(t.pregap, 0);
        const int64_t length = std::max(t.length, 0);
        const int64_t gap = std::max(t.postgap, 0);
        if (!Fill(b, i, int64_t(t.startSector) - pregap, uint64_t(pregap))) return false;
        if (!Fill(b, i, t.startSector, uint64_t(length))) return false;
        if (!Fill(b, i, int64_t(t.startSector) + length, uint64_t(gap))) return false;
    }
    return true;
}

bool FillRawImage(ReadAheadBuffer& b, image::ImageContext& ctx) {
    if (!ctx.trackList) {
        // A 2352-byte image without track list: its frames from sector 0.
        const int64_t frames = std::max(b.job->endSector, 0);
        return Fill(b, 0, 0, uint64_t(frames));
    }
    image::TrackList& list = *ctx.trackList;
    if (!IsTrackLayoutSound(list)) return false;
    for (int32_t i = 0; i < std::clamp(list.trackCount, 0, image::kMaxTracks); ++i) {
        const image::TrackEntry& t = list.tracks[size_t(i)];
        const bool decoded = t.audioSourceKind == image::kAudioSourceDecoder;
        if (decoded && !OpenBurnMusicTrack(b.reader, list, i)) return false;
        const int64_t pregap = std::max(t.pregap, 0);
        const uint64_t total = uint64_t(pregap) + uint64_t(std::max(t.length, 0)) + uint64_t(std::max(t.postgap, 0));
        const bool ok = Fill(b, i, int64_t(t.startSector) - pregap, total);
        if (decoded) image::CloseMusicDecoder();
        if (!ok) return false;
    }
    return true;
}

void ReaderThread(ReadAheadBuffer* b) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    b->reader.runSource = ReadErrorSource::None;
    b->reader.runFirst = b->reader.runLast = -1;
    image::ImageContext& ctx = *b->job->source;
    bool ok;
    if (b->reader.discCopy) {
        ok = ctx.trackList != nullptr && FillDiscCopy(*b, *ctx.trackList);
    } else if (b->sectorSize == int32_t(image::kRawSectorSize)) {
        ok = FillRawImage(*b, ctx);
    } else {
        const int64_t start = b->job->sessionStart;
        const int64_t data = int64_t(b->job->endSector) - start;
        ok = data >= 0 && Fill(*b, 0, start, uint64_t(data < 300 ? 600 : data + 300));
    }
    {
        std::lock_guard lock(b->mutex);
        b->finished = ok && !b->stopRequested;
        b->running = false;
    }
    b->dataReady.notify_all();
}

}  // namespace

uint32_t BurnBufferCapacitySectors(uint32_t megabytes, bool discCopyFromDrive) {
    uint32_t mb = megabytes < kDefaultMegabytes || megabytes > kMaxMegabytes ? kDefaultMegabytes : megabytes;
    if (discCopyFromDrive) mb = std::max(mb, kDriveCopyMegabytes);
    return mb * kSectorsPerMegabyte;
}

ReadAheadBuffer* CreateBurnBuffer(BurnJob& job, int32_t sectorSize) {
    if (!job.source || (sectorSize != 2048 && sectorSize != int32_t(image::kRawSectorSize))) return nullptr;
    auto* b = new (std::nothrow) ReadAheadBuffer;
    if (!b) {
        BurnLogString(true, foundation::GetLangString(kStringOutOfMemory, u"Out of memory. Program abort."));
        return nullptr;
    }
    b->job = &job;
    b->sectorSize = sectorSize;
    InitBurnSourceReader(b->reader, job, sectorSize);
    b->driveCopy = b->reader.discCopy && b->reader.fromDrive;
    const uint32_t megabytes = job.bufferMegabytes != 0
                                   ? job.bufferMegabytes
                                   : foundation::ReadSettingDwordInRange(u"BurnBuffer", kDefaultMegabytes,
                                                                         kDefaultMegabytes, kMaxMegabytes);
    b->capacity = BurnBufferCapacitySectors(megabytes, b->driveCopy);
    b->ring.reset(new (std::nothrow) uint8_t[size_t(b->capacity) * size_t(sectorSize)]());
    if (!b->ring) {
        BurnLogString(true, foundation::GetLangString(kStringOutOfMemory, u"Out of memory. Program abort."));
        delete b;
        return nullptr;
    }
    if (b->driveCopy) ScsiSetCdSpeed(job.source->sourceDriveHandle, 0, 0xFFFF, 0xFFFF);
    b->running = true;
    b->thread = std::jthread([b] { ReaderThread(b); });

    std::unique_lock lock(b->mutex);
    b->dataReady.wait(lock, [b] { return b->filled == b->capacity || !b->running; });
    const bool failed = !b->running && !b->finished;
    b->prefill = false;
    lock.unlock();
    if (failed) {
        DestroyBurnBuffer(b);
        return nullptr;
    }
    return b;
}

uint32_t GetFreeSectors(ReadAheadBuffer* b) {
    if (!b) return 0;
    std::lock_guard lock(b->mutex);
    return b->capacity - b->filled;
}

uint8_t* TakeSectors(ReadAheadBuffer* b, uint8_t* work, uint32_t workSize, uint32_t count, bool release) {
    if (!b || count == 0) return nullptr;
    if (count > b->capacity) {
        assert(!"a chunk larger than the ring");
        return nullptr;
    }
    std::unique_lock lock(b->mutex);
    if (b->filled < count && b->running) {
        ++b->emptyCount;
        foundation::LogPrintf(false, true, u"Buffer Empty[%d-%d]\r\n", int(b->filled), int(count));
        const uint32_t refilled = b->capacity > kRefillMargin ? b->capacity - kRefillMargin : b->capacity;
        b->writerStarved = true;
        b->spaceReady.notify_all();
        b->dataReady.wait(lock, [&] { return (b->filled >= count && b->filled >= refilled) || !b->running; });
        b->writerStarved = false;
    }
    uint8_t* result = nullptr;
    if (b->filled >= count) {
        const uint32_t position = b->readPos;
        const uint32_t first = std::min(count, b->capacity - position);
        if (first == count) {
            result = b->At(position);
        } else {
            const size_t size = size_t(b->sectorSize);
            assert(work && workSize >= size_t(count) * size);
            if (work && workSize >= size_t(count) * size) {
                // The ring part cannot change under us: these sectors are filled.
                std::memcpy(work, b->At(position), size_t(first) * size);
                std::memcpy(work + size_t(first) * size, b->At(0), size_t(count - first) * size);
                result = work;
            }
        }
        if (result && release) {
            b->readPos = (position + count) % b->capacity;
            b->filled -= count;
        }
    }
    lock.unlock();
    b->spaceReady.notify_all();
    return result;
}

void DestroyBurnBuffer(ReadAheadBuffer* b) {
    if (!b) return;
    {
        std::lock_guard lock(b->mutex);
        b->stopRequested = true;
    }
    b->spaceReady.notify_all();
    b->dataReady.notify_all();
    if (b->thread.joinable()) {
        b->thread.request_stop();
        b->thread.join();
    }
    delete b;
}

int32_t GetBurnBufferSectorSize(const ReadAheadBuffer* b) { return b ? b->sectorSize : 0; }
uint32_t GetBurnBufferCapacity(const ReadAheadBuffer* b) { return b ? b->capacity : 0; }
uint32_t GetBurnBufferEmptyCount(const ReadAheadBuffer* b) { return b ? b->emptyCount : 0; }

}  // namespace optical
