#pragma once
// The ISO 9660 and Joliet structures of an image being saved: identifiers
// unique in each folder, directory records with their lengths and order, the
// folders' extents and numbers, and the path tables. Laid out here; the
// sectors are allocated and written by the image build (image_build.h).
//
// Records of "." and ".." are made by the layout for every folder; entries of
// those names that a reader kept in the tree are ignored, so the tree itself
// is never changed by a save.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "image/iso/iso_record_layout.h"

namespace foundation {
struct ProgressCallbacks;
}

namespace image {

struct ImageContext;
struct ImageFolder;
struct ImageItem;

enum class RecordKind : uint8_t { Dot, DotDot, Folder, File };

struct DirectoryRecord {
    RecordKind kind = RecordKind::File;
    ImageItem* item = nullptr;          // the entry (for "." and "..": the folder's own item)
    ImageFolder* subfolder = nullptr;   // Folder records: the folder they open
    std::string isoId;                  // "\0" for ".", "\1" for ".."
    std::u16string jolietId;            // host-order UTF-16; "\0" / "\1" likewise
    uint32_t isoLength = 0;             // record lengths in bytes
    uint32_t jolietLength = 0;
};

struct FolderLayout {
    ImageFolder* folder = nullptr;
    FolderLayout* parent = nullptr;     // the root's parent is the root
    std::vector<DirectoryRecord> records;
    std::vector<uint32_t> isoOrder;     // indexes into records, in ISO record order
    std::vector<uint32_t> jolietOrder;
    std::string isoId;                  // the folder's own identifiers (root: "\0")
    std::u16string jolietId;
    uint32_t isoExtentBytes = 0, isoExtentSector = 0, isoNumber = 0;
    uint32_t jolietExtentBytes = 0, jolietExtentSector = 0, jolietNumber = 0;
};

struct IsoLayout {
    // Folders in depth-first pre-order, root first (the order of the extents).
    std::vector<std::unique_ptr<FolderLayout>> folders;
    std::unordered_map<const ImageFolder*, FolderLayout*> byFolder;
    bool joliet = false;
    bool videoCd = false;
    uint32_t isoPathTableBytes = 0, jolietPathTableBytes = 0;
    std::vector<uint8_t> isoPathL, isoPathM, jolietPathL, jolietPathM;   // whole sectors
    uint32_t isoPathLSector = 0, isoPathMSector = 0, jolietPathLSector = 0, jolietPathMSector = 0;
    std::vector<FolderLayout*> isoPathOrder, jolietPathOrder;
};

// Why a layout step failed (OperationStatus says it for cancel: 1).
enum class LayoutError {
    None,
    Cancelled,
    NoUniqueName,       // a folder holds more than a million clashing names
    RecordTooLong,      // a directory record would reach 256 bytes
    TooManyFolders,     // more than 65535 folders
    PathTableMismatch,  // the built path table differs from the predicted size
};
const char16_t* LayoutErrorText(LayoutError error);

constexpr uint32_t kMaxPathTableFolders = 65535;
constexpr uint32_t kMaxNameNumber = 999999;

// Names, records and sort orders of every folder: 1, or 0 with *error set.
int PrepareTreeForWrite(ImageContext& ctx, IsoLayout& layout, foundation::ProgressCallbacks* progress,
                        LayoutError* error);
// Sectors for the path tables and the directory extents from next on (ISO,
// then Joliet); next advances. 1, or 0 with *error set.
int AllocateDirectoryExtents(IsoLayout& layout, uint32_t& next, LayoutError* error);
// Builds both path tables of each kind once the extents are known: 1 or 0.
int BuildPathTables(IsoLayout& layout, LayoutError* error);

// Fills one folder's directory extent (sectors of 2048 bytes) for ISO 9660 or
// Joliet. dataStart gives each file's allocated sector.
using DataStartOf = uint32_t (*)(const void* context, const ImageItem* item);
void WriteDirectoryExtent(const ImageContext& ctx, const IsoLayout& layout, const FolderLayout& folder, bool joliet,
                          DataStartOf dataStart, const void* dataContext, std::vector<uint8_t>& out);
// The 34-byte root record of a descriptor.
void BuildRootRecord(const IsoLayout& layout, bool joliet, int64_t rootTime, uint8_t out[dr::kMinRecordBytes]);

}  // namespace image
