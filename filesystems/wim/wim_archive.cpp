#include "filesystems/wim/wim_archive.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "filesystems/wim/wim_directory.h"
#include "filesystems/wim/wim_image_chooser_services.h"
#include "foundation/operation_status.h"
#include "image/document/document.h"
#include "platform/file.h"

namespace filesystems {
namespace {

using namespace filesystems::wim;
namespace open_result = image::open_result;

constexpr size_t kMaxParts = 999;

bool ReadHeader(foundation::FileHandle file, WimPart& part) {
    uint64_t size = 0;
    if (!platform::FileGetSize(file, size)) return false;
    part.fileBytes = size;
    std::array<uint8_t, kHeaderReadBytes> bytes{};
    if (platform::FileReadAt(file, 0, bytes.data(), bytes.size()) != int64_t(bytes.size())) return false;
    return DecodeHeader(bytes, part.header) == HeaderError::kNone;
}

// Part i of a split set: "x.swm" gives "x2.swm", "x3.swm" ...
std::u16string PartPath(std::u16string_view path, size_t number) {
    const size_t dot = path.rfind(u'.');
    const size_t slash = path.rfind(u'/');
    if (dot == std::u16string_view::npos || (slash != std::u16string_view::npos && dot < slash)) return {};
    std::u16string out(path.substr(0, dot));
    for (char c : std::to_string(number)) out.push_back(char16_t(c));
    out.append(path.substr(dot));
    return out;
}

// The further parts, each checked to belong to the set at its place.
bool OpenFurtherParts(std::u16string_view path, image::WimState& state) {
    const WimHeader first = state.parts[0].header;   // a copy: the vector grows below
    for (size_t i = 2; i <= first.totalParts; ++i) {
        const std::u16string name = PartPath(path, i);
        if (name.empty()) return false;
        WimPart part;
        part.owned.reset(foundation::OpenFileForRead(name));
        if (!part.owned) return false;
        part.file = part.owned.get();
        if (!ReadHeader(part.file, part)) return false;
        if (part.header.guid != first.guid || part.header.partNumber != i || part.header.totalParts != first.totalParts)
            return false;
        state.parts.push_back(std::move(part));
    }
    return true;
}

// Every part's lookup table, cut into entries. Resources of solid blocks are
// refused: they pack many streams into one compressed stream of another kind.
bool ReadLookupTables(image::WimState& state) {
    for (uint32_t p = 0; p < state.parts.size(); ++p) {
        const WimPart& part = state.parts[p];
        std::vector<uint8_t> table;
        if (part.header.lookupTable.uncompressedBytes > part.fileBytes &&
            !(part.header.lookupTable.flags & kResourceCompressed))
            return false;
        if (ReadResourceToMemory(part, part.header.lookupTable, kLookupTableLimitBytes, table, nullptr) != ReadResult::kOk)
            return false;
        const size_t count = table.size() / kLookupEntryBytes;
        state.items.reserve(state.items.size() + count);
        for (size_t i = 0; i < count; ++i) {
            std::span<const uint8_t, kLookupEntryBytes> bytes(table.data() + i * kLookupEntryBytes, kLookupEntryBytes);
            LookupItem item;
            item.entry = DecodeLookupEntry(bytes);
            if (item.entry.resource.flags & (kResourceSolid | kResourceSpanned)) return false;
            // The entry names the part that holds its resource.
            if (item.entry.partNumber < 1 || item.entry.partNumber > state.parts.size()) return false;
            item.partIndex = uint32_t(item.entry.partNumber - 1);
            state.items.push_back(item);
        }
    }
    // Files of no data have a zero hash and no lookup entry: one item stands for them.
    LookupItem empty;
    state.emptyStreamIndex = int32_t(state.items.size());
    state.items.push_back(empty);

    state.byHash.resize(state.items.size() - 1);
    for (uint32_t i = 0; i < state.byHash.size(); ++i) state.byHash[i] = i;
    std::stable_sort(state.byHash.begin(), state.byHash.end(), [&](uint32_t a, uint32_t b) {
        return state.items[a].entry.hash < state.items[b].entry.hash;
    });
    return true;
}

void FreeState(image::WimState* state) { FreeWimArchive(state); }

}  // namespace

int32_t FindWimStream(const image::WimState& state, const codecs::Sha1Digest& hash) {
    auto it = std::lower_bound(state.byHash.begin(), state.byHash.end(), hash,
                               [&](uint32_t index, const codecs::Sha1Digest& h) {
                                   return state.items[index].entry.hash < h;
                               });
    if (it == state.byHash.end() || state.items[*it].entry.hash != hash) return -1;
    return int32_t(*it);
}

void FreeWimArchive(image::WimState* state) { delete state; }

image::ImageContext* OpenWimArchive(std::u16string_view path, foundation::FileHandle file, int* code) {
    int ignored = 0;
    int& result = code ? *code : ignored;
    result = open_result::kNotRecognised;
    try {
        auto state = std::make_unique<image::WimState>();
        WimPart first;
        first.file = file;
        // The opened file must be the first part of its set.
        if (!file || !ReadHeader(file, first) || first.header.partNumber != 1 || first.header.totalParts == 0 ||
            first.header.totalParts > kMaxParts)
            return nullptr;
        state->parts.push_back(std::move(first));
        if (state->parts[0].header.totalParts > 1 && !OpenFurtherParts(path, *state)) return nullptr;
        if (!ReadLookupTables(*state)) return nullptr;

        // Images are numbered in lookup-table order: an update appends the
        // new metadata to the table, wherever in the file it lands.
        std::vector<std::vector<uint8_t>> metadata;
        uint64_t heldBytes = 0;
        // Metadata compresses well, but not beyond this: a small crafted file
        // never decodes into gigabytes.
        const uint64_t metadataLimit = std::min(kMetadataLimitBytes, 64 * state->parts[0].fileBytes + (1u << 20));
        for (const LookupItem& item : state->items) {
            if (!(item.entry.resource.flags & kResourceMetadata)) continue;
            const WimPart& part = state->parts[item.partIndex];
            if (item.entry.resource.uncompressedBytes > metadataLimit - heldBytes) return nullptr;
            // Nor beyond what its own stored bytes can hold: a crafted size
            // would otherwise be decoded (and held) up to the cap above.
            const ResourceEntry& resource = item.entry.resource;
            if ((resource.flags & kResourceCompressed) &&
                resource.uncompressedBytes / kMetadataCompressionLimit > resource.storedBytes + (1u << 16))
                return nullptr;
            std::vector<uint8_t> bytes;
            if (ReadResourceToMemory(part, item.entry.resource, metadataLimit, bytes, &item.entry.hash) !=
                ReadResult::kOk)
                return nullptr;
            heldBytes += bytes.size();
            metadata.push_back(std::move(bytes));
        }
        state->imageCount = int32_t(metadata.size());

        image::DocumentPtr ctx(new image::ImageContext);
        if (image::CreateRootFolder(ctx.get()) != 0) {
            result = open_result::kOutOfMemory;
            return nullptr;
        }
        ctx->imagePath.assign(path);
        ctx->formatCode = image::format_code::kWim;
        ctx->imageSize = int64_t(state->parts[0].fileBytes);
        ctx->readOnly = 1;
        ctx->ownsTree = 1;
        ctx->isoNameLimit = 12;
        ctx->jolietNameLimit = 127;
        ctx->jolietLevel = 1;
        ctx->volumeTexts[image::volume_text::kVolumeLabel] = u"WIM";

        int32_t chosen = 0;
        if (state->imageCount > 1) {
            chosen = WimImageChooserServices().ChooseWimImage(ctx.get(), state->imageCount);
            if (chosen < 0 || chosen >= state->imageCount) {
                result = open_result::kCancelled;
                return nullptr;
            }
        }
        state->chosenImage = state->imageCount > 0 ? chosen + 1 : 0;
        if (state->imageCount > 0) {
            std::vector<uint8_t> tree = std::move(metadata[size_t(chosen)]);
            metadata.clear();
            // A damaged directory is shown with what could be read of it;
            // only a root that cannot be read at all fails the open.
            if (!BuildWimTree(*ctx, *state, tree) && !ctx->rootFolder->firstItem) {
                result = open_result::kDirectoryUnreadable;
                return nullptr;
            }
        }
        ctx->wimState.Attach(state.release(), FreeState);
        ctx->imageHandle.reset(file);
        result = open_result::kOk;
        return ctx.release();
    } catch (const std::bad_alloc&) {
        result = open_result::kOutOfMemory;
        return nullptr;
    }
}

int ExtractWimFile(foundation::ProgressCallbacks* progress, image::ImageContext* doc, const image::ImageItem* item,
                   foundation::FileHandle output) {
    using foundation::OperationStatus;
    image::WimState* state = doc ? doc->wimState.get() : nullptr;
    if (!state || !item || item->archiveIndex < 0 || size_t(item->archiveIndex) >= state->items.size()) {
        OperationStatus = foundation::kStatusImageReadError;
        return -1;
    }
    if (item->archiveIndex == state->emptyStreamIndex) return 1;
    const LookupItem& stream = state->items[size_t(item->archiveIndex)];
    const WimPart& part = state->parts[stream.partIndex];
    ResourceRead how;
    how.expectedHash = &stream.entry.hash;
    how.progress = progress;
    how.reportProgress = true;
    how.decodeThreads = state->decodeThreads;
    const ReadResult r = ReadResource(part, stream.entry.resource, [&](std::span<const uint8_t> bytes) {
        return foundation::WriteFileAt(output, bytes.data(), foundation::kCurrentPosition, bytes.size()) ==
               int64_t(bytes.size());
    }, how);
    switch (r) {
        case ReadResult::kOk:
            return 1;
        case ReadResult::kCancelled:
            OperationStatus = foundation::kStatusCancelled;
            return 0;
        case ReadResult::kSinkFailed:
            OperationStatus = foundation::kStatusWriteFailed;
            return -1;
        default:
            OperationStatus = foundation::kStatusImageReadError;
            return -1;
    }
}

}  // namespace filesystems
