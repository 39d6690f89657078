#include "filesystems/ntfs/ntfs_data.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "codecs/lznt1.h"
#include "filesystems/disk/disk_image.h"
#include "filesystems/ntfs/ntfs_state.h"

namespace filesystems {
namespace {

// NTFS compresses in units of 16 clusters, and only on volumes of clusters up
// to 4 KiB; larger clusters are taken up to 64 KiB so a unit stays 1 MiB.
constexpr uint8_t kCompressionUnit = 4;
constexpr uint32_t kUnitClusters = 1u << kCompressionUnit;
constexpr uint32_t kMaxCompressedClusterBytes = 64 * 1024;
// Sectors asked of the disk reader at once.
constexpr uint64_t kMaxSectorsPerRead = 1u << 16;

// Bytes of clusters, held at UINT64_MAX instead of wrapping (a sparse run may
// be longer than any volume).
uint64_t ClusterBytes(uint64_t clusters, uint32_t clusterBytes) {
    return clusters > UINT64_MAX / clusterBytes ? UINT64_MAX : clusters * clusterBytes;
}

// Zeros over the part of [pos, pos + n) at or past the initialized size:
// NTFS never wrote those bytes.
void ZeroUninitialized(uint8_t* buffer, uint64_t pos, uint64_t n, uint64_t initialized) {
    if (pos + n <= initialized) return;
    const uint64_t from = initialized > pos ? initialized - pos : 0;
    std::memset(buffer + from, 0, n - from);
}

int ReadPlain(image::ImageContext& ctx, uint32_t cb, const NtfsDataLayout& layout, const NtfsSink& sink) {
    std::vector<uint8_t> buffer(std::min<uint64_t>(kNtfsReadPieceBytes, layout.dataBytes));
    NtfsRunCursor cursor(layout.runs);
    uint64_t pos = 0;
    while (pos < layout.dataBytes) {
        const uint64_t vcn = pos / cb;
        const uint64_t within = pos % cb;
        const NtfsRun* run = cursor.Find(vcn);
        if (!run) return -1;   // the runs end before the data does
        const uint64_t inRun = ClusterBytes(run->vcn + run->clusters - vcn, cb) - within;
        const uint64_t n = std::min({uint64_t{buffer.size()}, layout.dataBytes - pos, inRun});
        if (run->lcn == kNtfsHole || pos >= layout.initializedBytes) {
            std::memset(buffer.data(), 0, n);
        } else {
            const uint64_t lcn = static_cast<uint64_t>(run->lcn) + (vcn - run->vcn);
            if (ReadNtfsBytes(ctx, lcn * cb + within, buffer.data(), n) != n) return -1;
            ZeroUninitialized(buffer.data(), pos, n, layout.initializedBytes);
        }
        const int result = sink(std::span<const uint8_t>(buffer.data(), n));
        if (result != 1) return result;
        pos += n;
    }
    return 1;
}

// Reads clusters [first, first + count) of a unit whose LCNs are known, one
// request per contiguous stretch; holes give zeros.
bool ReadUnitClusters(image::ImageContext& ctx, uint32_t cb, const std::array<int64_t, kUnitClusters>& lcns,
                      uint32_t first, uint32_t count, uint8_t* out) {
    uint32_t i = first;
    while (i < first + count) {
        uint32_t j = i + 1;
        if (lcns[i] != kNtfsHole) {
            while (j < first + count && lcns[j] == lcns[i] + static_cast<int64_t>(j - i)) ++j;
        } else {
            while (j < first + count && lcns[j] == kNtfsHole) ++j;
        }
        const uint64_t bytes = uint64_t{j - i} * cb;
        if (ReadNtfsClusters(ctx, lcns[i], out + uint64_t{i - first} * cb, bytes) != bytes) return false;
        i = j;
    }
    return true;
}

int ReadCompressed(image::ImageContext& ctx, uint32_t cb, const NtfsDataLayout& layout, const NtfsSink& sink) {
    const uint64_t unitBytes = uint64_t{kUnitClusters} * cb;
    std::vector<uint8_t> unit(unitBytes);
    std::vector<uint8_t> packed(unitBytes);
    NtfsRunCursor cursor(layout.runs);
    std::array<int64_t, kUnitClusters> lcns{};
    for (uint64_t pos = 0, firstVcn = 0; pos < layout.dataBytes; pos += unitBytes, firstVcn += kUnitClusters) {
        const uint64_t want = std::min(unitBytes, layout.dataBytes - pos);
        uint32_t real = 0;
        bool realFirst = true;   // every real cluster comes before every hole
        for (uint32_t i = 0; i < kUnitClusters; ++i) {
            const uint64_t vcn = firstVcn + i;
            const NtfsRun* run = cursor.Find(vcn);
            if (!run) {
                // Clusters wholly past the data need no mapping.
                if (uint64_t{i} * cb < want) return -1;
                lcns[i] = kNtfsHole;
            } else {
                lcns[i] = run->lcn == kNtfsHole ? kNtfsHole : run->lcn + static_cast<int64_t>(vcn - run->vcn);
            }
            if (lcns[i] != kNtfsHole) {
                if (real != i) realFirst = false;
                ++real;
            }
        }
        const uint32_t needed = static_cast<uint32_t>((want + cb - 1) / cb);
        if (real == 0) {
            std::memset(unit.data(), 0, want);
        } else if (real < kUnitClusters && realFirst) {
            // Real clusters followed by holes: the unit is stored compressed
            // in its real clusters (also a file's last, short unit).
            if (!ReadUnitClusters(ctx, cb, lcns, 0, real, packed.data())) return -1;
            const int64_t produced =
                codecs::DecompressLznt1(packed.data(), uint64_t{real} * cb, unit.data(), unit.size());
            if (produced < 0 || static_cast<uint64_t>(produced) < want) return -1;
        } else {
            if (!ReadUnitClusters(ctx, cb, lcns, 0, needed, unit.data())) return -1;
        }
        ZeroUninitialized(unit.data(), pos, want, layout.initializedBytes);
        const int result = sink(std::span<const uint8_t>(unit.data(), want));
        if (result != 1) return result;
    }
    return 1;
}

}  // namespace

bool MakeNtfsDataLayout(const std::vector<NtfsDataPiece>& pieces, uint64_t volumeClusters, NtfsDataLayout& layout) {
    layout = NtfsDataLayout{};
    const NtfsDataPiece* first = nullptr;
    for (const NtfsDataPiece& piece : pieces) {
        if (piece.resident || piece.lowestVcn == 0) {
            first = &piece;
            break;
        }
    }
    if (!first) return false;
    if (first->resident) {
        layout.resident = true;
        layout.residentValue = first->value;
        layout.dataBytes = first->value.size();
        layout.initializedBytes = layout.dataBytes;
        return true;
    }
    if (first->dataBytes > first->allocatedBytes) return false;
    if (first->compressionUnit != 0 && first->compressionUnit != kCompressionUnit) return false;
    layout.dataBytes = first->dataBytes;
    layout.initializedBytes = std::min(first->initializedBytes, first->dataBytes);
    layout.compressionUnit = first->compressionUnit;
    return BuildNtfsRunList(pieces, volumeClusters, layout.runs);
}

int ReadNtfsAttribute(image::ImageContext& ctx, const NtfsDataLayout& layout, const NtfsSink& sink) {
    const image::NtfsState* volume = ctx.ntfsState.get();
    if (!volume) return -1;
    if (layout.resident) return layout.dataBytes == 0 ? 1 : sink(layout.residentValue);
    if (layout.dataBytes == 0) return 1;
    if (layout.compressionUnit == 0) return ReadPlain(ctx, volume->clusterBytes, layout, sink);
    if (volume->clusterBytes > kMaxCompressedClusterBytes) return -1;
    return ReadCompressed(ctx, volume->clusterBytes, layout, sink);
}

uint64_t ReadNtfsBytes(image::ImageContext& ctx, uint64_t offset, uint8_t* buffer, uint64_t bytes) {
    const image::NtfsState* volume = ctx.ntfsState.get();
    if (!volume || bytes == 0) return 0;
    if (offset > volume->volumeBytes || bytes > volume->volumeBytes - offset) return 0;
    const uint64_t start = volume->partitionOffset + offset;
    // Whole sectors go straight into the buffer; a sector the range only
    // partly covers is read into scratch, so the buffer is never overrun.
    std::array<uint8_t, kDiskSectorBytes> scratch;
    uint64_t done = 0;
    while (done < bytes) {
        const uint64_t at = start + done;
        const uint64_t sector = at / kDiskSectorBytes;
        const uint64_t skip = at % kDiskSectorBytes;
        const uint64_t left = bytes - done;
        if (skip == 0 && left >= kDiskSectorBytes) {
            const uint32_t count = static_cast<uint32_t>(std::min(left / kDiskSectorBytes, kMaxSectorsPerRead));
            if (ReadDiskSectors(ctx, sector, buffer + done, count) != count) return 0;
            done += uint64_t{count} * kDiskSectorBytes;
        } else {
            if (ReadDiskSectors(ctx, sector, scratch.data(), 1) != 1) return 0;
            const uint64_t n = std::min(kDiskSectorBytes - skip, left);
            std::memcpy(buffer + done, scratch.data() + skip, n);
            done += n;
        }
    }
    return bytes;
}

uint64_t ReadNtfsClusters(image::ImageContext& ctx, int64_t lcn, uint8_t* buffer, uint64_t bytes) {
    const image::NtfsState* volume = ctx.ntfsState.get();
    if (!volume || bytes == 0) return 0;
    if (lcn == kNtfsHole) {
        std::memset(buffer, 0, bytes);
        return bytes;
    }
    if (lcn < 0 || static_cast<uint64_t>(lcn) >= volume->volumeClusters) return 0;
    return ReadNtfsBytes(ctx, static_cast<uint64_t>(lcn) * volume->clusterBytes, buffer, bytes);
}

}  // namespace filesystems
