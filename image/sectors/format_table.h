#pragma once
// The image-format table: per stored image format, the stored sector size,
// where the 2048 user-data bytes sit inside a stored sector, where sector 0
// starts in the file, and the routines that read and write its sectors. The row
// index is the document's format code; readers and writers are reached only
// through the table (ReadImageSectors / WriteImageSectors).

#include <array>
#include <cstdint>
#include <string_view>

#include "image/document/image_context.h"

namespace foundation {
struct ProgressCallbacks;
}

namespace image {

// The arguments a save hands, unchanged, through every writing routine down to
// the output format's writer. Their meaning belongs to that writer: the
// container writers start their progress display with them.
struct WriterArguments {
    foundation::ProgressCallbacks* progress = nullptr;   // the save's progress record, or null
};

// (document, first sector, buffer of count x 2048 bytes, count) -> sectors read.
using ImageSectorReader = int32_t (*)(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);
// (document, first sector, count x 2048 bytes, count, writer arguments) -> sectors written.
using ImageSectorWriter = int32_t (*)(ImageContext& ctx, int32_t first, const uint8_t* buffer,
                                      int32_t count, const WriterArguments& args);

struct ImageFormatRow {
    char16_t extension[8];    // without the dot, lower case
    int32_t sectorSize;       // bytes per stored sector; 0 = the reader handles the geometry
    int32_t userDataOffset;   // offset of the 2048 user-data bytes in a stored sector
    int32_t dataOffset;       // byte offset in the file of sector 0 (may be negative)
    ImageSectorReader reader;
    ImageSectorWriter writer; // null: the format is read-only
};

constexpr int32_t kImageFormatRowCount = 23;
extern const std::array<ImageFormatRow, kImageFormatRowCount> ImageFormatTable;


// The row of a format code 0..22; null for any other code.
const ImageFormatRow* GetImageFormatRow(int32_t formatCode);
// The first row whose extension equals `extension` (without dot, any case); -1 when none.
int32_t FindImageFormatRow(std::u16string_view extension);
inline bool IsRawScanFormat(int32_t formatCode) {
    return formatCode >= format_code::kRawScanFirst && formatCode <= format_code::kRawScanLast;
}

}  // namespace image
