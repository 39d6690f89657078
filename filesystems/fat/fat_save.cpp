#include "filesystems/fat/fat_save.h"

#include <algorithm>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/fat/fat_layout.h"
#include "foundation/file_io.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "platform/staged_file.h"

namespace filesystems {

using fat_layout::kSectorBytes;

int SaveFatDiskImage(image::ImageContext& ctx, std::u16string_view path) {
    if (!ctx.fatState || !ctx.imageHandle) {
        foundation::OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    const int64_t size = foundation::GetFileSize64(ctx.imageHandle.get());
    if (size < 0) {
        foundation::ShowLastError(ctx.imagePath);
        foundation::OperationStatus = foundation::kStatusImageReadError;
        return -1;
    }
    platform::StagedFile out;
    if (!out.Begin(path)) {
        foundation::ShowLastError(path);
        foundation::OperationStatus = foundation::kStatusCannotCreate;
        return -1;
    }
    // Every sector goes through the document's sector reader, which gives
    // the overlay's copy of a changed sector and the image's bytes otherwise.
    constexpr uint32_t kPieceSectors = 2048;
    std::vector<uint8_t> buffer(size_t(kPieceSectors) * kSectorBytes);
    const uint64_t sectors = uint64_t(size) / kSectorBytes;
    for (uint64_t at = 0; at < sectors;) {
        const uint32_t n = uint32_t(std::min<uint64_t>(kPieceSectors, sectors - at));
        if (ReadDiskSectors(ctx, at, buffer.data(), n) != n) {
            foundation::ShowLastError(ctx.imagePath);
            foundation::OperationStatus = foundation::kStatusImageReadError;
            return -1;
        }
        if (!out.Write(buffer.data(), size_t(n) * kSectorBytes)) {
            foundation::ShowLastError(path);
            foundation::OperationStatus = foundation::kStatusWriteFailed;
            return -1;
        }
        at += n;
    }
    // A tail shorter than a sector lies beyond every volume: copied as it is.
    const size_t tail = size_t(uint64_t(size) % kSectorBytes);
    if (tail) {
        if (!foundation::ReadFileAt(ctx.imageHandle.get(), buffer.data(), sectors * kSectorBytes, tail)) {
            foundation::ShowLastError(ctx.imagePath);
            foundation::OperationStatus = foundation::kStatusImageReadError;
            return -1;
        }
        if (!out.Write(buffer.data(), tail)) {
            foundation::ShowLastError(path);
            foundation::OperationStatus = foundation::kStatusWriteFailed;
            return -1;
        }
    }
    if (!out.Commit()) {
        foundation::ShowLastError(path);
        foundation::OperationStatus = foundation::kStatusWriteFailed;
        return -1;
    }
    return 0;
}

}  // namespace filesystems
