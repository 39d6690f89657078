#pragma once
// What the item tree and the add from disk need of the FAT writer: for a
// document with a FAT volume (its fatState) every edit of the tree is made in
// the volume too. The FAT writer installs the real services; until then there
// is no volume to keep in step: writes and folder creations succeed and
// deletions do nothing.

#include "foundation/services.h"

namespace image {

struct ImageContext;
struct ImageFolder;
struct ImageItem;

class IFatVolumeServices {
public:
    virtual ~IFatVolumeServices() = default;
    // The results are 1 on success.
    // A file added from disk.
    virtual int WriteFile(ImageContext* ctx, ImageItem* item) = 0;
    // A copy of a file already in the volume.
    virtual int CopyFile(ImageContext* ctx, ImageItem* source, ImageItem* copy) = 0;
    // A new folder, whether made in the tree or added from disk.
    virtual int CreateFolder(ImageContext* ctx, ImageFolder* folder) = 0;
    virtual void DeleteFile(ImageContext* ctx, ImageItem* item) = 0;
    virtual void DeleteFolder(ImageContext* ctx, ImageItem* folderItem) = 0;
    // An item renamed or moved in the tree (its parent and name are already
    // the new ones), file or folder.
    virtual int MoveEntry(ImageContext* ctx, ImageItem* item) = 0;
};

namespace detail {
// No FAT writer: nothing to keep in step.
class FatVolumeStandIn final : public IFatVolumeServices {
public:
    int WriteFile(ImageContext*, ImageItem*) override { return 1; }
    int CopyFile(ImageContext*, ImageItem*, ImageItem*) override { return 1; }
    int CreateFolder(ImageContext*, ImageFolder*) override { return 1; }
    void DeleteFile(ImageContext*, ImageItem*) override {}
    void DeleteFolder(ImageContext*, ImageItem*) override {}
    int MoveEntry(ImageContext*, ImageItem*) override { return 1; }
};
}  // namespace detail

inline foundation::ServiceSlot<IFatVolumeServices, detail::FatVolumeStandIn>& FatVolumeServicesSlot() {
    static foundation::ServiceSlot<IFatVolumeServices, detail::FatVolumeStandIn> slot;
    return slot;
}
inline IFatVolumeServices& FatVolumeServices() { return FatVolumeServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IFatVolumeServices* SetFatVolumeServices(IFatVolumeServices* services) {
    return FatVolumeServicesSlot().Install(services);
}

}  // namespace image
