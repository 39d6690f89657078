#pragma once
// UIF compressed disc images: a trailer at the end of the file points at a
// zlib-compressed block table whose entries become the chunks of a chunk
// table. The UIF and ISZ rows of the format table read through
// ReadChunkImageSectors, which cuts user data out of larger stored sectors.

#include <cstdint>

#include "containers/chunk/chunk_engine.h"

namespace image {
struct ImageContext;
}

namespace containers {

// Builds the chunk table of the document's file for one sector layout (size,
// user-data offset); null when the file is no well-formed UIF image.
ChunkTableOwner BuildUifChunkTable(image::ImageContext& ctx, int32_t sectorSize, int32_t dataOffset);

// Tries the layouts (2048, 0), (2352, 16), (2352, 24) until a file system is
// found: 0 (format 5), else -1 (format -1).
int OpenUifImage(image::ImageContext& ctx);

// count 2048-byte user-data sectors of the document's chunk table: the count
// read, 0 on failure or without a table.
int32_t ReadChunkImageSectors(image::ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);

}  // namespace containers
