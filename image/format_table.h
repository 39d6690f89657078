#pragma once
// The image-format table: per stored image format, the stored sector size,
// where the 2048 user-data bytes sit inside a stored sector, where sector 0
// starts in the file, and the routines that read and write its sectors. The row
// index is the document's format code; readers and writers are reached only
// through the table (ReadImageSectors / WriteImageSectors).

#include <array>
#include <cstdint>
#include <string_view>

namespace dialogs {
struct ProgressCallbacks;
}

namespace image {

struct ImageContext;

// The arguments a save hands, unchanged, through every writing routine down to
// the output format's writer. Their meaning belongs to that writer: the
// container writers start their progress display with them.
struct WriterArguments {
    dialogs::ProgressCallbacks* progress = nullptr;   // the save's progress record, or null
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

// Format codes of a document (ImageContext format code and output format).
namespace format_code {
constexpr int32_t kUnknown = -1;
constexpr int32_t kIso = 0;
constexpr int32_t kBin = 1;          // 2352-byte sectors, Mode 1 (user data at 16)
constexpr int32_t kDaa = 2;          // also HXI and the self-extracting "exe"
constexpr int32_t kNrg = 3;
constexpr int32_t kDmg = 4;
constexpr int32_t kUif = 5;
constexpr int32_t kIsz = 6;
constexpr int32_t kMzp = 7;
constexpr int32_t kXdi = 8;
constexpr int32_t kBinMode2 = 9;     // 2352-byte sectors, Mode 2 Form 1 (user data at 24)
constexpr int32_t kCdi = 10;
constexpr int32_t kMdf = 11;
constexpr int32_t kBwiFirst = 12;    // 12..15
constexpr int32_t kB5i = 16;
constexpr int32_t kLcd2352 = 17;
constexpr int32_t kLcd2049 = 18;
constexpr int32_t kFcd = 19;
constexpr int32_t kCif = 20;
constexpr int32_t kGi2048 = 21;
constexpr int32_t kGi2336 = 22;
constexpr int32_t kAudioCd = 100;
constexpr int32_t kRawScanFirst = 1000;   // 1000 + 2k + j: k-th raw-scan sector size, j = 1: data 150 sectors later
constexpr int32_t kRawScanLast = 1007;
}  // namespace format_code

// The row of a format code 0..22; null for any other code.
const ImageFormatRow* GetImageFormatRow(int32_t formatCode);
// The first row whose extension equals `extension` (without dot, any case); -1 when none.
int32_t FindImageFormatRow(std::u16string_view extension);
inline bool IsRawScanFormat(int32_t formatCode) {
    return formatCode >= format_code::kRawScanFirst && formatCode <= format_code::kRawScanLast;
}

}  // namespace image
