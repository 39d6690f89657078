#pragma once
// WIM archives opened as read-only documents (format code 152): the header and
// lookup tables of every part of a split set, the metadata of every image
// checked against its hash, one image's directory tree as the item tree, and
// each file's data extracted and checked against its hash.

#include <cstdint>
#include <string_view>
#include <vector>

#include "codecs/sha1.h"
#include "filesystems/wim/wim_resource.h"
#include "foundation/file_io.h"
#include "image/document/image_context.h"

namespace foundation {
struct ProgressCallbacks;
}

namespace filesystems::wim {

// One lookup-table entry and the part that holds its resource.
struct LookupItem {
    LookupEntry entry;
    uint32_t partIndex = 0;   // into WimState::parts
};

// An open WIM's caps: one decoded metadata resource and all of them together
// are held in memory, so a crafted size cannot ask for more.
constexpr uint64_t kMetadataLimitBytes = uint64_t{1} << 30;
constexpr uint64_t kLookupTableLimitBytes = uint64_t{1} << 30;
// Metadata (names, times, security descriptors) compresses a few times over,
// never this far: a compressed metadata resource that claims more than this
// many times its stored bytes is damage.
constexpr uint64_t kMetadataCompressionLimit = 32;
constexpr uint32_t kMaxDirectoryDepth = 1024;

}  // namespace filesystems::wim

namespace image {

struct WimState {
    std::vector<filesystems::wim::WimPart> parts;         // [0] is part 1, over the document's handle
    std::vector<filesystems::wim::LookupItem> items;      // in table order, parts in order
    std::vector<uint32_t> byHash;                          // item indexes sorted by hash
    int32_t emptyStreamIndex = -1;                         // the item standing for files of no data
    int32_t imageCount = 0;
    int32_t chosenImage = 0;                               // 1-based
    uint32_t decodeThreads = 0;                            // of an extraction; 0: one per core
};

}  // namespace image

namespace filesystems {

// A new document over the WIM file, or null with *code set (open_result codes:
// kCancelled when the user declined to choose an image). The caller keeps
// owning the file on failure.
image::ImageContext* OpenWimArchive(std::u16string_view path, foundation::FileHandle file, int* code);

// Writes the item's whole data to output at its current position, checked
// against the stored hash: 1 done, 0 cancelled (OperationStatus 1), -1 failed
// (OperationStatus set: 11 missing or damaged data, 3 a write failed).
int ExtractWimFile(foundation::ProgressCallbacks* progress, image::ImageContext* doc, const image::ImageItem* item,
                   foundation::FileHandle output);

void FreeWimArchive(image::WimState* state);

// The item index of a hash, -1 when absent.
int32_t FindWimStream(const image::WimState& state, const codecs::Sha1Digest& hash);

}  // namespace filesystems
