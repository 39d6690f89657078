#pragma once
// An archive opened through the library, as a document holds it
// (ImageContext::archiveLink): the opened archive (and the inner one when the
// outer is a compressed single stream), one record per listed item, the
// password, and the store of item data extracted for readers that want byte
// ranges.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "containers/archive/arc_com_object.h"
#include "foundation/file_io.h"

namespace image {
struct ImageContext;
struct ImageItem;
}  // namespace image

namespace containers::archive {

class CArcCodecHost;
struct SolidPass;

struct ArchiveItemRecord {
    image::ImageItem* item = nullptr;   // null when the item could not be placed in the tree
    uint64_t size = 0;
    bool sizeKnown = false;             // bzip2 and zstd streams give no size
    bool encrypted = false;
    bool extractionMark = false;
    bool extractionFailed = false;      // never extracted again
    // The store: where the item's data lie once extracted.
    bool stored = false;
    uint64_t storeOffset = 0;
    uint64_t storedBytes = 0;
};

}  // namespace containers::archive

namespace image {

struct ArchiveLink {
    using ComRef = containers::archive::ComRef;
    using ArchiveItemRecord = containers::archive::ArchiveItemRecord;

    containers::archive::CArcCodecHost* host = nullptr;
    ComRef hostRef;
    std::u16string path;                 // the archive file
    ComRef outerArchive;
    ComRef innerArchive;                 // the archive inside a compressed single stream
    foundation::UniqueFile innerTemp;    // that stream decompressed, unlinked
    std::u16string outerDefaultName;
    std::u16string innerDefaultName;
    int32_t outerFormat = -1;
    int32_t innerFormat = -1;
    std::vector<ArchiveItemRecord> items;
    bool passwordGiven = false;
    bool passwordAsked = false;
    std::u16string password;
    bool anyEncrypted = false;
    bool solid = true;
    bool solidExtracted = false;
    int32_t singleExtractionIndex = -1;
    foundation::UniqueFile store;        // unlinked temporary in the work folder
    uint64_t storeEnd = 0;
    // The extraction job's pass over a solid archive (arc_extract.cpp).
    std::shared_ptr<containers::archive::SolidPass> solidPass;

    // The archive whose items are listed.
    void* Listed() const { return innerArchive ? innerArchive.get() : outerArchive.get(); }
    const std::u16string& ListedDefaultName() const { return innerArchive ? innerDefaultName : outerDefaultName; }
};

}  // namespace image

namespace containers::archive {

using ArchiveLinkState = image::ArchiveLink;

// The link's state as the image core's opaque type.
ArchiveLinkState* LinkOf(const image::ImageContext& ctx);
// Attaches a new link state to the document; null when out of memory.
ArchiveLinkState* AttachArchiveLink(image::ImageContext& ctx);
// Closes both archives and frees everything the link holds.
void CloseArchiveLink(image::ImageContext& ctx);

// The password for the library: the one given, else asked once through the
// dialog services (the answer is taken from the document's password). A
// refusal, now or earlier, is E_ABORT.
HResult GetLinkPassword(ArchiveLinkState& link, image::ImageContext& ctx, wchar_t** password);

}  // namespace containers::archive
