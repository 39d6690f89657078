// Sizes and counts over the item tree, the large-file rule and the
// item-source query.

#include <cstdint>
#include <vector>

#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sheets/track_list.h"

namespace image {
namespace {

constexpr int64_t kFourGiB = int64_t{1} << 32;
constexpr uint32_t kFirstVideoCdTrackMarker = kVideoCdMarker + 1;    // track 1
constexpr uint32_t kLastVideoCdTrackMarker = kVideoCdMarker + 99;    // track 99

// Sizes add up without wrapping: a reader caps an item it cannot size at the
// largest value, and two of those must not turn the sum negative. An unknown
// size (negative) counts for nothing.
int64_t AddSize(int64_t sum, int64_t size) {
    if (size <= 0) return sum;
    return size > INT64_MAX - sum ? INT64_MAX : sum + size;
}

bool CountsNewFiles(const ImageContext* ctx) {
    return ctx->discSource || ctx->formatCode == format_code::kProjectDiscImport;
}

}  // namespace

int64_t GetItemDataSize(ImageContext* ctx, const ImageItem* item) {
    if (!item) return 0;
    if (ctx && ctx->videoCdKind != 0 && item->sourceMarker >= kFirstVideoCdTrackMarker &&
        item->sourceMarker <= kLastVideoCdTrackMarker) {
        // Shown as a RIFF CDXA file of raw frames: 2352 bytes a sector plus its
        // 44-byte header.
        return (item->size / 2048) * 2352 + 44;
    }
    // The whole 64-bit size: files of 2 GiB and more must not turn negative.
    return item->size;
}

void GetTreeStatistics(ImageContext* ctx, ImageFolder* folder, TreeStatistics* stats, bool recurse) {
    if (!stats) return;
    *stats = TreeStatistics{};
    if (!ctx) return;
    if (!folder) folder = ctx->rootFolder;
    bool videoCd = ctx->videoCdKind != 0;
    bool newFiles = CountsNewFiles(ctx);
    std::vector<ImageFolder*> work;
    if (folder) work.push_back(folder);
    while (!work.empty()) {
        ImageFolder* current = work.back();
        work.pop_back();
        for (ImageItem* item = current->firstItem; item; item = item->next) {
            if (!IsPlainFileItem(item)) continue;
            ++stats->fileCount;
            stats->fileBytes = AddSize(stats->fileBytes, videoCd ? GetItemDataSize(ctx, item) : item->size);
            if (newFiles && !item->earlierSession) stats->newFileBytes = AddSize(stats->newFileBytes, item->size);
        }
        for (ImageFolder* sub = current->firstSubfolder; sub; sub = sub->next) {
            std::u16string_view name = FolderName(sub);
            if (name == u"." || name == u"..") continue;
            ++stats->folderCount;
            if (recurse) work.push_back(sub);
        }
    }
    if (const TrackList* list = ctx->trackList) {
        int32_t count = list->trackCount < 0 ? 0 : (list->trackCount > kMaxTracks ? kMaxTracks : list->trackCount);
        for (int32_t i = 0; i < count; ++i) {
            const TrackEntry& track = list->tracks[static_cast<size_t>(i)];
            if (track.mode != track_mode::kAudio) continue;
            ++stats->audioTrackCount;
            stats->audioTrackBytes += static_cast<int64_t>(track.length) * 2048;
        }
    }
    stats->totalBytes = AddSize(stats->fileBytes, stats->audioTrackBytes);
    if (newFiles) stats->imageBytes = static_cast<int64_t>(ctx->recordedSectors) * 2048;
}

void ApplyLargeFileRule(ImageContext* ctx) {
    if (!ctx || ctx->udfFlag) return;
    std::vector<ImageFolder*> work;
    if (ctx->rootFolder) work.push_back(ctx->rootFolder);
    while (!work.empty()) {
        ImageFolder* current = work.back();
        work.pop_back();
        for (ImageItem* item = current->firstItem; item; item = item->next) {
            if (IsPlainFileItem(item) && item->size >= kFourGiB) {
                // ISO 9660 cannot describe a file of 4 GiB or more in one extent.
                ctx->udfOnly = true;
                ctx->udfFlag = true;
                ctx->jolietLevel = 0;
                return;
            }
        }
        for (ImageFolder* sub = current->firstSubfolder; sub; sub = sub->next) {
            std::u16string_view name = FolderName(sub);
            if (name != u"." && name != u"..") work.push_back(sub);
        }
    }
}

bool IsItemFromDiskFile(ImageContext* ctx, const ImageItem* item) {
    if (!ctx || !item) return false;
    if (ctx->formatCode == format_code::kArchive) return item->archiveIndex == -1 && !item->diskPath.empty();
    return item->startSector == 0 && !item->diskPath.empty();
}

}  // namespace image
