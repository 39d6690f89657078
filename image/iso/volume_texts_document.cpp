// The document's nine volume texts and four dates: loading, the accessors of
// the property pages and the command line, and building the descriptors a
// save writes.

#include <algorithm>
#include <cstring>

#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "foundation/names.h"
#include "image/document/image_context.h"
#include "image/iso/volume_descriptor.h"
#include "image/iso/volume_texts.h"

namespace image {

namespace {

// Text kinds (what callers ask for) to the document's storage order.
int StorageIndex(int kind) {
    switch (kind) {
        case kVolumeLabel: return volume_text::kVolumeLabel;
        case kSystemId: return volume_text::kSystemId;
        default: return kind;
    }
}

void StoreTexts(ImageContext& ctx, VolumeTexts&& texts) {
    for (int kind = 0; kind < kVolumeTextKinds; ++kind) {
        std::u16string& field = ctx.volumeTexts[StorageIndex(kind)];
        field = std::move(texts[kind]);
        if (field.size() > volume_text::kMaxChars) field.resize(volume_text::kMaxChars);
    }
}

// The document's display name without folder and extension, at most 256
// characters.
std::u16string DisplayNameWithoutExtension(const ImageContext& ctx) {
    foundation::ImageNameFacts facts;
    facts.hasImage = !ctx.imagePath.empty();
    facts.driveLetter = ctx.sourceDriveLetter;
    facts.openedThroughSheet = ctx.openedBy == 1 && !ctx.sheetPath.empty();
    facts.sheetPath = ctx.sheetPath;
    facts.imagePath = ctx.imagePath;
    facts.documentTitle = ctx.documentPath;
    const std::u16string shown = foundation::GetImageDisplayName(facts);
    std::u16string_view name = shown;
    const size_t slash = name.find_last_of(u"/\\");
    if (slash != std::u16string_view::npos) name = name.substr(slash + 1);
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos && dot > 0) name = name.substr(0, dot);
    return std::u16string(name.substr(0, 256));
}

int64_t RootDateSource(const ImageContext& ctx) {
    if (ctx.rootItem.time != 0) return ctx.rootItem.time;
    if (ctx.rootTime != 0) return ctx.rootTime;
    if (ctx.newDocument || ctx.formatCode == format_code::kArchive) return ctx.modificationTime;
    return 0;
}

void PutTexts(const ImageContext& ctx, std::span<uint8_t, kIsoSectorBytes> d, bool wide) {
    for (int kind = 0; kind < kVolumeTextKinds; ++kind) {
        const VolumeTextField f = VolumeTextFieldOf(kind);
        const std::u16string& text = ctx.volumeTexts[StorageIndex(kind)];
        if (wide) {
            PutVolumeTextW(d.subspan(f.offset, f.length), text);
        } else {
            PutVolumeTextA(d.subspan(f.offset, f.length), text);
        }
    }
}

void PutLayout(std::span<uint8_t, kIsoSectorBytes> d, const DescriptorLayout& layout) {
    uint8_t* p = d.data();
    foundation::WriteBothEndian32(p + vd::kVolumeSpaceSize, layout.volumeSpaceBlocks);
    foundation::WriteBothEndian32(p + vd::kPathTableSize, layout.pathTableBytes);
    foundation::WriteLE32(p + vd::kPathTableL, layout.pathTableL);
    foundation::WriteLE32(p + vd::kPathTableLOptional, layout.pathTableLOptional);
    foundation::WriteBE32(p + vd::kPathTableM, layout.pathTableM);
    foundation::WriteBE32(p + vd::kPathTableMOptional, layout.pathTableMOptional);
    // The root record's fixed bytes; its identifier byte stays.
    std::memcpy(p + vd::kRootRecord, layout.rootRecord.data(), dr::kHeadBytes);
}

void PutDates(const ImageContext& ctx, std::span<uint8_t, kIsoSectorBytes> d) {
    PutVolumeDate(d.subspan(vd::kCreationDate, vd::kVolumeDateBytes), ctx.creationTime);
    PutVolumeDate(d.subspan(vd::kModificationDate, vd::kVolumeDateBytes), ctx.modificationTime);
    PutVolumeDate(d.subspan(vd::kExpirationDate, vd::kVolumeDateBytes), ctx.expirationTime);
    PutVolumeDate(d.subspan(vd::kEffectiveDate, vd::kVolumeDateBytes), ctx.effectiveTime);
}

void PutRootDate(const ImageContext& ctx, std::span<uint8_t, kIsoSectorBytes> d) {
    const int64_t t = RootDateSource(ctx);
    if (t != 0) foundation::UnixTimeToIsoRecordDate(t, d.subspan(vd::kRootRecordDate, dr::kDateBytes));
}

}  // namespace

void InitNewImageFields(ImageContext& ctx, int formatCode) {
    for (auto& text : ctx.volumeTexts) text.clear();
    const int code = formatCode == format_code::kUnknown ? ctx.formatCode : formatCode;
    ctx.volumeTexts[volume_text::kVolumeLabel] = code != format_code::kIso ? u"New Archive" : u"New ISO";
    ctx.volumeTexts[volume_text::kSystemId] = u"Win32";
    ctx.volumeTexts[volume_text::kApplication] = u"Quendravine";
}

void LoadPrimaryVolumeTexts(ImageContext& ctx, DescriptorBytes d) {
    StoreTexts(ctx, DecodePrimaryVolumeTexts(d));
}

void LoadJolietVolumeTexts(ImageContext& ctx, DescriptorBytes d) {
    StoreTexts(ctx, DecodeJolietVolumeTexts(d));
}

std::u16string GetVolumeField(const ImageContext& ctx, int kind) {
    if (ctx.formatCode == format_code::kArchive) return DisplayNameWithoutExtension(ctx);
    if (kind < 0 || kind >= kVolumeTextKinds) return {};
    if (kind == kVolumeLabel && ctx.xboxVolume) return u"XBOX DVD";
    return ctx.volumeTexts[StorageIndex(kind)];
}

void SetVolumeField(ImageContext& ctx, int kind, std::u16string_view text) {
    if (kind >= 0 && kind < kVolumeTextKinds) {
        ctx.volumeTexts[StorageIndex(kind)] = std::u16string(text.substr(0, volume_text::kMaxChars));
    }
    ctx.volumeFieldsChanged = true;
}

void BuildPrimaryVolumeDescriptor(ImageContext& ctx, std::span<uint8_t, kIsoSectorBytes> d,
                                  bool textsOnly, const DescriptorLayout* layout) {
    uint8_t* p = d.data();
    if (!textsOnly) {
        // A document read from another file system (ext2, FAT, NTFS, HFS, a
        // WIM) has no primary descriptor of its own to start from.
        if (ctx.newDocument || ctx.formatCode == format_code::kArchive || !HasIsoStandardId(ctx.primaryDescriptor)) {
            std::fill(d.begin(), d.end(), uint8_t{0});
            p[vd::kType] = static_cast<uint8_t>(VolumeDescriptorType::Primary);
            std::memcpy(p + vd::kStandardId, "CD001", 5);
            p[vd::kVersion] = 1;
            p[vd::kFileStructureVersion] = 1;
            foundation::WriteBothEndian16(p + vd::kVolumeSetSize, 1);
            foundation::WriteBothEndian16(p + vd::kVolumeSequence, 1);
            foundation::WriteBothEndian16(p + vd::kLogicalBlockSize, kIsoSectorBytes);
        } else {
            std::memcpy(p, ctx.primaryDescriptor.data(), kIsoSectorBytes);
        }
    }
    PutTexts(ctx, d, false);
    if (textsOnly || !layout) return;
    PutLayout(d, *layout);
    PutRootDate(ctx, d);
    PutDates(ctx, d);
}

void BuildJolietVolumeDescriptor(ImageContext& ctx, std::span<uint8_t, kIsoSectorBytes> d,
                                 bool textsOnly, const DescriptorLayout* layout) {
    uint8_t* p = d.data();
    if (!textsOnly) {
        std::memcpy(p, ctx.primaryDescriptor.data(), kIsoSectorBytes);
        p[vd::kType] = static_cast<uint8_t>(VolumeDescriptorType::Supplementary);
        std::fill_n(p + vd::kEscapeSequences, 32, uint8_t{0});
        p[vd::kEscapeSequences] = '%';
        p[vd::kEscapeSequences + 1] = '/';
        p[vd::kEscapeSequences + 2] = 'E';
    }
    PutTexts(ctx, d, true);
    if (textsOnly || !layout) return;
    // The caller hands the layout's Joliet values (path tables, root record).
    PutLayout(d, *layout);
    PutRootDate(ctx, d);
    PutDates(ctx, d);
}

}  // namespace image
