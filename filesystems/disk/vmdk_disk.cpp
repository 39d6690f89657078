#include "filesystems/disk/vmdk_disk.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "filesystems/disk/virtual_disk.h"
#include "foundation/byte_cursor.h"
#include "image/document/image_context.h"
#include "image/sheets/cue_parser_names.h"
#include "platform/text.h"

namespace filesystems {
namespace {

constexpr uint32_t kSectorBytes = 512;

// Sparse header, 512 bytes, little-endian; offsets and sizes in sectors.
constexpr size_t kSparseHeaderBytes = 512;
constexpr size_t kMagic = 0;               // "KDMV"
constexpr size_t kVersion = 4;
constexpr size_t kFlags = 8;
constexpr size_t kCapacity = 12;
constexpr size_t kGrainSize = 20;
constexpr size_t kDescriptorOffset = 28;
constexpr size_t kDescriptorSize = 36;
constexpr size_t kEntriesPerTable = 44;
constexpr size_t kRedundantDirectory = 48;
constexpr size_t kDirectory = 56;
constexpr uint32_t kFlagRedundantTables = 1u << 1;
// Compressed grains and the markers of stream-optimised disks are not read.
constexpr uint32_t kFlagCompressed = 1u << 16;
constexpr uint32_t kFlagMarkers = 1u << 17;

// A descriptor file is small text; one inside a monolithic disk is capped too.
constexpr uint64_t kMaxDescriptorFileBytes = 10239;
constexpr uint64_t kMaxEmbeddedDescriptorBytes = 64 * 1024;
// Tools write 512 entries a table; the cap keeps one table's buffer small.
constexpr uint32_t kMaxEntriesPerTable = 65536;
// So that the disk's byte size fits 64 bits with room to spare.
constexpr uint64_t kMaxTotalSectors = uint64_t(1) << 54;
constexpr size_t kCacheSlots = 256;
constexpr uint32_t kPieceEntries = 128;

bool IsPowerOfTwo(uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

VmdkImage* VmdkOf(image::ImageContext& ctx) {
    return ctx.vmdkState ? std::get_if<VmdkImage>(&ctx.vmdkState->disk) : nullptr;
}

uint64_t FileSizeOf(foundation::FileHandle file) {
    const int64_t size = foundation::GetFileSize64(file);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

// count 32-bit entries at a sector offset, which must lie in the file.
bool ReadEntries(foundation::FileHandle file, uint64_t fileSize, uint64_t sectorOffset, uint64_t count,
                 std::vector<uint32_t>& entries) {
    if (sectorOffset > fileSize / kSectorBytes) return false;
    const uint64_t at = sectorOffset * kSectorBytes;
    if ((fileSize - at) / 4 < count) return false;
    std::vector<uint8_t> raw(static_cast<size_t>(count) * 4);
    if (!raw.empty() && !foundation::ReadFileAt(file, raw.data(), at, raw.size())) return false;
    foundation::ByteCursor cursor(raw.data(), raw.size());
    entries.resize(static_cast<size_t>(count));
    for (size_t i = 0; i < entries.size(); ++i) entries[i] = cursor.Le32(i * 4);
    return true;
}

struct SparseHeader {
    uint32_t flags = 0;
    uint64_t descriptorOffset = 0;
    uint64_t descriptorSize = 0;
    uint64_t redundantDirectory = 0;
};

// Reads and checks the sparse header into the extent; the grain directory is
// loaded (and checked against the redundant one) too.
bool LoadSparseExtent(VmdkExtent& extent, SparseHeader& header, DiskRefusal* refusal) {
    const uint64_t fileSize = FileSizeOf(extent.file);
    uint8_t raw[kSparseHeaderBytes];
    if (fileSize < kSparseHeaderBytes || !foundation::ReadFileAt(extent.file, raw, 0, sizeof raw)) return false;
    foundation::ByteCursor cursor(raw, sizeof raw);
    if (std::memcmp(raw + kMagic, "KDMV", 4) != 0) return false;
    header.flags = cursor.Le32(kFlags);
    // Stream-optimised disks (version 3) say so by their flags.
    if (header.flags & (kFlagCompressed | kFlagMarkers)) {
        if (refusal) *refusal = DiskRefusal::kCompressed;
        return false;
    }
    if (cursor.Le32(kVersion) != 1) return false;
    extent.capacity = cursor.Le64(kCapacity);
    extent.grainSize = cursor.Le64(kGrainSize);
    header.descriptorOffset = cursor.Le64(kDescriptorOffset);
    header.descriptorSize = cursor.Le64(kDescriptorSize);
    extent.entriesPerTable = cursor.Le32(kEntriesPerTable);
    header.redundantDirectory = cursor.Le64(kRedundantDirectory);
    extent.directoryOffset = cursor.Le64(kDirectory);
    if (!IsPowerOfTwo(extent.grainSize) || extent.grainSize < 8) return false;
    if (!IsPowerOfTwo(extent.entriesPerTable) || extent.entriesPerTable < kPieceEntries ||
        extent.entriesPerTable > kMaxEntriesPerTable) {
        return false;
    }
    // Checked before the product so that it cannot wrap.
    if (extent.grainSize >= (uint64_t(1) << 32) / extent.entriesPerTable) return false;
    extent.sectorsPerDirectoryEntry = extent.grainSize * extent.entriesPerTable;
    if (extent.capacity == 0 || extent.capacity > kMaxTotalSectors) return false;
    const uint64_t entries =
        extent.capacity / extent.sectorsPerDirectoryEntry + (extent.capacity % extent.sectorsPerDirectoryEntry != 0);
    if (!ReadEntries(extent.file, fileSize, extent.directoryOffset, entries, extent.grainDirectory)) return false;
    if (!(header.flags & kFlagRedundantTables)) return true;

    std::vector<uint32_t> redundant;
    if (!ReadEntries(extent.file, fileSize, header.redundantDirectory, entries, redundant)) return false;
    // Two copies of every table: where both are given they must agree. Each
    // pair of tables is compared once however many entries name it.
    std::set<std::pair<uint32_t, uint32_t>> compared;
    std::vector<uint32_t> first, second;
    for (size_t i = 0; i < redundant.size(); ++i) {
        const uint32_t a = extent.grainDirectory[i], b = redundant[i];
        if (a == 0 && b == 0) continue;
        if (a == 0 || b == 0) return false;
        if (a == b || !compared.insert({a, b}).second) continue;
        if (!ReadEntries(extent.file, fileSize, a, extent.entriesPerTable, first) ||
            !ReadEntries(extent.file, fileSize, b, extent.entriesPerTable, second) || first != second) {
            return false;
        }
    }
    return true;
}

// Extent names come from a file: they may name only regular files beside the
// descriptor (or in folders below it, never through ".."). A Windows or absolute path is taken by
// its last part; names match without regard to case.
bool ResolveExtentPath(const std::u16string& descriptorPath, const std::string& name, std::u16string& path) {
    std::u16string wide = platform::Utf8ToUtf16(name);
    const bool absolute = !wide.empty() && (wide[0] == u'/' || wide[0] == u'\\' || (wide.size() >= 2 && wide[1] == u':'));
    if (absolute) {
        const size_t slash = wide.find_last_of(u"/\\");
        wide = slash == std::u16string::npos ? wide.substr(2) : wide.substr(slash + 1);
    }
    if (wide.empty() || wide[0] == u'*') return false;
    // A ".." part would lead out of the descriptor's folder ("../../etc/passwd"):
    // an image file never names what lies outside it.
    for (size_t start = 0; start <= wide.size();) {
        size_t end = wide.find_first_of(u"/\\", start);
        if (end == std::u16string::npos) end = wide.size();
        if (wide.compare(start, end - start, u"..") == 0) return false;
        start = end + 1;
    }
    return image::ResolveSheetFileName(descriptorPath, wide, path) == image::SheetNameStatus::Ok;
}

bool IsRegularFile(const std::u16string& path) {
    struct stat info {};
    return ::stat(platform::Utf16ToUtf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Stat first, so that a FIFO or a device named by the descriptor is never opened.
foundation::UniqueFile OpenExtentFile(const std::u16string& path) {
    if (!IsRegularFile(path)) return nullptr;
    foundation::UniqueFile file(foundation::OpenFileForRead(path));
    if (!file) return nullptr;
    struct stat info {};
    if (::fstat(platform::FileDescriptor(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    return file;
}

bool AddExtent(VmdkImage& vmdk, VmdkExtent extent) {
    uint64_t total = 0;
    for (const VmdkExtent& e : vmdk.extents) total += e.sectors;
    if (extent.sectors > kMaxTotalSectors - total) return false;
    extent.index = static_cast<int32_t>(vmdk.extents.size());
    vmdk.extents.push_back(std::move(extent));
    return true;
}

int OpenMonolithic(image::ImageContext& ctx, DiskRefusal* refusal) {
    VmdkExtent extent;
    extent.file = ctx.imageHandle.get();
    extent.path = ctx.imagePath;
    SparseHeader header;
    if (!LoadSparseExtent(extent, header, refusal)) return 0;
    const uint64_t fileSize = FileSizeOf(extent.file);
    if (header.descriptorOffset == 0 || header.descriptorSize == 0) return 0;
    if (header.descriptorSize > kMaxEmbeddedDescriptorBytes / kSectorBytes) return 0;
    if (header.descriptorOffset > fileSize / kSectorBytes ||
        (fileSize - header.descriptorOffset * kSectorBytes) / kSectorBytes < header.descriptorSize) {
        return 0;
    }
    std::string text(static_cast<size_t>(header.descriptorSize * kSectorBytes), '\0');
    if (!foundation::ReadFileAt(extent.file, text.data(), header.descriptorOffset * kSectorBytes, text.size())) {
        return 0;
    }
    text.resize(std::strlen(text.c_str()));
    VmdkDescriptor descriptor;
    if (!ParseVmdkDescriptor(text, descriptor) || descriptor.extents.size() != 1) return 0;
    if (descriptor.hasParent) {
        if (refusal) *refusal = DiskRefusal::kDifferencing;
        return 0;
    }
    const VmdkExtentLine& line = descriptor.extents[0];
    if (line.kind != VmdkExtentKind::kSparse || line.sectors > extent.capacity) return 0;
    extent.fileName = line.fileName;
    extent.sectors = line.sectors;
    extent.kind = line.kind;
    extent.access = line.access;

    auto state = std::make_unique<image::VirtualDiskState>();
    VmdkImage& vmdk = state->disk.emplace<VmdkImage>();
    if (!AddExtent(vmdk, std::move(extent))) return 0;
    vmdk.totalBytes = vmdk.extents[0].sectors * kSectorBytes;
    vmdk.cache.resize(kCacheSlots);
    AttachVirtualDisk(ctx.vmdkState, state.release());
    return 1;
}

int OpenDescriptorFile(image::ImageContext& ctx, DiskRefusal* refusal) {
    foundation::FileHandle file = ctx.imageHandle.get();
    const uint64_t fileSize = FileSizeOf(file);
    if (fileSize == 0 || fileSize > kMaxDescriptorFileBytes) return 0;
    std::string text(static_cast<size_t>(fileSize), '\0');
    if (!foundation::ReadFileAt(file, text.data(), 0, text.size())) return 0;
    // Tools pad the descriptor to whole sectors with NUL bytes.
    text.resize(std::strlen(text.c_str()));
    VmdkDescriptor descriptor;
    if (!ParseVmdkDescriptor(text, descriptor) || descriptor.extents.empty()) return 0;
    if (descriptor.hasParent) {
        if (refusal) *refusal = DiskRefusal::kDifferencing;
        return 0;
    }
    auto state = std::make_unique<image::VirtualDiskState>();
    VmdkImage& vmdk = state->disk.emplace<VmdkImage>();
    bool sparse = false;
    uint64_t total = 0;
    for (const VmdkExtentLine& line : descriptor.extents) {
        VmdkExtent extent;
        extent.fileName = line.fileName;
        extent.sectors = line.sectors;
        extent.startOffset = line.startOffset;
        extent.kind = line.kind;
        extent.access = line.access;
        if (line.kind != VmdkExtentKind::kZero) {
            if (!ResolveExtentPath(ctx.imagePath, line.fileName, extent.path)) return 0;
            extent.ownFile = OpenExtentFile(extent.path);
            if (!extent.ownFile) return 0;
            extent.file = extent.ownFile.get();
        }
        if (line.kind == VmdkExtentKind::kSparse) {
            SparseHeader header;
            if (!LoadSparseExtent(extent, header, refusal) || line.sectors > extent.capacity) return 0;
            sparse = true;
        } else if (line.kind == VmdkExtentKind::kFlat && line.startOffset > kMaxTotalSectors) {
            return 0;
        }
        if (!AddExtent(vmdk, std::move(extent))) return 0;
        total += line.sectors;
    }
    vmdk.totalBytes = total * kSectorBytes;
    if (sparse) vmdk.cache.resize(kCacheSlots);
    AttachVirtualDisk(ctx.vmdkState, state.release());
    return 1;
}

// The grain's first sector in the extent's file, 0 when not allocated, or
// nothing when the tables cannot be read.
std::optional<uint64_t> LookUpGrain(VmdkImage& vmdk, const VmdkExtent& extent, uint64_t position) {
    const uint64_t directoryIndex = position / extent.sectorsPerDirectoryEntry;
    if (directoryIndex >= extent.grainDirectory.size()) return std::nullopt;
    const uint32_t table = extent.grainDirectory[static_cast<size_t>(directoryIndex)];
    if (table == 0) return uint64_t(0);
    const uint64_t piece = position / (extent.grainSize * kPieceEntries);
    std::lock_guard<std::mutex> guard(*vmdk.cacheLock);
    VmdkCacheSlot& slot = vmdk.cache[static_cast<size_t>((piece + uint64_t(extent.index)) % kCacheSlots)];
    if (slot.extent != extent.index || slot.piece != piece) {
        slot.extent = -1;
        const uint64_t pieceSector = uint64_t(table) + piece % (extent.entriesPerTable / kPieceEntries);
        uint8_t raw[kPieceEntries * 4];
        if (!foundation::ReadFileAt(extent.file, raw, pieceSector * kSectorBytes, sizeof raw)) return std::nullopt;
        foundation::ByteCursor cursor(raw, sizeof raw);
        for (uint32_t i = 0; i < kPieceEntries; ++i) slot.entries[i] = cursor.Le32(i * 4);
        slot.extent = extent.index;
        slot.piece = piece;
    }
    const uint32_t grain = slot.entries[static_cast<size_t>((position / extent.grainSize) & (kPieceEntries - 1))];
    return uint64_t(grain);
}

}  // namespace

int OpenVmdkImage(image::ImageContext& ctx, DiskRefusal* refusal) {
    foundation::FileHandle file = ctx.imageHandle.get();
    uint8_t magic[4] = {};
    if (!file || !foundation::ReadFileAt(file, magic, 0, sizeof magic)) return 0;
    if (std::memcmp(magic, "KDMV", 4) == 0) return OpenMonolithic(ctx, refusal);
    return OpenDescriptorFile(ctx, refusal);
}

uint32_t ReadVmdkSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    VmdkImage* vmdk = VmdkOf(ctx);
    if (!vmdk || count == 0) return 0;
    const uint64_t sectors = vmdk->totalBytes / kSectorBytes;
    if (sector > sectors || count > sectors - sector) return 0;
    uint32_t done = 0;
    size_t extentIndex = 0;
    uint64_t extentFirst = 0;
    while (done < count) {
        const uint64_t at = sector + done;
        while (extentIndex < vmdk->extents.size() && at - extentFirst >= vmdk->extents[extentIndex].sectors) {
            extentFirst += vmdk->extents[extentIndex].sectors;
            ++extentIndex;
        }
        if (extentIndex == vmdk->extents.size()) break;
        const VmdkExtent& extent = vmdk->extents[extentIndex];
        if (extent.access == VmdkAccess::kNoAccess) break;
        const uint64_t inExtent = at - extentFirst;
        uint64_t n = std::min<uint64_t>(count - done, extent.sectors - inExtent);
        uint8_t* out = buffer + size_t(done) * kSectorBytes;
        if (extent.kind == VmdkExtentKind::kZero) {
            std::memset(out, 0, static_cast<size_t>(n) * kSectorBytes);
        } else if (extent.kind == VmdkExtentKind::kFlat) {
            const uint64_t p = inExtent + extent.startOffset;
            if (!foundation::ReadFileAt(extent.file, out, p * kSectorBytes, static_cast<size_t>(n) * kSectorBytes)) break;
        } else {
            const std::optional<uint64_t> grain = LookUpGrain(*vmdk, extent, inExtent);
            if (!grain) break;
            const uint64_t inGrain = inExtent % extent.grainSize;
            n = std::min<uint64_t>(n, extent.grainSize - inGrain);
            if (*grain == 0) {
                std::memset(out, 0, static_cast<size_t>(n) * kSectorBytes);
            } else if (!foundation::ReadFileAt(extent.file, out, (*grain + inGrain) * kSectorBytes,
                                               static_cast<size_t>(n) * kSectorBytes)) {
                break;
            }
        }
        done += static_cast<uint32_t>(n);
    }
    return done;
}

}  // namespace filesystems
