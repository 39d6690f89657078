// Writing El Torito boot images into a saved image: the boot record, the
// catalogue and the images, at the sectors the layout gave them.

#include <algorithm>
#include <cstring>

#include "foundation/console.h"
#include "foundation/progress_callbacks.h"
#include "foundation/byte_cursor.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/iso/el_torito.h"
#include "image/build/boot_image_services.h"
#include "image/build/image_build.h"
#include "image/document/image_context.h"
#include "image/sectors/sector_writers.h"
#include "image/iso/volume_descriptor.h"

namespace image {
namespace {

using namespace el_torito;

constexpr uint32_t kMbrSectorBytes = 512;
constexpr uint32_t kMaxSectorCount = 0xFFFF;

uint32_t ImageSectors(const std::vector<uint8_t>& bytes) { return uint32_t(bytes.size() / kSectorBytes); }

void SetValidationChecksum(uint8_t* catalogue) {
    foundation::ByteWriter w(catalogue, kEntryBytes);
    w.Le16(kValidationChecksumOffset, 0);
    foundation::ByteCursor c(catalogue, kEntryBytes);
    uint16_t sum = 0;
    for (size_t at = 0; at < kEntryBytes; at += 2) sum = uint16_t(sum + c.Le16(at));
    w.Le16(kValidationChecksumOffset, uint16_t(0u - sum));
}

void ReportProgress(foundation::ProgressCallbacks* progress, uint64_t bytes) {
    if (progress) {
        if (progress->AddDone) progress->AddDone(int64_t(bytes));
    } else if (foundation::ConsoleMode.load()) {
        foundation::ConsoleProgressAdd(bytes);
    }
}

int WriteSectorsAt(ImageContext& ctx, foundation::ProgressCallbacks* progress, int32_t& sector, const uint8_t* data,
                   uint32_t count, const WriterArguments& args) {
    if (count == 0) return 0;
    if (WriteImageSectors(ctx, sector, data, int32_t(count), args) != int32_t(count)) return -1;
    sector += int32_t(count);
    ReportProgress(progress, uint64_t(count) * kSectorBytes);
    return 0;
}

// --- The save's boot builder --------------------------------------------------

bool LayoutBoot(ImageContext& ctx, uint32_t& next) {
    ElToritoState* state = ctx.elTorito.get();
    if (!state || state->bootImage.empty()) return false;
    if (state->partlyKept) {
        // The save goes on with what was read; the user is told that the
        // image's boot images are not all kept whole.
        foundation::AppMessageBox(u"Part of the boot image could not be read from the source image; the saved "
                                  u"image keeps only what was read and may not boot.",
                                  foundation::kMbIconExclamation);
    }
    uint64_t at = next;
    state->primaryDescriptorSector = uint32_t(ctx.sessionStartLba) + 16;
    state->catalogueSector = int32_t(at++);
    state->startSector = int32_t(at);
    at += ImageSectors(state->bootImage);
    for (ElToritoBootBuffer& buffer : state->sectionBuffers) {
        buffer.startSector = uint32_t(at);
        at += ImageSectors(buffer.bytes);
    }
    if (at > uint64_t(INT32_MAX)) return false;
    next = uint32_t(at);
    return true;
}

bool BuildBootRecordSector(ImageContext& ctx, uint8_t sector[2048]) {
    ElToritoState* state = ctx.elTorito.get();
    if (!state) return false;
    BuildBootRecord(ctx);
    std::memcpy(sector, state->bootRecord.data(), kSectorBytes);
    return true;
}

bool WriteCatalogueAndImages(ImageContext& ctx, const WriterArguments&,
                             bool (*write)(void* sink, const uint8_t* data, uint32_t sectors), void* sink) {
    ElToritoState* state = ctx.elTorito.get();
    if (!state) return false;
    if (!write(sink, state->catalogue.data(), 1)) return false;
    if (!write(sink, state->bootImage.data(), ImageSectors(state->bootImage))) return false;
    for (const ElToritoBootBuffer& buffer : state->sectionBuffers)
        if (!write(sink, buffer.bytes.data(), ImageSectors(buffer.bytes))) return false;
    return true;
}

}  // namespace

bool ElToritoBootImages::Layout(ImageContext& ctx, uint32_t& next) { return LayoutBoot(ctx, next); }
bool ElToritoBootImages::BuildBootRecord(ImageContext& ctx, uint8_t sector[2048]) {
    return BuildBootRecordSector(ctx, sector);
}
bool ElToritoBootImages::WriteCatalogueAndImage(ImageContext& ctx, const WriterArguments& args,
                                                bool (*write)(void* sink, const uint8_t* data, uint32_t sectors),
                                                void* sink) {
    return WriteCatalogueAndImages(ctx, args, write, sink);
}

int BuildBootCatalogEntry(ImageContext& ctx, uint8_t* entry) {
    ElToritoState* state = ctx.elTorito.get();
    if (!state || !entry) return 0;
    foundation::ByteWriter e(entry, kEntryBytes);
    if (state->isNew) {
        e.Fill(0, 0, kEntryBytes);
        e.U8(0, kBootable);
        e.Le16(kEntryLoadSegment, uint16_t(state->loadSegment));
    }
    e.Le32(kEntryLoadRba, uint32_t(state->startSector));
    uint8_t systemType = 0;
    if (state->hardDiskImage && GetHardDiskBootSize(state->bootImage, &systemType) > 0) {
        e.U8(kEntryMediaType, kMediaHardDisk);
        e.U8(kEntrySystemType, systemType);
        return 0;
    }
    uint8_t media = state->mediaType;
    if (state->isNew) {
        const uint64_t d = (uint64_t(state->bootImageSize) + kMbrSectorBytes - 1) / kMbrSectorBytes;
        uint32_t count = 1;
        switch (d) {
        case 2400: media = kMediaFloppy12; break;
        case 2880: media = kMediaFloppy144; break;
        case 5760: media = kMediaFloppy288; break;
        default:
            // The count is a 16-bit field: a larger image gives its first
            // 32 MiB to the BIOS, which is all it can load anyway.
            media = kMediaNoEmulation;
            count = uint32_t(std::min<uint64_t>(d, kMaxSectorCount));
            break;
        }
        e.U8(kEntryMediaType, media);
        e.Le16(kEntrySectorCount, uint16_t(count));
        state->sectorCount = int32_t(count);
    }
    // A loaded entry keeps its media, system type and sector count: they are
    // what its loader expects.
    if (media == kMediaNoEmulation) {
        if (CheckBootInfoTable(std::span<const uint8_t>(state->bootImage), -1, state->bootImageSize) == 1)
            state->patchInfoTable = 1;
        if (state->patchInfoTable) PatchBootInfoTable(*state);
    }
    return 0;
}

int BuildBootRecord(ImageContext& ctx) {
    ElToritoState* state = ctx.elTorito.get();
    if (!state) return 0;
    foundation::ByteWriter record(state->bootRecord.data(), state->bootRecord.size());
    if (state->isNew) {
        record.Fill(0, 0, kSectorBytes);
        record.U8(0, 0);
        record.Put(1, "CD001", 5);
        record.U8(6, 1);
        record.Put(kBootSystemIdOffset, kElToritoSystemId, sizeof kElToritoSystemId);
    }
    record.Le32(kCatalogueSectorOffset, uint32_t(state->catalogueSector));
    foundation::ByteWriter cat(state->catalogue.data(), state->catalogue.size());
    if (state->isNew) {
        cat.Fill(0, 0, kSectorBytes);
        cat.U8(0, 1);
        cat.U8(1, 0);
        cat.U8(30, 0x55);
        cat.U8(31, 0xAA);
    }
    SetValidationChecksum(state->catalogue.data());
    BuildBootCatalogEntry(ctx, state->catalogue.data() + kDefaultEntryOffset);
    for (const ElToritoSectionImage& section : state->sections)
        cat.Le32(section.entryOffset + kEntryLoadRba, state->SectionStart(section));
    return 0;
}

int WriteBootRecordSector(ImageContext& ctx, foundation::ProgressCallbacks* progress, int32_t& sector,
                          const WriterArguments& args) {
    ElToritoState* state = ctx.elTorito.get();
    if (!state) return -1;
    BuildBootRecord(ctx);
    return WriteSectorsAt(ctx, progress, sector, state->bootRecord.data(), 1, args);
}

int WriteBootCatalogSector(ImageContext& ctx, foundation::ProgressCallbacks* progress, int32_t& sector,
                           const WriterArguments& args) {
    ElToritoState* state = ctx.elTorito.get();
    if (!state) return -1;
    return WriteSectorsAt(ctx, progress, sector, state->catalogue.data(), 1, args);
}

int WriteBootImage(ImageContext& ctx, foundation::ProgressCallbacks* progress, int32_t& sector,
                   const WriterArguments& args) {
    ElToritoState* state = ctx.elTorito.get();
    if (!state) return -1;
    if (WriteSectorsAt(ctx, progress, sector, state->bootImage.data(), ImageSectors(state->bootImage), args) != 0)
        return -1;
    for (const ElToritoBootBuffer& buffer : state->sectionBuffers)
        if (WriteSectorsAt(ctx, progress, sector, buffer.bytes.data(), ImageSectors(buffer.bytes), args) != 0)
            return -1;
    return 0;
}

}  // namespace image
