#include "filesystems/hfs/apple_partition_map.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "filesystems/hfs/hfs_fork.h"
#include "foundation/byte_cursor.h"

namespace filesystems {
namespace {

// Partition map entry (Inside Macintosh: Devices 3-25).
constexpr size_t kMapEntries = 4;          // entries in the map, 32-bit
constexpr size_t kPartitionStart = 8;      // first block, 32-bit
constexpr size_t kPartitionBlocks = 12;
constexpr size_t kPartitionType = 48;      // 32 bytes, NUL-padded
// Real maps hold a handful of entries; more is damage.
constexpr uint32_t kMaxEntries = 64;
// Old "TS" map: entries of start, size and file-system id after the signature.
constexpr size_t kOldEntriesAt = 2;
constexpr size_t kOldEntryBytes = 12;
constexpr size_t kOldEntryCount = 42;

}  // namespace

std::optional<uint64_t> FindAppleHfsPartition(image::ImageContext& ctx, uint64_t baseBytes, uint32_t blockBytes) {
    std::array<uint8_t, 512> entry{};
    if (!ReadImageBytes(ctx, baseBytes + blockBytes, entry.data(), entry.size())) return std::nullopt;
    foundation::ByteCursor first(entry);
    if (entry[0] == 'T' && entry[1] == 'S') {
        for (size_t i = 0; i < kOldEntryCount; ++i) {
            const size_t at = kOldEntriesAt + i * kOldEntryBytes;
            const uint32_t start = first.Be32(at), blocks = first.Be32(at + 4);
            if (start != 0 && blocks != 0 && std::memcmp(&entry[at + 8], "TFS1", 4) == 0)
                return uint64_t(start) * blockBytes;
        }
        return std::nullopt;
    }
    const uint32_t count = std::min(first.Be32(kMapEntries), kMaxEntries);
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0 && !ReadImageBytes(ctx, baseBytes + uint64_t(i + 1) * blockBytes, entry.data(), entry.size()))
            return std::nullopt;
        if (entry[0] != 'P' || entry[1] != 'M') return std::nullopt;
        if (std::memcmp(&entry[kPartitionType], "Apple_HFS", 9) == 0) {
            foundation::ByteCursor c(entry);
            if (c.Be32(kPartitionBlocks) == 0) continue;
            return uint64_t(c.Be32(kPartitionStart)) * blockBytes;
        }
    }
    return std::nullopt;
}

}  // namespace filesystems
