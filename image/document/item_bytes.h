#pragma once
// The one reader of an item's bytes. Every writer (the image build, MARFS,
// the archive library's input streams), the extraction job and the virtual
// drives read a document item's data here, wherever it lives: in memory, in a
// file on disk, in ISO 9660 extents of the document's image, or in a file
// system or archive whose reader lives above this layer and plugs its entry
// into the table below when it is installed. Which reader an item needs is
// decided once, by ReaderKindOf. A kind with no entry answers "not supported"
// (last error 50), never zeros.

#include <cstdint>
#include <memory>

#include "foundation/file_io.h"
#include "foundation/progress_callbacks.h"
#include "platform/file.h"

namespace image {

struct ImageContext;
struct ImageItem;

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

// Reads up to `count` bytes of the item's data at `offset`: the bytes read,
// fewer only at the item's end; fewer than asked inside the item, or -1, is a
// failure with the last error describing it.
using ReadItemRange = int64_t (*)(ImageContext& ctx, const ImageItem& item, uint64_t offset, uint8_t* buffer,
                                  uint64_t count);

// Writes the item's whole data to out (open for writing, at offset 0, written
// in order) and advances the progress by the bytes written, polling pause and
// cancel (WaitIfPaused) between steps. 1 done, 0 cancelled, -1 failed with
// OperationStatus set (3 write, 4 read, 11 image read error) and the last
// error describing it. A short read is a failure.
using StreamItemData = int (*)(ImageContext& ctx, const ImageItem& item, platform::FileHandle out,
                               foundation::ProgressCallbacks* progress);

// A kind's reading: ranges at offsets where its format allows them, and a
// stream of the whole data where that is cheaper (a compressed resource, a
// solid archive) or the only way (a Video CD track is written as a RIFF file).
// A kind with only a stream is read in ranges through a private temporary
// file that holds the streamed data.
struct ItemReaderEntry {
    ReadItemRange readRange = nullptr;
    StreamItemData stream = nullptr;
};

// The reader of an item's data once it is neither in memory nor a file on
// disk: its document's reader; on a hybrid disc the Mac volume while its
// ISO 9660 tree is shown; the Video CD track writer for the track files of a
// Video CD.
ItemReaderKind ReaderKindOf(const ImageContext& ctx, const ImageItem& item);

// The entry installed for a kind; empty when none.
ItemReaderEntry GetItemReader(ItemReaderKind kind);
// Installs an entry (an empty one removes it); returns the one installed
// before. The program installs them at start-up (app::InstallReaders), tests
// around a case.
ItemReaderEntry SetItemReader(ItemReaderKind kind, ItemReaderEntry entry);

// Reads an item's bytes at any offset, keeping what repeated reads of one item
// share (its open disk file, the temporary of a streamed kind). Not shared
// between threads.
class ItemByteReader {
public:
    ItemByteReader(ImageContext& ctx, const ImageItem& item);
    ~ItemByteReader();
    ItemByteReader(const ItemByteReader&) = delete;
    ItemByteReader& operator=(const ItemByteReader&) = delete;

    // Up to `count` bytes at `offset`, clipped at the item's size: the bytes
    // read, or -1 with the last error set (a source that cannot be opened or
    // read, a range it does not hold, a kind with no reader).
    int64_t Read(uint64_t offset, uint8_t* buffer, uint64_t count);

private:
    bool OpenDiskFile();
    bool Materialise();

    ImageContext& ctx_;
    const ImageItem& item_;
    foundation::UniqueFile disk_;
    foundation::UniqueFile temp_;
};

// What the writers (the image build, MARFS) read an item through: the reader
// above, with the checks and messages a save owes the user.
class WriterItemSource {
public:
    explicit WriterItemSource(ImageContext& ctx) : ctx_(ctx) {}

    // False with OperationStatus 10 when a disk file cannot be opened, 4 when
    // it no longer has the size the tree recorded (checkSize); the user is told
    // which file.
    bool Open(const ImageItem* item, bool checkSize);
    // Exactly n bytes at offset, zeros past the item's end (whole sectors);
    // false with OperationStatus 4.
    bool Read(uint64_t offset, uint8_t* out, size_t n);

private:
    ImageContext& ctx_;
    const ImageItem* item_ = nullptr;
    std::unique_ptr<ItemByteReader> reader_;
};

// One range of one item, for callers that read an item once.
int64_t ReadItemBytes(ImageContext& ctx, const ImageItem& item, uint64_t offset, uint8_t* buffer, uint64_t count);

// The item's whole data into out, as StreamItemData says: in memory or on disk
// copied, a streamed kind through its stream, every other kind a megabyte of
// ranges at a time.
int WriteItemData(ImageContext& ctx, const ImageItem& item, platform::FileHandle out,
                  foundation::ProgressCallbacks* progress);

// The size of the data the reader gives (GetItemDataSize: a Video CD track
// file is its RIFF form), never negative.
uint64_t ItemDataBytes(ImageContext& ctx, const ImageItem& item);

}  // namespace image
