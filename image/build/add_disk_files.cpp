// Adding disk files and folders to the item tree; new folders, placeholder
// entries, tree paths and folder dates.

#include "image/build/add_disk_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <unordered_set>
#include <utility>
#include <vector>

#include "image/document/fat_volume_services.h"
#include "image/document/main_window_services.h"
#include "foundation/console.h"
#include "foundation/user_prompt.h"
#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/paths.h"
#include "foundation/settings.h"
#include "foundation/sizes.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/item_tree_internal.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/dir_handle.h"
#include "platform/text.h"

namespace image {
namespace {

// Language strings.
constexpr uint32_t kStrCannotAccess = 32810;
constexpr uint32_t kStrContinue = 32820;

constexpr char16_t kTextSpecialEntry[] = u"A special entry already present on the target location.";
constexpr char16_t kTextFourGiB[] = u"The maximum allowed file size on disc is 4GB if ISO 9660 is enabled.";
constexpr char16_t kTextLinkSkipped[] =
    u"%s\r\n\r\nThis symbolic link does not point to a file inside the added folder and was skipped.";
constexpr char16_t kTextSpecialFileSkipped[] = u"%s\r\n\r\nThis is neither a file nor a folder and was skipped.";

constexpr int64_t kFourGiB = int64_t{1} << 32;
constexpr uint32_t kMaxUniqueNumber = 999999;

using foundation::overwrite_answer::kCancel;
using foundation::overwrite_answer::kNo;
using foundation::overwrite_answer::kNoToAll;
using foundation::overwrite_answer::kYesToAll;

std::atomic<int32_t> g_lastAddAnswer{-1};

// --- The walk -----------------------------------------------------------

struct PendingFolder {
    ImageFolder* folder = nullptr;
    std::u16string diskPath;
};

// One add from disk: the folders still to list and what the rules need.
struct DiskWalk {
    std::vector<PendingFolder> pending;
    std::string rootReal;  // real path of the added tree, empty when unknown
    bool useCreationTime = false;
    // Items made while listing the current disk folder: a same-name clash with
    // one of them is two names of one disk folder that differ only in case.
    std::unordered_set<ImageItem*> listingItems;
};

// The walk running on this thread; a nested call (the add-files dialog adding
// more) joins it instead of starting a second one.
thread_local DiskWalk* t_walk = nullptr;

class ScopedWalk {
public:
    explicit ScopedWalk(DiskWalk* walk) : previous_(t_walk) { t_walk = walk; }
    ~ScopedWalk() { t_walk = previous_; }
    ScopedWalk(const ScopedWalk&) = delete;
    ScopedWalk& operator=(const ScopedWalk&) = delete;

private:
    DiskWalk* previous_;
};

bool Stopped() { return foundation::OperationStatus.load() != foundation::kStatusNone; }

bool ReadUseCreationTime() { return foundation::ReadSettingDwordInRange(u"UseFileCreationTime", 0, 0, 1) == 1; }

std::string RealPath(const std::string& utf8) {
    struct FreeDeleter {
        void operator()(char* p) const { std::free(p); }
    };
    std::unique_ptr<char, FreeDeleter> resolved(realpath(utf8.c_str(), nullptr));
    return resolved ? std::string(resolved.get()) : std::string();
}

bool IsInside(const std::string& real, const std::string& root) {
    if (root.empty() || real.size() <= root.size()) return false;
    if (root == "/") return real.front() == '/';
    return real.compare(0, root.size(), root) == 0 && real[root.size()] == '/';
}

uint32_t ClampItemTime(int64_t seconds) {
    if (seconds < 0) return 0;
    if (seconds > int64_t{UINT32_MAX}) return UINT32_MAX;
    return static_cast<uint32_t>(seconds);
}

// The record fields every new entry gets: its date and volume sequence number 1.
void StampRecord(ImageContext* ctx, ImageItem* item, int64_t itemTime) {
    item->time = ClampItemTime(itemTime);
    const int64_t recordTime = (ctx && ctx->fixedItemTime) ? ctx->fixedItemTime : itemTime;
    foundation::UnixTimeToIsoRecordDate(recordTime,
                                        std::span<uint8_t>(item->recordHeader).subspan(dr::kDate, dr::kDateBytes));
    foundation::WriteBothEndian16(item->recordHeader.data() + dr::kVolumeSequence, 1);
}

void MarkFolderItem(ImageItem* item) {
    item->recordHeader[dr::kFlags] |= dirflag::kDirectory;
    item->kindByte = 2;
}

void SetFileSize(ImageItem* item, int64_t size) {
    item->size = size;
    // A file of 4 GiB or more is written by UDF only; its ISO length is held.
    uint32_t recorded = size >= kFourGiB ? UINT32_MAX : static_cast<uint32_t>(size);
    foundation::WriteBothEndian32(item->recordHeader.data() + dr::kDataLength, recorded);
}

void InheritExclusion(const ImageFolder* folder, ImageItem* item) {
    if (folder && (folder->flags & folder_flag::kExcluded)) item->flags |= item_flag::kExcluded;
}

// --- Messages -----------------------------------------------------------

// "cannot be accessed ... continue?"; any answer but Yes cancels the add.
void AskCannotAccess(std::u16string_view path) {
    std::u16string text = platform::Format(
        u"%s\r\n\r\n%s\r\n\r\n%s",
        foundation::GetLangString(kStrCannotAccess,
                                  u"The following file/folder cannot be accessed from the specified path:"),
        path, foundation::GetLangString(kStrContinue, u"Do you want to continue?"));
    if (foundation::AppMessageBox(text, foundation::kMbYesNo | foundation::kMbIconExclamation) != foundation::kIdYes) {
        foundation::OperationStatus = foundation::kStatusCancelled;
    }
}

void ShowSkipped(const char16_t* format, std::u16string_view path) {
    foundation::AppMessageBox(platform::Format(format, path), foundation::kMbOk | foundation::kMbIconExclamation);
}

// "Cannot copy %s: %s" with the stop icon; the add's last answer becomes 4.
void ShowAddError(std::u16string_view name, std::u16string_view reason) {
    const std::u16string format = EditErrorFormat(false);
    foundation::AppMessageBox(platform::Format(format, name, reason), foundation::kMbIconStop);
    g_lastAddAnswer = kCancel;
}

// The same-name question. True when the answer lets the add go on.
bool MayReplace(ImageContext* ctx, std::u16string_view name) {
    int32_t answer = foundation::AskOverwriteName(ctx, name);
    g_lastAddAnswer = answer;
    // "to all" and cancel stand for the rest of the command.
    if (answer == kYesToAll || answer == kNoToAll || answer == kCancel) foundation::StandingOverwriteAnswer = answer;
    return !(answer == kNo || answer == kNoToAll || answer == kCancel);
}

bool IsRestrictedToIso(const ImageContext* ctx) {
    const bool appendsSession = ctx->multiSession || ctx->sessionStartLba > 0 || !ctx->discHeadSourcePath.empty();
    return appendsSession || ctx->mixedTracks || ctx->trackOperationsAllowed || ctx->videoCdKind != 0;
}

bool IsIsoOn(const ImageContext* ctx) { return !ctx->udfOnly && !ctx->noIso9660; }

// "name~N.ext" (or "name~N") with the first N the folder does not hold yet.
std::optional<std::u16string> UniqueCaseName(ImageFolder* folder, std::u16string_view name) {
    size_t dot = name.find_last_of(u'.');
    if (dot == 0 || dot == std::u16string_view::npos) dot = name.size();
    std::u16string_view stem = name.substr(0, dot);
    std::u16string_view extension = name.substr(dot);
    for (uint32_t n = 1; n <= kMaxUniqueNumber; ++n) {
        std::u16string candidate(stem);
        candidate += u'~';
        candidate += platform::Format(u"%u", n);
        candidate += extension;
        if (!FindChildByName(folder, candidate)) return candidate;
    }
    return std::nullopt;
}

// Two names of one disk folder that differ only in case meet in the tree.
bool IsCaseOnlyTwin(const DiskWalk& walk, const ImageItem* existing, std::u16string_view name,
                    std::u16string_view fullPath) {
    if (existing->name == name) return false;
    if (walk.listingItems.count(const_cast<ImageItem*>(existing))) return true;
    return !existing->diskPath.empty() && foundation::FolderOfPath(existing->diskPath) == foundation::FolderOfPath(fullPath);
}

// --- One entry ----------------------------------------------------------

// What the checks of one disk entry found out.
struct EntryFacts {
    bool isFolder = false;
    int64_t size = 0;
    int64_t time = 0;
    std::u16string sourcePath;  // what a save reads (a link's target)
};

// Steps 2-4: status, links, dates and the 4 GiB rule. False when the entry is
// not added.
bool CheckEntry(ImageContext* ctx, ImageFolder* folder, const DiskWalk& walk, std::u16string_view fullPath, bool isDot,
                EntryFacts& facts) {
    std::string utf8;
    DiskEntryStatus status;
    if (!platform::Utf16ToUtf8Strict(fullPath, utf8) || ReadDiskEntryStatus(utf8, false, status) != 0) {
        AskCannotAccess(fullPath);
        return false;
    }
    facts.sourcePath = fullPath;
    if (status.isSymlink) {
        std::string target = RealPath(utf8);
        DiskEntryStatus targetStatus;
        if (target.empty() || ReadDiskEntryStatus(target, true, targetStatus) != 0 || !targetStatus.isRegular ||
            !IsInside(target, walk.rootReal)) {
            ShowSkipped(kTextLinkSkipped, fullPath);
            return false;
        }
        status = targetStatus;
        facts.sourcePath = platform::Utf8ToUtf16(target);
    } else if (!status.isDirectory && !status.isRegular) {
        ShowSkipped(kTextSpecialFileSkipped, fullPath);
        return false;
    }
    facts.isFolder = status.isDirectory;
    facts.size = facts.isFolder ? 0 : static_cast<int64_t>(std::min<uint64_t>(status.sizeBytes, INT64_MAX));
    // A file system without birth times gives the modification time.
    facts.time = (walk.useCreationTime && status.creationTime != 0) ? status.creationTime : status.modifiedTime;
    if (isDot && folder->parent == folder) facts.time = ctx->modificationTime;

    if (!facts.isFolder && facts.size >= kFourGiB && IsIsoOn(ctx)) {
        if (IsRestrictedToIso(ctx)) {
            std::u16string text = platform::Format(u"%s (%s)\r\n\r\n%s", fullPath,
                                                   foundation::FormatSizeAuto(static_cast<uint64_t>(facts.size)),
                                                   std::u16string_view(kTextFourGiB));
            foundation::AppMessageBox(text, foundation::kMbOk | foundation::kMbIconExclamation);
            return false;
        }
        // ISO 9660 cannot record the file; UDF alone can.
        ctx->udfOnly = true;
        ctx->jolietLevel = 0;
        ctx->udfFlag = true;
    }
    return true;
}

enum class ClashOutcome { None, Refused, Merged, Replace };

// Step 5. May change name (a case-only twin) or give the folder to merge into.
ClashOutcome ResolveClash(ImageContext* ctx, ImageFolder* folder, DiskWalk& walk, std::u16string_view fullPath,
                          bool isFolder, std::u16string& name, ImageItem** existingOut) {
    ImageItem* existing = FindChildByName(folder, name);
    if (!existing) return ClashOutcome::None;
    if (IsCaseOnlyTwin(walk, existing, name, fullPath)) {
        std::optional<std::u16string> unique = UniqueCaseName(folder, name);
        if (!unique) {
            ShowAddError(name, EditReasonText(IsFolderItem(existing) ? edit_text::kFolderExists : edit_text::kFileExists));
            return ClashOutcome::Refused;
        }
        image::ShowNameChangedNotice(name, *unique, isFolder);
        name = std::move(*unique);
        return ClashOutcome::None;
    }
    const bool existingFolder = IsFolderItem(existing);
    if (existingFolder && !isFolder) {
        ShowAddError(name, EditReasonText(edit_text::kFolderExists));
        return ClashOutcome::Refused;
    }
    if (!existingFolder && isFolder) {
        ShowAddError(name, EditReasonText(edit_text::kFileExists));
        return ClashOutcome::Refused;
    }
    if (existing->sourceMarker != 0) {
        ShowAddError(name, kTextSpecialEntry);
        return ClashOutcome::Refused;
    }
    if (!MayReplace(ctx, name)) return ClashOutcome::Refused;
    *existingOut = existing;
    if (existingFolder) {
        if (!existing->ownFolder) {
            ShowAddError(name, EditReasonText(edit_text::kFolderExists));
            return ClashOutcome::Refused;
        }
        return ClashOutcome::Merged;
    }
    return ClashOutcome::Replace;
}

ImageItem* AddEntry(ImageContext* ctx, ImageFolder* folder, DiskWalk& walk, std::u16string_view fullPath,
                    std::u16string_view requestedName) {
    if (!ctx || !folder) return nullptr;
    if (foundation::ConsoleMode) foundation::ConsoleProgressTick();
    const bool isDot = requestedName == u"." || requestedName == u"..";
    EntryFacts facts;
    if (!CheckEntry(ctx, folder, walk, fullPath, isDot, facts)) return nullptr;

    std::u16string name(requestedName);
    if (!isDot) {
        ImageItem* existing = nullptr;
        switch (ResolveClash(ctx, folder, walk, fullPath, facts.isFolder, name, &existing)) {
        case ClashOutcome::Refused: return nullptr;
        case ClashOutcome::Merged:
            walk.pending.push_back({existing->ownFolder, std::u16string(fullPath)});
            return existing;
        case ClashOutcome::Replace:
            image::NotifyItemAddedOrRemoved(ctx, folder, existing, false);
            if (existing->cutSlot > 0) image::DetachFromCutTransfer(existing, nullptr);
            walk.listingItems.erase(existing);
            DeleteItem(ctx, existing);
            break;
        case ClashOutcome::None: break;
        }
    }

    ImageItem* item = NewItem();
    if (!item) {
        foundation::OperationStatus = foundation::kStatusOutOfMemory;
        return nullptr;
    }
    item->name = name;
    item->diskPath = facts.sourcePath;
    StampRecord(ctx, item, facts.time);
    if (facts.isFolder) {
        MarkFolderItem(item);
    } else {
        SetFileSize(item, facts.size);
    }
    InheritExclusion(folder, item);
    LinkItemAtHead(folder, item);
    if (isDot) {
        if (name == u".") {
            folder->flags |= folder_flag::kDotRead;
        } else {
            folder->flags |= folder_flag::kDotDotRead;
            item->parent = folder->parent;
        }
        return item;
    }
    walk.listingItems.insert(item);

    ImageFolder* made = nullptr;
    if (facts.isFolder) {
        made = NewFolderRecord(ctx, folder, JoinFolderPath(folder, name), item, true);
        if (!made || made->ownItem != item) {
            // No record, or a stray subfolder of that name that the item list
            // did not show: the new item would be a folder no one can open.
            walk.listingItems.erase(item);
            UnlinkItem(folder, item);
            FreeItem(ctx, item);
            if (!made) {
                foundation::OperationStatus = foundation::kStatusOutOfMemory;
                return nullptr;
            }
            walk.pending.push_back({made, std::u16string(fullPath)});
            return made->ownItem;
        }
    }
    if (ctx->fatState) {
        IFatVolumeServices& fat = FatVolumeServices();
        const bool written = facts.isFolder ? fat.CreateFolder(ctx, made) == 1 : fat.WriteFile(ctx, item) == 1;
        if (!written) {
            walk.listingItems.erase(item);
            if (made) {
                RemoveEmptyFolderRecord(folder, made);
            } else {
                UnlinkItem(folder, item);
                FreeItem(ctx, item);
            }
            return nullptr;
        }
    }
    image::NotifyItemAddedOrRemoved(ctx, folder, item, true);
    if (DiskAddServices().ItemAdded(ctx, item) == 0) {
        foundation::OperationStatus = foundation::kStatusCancelled;
    }
    if (made) walk.pending.push_back({made, std::u16string(fullPath)});
    return item;
}

// Lists one disk folder into its tree folder. Subfolders go to the work list.
void ListDiskFolder(ImageContext* ctx, DiskWalk& walk, const PendingFolder& job) {
    std::string utf8;
    if (!platform::Utf16ToUtf8Strict(job.diskPath, utf8)) {
        AskCannotAccess(job.diskPath);
        return;
    }
    std::vector<std::string> names;
    {
        platform::DirHandle dir(opendir(utf8.c_str()));
        if (!dir) {
            // An unreadable folder would otherwise end up empty without a word.
            platform::SetLastErrorFromErrno();
            AskCannotAccess(job.diskPath);
            return;
        }
        while (dirent* entry = readdir(dir.get())) {
            std::string_view entryName(entry->d_name);
            if (entryName == "." && (job.folder->flags & folder_flag::kDotRead)) continue;
            if (entryName == ".." && (job.folder->flags & folder_flag::kDotDotRead)) continue;
            names.emplace_back(entryName);
        }
    }
    // Name order, so that which of two case twins keeps its name never
    // depends on the directory's hash order.
    std::sort(names.begin(), names.end());
    walk.listingItems.clear();
    for (const std::string& entryName : names) {
        if (Stopped()) break;
        std::u16string name;
        if (!platform::Utf8ToUtf16Strict(entryName, name)) {
            AskCannotAccess(foundation::CombinePath(job.diskPath, platform::Utf8ToUtf16(entryName)));
            continue;
        }
        std::u16string fullPath = foundation::CombinePath(job.diskPath, name);
        if (fullPath.size() > kMaxDiskPathChars) continue;
        AddEntry(ctx, job.folder, walk, fullPath, name);
    }
    walk.listingItems.clear();
}

void RunWalk(ImageContext* ctx, DiskWalk& walk) {
    while (!walk.pending.empty() && !Stopped()) {
        PendingFolder job = std::move(walk.pending.back());
        walk.pending.pop_back();
        ListDiskFolder(ctx, walk, job);
    }
}

int SystemStatus(const std::string& utf8Path, bool followLinks, DiskEntryStatus& status) {
    struct statx sx {};
    const int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    if (statx(AT_FDCWD, utf8Path.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
        platform::SetLastErrorFromErrno();
        return -1;
    }
    status = DiskEntryStatus{};
    status.isSymlink = S_ISLNK(sx.stx_mode);
    status.isDirectory = S_ISDIR(sx.stx_mode);
    status.isRegular = S_ISREG(sx.stx_mode);
    status.sizeBytes = sx.stx_size;
    status.modifiedTime = sx.stx_mtime.tv_sec;
    status.creationTime = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : 0;
    return 0;
}

ImageItem* NewDotItem(std::u16string_view name, const ImageItem& model) {
    ImageItem* dot = NewItem();
    if (!dot) return nullptr;
    dot->name = name;
    dot->time = model.time;
    dot->recordHeader = model.recordHeader;
    dot->flags = model.flags;
    dot->kindByte = 2;
    return dot;
}

}  // namespace

// --- Public entries -----------------------------------------------------------

int32_t GetLastAddAnswer() { return g_lastAddAnswer.load(); }
void SetLastAddAnswer(int32_t answer) { g_lastAddAnswer.store(answer); }

int DiskAddStandIn::ReadEntryStatus(const std::string& utf8Path, bool followLinks, DiskEntryStatus& status) {
    return SystemStatus(utf8Path, followLinks, status);
}

int ReadDiskEntryStatus(const std::string& utf8Path, bool followLinks, DiskEntryStatus& status) {
    return DiskAddServices().ReadEntryStatus(utf8Path, followLinks, status);
}

int AddDiskFolderContents(ImageContext* ctx, ImageFolder* folder, std::u16string_view diskPath,
                          ImageItem* /*folderItem*/) {
    if (!ctx || !folder) return 1;
    if (t_walk) {
        t_walk->pending.push_back({folder, std::u16string(diskPath)});
        return 1;
    }
    DiskWalk walk;
    walk.useCreationTime = ReadUseCreationTime();
    std::string utf8;
    if (platform::Utf16ToUtf8Strict(diskPath, utf8)) walk.rootReal = RealPath(utf8);
    ScopedWalk scope(&walk);
    walk.pending.push_back({folder, std::u16string(diskPath)});
    RunWalk(ctx, walk);
    return 1;
}

ImageItem* AddDiskItem(ImageContext* ctx, ImageFolder* folder, std::u16string_view fullPath, std::u16string_view name) {
    if (!ctx || !folder) return nullptr;
    if (t_walk) return AddEntry(ctx, folder, *t_walk, fullPath, name);
    DiskWalk walk;
    walk.useCreationTime = ReadUseCreationTime();
    std::string utf8;
    if (platform::Utf16ToUtf8Strict(fullPath, utf8)) {
        // The added tree: a folder itself, or the folder a single file was
        // chosen from.
        struct stat st {};
        const bool isFolder = lstat(utf8.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        const std::u16string parent = foundation::FolderOfPath(fullPath);
        walk.rootReal = RealPath(isFolder ? utf8 : parent.empty() ? std::string(".") : platform::Utf16ToUtf8(parent));
    }
    ScopedWalk scope(&walk);
    ImageItem* item = AddEntry(ctx, folder, walk, fullPath, name);
    walk.listingItems.clear();
    RunWalk(ctx, walk);
    return item;
}

ImageItem* AddNewFolder(ImageContext* ctx, ImageFolder* parent, std::u16string_view name) {
    if (!parent || name.empty()) return nullptr;
    ImageItem* item = NewItem();
    if (!item) return nullptr;
    item->name = name;
    MarkFolderItem(item);
    StampRecord(ctx, item, foundation::GetNewItemTime(ctx ? ctx->fixedItemTime : 0));
    InheritExclusion(parent, item);
    LinkItemAtHead(parent, item);
    if (!NewFolderRecord(ctx, parent, JoinFolderPath(parent, name), item, false)) {
        UnlinkItem(parent, item);
        FreeItem(ctx, item);
        return nullptr;
    }
    return item;
}

ImageFolder* NewFolderRecord(ImageContext* ctx, ImageFolder* parent, std::u16string_view path, ImageItem* item,
                             bool reuse) {
    std::u16string_view displayName;
    size_t slash = path.find_last_of(u'\\');
    if (slash == std::u16string_view::npos) {
        displayName = path;
    } else if (slash + 1 < path.size()) {
        displayName = path.substr(slash + 1);
    }
    if (displayName.empty() && item) displayName = item->name;
    if (reuse && parent) {
        for (ImageFolder* sub = parent->firstSubfolder; sub; sub = sub->next) {
            if (sub->ownItem && platform::EqualsNoCase(sub->ownItem->name, displayName)) return sub;
        }
    }
    bool madeItem = false;
    if (!item) {
        if (!parent) {
            if (!ctx) return nullptr;
            item = &ctx->rootItem;
        } else {
            if (displayName.empty()) return nullptr;
            item = NewItem();
            if (!item) return nullptr;
            item->name = displayName;
            MarkFolderItem(item);
            StampRecord(ctx, item, foundation::GetNewItemTime(ctx ? ctx->fixedItemTime : 0));
            InheritExclusion(parent, item);
            madeItem = true;
        }
    }
    ImageFolder* folder = NewFolderRecord();
    if (!folder) {
        if (madeItem) FreeItem(ctx, item);
        return nullptr;
    }
    folder->ownItem = item;
    folder->path = path;
    item->ownFolder = folder;
    if (madeItem) {
        ImageItem* dotDot = NewDotItem(u"..", *item);
        ImageItem* dot = dotDot ? NewDotItem(u".", *item) : nullptr;
        if (!dot) {
            FreeItem(ctx, dotDot);
            FreeItem(ctx, item);
            folder->ownItem = nullptr;
            FreeFolderTree(nullptr, folder);
            return nullptr;
        }
        LinkItemAtHead(folder, dotDot);
        LinkItemAtHead(folder, dot);
        folder->flags |= folder_flag::kDotRead | folder_flag::kDotDotRead;
        LinkItemAtHead(parent, item);
    }
    if (parent) {
        AppendSubfolder(parent, folder);
        FixDotDotParent(folder);
    } else {
        folder->parent = folder;
        folder->depth = 0;
        item->parent = folder;
        if (ctx && !ctx->rootFolder) ctx->rootFolder = folder;
    }
    return folder;
}

int RemoveEmptyFolderRecord(ImageFolder* parent, ImageFolder* folder) {
    // The root stays.
    if (!parent || !folder || folder->parent == folder || folder->firstSubfolder) return 0;
    for (ImageItem* item = folder->firstItem; item; item = item->next) {
        if (!IsDotOrDotDot(item)) return 0;
    }
    UnlinkSubfolder(parent, folder);
    if (folder->cutSlot > 0) image::DetachFromCutTransfer(nullptr, folder);
    // A folder item without its folder would be a folder no one can open.
    if (ImageItem* own = std::exchange(folder->ownItem, nullptr)) {
        own->ownFolder = nullptr;
        if (own->cutSlot > 0) image::DetachFromCutTransfer(own, nullptr);
        UnlinkItem(parent, own);
        FreeItem(nullptr, own);
    }
    FreeFolderTree(nullptr, folder);
    return 1;
}

ImageItem* AddPlaceholderItem(ImageContext* ctx, ImageFolder* folder, std::u16string_view name, int64_t size,
                              uint32_t marker) {
    if (!ctx || !folder || name.empty()) return nullptr;
    if (foundation::ConsoleMode) foundation::ConsoleProgressTick();
    if (ImageItem* existing = FindChildByName(folder, name); existing && !IsDotOrDotDot(existing)) {
        if (!MayReplace(ctx, name)) return nullptr;
        image::NotifyItemAddedOrRemoved(ctx, folder, existing, false);
        if (IsFolderItem(existing) && existing->ownFolder) {
            DeleteFolder(ctx, existing->ownFolder);
        } else {
            if (existing->cutSlot > 0) image::DetachFromCutTransfer(existing, nullptr);
            DeleteItem(ctx, existing);
        }
    }
    ImageItem* item = NewItem();
    if (!item) return nullptr;
    item->name = name;
    StampRecord(ctx, item, foundation::GetNewItemTime(ctx->fixedItemTime));
    SetFileSize(item, size < 0 ? 0 : size);
    item->sourceMarker = marker;
    item->startSector = marker;
    InheritExclusion(folder, item);
    LinkItemAtHead(folder, item);
    image::NotifyItemAddedOrRemoved(ctx, folder, item, true);
    if (DiskAddServices().ItemAdded(ctx, item) == 0) {
        foundation::OperationStatus = foundation::kStatusCancelled;
    }
    return item;
}

std::optional<std::u16string> GetFolderPath(ImageContext* ctx, ImageFolder* folder, ImageFolder* top,
                                            size_t extraChars) {
    if (!folder) return std::nullopt;
    ImageFolder* stop = top ? top : (ctx ? ctx->rootFolder : nullptr);
    std::vector<const ImageFolder*> chain;
    for (ImageFolder* f = folder; f && f != stop && f->parent != f; f = f->parent) {
        if (chain.size() >= static_cast<size_t>(kMaxFolderPathLevels)) return std::nullopt;
        chain.push_back(f);
    }
    size_t length = 1 + extraChars;
    for (const ImageFolder* f : chain) length += FolderName(f).size() + 1;
    std::u16string path;
    path.reserve(length);
    path += u'\\';
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (path.back() != u'\\') path += u'\\';
        path += FolderName(*it);
    }
    return path;
}

std::optional<std::u16string> GetItemArchivePath(ImageContext* ctx, ImageItem* item) {
    if (!item) return std::nullopt;
    if (ctx && item == &ctx->rootItem) return std::u16string(u"/");
    std::vector<std::u16string_view> names{item->name};
    ImageFolder* stop = ctx ? ctx->rootFolder : nullptr;
    for (ImageFolder* f = item->parent; f && f != stop && f->parent != f; f = f->parent) {
        if (names.size() > static_cast<size_t>(kMaxFolderPathLevels)) return std::nullopt;
        names.push_back(FolderName(f));
    }
    // Joined with "/" from the names themselves: a Linux name may hold a "\",
    // which is part of the name, not a separator.
    std::u16string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        path += u'/';
        path += *it;
    }
    return path;
}

int SetFolderTime(ImageContext* ctx, ImageFolder* folder, int64_t time, bool recursive) {
    if (!folder) return 0;
    std::array<uint8_t, 7> date{};
    foundation::UnixTimeToIsoRecordDate(time, date);
    const uint32_t seconds = ClampItemTime(time);
    int changed = 0;
    auto apply = [&](ImageFolder* holder, ImageItem* item) {
        if (!item) return;
        uint8_t* field = item->recordHeader.data() + dr::kDate;
        if (item->time == seconds && std::equal(date.begin(), date.end(), field)) return;
        item->time = seconds;
        std::copy(date.begin(), date.end(), field);
        image::RefreshListItemDate(ctx, holder, item);
        changed = 1;
    };
    ImageItem* own = folder->ownItem ? folder->ownItem : (ctx ? &ctx->rootItem : nullptr);
    apply(folder->parent, own);
    if (!recursive) return changed;
    std::vector<ImageFolder*> work{folder};
    while (!work.empty()) {
        ImageFolder* current = work.back();
        work.pop_back();
        for (ImageItem* item = current->firstItem; item; item = item->next) {
            apply(current, item);
        }
        for (ImageFolder* sub = current->firstSubfolder; sub; sub = sub->next) {
            if (!(sub->flags & folder_flag::kExcluded)) work.push_back(sub);
        }
    }
    return changed;
}

}  // namespace image
