#pragma once
// Where the extraction job gets an audio track's music file from. An item's
// data is read by image::ReadItemBytes and image::WriteItemData
// (image/document/item_bytes.h), whose per-kind entries app::InstallReaders
// plugs in.

#include <cstdint>
#include <string_view>

#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
}  // namespace image

namespace app {

// Writes audio track `index` of the document's track list as a music file
// into the folder (its name from the audio file-name template); trackFlag is
// the music format code (0 or 1 WAV). 1 done, 0 cancelled, -1 failed; the
// writer reports its own failure once, naming its file.
using ExtractAudioTrack = int (*)(image::ImageContext& ctx, int32_t index, uint8_t trackFlag,
                                  std::u16string_view folder, foundation::ProgressCallbacks* progress);

ExtractAudioTrack GetAudioTrackExtractor();
ExtractAudioTrack SetAudioTrackExtractor(ExtractAudioTrack extractor);

}  // namespace app
