#pragma once
// Where the extraction job gets an item's data from, by the reader that built
// the document's tree. ISO 9660 (and Joliet) items are read here, through
// their real extents; each file-system reader (UDF, FAT, NTFS, ext2, HFS,
// HFS+, WIM), the archive library, and the writers of Video CD and audio tracks
// plug their entry into this one table when they are installed. A kind with no
// entry answers "not supported" (last error 50), never zeros.

#include <cstdint>
#include <string_view>

#include "foundation/progress_callbacks.h"
#include "platform/file.h"

namespace image {
struct ImageContext;
struct ImageItem;
}  // namespace image

namespace app {

enum class ItemReaderKind : int32_t {
    Iso = 0,
    Udf,
    Fat,
    Ntfs,
    Ext2,
    Hfs,
    HfsPlus,
    Wim,
    Archive,
    VideoCdTrack,   // a Video CD track file, written as RIFF CDXA
    Count
};

// Writes the item's whole data to out (open for writing, at offset 0) and
// advances the progress by the bytes written, polling pause and cancel
// (image::WaitIfPaused) between steps. 1 done, 0 cancelled, -1 failed with
// OperationStatus set (3 write, 4 read, 11 image read error) and the last error
// describing it. A short read is a failure.
using ExtractItemData = int (*)(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                                foundation::ProgressCallbacks* progress);

// Writes audio track `index` of the document's track list as a music file
// into the folder (its name from the audio file-name template); trackFlag is
// the music format code (0 or 1 WAV). Same results, except that the writer
// reports its own failure once, naming its file.
using ExtractAudioTrack = int (*)(image::ImageContext& ctx, int32_t index, uint8_t trackFlag,
                                  std::u16string_view folder, foundation::ProgressCallbacks* progress);

// The reader of an item: its document's reader, or the Video CD track writer
// for the track files of a Video CD.
ItemReaderKind ReaderKindOf(const image::ImageContext& ctx, const image::ImageItem& item);

// The entry installed for a kind; null when none.
ExtractItemData GetItemReader(ItemReaderKind kind);
// Installs an entry (null removes it); returns the one installed before. The
// program installs them at start-up (app::InstallReaders), tests around a case.
ExtractItemData SetItemReader(ItemReaderKind kind, ExtractItemData reader);

ExtractAudioTrack GetAudioTrackExtractor();
ExtractAudioTrack SetAudioTrackExtractor(ExtractAudioTrack extractor);

}  // namespace app
