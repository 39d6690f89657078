#pragma once
// Shared by the item-tree files only.

#include <string>
#include <string_view>

#include "image/document/folder_name_index.h"
#include "image/document/item_tree.h"

namespace image {

const FatTreeHooks* CurrentFatHooks();
bool IsFatDocument(const ImageContext* ctx);
ImageItem* FindChildFiltered(ImageFolder* folder, std::u16string_view name, DisplayNameIndex::Filter filter);
// parent's path, "\" and the name ("" parent path: the name alone).
std::u16string JoinFolderPath(const ImageFolder* parent, std::u16string_view name);

}  // namespace image
