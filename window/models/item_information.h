#pragma once
// The texts of the Information dialog for what is selected in one of the
// three views (a tree folder, file-list items, tracks), and the date the
// dialog stores into the selected items.

#include <cstdint>
#include <string>
#include <vector>

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace dialogs {

enum class InformationSource : int { TreeFolder = 1, ListItems = 2, Tracks = 3 };

struct InformationTexts {
    std::u16string name;
    std::u16string type;
    std::u16string location;
    std::u16string size;
    std::u16string include;
    std::u16string date;
};

// "<size> (<bytes> bytes)" as the dialog shows a byte total.
std::u16string InformationSizeText(uint64_t bytes);
// "<n> Files, <m> Folders".
std::u16string InformationIncludeText(int64_t files, int64_t folders);
// The item's date as the file list shows it: its own time, else the
// document's fixed item time, else the date stored in its record.
std::u16string InformationItemDate(const image::ImageContext* ctx, const image::ImageItem* item);

// A folder of the tree ("\" names the root); counts everything below it.
InformationTexts FolderInformation(image::ImageContext* ctx, image::ImageFolder* folder);
// File-list items in selection order; empty when none.
InformationTexts ItemsInformation(image::ImageContext* ctx, const std::vector<image::ImageItem*>& items);
// Tracks of the document's track list (0-based indices).
InformationTexts TracksInformation(const image::ImageContext* ctx, const std::vector<int>& tracks);

// Gives the folder (source 1) or the items (source 2) the time (seconds since
// 1970, 0 = the time of the file each came from); with children, everything
// below them too. Tracks store nothing. True when anything changed.
bool ApplyInformationTime(image::ImageContext* ctx, InformationSource source, image::ImageFolder* folder,
                          const std::vector<image::ImageItem*>& items, int64_t time, bool children);

}  // namespace dialogs
