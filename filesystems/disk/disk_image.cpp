#include "filesystems/disk/disk_image.h"

#include <array>
#include <memory>

#include "filesystems/disk/partition_chooser_services.h"
#include "filesystems/disk/partition_table.h"
#include "filesystems/disk/virtual_disk.h"
#include "filesystems/ext2/ext2_volume.h"
#include "filesystems/fat/fat_volume.h"
#include "filesystems/ntfs/ntfs_volume.h"
#include "foundation/messages.h"
#include "foundation/strings.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/format.h"

namespace filesystems {
namespace {

constexpr uint32_t kStringCannotOpenPartition = 1660;
constexpr uint32_t kStringPartition = 1630;

// The context keeps the caller's handle only when the open succeeds.
struct GiveBackHandle {
    void operator()(image::ImageContext* ctx) const {
        (void)ctx->imageHandle.release();
        image::FreeImageDocument(ctx);
    }
};
using PendingDisk = std::unique_ptr<image::ImageContext, GiveBackHandle>;

void ReportRefusal(std::u16string_view path, DiskRefusal refusal) {
    const char16_t* text = refusal == DiskRefusal::kDifferencing
                               ? u"%s\r\n\r\nThis is a differencing disk: its contents depend on a parent disk, "
                                 u"which is not opened with it."
                               : u"%s\r\n\r\nThis disk stores compressed grains, which cannot be read.";
    foundation::AppMessageBox(platform::Format(text, std::u16string(path)), foundation::kMbIconStop);
}

void ReportUnreadablePartition(int chosen, int32_t partitionClass) {
    std::u16string className;
    GetPartitionClassName(partitionClass, className);
    foundation::AppMessageBox(platform::Format(u"%s\r\n\r\n%s%d:    %s", foundation::LangString(kStringCannotOpenPartition),
                                               foundation::LangString(kStringPartition), chosen + 1, className),
                              foundation::kMbIconStop);
}

}  // namespace

image::ImageContext* OpenDiskImage(std::u16string_view path, foundation::FileHandle file, int* reported) {
    int ignored = 0;
    int& told = reported ? *reported : ignored;
    told = 0;
    if (!file) return nullptr;
    PendingDisk ctx(new image::ImageContext());
    ctx->imageHandle.reset(file);
    ctx->imagePath.assign(path);
    const int64_t fileSize = foundation::GetFileSize64(file);
    ctx->imageSize = fileSize < 0 ? 0 : fileSize;
    ctx->primaryDescriptorSector = -1;
    ctx->jolietDescriptorSector = -1;
    ctx->bootRecordSector = -1;

    DiskRefusal refusal = DiskRefusal::kNone;
    OpenVirtualDisk(*ctx, &refusal);
    if (refusal != DiskRefusal::kNone) {
        ReportRefusal(path, refusal);
        told = 1;
        return nullptr;
    }

    std::array<uint8_t, kDiskSectorBytes> bootRecord{};
    if (ReadDiskSectors(*ctx, 0, bootRecord.data(), 1) != 1) return nullptr;
    // FAT and NTFS boot sectors and partition tables end in 0x55AA; an ext2
    // volume that fills the disk has no such mark (its superblock lies at
    // byte 1024), so a disk without one is still probed for it as a whole.
    const bool bootSigned = bootRecord[kBootSignatureOffset] == 0x55 && bootRecord[kBootSignatureOffset + 1] == 0xAA;

    const uint64_t diskSectors = DiskSizeBytes(*ctx) / kDiskSectorBytes;
    bool wholeDisk = !bootSigned || UsesWholeDisk(bootRecord.data());
    std::vector<DiskPartitionRow> rows;
    if (!wholeDisk) {
        rows = ListDiskPartitions(*ctx, bootRecord.data(), diskSectors);
        // A table with nothing to offer (only an empty extended chain) leaves
        // the disk as a whole, as an empty table does.
        wholeDisk = rows.empty();
    }
    int chosen = -1;
    if (wholeDisk) {
        ctx->partitionStart = 0;
        ctx->partitionSectors = diskSectors;
        ctx->partitionClass = 0;
        ctx->partitionCount = 0;
    } else {
        chosen = PartitionChooserServices().ChooseDiskPartition(*ctx, rows);
        if (chosen < 0 || static_cast<size_t>(chosen) >= rows.size()) {
            told = 1;
            return nullptr;
        }
        ctx->partitionStart = rows[static_cast<size_t>(chosen)].firstSector;
        ctx->partitionSectors = rows[static_cast<size_t>(chosen)].sectorCount;
        ctx->partitionClass = rows[static_cast<size_t>(chosen)].partitionClass;
        ctx->partitionCount = static_cast<int32_t>(rows.size());
    }

    if (image::CreateRootFolder(ctx.get()) != 0) return nullptr;
    ctx->ownsTree = 1;
    const bool mounted =
        bootSigned ? MountFat(*ctx) == 1 || MountNtfs(*ctx) == 1 || MountExt2(*ctx) == 1 : MountExt2(*ctx) == 1;
    // Not a disk at all: the other openers may know the file.
    if (!mounted && !bootSigned) return nullptr;
    if (!mounted && !wholeDisk) {
        ReportUnreadablePartition(chosen, ctx->partitionClass);
        told = 1;
        return nullptr;
    }
    if (mounted) {
        // These volumes keep long names: an image made of one keeps them as
        // Joliet names, not as ISO 9660 names cut to 8.3.
        ctx->isoNameLimit = 12;
        ctx->jolietNameLimit = 127;
        ctx->jolietLevel = 1;
    }
    if (ctx->partitionCount > 1) ctx->readOnly = 1;
    ctx->formatCode = image::format_code::kDisk;
    return ctx.release();
}

uint32_t ReadDiskSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    // Edits of a FAT volume live in its overlay until a save, so it is asked
    // first, whatever disk lies below it.
    if (ctx.fatState) return ReadFatOverlaySectors(ctx, sector, buffer, count);
    return ReadBackingSectors(ctx, sector, buffer, count);
}

uint32_t ReadBackingSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    if (!ctx.imageHandle || count == 0) return 0;
    bool handled = false;
    const uint32_t got = ReadVirtualDiskSectors(ctx, sector, buffer, count, &handled);
    if (handled) return got;
    const size_t bytes = size_t(count) * kDiskSectorBytes;
    if (sector > UINT64_MAX / kDiskSectorBytes) return 0;
    return foundation::ReadFileAt(ctx.imageHandle.get(), buffer, sector * kDiskSectorBytes, bytes) ? count : 0;
}

}  // namespace filesystems
