#include "containers/archive/arc_create.h"

#include <sys/stat.h>

#include "containers/archive/arc_host.h"
#include "containers/archive/arc_values.h"
#include "foundation/dates.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "image/iso/iso_record_layout.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace containers::archive {
namespace {

using foundation::OperationStatus;

constexpr uint32_t kAttributeFolder = 16;
constexpr uint32_t kErrorModuleNotFound = 126;

uint64_t TicksOf(const struct timespec& t) {
    const int64_t seconds = t.tv_sec + foundation::kFileTimeEpochOffsetSeconds;
    if (seconds < 0) return 0;
    return uint64_t(seconds) * uint64_t(foundation::kFileTimeTicksPerSecond) + uint64_t(t.tv_nsec / 100);
}

uint64_t ItemTicks(const image::ImageItem& item) {
    if (item.time != 0) return foundation::FileTimeTicks(foundation::UnixTimeToFileTime(int64_t(item.time)));
    foundation::FILETIME ft;
    if (foundation::IsoRecordDateToFileTime(
            std::span<const uint8_t>(item.recordHeader.data() + image::dr::kDate, image::dr::kDateBytes), ft))
        return foundation::FileTimeTicks(ft);
    return 0;
}

class CArcUpdateCallback final : public ComObject {
public:
    CArcUpdateCallback(image::ImageContext& ctx, const std::vector<UpdateItem>& items,
                       const CreateArchiveRequest& request)
        : ctx_(ctx), items_(items), request_(request), updateView_{&kUpdateTable, this},
          passwordView_{&kPasswordTable, this} {}

    ComRef Callback() { return Ref(updateView_); }

private:
    ComView* FindView(const Guid& iid) override {
        if (SameGuid(iid, kIidUnknown) || SameGuid(iid, kIidProgress) || SameGuid(iid, kIidArchiveUpdateCallback) ||
            SameGuid(iid, kIidArchiveUpdateCallback2))
            return &updateView_;
        if (SameGuid(iid, kIidCryptoGetTextPassword2)) return &passwordView_;
        return nullptr;
    }

    HResult SetTotal(uint64_t total) {
        if (request_.progress && request_.progress->SetTotal) request_.progress->SetTotal(int64_t(total));
        return kOk;
    }
    HResult SetCompleted(const uint64_t* value) {
        if (!value) return kOk;
        if (request_.progress && image::WaitIfPaused(request_.progress) == 0) return kAbort;
        if (*value > last_ && request_.progress && request_.progress->SetDone) request_.progress->SetDone(int64_t(*value));
        last_ = *value;
        return kOk;
    }
    HResult GetUpdateItemInfo(uint32_t, int32_t* newData, int32_t* newProperties, uint32_t* indexInArchive) {
        if (newData) *newData = 1;
        if (newProperties) *newProperties = 1;
        if (indexInArchive) *indexInArchive = 0xFFFFFFFFu;
        return kOk;
    }
    HResult GetProperty(uint32_t index, uint32_t propId, PropVariant* value) {
        if (!value) return kInvalidArg;
        if (index >= items_.size()) return kInvalidArg;
        const UpdateItem& u = items_[index];
        CPropVar v;
        switch (propId) {
            case pid::kIsAnti: v.SetBool(false); break;
            case pid::kPath: v.SetText(u.path); break;
            case pid::kIsDir: v.SetBool(u.item->ownFolder != nullptr); break;
            case pid::kSize: v.SetUInt64(u.item->ownFolder || u.item->size < 0 ? 0 : uint64_t(u.item->size)); break;
            case pid::kAttrib: v.SetUInt32(u.attributes); break;
            case pid::kCTime: v.SetFileTime(u.creationTime); break;
            case pid::kATime: v.SetFileTime(u.accessTime); break;
            case pid::kMTime: v.SetFileTime(u.writeTime); break;
            // Anything else has no value: the ZIP writer refuses a made-up one.
            default: break;
        }
        return v.MoveTo(value);
    }
    HResult GetStream(uint32_t index, void** stream) {
        if (!stream) return kInvalidArg;
        *stream = nullptr;
        if (OperationStatus.load() != foundation::kStatusNone) return kFalse;
        if (index >= items_.size()) return kInvalidArg;
        const UpdateItem& u = items_[index];
        if (u.item->ownFolder) return kOk;
        if (request_.progress && request_.progress->SetCurrentItem) request_.progress->SetCurrentItem(u.item->name.str());
        ComRef in = MakeImageInStream(ctx_, *u.item, request_.progress);
        *stream = in.Detach();
        return kOk;
    }
    HResult Password2(int32_t* defined, wchar_t** password) {
        if (!defined || !password) return kInvalidArg;
        *defined = request_.password.empty() ? 0 : 1;
        *password = AllocLibraryString(request_.password);
        return *password ? kOk : kOutOfMemory;
    }

    static HResult TSetTotal(void* s, uint64_t t) {
        return Guarded([&] { return OwnerOf<CArcUpdateCallback>(s)->SetTotal(t); });
    }
    static HResult TSetCompleted(void* s, const uint64_t* v) {
        return Guarded([&] { return OwnerOf<CArcUpdateCallback>(s)->SetCompleted(v); });
    }
    static HResult TInfo(void* s, uint32_t i, int32_t* a, int32_t* b, uint32_t* c) {
        return Guarded([&] { return OwnerOf<CArcUpdateCallback>(s)->GetUpdateItemInfo(i, a, b, c); });
    }
    static HResult TProperty(void* s, uint32_t i, uint32_t id, PropVariant* v) {
        return Guarded([&] { return OwnerOf<CArcUpdateCallback>(s)->GetProperty(i, id, v); });
    }
    static HResult TStream(void* s, uint32_t i, void** o) {
        return Guarded([&] { return OwnerOf<CArcUpdateCallback>(s)->GetStream(i, o); });
    }
    static HResult TResult(void*, int32_t) { return kOk; }
    // Volumes are made by the output stream, not by the library.
    static HResult TVolumeSize(void*, uint32_t, uint64_t*) { return kFalse; }
    static HResult TVolumeStream(void*, uint32_t, void** o) {
        if (o) *o = nullptr;
        return kOk;
    }
    static HResult TPassword2(void* s, int32_t* d, wchar_t** p) {
        return Guarded([&] { return OwnerOf<CArcUpdateCallback>(s)->Password2(d, p); });
    }
    static constexpr ArchiveUpdateCallback2Vtbl kUpdateTable{
        {{kViewUnknown, TSetTotal, TSetCompleted}, TInfo, TProperty, TStream, TResult}, TVolumeSize, TVolumeStream};
    static constexpr CryptoGetTextPassword2Vtbl kPasswordTable{kViewUnknown, TPassword2};

    image::ImageContext& ctx_;
    const std::vector<UpdateItem>& items_;
    const CreateArchiveRequest& request_;
    uint64_t last_ = 0;
    ComView updateView_;
    ComView passwordView_;
};

void Fill(image::ImageContext& ctx, UpdateItem& u) {
    u.attributes = u.item->ownFolder ? kAttributeFolder : 0;
    if (!u.item->ownFolder && !u.item->diskPath.empty() && image::IsItemFromDiskFile(&ctx, u.item)) {
        std::string host;
        struct stat st {};
        if (platform::Utf16ToUtf8Strict(u.item->diskPath, host) && ::stat(host.c_str(), &st) == 0) {
            u.writeTime = TicksOf(st.st_mtim);
            u.accessTime = TicksOf(st.st_atim);
            u.creationTime = u.writeTime;
            return;
        }
    }
    u.writeTime = u.accessTime = u.creationTime = ItemTicks(*u.item);
}

}  // namespace

uint32_t LevelForSetting(int32_t levelSetting) { return levelSetting == 0 ? 5 : levelSetting == 1 ? 7 : 9; }

std::vector<UpdateItem> CollectUpdateItems(image::ImageContext& ctx) {
    std::vector<UpdateItem> items;
    if (!ctx.rootFolder) return items;
    struct Work {
        image::ImageFolder* folder;
        std::u16string prefix;
    };
    std::vector<Work> work{{ctx.rootFolder, {}}};
    std::vector<Work> subfolders;
    while (!work.empty() && OperationStatus.load() != foundation::kStatusCancelled) {
        Work w = std::move(work.back());
        work.pop_back();
        for (image::ImageItem* item = w.folder->firstItem; item; item = item->next) {
            if (image::IsDotOrDotDot(item)) continue;
            UpdateItem u;
            u.item = item;
            u.path = w.prefix + item->name.str();
            Fill(ctx, u);
            items.push_back(std::move(u));
        }
        // Subfolders in list order: pushed last to first.
        subfolders.clear();
        for (image::ImageFolder* sub = w.folder->firstSubfolder; sub; sub = sub->next) {
            const std::u16string_view name = image::FolderName(sub);
            if (name == u"." || name == u"..") continue;
            subfolders.push_back({sub, w.prefix + std::u16string(name) + u"/"});
        }
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) work.push_back(std::move(*it));
    }
    return items;
}

int CreateArchive(image::ImageContext& ctx, const CreateArchiveRequest& request) {
    foundation::ResetOperationStatus();
    const std::u16string outputName = request.target ? request.target->Name() : std::u16string();
    CArcCodecHost* host = ArchiveHost(0);
    const int32_t format = !host ? -1 : request.archiveKind == 2 ? host->sevenZipFormat : host->zipFormat;
    if (!request.target || format < 0) {
        platform::SetLastError(kErrorModuleNotFound);
        ShowArchiveStreamError(StreamErrorKind::Writing, outputName);
        OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    const std::vector<UpdateItem> items = CollectUpdateItems(ctx);
    if (OperationStatus.load() == foundation::kStatusCancelled) return 0;

    ComRef handler;
    if (CreateArchiveHandler(*host, format, true, handler) != kOk) {
        ShowArchiveStreamError(StreamErrorKind::Writing, outputName);
        OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    if (ComRef setProperties = handler.Query(kIidSetProperties)) {
        CPropVar level;
        level.SetUInt32(LevelForSetting(request.levelSetting));
        const wchar_t* names[] = {L"x"};
        if (setProperties.Table<SetPropertiesVtbl>().SetProperties(setProperties.get(), names, &level.get(), 1) != kOk) {
            ShowArchiveStreamError(StreamErrorKind::Writing, outputName);
            OperationStatus = foundation::kStatusFailed;
            return -1;
        }
    }
    OutStreamOptions options;
    options.errorKind = StreamErrorKind::Writing;
    options.progress = request.progress;
    ComRef out = MakeOutStream(request.target, options);
    auto* callbackObject = new CArcUpdateCallback(ctx, items, request);
    ComRef callback = callbackObject->Callback();
    const HResult r = handler.Table<OutArchiveVtbl>().UpdateItems(handler.get(), out.get(), uint32_t(items.size()),
                                                                  callback.get());
    if (request.progress && request.progress->Finish) request.progress->Finish();
    const int32_t status = OperationStatus.load();
    if (r == kOk && status == foundation::kStatusNone) return 1;
    if (r == kAbort || status == foundation::kStatusCancelled) {
        OperationStatus = foundation::kStatusCancelled;
        return 0;
    }
    if (status == foundation::kStatusNone) {
        // The library's own failure (a source it could not read, a method it refused).
        if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorWriteFault);
        ShowArchiveStreamError(StreamErrorKind::Writing, outputName);
        OperationStatus = foundation::kStatusFailed;
    }
    return -1;
}

}  // namespace containers::archive
