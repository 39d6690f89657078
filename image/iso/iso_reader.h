#pragma once
// Reading an ISO 9660 or Joliet directory hierarchy into the item tree.
//
// The hierarchy comes from the image, so it is walked with a work list, never
// by recursion: each folder is made when its record is met and its directory
// read later from the list. A directory whose extent is one of its own
// ancestors, a tree deeper than kMaxIsoDirectoryDepth, or folder paths adding
// up to far more than the image's size (only a crafted chain of long names
// gets there) fails the read. A directory extent met a second time elsewhere
// is not read again. Directories are read in disk order and no directory
// sector twice: one overlapping a directory already read, or one past the
// image's size in directory bytes read, is counted unreadable, so the tree
// never holds more items than the image has room for records.

#include <cstdint>
#include <span>
#include <vector>

#include "image/iso/iso_directory.h"

namespace image {

struct ImageContext;
struct ImageFolder;
struct ImageItem;

// Deepest folder level read. Far beyond what writers make (ISO 9660 allows 8,
// Joliet and Rock Ridge writers a few dozen) and within what the rest of the
// program handles for a folder path.
constexpr int32_t kMaxIsoDirectoryDepth = 1024;

// What the read met besides good entries; recoverable oddities are counted
// here and the read goes on.
struct IsoTreeReport {
    uint64_t files = 0;
    uint64_t folders = 0;
    uint64_t skippedRecords = 0;       // broken records (short, crossing, bad name)
    uint64_t associatedFiles = 0;      // skipped: resource forks and the like share the main name
    uint64_t mergedExtents = 0;        // extra extents of multi-extent files
    uint64_t unreadableDirectories = 0;   // also those overlapping one read already
    uint64_t repeatedDirectories = 0;  // extent read already elsewhere
    uint64_t directoryBytesRead = 0;   // whole sectors; never more than the image holds
    uint64_t filesPastEnd = 0;         // file data beyond the end of a cut image
    bool loopFound = false;            // a directory is its own ancestor
    bool tooDeep = false;
    bool pathsTooLong = false;         // folder paths past a budget of the image's size
};

// Entries read from one directory, owned until they are linked into a folder.
class IsoEntryArray {
public:
    explicit IsoEntryArray(ImageContext& ctx) : ctx_(ctx) {}
    ~IsoEntryArray();
    IsoEntryArray(const IsoEntryArray&) = delete;
    IsoEntryArray& operator=(const IsoEntryArray&) = delete;

    std::vector<ImageItem*> entries;   // slots are cleared as entries are linked

private:
    ImageContext& ctx_;
};

// The tree from the document's root record into its root folder: 0, or -1
// when the root directory cannot be read or the hierarchy is broken (a loop, or
// too deep). The open turns -1 into "Can not read directory structure.".
int ReadIsoTree(ImageContext& ctx, IsoTreeReport* report = nullptr);

// Reads the directory a record describes into new items. False when the record's
// extent and length are not sound (both byte orders differ, length 0 or beyond
// the caps, extent outside the image) or its sectors cannot be read.
bool ReadIsoDirectory(ImageContext& ctx, std::span<const uint8_t> record, IsoEntryArray& out,
                      IsoTreeReport* report = nullptr);

// -1 when the record's two byte orders differ or its first sector cannot be
// read; 2 when that sector starts with a sound directory record; else 0.
int CheckDirectoryExtent(ImageContext& ctx, const IsoDirectoryRecord& record);

// One run of a file's data: first sector and length in bytes.
struct IsoExtent {
    uint32_t lba = 0;
    uint64_t length = 0;
};
// The runs of a file item in file order: its extent list (multi-extent files),
// else its start sector and size.
std::vector<IsoExtent> IsoItemExtents(const ImageItem& item);

// Bytes of a file item through its extents (multi-extent files have several),
// for extraction and tests: the bytes copied.
int64_t ReadIsoItemBytes(ImageContext& ctx, const ImageItem& item, uint64_t offset,
                         uint8_t* buffer, uint64_t bytes);

}  // namespace image
