#include "app/other_openers.h"

#include <algorithm>
#include <vector>

#include "app/archive_writer.h"
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
#include "image/document/item_bytes.h"

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

// The file systems and the archive library read an item's bytes through
// image::ReadItemBytes: ranges where their formats keep files in runs, a
// stream where a file is decoded whole (NTFS and ext2 keep theirs, a WIM
// resource is hashed as it is decoded, a solid archive is unpacked in order).
int StreamNtfsItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                   foundation::ProgressCallbacks* progress) {
    return filesystems::ExtractNtfsFile(progress, ctx, item, {}, out);
}

int StreamExt2Item(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                   foundation::ProgressCallbacks* progress) {
    return filesystems::ExtractExt2File(progress, ctx, item, {}, out);
}

int StreamWimItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                  foundation::ProgressCallbacks* progress) {
    return filesystems::ExtractWimFile(progress, &ctx, &item, out);
}

// FAT files through their cluster chains, which the volume reads from a
// 512-byte unit on: a range that starts inside a unit reads from the unit's
// start and drops the head.
int64_t ReadFatRange(image::ImageContext& ctx, const image::ImageItem& item, uint64_t offset, uint8_t* buffer,
                     uint64_t count) {
    constexpr uint64_t kStep = uint64_t(1) << 20;
    const uint64_t unit = filesystems::kDiskSectorBytes;
    std::vector<uint8_t> scratch;
    uint64_t done = 0;
    while (done < count) {
        const uint64_t at = offset + done;
        const uint64_t skip = at % unit;
        const uint64_t n = std::min(kStep, count - done);
        if (at / unit > 0xFFFFFF) return int64_t(done);
        uint32_t got = 0;
        if (skip == 0) {
            got = filesystems::ReadFatFileData(ctx, &item, buffer + done, uint32_t(at / unit), uint32_t(n));
        } else {
            scratch.resize(size_t(skip + n));
            got = filesystems::ReadFatFileData(ctx, &item, scratch.data(), uint32_t(at / unit), uint32_t(skip + n));
            got = got > skip ? uint32_t(got - skip) : 0;
            std::copy_n(scratch.data() + skip, got, buffer + done);
        }
        done += got;
        if (got < n) break;
    }
    return int64_t(done);
}

int64_t ReadArchiveRange(image::ImageContext& ctx, const image::ImageItem& item, uint64_t offset, uint8_t* buffer,
                         uint64_t count) {
    if (item.archiveIndex < 0 || !ctx.archiveLink) {
        platform::SetLastError(platform::kErrorNotSupported);
        return -1;
    }
    return containers::archive::ReadArchiveItemData(ctx, item.archiveIndex, buffer, offset, count);
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

}  // namespace

void InstallReaders() {
    filesystems::InstallFilesystemReaders();
    containers::InstallContainerReaders();
    SetOtherOpenerServices(&g_openers);
    SetDocumentWriter(image::format_code::kMzp, SaveMzpDocument);
    SetDocumentWriter(image::format_code::kXdi, SaveXdiDocument);
    SetDocumentWriter(image::format_code::kDaa, SaveDaaDocument);
    using image::ItemReaderKind;
    image::SetItemReader(ItemReaderKind::Ntfs, {nullptr, StreamNtfsItem});
    image::SetItemReader(ItemReaderKind::Ext2, {nullptr, StreamExt2Item});
    image::SetItemReader(ItemReaderKind::Fat, {ReadFatRange, nullptr});
    image::SetItemReader(ItemReaderKind::Wim, {nullptr, StreamWimItem});
    image::SetItemReader(ItemReaderKind::Archive, {ReadArchiveRange, containers::archive::ExtractArchiveItem});
    SetDocumentWriter(image::format_code::kArchive, WriteArchiveDocument);
}

void UninstallReaders() {
    image::SetItemReader(image::ItemReaderKind::Ntfs, {});
    image::SetItemReader(image::ItemReaderKind::Ext2, {});
    image::SetItemReader(image::ItemReaderKind::Fat, {});
    image::SetItemReader(image::ItemReaderKind::Wim, {});
    image::SetItemReader(image::ItemReaderKind::Archive, {});
    SetDocumentWriter(image::format_code::kArchive, nullptr);
    SetDocumentWriter(image::format_code::kMzp, nullptr);
    SetDocumentWriter(image::format_code::kXdi, nullptr);
    SetDocumentWriter(image::format_code::kDaa, nullptr);
    SetOtherOpenerServices(nullptr);
    containers::UninstallContainerReaders();
    filesystems::UninstallFilesystemReaders();
}

}  // namespace app
