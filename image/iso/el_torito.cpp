// Reading El Torito boot images out of an opened image.

#include "image/iso/el_torito.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "foundation/byte_cursor.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/detect/quiet_read_scope.h"
#include "image/sectors/sector_io.h"
#include "image/iso/volume_descriptor.h"

namespace image {
namespace {

using namespace el_torito;

constexpr size_t kMbrPartitionTable = 446;
constexpr size_t kMbrPartitionEntryBytes = 16;
constexpr size_t kMbrSignature = 510;
constexpr uint32_t kMbrSectorBytes = 512;
constexpr size_t kMaxCatalogueEntries = kSectorBytes / kEntryBytes;

bool WithinImage(const ImageContext& ctx, uint64_t first, uint64_t count) {
    if (first > uint64_t(INT32_MAX) || count > uint64_t(INT32_MAX)) return false;
    return ctx.endSector <= 0 || (first < uint64_t(ctx.endSector) && count <= uint64_t(ctx.endSector) - first);
}

// The open reads the boot pieces without questions: a damaged catalogue
// leaves the document without a boot image rather than stopping the open.
bool ReadSectors(ImageContext& ctx, uint64_t first, uint64_t count, uint8_t* out) {
    if (count == 0) return true;
    if (!WithinImage(ctx, first, count)) return false;
    return ReadImageSectors(ctx, int32_t(first), out, int32_t(count)) == int32_t(count);
}

uint64_t SectorsFor(uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

bool IsBootRecordDescriptor(const uint8_t* d) {
    return d[0] == 0 && std::memcmp(d + 1, "CD001", 5) == 0 && d[6] == 1 &&
           std::memcmp(d + kBootSystemIdOffset, kElToritoSystemId, sizeof kElToritoSystemId - 1) == 0;
}

uint64_t FloppyBytes(uint8_t media) {
    switch (media) {
    case kMediaFloppy12: return 1228800;
    case kMediaFloppy144: return 1474560;
    case kMediaFloppy288: return 2949120;
    default: return 0;
    }
}

// The bytes of one image read into whole sectors; false on a short read.
// The end an MDS or NRG descriptor claims may lie far past the data its file
// holds, so the buffer grows only by what was read, in steps that double
// from one sector: an entry whose first sector is missing costs one sector.
bool ReadImageBytes(ImageContext& ctx, uint64_t start, uint64_t bytes, std::vector<uint8_t>& out) {
    constexpr uint64_t kMaxStepSectors = 512;
    const uint64_t n = SectorsFor(bytes);
    out.clear();
    if (bytes == 0 || int64_t(bytes) > kBootImageCap || !WithinImage(ctx, start, n)) return false;
    for (uint64_t done = 0; done < n;) {
        const uint64_t step = std::min({std::max<uint64_t>(done, 1), kMaxStepSectors, n - done});
        out.resize(size_t((done + step) * kSectorBytes));
        if (!ReadSectors(ctx, start + done, step, out.data() + done * kSectorBytes)) {
            out = std::vector<uint8_t>();
            return false;
        }
        done += step;
    }
    return true;
}

// What all boot images of the document may hold together. Images that do not
// overlap never pass the image's own size: more is a catalogue that sends its
// entries over the same sectors again and again.
uint64_t BootImageBudget(const ImageContext& ctx) {
    uint64_t budget = uint64_t(kBootImageCap);
    if (ctx.endSector > 0) budget = std::min(budget, uint64_t(ctx.endSector) * kSectorBytes);
    return budget;
}

// The images of the section entries behind the default entry. Entries that
// load the same sectors share one image; an entry whose image cannot be read,
// or would pass the budget that the images share, is dropped and the save
// says so.
void LoadSectionImages(ImageContext& ctx, ElToritoState& state) {
    const uint64_t budget = BootImageBudget(ctx);
    uint64_t held = state.bootImage.size();
    foundation::ByteCursor cat(state.catalogue.data(), state.catalogue.size());
    size_t at = kDefaultEntryOffset + kEntryBytes;
    size_t entries = 2;
    bool final = false;
    while (!final && entries < kMaxCatalogueEntries) {
        uint8_t id = cat.U8(at);
        if (id != kSectionHeader && id != kFinalSectionHeader) break;
        final = id == kFinalSectionHeader;
        uint32_t count = cat.Le16(at + 2);
        at += kEntryBytes;
        ++entries;
        for (uint32_t i = 0; i < count && entries < kMaxCatalogueEntries; ++i) {
            const size_t entry = at;
            at += kEntryBytes;
            ++entries;
            // Extensions follow while bit 5 of their second byte says more come.
            while (entries < kMaxCatalogueEntries && cat.U8(at) == kSectionExtension) {
                uint8_t flags = cat.U8(at + 1);
                at += kEntryBytes;
                ++entries;
                if ((flags & 0x20) == 0) break;
            }
            if (cat.U8(entry) != kBootable && cat.U8(entry) != 0) continue;
            const uint8_t media = cat.U8(entry + kEntryMediaType) & 0x0F;
            const uint32_t rba = cat.Le32(entry + kEntryLoadRba);
            uint64_t bytes = FloppyBytes(media);
            if (media == kMediaHardDisk) {
                int64_t hd = ReadHardDiskBootSize(ctx, rba);
                bytes = hd > 0 ? uint64_t(hd) : 0;
            } else if (bytes == 0) {
                bytes = uint64_t(cat.Le16(entry + kEntrySectorCount)) * kMbrSectorBytes;
                // EFI images are often listed with a nominal count: the file
                // the tree shows at the same sector tells their real size.
                if (ImageItem* item = FindItemBySector(&ctx, rba, nullptr); item && uint64_t(item->size) > bytes)
                    bytes = uint64_t(item->size);
            }
            // An entry whose image is not kept must not send firmware to
            // whatever the save puts at its old sector.
            auto drop = [&] {
                state.catalogue[entry] = 0;
                foundation::ByteWriter(state.catalogue.data(), state.catalogue.size()).Le32(entry + kEntryLoadRba, 0);
                state.partlyKept = true;
            };
            if (rba == 0) continue;
            if (bytes == 0) {
                drop();
                continue;
            }
            if (media == kMediaHardDisk && ctx.endSector > 0 && uint64_t(ctx.endSector) > rba)
                bytes = std::min<uint64_t>(bytes, (uint64_t(ctx.endSector) - rba) * kSectorBytes);
            const uint64_t imageBytes = SectorsFor(bytes) * kSectorBytes;
            ElToritoSectionImage section;
            section.entryOffset = entry;
            if (rba == uint32_t(state.startSector) && imageBytes == state.bootImage.size()) {
                state.sections.push_back(section);
                continue;
            }
            auto same = std::find_if(state.sectionBuffers.begin(), state.sectionBuffers.end(),
                                     [&](const ElToritoBootBuffer& b) {
                                         return b.startSector == rba && b.bytes.size() == imageBytes;
                                     });
            if (same != state.sectionBuffers.end()) {
                section.buffer = size_t(same - state.sectionBuffers.begin());
                state.sections.push_back(section);
                continue;
            }
            ElToritoBootBuffer buffer;
            buffer.startSector = rba;
            if (imageBytes > budget - held || !ReadImageBytes(ctx, rba, bytes, buffer.bytes)) {
                drop();
                continue;
            }
            held += imageBytes;
            section.buffer = state.sectionBuffers.size();
            state.sectionBuffers.push_back(std::move(buffer));
            state.sections.push_back(section);
        }
    }
}

// Sum of the little-endian words from byte 64 to the length; a last partial
// word counts zero-padded.
uint32_t InfoTableSum(const foundation::ByteCursor& c, uint64_t length) {
    uint32_t sum = 0;
    for (uint64_t at = kInfoSumFrom; at < length; at += 4) {
        uint32_t word = 0;
        for (uint64_t k = 0; k < 4 && at + k < length; ++k) word |= uint32_t(c.U8(at + k)) << (8 * k);
        sum += word;
    }
    return sum;
}

}  // namespace

void FreeElTorito(ElToritoState* state) { delete state; }

int64_t GetHardDiskBootSize(std::span<const uint8_t> firstSector, uint8_t* systemType) {
    foundation::ByteCursor s(firstSector);
    if (!s.Has(0, kMbrSectorBytes) || s.U8(kMbrSignature) != 0x55 || s.U8(kMbrSignature + 1) != 0xAA) return -1;
    for (size_t i = 0; i < 4; ++i) {
        const size_t e = kMbrPartitionTable + i * kMbrPartitionEntryBytes;
        const uint8_t type = s.U8(e + 4);
        if (type == 0) continue;
        // The image reaches to the end of its first partition; both fields are
        // 32-bit, so a partition of any size is kept whole.
        const uint64_t end = uint64_t(s.Le32(e + 8)) + s.Le32(e + 12);
        if (systemType) *systemType = type;
        if (end == 0) return -1;
        return int64_t(end * kMbrSectorBytes);
    }
    return -1;
}

int64_t ReadHardDiskBootSize(ImageContext& ctx, uint32_t sector, uint8_t* systemType) {
    std::array<uint8_t, kSectorBytes> first{};
    if (!ReadSectors(ctx, sector, 1, first.data())) return -1;
    return GetHardDiskBootSize(first, systemType);
}

int CheckBootInfoTable(std::span<const uint8_t> image, int64_t startSector, int64_t length) {
    foundation::ByteCursor c(image);
    if (length <= int64_t(kInfoSumFrom) || uint64_t(length) > image.size()) return 0;
    const uint32_t sum = InfoTableSum(c, uint64_t(length));
    if (c.Le32(kInfoChecksum) != sum || c.Le32(kInfoLength) != uint32_t(length)) return 0;
    if (startSector != -1 && c.Le32(kInfoStartSector) != uint32_t(startSector)) return 0;
    return 1;
}

bool IsBootImageWithInfoTable(ImageContext& ctx, const ImageItem& item) {
    if (item.size <= int64_t(kInfoSumFrom) || item.size % 4 != 0 || item.size > kInfoTableImageCap) return false;
    std::vector<uint8_t> bytes;
    if (!item.memoryData.empty()) {
        bytes = item.memoryData;
    } else if (!ReadImageBytes(ctx, item.startSector, uint64_t(item.size), bytes)) {
        return false;
    }
    return CheckBootInfoTable(bytes, item.startSector, item.size) == 1;
}

void PatchBootInfoTable(ElToritoState& state) {
    if (!state.patchInfoTable || state.bootImageSize <= int64_t(kInfoSumFrom)) return;
    foundation::ByteWriter w(state.bootImage.data(), state.bootImage.size());
    w.Fill(kInfoPrimarySector, 0, kInfoSumFrom - kInfoPrimarySector);
    w.Le32(kInfoPrimarySector, state.primaryDescriptorSector);
    w.Le32(kInfoStartSector, uint32_t(state.startSector));
    w.Le32(kInfoLength, uint32_t(state.bootImageSize));
    foundation::ByteCursor c(state.bootImage.data(), state.bootImage.size());
    const uint32_t sum = InfoTableSum(c, uint64_t(state.bootImageSize));
    w.Le32(kInfoChecksum, sum);
}

void LoadElTorito(ImageContext& ctx) {
    ctx.elTorito.Reset();
    ctx.elToritoPresent = false;
    if (ctx.bootRecordSector <= 0) return;
    QuietReadScope quiet(ctx);
    auto state = std::make_unique<ElToritoState>();
    if (!ReadSectors(ctx, uint32_t(ctx.bootRecordSector), 1, state->bootRecord.data()) ||
        !IsBootRecordDescriptor(state->bootRecord.data()))
        return;
    foundation::ByteCursor record(state->bootRecord.data(), state->bootRecord.size());
    const uint32_t catalogueSector = record.Le32(kCatalogueSectorOffset);
    if (catalogueSector == 0 || !ReadSectors(ctx, catalogueSector, 1, state->catalogue.data())) return;
    foundation::ByteCursor cat(state->catalogue.data(), state->catalogue.size());
    // A catalogue without its validation entry is not one.
    if (cat.U8(0) != 1 || cat.U8(30) != 0x55 || cat.U8(31) != 0xAA) return;

    const size_t d = kDefaultEntryOffset;
    uint32_t b = cat.Le32(d + kEntryLoadRba);
    const uint8_t media = cat.U8(d + kEntryMediaType) & 0x0F;
    const uint32_t count = cat.Le16(d + kEntrySectorCount);
    uint64_t size = FloppyBytes(media);
    uint8_t systemType = cat.U8(d + kEntrySystemType);
    bool hardDisk = false;
    if (media == kMediaHardDisk) {
        int64_t hd = ReadHardDiskBootSize(ctx, b, &systemType);
        size = hd > 0 ? uint64_t(hd) : 0;
        hardDisk = true;
    } else if (size == 0) {
        size = uint64_t(count) * kMbrSectorBytes;
        // The file the tree shows at the load RBA is the whole boot image: the
        // BIOS loads only the first sectors, the loader the rest; keeping
        // less would cut the image short on save.
        if (ImageItem* item = FindItemBySector(&ctx, b, nullptr)) {
            if (IsBootImageWithInfoTable(ctx, *item)) {
                size = uint64_t(item->size);
                b = item->startSector;
                state->patchInfoTable = 1;
            } else if (uint64_t(item->size) > size && item->size <= kBootImageCap) {
                size = uint64_t(item->size);
            }
        }
    }
    if (size == 0 || b == 0) return;
    uint64_t sectors = SectorsFor(size);
    if (hardDisk && ctx.endSector > 0) {
        if (uint64_t(ctx.endSector) <= b) return;
        if (sectors > uint64_t(ctx.endSector) - b) {
            // The partition runs past the image's end: what is there is kept,
            // and the save says the rest is missing.
            sectors = uint64_t(ctx.endSector) - b;
            state->partlyKept = true;
        }
        size = sectors * kSectorBytes;
    }
    if (SectorsFor(size) * kSectorBytes > BootImageBudget(ctx)) return;
    if (!ReadImageBytes(ctx, b, size, state->bootImage)) return;

    state->bootImageSize = int64_t(size);
    state->catalogueSector = int32_t(catalogueSector);
    state->startSector = int32_t(b);
    state->sectorCount = int32_t(count);
    state->loadSegment = cat.Le16(d + kEntryLoadSegment);
    state->mediaType = media;
    state->systemType = systemType;
    state->hardDiskImage = hardDisk;
    LoadSectionImages(ctx, *state);
    ctx.elTorito.Attach(state.release(), FreeElTorito);
    ctx.elToritoPresent = true;
}

bool SetNewBootImage(ImageContext& ctx, std::vector<uint8_t> bytes) {
    if (bytes.empty() || int64_t(bytes.size()) > kBootImageCap) return false;
    auto state = std::make_unique<ElToritoState>();
    state->bootImageSize = int64_t(bytes.size());
    bytes.resize(size_t(SectorsFor(bytes.size()) * kSectorBytes), 0);
    state->bootImage = std::move(bytes);
    state->loadSegment = 0;
    state->isNew = 1;
    ctx.elTorito.Attach(state.release(), FreeElTorito);
    ctx.elToritoPresent = true;
    return true;
}

}  // namespace image
