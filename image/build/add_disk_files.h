#pragma once
// Putting disk files and folders into a document's item tree (the add-files
// command, drag-and-drop, new folder, the console's add commands), entries of
// a given size without a source (Video CD entries), the path texts of tree
// nodes and folder dates.
//
// Disk folders are walked with an explicit work list (however deep the disk
// tree), entries of a folder in name order. Rules of the Linux walk:
//   - a full path longer than 1024 UTF-16 units is skipped silently;
//   - a symbolic link is added as the file it points to only when that file
//     lies inside the added tree (the folder being added; for a single file,
//     the folder that holds it); a link to a folder, a dangling link or one
//     that leads outside is skipped with a message. So a link never copies a
//     tree twice or loops back into an ancestor, and never pulls in data the
//     user did not select;
//   - fifos, sockets and devices are skipped with a message (a save would
//     block or read endless data from them);
//   - nothing is marked hidden: Linux has no hidden attribute, and a leading dot
//     is part of the name, kept as it is;
//   - a name that is not valid UTF-8 cannot be opened again by a UTF-16 path, so
//     it gets the "cannot be accessed" question;
//   - two names of one disk folder that differ only in case (a.txt, A.TXT) would
//     meet as one name in the tree: the second keeps its data under a unique name
//     ("A~1.TXT") instead of replacing the first.
//
// All questions and messages go through the message and prompt services, so a
// worker's question is shown by the progress dialog. A cancel answer sets
// OperationStatus to 1 and every walk stops at the next entry.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/build/disk_add_services.h"

namespace image {

struct ImageContext;
struct ImageFolder;
struct ImageItem;

// Longest full disk path (UTF-16 units) the walk adds.
constexpr size_t kMaxDiskPathChars = 1024;
// Deepest folder chain GetFolderPath walks.
constexpr int32_t kMaxFolderPathLevels = 1024;

// Fills folder with the entries of the disk folder diskPath (and their
// subfolders). folderItem is the folder's own item (may be null). 1.
int AddDiskFolderContents(ImageContext* ctx, ImageFolder* folder, std::u16string_view diskPath, ImageItem* folderItem);
// Adds one disk file or folder (with its contents) as name into folder. The
// new item, the existing folder item a folder was merged into, or null when
// nothing was added.
ImageItem* AddDiskItem(ImageContext* ctx, ImageFolder* folder, std::u16string_view fullPath, std::u16string_view name);
// A new empty folder named name in parent (with its folder record); null when
// out of memory or the name is empty.
ImageItem* AddNewFolder(ImageContext* ctx, ImageFolder* parent, std::u16string_view name);
// The folder record of a folder: with reuse, an existing subfolder of parent
// whose name matches (case-insensitively) is returned; otherwise the record is
// made for item (or for a new folder item, which then gets "." and ".."
// entries), appended to parent's subfolders (or made the root when parent is
// null). path is the folder's "\"-separated tree path; the display name is its
// last part (item's name when it ends with "\"). Null when out of memory.
ImageFolder* NewFolderRecord(ImageContext* ctx, ImageFolder* parent, std::u16string_view path, ImageItem* item,
                             bool reuse);
// Unlinks and frees a folder record that holds no entries but "." and "..",
// together with its own item in parent. 1 when removed, 0 when it holds entries.
int RemoveEmptyFolderRecord(ImageFolder* parent, ImageFolder* folder);
// An entry of size bytes without a disk source (Video CD entries); marker is
// both its source marker and data start. Null when refused or out of memory.
ImageItem* AddPlaceholderItem(ImageContext* ctx, ImageFolder* folder, std::u16string_view name, int64_t size,
                              uint32_t marker);
// "\"-separated path of folder from top (null: the root); the top contributes
// the leading "\". extraChars is room reserved for what the caller appends.
// Nothing when the chain is deeper than kMaxFolderPathLevels.
std::optional<std::u16string> GetFolderPath(ImageContext* ctx, ImageFolder* folder, ImageFolder* top,
                                            size_t extraChars);
// "/"-separated path of the item from the root ("/a/b.txt").
std::optional<std::u16string> GetItemArchivePath(ImageContext* ctx, ImageItem* item);
// Sets the date of the folder's item (with recursive, of every entry and every
// subfolder that is not excluded). 1 when anything changed.
int SetFolderTime(ImageContext* ctx, ImageFolder* folder, int64_t time, bool recursive);

// The answer to the last same-name question of an add: 0..4 as the prompt
// answers, 4 after a refusal message; -1 none yet.
int32_t GetLastAddAnswer();
void SetLastAddAnswer(int32_t answer);

// lstat-like with followLinks false, stat-like with true, through the disk add
// services (image/build/disk_add_services.h): 0, or -1 with the last error set.
int ReadDiskEntryStatus(const std::string& utf8Path, bool followLinks, DiskEntryStatus& status);

}  // namespace image
