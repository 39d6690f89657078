#include "filesystems/udf/udf_volume.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string_view>
#include <utility>

#include "filesystems/udf/udf_blocks.h"
#include "filesystems/udf/udf_directory.h"
#include "filesystems/udf/udf_sparing.h"
#include "foundation/byte_cursor.h"
#include "foundation/byte_order.h"
#include "image/document/document.h"
#include "image/detect/quiet_read_scope.h"
#include "image/sheets/track_list.h"

namespace filesystems {
namespace {

using image::ImageContext;
using image::UdfState;

constexpr int32_t kRecognitionFirst = 16;
constexpr int32_t kRecognitionSectors = 16;
constexpr int32_t kAnchorSector = 256;
// Volume descriptor sequences are 16 blocks in practice; pointers chain a few.
constexpr uint32_t kMaxSequenceBlocks = 4096;
constexpr uint32_t kMaxSequenceExtents = 64;

// Anchor (ECMA-167 3/10.2).
constexpr size_t kAnchorMainLength = 16;
constexpr size_t kAnchorMainLocation = 20;
constexpr size_t kAnchorReserveLength = 24;
constexpr size_t kAnchorReserveLocation = 28;
// Descriptor fields.
constexpr size_t kSequenceNumber = 16;
constexpr size_t kPvdVolumeId = 24;
constexpr size_t kPvdVolumeIdBytes = 32;
constexpr size_t kVdpNextLength = 20;
constexpr size_t kVdpNextLocation = 24;
constexpr size_t kPdNumber = 22;
constexpr size_t kPdStart = 188;
constexpr size_t kPdLength = 192;
constexpr size_t kLvdVolumeId = 84;
constexpr size_t kLvdVolumeIdBytes = 128;
constexpr size_t kLvdBlockSize = 212;
constexpr size_t kLvdFsdBlock = 252;
constexpr size_t kLvdFsdPartition = 256;
constexpr size_t kLvdMapCount = 268;
constexpr size_t kLvdMaps = 440;
// File set descriptor: root directory ICB long_ad at 400.
constexpr size_t kFsdRootBlock = 404;
constexpr size_t kFsdRootPartition = 408;
// Virtual allocation table (UDF 2.01 2.2.11).
constexpr uint8_t kVatFileType = 248;
constexpr size_t kVat150TrailerBytes = 36;
constexpr std::string_view kVatTrailerId = "*UDF Virtual Alloc Tbl";

struct Sequence {
    std::array<uint8_t, kUdfBlockBytes> primary{}, logical{};
    bool havePrimary = false, haveLogical = false;
    uint32_t primarySequence = 0, logicalSequence = 0;
    struct Partition {
        uint16_t number;
        uint32_t start;
        uint32_t length;
    };
    std::vector<Partition> partitions;
};

int64_t ImageSectorsOf(const ImageContext& ctx) {
    if (ctx.endSector > 0) return ctx.endSector;
    if (ctx.discSource || ctx.sectorSize <= 0) return 0;
    const int64_t stored = ctx.imageSize - ctx.dataOffset;
    return stored > 0 ? stored / ctx.sectorSize : 0;
}

bool HasRecognitionSequence(ImageContext& ctx, const UdfState& state, int32_t start) {
    std::array<uint8_t, kUdfBlockBytes> sector{};
    bool nsr = false;
    for (int32_t i = 0; i < kRecognitionSectors; ++i) {
        if (!ReadUdfSector(ctx, state, int64_t(start) + kRecognitionFirst + i, sector.data())) break;
        const std::string_view id(reinterpret_cast<const char*>(sector.data() + 1), 5);
        if (sector[1] == 0 || id == "TEA01") break;
        if (id == "NSR02" || id == "NSR03") nsr = true;
    }
    return nsr;
}

// Walks the volume descriptor sequence from its extent, following pointers to
// further extents; each extent is walked once and the walk is bounded.
void ScanSequence(ImageContext& ctx, const UdfState& state, uint32_t location, uint32_t lengthBytes, Sequence& out) {
    std::set<std::pair<uint32_t, uint32_t>> visited;
    std::array<uint8_t, kUdfBlockBytes> block{};
    uint32_t highest = 0;
    uint32_t scanned = 0;
    bool pending = false;
    uint32_t pendingLocation = 0, pendingLength = 0;
    while (visited.size() < kMaxSequenceExtents && visited.insert({location, lengthBytes}).second) {
        const uint64_t end = uint64_t(location) + lengthBytes / kUdfBlockBytes;
        bool terminated = false;
        for (uint64_t b = location; b < end && !terminated; ++b) {
            if (++scanned > kMaxSequenceBlocks) return;
            uint16_t id = 0;
            if (!ReadUdfTaggedBlock(ctx, state, int64_t(b), uint32_t(b), block.data(), &id)) return;
            const uint32_t sequence = foundation::ReadLE32(block.data() + kSequenceNumber);
            switch (id) {
                case udf_tag::kPrimaryVolume:
                    if (!out.havePrimary || sequence >= out.primarySequence) {
                        out.primary = block;
                        out.havePrimary = true;
                        out.primarySequence = sequence;
                    }
                    highest = std::max(highest, sequence);
                    break;
                case udf_tag::kLogicalVolume:
                    if (!out.haveLogical || sequence >= out.logicalSequence) {
                        out.logical = block;
                        out.haveLogical = true;
                        out.logicalSequence = sequence;
                    }
                    highest = std::max(highest, sequence);
                    break;
                case udf_tag::kImplementationUse:
                case udf_tag::kUnallocatedSpace:
                    highest = std::max(highest, sequence);
                    break;
                case udf_tag::kVolumePointer:
                    if (sequence >= highest) {
                        pending = true;
                        pendingLength = foundation::ReadLE32(block.data() + kVdpNextLength);
                        pendingLocation = foundation::ReadLE32(block.data() + kVdpNextLocation);
                    }
                    break;
                case udf_tag::kPartition:
                    if (out.partitions.size() < 64) {
                        out.partitions.push_back({foundation::ReadLE16(block.data() + kPdNumber),
                                                  foundation::ReadLE32(block.data() + kPdStart),
                                                  foundation::ReadLE32(block.data() + kPdLength)});
                    }
                    break;
                case udf_tag::kTerminating:
                    terminated = true;
                    break;
                default:
                    break;
            }
        }
        if (!pending) return;
        pending = false;
        location = pendingLocation;
        lengthBytes = pendingLength;
    }
}

// The partition maps of the logical volume descriptor; false when they are
// damaged (too many, a zero or overlong map).
bool ReadPartitionMaps(const std::array<uint8_t, kUdfBlockBytes>& lvd, UdfState& state) {
    foundation::ByteCursor d(lvd.data(), lvd.size());
    if (d.Le32(kLvdBlockSize) != kUdfBlockBytes) return false;
    const uint32_t count = d.Le32(kLvdMapCount);
    if (count > kUdfMaxPartitionMaps) return false;
    state.fsdBlock = d.Le32(kLvdFsdBlock);
    state.fsdPartition = d.Le16(kLvdFsdPartition);
    uint64_t at = kLvdMaps;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t type = d.U8(at);
        const uint8_t length = d.U8(at + 1);
        auto map = d.Sub(at, length);
        if (length < 6 || !map) return false;
        UdfPartitionMap m;
        if (type == 1) {
            m.kind = udf_map::kPhysical;
            m.volumeSequenceNumber = map->Le16(2);
            m.partitionNumber = map->Le16(4);
        } else if (type == 2 && length >= 40) {
            const std::string_view id(reinterpret_cast<const char*>(map->Data() + 5), 23);
            m.revision = map->Le16(28);
            m.volumeSequenceNumber = map->Le16(36);
            m.partitionNumber = map->Le16(38);
            if (id.substr(0, 22) == "*UDF Virtual Partition") {
                m.kind = m.revision < 0x200 ? udf_map::kVirtual150 : udf_map::kVirtual200;
            } else if (id.substr(0, 23) == "*UDF Sparable Partition") {
                m.kind = udf_map::kSparable;
                // Packet length, table count and size, then the tables' sectors.
                if (length >= 48) {
                    m.packetLength = map->Le16(40);
                    const uint8_t tables = map->U8(42);
                    m.sparingTableBytes = map->Le32(44);
                    for (uint32_t t = 0; t < tables && 48 + 4 * (t + 1) <= length; ++t)
                        m.sparingTables.push_back(map->Le32(48 + 4 * t));
                }
            } else if (id.substr(0, 23) == "*UDF Metadata Partition" && length >= 59 && state.metadataMap < 0) {
                m.kind = udf_map::kMetadata;
                state.metadataMap = int32_t(i);
                state.metadata.fileLocation = map->Le32(40);
                state.metadata.mirrorLocation = map->Le32(44);
                state.metadata.bitmapLocation = map->Le32(48);
                state.metadata.allocationUnit = map->Le32(52);
                state.metadata.alignmentUnit = map->Le16(56);
                state.metadata.duplicate = (map->U8(58) & 1) != 0;
            }
        } else if (type != 2) {
            return false;
        }
        state.maps.push_back(std::move(m));
        at += length;
    }
    return true;
}

void PlacePartitions(const Sequence& seq, UdfState& state) {
    for (const Sequence::Partition& p : seq.partitions) {
        for (UdfPartitionMap& m : state.maps) {
            if (m.partitionNumber != p.number || m.placed) continue;
            m.placed = true;
            m.start = p.start;
            m.lengthBlocks = p.length;
        }
    }
    for (UdfPartitionMap& m : state.maps) {
        if (m.kind != udf_map::kVirtual150 && m.kind != udf_map::kVirtual200 && m.kind != udf_map::kMetadata)
            continue;
        for (size_t j = 0; j < state.maps.size(); ++j) {
            const UdfPartitionMap& p = state.maps[j];
            if ((p.kind == udf_map::kPhysical || p.kind == udf_map::kSparable) &&
                p.partitionNumber == m.partitionNumber && p.placed) {
                m.physicalIndex = int32_t(j);
                break;
            }
        }
    }
}

// The data of a file entry whose size is at most `cap`; false when it cannot
// be read whole.
bool ReadWholeFile(ImageContext& ctx, const UdfState& state, const UdfFileEntry& entry, uint64_t cap,
                   std::vector<uint8_t>& out) {
    std::vector<UdfExtent> extents;
    if (!ReadUdfAllocationDescriptors(ctx, state, entry, extents, &out)) return false;
    if (entry.adKind == 3) return true;
    if (entry.informationLength > cap) return false;
    out.resize(size_t(entry.informationLength));
    return ReadUdfExtentBytes(ctx, state, extents, 0, out.data(), out.size()) == out.size();
}

// The virtual allocation table of a virtual map: the last file entry of the
// session that is a table (UDF 2.2.11), looked for from the session's end back.
bool LoadVat(ImageContext& ctx, UdfState& state, UdfPartitionMap& map) {
    if (map.physicalIndex < 0) return false;
    const UdfPartitionMap& physical = state.maps[size_t(map.physicalIndex)];
    int64_t last = state.imageSectors - 1;
    if (ctx.trackList) last = std::min<int64_t>(last > 0 ? last : INT32_MAX, image::GetTrackListEndSector(ctx.trackList) - 1);
    for (int32_t tried = 0; tried < kUdfVatSearchSectors && last >= int64_t(physical.start); ++tried, --last) {
        UdfFileEntry entry;
        const uint64_t block = uint64_t(last) - physical.start;
        if (block > UINT32_MAX || !ReadUdfFileEntry(ctx, state, map.physicalIndex, uint32_t(block), entry)) continue;
        std::vector<uint8_t> table;
        if (!ReadWholeFile(ctx, state, entry, kUdfMaxVatBytes, table)) continue;
        uint64_t first = 0, end = table.size();
        if (entry.fileType == kVatFileType) {
            if (table.size() < 2) continue;
            first = foundation::ReadLE16(table.data());
            if (first > table.size()) continue;
        } else {
            // The 1.50 table carries its identifier after the entries.
            if (table.size() < kVat150TrailerBytes) continue;
            end = table.size() - kVat150TrailerBytes;
            if (std::string_view(reinterpret_cast<const char*>(table.data() + end + 1), kVatTrailerId.size()) !=
                kVatTrailerId)
                continue;
        }
        const uint64_t count = (end - first) / 4;
        map.vat.resize(size_t(count));
        for (uint64_t i = 0; i < count; ++i) map.vat[size_t(i)] = foundation::ReadLE32(table.data() + first + 4 * i);
        state.vatSector = int32_t(last);
        return true;
    }
    return false;
}

bool LoadMetadataFile(ImageContext& ctx, const UdfState& state, int32_t physicalIndex, uint32_t location,
                      std::vector<UdfExtent>& out) {
    UdfFileEntry entry;
    if (!ReadUdfFileEntry(ctx, state, physicalIndex, location, entry)) return false;
    if (!ReadUdfAllocationDescriptors(ctx, state, entry, out, nullptr)) return false;
    // The metadata file's blocks live in the physical partition, whatever
    // its descriptors say.
    for (UdfExtent& e : out)
        if (e.partition >= 0) e.partition = physicalIndex;
    return !out.empty();
}

void FreeUdfState(UdfState* state) { delete state; }

bool Mount(ImageContext& ctx, int32_t sessionStart) {
    auto owned = std::unique_ptr<UdfState>(new (std::nothrow) UdfState);
    if (!owned) return false;
    UdfState& state = *owned;
    state.sessionStart = sessionStart;
    state.imageSectors = ImageSectorsOf(ctx);
    if (!HasRecognitionSequence(ctx, state, sessionStart)) return false;
    if (!ctx.ownsTree) {
        // A probe only: what the volume holds is read when a tree is wanted.
        return true;
    }

    std::array<uint8_t, kUdfBlockBytes> block{};
    const int64_t anchor = int64_t(sessionStart) + kAnchorSector;
    uint16_t id = 0;
    if (!ReadUdfTaggedBlock(ctx, state, anchor, uint32_t(anchor), block.data(), &id) || id != udf_tag::kAnchor)
        return false;
    Sequence seq;
    ScanSequence(ctx, state, foundation::ReadLE32(block.data() + kAnchorMainLocation),
                 foundation::ReadLE32(block.data() + kAnchorMainLength), seq);
    if (!seq.haveLogical || seq.partitions.empty()) {
        seq = Sequence{};
        ScanSequence(ctx, state, foundation::ReadLE32(block.data() + kAnchorReserveLocation),
                     foundation::ReadLE32(block.data() + kAnchorReserveLength), seq);
    }
    if (!seq.haveLogical || !ReadPartitionMaps(seq.logical, state)) return false;
    PlacePartitions(seq, state);
    for (UdfPartitionMap& m : state.maps)
        if (m.kind == udf_map::kSparable) LoadUdfSparingTable(ctx, state, m);
    for (UdfPartitionMap& m : state.maps) {
        if ((m.kind == udf_map::kVirtual150 || m.kind == udf_map::kVirtual200) && m.vat.empty())
            LoadVat(ctx, state, m);
    }
    if (state.metadataMap >= 0) {
        const UdfPartitionMap& m = state.maps[size_t(state.metadataMap)];
        state.metadata.fileRead =
            LoadMetadataFile(ctx, state, m.physicalIndex, state.metadata.fileLocation, state.metadata.file);
        state.metadata.mirrorRead =
            LoadMetadataFile(ctx, state, m.physicalIndex, state.metadata.mirrorLocation, state.metadata.mirror);
    }

    if (!ReadUdfPartitionBlock(ctx, state, state.fsdPartition, state.fsdBlock, 0, block.data(), &id) ||
        id != udf_tag::kFileSet)
        return false;
    state.rootBlock = foundation::ReadLE32(block.data() + kFsdRootBlock);
    state.rootPartition = foundation::ReadLE16(block.data() + kFsdRootPartition);

    if (ctx.udfOnly) {
        // A disc without ISO 9660 is named by its UDF volume.
        std::u16string label = DecodeUdfDstring(
            std::span<const uint8_t>(seq.logical.data() + kLvdVolumeId, kLvdVolumeIdBytes));
        if (label.empty() && seq.havePrimary)
            label = DecodeUdfDstring(std::span<const uint8_t>(seq.primary.data() + kPvdVolumeId, kPvdVolumeIdBytes));
        if (label.size() > image::volume_text::kMaxChars) label.resize(image::volume_text::kMaxChars);
        if (!label.empty()) ctx.volumeTexts[image::volume_text::kVolumeLabel] = label;
    }

    if (!state.treeBuilt) {
        if (image::CreateRootFolder(&ctx) != 0) return false;
        state.treeBuilt = true;
        if (!ReadUdfTree(ctx, state)) {
            image::FreeFolderContents(&ctx, ctx.rootFolder);
            return false;
        }
    }
    ctx.udfState.Attach(owned.release(), FreeUdfState);
    return true;
}

}  // namespace

bool MountUdf(ImageContext& ctx, int32_t sessionStart) {
    if (sessionStart < 0) return false;
    image::QuietReadScope quiet(ctx);
    ctx.udfState.Reset();
    return Mount(ctx, sessionStart);
}

int64_t ReadUdfItemBytes(ImageContext& ctx, const image::ImageItem& item, uint64_t offset, uint8_t* buffer,
                         uint64_t bytes) {
    const uint64_t size = item.size > 0 ? uint64_t(item.size) : 0;
    if (offset >= size) return 0;
    bytes = std::min(bytes, size - offset);
    if (!item.memoryData.empty()) {
        const uint64_t have = item.memoryData.size() > offset ? item.memoryData.size() - offset : 0;
        const uint64_t n = std::min(bytes, have);
        std::memcpy(buffer, item.memoryData.data() + offset, size_t(n));
        return int64_t(n);
    }
    const UdfState* state = ctx.udfState.get();
    if (!state || item.Side().extentList.empty()) return 0;
    const std::vector<UdfExtent> extents = DecodeUdfExtentList(item.Side().extentList);
    return int64_t(ReadUdfExtentBytes(ctx, *state, extents, offset, buffer, bytes));
}

int64_t UdfBlockToSector(ImageContext& ctx, const image::ImageItem& item, uint64_t blockIndex) {
    const UdfState* state = ctx.udfState.get();
    if (!state || item.Side().extentList.empty() || blockIndex > UINT64_MAX / kUdfBlockBytes) return -1;
    uint64_t at = blockIndex * kUdfBlockBytes;
    for (const UdfExtent& e : DecodeUdfExtentList(item.Side().extentList)) {
        if (at < e.lengthBytes) {
            if (e.partition < 0) return -1;
            const uint64_t block = uint64_t(e.block) + at / kUdfBlockBytes;
            return block > UINT32_MAX ? -1 : UdfMapBlock(*state, e.partition, uint32_t(block), 0);
        }
        at -= e.lengthBytes;
    }
    return -1;
}

int64_t UdfReadFileSectors(ImageContext& ctx, const image::ImageItem& item, uint8_t* buffer, uint64_t firstBlock,
                           uint64_t blockCount) {
    if (!buffer || blockCount == 0 || firstBlock > UINT64_MAX / kUdfBlockBytes ||
        blockCount > (UINT64_MAX / kUdfBlockBytes) - firstBlock)
        return 0;
    const uint64_t want = blockCount * kUdfBlockBytes;
    const uint64_t offset = firstBlock * kUdfBlockBytes;
    const int64_t got = ReadUdfItemBytes(ctx, item, offset, buffer, want);
    if (got <= 0) return 0;
    // The file's last block is padded; a block cut short by a read error is
    // not delivered.
    const bool reachedEnd = offset + uint64_t(got) >= uint64_t(item.size);
    const uint64_t blocks = reachedEnd ? (uint64_t(got) + kUdfBlockBytes - 1) / kUdfBlockBytes
                                       : uint64_t(got) / kUdfBlockBytes;
    if (blocks * kUdfBlockBytes < uint64_t(got)) return int64_t(blocks);
    std::memset(buffer + got, 0, size_t(blocks * kUdfBlockBytes - uint64_t(got)));
    return int64_t(blocks);
}

}  // namespace filesystems
