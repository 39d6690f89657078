#pragma once
// Reading an NTFS attribute's value: clusters of the volume through the disk's
// sector reader, sparse runs as zeros, compressed units through LZNT1, bytes
// past the initialized size as zeros. The value goes to a sink piece by piece
// (a file being extracted, or memory for the reader's own tables).

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "filesystems/ntfs/ntfs_runs.h"
#include "image/document/image_context.h"

namespace filesystems {

// Bytes read at once from a contiguous run.
constexpr uint32_t kNtfsReadPieceBytes = 1u << 20;

// How one attribute's value lies on the volume.
struct NtfsDataLayout {
    bool resident = false;
    std::span<const uint8_t> residentValue;
    uint64_t dataBytes = 0;
    uint64_t initializedBytes = 0;
    uint8_t compressionUnit = 0;
    std::vector<NtfsRun> runs;
};

// The layout of an attribute from its pieces (the one at VCN 0 gives the
// sizes). False when there is none at VCN 0, the runs are corrupt, or the
// file is compressed in units other than 16 clusters.
bool MakeNtfsDataLayout(const std::vector<NtfsDataPiece>& pieces, uint64_t volumeClusters, NtfsDataLayout& layout);

// Takes a piece of the value: 1 go on, 0 stop (cancelled), -1 failed.
using NtfsSink = std::function<int(std::span<const uint8_t> bytes)>;

// Sends the whole value to the sink: 1 done, 0 the sink stopped, -1 failed
// (a read failed, the runs end before the data does, a compressed unit is
// corrupt; or the sink failed).
int ReadNtfsAttribute(image::ImageContext& ctx, const NtfsDataLayout& layout, const NtfsSink& sink);

// Reads bytes from the volume, from cluster lcn on: bytes, or 0 when the range
// leaves the volume or a sector cannot be read. LCN -1 (a hole) gives zeros.
uint64_t ReadNtfsClusters(image::ImageContext& ctx, int64_t lcn, uint8_t* buffer, uint64_t bytes);

// Reads bytes at a byte offset of the volume (any alignment): bytes or 0.
uint64_t ReadNtfsBytes(image::ImageContext& ctx, uint64_t offset, uint8_t* buffer, uint64_t bytes);

}  // namespace filesystems
