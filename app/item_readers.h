#pragma once
// Where the extraction job gets an item's data from, by the reader that built
// the document's tree. ISO 9660 (and Joliet) items are read here, through
// their real extents; each file-system reader (UDF, FAT, NTFS, ext2, HFS,
// HFS+, WIM), the archive library, and the writer of Video CD tracks plug
// their entry into this one table when they are installed (audio tracks have
// their own writer, app/audio_track_services.h). A kind with no entry answers
// "not supported" (last error 50), never zeros.

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

// The reader of an item: its document's reader, or the Video CD track writer
// for the track files of a Video CD.
ItemReaderKind ReaderKindOf(const image::ImageContext& ctx, const image::ImageItem& item);

// The entry installed for a kind; null when none.
ExtractItemData GetItemReader(ItemReaderKind kind);
// Installs an entry (null removes it); returns the one installed before. The
// program installs them at start-up (app::InstallReaders), tests around a case.
ExtractItemData SetItemReader(ItemReaderKind kind, ExtractItemData reader);

}  // namespace app
