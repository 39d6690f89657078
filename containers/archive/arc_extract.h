#pragma once
// Items leaving an archive opened through the library: an item written whole
// into a file (the extraction job's reader), and byte ranges of an item for
// the readers and writers that want them (a new archive made from an opened
// one). Ranges are served from a store, a private temporary file that holds
// each item once extracted; a solid archive is extracted into it whole, once,
// since each item of a solid block would otherwise decode the block from its
// start again.

#include <cstdint>
#include <functional>
#include <string>

#include "containers/archive/arc_com_object.h"
#include "foundation/progress_callbacks.h"
#include "platform/file.h"

namespace image {
struct ArchiveLink;
struct ImageContext;
struct ImageItem;
}  // namespace image

namespace containers::archive {

struct ArchiveItemRecord;

// The message of a per-item result of the library (1 unsupported method, 2
// data error, 3 CRC, 9 wrong password, others unknown); "" for 0.
std::u16string OperationResultText(int32_t result, bool encrypted);

// Drives the library's Extract over the listed archive. streamFor(index,
// stream) gives the output stream of an item (left empty: the item is
// skipped; a failure code ends the Extract); onResult(index, result) hears
// each item's result. Null indices: every item.
using StreamForItem = std::function<HResult(uint32_t index, ComRef& stream)>;
using ItemResult = std::function<void(uint32_t index, int32_t result)>;
HResult RunArchiveExtract(image::ImageContext& ctx, const uint32_t* indices, uint32_t count, StreamForItem streamFor,
                          ItemResult onResult, foundation::ProgressCallbacks* progress);

// Writes the whole data of an archive item into out (at offset 0). 1 done,
// 0 cancelled (OperationStatus 1), -1 failed (OperationStatus set, the last
// error text says why). An item that failed once is not extracted again.
int ExtractArchiveItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                       foundation::ProgressCallbacks* progress);

// Ends the pass that extracts a solid archive for the extraction job (a
// worker thread), waiting for it. Called before the link closes.
void StopSolidPass(image::ArchiveLink& link);

// Bytes of item `row` from offset: the count copied (cut at the item's end),
// -1 when the item cannot be extracted.
int64_t ReadArchiveItemData(image::ImageContext& ctx, int32_t row, uint8_t* buffer, uint64_t offset, uint64_t count);

}  // namespace containers::archive
