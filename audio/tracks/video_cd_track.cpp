#include "audio/tracks/video_cd_track.h"

#include <algorithm>
#include <vector>

#include "audio/tracks/riff_headers.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "image/sectors/sector_io.h"
#include "platform/last_error.h"

namespace audio {
namespace {

constexpr uint32_t kFirstTrackMarker = image::kVideoCdMarker + 1;
constexpr uint32_t kLastTrackMarker = image::kVideoCdMarker + 99;
constexpr int32_t kChunkSectors = 64;
constexpr size_t kSectorBytes = 2352;

bool IsVideoCdTrack(const image::ImageContext& ctx, const image::ImageItem& item) {
    return ctx.videoCdKind != 0 && item.memoryData.empty() && item.sourceMarker >= kFirstTrackMarker &&
           item.sourceMarker <= kLastTrackMarker;
}

int Failed(int32_t status) {
    if (foundation::OperationStatus.load() == foundation::kStatusNone) foundation::OperationStatus.store(status);
    return -1;
}

}  // namespace

int WriteCdxaHeader(const image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle file) {
    if (!IsVideoCdTrack(ctx, item)) return 0;
    RiffHeader header;
    const uint64_t sectors = item.size > 0 ? uint64_t(item.size) / 2048 : 0;
    if (!BuildCdxaHeader(sectors, uint8_t(item.sourceMarker & 0xFF), header)) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return -1;
    }
    return platform::FileWriteAt(file, platform::kCurrentPosition, header.data(), header.size()) ==
                   int64_t(header.size())
               ? 1
               : -1;
}

int WriteVideoCdTrackFile(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                          foundation::ProgressCallbacks* progress) {
    const int header = WriteCdxaHeader(ctx, item, out);
    if (header == 0) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        return Failed(foundation::kStatusSourceReadFailed);
    }
    if (header < 0) return Failed(foundation::kStatusWriteFailed);
    if (progress && progress->AddDone) progress->AddDone(int64_t(kRiffHeaderBytes));
    const int64_t count = item.size / 2048;
    std::vector<uint8_t> buffer(size_t(kChunkSectors) * kSectorBytes);
    for (int64_t done = 0; done < count;) {
        if (image::WaitIfPaused(progress) == 0) return 0;
        const int32_t n = int32_t(std::min<int64_t>(kChunkSectors, count - done));
        const int64_t first = int64_t(item.startSector) + done;
        platform::SetLastError(platform::kErrorSuccess);
        if (first + n > INT32_MAX || image::ReadRawSectors(ctx, int32_t(first), buffer.data(), n) != n) {
            if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorIoDevice);
            return Failed(foundation::kStatusSourceReadFailed);
        }
        const size_t bytes = size_t(n) * kSectorBytes;
        if (platform::FileWriteAt(out, platform::kCurrentPosition, buffer.data(), bytes) != int64_t(bytes))
            return Failed(foundation::kStatusWriteFailed);
        done += n;
        if (progress && progress->AddDone) progress->AddDone(int64_t(bytes));
    }
    return 1;
}

}  // namespace audio
