#pragma once
// CUE sheets written beside saved BIN images, images written by the burn
// engine and saved audio tracks, so that they open again with their tracks.
// The sheet is built in full, written to a temporary file beside it and
// renamed over the old sheet only when complete.

#include <cstdint>
#include <span>
#include <string>

#include "image/sheets/track_list.h"

namespace image {

struct ImageContext;

// 0 written, -1 not (refused overwrite, a name a sheet cannot carry, or a
// failed write, which is shown with the image path).
int WriteCueSheet(const std::u16string& imagePath, ImageContext& ctx);
int WriteSingleTrackCueSheet(const std::u16string& imagePath);
// With wave set the sheet names a WAVE file and lists the chosen track
// positions (all when chosen is empty), numbered from 1, one after another.
int WriteFullCueSheet(const std::u16string& imagePath, const TrackList& list, bool wave,
                      std::span<const int32_t> chosen = {});
int WriteSessionCueSheet(const std::u16string& imagePath, ImageContext& ctx);

// The sheet's lines for a FILE name; false when the name holds a double quote
// or a control character, which no sheet line can carry.
bool BuildSingleTrackCueText(std::u16string_view fileName, std::u16string& text);
bool BuildFullCueText(std::u16string_view fileName, const TrackList& list, bool wave,
                      std::span<const int32_t> chosen, std::u16string& text);

}  // namespace image
