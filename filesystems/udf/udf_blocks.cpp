#include "filesystems/udf/udf_blocks.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "filesystems/udf/udf_sparing.h"
#include "foundation/byte_cursor.h"
#include "foundation/byte_order.h"
#include "image/sectors/sector_io.h"

namespace filesystems {
namespace {

// File entry (ECMA-167 4/14.9) and extended file entry (4/14.17) fields.
constexpr size_t kIcbFileType = 27;
constexpr size_t kIcbFlags = 34;
constexpr size_t kInformationLength = 56;
constexpr size_t kFeModified = 84;
constexpr size_t kEfeModified = 92;
constexpr size_t kFeExtAttrLength = 168;
constexpr size_t kEfeExtAttrLength = 208;
constexpr size_t kFeHeaderBytes = 176;
constexpr size_t kEfeHeaderBytes = 216;
// Allocation extent descriptor (4/14.5): descriptor length at 20, descriptors from 24.
constexpr size_t kAedLength = 20;
constexpr size_t kAedHeaderBytes = 24;

constexpr uint32_t kExtentRecorded = 0;
constexpr uint32_t kExtentNextDescriptors = 3;
constexpr uint32_t kVatUnused = 0xFFFFFFFFu;
constexpr uint32_t kRunSectors = 64;

int64_t PhysicalSector(const UdfPartitionMap& map, uint64_t block) {
    if (!map.placed || block >= map.lengthBlocks) return -1;
    const uint64_t sector = uint64_t(map.start) + block;
    return sector > uint64_t(INT32_MAX) ? -1 : int64_t(sector);
}

// Block of the metadata file (or its mirror) that holds metadata block `block`.
int64_t LookUpMetadata(const std::vector<UdfExtent>& extents, uint32_t block) {
    uint64_t before = 0;
    for (const UdfExtent& e : extents) {
        const uint64_t blocks = e.lengthBytes / kUdfBlockBytes;
        if (block < before + blocks) {
            if (e.partition < 0) return -1;
            return int64_t(uint64_t(e.block) + (block - before));
        }
        before += blocks;
    }
    return -1;
}

}  // namespace

int64_t UdfMapBlock(const image::UdfState& state, int32_t mapIndex, uint32_t block, uint32_t offset) {
    if (mapIndex < 0 || size_t(mapIndex) >= state.maps.size()) return -1;
    const UdfPartitionMap& map = state.maps[size_t(mapIndex)];
    switch (map.kind) {
        case udf_map::kPhysical:
            return PhysicalSector(map, uint64_t(block) + offset);
        case udf_map::kSparable: {
            // A packet the sparing table moved reads from its new place; the
            // original place may hold stale data or nothing readable.
            const int64_t base = PhysicalSector(map, uint64_t(block) + offset);
            if (base < 0) return -1;
            const int64_t spared = UdfSparedSector(map, uint64_t(block) + offset);
            return spared >= 0 ? spared : base;
        }
        case udf_map::kVirtual150:
        case udf_map::kVirtual200: {
            if (block >= map.vat.size() || map.vat[block] == kVatUnused) return -1;
            if (map.physicalIndex < 0) return -1;
            return PhysicalSector(state.maps[size_t(map.physicalIndex)], uint64_t(map.vat[block]) + offset);
        }
        case udf_map::kMetadata: {
            if (map.physicalIndex < 0) return -1;
            int64_t at = state.metadata.fileRead ? LookUpMetadata(state.metadata.file, block) : -1;
            if (at < 0 && state.metadata.mirrorRead) at = LookUpMetadata(state.metadata.mirror, block);
            if (at < 0) return -1;
            return PhysicalSector(state.maps[size_t(map.physicalIndex)], uint64_t(at) + offset);
        }
        default:
            return -1;
    }
}

uint64_t UdfContiguousBlocks(const image::UdfState& state, int32_t mapIndex, uint32_t block) {
    if (mapIndex < 0 || size_t(mapIndex) >= state.maps.size()) return 1;
    const UdfPartitionMap& map = state.maps[size_t(mapIndex)];
    if (map.kind == udf_map::kPhysical) return UINT64_MAX;
    if (map.kind != udf_map::kSparable) return 1;
    // A packet lies in one place, moved or not; the next one may lie elsewhere.
    if (map.spared.empty() || map.packetLength == 0) return UINT64_MAX;
    return map.packetLength - block % map.packetLength;
}

bool ReadUdfSector(image::ImageContext& ctx, const image::UdfState& state, int64_t sector, uint8_t* out) {
    if (sector < 0 || sector > INT32_MAX) return false;
    if (state.imageSectors > 0 && sector >= state.imageSectors) return false;
    return image::ReadImageSectors(ctx, int32_t(sector), out, 1) == 1;
}

bool ReadUdfTaggedBlock(image::ImageContext& ctx, const image::UdfState& state, int64_t sector,
                        uint32_t expectedLocation, uint8_t* out, uint16_t* identifier) {
    if (identifier) *identifier = 0;
    if (!ReadUdfSector(ctx, state, sector, out)) return false;
    const std::span<const uint8_t> block(out, kUdfBlockBytes);
    if (identifier) *identifier = DecodeUdfTag(block).identifier;
    return IsValidUdfTag(block, expectedLocation);
}

bool ReadUdfPartitionBlock(image::ImageContext& ctx, const image::UdfState& state, int32_t mapIndex, uint32_t block,
                           uint32_t offset, uint8_t* out, uint16_t* identifier) {
    if (identifier) *identifier = 0;
    const int64_t sector = UdfMapBlock(state, mapIndex, block, offset);
    if (sector < 0) return false;
    return ReadUdfTaggedBlock(ctx, state, sector, uint32_t(uint64_t(block) + offset), out, identifier);
}

bool ReadUdfFileEntry(image::ImageContext& ctx, const image::UdfState& state, int32_t mapIndex, uint32_t block,
                      UdfFileEntry& out) {
    out = UdfFileEntry{};
    out.bytes.resize(kUdfBlockBytes);
    uint16_t identifier = 0;
    if (!ReadUdfPartitionBlock(ctx, state, mapIndex, block, 0, out.bytes.data(), &identifier)) return false;
    if (identifier != udf_tag::kFileEntry && identifier != udf_tag::kExtendedFileEntry) return false;
    out.extended = identifier == udf_tag::kExtendedFileEntry;
    out.mapIndex = mapIndex;
    out.sector = UdfMapBlock(state, mapIndex, block, 0);
    foundation::ByteCursor head(out.bytes.data(), out.bytes.size());
    out.fileType = head.U8(kIcbFileType);
    out.adKind = uint8_t(head.Le16(kIcbFlags) & 7);
    out.informationLength = head.Le64(kInformationLength);
    head.CopyTo(out.extended ? kEfeModified : kFeModified, out.modified.data(), out.modified.size());
    const size_t header = out.extended ? kEfeHeaderBytes : kFeHeaderBytes;
    const uint64_t extAttr = head.Le32(out.extended ? kEfeExtAttrLength : kFeExtAttrLength);
    const uint64_t adLength = head.Le32((out.extended ? kEfeExtAttrLength : kFeExtAttrLength) + 4);
    const uint64_t total = header + extAttr + adLength;   // 64-bit: the fields cannot wrap it
    if (total > kUdfMaxEntryBytes) return false;
    // An entry longer than a block goes on in the blocks after it; only the
    // first carries a tag.
    const uint64_t blocks = (total + kUdfBlockBytes - 1) / kUdfBlockBytes;
    out.bytes.resize(size_t(blocks) * kUdfBlockBytes);
    for (uint64_t k = 1; k < blocks; ++k) {
        const int64_t sector = UdfMapBlock(state, mapIndex, block, uint32_t(k));
        if (!ReadUdfSector(ctx, state, sector, out.bytes.data() + k * kUdfBlockBytes)) return false;
    }
    out.adOffset = size_t(header + extAttr);
    out.adLength = size_t(adLength);
    return true;
}

bool ReadUdfAllocationDescriptors(image::ImageContext& ctx, const image::UdfState& state, const UdfFileEntry& entry,
                                  std::vector<UdfExtent>& extents, std::vector<uint8_t>* embedded) {
    extents.clear();
    if (embedded) embedded->clear();
    const std::span<const uint8_t> area(entry.bytes.data() + entry.adOffset, entry.adLength);
    if (entry.adKind == 3) {
        // The data lives in the entry; an entry that claims more than it holds
        // gives what it holds.
        if (embedded) {
            const size_t n = size_t(std::min<uint64_t>(entry.informationLength, area.size()));
            embedded->assign(area.begin(), area.begin() + ptrdiff_t(n));
        }
        return true;
    }
    if (entry.adKind != 0 && entry.adKind != 1) return true;   // extended descriptors: no extents
    const bool isLong = entry.adKind == 1;
    const size_t step = isLong ? 16 : 8;

    // Areas still to walk: the rest of an area waits while the extent its
    // continuation names is walked, so the extents keep their order.
    struct Area {
        std::vector<uint8_t> bytes;
        size_t position = 0;
    };
    std::vector<Area> stack;
    stack.push_back({std::vector<uint8_t>(area.begin(), area.end()), 0});
    std::unordered_set<uint64_t> visited;
    uint32_t hops = 0;
    std::vector<uint8_t> block(kUdfBlockBytes);
    while (!stack.empty()) {
        Area& a = stack.back();
        if (a.bytes.size() - a.position < step) {
            stack.pop_back();
            continue;
        }
        foundation::ByteCursor d(a.bytes.data() + a.position, step);
        a.position += step;
        const uint32_t word = d.Le32(0);
        const uint32_t type = word >> 30;
        const uint32_t length = word & 0x3FFFFFFF;
        const uint32_t where = d.Le32(4);
        const int32_t partition = isLong ? int32_t(d.Le16(8)) : entry.mapIndex;
        if (type == kExtentNextDescriptors) {
            // A further extent of descriptors: it must be new to this file,
            // an allocation extent descriptor, and hold what it claims.
            if (++hops > kUdfMaxContinuationHops) return false;
            if (!visited.insert(uint64_t(uint32_t(partition)) << 32 | where).second) return false;
            const uint64_t bytes = std::min<uint64_t>(std::max<uint64_t>(length, kAedHeaderBytes),
                                                      kUdfMaxContinuationBytes);
            const uint64_t blocks = (bytes + kUdfBlockBytes - 1) / kUdfBlockBytes;
            std::vector<uint8_t> next(size_t(blocks) * kUdfBlockBytes);
            uint16_t identifier = 0;
            if (!ReadUdfPartitionBlock(ctx, state, partition, where, 0, next.data(), &identifier) ||
                identifier != udf_tag::kAllocationExtent)
                return false;
            for (uint64_t k = 1; k < blocks; ++k) {
                if (!ReadUdfSector(ctx, state, UdfMapBlock(state, partition, where, uint32_t(k)),
                                   next.data() + k * kUdfBlockBytes))
                    return false;
            }
            const uint64_t held = foundation::ReadLE32(next.data() + kAedLength);
            if (held > next.size() - kAedHeaderBytes) return false;
            std::vector<uint8_t> body(next.begin() + kAedHeaderBytes,
                                      next.begin() + ptrdiff_t(kAedHeaderBytes + held));
            stack.push_back({std::move(body), 0});
            continue;
        }
        if (length == 0) {
            // A zero length ends the descriptors (ECMA-167 4/12).
            stack.clear();
            break;
        }
        if (extents.size() >= kUdfMaxExtents) return false;
        extents.push_back({type == kExtentRecorded ? partition : -1, where, length});
    }
    return true;
}

uint64_t ReadUdfExtentBytes(image::ImageContext& ctx, const image::UdfState& state,
                            const std::vector<UdfExtent>& extents, uint64_t offset, uint8_t* out, uint64_t bytes) {
    uint64_t done = 0;
    uint64_t extentStart = 0;
    std::vector<uint8_t> run;
    for (const UdfExtent& e : extents) {
        if (done == bytes) break;
        const uint64_t extentEnd = extentStart + e.lengthBytes;
        while (done < bytes && offset + done < extentEnd) {
            if (offset + done < extentStart) return done;   // cannot happen: extents are walked in order
            const uint64_t inExtent = offset + done - extentStart;
            const uint64_t want = std::min(bytes - done, extentEnd - (offset + done));
            if (e.partition < 0) {
                std::memset(out + done, 0, size_t(want));
                done += want;
                continue;
            }
            const uint64_t firstBlock = uint64_t(e.block) + inExtent / kUdfBlockBytes;
            const uint64_t within = inExtent % kUdfBlockBytes;
            if (firstBlock > UINT32_MAX) return done;
            // Consecutive blocks that lie in consecutive sectors are read
            // together; the blocks of a virtual or metadata partition one at a time.
            uint64_t sectors = (within + want + kUdfBlockBytes - 1) / kUdfBlockBytes;
            sectors = std::min<uint64_t>({sectors, kRunSectors,
                                          UdfContiguousBlocks(state, e.partition, uint32_t(firstBlock))});
            const int64_t first = UdfMapBlock(state, e.partition, uint32_t(firstBlock), 0);
            const int64_t last = UdfMapBlock(state, e.partition, uint32_t(firstBlock), uint32_t(sectors - 1));
            if (first < 0 || last < 0) return done;
            if (state.imageSectors > 0 && last >= state.imageSectors) return done;
            run.resize(size_t(sectors) * kUdfBlockBytes);
            if (image::ReadImageSectors(ctx, int32_t(first), run.data(), int32_t(sectors)) != int32_t(sectors))
                return done;
            const uint64_t n = std::min(want, sectors * kUdfBlockBytes - within);
            std::memcpy(out + done, run.data() + within, size_t(n));
            done += n;
        }
        extentStart = extentEnd;
    }
    return done;
}

std::vector<uint8_t> EncodeUdfExtentList(const std::vector<UdfExtent>& extents) {
    std::vector<uint8_t> list(4 + extents.size() * 12);
    foundation::WriteLE32(list.data(), uint32_t(extents.size()));
    for (size_t i = 0; i < extents.size(); ++i) {
        uint8_t* e = list.data() + 4 + i * 12;
        foundation::WriteLE32(e, uint32_t(extents[i].partition));
        foundation::WriteLE32(e + 4, extents[i].block);
        foundation::WriteLE32(e + 8, extents[i].lengthBytes);
    }
    return list;
}

std::vector<UdfExtent> DecodeUdfExtentList(const std::vector<uint8_t>& list) {
    std::vector<UdfExtent> extents;
    if (list.size() < 4) return extents;
    const uint64_t count = std::min<uint64_t>(foundation::ReadLE32(list.data()), (list.size() - 4) / 12);
    extents.reserve(size_t(count));
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = list.data() + 4 + i * 12;
        extents.push_back({int32_t(foundation::ReadLE32(e)), foundation::ReadLE32(e + 4), foundation::ReadLE32(e + 8)});
    }
    return extents;
}

}  // namespace filesystems
