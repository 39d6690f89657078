#include "containers/archive/arc_streams.h"

#include <algorithm>
#include <vector>

#include "containers/archive/arc_extract.h"
#include "containers/archive/arc_link.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/item_bytes.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "image/iso/iso_reader.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/last_error.h"

namespace containers::archive {
namespace {

constexpr uint32_t kMaxReadBytes = 4u << 20;

HResult LastErrorResult() { return FromWin32(platform::GetLastError()); }

// --- Input over a file ------------------------------------------------------

class CArcFileInStream final : public ComObject {
public:
    CArcFileInStream(foundation::UniqueFile file, std::u16string path)
        : file_(std::move(file)), path_(std::move(path)), inView_{&kInTable, this}, sizeView_{&kSizeTable, this} {}

    ComRef InStream() { return Ref(inView_); }

private:
    ComView* FindView(const Guid& iid) override {
        if (SameGuid(iid, kIidUnknown) || SameGuid(iid, kIidInStream) || SameGuid(iid, kIidSequentialInStream))
            return &inView_;
        if (SameGuid(iid, kIidStreamGetSize)) return &sizeView_;
        return nullptr;
    }

    HResult Read(void* data, uint32_t size, uint32_t* processed) {
        if (processed) *processed = 0;
        if (size == 0) return kOk;
        if (!data) return kInvalidArg;
        const int64_t got = platform::FileReadAt(file_.get(), position_, data, std::min(size, kMaxReadBytes));
        if (got < 0) {
            ShowArchiveStreamError(StreamErrorKind::Reading, path_);
            return kFail;
        }
        position_ += uint64_t(got);
        if (processed) *processed = uint32_t(got);
        return kOk;
    }
    HResult Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) {
        uint64_t end = 0;
        if (origin == 2 && !platform::FileGetSize(file_.get(), end)) return LastErrorResult();
        HResult error = kOk;
        if (!ComputeSeek(position_, end, offset, origin, position_, error)) return error;
        if (newPosition) *newPosition = position_;
        return kOk;
    }
    HResult GetSize(uint64_t* size) {
        if (!size) return kInvalidArg;
        if (!platform::FileGetSize(file_.get(), *size)) return LastErrorResult();
        return kOk;
    }

    static HResult TRead(void* s, void* d, uint32_t n, uint32_t* p) {
        return Guarded([&] { return OwnerOf<CArcFileInStream>(s)->Read(d, n, p); });
    }
    static HResult TSeek(void* s, int64_t o, uint32_t w, uint64_t* p) {
        return Guarded([&] { return OwnerOf<CArcFileInStream>(s)->Seek(o, w, p); });
    }
    static HResult TSize(void* s, uint64_t* n) {
        return Guarded([&] { return OwnerOf<CArcFileInStream>(s)->GetSize(n); });
    }
    static constexpr InStreamVtbl kInTable{{kViewUnknown, TRead}, TSeek};
    static constexpr StreamGetSizeVtbl kSizeTable{kViewUnknown, TSize};

    foundation::UniqueFile file_;
    std::u16string path_;
    uint64_t position_ = 0;
    ComView inView_;
    ComView sizeView_;
};

// --- Output -----------------------------------------------------------------

class CArcOutStream final : public ComObject {
public:
    CArcOutStream(std::shared_ptr<OutputTarget> target, const OutStreamOptions& options,
                  std::shared_ptr<uint64_t> written)
        : target_(std::move(target)), options_(options), written_(std::move(written)), view_{&kTable, this} {}

    ComRef OutStream() { return Ref(view_); }

private:
    ComView* FindView(const Guid& iid) override {
        if (SameGuid(iid, kIidUnknown) || SameGuid(iid, kIidOutStream) || SameGuid(iid, kIidSequentialOutStream))
            return &view_;
        return nullptr;
    }

    HResult Write(const void* data, uint32_t size, uint32_t* processed) {
        if (processed) *processed = 0;
        if (options_.progress && image::WaitIfPaused(options_.progress) == 0) return kAbort;
        if (size == 0) return kOk;
        if (!data) return kInvalidArg;
        if (!target_->WriteAt(position_, data, size)) {
            if (foundation::OperationStatus.load() == foundation::kStatusNone)
                foundation::OperationStatus = foundation::kStatusWriteFailed;
            if (options_.showErrors) ShowArchiveStreamError(options_.errorKind, target_->Name());
            return LastErrorResult();
        }
        position_ += size;
        if (written_) *written_ += size;
        if (processed) *processed = size;
        if (options_.reportWrites && options_.progress && options_.progress->AddDone)
            options_.progress->AddDone(int64_t(size));
        return kOk;
    }
    HResult Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) {
        HResult error = kOk;
        if (!ComputeSeek(position_, target_->End(), offset, origin, position_, error)) return error;
        if (newPosition) *newPosition = position_;
        return kOk;
    }
    HResult SetSize(uint64_t size) {
        if (!target_->SetSize(size)) {
            if (options_.showErrors) ShowArchiveStreamError(options_.errorKind, target_->Name());
            return LastErrorResult();
        }
        return kOk;
    }

    static HResult TWrite(void* s, const void* d, uint32_t n, uint32_t* p) {
        return Guarded([&] { return OwnerOf<CArcOutStream>(s)->Write(d, n, p); });
    }
    static HResult TSeek(void* s, int64_t o, uint32_t w, uint64_t* p) {
        return Guarded([&] { return OwnerOf<CArcOutStream>(s)->Seek(o, w, p); });
    }
    static HResult TSetSize(void* s, uint64_t n) {
        return Guarded([&] { return OwnerOf<CArcOutStream>(s)->SetSize(n); });
    }
    static constexpr OutStreamVtbl kTable{{kViewUnknown, TWrite}, TSeek, TSetSize};

    std::shared_ptr<OutputTarget> target_;
    OutStreamOptions options_;
    std::shared_ptr<uint64_t> written_;
    uint64_t position_ = 0;
    ComView view_;
};

class FileTarget final : public OutputTarget {
public:
    FileTarget(platform::FileHandle file, std::u16string name) : file_(file), name_(std::move(name)) {}
    bool WriteAt(uint64_t position, const void* data, size_t size) override {
        if (platform::FileWriteAt(file_, position, data, size) != int64_t(size)) {
            if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorDiskFull);
            return false;
        }
        end_ = std::max(end_, position + size);
        return true;
    }
    bool SetSize(uint64_t size) override {
        if (!platform::FileSetSize(file_, size)) return false;
        end_ = size;
        return true;
    }
    uint64_t End() const override { return end_; }
    std::u16string Name() const override { return name_; }

private:
    platform::FileHandle file_;
    std::u16string name_;
    uint64_t end_ = 0;
};

class VolumeTarget final : public OutputTarget {
public:
    VolumeTarget(uint64_t volumeSize, VolumeOpener open, std::u16string name)
        : volumeSize_(volumeSize), open_(std::move(open)), name_(std::move(name)) {}
    bool WriteAt(uint64_t position, const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        uint64_t at = position;
        size_t left = size;
        while (left > 0) {
            platform::FileHandle file = Volume(at / volumeSize_);
            if (!file) return false;
            const uint64_t inVolume = at % volumeSize_;
            const size_t n = size_t(std::min<uint64_t>(left, volumeSize_ - inVolume));
            if (platform::FileWriteAt(file, inVolume, p, n) != int64_t(n)) {
                if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorDiskFull);
                return false;
            }
            p += n;
            at += n;
            left -= n;
        }
        end_ = std::max(end_, position + size);
        return true;
    }
    bool SetSize(uint64_t size) override {
        if (size == 0) {
            for (platform::FileHandle f : files_)
                if (f && !platform::FileSetSize(f, 0)) return false;
            end_ = 0;
            return true;
        }
        platform::FileHandle last = Volume((size - 1) / volumeSize_);
        if (!last || !platform::FileSetSize(last, (size - 1) % volumeSize_ + 1)) return false;
        end_ = size;
        return true;
    }
    uint64_t End() const override { return end_; }
    std::u16string Name() const override { return name_; }

private:
    platform::FileHandle Volume(uint64_t index) {
        // Zero-sized volumes were refused when the target was made.
        if (index >= uint64_t(kMaxVolumes)) {
            platform::SetLastError(platform::kErrorInvalidParameter);
            foundation::OperationStatus = foundation::kStatusCancelled;
            return nullptr;
        }
        if (files_.size() <= index) files_.resize(size_t(index) + 1, nullptr);
        if (!files_[size_t(index)]) files_[size_t(index)] = open_(int32_t(index));
        return files_[size_t(index)];
    }

    uint64_t volumeSize_;
    VolumeOpener open_;
    std::u16string name_;
    std::vector<platform::FileHandle> files_;
    uint64_t end_ = 0;
};

// --- Input over a document item ------------------------------------------------

class CArcImageInStream final : public ComObject {
public:
    CArcImageInStream(image::ImageContext& ctx, const image::ImageItem& item, foundation::ProgressCallbacks* progress)
        : item_(item), progress_(progress), reader_(ctx, item), inView_{&kInTable, this}, sizeView_{&kSizeTable, this} {}

    ComRef InStream() { return Ref(inView_); }

private:
    ComView* FindView(const Guid& iid) override {
        if (SameGuid(iid, kIidUnknown) || SameGuid(iid, kIidInStream) || SameGuid(iid, kIidSequentialInStream))
            return &inView_;
        if (SameGuid(iid, kIidStreamGetSize)) return &sizeView_;
        return nullptr;
    }

    uint64_t Size() const { return item_.size > 0 ? uint64_t(item_.size) : 0; }

    HResult Read(void* data, uint32_t size, uint32_t* processed) {
        if (processed) *processed = 0;
        if (progress_ && image::WaitIfPaused(progress_) == 0) return kAbort;
        const uint64_t total = Size();
        if (size == 0 || position_ >= total) return kOk;
        if (!data) return kInvalidArg;
        const uint64_t want = std::min<uint64_t>(std::min(size, kMaxReadBytes), total - position_);
        // Fewer bytes than the item holds from here is a failure, never a
        // short member that looks complete.
        const int64_t got = reader_.Read(position_, static_cast<uint8_t*>(data), want);
        if (got < 0 || uint64_t(got) < want) {
            if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorReadFault);
            if (foundation::OperationStatus.load() == foundation::kStatusNone)
                foundation::OperationStatus = foundation::kStatusSourceReadFailed;
            return kFail;
        }
        position_ += uint64_t(got);
        if (processed) *processed = uint32_t(got);
        return kOk;
    }
    HResult Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) {
        HResult error = kOk;
        if (!ComputeSeek(position_, Size(), offset, origin, position_, error)) return error;
        if (newPosition) *newPosition = position_;
        return kOk;
    }
    HResult GetSize(uint64_t* size) {
        if (!size) return kInvalidArg;
        *size = Size();
        return kOk;
    }

    static HResult TRead(void* s, void* d, uint32_t n, uint32_t* p) {
        return Guarded([&] { return OwnerOf<CArcImageInStream>(s)->Read(d, n, p); });
    }
    static HResult TSeek(void* s, int64_t o, uint32_t w, uint64_t* p) {
        return Guarded([&] { return OwnerOf<CArcImageInStream>(s)->Seek(o, w, p); });
    }
    static HResult TSize(void* s, uint64_t* n) {
        return Guarded([&] { return OwnerOf<CArcImageInStream>(s)->GetSize(n); });
    }
    static constexpr InStreamVtbl kInTable{{kViewUnknown, TRead}, TSeek};
    static constexpr StreamGetSizeVtbl kSizeTable{kViewUnknown, TSize};

    const image::ImageItem& item_;
    foundation::ProgressCallbacks* progress_;
    image::ItemByteReader reader_;
    uint64_t position_ = 0;
    ComView inView_;
    ComView sizeView_;
};

}  // namespace

void ShowArchiveStreamError(StreamErrorKind kind, std::u16string_view path) {
    std::u16string text;
    switch (kind) {
        case StreamErrorKind::Extracting:
            text = foundation::GetLangString(30850, u"Error extractting archive '%s'.");
            break;
        case StreamErrorKind::Writing:
            text = foundation::GetLangString(1420, u"Error writing archive '%s'.");
            break;
        default:
            text = foundation::GetLangString(30840, u"Error reading archive '%s'.");
            break;
    }
    foundation::ShowLastError(platform::Format(text, std::u16string(path)));
}

bool ComputeSeek(uint64_t current, uint64_t end, int64_t offset, uint32_t origin, uint64_t& result, HResult& error) {
    uint64_t base = 0;
    switch (origin) {
        case 0: base = 0; break;
        case 1: base = current; break;
        case 2: base = end; break;
        default: error = kInvalidFunction; return false;
    }
    if (offset < 0) {
        const uint64_t back = 0 - uint64_t(offset);
        if (back > base) {
            error = kNegativeSeek;
            return false;
        }
        result = base - back;
        return true;
    }
    if (uint64_t(offset) > uint64_t(INT64_MAX) - std::min<uint64_t>(base, uint64_t(INT64_MAX))) {
        error = kInvalidArg;
        return false;
    }
    result = base + uint64_t(offset);
    return true;
}

HResult ReadStreamFull(void* stream, void* buffer, uint64_t& size) {
    const uint64_t want = size;
    size = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (size < want) {
        const uint32_t ask = uint32_t(std::min<uint64_t>(want - size, 0x80000000u));
        uint32_t got = 0;
        const HResult r = TableOf<SequentialInStreamVtbl>(stream).Read(stream, p + size, ask, &got);
        size += got;
        if (r != kOk) return r;
        if (got == 0) break;
    }
    return kOk;
}

ComRef MakeFileInStream(foundation::UniqueFile file, std::u16string_view path) {
    auto* stream = new CArcFileInStream(std::move(file), std::u16string(path));
    return stream->InStream();
}

ComRef OpenFileInStream(std::u16string_view path, HResult* error) {
    foundation::UniqueFile file(foundation::OpenFileForRead(path));
    if (!file) {
        if (error) *error = FromWin32(platform::GetLastError());
        return {};
    }
    if (error) *error = kOk;
    return MakeFileInStream(std::move(file), path);
}

std::unique_ptr<OutputTarget> MakeFileTarget(platform::FileHandle file, std::u16string name) {
    return std::make_unique<FileTarget>(file, std::move(name));
}

std::unique_ptr<OutputTarget> MakeVolumeTarget(uint64_t volumeSize, VolumeOpener openVolume, std::u16string name) {
    if (volumeSize == 0) return nullptr;
    return std::make_unique<VolumeTarget>(volumeSize, std::move(openVolume), std::move(name));
}

ComRef MakeOutStream(std::shared_ptr<OutputTarget> target, const OutStreamOptions& options,
                     std::shared_ptr<uint64_t> written) {
    auto* stream = new CArcOutStream(std::move(target), options, std::move(written));
    return stream->OutStream();
}

ComRef MakeImageInStream(image::ImageContext& ctx, const image::ImageItem& item,
                         foundation::ProgressCallbacks* progress) {
    auto* stream = new CArcImageInStream(ctx, item, progress);
    return stream->InStream();
}

}  // namespace containers::archive
