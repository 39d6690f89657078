#include "filesystems/fat/fat_volume_hooks.h"

#include "filesystems/fat/fat_volume.h"
#include "filesystems/fat/fat_write.h"
#include "image/document/item_tree.h"

namespace filesystems {

namespace {

// The tree counts 1 as success; the writer's calls give 0 or -1.
class FatVolumeWriter final : public image::IFatVolumeServices {
public:
    int WriteFile(image::ImageContext* ctx, image::ImageItem* item) override {
        return ctx && FatWriteFile(*ctx, nullptr, item) == 0 ? 1 : 0;
    }
    int CopyFile(image::ImageContext* ctx, image::ImageItem* source, image::ImageItem* copy) override {
        if (!ctx || !copy) return 0;
        // The copy's entry and clusters are its own; a record taken over from
        // the source would make the write (and a delete after a failure)
        // change the source.
        DropFatEntryRecord(copy);
        return FatCopyFile(*ctx, source, copy) == 0 ? 1 : 0;
    }
    int CreateFolder(image::ImageContext* ctx, image::ImageFolder* folder) override {
        return ctx && folder && FatCreateFolder(*ctx, folder->ownItem) == 0 ? 1 : 0;
    }
    void DeleteFile(image::ImageContext* ctx, image::ImageItem* item) override {
        if (ctx) FatDeleteFile(*ctx, item);
    }
    void DeleteFolder(image::ImageContext* ctx, image::ImageItem* folderItem) override {
        if (ctx) FatDeleteFolder(*ctx, folderItem);
    }
    int MoveEntry(image::ImageContext* ctx, image::ImageItem* item) override {
        return ctx && FatMoveEntry(*ctx, item) == 0 ? 1 : 0;
    }
};

}  // namespace

image::IFatVolumeServices& FatVolumeWriterServices() {
    static FatVolumeWriter writer;
    return writer;
}

}  // namespace filesystems
