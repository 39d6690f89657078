// The MPEG tracks of a Video CD saved as a raw image. The save builds the data
// track anew; the tracks that follow it are not part of that build, so a Video
// CD opened from a raw image would lose its video (and its sheet would name
// tracks the file does not hold). Here they are copied frame by frame from the
// source, at the places the track list gives them, so the saved image and its
// sheet agree and the control files still point at the right sectors.

#include "image/vcd/video_cd.h"

#include <algorithm>
#include <vector>

#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/pause_cancel.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"

namespace image {
namespace {

constexpr int32_t kRawBytes = 2352;
constexpr int32_t kPiece = 64;   // frames per read and write

int Fail(int32_t status) {
    if (foundation::OperationStatus.load() == foundation::kStatusNone) foundation::OperationStatus = status;
    return 0;
}

bool WriteFrames(ImageContext& ctx, int64_t first, const uint8_t* frames, int32_t count) {
    const size_t bytes = size_t(count) * kRawBytes;
    if (platform::FileWriteAt(ctx.outputHandle.get(), uint64_t(first) * kRawBytes, frames, bytes) != int64_t(bytes)) {
        Fail(foundation::kStatusWriteFailed);
        return false;
    }
    ctx.bytesWritten = std::max<int64_t>(ctx.bytesWritten, (first + count) * kRawBytes);
    return true;
}

}  // namespace

bool VideoCdTracksFromSource(const ImageContext& ctx) {
    const TrackList* list = ctx.trackList;
    if (ctx.videoCdKind == 0 || list == nullptr || list->trackCount < 2) return false;
    for (int32_t t = 1; t < list->trackCount; ++t) {
        const TrackEntry& track = list->tracks[size_t(t)];
        if (track.mpegInfo || track.mode != track_mode::kMode2Form2 || track.length <= 0) return false;
    }
    return true;
}

int WriteVideoCdTrackFrames(ImageContext& ctx, int64_t dataEnd, foundation::ProgressCallbacks* progress) {
    if (!VideoCdTracksFromSource(ctx)) return 1;
    const TrackList& list = *ctx.trackList;
    const TrackEntry& firstTrack = list.tracks[1];
    const int64_t firstGap = int64_t(firstTrack.startSector) - std::max(firstTrack.pregap, 0);
    if (dataEnd > firstGap) {
        // More data than the source's first track held: the video tracks
        // cannot move without the control files pointing elsewhere.
        foundation::SetLastErrorText(u"The files of the Video CD no longer fit before its first video track.");
        return Fail(foundation::kStatusFailed);
    }
    std::vector<uint8_t> frames(size_t(kPiece) * kRawBytes);
    // The rest of the data track: empty Form 1 frames up to the first gap.
    for (int64_t s = dataEnd; s < firstGap; s += kPiece) {
        const int32_t n = int32_t(std::min<int64_t>(kPiece, firstGap - s));
        if (MakeGapFrames(track_mode::kMode2Form1, int32_t(s), frames.data(), n) != n ||
            !WriteFrames(ctx, s, frames.data(), n))
            return Fail(foundation::kStatusWriteFailed);
    }
    int64_t position = firstGap;
    for (int32_t t = 1; t < list.trackCount; ++t) {
        const TrackEntry& track = list.tracks[size_t(t)];
        const int64_t from = int64_t(track.startSector) - std::max(track.pregap, 0);
        const int64_t to = int64_t(track.startSector) + track.length + std::max(track.postgap, 0);
        if (from < position || to > INT32_MAX) return Fail(foundation::kStatusFailed);
        for (int64_t s = position; s < from; s += kPiece) {   // between tracks
            const int32_t n = int32_t(std::min<int64_t>(kPiece, from - s));
            if (MakeGapFrames(track_mode::kMode2Form2, int32_t(s), frames.data(), n) != n ||
                !WriteFrames(ctx, s, frames.data(), n))
                return Fail(foundation::kStatusWriteFailed);
        }
        for (int64_t s = from; s < to; s += kPiece) {
            if (WaitIfPaused(progress) == 0) return Fail(foundation::kStatusCancelled);
            const int32_t n = int32_t(std::min<int64_t>(kPiece, to - s));
            if (ReadRawSectors(ctx, int32_t(s), frames.data(), n) != n)
                return Fail(foundation::kStatusSourceReadFailed);
            if (!WriteFrames(ctx, s, frames.data(), n)) return 0;
        }
        position = to;
    }
    return 1;
}

}  // namespace image
