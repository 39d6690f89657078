#pragma once
// The texts of the file list's and track lists' cells, and which entries of a
// folder the views show.

#include <cstdint>
#include <string>

namespace image {
struct ImageItem;
}

namespace app::ui {

// "N KB" with N the size in KiB rounded up; empty for the unknown size (all
// 64 bits set). Computed unsigned, so no size near the top overflows.
std::u16string SizeCellText(int64_t size);
// A track of L frames (75 a second): audio "mm:ss.ff", video "mm:ss:ff".
std::u16string AudioLengthText(uint32_t frames);
std::u16string VideoLengthText(uint32_t frames);
// L raw sectors of 2352 bytes in KiB: "N KB".
std::u16string TrackSizeText(uint32_t frames);
// Every entry but "." and ".." and the excluded ones.
bool IsVisibleItem(const image::ImageItem& item);
bool IsFolderItem(const image::ImageItem& item);

}  // namespace app::ui
