// Extraction of one file's data from a mounted NTFS volume.

#include <vector>

#include "filesystems/ntfs/ntfs_data.h"
#include "filesystems/ntfs/ntfs_file.h"
#include "filesystems/ntfs/ntfs_state.h"
#include "filesystems/ntfs/ntfs_volume.h"
#include "foundation/operation_status.h"
#include "image/document/pause_cancel.h"

namespace filesystems {

int ExtractNtfsFile(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, const image::ImageItem& item,
                    std::u16string_view /*path*/, foundation::FileHandle file) {
    auto readFailed = [] {
        foundation::OperationStatus = foundation::kStatusSourceReadFailed;
        return -1;
    };
    if (!ctx.ntfsState || !file) return readFailed();
    // Each extraction parses the record into facts of its own, so extractions
    // and the views never share a parse.
    NtfsFileFacts facts;
    std::vector<uint8_t> listBuffer;
    if (!ReadNtfsFile(ctx, item.startSector, facts, listBuffer) || !facts.inUse || facts.baseRecord != 0) {
        return readFailed();
    }
    if (facts.data.empty()) return item.size == 0 ? 1 : readFailed();
    NtfsDataLayout layout;
    if (!MakeNtfsDataLayout(facts.data, ctx.ntfsState->volumeClusters, layout)) return readFailed();

    bool writeFailed = false;
    const int result = ReadNtfsAttribute(ctx, layout, [&](std::span<const uint8_t> bytes) {
        if (image::WaitIfPaused(progress) == 0) return 0;
        const int64_t written = foundation::WriteFileAt(file, bytes.data(), foundation::kCurrentPosition, bytes.size());
        if (written != static_cast<int64_t>(bytes.size())) {
            writeFailed = true;
            return -1;
        }
        if (progress && progress->AddDone) progress->AddDone(written);
        return 1;
    });
    if (result == 1) return 1;
    if (result == 0) return 0;
    if (writeFailed) {
        foundation::OperationStatus = foundation::kStatusWriteFailed;
        return -1;
    }
    return readFailed();
}

}  // namespace filesystems
