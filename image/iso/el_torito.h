#pragma once
// El Torito boot images (El Torito 1.0): the boot record volume descriptor,
// the boot catalogue and the boot image. Opening an image loads the default
// entry's boot image (and the images of further section entries, so a disc
// bootable on two platforms stays so when it is saved); saving builds the
// boot record and catalogue and writes them with the images at the sectors
// the layout gave them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "image/sectors/format_table.h"

namespace foundation {
struct ProgressCallbacks;
}

namespace image {

struct ImageContext;
struct ImageItem;

namespace el_torito {
constexpr uint32_t kSectorBytes = 2048;
// Boot record descriptor.
constexpr size_t kBootSystemIdOffset = 7;        // kElToritoSystemId, 32 bytes zero-padded
constexpr size_t kCatalogueSectorOffset = 71;    // LE32
// Catalogue entries are 32 bytes; the validation entry comes first.
constexpr size_t kEntryBytes = 32;
constexpr size_t kValidationChecksumOffset = 28; // LE16: the 16 words of the entry sum to 0
constexpr size_t kDefaultEntryOffset = 32;
// Fields of an initial/default or section entry.
constexpr size_t kEntryMediaType = 1;
constexpr size_t kEntryLoadSegment = 2;          // LE16
constexpr size_t kEntrySystemType = 4;
constexpr size_t kEntrySectorCount = 6;          // LE16, 512-byte units
constexpr size_t kEntryLoadRba = 8;              // LE32
constexpr uint8_t kBootable = 0x88;
constexpr uint8_t kSectionHeader = 0x90;
constexpr uint8_t kFinalSectionHeader = 0x91;
constexpr uint8_t kSectionExtension = 0x44;
// Media types.
constexpr uint8_t kMediaNoEmulation = 0;
constexpr uint8_t kMediaFloppy12 = 1;
constexpr uint8_t kMediaFloppy144 = 2;
constexpr uint8_t kMediaFloppy288 = 3;
constexpr uint8_t kMediaHardDisk = 4;
// Boot-info table inside a no-emulation image (mkisofs' -boot-info-table).
constexpr size_t kInfoPrimarySector = 8;
constexpr size_t kInfoStartSector = 12;
constexpr size_t kInfoLength = 16;
constexpr size_t kInfoChecksum = 20;
constexpr size_t kInfoSumFrom = 64;
// A boot-info table is looked for only in images up to this size: the check
// reads the whole item.
constexpr int64_t kInfoTableImageCap = 32ll << 20;
// Boot images are held in memory: those of one document together up to this
// size, and never more than the image they are read from holds. A default
// image beyond it is refused, a section entry's image dropped.
constexpr int64_t kBootImageCap = 512ll << 20;
}  // namespace el_torito

// The image of one or more section entries kept as it was read. Entries that
// load the same sectors (same start, same size) share it: it is held and
// saved once, and each entry's load RBA is rewritten for where it is saved.
struct ElToritoBootBuffer {
    std::vector<uint8_t> bytes;        // whole 2048-byte sectors
    uint32_t startSector = 0;          // load RBA: as read, then as laid out
};

// A section entry (a further platform or choice) and the image it loads.
struct ElToritoSectionImage {
    static constexpr size_t kDefaultImage = SIZE_MAX;   // loads the default entry's image
    size_t entryOffset = 0;            // the entry's offset in the catalogue
    size_t buffer = kDefaultImage;     // index into ElToritoState::sectionBuffers
};

struct ElToritoState {
    std::array<uint8_t, el_torito::kSectorBytes> bootRecord{};
    std::array<uint8_t, el_torito::kSectorBytes> catalogue{};
    std::vector<uint8_t> bootImage;    // a whole number of 2048-byte sectors
    int32_t patchInfoTable = 0;        // 1: the image carries a boot-info table filled on save
    int64_t bootImageSize = 0;         // bytes
    int32_t catalogueSector = 0;
    int32_t startSector = 0;           // load RBA of the default entry
    int32_t loadSegment = 0;
    int32_t sectorCount = 0;           // 512-byte units
    int32_t isNew = 0;                 // boot record and catalogue are built from scratch on save
    // A hard-disk image is told by this flag, never by bytes of its own: the
    // image is saved exactly as it was read.
    bool hardDiskImage = false;
    uint8_t mediaType = 0;             // of the loaded default entry
    uint8_t systemType = 0;            // of the loaded default entry
    std::vector<ElToritoSectionImage> sections;
    std::vector<ElToritoBootBuffer> sectionBuffers;   // one per distinct image of the sections
    // Where the save puts the primary descriptor (the session start + 16).
    uint32_t primaryDescriptorSector = 16;
    // What could not be kept whole when the image was read; said on save.
    bool partlyKept = false;

    std::span<const uint8_t> SectionBytes(const ElToritoSectionImage& section) const {
        if (section.buffer == ElToritoSectionImage::kDefaultImage) return bootImage;
        return sectionBuffers[section.buffer].bytes;
    }
    uint32_t SectionStart(const ElToritoSectionImage& section) const {
        if (section.buffer == ElToritoSectionImage::kDefaultImage) return uint32_t(startSector);
        return sectionBuffers[section.buffer].startSector;
    }
};

void LoadElTorito(ImageContext& ctx);
void FreeElTorito(ElToritoState* state);

// Master boot record of a hard-disk image: bytes up to the end of the first
// used partition (32-bit start + count), or -1.
int64_t GetHardDiskBootSize(std::span<const uint8_t> firstSector, uint8_t* systemType);
int64_t ReadHardDiskBootSize(ImageContext& ctx, uint32_t sector, uint8_t* systemType = nullptr);
// 1 when the image's boot-info table is valid for length (and start, unless -1).
int CheckBootInfoTable(std::span<const uint8_t> image, int64_t startSector, int64_t length);
bool IsBootImageWithInfoTable(ImageContext& ctx, const ImageItem& item);
void PatchBootInfoTable(ElToritoState& state);

// Builders: 0.
int BuildBootRecord(ImageContext& ctx);
int BuildBootCatalogEntry(ImageContext& ctx, uint8_t* entry);

// Writers of a save: 0, or -1 when a sector write failed.
int WriteBootRecordSector(ImageContext& ctx, foundation::ProgressCallbacks* progress, int32_t& sector,
                          const WriterArguments& args);
int WriteBootCatalogSector(ImageContext& ctx, foundation::ProgressCallbacks* progress, int32_t& sector,
                           const WriterArguments& args);
int WriteBootImage(ImageContext& ctx, foundation::ProgressCallbacks* progress, int32_t& sector,
                   const WriterArguments& args);

// Gives a document a new boot image (the boot options page): the state is
// built from scratch on save.
bool SetNewBootImage(ImageContext& ctx, std::vector<uint8_t> bytes);

}  // namespace image
