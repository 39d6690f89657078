#include "filesystems/disk/vhd_disk.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "filesystems/disk/virtual_disk.h"
#include "foundation/byte_cursor.h"
#include "foundation/file_io.h"
#include "image/document/image_context.h"

namespace filesystems {
namespace {

constexpr uint32_t kSectorBytes = 512;
constexpr uint32_t kNotAllocated = 0xFFFFFFFFu;

// Footer, 512 bytes at the end of the file.
constexpr size_t kFooterBytes = 512;
constexpr size_t kFooterCookie = 0;          // "conectix"
constexpr size_t kFooterDataOffset = 16;     // uint64, the dynamic header
constexpr size_t kFooterCurrentSize = 48;    // uint64, bytes
constexpr size_t kFooterDiskType = 60;       // uint32
constexpr uint32_t kDiskFixed = 2;
constexpr uint32_t kDiskDynamic = 3;
constexpr uint32_t kDiskDifferencing = 4;

// Dynamic header, 1024 bytes at the footer's data offset.
constexpr size_t kHeaderBytes = 1024;
constexpr size_t kHeaderCookie = 0;          // "cxsparse"
constexpr size_t kHeaderTableOffset = 16;    // uint64
constexpr size_t kHeaderTableEntries = 28;   // uint32
constexpr size_t kHeaderBlockSize = 32;      // uint32

// Block sizes from 4 KiB to 256 MiB: the bitmap of the largest fits 64 KiB.
constexpr uint32_t kMinBlockBytes = 4096;
constexpr uint32_t kMaxBlockBytes = 256u << 20;

bool IsPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

VhdImage* VhdOf(image::ImageContext& ctx) {
    return ctx.vhdState ? std::get_if<VhdImage>(&ctx.vhdState->disk) : nullptr;
}

bool LoadDynamicHeader(foundation::FileHandle file, uint64_t fileSize, VhdImage& vhd) {
    if (vhd.dynamicHeaderOffset > fileSize || fileSize - vhd.dynamicHeaderOffset < kHeaderBytes) return false;
    std::array<uint8_t, kHeaderBytes> header{};
    if (!foundation::ReadFileAt(file, header.data(), vhd.dynamicHeaderOffset, header.size())) return false;
    foundation::ByteCursor cursor(header.data(), header.size());
    if (std::memcmp(header.data() + kHeaderCookie, "cxsparse", 8) != 0) return false;
    vhd.tableOffset = cursor.Be64(kHeaderTableOffset);
    const uint32_t entries = cursor.Be32(kHeaderTableEntries);
    vhd.blockBytes = cursor.Be32(kHeaderBlockSize);
    if (!IsPowerOfTwo(vhd.blockBytes) || vhd.blockBytes < kMinBlockBytes || vhd.blockBytes > kMaxBlockBytes) {
        return false;
    }
    vhd.sectorsPerBlock = vhd.blockBytes / kSectorBytes;
    // One bit a sector, rounded up to whole sectors (a 4 KiB block still has a
    // whole sector of bitmap before its data).
    const uint32_t bitmapBytes = vhd.sectorsPerBlock / 8;
    vhd.bitmapSectors = (bitmapBytes + kSectorBytes - 1) / kSectorBytes;
    // Every sector of the disk needs its table entry.
    const uint64_t needed = (vhd.sizeBytes + vhd.blockBytes - 1) / vhd.blockBytes;
    if (needed > entries) return false;
    // The table must lie in the file before anything is allocated for it.
    if (vhd.tableOffset > fileSize || (fileSize - vhd.tableOffset) / 4 < needed) return false;
    std::vector<uint8_t> raw(static_cast<size_t>(needed) * 4);
    if (!raw.empty() && !foundation::ReadFileAt(file, raw.data(), vhd.tableOffset, raw.size())) return false;
    foundation::ByteCursor table(raw.data(), raw.size());
    vhd.table.resize(static_cast<size_t>(needed));
    for (size_t i = 0; i < vhd.table.size(); ++i) vhd.table[i] = table.Be32(i * 4);
    return true;
}

// Delivers at most the rest of one block; 0 on failure.
uint32_t ReadPiece(image::ImageContext& ctx, const VhdImage& vhd, uint64_t sector, uint8_t* buffer,
                   uint32_t count) {
    foundation::FileHandle file = ctx.imageHandle.get();
    if (vhd.diskKind == kDiskFixed) {
        return foundation::ReadFileAt(file, buffer, sector * kSectorBytes, size_t(count) * kSectorBytes) ? count
                                                                                                           : 0;
    }
    const uint64_t block = sector / vhd.sectorsPerBlock;
    const uint32_t inBlock = static_cast<uint32_t>(sector % vhd.sectorsPerBlock);
    const uint32_t wanted = std::min(count, vhd.sectorsPerBlock - inBlock);
    const uint32_t entry = vhd.table[static_cast<size_t>(block)];
    if (entry == kNotAllocated) {
        std::memset(buffer, 0, size_t(wanted) * kSectorBytes);
        return wanted;
    }
    // Only the bitmap bytes that cover the sectors wanted are read.
    const uint32_t firstByte = inBlock / 8;
    const uint32_t lastByte = (inBlock + wanted - 1) / 8;
    uint8_t bits[64];   // one piece looks at no more than 512 sectors' bits
    const uint32_t bitmapSpan = std::min<uint32_t>(lastByte - firstByte + 1, sizeof bits);
    const uint64_t bitmapAt = uint64_t(entry) * kSectorBytes + firstByte;
    if (!foundation::ReadFileAt(file, bits, bitmapAt, bitmapSpan)) return 0;
    auto bitSet = [&](uint32_t k) {
        const uint32_t byte = k / 8 - firstByte;
        return (bits[byte] & (0x80u >> (k % 8))) != 0;
    };
    const uint32_t covered = std::min(wanted, (firstByte + bitmapSpan) * 8 - inBlock);
    const bool set = bitSet(inBlock);
    uint32_t run = 1;
    while (run < covered && bitSet(inBlock + run) == set) ++run;
    if (!set) {
        // A sector never written reads as zeros.
        std::memset(buffer, 0, size_t(run) * kSectorBytes);
        return run;
    }
    const uint64_t dataAt = (uint64_t(entry) + vhd.bitmapSectors + inBlock) * kSectorBytes;
    return foundation::ReadFileAt(file, buffer, dataAt, size_t(run) * kSectorBytes) ? run : 0;
}

}  // namespace

int OpenVhdImage(image::ImageContext& ctx, DiskRefusal* refusal) {
    foundation::FileHandle file = ctx.imageHandle.get();
    const int64_t size = foundation::GetFileSize64(file);
    if (!file || size < static_cast<int64_t>(kFooterBytes)) return 0;
    const uint64_t fileSize = static_cast<uint64_t>(size);
    std::array<uint8_t, kFooterBytes> footer{};
    if (!foundation::ReadFileAt(file, footer.data(), fileSize - kFooterBytes, footer.size())) return 0;
    if (std::memcmp(footer.data() + kFooterCookie, "conectix", 8) != 0) return 0;
    foundation::ByteCursor cursor(footer.data(), footer.size());

    auto vhd = std::make_unique<image::VirtualDiskState>();
    VhdImage& disk = vhd->disk.emplace<VhdImage>();
    disk.diskKind = cursor.Be32(kFooterDiskType);
    disk.sizeBytes = cursor.Be64(kFooterCurrentSize);
    disk.footerOffset = fileSize - kFooterBytes;
    disk.dynamicHeaderOffset = cursor.Be64(kFooterDataOffset);
    if (disk.diskKind == kDiskDifferencing) {
        if (refusal) *refusal = DiskRefusal::kDifferencing;
        return 0;
    }
    if (disk.diskKind == kDiskFixed) {
        // The data lies in front of the footer.
        if (disk.sizeBytes > disk.footerOffset) return 0;
    } else if (disk.diskKind == kDiskDynamic) {
        if (!LoadDynamicHeader(file, fileSize, disk)) return 0;
    } else {
        return 0;
    }
    AttachVirtualDisk(ctx.vhdState, vhd.release());
    return 1;
}

uint32_t ReadVhdSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    const VhdImage* vhd = VhdOf(ctx);
    if (!vhd || count == 0) return 0;
    const uint64_t sectors = vhd->sizeBytes / kSectorBytes;
    if (sector > sectors || count > sectors - sector) return 0;
    uint32_t done = 0;
    while (done < count) {
        const uint32_t got = ReadPiece(ctx, *vhd, sector + done, buffer + size_t(done) * kSectorBytes, count - done);
        if (got == 0) break;
        done += got;
    }
    return done;
}

}  // namespace filesystems
