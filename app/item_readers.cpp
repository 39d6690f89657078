#include "app/item_readers.h"

#include <array>
#include <atomic>

#include "image/document/image_context.h"

namespace app {
namespace {

std::array<std::atomic<ExtractItemData>, size_t(ItemReaderKind::Count)>& Table() {
    static std::array<std::atomic<ExtractItemData>, size_t(ItemReaderKind::Count)> table{};
    return table;
}

}  // namespace

ItemReaderKind ReaderKindOf(const image::ImageContext& ctx, const image::ImageItem& item) {
    using namespace image;
    if (item.sourceMarker > kVideoCdMarker) return ItemReaderKind::VideoCdTrack;
    if (ctx.formatCode == format_code::kWim || ctx.wimState) return ItemReaderKind::Wim;
    if (ctx.formatCode == format_code::kArchive || ctx.archiveLink) return ItemReaderKind::Archive;
    if (ctx.ntfsState) return ItemReaderKind::Ntfs;
    if (ctx.ext2State) return ItemReaderKind::Ext2;
    if (ctx.fatState) return ItemReaderKind::Fat;
    // A hybrid disc keeps its Mac volume while its ISO 9660 tree is shown.
    if (ctx.hfsPlusVolume && ctx.macFileSystem == 2) return ItemReaderKind::HfsPlus;
    if (ctx.hfsVolume && ctx.macFileSystem == 1) return ItemReaderKind::Hfs;
    if (ctx.udfState) return ItemReaderKind::Udf;
    return ItemReaderKind::Iso;
}

ExtractItemData GetItemReader(ItemReaderKind kind) {
    if (kind >= ItemReaderKind::Count) return nullptr;
    return Table()[size_t(kind)].load();
}

ExtractItemData SetItemReader(ItemReaderKind kind, ExtractItemData reader) {
    if (kind >= ItemReaderKind::Count) return nullptr;
    return Table()[size_t(kind)].exchange(reader);
}

}  // namespace app
