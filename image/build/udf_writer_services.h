#pragma once
// What a build needs of UDF, which lives in a higher layer: the UDF structures
// laid out beside ISO 9660 (or alone) on the build's own counters, written
// through the build's sink, and the data of items read from a UDF volume. The
// stand-in has no UDF: a layout that needs it fails with a reason.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/services.h"
#include "image/iso/iso_layout.h"

namespace image {

struct ImageContext;
struct ImageItem;

// The UDF sectors of one build, kept in the build (two builds never share them).
struct UdfPlacement {
    bool on = false;
    int32_t sessionStart = 0;
    uint32_t recognitionSector = 0;      // BEA01, NSR02, TEA01
    uint32_t areaSector = 0;             // where the area writer starts (it pads up to the sequences)
    uint32_t mainSequence = 0, reserveSequence = 0, integritySequence = 0;
    uint32_t anchor = 0;
    uint32_t partitionStart = 0;         // first sector of the partition
    uint32_t fileSetBlock = 0;           // partition block of the file set descriptor
    uint32_t areaEnd = 0;                // first sector after the file entries
    uint32_t closingAnchor = 0;
    std::vector<uint32_t> folderEntry;   // per layout folder: its file entry's sector (the directory follows)
    std::vector<uint32_t> folderBytes;   // per layout folder: its directory's bytes
    std::unordered_map<const ImageItem*, uint32_t> fileEntry;   // sector of each file's entry
    uint32_t fileCount = 0, folderCount = 0;
    uint32_t lastFileEntry = 0;
};

using SectorWrite = bool (*)(void* sink, const uint8_t* data, uint32_t sectors);

class IUdfWriterServices {
public:
    virtual ~IUdfWriterServices() = default;
    // From `next` (the sector after the ISO descriptors and the recognition
    // sequence, marker included): the volume descriptor sequences, the
    // integrity sequence, the anchor at session start + 256, the file set,
    // directories and file entries; next advances. False with `reason` when
    // the tree cannot be written as UDF (a name or file the format cannot hold).
    virtual bool LayoutArea(ImageContext& ctx, const IsoLayout& layout, UdfPlacement& plan, uint64_t& next,
                            std::u16string& reason) = 0;
    // The three sectors of the recognition sequence.
    virtual bool WriteRecognition(SectorWrite write, void* sink) = 0;
    // Everything LayoutArea placed, from plan.areaSector to plan.areaEnd.
    virtual bool WriteArea(ImageContext& ctx, const IsoLayout& layout, const UdfPlacement& plan,
                           DataStartOf dataStart, const void* dataContext, SectorWrite write, void* sink) = 0;
    // The anchor after the data, at plan.closingAnchor.
    virtual bool WriteClosingAnchor(ImageContext& ctx, const UdfPlacement& plan, SectorWrite write, void* sink) = 0;
    // Image sector of the item's 2048-byte block: -1 when the block is not
    // recorded (it reads as zeros) or there is no UDF reader.
    virtual int64_t BlockToSector(ImageContext& ctx, const ImageItem& item, uint64_t block) = 0;
};

namespace detail {
class UdfWriterStandIn final : public IUdfWriterServices {
public:
    bool LayoutArea(ImageContext&, const IsoLayout&, UdfPlacement&, uint64_t&, std::u16string& reason) override {
        reason = u"This version cannot write UDF.";
        return false;
    }
    bool WriteRecognition(SectorWrite, void*) override { return false; }
    bool WriteArea(ImageContext&, const IsoLayout&, const UdfPlacement&, DataStartOf, const void*, SectorWrite,
                   void*) override {
        return false;
    }
    bool WriteClosingAnchor(ImageContext&, const UdfPlacement&, SectorWrite, void*) override { return false; }
    int64_t BlockToSector(ImageContext&, const ImageItem&, uint64_t) override { return -1; }
};
}  // namespace detail

inline foundation::ServiceSlot<IUdfWriterServices, detail::UdfWriterStandIn>& UdfWriterServicesSlot() {
    static foundation::ServiceSlot<IUdfWriterServices, detail::UdfWriterStandIn> slot;
    return slot;
}
inline IUdfWriterServices& UdfWriterServices() { return UdfWriterServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IUdfWriterServices* SetUdfWriterServices(IUdfWriterServices* services) {
    return UdfWriterServicesSlot().Install(services);
}

}  // namespace image
