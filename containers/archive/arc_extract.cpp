#include "containers/archive/arc_extract.h"

#include <algorithm>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "containers/archive/arc_link.h"
#include "containers/archive/arc_streams.h"
#include "containers/archive/arc_values.h"
#include "foundation/work_folder.h"
#include "foundation/language.h"
#include "foundation/operation_status.h"
#include "foundation/progress_log_services.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "platform/format.h"
#include "platform/last_error.h"

namespace containers::archive {
namespace {

using foundation::OperationStatus;

void SetStatus(int32_t status) {
    if (OperationStatus.load() == foundation::kStatusNone) OperationStatus = status;
}

class CArcExtractCallback final : public ComObject {
public:
    CArcExtractCallback(image::ImageContext& ctx, ArchiveLinkState& link, StreamForItem streamFor, ItemResult onResult,
                        foundation::ProgressCallbacks* progress)
        : ctx_(ctx), link_(link), streamFor_(std::move(streamFor)), onResult_(std::move(onResult)),
          progress_(progress), extractView_{&kExtractTable, this}, passwordView_{&kPasswordTable, this} {}

    ComRef Callback() { return Ref(extractView_); }

private:
    ComView* FindView(const Guid& iid) override {
        if (SameGuid(iid, kIidUnknown) || SameGuid(iid, kIidProgress) || SameGuid(iid, kIidArchiveExtractCallback))
            return &extractView_;
        if (SameGuid(iid, kIidCryptoGetTextPassword)) return &passwordView_;
        return nullptr;
    }

    HResult GetStream(uint32_t index, void** out, int32_t mode) {
        if (!out) return kInvalidArg;
        *out = nullptr;
        current_ = index;
        mode_ = mode;
        if (progress_ && image::WaitIfPaused(progress_) == 0) return kAbort;
        if (mode != ask_mode::kExtract) return kOk;
        ComRef stream;
        const HResult r = streamFor_(index, stream);
        if (r != kOk) return r;
        *out = stream.Detach();
        return kOk;
    }
    HResult SetOperationResult(int32_t result) {
        if (current_ != kNone && onResult_) onResult_(current_, result);
        if (result != op_result::kOk) {
            const bool encrypted = current_ < link_.items.size() && link_.items[current_].encrypted;
            const std::u16string message = OperationResultText(result, encrypted || link_.anyEncrypted);
            const std::u16string word = mode_ == ask_mode::kTest   ? foundation::GetLangString(1280, u"Testing")
                                        : mode_ == ask_mode::kSkip ? foundation::GetLangString(1290, u"Skipping")
                                                                   : foundation::GetLangString(1270, u"Extracting");
            std::u16string name;
            // The tree goes before the link when a document closes.
            if (ctx_.rootFolder && current_ < link_.items.size() && link_.items[current_].item)
                name = link_.items[current_].item->name.str();
            foundation::AddProgressLogLine(platform::Format(u"%s %s ...    %s", word, name, message));
        }
        current_ = kNone;
        return kOk;
    }
    HResult Password(wchar_t** password) { return GetLinkPassword(link_, ctx_, password); }

    static HResult TSetTotal(void*, uint64_t) { return kOk; }
    static HResult TSetCompleted(void*, const uint64_t*) { return kOk; }
    static HResult TGetStream(void* s, uint32_t i, void** o, int32_t m) {
        return Guarded([&] { return OwnerOf<CArcExtractCallback>(s)->GetStream(i, o, m); });
    }
    static HResult TPrepare(void* s, int32_t m) {
        OwnerOf<CArcExtractCallback>(s)->mode_ = m;
        return kOk;
    }
    static HResult TResult(void* s, int32_t r) {
        return Guarded([&] { return OwnerOf<CArcExtractCallback>(s)->SetOperationResult(r); });
    }
    static HResult TPassword(void* s, wchar_t** p) {
        return Guarded([&] { return OwnerOf<CArcExtractCallback>(s)->Password(p); });
    }
    static constexpr ArchiveExtractCallbackVtbl kExtractTable{{kViewUnknown, TSetTotal, TSetCompleted}, TGetStream,
                                                              TPrepare, TResult};
    static constexpr CryptoGetTextPasswordVtbl kPasswordTable{kViewUnknown, TPassword};

    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    image::ImageContext& ctx_;
    ArchiveLinkState& link_;
    StreamForItem streamFor_;
    ItemResult onResult_;
    foundation::ProgressCallbacks* progress_;
    uint32_t current_ = kNone;
    int32_t mode_ = ask_mode::kExtract;
    ComView extractView_;
    ComView passwordView_;
};

// Writes at a fixed base of the store.
class StoreTarget final : public OutputTarget {
public:
    StoreTarget(platform::FileHandle store, uint64_t base) : store_(store), base_(base) {}
    bool WriteAt(uint64_t position, const void* data, size_t size) override {
        if (platform::FileWriteAt(store_, base_ + position, data, size) != int64_t(size)) {
            if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorDiskFull);
            return false;
        }
        end_ = std::max(end_, position + size);
        return true;
    }
    bool SetSize(uint64_t size) override {
        end_ = size;
        return true;
    }
    uint64_t End() const override { return end_; }
    std::u16string Name() const override { return u"store"; }

private:
    platform::FileHandle store_;
    uint64_t base_;
    uint64_t end_ = 0;
};

// A failure of the item or of the call, in the job's terms.
int Failed(int32_t status, std::u16string_view text) {
    if (!text.empty()) foundation::SetLastErrorText(text);
    if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorReadFault);
    SetStatus(status);
    return -1;
}

int CallResult(HResult r) {
    if (r == kAbort || OperationStatus.load() == foundation::kStatusCancelled) {
        SetStatus(foundation::kStatusCancelled);
        return 0;
    }
    return -1;
}

// The store's side of one item being extracted into it.
struct StoreSlot {
    uint32_t index = 0;
    uint64_t base = 0;
    std::shared_ptr<uint64_t> written;
};

bool PrepareStore(ArchiveLinkState& link) {
    if (link.store) return true;
    link.store = foundation::OpenPrivateTempFile();
    if (link.store) return true;
    SetStatus(foundation::kStatusCannotCreate);
    return false;
}

// An output stream into the store for item index (nothing when it is there).
ComRef BeginStoreItem(ArchiveLinkState& link, uint32_t index, StoreSlot& slot,
                      foundation::ProgressCallbacks* progress) {
    if (index >= link.items.size()) return {};
    ArchiveItemRecord& rec = link.items[index];
    if (rec.stored || rec.extractionFailed) return {};
    slot.index = index;
    slot.base = link.storeEnd;
    slot.written = std::make_shared<uint64_t>(0);
    OutStreamOptions options;
    options.errorKind = StreamErrorKind::Extracting;
    options.progress = progress;
    options.showErrors = false;
    return MakeOutStream(std::make_shared<StoreTarget>(link.store.get(), slot.base), options, slot.written);
}

void EndStoreItem(ArchiveLinkState& link, uint32_t index, int32_t result, StoreSlot& slot) {
    if (index >= link.items.size()) return;
    ArchiveItemRecord& rec = link.items[index];
    if (!slot.written || slot.index != index) {
        if (result != op_result::kOk) rec.extractionFailed = true;
        return;
    }
    const uint64_t delivered = *slot.written;
    link.storeEnd = slot.base + delivered;
    slot.written.reset();
    // Delivered bytes must match a declared size (gzip declares it mod 2^32).
    if (result != op_result::kOk || (rec.sizeKnown && delivered != rec.size)) {
        rec.extractionFailed = true;
        return;
    }
    rec.stored = true;
    rec.storeOffset = slot.base;
    rec.storedBytes = delivered;
}

// Extracts the rows not yet in the store into it (null: every item).
HResult FillStore(image::ImageContext& ctx, ArchiveLinkState& link, const uint32_t* indices, uint32_t count,
                  foundation::ProgressCallbacks* progress) {
    StopSolidPass(link);
    if (!PrepareStore(link)) return kFail;
    StoreSlot slot;
    auto streamFor = [&](uint32_t index, ComRef& stream) {
        stream = BeginStoreItem(link, index, slot, progress);
        return kOk;
    };
    auto onResult = [&](uint32_t index, int32_t result) { EndStoreItem(link, index, result, slot); };
    const HResult r = RunArchiveExtract(ctx, indices, count, streamFor, onResult, progress);
    // An item the library never finished is not extracted again.
    if (r != kOk && r != kAbort && slot.written) link.items[slot.index].extractionFailed = true;
    return r;
}

bool EnsureStored(image::ImageContext& ctx, ArchiveLinkState& link, uint32_t row,
                  foundation::ProgressCallbacks* progress, HResult& callResult) {
    callResult = kOk;
    ArchiveItemRecord& rec = link.items[row];
    if (rec.stored || rec.extractionFailed) return rec.stored;
    if (link.solid && link.items.size() > 1 && !link.solidExtracted) {
        link.solidExtracted = true;
        callResult = FillStore(ctx, link, nullptr, 0, progress);
    } else {
        callResult = FillStore(ctx, link, &row, 1, progress);
    }
    if (!rec.stored && callResult == kOk) rec.extractionFailed = true;
    return rec.stored;
}

}  // namespace

// One pass of the library over a solid archive, on a worker thread, for the
// extraction job: the item the job asks for is written straight into its
// file; an item the library reaches first goes to the store, to be copied
// when the job asks for it. A solid block is thus decoded once, and the data
// of an archive extracted in the library's order are written once.
struct SolidPass {
    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;
    bool running = false;
    bool stop = false;
    HResult passResult = kOk;
    // The request of the job: wanted < 0 when none.
    int64_t wanted = -1;
    platform::FileHandle out = nullptr;
    std::u16string outName;
    foundation::ProgressCallbacks* progress = nullptr;
    bool answered = false;
    bool reached = false;
    int32_t itemResult = -1;
    std::shared_ptr<uint64_t> written;
    int64_t direct = -1;              // the item being written into the job's file
    std::vector<bool> delivered;      // written into a job's file (not in the store)
    StoreSlot slot;

    ~SolidPass() { Stop(); }

    void Stop() {
        {
            std::lock_guard<std::mutex> guard(lock);
            stop = true;
        }
        changed.notify_all();
        if (worker.joinable()) worker.join();
    }

    void Run(image::ImageContext* ctx, ArchiveLinkState* link) {
        auto streamFor = [&](uint32_t index, ComRef& stream) -> HResult {
            std::unique_lock<std::mutex> guard(lock);
            if (index >= link->items.size() || index >= delivered.size()) return kOk;
            const ArchiveItemRecord& rec = link->items[index];
            if (rec.stored || rec.extractionFailed || delivered[index]) return kOk;
            // Nothing is decoded ahead of what the job asks for.
            changed.wait(guard, [&] { return stop || wanted >= 0; });
            if (stop) return kAbort;
            if (wanted == int64_t(index)) {
                direct = index;
                written = std::make_shared<uint64_t>(0);
                OutStreamOptions options;
                options.errorKind = StreamErrorKind::Extracting;
                options.progress = progress;
                options.reportWrites = true;
                options.showErrors = false;
                stream = MakeOutStream(MakeFileTarget(out, outName), options, written);
                return kOk;
            }
            stream = BeginStoreItem(*link, index, slot, nullptr);
            return kOk;
        };
        auto onResult = [&](uint32_t index, int32_t result) {
            std::lock_guard<std::mutex> guard(lock);
            if (direct == int64_t(index)) {
                direct = -1;
                if (index < delivered.size()) delivered[index] = true;
                itemResult = result;
                reached = true;
                answered = true;
                wanted = -1;
                changed.notify_all();
                return;
            }
            EndStoreItem(*link, index, result, slot);
        };
        const HResult r = RunArchiveExtract(*ctx, nullptr, 0, streamFor, onResult, nullptr);
        std::lock_guard<std::mutex> guard(lock);
        if (slot.written && r != kOk && r != kAbort) link->items[slot.index].extractionFailed = true;
        slot.written.reset();
        // An item cut off by a cancel is no item of the next pass.
        direct = -1;
        passResult = r;
        running = false;
        if (wanted >= 0) answered = true;
        changed.notify_all();
    }
};

namespace {

// The item through the pass: 1, 0 or -1 as ExtractArchiveItem; 2 when the
// pass did not write it (it is in the store now, or it must be extracted on
// its own).
int ExtractThroughPass(image::ImageContext& ctx, ArchiveLinkState& link, uint32_t row, platform::FileHandle out,
                       const std::u16string& name, foundation::ProgressCallbacks* progress, HResult& passResult,
                       int32_t& itemResult, uint64_t& written) {
    if (!link.solidPass) link.solidPass = std::make_shared<SolidPass>();
    SolidPass& pass = *link.solidPass;
    std::unique_lock<std::mutex> guard(pass.lock);
    if (link.items[row].stored || link.items[row].extractionFailed) return 2;
    if (pass.delivered.size() > row && pass.delivered[row]) return 2;
    if (!pass.running) {
        if (pass.worker.joinable()) {
            guard.unlock();
            pass.worker.join();
            guard.lock();
        }
        if (!PrepareStore(link)) return -1;
        pass.delivered.resize(link.items.size(), false);
        pass.stop = false;
        pass.direct = -1;
        pass.passResult = kOk;
        pass.running = true;
        pass.worker = std::thread([&pass, &ctx, &link] { pass.Run(&ctx, &link); });
    }
    pass.wanted = row;
    pass.out = out;
    pass.outName = name;
    pass.progress = progress;
    pass.answered = false;
    pass.reached = false;
    pass.itemResult = -1;
    pass.changed.notify_all();
    pass.changed.wait(guard, [&] { return pass.answered; });
    pass.wanted = -1;
    passResult = pass.passResult;
    if (!pass.reached) return pass.running || passResult == kOk ? 2 : 3;
    itemResult = pass.itemResult;
    written = pass.written ? *pass.written : 0;
    return 1;
}

}  // namespace

std::u16string OperationResultText(int32_t result, bool encrypted) {
    switch (result) {
        case op_result::kOk: return {};
        case op_result::kUnsupportedMethod: return foundation::GetLangString(1320, u"Unsupported method!");
        case op_result::kDataError:
            return encrypted ? foundation::GetLangString(30660, u"Data error or wrong password!")
                             : foundation::GetLangString(1340, u"Data error!");
        case op_result::kCrcError: return foundation::GetLangString(1330, u"CRC failed!");
        case op_result::kWrongPassword: return foundation::GetLangString(30660, u"Data error or wrong password!");
        default: return foundation::GetLangString(1350, u"Unknown error!");
    }
}

HResult RunArchiveExtract(image::ImageContext& ctx, const uint32_t* indices, uint32_t count, StreamForItem streamFor,
                          ItemResult onResult, foundation::ProgressCallbacks* progress) {
    ArchiveLinkState* link = LinkOf(ctx);
    if (!link || !link->Listed()) return kFail;
    auto* callback = new CArcExtractCallback(ctx, *link, std::move(streamFor), std::move(onResult), progress);
    ComRef ref = callback->Callback();
    void* archive = link->Listed();
    return TableOf<InArchiveVtbl>(archive).Extract(archive, indices, indices ? count : 0xFFFFFFFFu, 0, ref.get());
}

void StopSolidPass(image::ArchiveLink& link) {
    if (link.solidPass) link.solidPass->Stop();
    link.solidPass.reset();
}

int ExtractArchiveItem(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                       foundation::ProgressCallbacks* progress) {
    std::lock_guard<std::mutex> guard(ctx.lock);
    ArchiveLinkState* link = LinkOf(ctx);
    if (!link || item.archiveIndex < 0 || size_t(item.archiveIndex) >= link->items.size())
        return Failed(foundation::kStatusSourceReadFailed, {});
    const uint32_t row = uint32_t(item.archiveIndex);
    ArchiveItemRecord& rec = link->items[row];
    const bool encrypted = rec.encrypted || link->anyEncrypted;
    const auto failedText = [&] { return OperationResultText(op_result::kDataError, encrypted); };
    // The library's answer for the item, in the job's terms.
    const auto judge = [&](HResult r, int32_t itemResult, uint64_t written) {
        if (r != kOk && itemResult == -1) {
            if (CallResult(r) == 0) return 0;
            rec.extractionFailed = true;
            if (OperationStatus.load() == foundation::kStatusWriteFailed) return -1;
            return Failed(foundation::kStatusSourceReadFailed, failedText());
        }
        if (itemResult != op_result::kOk) {
            rec.extractionFailed = true;
            return Failed(foundation::kStatusSourceReadFailed,
                          OperationResultText(itemResult < 0 ? op_result::kDataError : itemResult, encrypted));
        }
        if (rec.sizeKnown && written != rec.size) {
            rec.extractionFailed = true;
            return Failed(foundation::kStatusSourceReadFailed, failedText());
        }
        return 1;
    };

    if (rec.extractionFailed) return Failed(foundation::kStatusSourceReadFailed, failedText());
    if (!rec.stored && link->solid && link->items.size() > 1) {
        HResult passResult = kOk;
        int32_t itemResult = -1;
        uint64_t written = 0;
        const int through =
            ExtractThroughPass(ctx, *link, row, out, item.name.str(), progress, passResult, itemResult, written);
        if (through == 1) return judge(kOk, itemResult, written);
        if (through == 3) return judge(passResult, -1, 0);
        if (through == -1) return Failed(foundation::kStatusCannotCreate, {});
    }
    if (rec.extractionFailed) return Failed(foundation::kStatusSourceReadFailed, failedText());
    if (rec.stored) {
        std::vector<uint8_t> buffer(size_t(std::min<uint64_t>(rec.storedBytes, 1u << 20)));
        for (uint64_t done = 0; done < rec.storedBytes;) {
            if (image::WaitIfPaused(progress) == 0) return 0;
            const size_t n = size_t(std::min<uint64_t>(buffer.size(), rec.storedBytes - done));
            if (platform::FileReadAt(link->store.get(), rec.storeOffset + done, buffer.data(), n) != int64_t(n))
                return Failed(foundation::kStatusSourceReadFailed, {});
            if (platform::FileWriteAt(out, done, buffer.data(), n) != int64_t(n))
                return Failed(foundation::kStatusWriteFailed, {});
            done += n;
            if (progress && progress->AddDone) progress->AddDone(int64_t(n));
        }
        return 1;
    }

    // On its own: straight into the file.
    StopSolidPass(*link);
    auto written = std::make_shared<uint64_t>(0);
    int32_t itemResult = -1;
    auto streamFor = [&](uint32_t index, ComRef& stream) {
        if (index != row) return kOk;
        OutStreamOptions options;
        options.errorKind = StreamErrorKind::Extracting;
        options.progress = progress;
        options.reportWrites = true;
        options.showErrors = false;
        stream = MakeOutStream(MakeFileTarget(out, item.name.str()), options, written);
        return kOk;
    };
    auto onResult = [&](uint32_t index, int32_t result) {
        if (index == row) itemResult = result;
    };
    const HResult r = RunArchiveExtract(ctx, &row, 1, streamFor, onResult, progress);
    return judge(r, r == kOk && itemResult == -1 ? op_result::kDataError : itemResult, *written);
}

int64_t ReadArchiveItemData(image::ImageContext& ctx, int32_t row, uint8_t* buffer, uint64_t offset, uint64_t count) {
    std::lock_guard<std::mutex> guard(ctx.lock);
    ArchiveLinkState* link = LinkOf(ctx);
    if (!link || row < 0 || size_t(row) >= link->items.size()) return -1;
    ArchiveItemRecord& rec = link->items[size_t(row)];
    if (rec.sizeKnown && rec.size == 0) return 0;
    HResult r = kOk;
    if (!EnsureStored(ctx, *link, uint32_t(row), nullptr, r)) return -1;
    if (offset >= rec.storedBytes) return 0;
    const uint64_t n = std::min(count, rec.storedBytes - offset);
    if (n > uint64_t(SIZE_MAX)) return -1;
    if (platform::FileReadAt(link->store.get(), rec.storeOffset + offset, buffer, size_t(n)) != int64_t(n)) return -1;
    return int64_t(n);
}

}  // namespace containers::archive
