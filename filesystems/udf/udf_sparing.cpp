#include "filesystems/udf/udf_sparing.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "filesystems/udf/udf_blocks.h"
#include "foundation/byte_cursor.h"

namespace filesystems {
namespace {

// Sparing table (OSTA UDF 2.2.12): tag identifier 0, entity identifier at 16,
// entry count at 48, entries of {original block, mapped sector} from 56.
constexpr uint16_t kSparingTagIdentifier = 0;
constexpr size_t kTagCrc = 8;
constexpr size_t kTagCrcLength = 10;
constexpr size_t kSparingIdentifier = 17;
constexpr std::string_view kSparingIdentifierText = "*UDF Sparing Table";
constexpr size_t kEntryCount = 48;
constexpr size_t kEntries = 56;
constexpr size_t kEntryBytes = 8;
// Original locations from here up mark entries that hold no move: free spare
// packets (0xFFFFFFFF), defective ones (0xFFFFFFF0) and reserved values.
constexpr uint32_t kFirstMarker = 0xFFFFFFF0u;

bool ReadCopy(image::ImageContext& ctx, const image::UdfState& state, const UdfPartitionMap& map, uint32_t sector,
              std::vector<UdfSparedPacket>& out) {
    const uint32_t bytes = std::min(map.sparingTableBytes, kUdfMaxSparingTableBytes);
    if (bytes < kEntries) return false;
    const uint32_t sectors = uint32_t((bytes + kUdfBlockBytes - 1) / kUdfBlockBytes);
    std::vector<uint8_t> table(size_t(sectors) * kUdfBlockBytes);
    uint16_t identifier = 0xFFFF;
    if (!ReadUdfTaggedBlock(ctx, state, sector, sector, table.data(), &identifier) ||
        identifier != kSparingTagIdentifier)
        return false;
    for (uint32_t k = 1; k < sectors; ++k)
        if (!ReadUdfSector(ctx, state, int64_t(sector) + k, table.data() + size_t(k) * kUdfBlockBytes)) return false;
    foundation::ByteCursor t(table.data(), bytes);
    const std::string_view name(reinterpret_cast<const char*>(table.data() + kSparingIdentifier),
                                kSparingIdentifierText.size());
    if (name != kSparingIdentifierText) return false;
    // The CRC guards against a copy that was being rewritten when the disc
    // was taken out.
    const uint32_t crcLength = t.Le16(kTagCrcLength);
    if (kUdfTagBytes + crcLength > bytes ||
        UdfDescriptorCrc(std::span<const uint8_t>(table.data() + kUdfTagBytes, crcLength)) != t.Le16(kTagCrc))
        return false;
    const uint64_t count = t.Le16(kEntryCount);
    if (kEntries + count * kEntryBytes > bytes) return false;

    out.clear();
    for (uint64_t i = 0; i < count; ++i) {
        const size_t at = size_t(kEntries + i * kEntryBytes);
        const UdfSparedPacket p{t.Le32(at), t.Le32(at + 4)};
        if (p.original >= kFirstMarker) continue;
        // A move that does not start a packet, or points outside the image,
        // cannot be followed; the packet is read where it was written.
        if (p.original % map.packetLength != 0) continue;
        if (state.imageSectors > 0 && int64_t(p.mapped) + map.packetLength > state.imageSectors) continue;
        out.push_back(p);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const UdfSparedPacket& a, const UdfSparedPacket& b) { return a.original < b.original; });
    // A packet moved twice keeps its first entry.
    out.erase(std::unique(out.begin(), out.end(),
                          [](const UdfSparedPacket& a, const UdfSparedPacket& b) { return a.original == b.original; }),
              out.end());
    return true;
}

}  // namespace

bool LoadUdfSparingTable(image::ImageContext& ctx, const image::UdfState& state, UdfPartitionMap& map) {
    map.spared.clear();
    if (map.kind != udf_map::kSparable || map.packetLength == 0) return false;
    for (uint32_t sector : map.sparingTables) {
        std::vector<UdfSparedPacket> packets;
        if (ReadCopy(ctx, state, map, sector, packets)) {
            map.spared = std::move(packets);
            return true;
        }
    }
    return false;
}

int64_t UdfSparedSector(const UdfPartitionMap& map, uint64_t block) {
    if (map.spared.empty() || map.packetLength == 0 || block > UINT32_MAX) return -1;
    const uint32_t first = uint32_t(block - block % map.packetLength);
    const auto it = std::lower_bound(map.spared.begin(), map.spared.end(), first,
                                     [](const UdfSparedPacket& p, uint32_t b) { return p.original < b; });
    if (it == map.spared.end() || it->original != first) return -1;
    return int64_t(it->mapped) + int64_t(block - first);
}

}  // namespace filesystems
