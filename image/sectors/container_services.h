#pragma once
// What sector I/O needs of the readers and writers that live elsewhere: the
// chunk engine (DMG), the chunk-image readers (UIF, ISZ), the
// DAA/HXI, MZP and XDI containers, the composed image of a build for burning,
// and the deflate variant for a container's trailing block. The composed image
// is served by image/build/composed_image.h unless a test installs another; until the
// other parts install their services, every call answers "not available":
// readers deliver nothing, writers cannot be created (last error
// kErrorNotSupported).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/sectors/format_table.h"

namespace image {

struct ImageContext;

enum class ContainerKind { Daa, Mzp, Xdi };

// One container writer family as the sector writer drives it. The writer state
// itself lives in the document's writer slot of that kind (daaWriter,
// mzpWriter, xdiWriter), created and freed by the family.
class IContainerWriterFamily {
public:
    virtual ~IContainerWriterFamily() = default;
    // Creates the writer and attaches it to the document; false on failure.
    virtual bool Create(ImageContext& ctx) = 0;
    // Writes everything before the chunks; false on failure.
    virtual bool Begin(ImageContext& ctx, const WriterArguments& args) = 0;
    // Frees and detaches the document's writer.
    virtual void Free(ImageContext& ctx) = 0;
    virtual bool Attached(const ImageContext& ctx) const = 0;
    virtual uint32_t ChunkSectors(const ImageContext& ctx) const = 0;   // sectors per chunk, >= 1
    virtual uint32_t ContainerFormat(const ImageContext& ctx) const = 0; // e.g. 0x110 for DAA
    // Compresses one chunk into output (room for chunk sectors x 4096 + 0x49800
    // bytes); the stored length, or -1. type receives the chunk's type.
    virtual int64_t CompressChunk(ImageContext& ctx, uint32_t chunkIndex, const uint8_t* sectors,
                                  size_t length, uint8_t* output, uint32_t& type) = 0;
    // True when CompressChunk may run on several threads at once for
    // different chunks (its result depending on the chunk alone).
    virtual bool ConcurrentChunks(const ImageContext&) const { return false; }
    virtual bool WriteData(ImageContext& ctx, const uint8_t* bytes, size_t length) = 0;
    virtual void SetChunkSize(ImageContext& ctx, uint32_t chunkIndex, uint32_t storedLength) = 0;
    virtual void SetChunkType(ImageContext& ctx, uint32_t chunkIndex, uint32_t type) = 0;
    // The writer's trailing data block (switch E); null when it has none.
    virtual std::vector<uint8_t>* TrailingBlock(ImageContext& ctx) = 0;
    virtual bool ScrambleTrailingBlock(const ImageContext& ctx) const = 0;
    virtual void SetTrailingStoredLength(ImageContext& ctx, uint32_t length) = 0;
    virtual void ClearPending(ImageContext& ctx) = 0;
    // 0, or -1 on failure.
    virtual int Finish(ImageContext& ctx) = 0;
};

// The composed image of a build for burning (its image-building code).
class IComposedImageServices {
public:
    virtual ~IComposedImageServices() = default;
    // Reads from the document's composed image: sectors read.
    virtual int32_t ReadComposedSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) = 0;
    // Appends whole sectors (2048 or 2352 bytes each); false on failure.
    virtual bool AppendComposedSectors(ImageContext& ctx, const uint8_t* bytes, size_t length) = 0;
};

// Row readers of the chunked images: the chunk engine (DMG) and the chunk-image
// readers (UIF, ISZ). Sectors read.
class IChunkImageServices {
public:
    virtual ~IChunkImageServices() = default;
    virtual int32_t ReadChunkedSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) = 0;
    virtual int32_t ReadChunkImageSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) = 0;
};

// The DAA/HXI, MZP and XDI containers and the deflate variant.
class IContainerServices {
public:
    virtual ~IContainerServices() = default;
    // One sector of a container: 0, or -1 when its chunk cannot be read.
    virtual int CopyContainerSector(ContainerKind kind, ImageContext& ctx, uint32_t sector,
                                    uint8_t* destination) = 0;
    // The writer family of a container kind; null when not available.
    virtual IContainerWriterFamily* ContainerWriter(ContainerKind kind) = 0;
    // The deflate variant at level 0 into output; the compressed length, 0 on failure.
    virtual size_t DeflateCompressBlock(const uint8_t* input, size_t length, uint8_t* output,
                                        size_t capacity) = 0;
};

// The installed services, or stand-ins that answer "not available" (the
// composed image: its building code). The installers do not take ownership;
// null restores the stand-in; each returns what was installed before
// (foundation/services.h).
IComposedImageServices& ComposedImageServices();
IComposedImageServices* SetComposedImageServices(IComposedImageServices* access);
IChunkImageServices& ChunkImageServices();
IChunkImageServices* SetChunkImageServices(IChunkImageServices* readers);
IContainerServices& ContainerServices();
IContainerServices* SetContainerServices(IContainerServices* services);

}  // namespace image
