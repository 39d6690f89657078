#include "app/other_openers.h"

#include "app/item_readers.h"
#include "app/open_document.h"
#include "filesystems/disk/disk_image.h"
#include "filesystems/filesystem_readers.h"
#include "filesystems/ntfs/ntfs_volume.h"
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

}  // namespace

void InstallReaders() {
    filesystems::InstallFilesystemReaders();
    SetOtherOpenerServices(&g_openers);
    SetItemReader(ItemReaderKind::Ntfs, ExtractNtfsItem);
}

void UninstallReaders() {
    SetItemReader(ItemReaderKind::Ntfs, nullptr);
    SetOtherOpenerServices(nullptr);
    filesystems::UninstallFilesystemReaders();
}

}  // namespace app
