#pragma once
// The UDF 1.02 structures of an image being built: one read-only type 1
// partition whose file entries point at the data sectors the ISO 9660 side
// gives each file (a bridge image), or at data of their own on a UDF-only
// image. Laid out and written on the build's counters, through its sink.

#include "image/build/udf_writer_services.h"

namespace filesystems {

class UdfWriter final : public image::IUdfWriterServices {
public:
    bool LayoutArea(image::ImageContext& ctx, const image::IsoLayout& layout, image::UdfPlacement& plan,
                    uint64_t& next, std::u16string& reason) override;
    bool WriteRecognition(image::SectorWrite write, void* sink) override;
    bool WriteArea(image::ImageContext& ctx, const image::IsoLayout& layout, const image::UdfPlacement& plan,
                   image::DataStartOf dataStart, const void* dataContext, image::SectorWrite write,
                   void* sink) override;
    bool WriteClosingAnchor(image::ImageContext& ctx, const image::UdfPlacement& plan, image::SectorWrite write,
                            void* sink) override;
    int64_t BlockToSector(image::ImageContext& ctx, const image::ImageItem& item, uint64_t block) override;
};

// The largest extent one short allocation descriptor records: the largest
// multiple of 2048 below 2^30.
constexpr uint64_t kUdfMaxExtentBytes = 0x3FFFF800;
// Short descriptors that fit in a one-block file entry after its 176 bytes.
constexpr uint64_t kUdfMaxShortDescriptors = 234;

// Short allocation descriptors (8 bytes each) of a file of sizeBytes whose
// data starts at partition block firstBlock; false when they do not fit in
// one file entry.
bool MakeUdfShortDescriptors(uint64_t sizeBytes, uint32_t firstBlock, std::vector<uint8_t>& out);

}  // namespace filesystems
