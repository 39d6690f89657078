#pragma once
// The in-memory item tree of a document. Two node kinds: ImageFolder, one per
// directory, links the directory hierarchy; ImageItem, one per entry (file or
// folder) inside a directory. A folder is an ImageItem in its parent's item list
// plus an ImageFolder that holds its own entries.
//
// Ownership: a folder owns the items of its item list and its subfolders; the
// document owns the root folder. Nodes are made by NewItem / NewFolderRecord and
// freed by FreeItem / FreeFolderTree (or the Delete calls) only.
//
// Link and unlink items and subfolders only through the calls below
// (LinkItemAtHead, UnlinkItem, AppendSubfolder, UnlinkSubfolder): they keep the
// item count, the subfolder tail and the display-name index of the folder in
// step. Rename items with RenameItem (or drop the index with ClearNameHash).
//
// Name comparisons in the tree are case-insensitive on the displayed name.
// The tree is changed on one thread at a time (the main thread, or a worker
// while the views are frozen); there is no lock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "image/document/item_name.h"
#include "image/iso/iso_record_layout.h"

namespace image {

struct ImageContext;
struct ImageFolder;
struct ImageItem;
class DisplayNameIndex;
struct IsoNameTable;      // the layout's ISO-name buckets; owned and freed by the layout code

// An owned pointer with the function that frees it.
template <typename T>
class StateSlot {
public:
    using FreeFunction = void (*)(T*);
    StateSlot() = default;
    ~StateSlot() { Reset(); }
    StateSlot(const StateSlot&) = delete;
    StateSlot& operator=(const StateSlot&) = delete;

    // Takes ownership of state; freeFunction (not null) frees it later.
    void Attach(T* state, FreeFunction freeFunction) {
        Reset();
        state_ = state;
        free_ = freeFunction;
    }
    // Frees the state (when any) and empties the slot.
    void Reset() {
        T* state = std::exchange(state_, nullptr);
        FreeFunction freeFunction = std::exchange(free_, nullptr);
        if (state && freeFunction) freeFunction(state);
    }
    // Gives up ownership without freeing.
    T* Release() {
        free_ = nullptr;
        return std::exchange(state_, nullptr);
    }
    T* get() const { return state_; }
    T* operator->() const { return state_; }
    explicit operator bool() const { return state_ != nullptr; }

private:
    T* state_ = nullptr;
    FreeFunction free_ = nullptr;
};

// Item flags.
namespace item_flag {
constexpr int32_t kExcluded = 8;          // excluded from the image
}
// Folder flags.
namespace folder_flag {
constexpr uint8_t kDotRead = 2;           // a "." entry was read
constexpr uint8_t kDotDotRead = 4;        // a ".." entry was read
constexpr uint8_t kExcluded = 8;          // folder excluded
}
// Source markers of Video CD items.
constexpr uint32_t kVideoCdMarker = 0xFFFFFF00u;   // + n (1..99): file of Video CD track n

// What the build's identical-data search knows of an item's data checksum.
namespace compare_state {
constexpr uint32_t kUnknown = 0;      // not taken yet, or the contents may have changed
constexpr uint32_t kHashed = 1;       // compareHash holds it
constexpr uint32_t kUnreadable = 2;   // the data could not be read: never identical to another
}  // namespace compare_state

// What only the layout, the views and a few readers keep for an item. Most
// items of an opened image never need it, so it is made on first write
// (ImageItem::EditSide) and lives outside the item: the item record stays
// small, and opening and walking a tree of many entries touches less memory.
struct ImageItemSide {
    ImageItem* sortedNext = nullptr;      // next item in name order (layout)
    uint32_t layoutWord = 0;
    uint32_t nameBytes = 0;
    uint32_t recordLength = 0;            // length of the item's ISO 9660 directory record (layout)
    uint32_t copiedLayoutWord = 0;        // copied on copy
    std::u16string secondName;
    std::u16string sourceText;            // copied on copy
    std::vector<uint8_t> extentList;      // 32-bit count then 12-byte extents; empty = none
    std::vector<uint8_t> recordBlock;
    std::vector<uint8_t> readerData;      // data a reader attaches to the item
    std::array<uint32_t, 2> sourceWords{};    // copied on copy
    std::array<uint32_t, 2> spareWords{};
    int32_t spareWord = 0;

    // Read and written by the views and the document commands.
    int32_t referenceCount = 0;
    int32_t iconIndexPlusOne = 0;         // cached icon index + 1 (0 = not loaded)
    std::u16string typeText;              // cached type text
    uint8_t highlight = 0;                // set by the disk-image file-system readers
};

// Every member has an initializer: NewItem does not zero the record first.
// The members a tree reader fills and a walk reads come first.
struct ImageItem {
    ImageItem* next = nullptr;            // next item of the same folder
    ImageFolder* parent = nullptr;        // folder holding the item; for ".." the parent's parent
    ImageFolder* ownFolder = nullptr;     // folder items: the folder's node
    std::unique_ptr<ImageItemSide> side;  // made on first EditSide; freed with the item
    int64_t size = 0;                     // data size in bytes
    ItemName name;                        // displayed name (see item_name.h)
    std::string isoName;                  // name as written in ISO 9660 records
    std::u16string diskPath;              // source file on disk for items added from disk, else empty
    ImageItem* identicalData = nullptr;   // another item with the same content (layout)
    std::vector<uint8_t> memoryData;      // data held in memory (made files); empty = none
    uint32_t sourceMarker = 0;            // 0 plain; kVideoCdMarker (+ track); 150..186 Video CD data files
    int32_t flags = 0;                    // item_flag bits
    uint32_t startSector = 0;             // first sector of the data in the opened image
    int32_t archiveIndex = -1;            // index in the archive, -1 none
    int32_t earlierSession = 0;           // 1 for items read from a disc or an earlier session
    int32_t cutSlot = 0;                  // 1-based slot in the pending cut transfer, 0 none
    uint32_t time = 0;                    // seconds since 1970
    int32_t weight = 0;                   // 1..100 (layout)
    uint32_t compareHash = 0;             // identical-data search (layout)
    uint32_t compareState = 0;            // compare_state: whether compareHash holds the data checksum
    std::array<uint8_t, dr::kHeadBytes> recordHeader{};   // bytes 0-32 of the ISO 9660 record
    uint8_t kindByte = 0;                 // 2 folder, 4 cut mark

    // The side record to read: an empty one shared by all items that have none.
    const ImageItemSide& Side() const { return side ? *side : NoItemSide(); }
    // The side record to change, made on first use (throws std::bad_alloc
    // when out of memory, as NewItem's callers expect of a failed new).
    ImageItemSide& EditSide() {
        if (!side) side = std::make_unique<ImageItemSide>();
        return *side;
    }
    static const ImageItemSide& NoItemSide();

    // Items live in slabs of many (item_tree_pool.cpp): opening an image of a
    // hundred thousand entries then costs no heap call per entry, and the
    // items of one directory lie next to each other. Ownership is unchanged:
    // NewItem makes, FreeItem frees. new throws std::bad_alloc when out of memory.
    static void* operator new(size_t bytes);
    static void operator delete(void* slot) noexcept;
};

struct ImageFolder {
    ImageFolder* next = nullptr;          // next sibling folder (insertion order)
    ImageFolder* firstSubfolder = nullptr;
    ImageFolder* parent = nullptr;        // the root's parent is the root itself
    ImageItem* firstItem = nullptr;       // new items are put at the head
    ImageItem* sortedItems = nullptr;     // items in name order (layout)
    ImageItem* ownItem = nullptr;         // entry in the parent (root: the item embedded in the document)
    std::u16string path;                  // "\"-separated path relative to the root ("" for the root)
    int32_t depth = 0;                    // 0 for the root
    std::array<uint32_t, 3> layoutWordsA{};
    uint32_t directoryBytes = 0;          // size of the folder's directory extent (layout)
    std::array<uint32_t, 3> layoutWordsB{};
    uint8_t flags = 0;                    // folder_flag bits
    uint32_t layoutWord = 0;
    StateSlot<IsoNameTable> isoNameHash;   // attached by the layout code with its free function; dropped by UnlinkItem
    std::unique_ptr<DisplayNameIndex> displayNameHash;   // built on demand
    void* treeViewHandle = nullptr;       // node in the folder tree view
    void* burnViewHandle = nullptr;       // node in the burn view
    int32_t cutSlot = 0;                  // 1-based slot in the pending cut transfer, 0 none

    // Kept in step by the link calls.
    ImageFolder* lastSubfolder = nullptr;
    int64_t itemCount = 0;                // entries in the item list

    ImageFolder();
    ~ImageFolder();
    ImageFolder(const ImageFolder&) = delete;
    ImageFolder& operator=(const ImageFolder&) = delete;
};

struct TreeStatistics {
    int64_t totalBytes = 0;
    int64_t fileBytes = 0;
    int64_t audioTrackBytes = 0;
    int32_t fileCount = 0;
    int32_t folderCount = 0;
    int32_t audioTrackCount = 0;
    int32_t spare = 0;
    int64_t imageBytes = 0;
    int64_t newFileBytes = 0;
};

// The standing overwrite answer of the edit commands: the foundation's one
// standing answer (foundation::StandingOverwriteAnswer), so that the overwrite
// question sees "yes to all" / "no to all" given earlier in the same command.
// -1 none, 0 yes, 1 no, 2 yes to all, 3 no to all, 4 cancel; the caller of an
// edit command resets it to -1.
int32_t GetOverwriteAnswer();
void SetOverwriteAnswer(int32_t answer);

// --- Queries on nodes -------------------------------------------------------
bool IsFolderItem(const ImageItem* item);
bool IsDotOrDotDot(const ImageItem* item);
// Items a walk visits: not ".", not "..", not a folder item.
bool IsPlainFileItem(const ImageItem* item);
// The folder's displayed name (its own item's name; "" for the root).
std::u16string_view FolderName(const ImageFolder* folder);

// --- Allocation and linking -------------------------------------------------
// A zeroed item with archive index -1; null when out of memory.
ImageItem* NewItem();
// A zeroed folder record; null when out of memory. Every caller has a failure
// path (an open that fails, an add that stops), so, like NewItem, it leaves
// ending the program to the command that gets the failure.
ImageFolder* NewFolderRecord();
// Also sets item->parent (a ".." item's parent is set by the caller afterwards).
void LinkItemAtHead(ImageFolder* folder, ImageItem* item);
void UnlinkItem(ImageFolder* folder, ImageItem* item);       // nothing when not in the list
void AppendSubfolder(ImageFolder* parent, ImageFolder* folder);   // sets parent and depth
void UnlinkSubfolder(ImageFolder* parent, ImageFolder* folder);
// Makes a folder named name in parent: its item (flags "directory", parent =
// parent) at the head of the items, its record appended to the subfolders, its
// path and depth set. Null when name is empty or out of memory. Does not look
// for an existing entry and does not tell the views.
ImageFolder* MakeFolderNode(ImageContext* ctx, ImageFolder* parent, std::u16string_view name);
// The path a folder named name in parent holds: parent's path, "\" and the
// name ("" parent path: the name alone).
std::u16string JoinFolderPath(const ImageFolder* parent, std::u16string_view name);

// --- Name lookup ------------------------------------------------------------
// The item of the folder with that displayed name, null when absent: the one
// spelled exactly so, else one equal without case (names that differ only in
// case come from case-sensitive systems). Small folders are scanned; large ones
// answer from the display-name index, built on first use, with the same result
// as a scan.
ImageItem* FindChildByName(ImageFolder* folder, std::u16string_view name);
// Drops the folder's display-name index (and those of its subfolders).
void ClearNameHash(ImageContext* ctx, ImageFolder* folder);
void RemoveFromNameHash(ImageFolder* folder, ImageItem* item);
// Gives an item of the folder a new displayed name, keeping the index in step.
void RenameItem(ImageFolder* folder, ImageItem* item, std::u16string_view newName);

// --- Freeing and deleting ---------------------------------------------------
void FreeItem(ImageContext* ctx, ImageItem* item);
int FreeItemArray(ImageContext* ctx, ImageItem** items, int32_t count);
void FreeFolderContents(ImageContext* ctx, ImageFolder* folder);
void FreeFolderTree(ImageContext* ctx, ImageFolder* folder);
void DeleteItem(ImageContext* ctx, ImageItem* item);
void DeleteFolder(ImageContext* ctx, ImageFolder* folder);

// --- Paths ------------------------------------------------------------------
// "/"-separated paths; "/" alone is the root (start folder). Each component is
// looked up as FindChildByName does: exact spelling first, then without case.
ImageFolder* FindFolderByPath(ImageContext* ctx, ImageFolder* start, std::u16string_view path);
// Null when a component is missing, and when components follow a file's name.
ImageItem* FindItemByPath(ImageContext* ctx, ImageFolder* start, std::u16string_view path);
// Finds or makes every folder of the path below the root (one leading "/" is
// skipped) and returns the last; null for a path without components or when a
// component names a file.
ImageFolder* CreateFolderPath(ImageContext* ctx, std::u16string_view path);
// Depth-first: the first file item whose start sector equals sector.
ImageItem* FindItemBySector(ImageContext* ctx, uint32_t sector, ImageFolder* folder);

// --- Edits ------------------------------------------------------------------
ImageItem* CopyFileItem(ImageContext* ctx, ImageFolder* dest, ImageItem* item, bool move, bool nested);
ImageFolder* CopyFolder(ImageContext* ctx, ImageFolder* src, ImageFolder* dest, bool move, bool nested);
// Renames an item in its folder and, in a FAT document, in the volume: 0, or
// -1 with the old name kept when the volume refused the new one.
int RenameDocumentItem(ImageContext* ctx, ImageItem* item, std::u16string_view newName);
void SetSubfolderDepths(ImageFolder* folder);
void FixDotDotParent(ImageFolder* folder);

// --- Queries ----------------------------------------------------------------
// Size of the item's data as shown (a Video CD track file as its RIFF CDXA form).
int64_t GetItemDataSize(ImageContext* ctx, const ImageItem* item);
void GetTreeStatistics(ImageContext* ctx, ImageFolder* folder, TreeStatistics* stats, bool recurse);
// Switches the document to UDF only when any file is 4 GiB or larger.
void ApplyLargeFileRule(ImageContext* ctx);
bool IsItemFromDiskFile(ImageContext* ctx, const ImageItem* item);

}  // namespace image
