#pragma once
// The document's rename commands as the views reach them: the end of a label
// edit in the file list or the folder tree, and the volume label. The editing
// commands install themselves here; until they do, every rename is refused
// and the views keep the old text.

#include <string_view>

#include "foundation/services.h"

namespace image {
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace app {

class IRenameServices {
public:
    virtual ~IRenameServices() = default;
    // 0 renamed, -1 refused (the row keeps its old name).
    virtual int RenameListItem(image::ImageItem* item, std::u16string_view name) = 0;
    // 1 renamed; anything else refused.
    virtual int RenameTreeFolder(image::ImageFolder* folder, std::u16string_view name) = 0;
    // True when the document took the new label.
    virtual bool SetVolumeLabel(std::u16string_view label) = 0;
};

namespace detail {
struct RenameStandIn final : IRenameServices {
    int RenameListItem(image::ImageItem*, std::u16string_view) override { return -1; }
    int RenameTreeFolder(image::ImageFolder*, std::u16string_view) override { return 0; }
    bool SetVolumeLabel(std::u16string_view) override { return false; }
};
}  // namespace detail

inline foundation::ServiceSlot<IRenameServices, detail::RenameStandIn>& RenameServicesSlot() {
    static foundation::ServiceSlot<IRenameServices, detail::RenameStandIn> slot;
    return slot;
}
inline IRenameServices& RenameServices() { return RenameServicesSlot().Get(); }
inline IRenameServices* SetRenameServices(IRenameServices* s) { return RenameServicesSlot().Install(s); }

}  // namespace app
