#pragma once
// Shared by the item-tree files only.

#include <cstdint>
#include <string>
#include <string_view>

#include "image/document/folder_name_index.h"
#include "image/document/item_tree.h"

namespace image {

// Language strings of the copy, move and add messages.
namespace edit_text {
constexpr uint32_t kCannotCopy = 1050;
constexpr uint32_t kCannotMove = 1060;
constexpr uint32_t kFolderExists = 1070;
constexpr uint32_t kFileExists = 1080;
constexpr uint32_t kSameFolder = 1090;
constexpr uint32_t kSubfolder = 1100;
}  // namespace edit_text
// "Cannot copy %s: %s" or "Cannot move %s: %s", translated.
std::u16string EditErrorFormat(bool move);
// The translated reason of an edit_text id (kFolderExists .. kSubfolder).
std::u16string EditReasonText(uint32_t id);

// A document with a FAT volume, whose edits go to the FAT volume services too.
bool IsFatDocument(const ImageContext* ctx);
ImageItem* FindChildFiltered(ImageFolder* folder, std::u16string_view name, DisplayNameIndex::Filter filter);

}  // namespace image
