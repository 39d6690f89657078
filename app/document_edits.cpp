#include "app/document_edits.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "app/document_lifecycle.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/names.h"
#include "image/build/add_disk_files.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/fat_volume_services.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/main_window_services.h"
#include "image/iso/volume_texts.h"
#include "platform/format.h"
#include "platform/text.h"

namespace app {

namespace {

constexpr uint32_t kStrNewFolder = 1460, kStrSameName = 970;
// Far beyond any folder a user fills by hand; stops a runaway search.
constexpr int kMaxNewFolderNumber = 100000;

image::ImageContext* Writable() {
    image::ImageContext* ctx = image::g_CurrentDocument;
    return ctx && IsWritableDataDocument() ? ctx : nullptr;
}

// A sibling other than item whose name equals name without case.
bool SiblingNamed(image::ImageFolder* folder, const image::ImageItem* item, std::u16string_view name) {
    if (!folder) return false;
    for (image::ImageItem* other = folder->firstItem; other; other = other->next)
        if (other != item && platform::EqualsNoCase(other->name.view(), name)) return true;
    return false;
}

// The name an edit may give item: nothing when it is refused (the user was
// told why) or when it equals the old one without case.
std::optional<std::u16string> AcceptedName(image::ImageContext* ctx, image::ImageItem* item, std::u16string_view typed) {
    if (!ctx || !item || IsProtectedItem(ctx, item)) return std::nullopt;
    std::optional<std::u16string> name = foundation::ValidateFileName(typed);
    if (!name || platform::EqualsNoCase(*name, item->name.view())) return std::nullopt;
    if (SiblingNamed(item->parent, item, *name)) {
        foundation::AppMessageBox(
            *name + u"\r\n\r\n" +
                foundation::GetLangString(kStrSameName, u"The same name already exists. Please choose another name."),
            foundation::kMbOk | foundation::kMbIconInformation);
        return std::nullopt;
    }
    return name;
}

bool Renames(image::ImageItem* item, std::u16string_view typed) {
    image::ImageContext* ctx = Writable();
    std::optional<std::u16string> name = AcceptedName(ctx, item, typed);
    if (!name) return false;
    // A FAT volume takes the new name too; one it cannot hold keeps the old.
    if (image::RenameDocumentItem(ctx, item, *name) != 0) {
        foundation::AppMessageBox(*name + u"\r\n\r\n" + foundation::GetLastErrorText(), foundation::kMbOk | foundation::kMbIconStop);
        return false;
    }
    SetDocumentModified(2);
    return true;
}

bool IsInside(const image::ImageFolder* folder, const image::ImageFolder* ancestor) {
    // The chain ends at the root, whose parent is itself.
    for (int hops = 0; folder && hops <= image::kMaxFolderPathLevels; ++hops) {
        if (folder == ancestor) return true;
        if (folder->parent == folder) return false;
        folder = folder->parent;
    }
    return false;
}

}  // namespace

void SetDocumentModified(int how) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (how == 0 || !ctx) return;
    ctx->modified |= ctx->formatCode == image::format_code::kDaa ? 2 : how;
    ctx->changedSinceOpen = true;
    DocumentWindowServices().UpdateTitle();
}

bool IsWritableDataDocument() {
    const image::ImageContext* ctx = image::g_CurrentDocument;
    return ctx && !ctx->readOnly && CurrentDocumentKind() != DocumentKind::AudioCd && ctx->rootFolder;
}

bool IsProtectedItem(const image::ImageContext* ctx, const image::ImageItem* item) {
    return ctx && item && ctx->videoCdKind != 0 &&
           image::IsItemFromDiskFile(const_cast<image::ImageContext*>(ctx), item);
}

image::ImageItem* CreateNewFolder(image::ImageFolder* parent) {
    image::ImageContext* ctx = Writable();
    if (!ctx || !parent) return nullptr;
    const std::u16string base = foundation::GetLangString(kStrNewFolder, u"New Folder");
    std::u16string name = base;
    for (int n = 2; SiblingNamed(parent, nullptr, name); ++n) {
        if (n > kMaxNewFolderNumber) return nullptr;
        name = base + u"(" + platform::Utf8ToUtf16(std::to_string(n)) + u")";
    }
    image::ImageItem* item = image::AddNewFolder(ctx, parent, name);
    if (!item) return nullptr;
    // A FAT volume keeps its own directories in step with the tree.
    if (ctx->fatState && item->ownFolder && image::FatVolumeServices().CreateFolder(ctx, item->ownFolder) != 1) {
        image::DeleteFolder(ctx, item->ownFolder);
        return nullptr;
    }
    image::NotifyItemAddedOrRemoved(ctx, parent, item, true);
    SetDocumentModified(2);
    return item;
}

image::ImageItem* AddDiskPath(image::ImageFolder* folder, std::u16string_view path) {
    image::ImageContext* ctx = Writable();
    if (!ctx || !folder) return nullptr;
    std::u16string full(path);
    while (full.size() > 1 && full.back() == u'/') full.pop_back();
    if (full.empty() || full == u"/") return nullptr;
    const size_t slash = full.find_last_of(u'/');
    const std::u16string name = slash == std::u16string::npos ? full : full.substr(slash + 1);
    image::ImageItem* item = image::AddDiskItem(ctx, folder, full, name);
    if (!item) return nullptr;
    image::NotifyItemAddedOrRemoved(ctx, folder, item, true);
    SetDocumentModified(2);
    return item;
}

int RenameListItem(image::ImageItem* item, std::u16string_view name) { return Renames(item, name) ? 0 : -1; }

int RenameTreeFolder(image::ImageFolder* folder, std::u16string_view name) {
    if (!folder || !folder->ownItem || folder->parent == folder) return 0;
    return Renames(folder->ownItem, name) ? 1 : 0;
}

bool SetVolumeLabel(std::u16string_view label) {
    image::ImageContext* ctx = Writable();
    if (!ctx) return false;
    if (image::GetVolumeField(*ctx, image::kVolumeLabel) == label) return false;
    image::SetVolumeField(*ctx, image::kVolumeLabel, label);
    SetDocumentModified(1);
    return true;
}

int64_t DeleteItems(const std::vector<image::ImageItem*>& items) {
    image::ImageContext* ctx = Writable();
    if (!ctx) return 0;
    std::vector<image::ImageItem*> going;
    for (image::ImageItem* item : items)
        if (item && item != &ctx->rootItem && item->name.view() != u"." && item->name.view() != u".." &&
            !IsProtectedItem(ctx, item))
            going.push_back(item);
    if (going.empty()) return 0;
    // The list must never show a folder that is freed: move it first to the
    // nearest folder that stays.
    image::ImageFolder* shown = image::g_CurrentFolder;
    image::ImageFolder* keep = shown;
    for (image::ImageItem* item : going)
        if (item->ownFolder && IsInside(keep, item->ownFolder)) keep = item->parent;
    if (keep != shown) image::FillFileListWithFolder(keep);
    // A folder's items are a singly linked list: removed in list order, each
    // is found near the head, so a large selection goes in linear time.
    std::unordered_map<const image::ImageItem*, size_t> position;
    std::unordered_set<const image::ImageFolder*> walked;
    for (const image::ImageItem* item : going) {
        if (!walked.insert(item->parent).second || !item->parent) continue;
        size_t n = 0;
        for (const image::ImageItem* it = item->parent->firstItem; it; it = it->next) position[it] = n++;
    }
    std::stable_sort(going.begin(), going.end(), [&](const image::ImageItem* a, const image::ImageItem* b) {
        return position[a] < position[b];
    });
    image::BeginViewUpdate();
    int64_t removed = 0;
    for (image::ImageItem* item : going) {
        image::ImageFolder* parent = item->parent;
        image::NotifyItemAddedOrRemoved(ctx, parent, item, false);
        if (item->ownFolder) image::DeleteFolder(ctx, item->ownFolder);
        else image::DeleteItem(ctx, item);
        ++removed;
    }
    image::EndViewUpdate();
    SetDocumentModified(2);
    return removed;
}

int64_t DeleteRootContents() {
    image::ImageContext* ctx = Writable();
    if (!ctx || !ctx->rootFolder) return 0;
    std::vector<image::ImageItem*> items;
    for (image::ImageItem* item = ctx->rootFolder->firstItem; item; item = item->next) {
        items.push_back(item);
    }
    return DeleteItems(items);
}

int DocumentRenameServices::RenameListItem(image::ImageItem* item, std::u16string_view name) {
    return app::RenameListItem(item, name);
}

int DocumentRenameServices::RenameTreeFolder(image::ImageFolder* folder, std::u16string_view name) {
    return app::RenameTreeFolder(folder, name);
}

bool DocumentRenameServices::SetVolumeLabel(std::u16string_view label) { return app::SetVolumeLabel(label); }

}  // namespace app
