#include "filesystems/ntfs/ntfs_volume.h"

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <new>

#include "filesystems/disk/disk_image.h"
#include "filesystems/ntfs/ntfs_data.h"
#include "filesystems/ntfs/ntfs_file.h"
#include "filesystems/ntfs/ntfs_layout.h"
#include "filesystems/ntfs/ntfs_state.h"
#include "filesystems/ntfs/ntfs_tree.h"
#include "foundation/byte_cursor.h"

namespace filesystems {
namespace {

namespace boot = ntfs_layout::boot;

constexpr uint32_t kMaxClusterBytes = 2u << 20;
constexpr uint32_t kMinRecordBytes = 512;
constexpr uint32_t kMaxRecordBytes = 64 * 1024;

bool IsPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// The geometry from the boot sector; false when it is no NTFS boot sector or
// a value is out of the ranges NTFS uses.
bool ReadBootSector(image::ImageContext& ctx, image::NtfsState& volume, uint64_t& mftCluster) {
    std::array<uint8_t, kDiskSectorBytes> sector{};
    if (ReadDiskSectors(ctx, ctx.partitionStart, sector.data(), 1) != 1) return false;
    foundation::ByteCursor b(sector.data(), sector.size());
    static constexpr uint8_t kOem[] = {'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '};
    if (!std::equal(std::begin(kOem), std::end(kOem), sector.begin() + boot::kOemId)) return false;
    const uint32_t sectorBytes = b.Le16(boot::kBytesPerSector);
    if (sectorBytes < 512 || sectorBytes > 4096 || !IsPowerOfTwo(sectorBytes)) return false;
    const uint8_t perCluster = b.U8(boot::kSectorsPerCluster);
    uint64_t clusterSectors = 0;
    if (perCluster >= 0xF4) {
        // Large clusters: the byte is a negative power of two.
        clusterSectors = uint64_t{1} << (256 - perCluster);
    } else if (perCluster <= 0x80 && IsPowerOfTwo(perCluster)) {
        clusterSectors = perCluster;
    } else {
        return false;
    }
    const uint64_t clusterBytes = clusterSectors * sectorBytes;
    if (clusterBytes > kMaxClusterBytes) return false;
    const int8_t perRecord = static_cast<int8_t>(b.U8(boot::kClustersPerRecord));
    uint64_t recordBytes = 0;
    if (perRecord > 0) {
        recordBytes = uint64_t(perRecord) * clusterBytes;
    } else if (perRecord < 0 && perRecord >= -16) {
        recordBytes = uint64_t{1} << -perRecord;
    }
    if (recordBytes < kMinRecordBytes || recordBytes > kMaxRecordBytes || !IsPowerOfTwo(recordBytes)) return false;
    const uint64_t totalSectors = b.Le64(boot::kTotalSectors);
    if (totalSectors == 0 || totalSectors > UINT64_MAX / sectorBytes) return false;
    uint64_t volumeBytes = totalSectors * sectorBytes;
    if (ctx.partitionSectors > 0) volumeBytes = std::min(volumeBytes, uint64_t(ctx.partitionSectors) * kDiskSectorBytes);
    volume.clusterBytes = static_cast<uint32_t>(clusterBytes);
    volume.recordBytes = static_cast<uint32_t>(recordBytes);
    volume.partitionOffset = uint64_t(ctx.partitionStart) * kDiskSectorBytes;
    volume.volumeBytes = volumeBytes;
    volume.volumeClusters = volumeBytes / clusterBytes;
    mftCluster = b.Le64(boot::kMftCluster);
    return mftCluster < volume.volumeClusters;
}

bool IsMftName(const NtfsFileFacts& facts) {
    static constexpr uint8_t kName[] = {'$', 0, 'M', 0, 'F', 0, 'T', 0};
    return facts.haveName && std::equal(facts.name.begin(), facts.name.end(), std::begin(kName), std::end(kName));
}

// Reads bytes of the $MFT's data at offset through the runs known so far.
bool ReadThroughRuns(image::ImageContext& ctx, const std::vector<NtfsRun>& runs, uint64_t offset, uint8_t* out,
                     uint64_t bytes) {
    const uint32_t cb = ctx.ntfsState->clusterBytes;
    NtfsRunCursor cursor(runs);
    for (uint64_t done = 0; done < bytes;) {
        const uint64_t vcn = (offset + done) / cb;
        const uint64_t within = (offset + done) % cb;
        const NtfsRun* run = cursor.Find(vcn);
        if (!run || run->lcn == kNtfsHole) return false;
        const uint64_t n = std::min<uint64_t>(cb - within, bytes - done);
        const uint64_t lcn = static_cast<uint64_t>(run->lcn) + (vcn - run->vcn);
        if (ReadNtfsBytes(ctx, lcn * cb + within, out + done, n) != n) return false;
        done += n;
    }
    return true;
}

// Record 0 and, when the $MFT is so fragmented that its run list goes on in
// extension records, those records: read from the disk through the runs known
// so far, since the table they belong to is what is being loaded.
bool GatherMftData(image::ImageContext& ctx, uint64_t mftCluster, std::deque<std::vector<uint8_t>>& records,
                   NtfsFileFacts& facts) {
    image::NtfsState& volume = *ctx.ntfsState.get();
    std::vector<uint8_t>& first = records.emplace_back(volume.recordBytes);
    if (ReadNtfsBytes(ctx, mftCluster * volume.clusterBytes, first.data(), first.size()) != first.size()) return false;
    // Fixed up like every other record (a copy of its own, before anything
    // is taken from it).
    if (!ApplyNtfsFixup(first)) return false;
    if (!ParseNtfsRecord(first, NtfsRecordRole::kBase, facts) || !facts.inUse || !IsMftName(facts)) return false;
    if (!facts.haveList) return true;

    std::vector<uint8_t> listBytes;
    std::span<const uint8_t> listValue = facts.list.value;
    if (!facts.list.resident) {
        NtfsDataLayout layout;
        if (facts.list.dataBytes > kMaxNtfsAttributeListBytes ||
            !MakeNtfsDataLayout({facts.list}, volume.volumeClusters, layout)) {
            return false;
        }
        if (ReadNtfsAttribute(ctx, layout, [&](std::span<const uint8_t> b) {
                listBytes.insert(listBytes.end(), b.begin(), b.end());
                return 1;
            }) != 1) {
            return false;
        }
        listValue = listBytes;
    }
    std::vector<NtfsListEntry> entries;
    if (!DecodeNtfsAttributeList(listValue, entries)) return false;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const NtfsListEntry& a, const NtfsListEntry& b) { return a.lowestVcn < b.lowestVcn; });
    std::vector<uint64_t> seen{ntfs_layout::kMftRecord};
    for (const NtfsListEntry& e : entries) {
        if (e.type != ntfs_layout::attr::kData || e.named) continue;
        if (std::find(seen.begin(), seen.end(), e.record) != seen.end()) continue;
        seen.push_back(e.record);
        std::vector<NtfsRun> runs;
        if (!BuildNtfsRunList(facts.data, volume.volumeClusters, runs)) return false;
        if (e.record > UINT64_MAX / volume.recordBytes) return false;
        std::vector<uint8_t>& r = records.emplace_back(volume.recordBytes);
        if (!ReadThroughRuns(ctx, runs, e.record * volume.recordBytes, r.data(), r.size())) return false;
        if (!ApplyNtfsFixup(r)) return false;
        foundation::ByteCursor c(r);
        if ((c.Le64(ntfs_layout::record::kBaseRecord) & ntfs_layout::kRecordNumberMask) != ntfs_layout::kMftRecord) {
            return false;
        }
        NtfsFileFacts more;
        if (!ParseNtfsRecord(r, NtfsRecordRole::kExtension, more)) return false;
        facts.data.insert(facts.data.end(), more.data.begin(), more.data.end());
    }
    return true;
}

bool LoadMft(image::ImageContext& ctx, uint64_t mftCluster) {
    image::NtfsState& volume = *ctx.ntfsState.get();
    std::deque<std::vector<uint8_t>> records;
    NtfsFileFacts facts;
    if (!GatherMftData(ctx, mftCluster, records, facts)) return false;
    NtfsDataLayout layout;
    if (!MakeNtfsDataLayout(facts.data, volume.volumeClusters, layout) || layout.resident) return false;
    // The table cannot be larger than the volume it describes; it is read
    // piece by piece, so a size the runs do not back costs no memory.
    if (layout.dataBytes > volume.volumeBytes || layout.dataBytes < volume.recordBytes) return false;
    const uint64_t recordCount = layout.dataBytes / volume.recordBytes;
    const uint64_t tableBytes = recordCount * volume.recordBytes;
    try {
        volume.mftTable.reserve(std::min<uint64_t>(tableBytes, 64u << 20));
        const int read = ReadNtfsAttribute(ctx, layout, [&](std::span<const uint8_t> b) {
            const uint64_t room = tableBytes - volume.mftTable.size();
            volume.mftTable.insert(volume.mftTable.end(), b.begin(), b.begin() + std::min<uint64_t>(room, b.size()));
            return 1;
        });
        if (read != 1 || volume.mftTable.size() != tableBytes) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    volume.recordCount = recordCount;
    for (uint64_t n = 0; n < recordCount; ++n) {
        std::span<uint8_t> r(volume.mftTable.data() + n * volume.recordBytes, volume.recordBytes);
        if (foundation::ByteCursor(r).Le32(0) != 0x454C4946u) continue;   // "FILE"
        if (!ApplyNtfsFixup(r)) std::copy_n("BAAD", 4, r.begin());
    }
    return true;
}

void TakeVolumeLabel(image::ImageContext& ctx) {
    NtfsFileFacts facts;
    std::vector<uint8_t> scratch;
    if (!ReadNtfsFile(ctx, ntfs_layout::kVolumeRecord, facts, scratch)) return;
    std::u16string label;
    const size_t units = std::min(facts.volumeName.size() / 2, image::volume_text::kMaxChars);
    for (size_t i = 0; i < units; ++i) {
        label.push_back(static_cast<char16_t>(facts.volumeName[2 * i] | (facts.volumeName[2 * i + 1] << 8)));
    }
    ctx.volumeTexts[image::volume_text::kVolumeLabel] = label;
}

}  // namespace

void FreeNtfsVolume(image::NtfsState* state) { delete state; }

int MountNtfs(image::ImageContext& ctx) {
    auto state = std::make_unique<image::NtfsState>();
    uint64_t mftCluster = 0;
    if (!ReadBootSector(ctx, *state, mftCluster)) return 0;
    ctx.ntfsState.Attach(state.release(), FreeNtfsVolume);
    if (!LoadMft(ctx, mftCluster)) {
        ctx.ntfsState.Reset();
        return 0;
    }
    TakeVolumeLabel(ctx);
    ctx.ownsTree = 1;
    if (!BuildNtfsTree(ctx)) {
        ctx.volumeTexts[image::volume_text::kVolumeLabel].clear();
        ctx.ntfsState.Reset();
        return 0;
    }
    return 1;
}

}  // namespace filesystems
