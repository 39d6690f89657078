#include "app/other_openers.h"

#include <algorithm>
#include <vector>

#include "app/item_readers.h"
#include "app/open_document.h"
#include "filesystems/disk/disk_image.h"
#include "filesystems/filesystem_readers.h"
#include "filesystems/ext2/ext2_volume.h"
#include "filesystems/ntfs/ntfs_volume.h"
#include "filesystems/udf/udf_volume.h"
#include "foundation/operation_status.h"
#include "image/document/pause_cancel.h"
#include "platform/last_error.h"
#include "filesystems/wim/wim_archive.h"
#include "image/document/document.h"

namespace app {
namespace {

class Openers final : public OtherOpenerStandIn {
public:
    image::ImageContext* OpenDiskImage(std::u16string_view path, foundation::FileHandle file, int* code) override {
        int reported = 0;
        image::ImageContext* ctx = filesystems::OpenDiskImage(path, file, &reported);
        if (!ctx) *code = reported ? image::open_result::kCancelled : image::open_result::kNotRecognised;
        return ctx;
    }
    image::ImageContext* OpenWimArchive(std::u16string_view path, foundation::FileHandle file, int* code) override {
        return filesystems::OpenWimArchive(path, file, code);
    }
};

Openers g_openers;

// The extraction job's entries of the file systems that extract their items.
int ExtractNtfsItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                    foundation::ProgressCallbacks* progress) {
    return filesystems::ExtractNtfsFile(progress, ctx, item, {}, out);
}

int ExtractExt2Item(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                    foundation::ProgressCallbacks* progress) {
    return filesystems::ExtractExt2File(progress, ctx, item, {}, out);
}

int ExtractWimItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                   foundation::ProgressCallbacks* progress) {
    return filesystems::ExtractWimFile(progress, &ctx, &item, out);
}

// UDF files through their allocation extents, a megabyte at a time.
int ExtractUdfItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                   foundation::ProgressCallbacks* progress) {
    constexpr uint64_t kChunk = uint64_t(1) << 20;
    const uint64_t size = item.size > 0 ? uint64_t(item.size) : 0;
    std::vector<uint8_t> buffer(size_t(std::min(size, kChunk)));
    for (uint64_t done = 0; done < size;) {
        if (image::WaitIfPaused(progress) == 0) return 0;
        const uint64_t n = std::min(kChunk, size - done);
        if (filesystems::ReadUdfItemBytes(ctx, item, done, buffer.data(), n) != int64_t(n)) {
            // A block that cannot be read is an error, never zeros.
            if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorReadFault);
            foundation::OperationStatus = foundation::kStatusSourceReadFailed;
            return -1;
        }
        if (platform::FileWriteAt(out, done, buffer.data(), size_t(n)) != int64_t(n)) {
            foundation::OperationStatus = foundation::kStatusWriteFailed;
            return -1;
        }
        done += n;
        if (progress && progress->AddDone) progress->AddDone(int64_t(n));
    }
    return 1;
}

}  // namespace

void InstallReaders() {
    filesystems::InstallFilesystemReaders();
    SetOtherOpenerServices(&g_openers);
    SetItemReader(ItemReaderKind::Ntfs, ExtractNtfsItem);
    SetItemReader(ItemReaderKind::Udf, ExtractUdfItem);
    SetItemReader(ItemReaderKind::Ext2, ExtractExt2Item);
    SetItemReader(ItemReaderKind::Wim, ExtractWimItem);
}

void UninstallReaders() {
    SetItemReader(ItemReaderKind::Ntfs, nullptr);
    SetItemReader(ItemReaderKind::Udf, nullptr);
    SetItemReader(ItemReaderKind::Ext2, nullptr);
    SetItemReader(ItemReaderKind::Wim, nullptr);
    SetOtherOpenerServices(nullptr);
    filesystems::UninstallFilesystemReaders();
}

}  // namespace app
