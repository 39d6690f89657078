#pragma once
// The nine identifier texts and four dates of an ISO 9660 volume: where they
// stand in the primary and Joliet descriptors, how they are decoded when an
// image is opened, and how they are put back when one is saved. The document
// keeps them as wide texts by kind and the dates as seconds since 1970.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "image/iso/volume_descriptor.h"

namespace image {

struct ImageContext;

// Text kinds of the accessors, in the order the property pages and the
// command line use them.
enum VolumeTextKind : int {
    kVolumeLabel = 0,
    kSystemId = 1,
    kVolumeSetId = 2,
    kPublisherId = 3,
    kPreparerId = 4,
    kApplicationId = 5,
    kCopyrightFileId = 6,
    kAbstractFileId = 7,
    kBibliographicFileId = 8,
};
constexpr int kVolumeTextKinds = 9;
// Longest text a document keeps per kind.
constexpr size_t kVolumeTextMaxChars = 512;

struct VolumeTextField {
    size_t offset;
    size_t length;   // bytes
};
// The descriptor field of a kind (same offset in primary and Joliet descriptors).
VolumeTextField VolumeTextFieldOf(int kind);

using VolumeTexts = std::array<std::u16string, kVolumeTextKinds>;

// Primary descriptor: bytes up to the first zero, trailing blanks cut, from
// the ANSI code page.
VolumeTexts DecodePrimaryVolumeTexts(DescriptorBytes d);
// Joliet descriptor: UCS-2 big-endian; a 37-byte field holds 18 characters and
// a lone byte that is no character.
VolumeTexts DecodeJolietVolumeTexts(DescriptorBytes d);

struct VolumeDates {
    int64_t creation = 0;
    int64_t modification = 0;
    int64_t expiration = 0;
    int64_t effective = 0;
};
VolumeDates DecodeVolumeDates(DescriptorBytes d);

// Fills the field with blanks and copies the text in the ANSI code page, at
// most field.size() bytes; characters the code page lacks become "?" instead of
// blanking the whole text. Returns the bytes copied.
size_t PutVolumeTextA(std::span<uint8_t> field, std::u16string_view text);
// Fills the field with big-endian U+0020 and copies min(size / 2, length)
// characters as UCS-2 big-endian.
void PutVolumeTextW(std::span<uint8_t> field, std::u16string_view text);
// A 17-byte volume date; 0 is written as sixteen "0" digits and a zero offset.
void PutVolumeDate(std::span<uint8_t> field, int64_t seconds);

// --- The document's texts and dates -------------------------------------

// New documents: all texts cleared; label "New Archive" when the format code
// (the document's own when -1) is not 0, else "New ISO"; system "Win32";
// application "Quendravine".
void InitNewImageFields(ImageContext& ctx, int formatCode);
void LoadPrimaryVolumeTexts(ImageContext& ctx, DescriptorBytes d);
void LoadJolietVolumeTexts(ImageContext& ctx, DescriptorBytes d);
// The text of a kind. An archive document answers its file name without folder
// and extension for every kind; an Xbox disc's label is "XBOX DVD"; unknown
// kinds give "".
std::u16string GetVolumeField(const ImageContext& ctx, int kind);
// Kinds 0-8 take at most 512 characters; every call marks the fields changed.
void SetVolumeField(ImageContext& ctx, int kind, std::u16string_view text);

// What the ISO layout hands to the descriptor builders.
struct DescriptorLayout {
    uint32_t volumeSpaceBlocks = 0;
    uint32_t pathTableBytes = 0;
    uint32_t pathTableL = 0;
    uint32_t pathTableLOptional = 0;
    uint32_t pathTableM = 0;
    uint32_t pathTableMOptional = 0;
    std::array<uint8_t, vd::kRootRecordBytes> rootRecord{};
};

// Fills a 2048-byte primary descriptor. A new or archive document starts from
// zero; an opened image starts from its stored descriptor. With textsOnly set
// only the nine texts are written; otherwise layout must be given.
void BuildPrimaryVolumeDescriptor(ImageContext& ctx, std::span<uint8_t, kIsoSectorBytes> d,
                                  bool textsOnly, const DescriptorLayout* layout);
// The Joliet descriptor: a copy of the primary one with type 2 and "%/E".
void BuildJolietVolumeDescriptor(ImageContext& ctx, std::span<uint8_t, kIsoSectorBytes> d,
                                 bool textsOnly, const DescriptorLayout* layout);

}  // namespace image
