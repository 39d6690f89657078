#include "app/other_openers.h"

#include "app/open_document.h"
#include "filesystems/disk/disk_image.h"
#include "filesystems/filesystem_readers.h"
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

}  // namespace

void InstallReaders() {
    filesystems::InstallFilesystemReaders();
    SetOtherOpenerServices(&g_openers);
}

void UninstallReaders() {
    SetOtherOpenerServices(nullptr);
    filesystems::UninstallFilesystemReaders();
}

}  // namespace app
