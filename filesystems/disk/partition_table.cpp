#include "filesystems/disk/partition_table.h"

#include <array>
#include <set>

#include "filesystems/disk/disk_image.h"
#include "filesystems/disk/partition_chooser_services.h"
#include "foundation/byte_cursor.h"
#include <algorithm>

namespace filesystems {
namespace {

// Entry fields.
constexpr size_t kBootFlag = 0;
constexpr size_t kType = 4;
constexpr size_t kFirstSector = 8;    // uint32, relative to the record that holds the entry
constexpr size_t kSectorCount = 12;   // uint32

struct Entry {
    uint8_t bootFlag = 0;
    uint8_t type = 0;
    uint32_t first = 0;
    uint32_t count = 0;
};

Entry EntryAt(const uint8_t* record, int index) {
    foundation::ByteCursor cursor(record + kPartitionTableOffset + size_t(index) * kPartitionEntryBytes,
                                  kPartitionEntryBytes);
    return {record[kPartitionTableOffset + size_t(index) * kPartitionEntryBytes + kBootFlag],
            record[kPartitionTableOffset + size_t(index) * kPartitionEntryBytes + kType], cursor.Le32(kFirstSector),
            cursor.Le32(kSectorCount)};
}

void AddRow(std::vector<DiskPartitionRow>& rows, const Entry& entry, uint64_t base, uint64_t diskSectors) {
    // Both parts below 2^33: the sum cannot wrap.
    const uint64_t first = base + entry.first;
    if (entry.count == 0 || first >= diskSectors) return;
    const uint64_t count = std::min<uint64_t>(entry.count, diskSectors - first);
    rows.push_back({GetPartitionClass(entry.type), entry.type, first, count});
}

}  // namespace

int32_t GetPartitionClass(uint8_t typeByte) {
    using namespace partition_class;
    switch (typeByte) {
    case 0x00: return kEmpty;
    case 0x01: case 0x11: return kFat12;
    case 0x04: case 0x06: case 0x0E: case 0x14: case 0x16: return kFat16;
    case 0x0B: case 0x0C: case 0x1B: case 0x1C: return kFat32;
    case 0x07: case 0x17: case 0x42: case 0x86: case 0x87: return kNtfs;
    case 0x05: case 0x0F: return kExtended;
    case 0x83: return kLinux;
    case 0x82: return kLinuxSwap;
    case 0x8E: return kLinuxLvm;
    default: return kUnknown;
    }
}

void GetPartitionClassName(int32_t partitionClass, std::u16string& text) {
    using namespace partition_class;
    switch (partitionClass) {
    case kEmpty:
    case kExtended: text.clear(); return;
    case kFat12: text = u"FAT12"; return;
    case kFat16: text = u"FAT16"; return;
    case kFat32: text = u"FAT32"; return;
    case kNtfs: text = u"NTFS"; return;
    case kLinux:
    case kLinuxLvm: text = u"Linux"; return;
    case kLinuxSwap: text = u"Linux Swap"; return;
    default: text = u"Unknown"; return;
    }
}

bool UsesWholeDisk(const uint8_t bootRecord[512]) {
    bool allZero = true;
    for (size_t i = kPartitionTableOffset; i < kPartitionTableOffset + 4 * kPartitionEntryBytes; ++i) {
        if (bootRecord[i] != 0) allZero = false;
    }
    if (allZero) return true;
    for (int i = 0; i < 4; ++i) {
        const uint8_t flag = EntryAt(bootRecord, i).bootFlag;
        if (flag != 0x00 && flag != 0x80) return true;
    }
    return false;
}

std::vector<DiskPartitionRow> ListDiskPartitions(image::ImageContext& ctx, const uint8_t bootRecord[512],
                                                 uint64_t diskSectors) {
    std::vector<DiskPartitionRow> rows;
    // The first extended entry of the boot record starts the chain; every
    // primary is listed, wherever the extended entry stands among them.
    bool haveChain = false;
    uint64_t extendedStart = 0;
    for (int i = 0; i < 4; ++i) {
        const Entry entry = EntryAt(bootRecord, i);
        const int32_t kind = GetPartitionClass(entry.type);
        if (kind == partition_class::kEmpty) continue;
        if (kind == partition_class::kExtended) {
            if (!haveChain) {
                haveChain = true;
                extendedStart = entry.first;
            }
            continue;
        }
        AddRow(rows, entry, 0, diskSectors);
    }
    if (!haveChain) return rows;

    // A logical partition's start counts from its own extended boot record, the
    // next link from the start of the extended partition (the layout every
    // partitioning tool writes).
    std::set<uint64_t> visited;
    uint64_t link = extendedStart;
    std::array<uint8_t, 512> record{};
    for (int hops = 0; hops < kMaxExtendedLinks; ++hops) {
        if (link == 0 || link >= diskSectors || !visited.insert(link).second) break;
        if (ReadDiskSectors(ctx, link, record.data(), 1) != 1) break;
        bool next = false;
        uint64_t nextLink = 0;
        for (int i = 0; i < 4; ++i) {
            const Entry entry = EntryAt(record.data(), i);
            const int32_t kind = GetPartitionClass(entry.type);
            if (kind == partition_class::kEmpty) continue;
            if (kind == partition_class::kExtended) {
                if (!next) {
                    next = true;
                    nextLink = extendedStart + entry.first;
                }
                continue;
            }
            AddRow(rows, entry, link, diskSectors);
        }
        if (!next) break;
        link = nextLink;
    }
    return rows;
}

int ChoosePartitionByRule(const std::vector<DiskPartitionRow>& rows) {
    if (rows.empty()) return -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        switch (rows[i].partitionClass) {
        case partition_class::kFat12:
        case partition_class::kFat16:
        case partition_class::kFat32:
        case partition_class::kNtfs:
        case partition_class::kLinux: return static_cast<int>(i);
        default: break;
        }
    }
    return 0;
}

}  // namespace filesystems
