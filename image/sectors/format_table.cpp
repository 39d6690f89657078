#include "image/sectors/format_table.h"

#include "image/sectors/container_services.h"
#include "image/sheets/nrg_reader.h"
#include "image/sectors/sector_io.h"
#include "image/sectors/sector_writers.h"
#include "platform/text.h"

namespace image {
namespace {

// Rows whose readers live in other parts of the program reach them through the
// installed services.
int32_t ReadChunkedRow(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    return ChunkImageServices().ReadChunkedSectors(ctx, first, buffer, count);
}
int32_t ReadChunkImageRow(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    return ChunkImageServices().ReadChunkImageSectors(ctx, first, buffer, count);
}

}  // namespace

// The 23 rows, values as stored. Rows 9-22 are layout variants the probe tries.
// Row 22 ("gi", 2336-byte sectors): a 2336-byte Mode 2 sector is a raw sector
// without sync and header, so it starts with the 8-byte sub-header and the
// Form 1 user data sits at 8.
const std::array<ImageFormatRow, kImageFormatRowCount> ImageFormatTable = {{
    {u"iso", 2048, 0, 0, ReadPlainSectors, WriteIsoSectors},
    {u"bin", 2352, 16, 0, ReadRawLayoutSectors, WriteBinSectors},
    {u"daa", 0, 0, 0, ReadDaaSectors, WriteDaaSectors},
    {u"nrg", 0, 0, 0, ReadNrgSectors, nullptr},
    {u"dmg", 0, 0, 0, ReadChunkedRow, nullptr},
    {u"uif", 0, 0, 0, ReadChunkImageRow, nullptr},
    {u"isz", 0, 0, 0, ReadChunkImageRow, nullptr},
    {u"mzp", 0, 0, 0, ReadMzpSectors, WriteMzpSectors},
    {u"xdi", 0, 0, 0, ReadXdiSectors, WriteXdiSectors},
    {u"bin", 2352, 24, 0, ReadRawLayoutSectors, nullptr},
    {u"cdi", 2048, 0, 307200, ReadPlainSectors, nullptr},
    {u"mdf", 2448, 16, 0, ReadRawLayoutSectors, nullptr},
    {u"bwi", 2352, 16, 352800, ReadRawLayoutSectors, nullptr},
    {u"bwi", 2352, 24, 352800, ReadRawLayoutSectors, nullptr},
    {u"bwi", 2448, 16, 367200, ReadRawLayoutSectors, nullptr},
    {u"bwi", 2448, 24, 367200, ReadRawLayoutSectors, nullptr},
    {u"b5i", 2352, 16, 352800, ReadRawLayoutSectors, nullptr},
    {u"lcd", 2352, 24, 4096, ReadRawLayoutSectors, nullptr},
    {u"lcd", 2049, 1, 4096, ReadRawLayoutSectors, nullptr},
    {u"fcd", 2048, 0, -32256, ReadPlainSectors, nullptr},
    {u"cif", 2056, 0, 436, ReadRawLayoutSectors, nullptr},
    {u"gi", 2048, 0, 152, ReadPlainSectors, nullptr},
    {u"gi", 2336, 8, 160, ReadRawLayoutSectors, nullptr},
}};

const ImageFormatRow* GetImageFormatRow(int32_t formatCode) {
    if (formatCode < 0 || formatCode >= kImageFormatRowCount) return nullptr;
    return &ImageFormatTable[size_t(formatCode)];
}

int32_t FindImageFormatRow(std::u16string_view extension) {
    for (int32_t i = 0; i < kImageFormatRowCount; ++i)
        if (platform::EqualsNoCase(extension, ImageFormatTable[size_t(i)].extension)) return i;
    return -1;
}

}  // namespace image
