#pragma once
// The read-ahead ring of a burn: a reader thread of its own fills it with the
// source's sectors (a disc in another drive, an image document of 2048-byte
// sectors, or 2352-byte frames with music tracks decoded on the fly) while the
// burn thread's writer takes them out. Pre-filled before the first write.

#include <cstdint>
#include <memory>

namespace image {
struct ImageContext;
}

namespace optical {

struct BurnJob;
struct ReadAheadBuffer;   // burn_buffer.cpp

// Language string of the allocation failure.
constexpr int kStringOutOfMemory = 30810;

// Starts the reader for the job's source (job.source, job.kind, job.sessionStart,
// job.endSector, job.bufferMegabytes) with sectorSize 2048 or 2352 and waits
// until the ring is full or the source is read. Null when the reader stopped
// before that (its reason is in the burn log) or memory ran out. The job must
// outlive the buffer.
ReadAheadBuffer* CreateBurnBuffer(BurnJob& job, int32_t sectorSize);
// Sectors the reader may still put in.
uint32_t GetFreeSectors(ReadAheadBuffer* buffer);
// count consecutive sectors, waiting for the reader; null when the reader
// ended (failed or done) with fewer left. A run that wraps the ring's end is
// copied into work (workSize bytes, at least count x sector size), otherwise
// the ring memory itself is returned. release true consumes the sectors: the
// writers take a chunk with false, write it, and take it again with true.
uint8_t* TakeSectors(ReadAheadBuffer* buffer, uint8_t* work, uint32_t workSize, uint32_t count, bool release);
// Stops and joins the reader, then frees the ring; null is accepted.
void DestroyBurnBuffer(ReadAheadBuffer* buffer);

// 2048 or 2352.
int32_t GetBurnBufferSectorSize(const ReadAheadBuffer* buffer);
// The ring's capacity in sectors.
uint32_t GetBurnBufferCapacity(const ReadAheadBuffer* buffer);

// Times the writer found the ring short after the pre-fill.
uint32_t GetBurnBufferEmptyCount(const ReadAheadBuffer* buffer);

// The ring's size in sectors for a "BurnBuffer" value in megabytes: values
// outside 8..128 give 8; a disc copy from a source drive gets at least 32.
uint32_t BurnBufferCapacitySectors(uint32_t megabytes, bool discCopyFromDrive);

struct ReadAheadBufferDeleter {
    void operator()(ReadAheadBuffer* buffer) const { DestroyBurnBuffer(buffer); }
};
using ReadAheadBufferPtr = std::unique_ptr<ReadAheadBuffer, ReadAheadBufferDeleter>;

}  // namespace optical
