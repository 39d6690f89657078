#pragma once
// The audio tracks of a mixed-mode disc (a data track, then music) saved as a
// raw image. The save builds the data track anew; the music is no part of
// that build, so it is copied frame by frame from the source right after the
// new data track, and the sheet is written from the places it was written to.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/progress_callbacks.h"

namespace image {

struct ImageContext;

// True for a single-session disc whose first track is data and whose other
// tracks are all audio, read from the source image.
bool AudioTracksFromSource(const ImageContext& ctx);

// After the data track of a raw (2352-byte) save, which ended at dataEnd
// frames: copies every audio track (its pregap, frames and postgap) one after
// another and gives the new INDEX 01 sector of each track in `starts` (one per
// track; the data track's is 0). 1 done or nothing to do, 0 failed
// (OperationStatus set).
int WriteAudioTrackFrames(ImageContext& ctx, int64_t dataEnd, foundation::ProgressCallbacks* progress,
                          std::vector<int32_t>& starts);

// The sheet beside the saved image, naming the tracks at the places they were
// written: 0 written, -1 not (the reason shown).
int WriteMovedTracksCueSheet(const std::u16string& imagePath, const ImageContext& ctx, int64_t dataEnd,
                             const std::vector<int32_t>& starts);

}  // namespace image
