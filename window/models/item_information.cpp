#include "window/models/item_information.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "foundation/dates.h"
#include "foundation/language.h"
#include "foundation/window_faces.h"
#include "image/build/add_disk_files.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/iso/iso_record_layout.h"
#include "image/sheets/track_list.h"
#include "window/models/file_exists_sides.h"

namespace dialogs {

namespace {

std::u16string DifferentNames() { return foundation::GetLangString(450, u"<Different Names>"); }
std::u16string DifferentTypes() { return foundation::GetLangString(430, u"<Different Types>"); }
std::u16string DifferentDates() { return foundation::GetLangString(440, u"<Different Date>"); }

std::u16string DateText(const std::array<uint8_t, 7>& date) { return foundation::FormatRecordDateText(date); }

// An item's time as stored: the picker's seconds clamped to what the item holds.
uint32_t StoredTime(int64_t time) {
    return static_cast<uint32_t>(std::clamp<int64_t>(time, 0, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

std::u16string InformationSizeText(uint64_t bytes) { return FileSizeText(bytes); }

std::u16string InformationIncludeText(int64_t files, int64_t folders) {
    std::u16string format = foundation::GetLangString(1480, u"%d Files, %d Folders");
    // The translated text carries two %d, filled in order; a translation
    // without them shows as it is.
    std::u16string out;
    int filled = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u'd' && filled < 2) {
            const std::string digits = std::to_string(filled == 0 ? files : folders);
            out.append(digits.begin(), digits.end());
            ++filled;
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

std::u16string InformationItemDate(const image::ImageContext* ctx, const image::ImageItem* item) {
    std::array<uint8_t, 7> date{};
    const int64_t time = item->time != 0 ? int64_t{item->time} : ctx ? ctx->fixedItemTime : 0;
    if (time != 0) foundation::UnixTimeToIsoRecordDate(time, date);
    else std::copy_n(item->recordHeader.begin() + image::dr::kDate, date.size(), date.begin());
    return DateText(date);
}

InformationTexts FolderInformation(image::ImageContext* ctx, image::ImageFolder* folder) {
    InformationTexts texts;
    if (!ctx || !folder) return texts;
    const bool root = folder == ctx->rootFolder;
    texts.type = foundation::GetItemTypeInfo(u"", true).typeText;
    if (texts.type.empty()) texts.type = foundation::GetLangString(1770, u"Folder");
    if (root) texts.name = u"\\";
    else if (folder->ownItem) texts.name = std::u16string(folder->ownItem->name.view());
    if (const image::ImageItem* own = folder->ownItem) {
        if (root && own->time == 0 && ctx->fixedItemTime == 0) texts.date = DateText(ctx->volumeCreationDate);
        else texts.date = InformationItemDate(ctx, own);
    } else if (root) {
        texts.date = DateText(ctx->volumeCreationDate);
    }
    texts.location = image::GetFolderPath(ctx, folder, nullptr, 0).value_or(u"");
    image::TreeStatistics stats;
    image::GetTreeStatistics(ctx, folder, &stats, true);
    texts.size = InformationSizeText(static_cast<uint64_t>(std::max<int64_t>(stats.fileBytes, 0)));
    texts.include = InformationIncludeText(stats.fileCount, stats.folderCount);
    return texts;
}

InformationTexts ItemsInformation(image::ImageContext* ctx, const std::vector<image::ImageItem*>& items) {
    InformationTexts texts;
    if (!ctx || items.empty()) return texts;
    texts.name = items.size() == 1 ? std::u16string(items.front()->name.view()) : DifferentNames();
    bool typesEqual = true;
    bool datesEqual = true;
    std::u16string type;
    std::u16string date;
    int64_t bytes = 0;
    int64_t files = 0;
    int64_t folders = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        image::ImageItem* item = items[i];
        const bool isFolder = image::IsFolderItem(item);
        const std::u16string itemType = foundation::GetItemTypeInfo(item->name.view(), isFolder).typeText;
        const std::u16string itemDate = InformationItemDate(ctx, item);
        if (i == 0) {
            type = itemType;
            date = itemDate;
        } else {
            typesEqual = typesEqual && itemType == type;
            datesEqual = datesEqual && itemDate == date;
        }
        if (itemType.empty()) typesEqual = false;
        if (isFolder && item->ownFolder) {
            image::TreeStatistics stats;
            image::GetTreeStatistics(ctx, item->ownFolder, &stats, true);
            bytes += stats.fileBytes;
            files += stats.fileCount;
            folders += stats.folderCount;
            if (items.size() > 1) ++folders;
        } else {
            bytes += ctx->videoCdKind != 0 ? image::GetItemDataSize(ctx, item) : item->size;
            ++files;
        }
    }
    texts.type = typesEqual ? type : DifferentTypes();
    texts.date = datesEqual ? date : DifferentDates();
    texts.location = image::GetFolderPath(ctx, items.back()->parent, nullptr, 0).value_or(u"");
    texts.size = InformationSizeText(static_cast<uint64_t>(std::max<int64_t>(bytes, 0)));
    texts.include = InformationIncludeText(files, folders);
    return texts;
}

InformationTexts TracksInformation(const image::ImageContext* ctx, const std::vector<int>& tracks) {
    InformationTexts texts;
    if (!ctx || !ctx->trackList || tracks.empty()) return texts;
    const image::TrackList& list = *ctx->trackList;
    uint64_t sectors = 0;
    int64_t counted = 0;
    for (int track : tracks) {
        if (track < 0 || track >= list.trackCount || track >= static_cast<int>(list.tracks.size())) continue;
        sectors += static_cast<uint64_t>(std::max<int32_t>(list.tracks[static_cast<size_t>(track)].length, 0));
        ++counted;
    }
    if (tracks.size() == 1 && counted == 1) {
        const image::TrackEntry& entry = list.tracks[static_cast<size_t>(tracks.front())];
        texts.name = !entry.displayName.empty()
                         ? entry.displayName
                         : foundation::TrackDisplayName(tracks.front() + 1, ctx->videoCdKind != 0, {});
    } else {
        texts.name = DifferentNames();
    }
    texts.type = DifferentTypes();
    texts.location = u"\\";
    // Sector counts times the raw sector size, summed in 64 bits: a full disc
    // of tracks passes 4 GiB.
    texts.size = InformationSizeText(sectors * 2352u);
    texts.include = InformationIncludeText(counted, 0);
    return texts;
}

bool ApplyInformationTime(image::ImageContext* ctx, InformationSource source, image::ImageFolder* folder,
                          const std::vector<image::ImageItem*>& items, int64_t time, bool children) {
    if (!ctx) return false;
    const uint32_t stored = StoredTime(time);
    bool changed = false;
    if (source == InformationSource::TreeFolder && folder) {
        if (folder->ownItem && folder->ownItem->time != stored) {
            folder->ownItem->time = stored;
            changed = true;
        }
        if (children && image::SetFolderTime(ctx, folder, stored, true) == 1) changed = true;
    } else if (source == InformationSource::ListItems) {
        for (image::ImageItem* item : items) {
            if (item->time != stored) {
                item->time = stored;
                changed = true;
            }
            if (children && item->ownFolder && image::SetFolderTime(ctx, item->ownFolder, stored, true) == 1)
                changed = true;
        }
    }
    return changed;
}

}  // namespace dialogs
