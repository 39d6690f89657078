#pragma once
// The state of a mounted NTFS volume, held in its document's NTFS slot. It is
// filled by the mount and only read afterwards, so extractions on a worker
// thread and the views share it without a lock: every read keeps its own
// buffers.

#include <cstdint>
#include <vector>

namespace image {

struct NtfsState {
    uint32_t clusterBytes = 0;
    uint32_t recordBytes = 0;
    uint64_t partitionOffset = 0;        // bytes from the start of the disk
    uint64_t volumeBytes = 0;            // the volume's size, within its partition
    uint64_t volumeClusters = 0;
    // The master file table, every record fixed up. A record whose fixup
    // failed was torn in writing: its words at the sector ends are not its
    // own, so it is marked "BAAD" as NTFS marks such records, and refused.
    std::vector<uint8_t> mftTable;
    uint64_t recordCount = 0;
};

}  // namespace image

namespace filesystems {

// Frees the state (the slot's free function).
void FreeNtfsVolume(image::NtfsState* state);

}  // namespace filesystems
