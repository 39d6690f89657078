#pragma once
// Building an image from a document: the allocation pass that gives every
// descriptor, path table, directory and file its sectors, the search for files
// with identical content (which then share one copy), and the write pass that
// emits every sector in rising order through the output format's writer.
//
// One ImageBuild holds everything of one build; builds of different documents
// may run at once.

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "image/sectors/format_table.h"
#include "image/iso/iso_layout.h"
#include "image/build/udf_writer_services.h"

namespace foundation {
struct ProgressCallbacks;
}

namespace image {

struct ImageContext;
struct ImageItem;

struct ImageBuild {
    IsoLayout iso;
    UdfPlacement udf;
    bool isoOn = true;                       // false for a UDF-only image: no ISO 9660 structures
    foundation::ProgressCallbacks* progress = nullptr;
    int32_t sessionStart = 0;
    uint32_t primarySector = 0;
    int64_t bootRecordSector = -1;
    int64_t jolietSector = -1;
    uint32_t terminatorSector = 0;
    uint32_t markerSector = 0;
    // Appending a session: sectors from the session start to the end of its
    // volume descriptors (the part a mirrored disc head takes over).
    int32_t descriptorAreaSectors = 0;
    uint32_t fileAreaSector = 0;
    uint32_t endSector = 0;
    bool writeBoot = false;
    std::vector<ImageItem*> priorityFiles;   // allocation order, placed first
    std::vector<ImageItem*> treeFiles;       // the other files in tree order
    std::unordered_map<const ImageItem*, uint32_t> dataStart;
    // Identical-data search.
    bool optimise = false;
    std::vector<ImageItem*> bySize;          // files of non-zero size by size, then source sector
    // Files of a size that several share, by size and data checksum, each
    // list in bySize order; a size is entered when its first file is placed.
    std::map<std::pair<int64_t, uint32_t>, std::vector<ImageItem*>> byChecksum;
    std::unordered_set<int64_t> checksummedSizes;
    int32_t filesDone = 0;
};

// The item's allocated first sector (0 when it has none).
uint32_t ItemDataStart(const ImageBuild& build, const ImageItem* item);

// Names and records (PrepareTreeForWrite), then sector allocation. 1 on
// success; 0 on failure, with OperationStatus telling why (1 cancelled).
// sessionStart -1 takes the document's session start.
int BuildImageLayout(ImageContext& ctx, ImageBuild& build, foundation::ProgressCallbacks* progress,
                     int32_t sessionStart);
// Record extents, root records and path tables once sectors are allocated: 1 or 0.
int LayoutDirectoryTrees(ImageContext& ctx, ImageBuild& build);
// Writes every sector: 0 done, -1 failed or cancelled (OperationStatus says which).
int WriteImageContents(ImageContext& ctx, ImageBuild& build, const WriterArguments& args);

// The identical-data search (with file-space optimisation on).
void BeginTreeLayout(ImageContext& ctx, ImageBuild& build);
void LinkIdenticalFiles(ImageContext& ctx, ImageBuild& build, ImageItem* item);
void EndTreeLayout(ImageContext& ctx, ImageBuild& build);

// Frees the writer buffers of the document.
void FreeImageWriter(ImageContext* ctx);

}  // namespace image
