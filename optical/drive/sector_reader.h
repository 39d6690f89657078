#pragma once
// The only way disc sectors are read: chunks, single sectors when a chunk
// fails, retries by the caller's policy, then zeros in place of a sector that
// cannot be read (always marked as lost) or the user's answer.

#include <cstdint>

#include "foundation/optical_services.h"

namespace optical {

// 1 when the whole run is in the buffer (read, or zero-filled where marked),
// 0 on failure, abort, or a run that does not fit the buffer.
int ReadSectorsWithRetry(const foundation::SectorReadRequest& request, int* hadError);

// 1 when all count sectors arrived; bytesRead counts what did.
int ReadCookedDiscSectors(const image::TrackList* trackList, platform::FileHandle device, void* buffer, uint32_t lba,
                          uint32_t count, uint32_t& bytesRead);
int ReadRawDiscSectors(const image::TrackList* trackList, platform::FileHandle device, void* buffer, uint32_t lba,
                       uint32_t count, uint32_t& bytesRead);

}  // namespace optical
