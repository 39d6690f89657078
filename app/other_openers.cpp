#include "app/other_openers.h"

#include <algorithm>
#include <vector>

#include "app/archive_writer.h"
#include "app/item_readers.h"
#include "app/open_document.h"
#include "app/save_engine.h"
#include "containers/archive/arc_extract.h"
#include "containers/archive/arc_open.h"
#include "app/save_output.h"
#include "containers/container_readers.h"
#include "containers/mzp/container_install.h"
#include "containers/xdi/xdi_container.h"
#include "containers/daa/daa_container.h"
#include "filesystems/disk/disk_image.h"
#include "filesystems/filesystem_readers.h"
#include "filesystems/ext2/ext2_volume.h"
#include "filesystems/fat/fat_volume.h"
#include "filesystems/hfs/hfs_volume.h"
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
    image::ImageContext* OpenArchiveAsImage(std::u16string_view path, bool forMount, int reserved, int* code) override {
        return containers::archive::OpenArchiveAsImage(path, forMount, reserved, code);
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

// Items whose reader hands out byte ranges: read a megabyte at a time and
// written in order. A range that cannot be read is an error, never zeros.
template <typename ReadRange>
int CopyItemByRanges(const image::ImageItem& item, platform::FileHandle out, foundation::ProgressCallbacks* progress,
                     ReadRange readRange) {
    constexpr uint64_t kChunk = uint64_t(1) << 20;
    const uint64_t size = item.size > 0 ? uint64_t(item.size) : 0;
    std::vector<uint8_t> buffer(size_t(std::min(size, kChunk)));
    for (uint64_t done = 0; done < size;) {
        if (image::WaitIfPaused(progress) == 0) return 0;
        const uint64_t n = std::min(kChunk, size - done);
        if (!readRange(done, buffer.data(), n)) {
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

// UDF files through their allocation extents.
int ExtractUdfItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                   foundation::ProgressCallbacks* progress) {
    return CopyItemByRanges(item, out, progress, [&](uint64_t at, uint8_t* buffer, uint64_t n) {
        return filesystems::ReadUdfItemBytes(ctx, item, at, buffer, n) == int64_t(n);
    });
}

// FAT files through their cluster chains; ranges start on whole megabytes, so
// always on a 512-byte unit.
int ExtractFatItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                   foundation::ProgressCallbacks* progress) {
    return CopyItemByRanges(item, out, progress, [&](uint64_t at, uint8_t* buffer, uint64_t n) {
        return filesystems::ReadFatFileData(ctx, &item, buffer, uint32_t(at / filesystems::kDiskSectorBytes),
                                            uint32_t(n)) == n;
    });
}

// MZP archives: a MARFS volume of the document, each volume through the save's output set.
int SaveMzpDocument(SaveRequest& request) {
    SaveOutputSet& output = request.output;
    return containers::SaveMzpArchive(request.ctx, request.path,
                                      [&output](std::u16string_view path) { return output.OpenVolume(path); },
                                      request.progress);
}

// XDI images: the image build of the document, each part through the output set.
int SaveXdiDocument(SaveRequest& request) {
    SaveOutputSet& output = request.output;
    return containers::SaveXdiImage(request.ctx, request.path,
                                    [&output](std::u16string_view path) { return output.OpenVolume(path); },
                                    request.progress);
}

// DAA images: the image build of the document, each volume through the output set.
int SaveDaaDocument(SaveRequest& request) {
    SaveOutputSet& output = request.output;
    return containers::SaveDaaImage(request.ctx, request.path,
                                    [&output](std::u16string_view path) { return output.OpenVolume(path); },
                                    request.progress);
}

// HFS and HFS+ files through the runs of their data forks.
int ExtractHfsItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                   foundation::ProgressCallbacks* progress) {
    return CopyItemByRanges(item, out, progress, [&](uint64_t at, uint8_t* buffer, uint64_t n) {
        return filesystems::ReadHfsItemBytes(ctx, item, at, buffer, n) == int64_t(n);
    });
}

}  // namespace

void InstallReaders() {
    filesystems::InstallFilesystemReaders();
    containers::InstallContainerReaders();
    SetOtherOpenerServices(&g_openers);
    SetDocumentWriter(image::format_code::kMzp, SaveMzpDocument);
    SetDocumentWriter(image::format_code::kXdi, SaveXdiDocument);
    SetDocumentWriter(image::format_code::kDaa, SaveDaaDocument);
    SetItemReader(ItemReaderKind::Ntfs, ExtractNtfsItem);
    SetItemReader(ItemReaderKind::Udf, ExtractUdfItem);
    SetItemReader(ItemReaderKind::Ext2, ExtractExt2Item);
    SetItemReader(ItemReaderKind::Fat, ExtractFatItem);
    SetItemReader(ItemReaderKind::Wim, ExtractWimItem);
    SetItemReader(ItemReaderKind::Archive, containers::archive::ExtractArchiveItem);
    SetDocumentWriter(image::format_code::kArchive, WriteArchiveDocument);
    SetItemReader(ItemReaderKind::Hfs, ExtractHfsItem);
    SetItemReader(ItemReaderKind::HfsPlus, ExtractHfsItem);
}

void UninstallReaders() {
    SetItemReader(ItemReaderKind::Ntfs, nullptr);
    SetItemReader(ItemReaderKind::Udf, nullptr);
    SetItemReader(ItemReaderKind::Ext2, nullptr);
    SetItemReader(ItemReaderKind::Fat, nullptr);
    SetItemReader(ItemReaderKind::Wim, nullptr);
    SetItemReader(ItemReaderKind::Archive, nullptr);
    SetDocumentWriter(image::format_code::kArchive, nullptr);
    SetDocumentWriter(image::format_code::kMzp, nullptr);
    SetDocumentWriter(image::format_code::kXdi, nullptr);
    SetDocumentWriter(image::format_code::kDaa, nullptr);
    SetItemReader(ItemReaderKind::Hfs, nullptr);
    SetItemReader(ItemReaderKind::HfsPlus, nullptr);
    SetOtherOpenerServices(nullptr);
    containers::UninstallContainerReaders();
    filesystems::UninstallFilesystemReaders();
}

}  // namespace app
