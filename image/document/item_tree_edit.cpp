// Copying and moving files and folders inside the item tree, with the
// same-name questions and messages of the edit commands.

#include <string>
#include <vector>

#include "image/document/current_document.h"
#include "image/document/fat_volume_services.h"
#include "image/document/main_window_services.h"
#include "foundation/user_prompt.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/item_tree_internal.h"
#include "platform/format.h"

namespace image {
namespace {

using edit_text::kFileExists;
using edit_text::kFolderExists;
using edit_text::kSameFolder;
using edit_text::kSubfolder;

using foundation::overwrite_answer::kCancel;
using foundation::overwrite_answer::kNo;
using foundation::overwrite_answer::kNoToAll;
using foundation::overwrite_answer::kYesToAll;

// "Cannot copy %s: %s" / "Cannot move %s: %s" with the stop icon, with the
// views redrawn while the box is up.
void ShowEditError(bool move, std::u16string_view name, uint32_t reasonId) {
    const std::u16string format = EditErrorFormat(move);
    image::EndViewUpdate();
    foundation::AppMessageBox(platform::Format(format, name, EditReasonText(reasonId)), foundation::kMbIconStop);
    image::BeginViewUpdate();
}

// Asks whether an existing entry may be overwritten (unless "yes to all"
// stands); false when the answer refuses.
bool MayOverwrite(ImageContext* ctx, std::u16string_view name) {
    if (GetOverwriteAnswer() == kYesToAll) return true;
    image::EndViewUpdate();
    int answer = foundation::AskOverwriteName(ctx, name);
    image::BeginViewUpdate();
    SetOverwriteAnswer(answer);
    return !(answer == kNo || answer == kNoToAll || answer == kCancel);
}

bool IsDotName(std::u16string_view name) { return name == u"." || name == u".."; }

ImageItem* CopyItemRecord(const ImageItem& from) {
    ImageItem* copy = NewItem();
    if (!copy) return nullptr;
    copy->name = from.name;
    copy->diskPath = from.diskPath;
    copy->earlierSession = from.earlierSession;
    copy->startSector = from.startSector;
    copy->flags = from.flags;
    copy->size = from.size;
    copy->archiveIndex = from.archiveIndex;
    copy->memoryData = from.memoryData;
    copy->recordHeader = from.recordHeader;
    copy->sourceMarker = from.sourceMarker;
    if (from.weight >= 1 && from.weight <= 100) copy->weight = from.weight;
    if (from.side) {
        const ImageItemSide& source = *from.side;
        ImageItemSide& side = copy->EditSide();
        side.sourceText = source.sourceText;
        side.sourceWords = source.sourceWords;
        side.copiedLayoutWord = source.copiedLayoutWord;
        side.readerData = source.readerData;
        side.extentList = source.extentList;
    }
    return copy;
}

// New paths for a moved subtree.
void RefreshFolderPaths(ImageFolder* top) {
    std::vector<ImageFolder*> work{top};
    while (!work.empty()) {
        ImageFolder* folder = work.back();
        work.pop_back();
        folder->path = JoinFolderPath(folder->parent, FolderName(folder));
        for (ImageFolder* sub = folder->firstSubfolder; sub; sub = sub->next) work.push_back(sub);
    }
}

enum class FolderStep { Failed, Done, FillContents };

// Steps 1-3 of a folder copy or move: the checks, the same-name case, and the
// new (or moved) folder. FillContents leaves the folder to fill in *target.
FolderStep PrepareFolder(ImageContext* ctx, ImageFolder* src, ImageFolder* dest, bool move, bool nested,
                         ImageFolder** target) {
    std::u16string name(FolderName(src));
    if (!nested) {
        if (dest == src || dest == src->parent) {
            ShowEditError(move, name, kSameFolder);
            return FolderStep::Failed;
        }
        for (ImageFolder* up = dest; up && up->depth >= src->depth; up = up->parent) {
            if (up == src) {
                ShowEditError(move, name, kSubfolder);
                return FolderStep::Failed;
            }
            if (up->parent == up) break;   // the root
        }
    }
    if (ImageItem* existing = FindChildByName(dest, name)) {
        if (IsFolderItem(existing) && existing->ownFolder) {
            if (!MayOverwrite(ctx, name)) return FolderStep::Failed;
            *target = existing->ownFolder;
            return FolderStep::FillContents;
        }
        ShowEditError(move, name, kFileExists);
        return FolderStep::Failed;
    }
    if (move) {
        ImageFolder* oldParent = src->parent;
        ImageItem* ownItem = src->ownItem;
        image::NotifyItemAddedOrRemoved(ctx, oldParent, ownItem, false);
        if (src->cutSlot > 0) image::DetachFromCutTransfer(nullptr, src);
        UnlinkItem(oldParent, ownItem);
        UnlinkSubfolder(oldParent, src);
        LinkItemAtHead(dest, ownItem);
        if (IsFatDocument(ctx) && FatVolumeServices().MoveEntry(ctx, ownItem) != 1) {
            UnlinkItem(dest, ownItem);
            LinkItemAtHead(oldParent, ownItem);
            AppendSubfolder(oldParent, src);
            image::NotifyItemAddedOrRemoved(ctx, oldParent, ownItem, true);
            return FolderStep::Failed;
        }
        AppendSubfolder(dest, src);
        SetSubfolderDepths(src);
        FixDotDotParent(src);
        RefreshFolderPaths(src);
        image::NotifyItemAddedOrRemoved(ctx, dest, ownItem, true);
        *target = src;
        return FolderStep::Done;
    }
    ImageFolder* made = MakeFolderNode(ctx, dest, name);
    if (!made) return FolderStep::Failed;
    if (src->ownItem) {
        made->ownItem->earlierSession = src->ownItem->earlierSession;
        if (!src->ownItem->Side().sourceText.empty()) made->ownItem->EditSide().sourceText = src->ownItem->Side().sourceText;
        made->ownItem->startSector = src->ownItem->startSector;
    }
    if (IsFatDocument(ctx) && FatVolumeServices().CreateFolder(ctx, made) != 1) {
        DeleteFolder(ctx, made);
        return FolderStep::Failed;
    }
    image::NotifyItemAddedOrRemoved(ctx, dest, made->ownItem, true);
    *target = made;
    return FolderStep::FillContents;
}

// One folder whose entries are being copied or moved into target.
struct FolderFrame {
    ImageFolder* src = nullptr;
    ImageFolder* target = nullptr;
    std::vector<ImageFolder*> subfolders;
    size_t nextSubfolder = 0;
    bool complete = true;
};

// Copies (or moves) the file items of src into the frame's target and lists
// its subfolders for the work loop. False when cancelled.
bool CopyFilesOf(ImageContext* ctx, FolderFrame& frame, bool move) {
    std::vector<ImageItem*> files;
    for (ImageItem* item = frame.src->firstItem; item; item = item->next) {
        if (IsPlainFileItem(item)) files.push_back(item);
    }
    for (ImageItem* item : files) {
        if (GetOverwriteAnswer() == kCancel) return false;
        if (!CopyFileItem(ctx, frame.target, item, move, true)) frame.complete = false;
    }
    for (ImageFolder* sub = frame.src->firstSubfolder; sub; sub = sub->next) {
        if (!IsDotName(FolderName(sub))) frame.subfolders.push_back(sub);
    }
    return true;
}

// A moved folder whose entries all went is removed.
void FinishFrame(ImageContext* ctx, FolderFrame& frame, bool move) {
    if (!move || !frame.complete) return;
    for (ImageItem* item = frame.src->firstItem; item; item = item->next) {
        if (!IsDotOrDotDot(item)) return;
    }
    image::NotifyItemAddedOrRemoved(ctx, frame.src->parent, frame.src->ownItem, false);
    if (image::g_CurrentFolder == frame.src) image::FillFileListWithFolder(frame.target);
    DeleteFolder(ctx, frame.src);
}

}  // namespace

int RenameDocumentItem(ImageContext* ctx, ImageItem* item, std::u16string_view newName) {
    if (!item || !item->parent) return -1;
    ImageFolder* folder = item->parent;
    const std::u16string oldName(item->name);
    RenameItem(folder, item, newName);
    if (IsFatDocument(ctx) && FatVolumeServices().MoveEntry(ctx, item) != 1) {
        RenameItem(folder, item, oldName);
        return -1;
    }
    if (item->ownFolder) RefreshFolderPaths(item->ownFolder);
    return 0;
}

std::u16string EditErrorFormat(bool move) {
    return move ? foundation::GetLangString(edit_text::kCannotMove, u"Cannot move %s: %s")
                : foundation::GetLangString(edit_text::kCannotCopy, u"Cannot copy %s: %s");
}

std::u16string EditReasonText(uint32_t id) {
    switch (id) {
    case kFolderExists:
        return foundation::GetLangString(
            id, u"A folder with the name you specified already exists. Please specify a different folder name.");
    case kFileExists:
        return foundation::GetLangString(
            id, u"A file with the name you specified already exists. Please specify a different file name.");
    case kSameFolder:
        return foundation::GetLangString(id, u"The destination folder is the same as the source folder.");
    default:
        return foundation::GetLangString(id, u"The destination folder is a subfolder of the source folder.");
    }
}

ImageItem* CopyFileItem(ImageContext* ctx, ImageFolder* dest, ImageItem* item, bool move, bool /*nested*/) {
    if (!dest || !item || IsFolderItem(item) || item->parent == dest || IsDotOrDotDot(item)) return nullptr;
    if (ImageItem* existing = FindChildByName(dest, item->name)) {
        if (IsFolderItem(existing)) {
            ShowEditError(move, item->name, kFolderExists);
            SetOverwriteAnswer(kCancel);
            return nullptr;
        }
        if (!MayOverwrite(ctx, item->name)) return nullptr;
        image::NotifyItemAddedOrRemoved(ctx, dest, existing, false);
        DeleteItem(ctx, existing);
    }
    ImageItem* result = nullptr;
    if (move) {
        ImageFolder* from = item->parent;
        image::NotifyItemAddedOrRemoved(ctx, from, item, false);
        if (item->cutSlot > 0) image::DetachFromCutTransfer(item, nullptr);
        UnlinkItem(from, item);
        LinkItemAtHead(dest, item);
        if (IsFatDocument(ctx) && FatVolumeServices().MoveEntry(ctx, item) != 1) {
            // The volume keeps the file where it was: so does the tree.
            UnlinkItem(dest, item);
            LinkItemAtHead(from, item);
            image::NotifyItemAddedOrRemoved(ctx, from, item, true);
            return nullptr;
        }
        if (dest->flags & folder_flag::kExcluded) item->flags |= item_flag::kExcluded;
        result = item;
    } else {
        result = CopyItemRecord(*item);
        if (!result) return nullptr;
        // A FAT record names the source's own entry and clusters: the copy
        // gets its own from the volume, and until then has none, so a copy
        // that fails and is deleted again takes nothing of the source along.
        if (IsFatDocument(ctx) && result->side) result->side->readerData = {};
        LinkItemAtHead(dest, result);
        if (IsFatDocument(ctx) && FatVolumeServices().CopyFile(ctx, item, result) != 1) {
            DeleteItem(ctx, result);
            return nullptr;
        }
    }
    image::NotifyItemAddedOrRemoved(ctx, dest, result, true);
    return result;
}

ImageFolder* CopyFolder(ImageContext* ctx, ImageFolder* src, ImageFolder* dest, bool move, bool nested) {
    if (!src || !dest) return nullptr;
    ImageFolder* top = nullptr;
    FolderStep step = PrepareFolder(ctx, src, dest, move, nested, &top);
    if (step == FolderStep::Failed) return nullptr;
    if (step == FolderStep::Done) return top;

    // The subfolders are worked through with an explicit stack, however deep
    // the tree.
    std::vector<FolderFrame> stack;
    stack.push_back(FolderFrame{src, top, {}, 0, true});
    if (!CopyFilesOf(ctx, stack.back(), move)) return top;
    while (!stack.empty()) {
        FolderFrame& frame = stack.back();
        if (frame.nextSubfolder < frame.subfolders.size()) {
            if (GetOverwriteAnswer() == kCancel) return top;
            ImageFolder* sub = frame.subfolders[frame.nextSubfolder++];
            ImageFolder* subTarget = nullptr;
            FolderStep subStep = PrepareFolder(ctx, sub, frame.target, move, true, &subTarget);
            if (subStep == FolderStep::Failed) {
                frame.complete = false;
            } else if (subStep == FolderStep::FillContents) {
                stack.push_back(FolderFrame{sub, subTarget, {}, 0, true});
                if (!CopyFilesOf(ctx, stack.back(), move)) return top;
            }
            continue;
        }
        FinishFrame(ctx, frame, move);
        stack.pop_back();
    }
    return top;
}

void SetSubfolderDepths(ImageFolder* folder) {
    std::vector<ImageFolder*> work;
    if (folder) work.push_back(folder);
    while (!work.empty()) {
        ImageFolder* current = work.back();
        work.pop_back();
        for (ImageFolder* sub = current->firstSubfolder; sub; sub = sub->next) {
            sub->depth = current->depth + 1;
            work.push_back(sub);
        }
    }
}

void FixDotDotParent(ImageFolder* folder) {
    if (!folder || !(folder->flags & folder_flag::kDotDotRead)) return;
    for (ImageItem* item = folder->firstItem; item; item = item->next) {
        if (item->name == u"..") {
            item->parent = folder->parent;
            return;
        }
    }
}

}  // namespace image
