#pragma once
// The editing commands' work on the current document: new folder, add from
// disk, rename, volume label and delete, with the modified flag that tells
// the save what to write. The window's commands and the views call these; the
// views are told of every change through the main-window services, and the
// rename half is what the views reach through app::RenameServices.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/rename_services.h"

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace app {

// how 0: nothing. Otherwise the modified flag gets how ORed in (documents of
// format code 2 always get 2: they have no in-place update), the document
// counts as changed since open, and the title follows. how 1 is a change the
// in-place update can write (the volume label), 2 any other.
void SetDocumentModified(int how);

// A current document that is neither read-only nor an audio CD.
bool IsWritableDataDocument();

// "New Folder", else "New Folder(2)", "(3)", ... (names compared without
// case) made in parent; the views told, the document modified. Null when the
// document may not change.
image::ImageItem* CreateNewFolder(image::ImageFolder* parent);

// The disk file or folder at path added under folder with its last path
// component as its name (a trailing "/" ignored; "/" itself refused). Null
// when nothing was added.
image::ImageItem* AddDiskPath(image::ImageFolder* folder, std::u16string_view path);

// The end of a label edit in the file list: 0 renamed, -1 refused (a bad
// name, a sibling of that name, a name equal to the old one without case, a
// document that may not change).
int RenameListItem(image::ImageItem* item, std::u16string_view name);
// The same for a folder of the tree: 1 renamed, anything else refused.
int RenameTreeFolder(image::ImageFolder* folder, std::u16string_view name);
// True when the document took a label different from its old one.
bool SetVolumeLabel(std::u16string_view label);

// Whether the item may be deleted or renamed: Video CD track files keep
// their place and their names.
bool IsProtectedItem(const image::ImageContext* ctx, const image::ImageItem* item);

// Removes the items (files, and folders with everything in them) of the
// current document after the views were told; the document modified. When
// the shown folder is among what goes (or below it), the views move to the
// nearest folder that stays first. The number of items removed.
int64_t DeleteItems(const std::vector<image::ImageItem*>& items);
// Every entry of the root (Video CD track files stay).
int64_t DeleteRootContents();

// The rename services the views reach, over the functions above.
class DocumentRenameServices final : public IRenameServices {
public:
    int RenameListItem(image::ImageItem* item, std::u16string_view name) override;
    int RenameTreeFolder(image::ImageFolder* folder, std::u16string_view name) override;
    bool SetVolumeLabel(std::u16string_view label) override;
};

}  // namespace app
