// Mounting a FAT volume: the boot sector's type test, the geometry of each
// type with the checks that keep every later access inside the FAT and the
// volume, and the FAT entries.

#include <algorithm>
#include <cstring>

#include "filesystems/disk/disk_image.h"
#include "filesystems/fat/fat_directory.h"
#include "filesystems/fat/fat_layout.h"
#include "filesystems/fat/fat_overlay.h"
#include "filesystems/fat/fat_tree.h"
#include "filesystems/fat/fat_volume.h"
#include "filesystems/fat/fat_write.h"
#include "foundation/byte_cursor.h"
#include "foundation/file_io.h"
#include "foundation/language.h"
#include "image/detect/quiet_read_scope.h"
#include "image/document/document.h"
#include "image/document/text_conversions.h"
#include "platform/text.h"

namespace image {
FatState::FatState() = default;
FatState::~FatState() = default;
}  // namespace image

namespace filesystems {

using namespace fat_layout;

namespace {

// A FAT copy larger than this is no volume we can hold in memory (a FAT32
// volume of 2 TiB in 32 KiB clusters needs 256 MiB).
constexpr uint64_t kMaxFatBytes = uint64_t{1} << 30;

constexpr uint32_t kNoLabelStringId = 1780;

void FreeFatState(image::FatState* state) {
    if (!state) return;
    FreeFatOverlay(*state);
    delete state;
}

const FatMarks& MarksOf(FatType type) {
    static const FatMarks kFat12{0xFF8, 0xFFF, 0, 0xFFF, 0xFF7, "FAT12   "};
    static const FatMarks kFat16{0xFFF8, 0xFFFF, 0, 0xFFFF, 0xFFF7, "FAT16   "};
    static const FatMarks kFat32{0xFFFFFFF8, 0xFFFFFFFF, 0, 0x0FFFFFFF, 0x0FFFFFF7, "FAT32   "};
    return type == FatType::kFat12 ? kFat12 : type == FatType::kFat16 ? kFat16 : kFat32;
}

// The type named by the boot sector's type text; cluster counts play no part.
bool ProbeFatBootSector(image::ImageContext& ctx, FatVolume& volume) {
    image::QuietReadScope quiet(ctx);
    if (ReadDiskSectors(ctx, uint64_t(volume.partitionStart), volume.bootSector.data(), 1) != 1) return false;
    foundation::ByteCursor boot(volume.bootSector.data(), volume.bootSector.size());
    if (boot.Le16(boot::kSignature) != boot::kSignatureValue) return false;
    if (boot.Le16(boot::kBytesPerSector) != kSectorBytes) return false;
    if (boot.U8(boot::kSectorsPerCluster) == 0) return false;
    const auto typeIs = [&](size_t offset, const char* text) {
        return std::memcmp(volume.bootSector.data() + offset, text, 5) == 0;
    };
    if (typeIs(boot::kTypeText1216, "FAT12")) {
        volume.type = FatType::kFat12;
    } else if (typeIs(boot::kTypeText1216, "FAT16")) {
        volume.type = FatType::kFat16;
    } else if (typeIs(boot::kTypeText32, "FAT32")) {
        volume.type = FatType::kFat32;
    } else {
        return false;
    }
    return true;
}

// FAT entries a FAT copy of the volume's size can hold.
uint64_t FatEntryCapacity(const FatVolume& volume) {
    const uint64_t bytes = uint64_t(volume.fatSectors) * kSectorBytes;
    switch (volume.type) {
    case FatType::kFat12: return bytes * 2 / 3;
    case FatType::kFat16: return bytes / 2;
    default: return bytes / 4;
    }
}

// Sectors the disk below holds, or 0 when unknown (a virtual disk's back end
// knows its own size).
uint64_t DiskSectorsKnown(image::ImageContext& ctx) {
    if (ctx.vhdState || ctx.vmdkState || ctx.vdiState || !ctx.imageHandle) return 0;
    const int64_t size = foundation::GetFileSize64(ctx.imageHandle.get());
    return size > 0 ? uint64_t(size) / kSectorBytes : 0;
}

// The fields every type shares, with the checks that keep the FAT and the
// data area inside the volume and the disk.
bool LoadCommonGeometry(image::ImageContext& ctx, FatVolume& volume) {
    foundation::ByteCursor boot(volume.bootSector.data(), volume.bootSector.size());
    volume.sectorsPerCluster = boot.U8(boot::kSectorsPerCluster);
    volume.clusterBytes = volume.sectorsPerCluster * kSectorBytes;
    volume.entriesPerCluster = volume.clusterBytes / kEntryBytes;
    volume.reservedSectors = boot.Le16(boot::kReservedSectors);
    volume.fatCount = boot.U8(boot::kFatCount);
    volume.marks = MarksOf(volume.type);
    volume.marks.fat0 = (volume.marks.fat0 & ~0xFFu) | boot.U8(boot::kMedia);
    if (volume.type == FatType::kFat32) {
        volume.fatSectors = boot.Le32(boot::kFatSectors32);
        volume.totalSectors = boot.Le32(boot::kTotalSectors32);
        volume.rootCluster = boot.Le32(boot::kRootCluster);
    } else {
        volume.fatSectors = boot.Le16(boot::kFatSectors16);
        const uint16_t total16 = boot.Le16(boot::kTotalSectors16);
        volume.totalSectors = total16 ? total16 : boot.Le32(boot::kTotalSectors32);
        volume.rootEntries = boot.Le16(boot::kRootEntries);
        volume.rootSectors = uint32_t((uint64_t(volume.rootEntries) * kEntryBytes + kSectorBytes - 1) / kSectorBytes);
    }
    if (volume.fatCount == 0 || volume.reservedSectors == 0 || volume.fatSectors == 0) return false;
    const uint64_t fatArea = uint64_t(volume.fatCount) * volume.fatSectors;
    const uint64_t overhead = volume.reservedSectors + fatArea + volume.rootSectors;
    if (overhead >= volume.totalSectors) return false;
    volume.rootStart = uint32_t(volume.reservedSectors + fatArea);
    volume.dataStart = uint32_t(overhead);
    const uint64_t clusters = (volume.totalSectors - overhead) / volume.sectorsPerCluster;
    // The FAT's entries 0 and 1 hold no cluster.
    const uint64_t capacity = FatEntryCapacity(volume);
    const uint64_t cap = capacity > 2 ? capacity - 2 : 0;
    // Cluster numbers from the bad-cluster mark on would read as marks.
    const uint64_t typeLimit = uint64_t(MarksOf(volume.type).bad) - 2;
    volume.clusterCount = uint32_t(std::min<uint64_t>({clusters, cap, typeLimit}));
    if (volume.clusterCount == 0) return false;
    const uint64_t fatBytes = uint64_t(volume.fatSectors) * kSectorBytes;
    if (fatBytes > kMaxFatBytes) return false;
    const uint64_t diskSectors = DiskSectorsKnown(ctx);
    if (diskSectors && uint64_t(volume.partitionStart) + volume.dataStart > diskSectors) return false;
    volume.fat.assign(fatBytes, 0);
    if (ReadDiskSectors(ctx, uint64_t(volume.partitionStart) + volume.reservedSectors, volume.fat.data(),
                        volume.fatSectors) != volume.fatSectors) {
        return false;
    }
    volume.dirtyFatSectors.assign(volume.fatSectors, 0);
    return true;
}

bool LoadFat1216Geometry(image::ImageContext& ctx, FatVolume& volume) {
    if (!LoadCommonGeometry(ctx, volume)) return false;
    volume.rootDir.assign(size_t(volume.rootSectors) * kSectorBytes, 0);
    if (volume.rootSectors &&
        ReadDiskSectors(ctx, uint64_t(volume.partitionStart) + volume.rootStart, volume.rootDir.data(),
                        volume.rootSectors) != volume.rootSectors) {
        return false;
    }
    return true;
}

bool HasFsInfoSignatures(const uint8_t* sector) {
    return foundation::ReadLE32(sector + fsinfo::kLeadSignature) == fsinfo::kLeadValue &&
           foundation::ReadLE32(sector + fsinfo::kStructSignature) == fsinfo::kStructValue &&
           foundation::ReadLE32(sector + fsinfo::kTrailSignature) == fsinfo::kTrailValue;
}

// The FSInfo sector where the BPB names it, inside the reserved area and
// carrying its signatures; a volume made with few reserved sectors may hold
// the FAT where sector 1 or 7 would be.
void LocateFsInfo(image::ImageContext& ctx, FatVolume& volume) {
    foundation::ByteCursor boot(volume.bootSector.data(), volume.bootSector.size());
    const uint32_t info = boot.Le16(boot::kFsInfoSector);
    const uint32_t backupBoot = boot.Le16(boot::kBackupBootSector);
    std::array<uint8_t, kSectorBytes> sector{};
    image::QuietReadScope quiet(ctx);
    if (info == 0 || info >= volume.reservedSectors) return;
    if (ReadDiskSectors(ctx, uint64_t(volume.partitionStart) + info, sector.data(), 1) != 1) return;
    if (!HasFsInfoSignatures(sector.data())) return;
    volume.fsInfoSector = info;
    if (backupBoot == 0 || backupBoot == 0xFFFF || uint64_t(backupBoot) + info >= volume.reservedSectors) return;
    if (ReadDiskSectors(ctx, uint64_t(volume.partitionStart) + backupBoot + info, sector.data(), 1) != 1) return;
    if (HasFsInfoSignatures(sector.data())) volume.backupFsInfoSector = backupBoot + info;
}

bool LoadFat32Geometry(image::ImageContext& ctx, FatVolume& volume) {
    if (!LoadCommonGeometry(ctx, volume)) return false;
    LocateFsInfo(ctx, volume);
    return true;
}

// Free clusters counted from the FAT: an FSInfo count is only a hint, and one
// that lies would let an allocation run dry half-way.
void CountFreeClusters(FatVolume& volume) {
    volume.freeCount = 0;
    volume.nextFree = 0;
    for (uint32_t n = 2; n < volume.clusterCount + 2; ++n) {
        if (GetFatEntry(volume, n) == volume.marks.free) {
            if (volume.freeCount == 0) volume.nextFree = n;
            ++volume.freeCount;
        }
    }
    if (volume.nextFree == 0) volume.nextFree = 2;
}

void SetVolumeLabel(image::ImageContext& ctx, FatVolume& volume) {
    std::u16string& label = ctx.volumeTexts[image::volume_text::kVolumeLabel];
    if (label.empty() && volume.type != FatType::kFat32) {
        std::string raw(reinterpret_cast<const char*>(volume.bootSector.data() + boot::kLabel1216), 11);
        while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.pop_back();
        // "NO NAME" is what formatters write when no label was given.
        if (!raw.empty() && raw != "NO NAME") label = image::MultiByteToWideText(raw, platform::kCodePageOem);
    }
    while (!label.empty() && label.back() == u' ') label.pop_back();
    if (label.empty()) label = foundation::GetLangString(kNoLabelStringId, u"<No Label>");
}

}  // namespace

FatVolume* GetFatVolume(image::ImageContext& ctx) { return ctx.fatState ? &ctx.fatState->volume : nullptr; }

bool IsDataCluster(const FatVolume& volume, uint32_t n) { return n >= 2 && n - 2 < volume.clusterCount; }

bool IsEndMark(const FatVolume& volume, uint32_t value) {
    switch (volume.type) {
    case FatType::kFat12: return value >= 0xFF8;
    case FatType::kFat16: return value >= 0xFFF8;
    default: return value >= 0x0FFFFFF8;
    }
}

uint32_t GetFatEntry(const FatVolume& volume, uint32_t n) {
    if (!IsDataCluster(volume, n)) return volume.marks.endOfChain;
    foundation::ByteCursor fat(volume.fat.data(), volume.fat.size());
    switch (volume.type) {
    case FatType::kFat12: {
        const uint64_t at = uint64_t(n) + n / 2;
        const uint16_t word = fat.Le16(at);
        if (!fat.Ok()) return volume.marks.endOfChain;
        return (n & 1) ? uint32_t(word >> 4) : uint32_t(word & 0x0FFF);
    }
    case FatType::kFat16: {
        const uint16_t word = fat.Le16(uint64_t(n) * 2);
        return fat.Ok() ? word : volume.marks.endOfChain;
    }
    default: {
        const uint32_t word = fat.Le32(uint64_t(n) * 4);
        return fat.Ok() ? (word & 0x0FFFFFFF) : volume.marks.endOfChain;
    }
    }
}

uint64_t ClusterToSector(const FatVolume& volume, uint32_t cluster) {
    return uint64_t(volume.dataStart) + uint64_t(cluster - 2) * volume.sectorsPerCluster;
}

int ReadFatCluster(image::ImageContext& ctx, uint8_t* buffer, uint32_t cluster) {
    FatVolume* volume = GetFatVolume(ctx);
    if (!volume || !IsDataCluster(*volume, cluster)) return -1;
    const uint64_t sector = uint64_t(volume->partitionStart) + ClusterToSector(*volume, cluster);
    return ReadDiskSectors(ctx, sector, buffer, volume->sectorsPerCluster) == volume->sectorsPerCluster ? 0 : -1;
}

int MountFat(image::ImageContext& ctx) {
    auto* state = new (std::nothrow) image::FatState();
    if (!state) return 0;
    ctx.fatState.Attach(state, FreeFatState);
    FatVolume& volume = state->volume;
    volume.partitionStart = ctx.partitionStart;
    bool ok = ProbeFatBootSector(ctx, volume);
    if (ok) ok = volume.type == FatType::kFat32 ? LoadFat32Geometry(ctx, volume) : LoadFat1216Geometry(ctx, volume);
    if (!ok || (!ctx.rootFolder && image::CreateRootFolder(&ctx) != 0)) {
        ctx.fatState.Reset();
        return 0;
    }
    CountFreeClusters(volume);
    volume.writable = ctx.partitionCount <= 1 && !ctx.readOnly;
    volume.totalFileBytes = 0;
    volume.labelCluster = volume.type == FatType::kFat32 ? volume.rootCluster : 0;
    volume.labelIndex = 0;
    ctx.volumeTexts[image::volume_text::kVolumeLabel].clear();
    ReadFatDirectoryTree(ctx, volume);
    if (volume.type == FatType::kFat32 && volume.writable && !volume.damaged) CheckFsInfo(ctx);
    SetVolumeLabel(ctx, volume);
    ctx.formatCode = image::format_code::kDisk;
    const int64_t size = ctx.imageHandle ? foundation::GetFileSize64(ctx.imageHandle.get()) : 0;
    ctx.imageSize = size > 0 ? size : 0;
    ctx.isoNameLimit = 12;
    ctx.jolietNameLimit = 127;
    ctx.jolietLevel = 1;
    ctx.ownsTree = 1;
    return 1;
}

void FreeFatVolume(image::ImageContext& ctx) { ctx.fatState.Reset(); }

bool GetFatEntryRecord(const image::ImageItem* item, FatEntryRecord& record) {
    if (!item) return false;
    const std::vector<uint8_t>& data = item->Side().readerData;
    foundation::ByteCursor bytes(data.data(), data.size());
    if (data.size() != 24 && data.size() != 32) return false;
    record.directoryCluster = bytes.Le32(0);
    record.index = bytes.Le32(4);
    record.entryCount = bytes.Le32(8);
    record.firstCluster = bytes.Le32(12);
    record.size = bytes.Le32(16);
    record.attribute = bytes.Le32(20);
    record.chainDamaged = data.size() == 32 && bytes.Le32(24) != 0;
    record.soundClusters = data.size() == 32 ? bytes.Le32(28) : 0;
    return true;
}

void SetFatEntryRecord(image::ImageItem* item, const FatEntryRecord& record) {
    std::vector<uint8_t>& data = item->EditSide().readerData;
    data.assign(record.chainDamaged ? 32 : 24, 0);
    foundation::WriteLE32(data.data() + 0, record.directoryCluster);
    foundation::WriteLE32(data.data() + 4, record.index);
    foundation::WriteLE32(data.data() + 8, record.entryCount);
    foundation::WriteLE32(data.data() + 12, record.firstCluster);
    foundation::WriteLE32(data.data() + 16, record.size);
    foundation::WriteLE32(data.data() + 20, record.attribute);
    if (record.chainDamaged) {
        foundation::WriteLE32(data.data() + 24, 1);
        foundation::WriteLE32(data.data() + 28, record.soundClusters);
    }
}

void DropFatEntryRecord(image::ImageItem* item) {
    if (item && item->side) item->side->readerData = {};
}

}  // namespace filesystems
