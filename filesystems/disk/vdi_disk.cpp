#include "filesystems/disk/vdi_disk.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "filesystems/disk/virtual_disk.h"
#include "foundation/byte_cursor.h"
#include "foundation/file_io.h"
#include "image/document/image_context.h"

namespace filesystems {
namespace {

constexpr uint32_t kSectorBytes = 512;
constexpr uint32_t kSignature = 0xBEDA107Fu;
constexpr uint32_t kNotAllocated = 0xFFFFFFFFu;
constexpr uint32_t kZeroBlock = 0xFFFFFFFEu;
constexpr uint32_t kTypeDifferencing = 4;

// Pre-header: text at 0 (64 bytes), signature at 64, version at 68.
constexpr size_t kPreHeaderBytes = 72;
// The largest header read (version 1.x with its 400-byte header).
constexpr size_t kReadBytes = 72 + 400;

// Version 0 header fields (absolute offsets); the map follows the header.
constexpr size_t kV0Type = 72, kV0Flags = 76, kV0DiskSize = 352, kV0BlockSize = 360, kV0BlockCount = 364,
                 kV0Allocated = 368, kV0MapOffset = 420;
// Version 1.x header fields.
constexpr size_t kV1HeaderSize = 72, kV1Type = 76, kV1Flags = 80, kV1MapOffset = 340, kV1DataOffset = 344,
                 kV1DiskSize = 368, kV1BlockSize = 376, kV1ExtraBytes = 380, kV1BlockCount = 384,
                 kV1Allocated = 388;

bool IsPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

VdiImage* VdiOf(image::ImageContext& ctx) {
    return ctx.vdiState ? std::get_if<VdiImage>(&ctx.vdiState->disk) : nullptr;
}

uint32_t ReadPiece(image::ImageContext& ctx, const VdiImage& vdi, uint64_t sector, uint8_t* buffer,
                   uint32_t count) {
    const uint64_t position = sector * kSectorBytes;
    const uint64_t block = position >> vdi.blockShift;
    const uint32_t inBlock = static_cast<uint32_t>(position & vdi.blockMask);
    const uint64_t bytes = std::min<uint64_t>(uint64_t(count) * kSectorBytes, vdi.blockBytes - inBlock);
    if (block >= vdi.blockMap.size()) return 0;
    const uint32_t entry = vdi.blockMap[static_cast<size_t>(block)];
    if (entry == kNotAllocated || entry == kZeroBlock) {
        // Never written, or written as zeros: both read as zeros.
        std::memset(buffer, 0, static_cast<size_t>(bytes));
        return static_cast<uint32_t>(bytes / kSectorBytes);
    }
    if (entry >= vdi.blockCount) return 0;
    // entry < 2^32 and stride < 2^33: the product fits, the sum is checked.
    const uint64_t blockAt = uint64_t(entry) * vdi.blockStride;
    const uint64_t base = vdi.dataOffset + vdi.extraBytes;
    if (blockAt > UINT64_MAX - base - inBlock) return 0;
    if (!foundation::ReadFileAt(ctx.imageHandle.get(), buffer, base + blockAt + inBlock, static_cast<size_t>(bytes))) {
        return 0;
    }
    return static_cast<uint32_t>(bytes / kSectorBytes);
}

}  // namespace

int OpenVdiImage(image::ImageContext& ctx, DiskRefusal* refusal) {
    foundation::FileHandle file = ctx.imageHandle.get();
    const int64_t size = foundation::GetFileSize64(file);
    if (!file || size < static_cast<int64_t>(kPreHeaderBytes)) return 0;
    const uint64_t fileSize = static_cast<uint64_t>(size);
    std::array<uint8_t, kReadBytes> head{};
    const int64_t got = foundation::ReadFileAtCount(file, head.data(), 0, head.size());
    if (got < static_cast<int64_t>(kPreHeaderBytes)) return 0;
    foundation::ByteCursor cursor(head.data(), static_cast<size_t>(got));
    if (cursor.Le32(64) != kSignature) return 0;

    auto state = std::make_unique<image::VirtualDiskState>();
    VdiImage& vdi = state->disk.emplace<VdiImage>();
    vdi.version = cursor.Le32(68);
    uint32_t flags = 0, allocated = 0;
    if (vdi.version >= 0x00010000u && vdi.version <= 0x0001FFFFu) {
        const uint32_t headerSize = cursor.Le32(kV1HeaderSize);
        if (headerSize < 384) return 0;
        vdi.imageType = cursor.Le32(kV1Type);
        flags = cursor.Le32(kV1Flags);
        vdi.blockMapOffset = cursor.Le32(kV1MapOffset);
        vdi.dataOffset = cursor.Le32(kV1DataOffset);
        vdi.diskBytes = cursor.Le64(kV1DiskSize);
        vdi.blockBytes = cursor.Le32(kV1BlockSize);
        vdi.extraBytes = cursor.Le32(kV1ExtraBytes);
        vdi.blockCount = cursor.Le32(kV1BlockCount);
        allocated = cursor.Le32(kV1Allocated);
        if (vdi.blockMapOffset < 456) return 0;
    } else if (vdi.version == 2) {
        vdi.imageType = cursor.Le32(kV0Type);
        flags = cursor.Le32(kV0Flags);
        vdi.diskBytes = cursor.Le64(kV0DiskSize);
        vdi.blockBytes = cursor.Le32(kV0BlockSize);
        vdi.blockCount = cursor.Le32(kV0BlockCount);
        allocated = cursor.Le32(kV0Allocated);
        vdi.blockMapOffset = kV0MapOffset;
        vdi.dataOffset = kV0MapOffset + uint64_t(vdi.blockCount) * 4;
    } else {
        return 0;
    }
    if (!cursor.Ok()) return 0;
    if (vdi.dataOffset < vdi.blockMapOffset + uint64_t(vdi.blockCount) * 4) return 0;
    if (vdi.imageType < 1 || vdi.imageType > 4) return 0;
    if (((flags << 8) & ~0x100u) != 0) return 0;
    if (vdi.diskBytes == 0 || vdi.blockBytes == 0 || vdi.blockCount == 0) return 0;
    if (!IsPowerOfTwo(vdi.blockBytes) || vdi.blockBytes < kSectorBytes) return 0;
    if (allocated > vdi.blockCount) return 0;
    if (vdi.extraBytes != 0 && !IsPowerOfTwo(vdi.extraBytes)) return 0;
    if (uint64_t(vdi.blockCount) * vdi.blockBytes < vdi.diskBytes) return 0;
    if (vdi.imageType == kTypeDifferencing) {
        if (refusal) *refusal = DiskRefusal::kDifferencing;
        return 0;
    }
    vdi.blockMask = vdi.blockBytes - 1;
    vdi.blockShift = static_cast<uint32_t>(std::countr_zero(vdi.blockBytes));
    vdi.blockStride = uint64_t(vdi.blockBytes) + vdi.extraBytes;

    // The map must lie in the file before anything is allocated for it.
    const uint64_t mapBytes = uint64_t(vdi.blockCount) * 4;
    if (vdi.blockMapOffset > fileSize || fileSize - vdi.blockMapOffset < mapBytes) return 0;
    std::vector<uint8_t> raw(static_cast<size_t>(mapBytes));
    if (!foundation::ReadFileAt(file, raw.data(), vdi.blockMapOffset, raw.size())) return 0;
    foundation::ByteCursor map(raw.data(), raw.size());
    vdi.blockMap.resize(vdi.blockCount);
    for (size_t i = 0; i < vdi.blockMap.size(); ++i) vdi.blockMap[i] = map.Le32(i * 4);
    AttachVirtualDisk(ctx.vdiState, state.release());
    return 1;
}

uint32_t ReadVdiSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    const VdiImage* vdi = VdiOf(ctx);
    if (!vdi || count == 0) return 0;
    const uint64_t sectors = vdi->diskBytes / kSectorBytes;
    if (sector > sectors || count > sectors - sector) return 0;
    uint32_t done = 0;
    while (done < count) {
        const uint32_t got = ReadPiece(ctx, *vdi, sector + done, buffer + size_t(done) * kSectorBytes, count - done);
        if (got == 0) break;
        done += got;
    }
    return done;
}

}  // namespace filesystems
