// The item tree: node records, linking, name lookup, freeing and deleting, and
// the path lookups. The edits live in item_tree_edit.cpp, the statistics in
// item_tree_stats.cpp.

#include "image/document/item_tree.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "image/document/fat_volume_services.h"
#include "image/document/main_window_services.h"
#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "foundation/memory.h"
#include "foundation/operation_status.h"
#include "image/document/folder_name_index.h"
#include "image/document/image_context.h"
#include "image/document/item_tree_internal.h"
#include "platform/text.h"

namespace image {
namespace {

// Folders at most this large are scanned; larger ones answer from their index
// (the results are the same either way).
constexpr int64_t kScanLimit = 32;

std::mutex& IndexLock() {
    static std::mutex lock;
    return lock;
}

template <typename T>
T* NewNode() {
    if (foundation::AllocationShouldFail()) return nullptr;
    try {
        return std::make_unique<T>().release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void ReleaseCutSlot(ImageItem* item, ImageFolder* folder) {
    if ((item && item->cutSlot > 0) || (folder && folder->cutSlot > 0)) image::DetachFromCutTransfer(item, folder);
}

// Drops an item's owned texts and blocks (the embedded root item keeps its
// place; every other item is freed by its caller).
void ClearItemBuffers(ImageItem* item) {
    item->isoName.clear();
    item->isoName.shrink_to_fit();
    item->name.clear();
    item->name.shrink_to_fit();
    item->diskPath.clear();
    item->diskPath.shrink_to_fit();
    item->memoryData = {};
    if (ImageItemSide* side = item->side.get()) {
        side->sourceText.clear();
        side->sourceText.shrink_to_fit();
        side->readerData = {};
        side->secondName.clear();
        side->secondName.shrink_to_fit();
        side->recordBlock = {};
        side->extentList = {};
        side->typeText.clear();
        side->typeText.shrink_to_fit();
    }
}

bool IsPathFolder(const ImageItem* item) {
    return IsFolderItem(item) && item->ownFolder != nullptr && !IsDotOrDotDot(item);
}
bool IsPathFile(const ImageItem* item) { return IsPlainFileItem(item); }

}  // namespace

const ImageItemSide& ImageItem::NoItemSide() {
    static const ImageItemSide none;
    return none;
}

ImageFolder::ImageFolder() = default;
ImageFolder::~ImageFolder() = default;


bool IsFatDocument(const ImageContext* ctx) { return ctx && ctx->fatState; }

int32_t GetOverwriteAnswer() { return foundation::StandingOverwriteAnswer.load(); }
void SetOverwriteAnswer(int32_t answer) { foundation::StandingOverwriteAnswer.store(answer); }

// --- Queries on nodes -------------------------------------------------------

bool IsFolderItem(const ImageItem* item) {
    return item && (item->recordHeader[dr::kFlags] & dirflag::kDirectory) != 0;
}

bool IsDotOrDotDot(const ImageItem* item) { return item && (item->name == u"." || item->name == u".."); }

bool IsPlainFileItem(const ImageItem* item) { return item && !IsFolderItem(item) && !IsDotOrDotDot(item); }

std::u16string_view FolderName(const ImageFolder* folder) {
    if (!folder || !folder->ownItem) return {};
    return folder->ownItem->name;
}

// --- Allocation and linking -------------------------------------------------

ImageItem* NewItem() {
    if (foundation::AllocationShouldFail()) return nullptr;
    try {
        // Every member has its initializer, so the item is not zeroed first:
        // the tree readers make one per entry.
        return std::make_unique_for_overwrite<ImageItem>().release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

ImageFolder* NewFolderRecord() { return NewNode<ImageFolder>(); }

void LinkItemAtHead(ImageFolder* folder, ImageItem* item) {
    if (!folder || !item) return;
    item->next = folder->firstItem;
    folder->firstItem = item;
    item->parent = folder;
    ++folder->itemCount;
    if (folder->displayNameHash) folder->displayNameHash->InsertAtHead(item);
}

void UnlinkItem(ImageFolder* folder, ImageItem* item) {
    if (!folder || !item) return;
    for (ImageItem** link = &folder->firstItem; *link; link = &(*link)->next) {
        if (*link == item) {
            *link = item->next;
            item->next = nullptr;
            --folder->itemCount;
            if (folder->displayNameHash) folder->displayNameHash->Remove(item);
            // The layout's ISO-name buckets are opaque here, so one entry cannot
            // be taken out: they go whole rather than keep a pointer to an item
            // that may be freed next (the layout builds them again on demand).
            folder->isoNameHash.Reset();
            return;
        }
    }
}

void AppendSubfolder(ImageFolder* parent, ImageFolder* folder) {
    if (!parent || !folder) return;
    folder->next = nullptr;
    folder->parent = parent;
    folder->depth = parent->depth + 1;
    // The tail pointer is a hint kept by these calls; walk from it (or the head)
    // to the real end in case a list was built by hand.
    ImageFolder* tail = parent->lastSubfolder ? parent->lastSubfolder : parent->firstSubfolder;
    if (!tail) {
        parent->firstSubfolder = folder;
    } else {
        while (tail->next) tail = tail->next;
        tail->next = folder;
    }
    parent->lastSubfolder = folder;
}

void UnlinkSubfolder(ImageFolder* parent, ImageFolder* folder) {
    if (!parent || !folder) return;
    ImageFolder* previous = nullptr;
    for (ImageFolder** link = &parent->firstSubfolder; *link; previous = *link, link = &(*link)->next) {
        if (*link == folder) {
            *link = folder->next;
            folder->next = nullptr;
            if (parent->lastSubfolder == folder) parent->lastSubfolder = previous;
            return;
        }
    }
}

std::u16string JoinFolderPath(const ImageFolder* parent, std::u16string_view name) {
    std::u16string path;
    if (parent && !parent->path.empty()) {
        path.reserve(parent->path.size() + 1 + name.size());
        path = parent->path;
        path += u'\\';
    }
    path += name;
    return path;
}

ImageFolder* MakeFolderNode(ImageContext* ctx, ImageFolder* parent, std::u16string_view name) {
    if (!parent || name.empty()) return nullptr;
    ImageItem* item = NewItem();
    if (!item) return nullptr;
    ImageFolder* folder = NewFolderRecord();
    if (!folder) {
        FreeItem(nullptr, item);
        return nullptr;
    }
    item->name = name;
    item->recordHeader[dr::kFlags] = dirflag::kDirectory;
    // A folder made here is new to the image, as one the user makes: it gets
    // the time of new items (the document's fixed time when it has one), its
    // record date and volume sequence number 1, or the save writes zeros.
    const int64_t seconds = foundation::GetNewItemTime(ctx ? ctx->fixedItemTime : 0);
    item->time = seconds < 0 ? 0 : seconds > int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(seconds);
    foundation::UnixTimeToIsoRecordDate(seconds,
                                        std::span<uint8_t>(item->recordHeader).subspan(dr::kDate, dr::kDateBytes));
    foundation::WriteBothEndian16(item->recordHeader.data() + dr::kVolumeSequence, 1);
    item->ownFolder = folder;
    item->kindByte = 2;
    folder->ownItem = item;
    folder->path = JoinFolderPath(parent, name);
    AppendSubfolder(parent, folder);
    LinkItemAtHead(parent, item);
    return folder;
}

// --- Name lookup ------------------------------------------------------------

ImageItem* FindChildFiltered(ImageFolder* folder, std::u16string_view name, DisplayNameIndex::Filter filter) {
    if (!folder) return nullptr;
    if (folder->itemCount <= kScanLimit && !folder->displayNameHash) {
        // Images made on case-sensitive systems hold names that differ only in
        // case ("Docs" and "docs"): the exact spelling is the one meant.
        ImageItem* folded = nullptr;
        for (ImageItem* item = folder->firstItem; item; item = item->next) {
            if (filter && !filter(item)) continue;
            if (item->name == name) return item;
            if (!folded && platform::EqualsNoCase(item->name, name)) folded = item;
        }
        return folded;
    }
    // A save's worker may look names up while the window thread does too: the
    // index is built (and read) under one lock. The tree itself only changes
    // while no one else reads it.
    std::lock_guard<std::mutex> guard(IndexLock());
    // Rebuilt when it no longer covers the list (items linked by hand).
    if (!folder->displayNameHash || folder->displayNameHash->Size() != folder->itemCount) {
        auto index = std::make_unique<DisplayNameIndex>();
        index->Build(*folder);
        folder->itemCount = index->Size();
        folder->displayNameHash = std::move(index);
    }
    return folder->displayNameHash->Find(name, filter);
}

ImageItem* FindChildByName(ImageFolder* folder, std::u16string_view name) {
    return FindChildFiltered(folder, name, nullptr);
}

void ClearNameHash(ImageContext* /*ctx*/, ImageFolder* folder) {
    std::vector<ImageFolder*> work;
    if (folder) work.push_back(folder);
    while (!work.empty()) {
        ImageFolder* current = work.back();
        work.pop_back();
        current->displayNameHash.reset();
        int64_t count = 0;
        for (ImageItem* item = current->firstItem; item; item = item->next) ++count;
        current->itemCount = count;
        for (ImageFolder* sub = current->firstSubfolder; sub; sub = sub->next) work.push_back(sub);
    }
}

void RemoveFromNameHash(ImageFolder* folder, ImageItem* item) {
    if (folder && folder->displayNameHash) folder->displayNameHash->Remove(item);
}

void RenameItem(ImageFolder* folder, ImageItem* item, std::u16string_view newName) {
    if (!item) return;
    std::u16string oldName = std::move(item->name);
    item->name.assign(newName);
    if (folder && folder->displayNameHash && !folder->displayNameHash->Rename(item, oldName)) {
        // Not indexed (linked by hand): the index no longer covers the list.
        folder->displayNameHash.reset();
    }
}

// --- Freeing and deleting ---------------------------------------------------

void FreeItem(ImageContext* ctx, ImageItem* item) {
    if (!item) return;
    ClearItemBuffers(item);
    if (ctx && item == &ctx->rootItem) return;   // part of the document record
    std::unique_ptr<ImageItem> owned(item);
}

int FreeItemArray(ImageContext* ctx, ImageItem** items, int32_t count) {
    if (items) {
        for (int32_t i = 0; i < count; ++i) {
            if (items[i]) FreeItem(ctx, items[i]);
        }
    }
    foundation::MemFree(items);
    return 0;
}

void FreeFolderContents(ImageContext* ctx, ImageFolder* folder) {
    if (!folder) return;
    folder->path.clear();
    ImageItem* item = folder->firstItem;
    folder->firstItem = nullptr;
    folder->sortedItems = nullptr;
    folder->itemCount = 0;
    folder->displayNameHash.reset();
    folder->isoNameHash.Reset();
    while (item) {
        ImageItem* next = item->next;
        ReleaseCutSlot(item, nullptr);
        FreeItem(ctx, item);
        item = next;
    }
}

void FreeFolderTree(ImageContext* ctx, ImageFolder* folder) {
    if (!folder) return;
    // Every folder of the subtree, parents before children; freed in reverse,
    // without recursion however deep the tree.
    std::vector<ImageFolder*> order{folder};
    for (size_t i = 0; i < order.size(); ++i) {
        for (ImageFolder* sub = order[i]->firstSubfolder; sub; sub = sub->next) order.push_back(sub);
    }
    for (size_t i = order.size(); i-- > 0;) {
        ImageFolder* current = order[i];
        if (current != folder) ReleaseCutSlot(nullptr, current);
        FreeFolderContents(ctx, current);
        current->firstSubfolder = nullptr;
        current->lastSubfolder = nullptr;
        if (ctx && ctx->rootFolder == current) ctx->rootFolder = nullptr;
        std::unique_ptr<ImageFolder> owned(current);
    }
}

void DeleteItem(ImageContext* ctx, ImageItem* item) {
    if (!item || (ctx && item == &ctx->rootItem)) return;
    ReleaseCutSlot(item, nullptr);
    ImageFolder* folder = item->parent;
    if (IsFatDocument(ctx) && !IsFolderItem(item)) {
        FatVolumeServices().DeleteFile(ctx, item);
    }
    // Unlinked (and out of the index) before it is freed, so nothing walks a
    // freed node.
    UnlinkItem(folder, item);
    FreeItem(ctx, item);
}

void DeleteFolder(ImageContext* ctx, ImageFolder* folder) {
    if (!folder || folder->parent == folder || !folder->parent) return;   // the root stays
    ReleaseCutSlot(nullptr, folder);
    if (IsFatDocument(ctx)) FatVolumeServices().DeleteFolder(ctx, folder->ownItem);
    // Out of the parent's subfolder list first: the record is freed below.
    UnlinkSubfolder(folder->parent, folder);
    ImageItem* ownItem = folder->ownItem;
    folder->ownItem = nullptr;
    if (ownItem) {
        ownItem->ownFolder = nullptr;
        DeleteItem(ctx, ownItem);
    }
    FreeFolderTree(ctx, folder);
}

// --- Paths ------------------------------------------------------------------

namespace {

ImageFolder* StartFolder(ImageContext* ctx, ImageFolder* start) {
    if (start) return start;
    return ctx ? ctx->rootFolder : nullptr;
}

// Splits off the next "/"-separated component.
std::u16string_view NextComponent(std::u16string_view& rest, bool& more) {
    size_t slash = rest.find(u'/');
    if (slash == std::u16string_view::npos) {
        std::u16string_view component = rest;
        rest = {};
        more = false;
        return component;
    }
    std::u16string_view component = rest.substr(0, slash);
    rest.remove_prefix(slash + 1);
    more = true;
    return component;
}

}  // namespace

ImageFolder* FindFolderByPath(ImageContext* ctx, ImageFolder* start, std::u16string_view path) {
    ImageFolder* folder = StartFolder(ctx, start);
    if (!folder) return nullptr;
    if (path == u"/") return folder;
    if (!path.empty() && path.front() == u'/') path.remove_prefix(1);
    if (path.empty()) return folder;
    std::u16string_view rest = path;
    bool more = true;
    while (more) {
        std::u16string_view component = NextComponent(rest, more);
        if (component.empty()) return nullptr;   // "a//b", or a trailing "/"
        ImageItem* match = FindChildFiltered(folder, component, &IsPathFolder);
        if (!match) return nullptr;
        folder = match->ownFolder;
    }
    return folder;
}

ImageItem* FindItemByPath(ImageContext* ctx, ImageFolder* start, std::u16string_view path) {
    ImageFolder* folder = StartFolder(ctx, start);
    if (!folder) return nullptr;
    if (path == u"/") return folder->ownItem;
    if (!path.empty() && path.front() == u'/') path.remove_prefix(1);
    if (path.empty()) return nullptr;
    std::u16string_view rest = path;
    bool more = true;
    while (more) {
        std::u16string_view component = NextComponent(rest, more);
        if (component.empty()) return nullptr;
        ImageItem* sub = FindChildFiltered(folder, component, &IsPathFolder);
        if (sub && more) {
            if (!rest.empty()) {
                folder = sub->ownFolder;
                continue;
            }
            return sub;   // a folder followed only by "/" is meant itself
        }
        ImageItem* file = FindChildFiltered(folder, component, &IsPathFile);
        // A matching file ends the walk even when components follow: a file
        // has no entries for them to name.
        if (more) return file;
        // Of a folder and a file whose names differ only in case, the one
        // spelled exactly.
        if (sub && (!file || sub->name == component || file->name != component)) return sub;
        return file;
    }
    return nullptr;
}

ImageFolder* CreateFolderPath(ImageContext* ctx, std::u16string_view path) {
    if (!ctx || !ctx->rootFolder) return nullptr;
    if (!path.empty() && path.front() == u'/') path.remove_prefix(1);
    ImageFolder* folder = ctx->rootFolder;
    bool any = false;
    std::u16string_view rest = path;
    bool more = !path.empty();
    while (more) {
        std::u16string_view component = NextComponent(rest, more);
        if (component.empty()) continue;
        any = true;
        ImageItem* existing = FindChildByName(folder, component);
        if (existing) {
            // A file of that name would otherwise end up beside a folder of
            // the same name.
            if (!IsPathFolder(existing)) return nullptr;
            folder = existing->ownFolder;
            continue;
        }
        ImageFolder* made = MakeFolderNode(ctx, folder, component);
        if (!made) return nullptr;
        image::NotifyItemAddedOrRemoved(ctx, folder, made->ownItem, true);
        folder = made;
    }
    return any ? folder : nullptr;
}

ImageItem* FindItemBySector(ImageContext* ctx, uint32_t sector, ImageFolder* folder) {
    folder = StartFolder(ctx, folder);
    if (!folder) return nullptr;
    // Depth-first in list order: a folder's files, then each subfolder.
    std::vector<ImageFolder*> work{folder};
    while (!work.empty()) {
        ImageFolder* current = work.back();
        work.pop_back();
        for (ImageItem* item = current->firstItem; item; item = item->next) {
            if (IsPlainFileItem(item) && item->startSector == sector) return item;
        }
        size_t mark = work.size();
        for (ImageFolder* sub = current->firstSubfolder; sub; sub = sub->next) {
            std::u16string_view name = FolderName(sub);
            if (name != u"." && name != u"..") work.push_back(sub);
        }
        std::reverse(work.begin() + static_cast<std::ptrdiff_t>(mark), work.end());
    }
    return nullptr;
}

}  // namespace image
