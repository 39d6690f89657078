#include "image/build/mixed_mode_tracks.h"

#include <algorithm>
#include <climits>

#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/pause_cancel.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/cue_writer.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace image {
namespace {

constexpr int32_t kRawBytes = 2352;
constexpr int32_t kPiece = 64;   // frames per read and write

int Fail(int32_t status) {
    if (foundation::OperationStatus.load() == foundation::kStatusNone) foundation::OperationStatus = status;
    return 0;
}

}  // namespace

bool AudioTracksFromSource(const ImageContext& ctx) {
    const TrackList* list = ctx.trackList;
    if (ctx.videoCdKind != 0 || ctx.discSource || list == nullptr || list->trackCount < 2 ||
        list->trackCount >= kMaxTracks || list->sessionCount > 1)
        return false;
    if (list->tracks[0].mode == track_mode::kAudio) return false;
    for (int32_t t = 1; t < list->trackCount; ++t) {
        const TrackEntry& track = list->tracks[size_t(t)];
        if (track.mode != track_mode::kAudio || track.length <= 0) return false;
    }
    return true;
}

int WriteAudioTrackFrames(ImageContext& ctx, int64_t dataEnd, foundation::ProgressCallbacks* progress,
                          std::vector<int32_t>& starts) {
    starts.clear();
    if (!AudioTracksFromSource(ctx)) return 1;
    const TrackList& list = *ctx.trackList;
    starts.assign(size_t(list.trackCount), 0);
    std::vector<uint8_t> frames(size_t(kPiece) * kRawBytes);
    int64_t position = dataEnd;
    for (int32_t t = 1; t < list.trackCount; ++t) {
        const TrackEntry& track = list.tracks[size_t(t)];
        const int64_t pregap = std::max(track.pregap, 0);
        const int64_t from = int64_t(track.startSector) - pregap;
        const int64_t to = int64_t(track.startSector) + track.length + std::max(track.postgap, 0);
        if (from < 0 || to > INT32_MAX || position + (to - from) > INT32_MAX) return Fail(foundation::kStatusFailed);
        starts[size_t(t)] = int32_t(position + pregap);
        for (int64_t s = from; s < to; s += kPiece) {
            if (WaitIfPaused(progress) == 0) return Fail(foundation::kStatusCancelled);
            const int32_t n = int32_t(std::min<int64_t>(kPiece, to - s));
            if (ReadRawSectors(ctx, int32_t(s), frames.data(), n) != n)
                return Fail(foundation::kStatusSourceReadFailed);
            const size_t bytes = size_t(n) * kRawBytes;
            const int64_t at = (position + (s - from)) * kRawBytes;
            if (platform::FileWriteAt(ctx.outputHandle.get(), uint64_t(at), frames.data(), bytes) != int64_t(bytes))
                return Fail(foundation::kStatusWriteFailed);
            ctx.bytesWritten = std::max<int64_t>(ctx.bytesWritten, at + int64_t(bytes));
        }
        position += to - from;
    }
    return 1;
}

int WriteMovedTracksCueSheet(const std::u16string& imagePath, const ImageContext& ctx, int64_t dataEnd,
                             const std::vector<int32_t>& starts) {
    TrackListPtr list = CopyTrackList(ctx.trackList);
    if (!list || starts.size() != size_t(list->trackCount) || dataEnd > INT32_MAX) {
        platform::SetLastError(platform::kErrorInvalidParameter);
        foundation::ShowLastError(imagePath);
        return -1;
    }
    // The data track as built: from the start of the file, no gap before it.
    TrackEntry& data = list->tracks[0];
    data.startSector = 0;
    data.pregap = 0;
    data.postgap = 0;
    data.length = int32_t(dataEnd);
    for (int32_t t = 1; t < list->trackCount; ++t) list->tracks[size_t(t)].startSector = starts[size_t(t)];
    list->imageSectorSize = kRawBytes;
    return WriteFullCueSheet(imagePath, *list, false);
}

}  // namespace image
