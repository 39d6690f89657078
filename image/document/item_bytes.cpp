#include "image/document/item_bytes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <vector>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/work_folder.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "image/iso/iso_reader.h"
#include "platform/format.h"
#include "platform/last_error.h"

namespace image {
namespace {

// Bytes read and written per step when an item is copied in ranges: large
// enough that a contiguous file costs few requests, small enough that cancel
// answers at once.
constexpr uint64_t kCopyStepBytes = uint64_t(1) << 20;

struct AtomicEntry {
    std::atomic<ReadItemRange> readRange{nullptr};
    std::atomic<StreamItemData> stream{nullptr};
};

std::array<AtomicEntry, size_t(ItemReaderKind::Count)>& Table() {
    static std::array<AtomicEntry, size_t(ItemReaderKind::Count)> table;
    return table;
}

constexpr uint32_t kStringFileSizeChanged = 1430;

// The first failure of an operation is the one reported.
void Fail(int32_t status) {
    if (foundation::OperationStatus.load() == foundation::kStatusNone) foundation::OperationStatus = status;
}

int64_t NotSupported() {
    platform::SetLastError(platform::kErrorNotSupported);
    return -1;
}

}  // namespace

ItemReaderKind ReaderKindOf(const ImageContext& ctx, const ImageItem& item) {
    if (item.sourceMarker > kVideoCdMarker) return ItemReaderKind::VideoCdTrack;
    if (ctx.formatCode == format_code::kWim || ctx.wimState) return ItemReaderKind::Wim;
    if (ctx.formatCode == format_code::kArchive || ctx.archiveLink) return ItemReaderKind::Archive;
    if (ctx.ntfsState) return ItemReaderKind::Ntfs;
    if (ctx.ext2State) return ItemReaderKind::Ext2;
    if (ctx.fatState) return ItemReaderKind::Fat;
    // A hybrid disc keeps its Mac volume while its ISO 9660 tree is shown.
    if (ctx.hfsPlusVolume && ctx.macFileSystem == 2) return ItemReaderKind::HfsPlus;
    if (ctx.hfsVolume && ctx.macFileSystem == 1) return ItemReaderKind::Hfs;
    if (ctx.udfState) return ItemReaderKind::Udf;
    return ItemReaderKind::Iso;
}

ItemReaderEntry GetItemReader(ItemReaderKind kind) {
    if (kind >= ItemReaderKind::Count) return {};
    const AtomicEntry& e = Table()[size_t(kind)];
    return {e.readRange.load(), e.stream.load()};
}

ItemReaderEntry SetItemReader(ItemReaderKind kind, ItemReaderEntry entry) {
    if (kind >= ItemReaderKind::Count) return {};
    AtomicEntry& e = Table()[size_t(kind)];
    return {e.readRange.exchange(entry.readRange), e.stream.exchange(entry.stream)};
}

uint64_t ItemDataBytes(ImageContext& ctx, const ImageItem& item) {
    const int64_t size = GetItemDataSize(&ctx, &item);
    return size > 0 ? uint64_t(size) : 0;
}

ItemByteReader::ItemByteReader(ImageContext& ctx, const ImageItem& item) : ctx_(ctx), item_(item) {}
ItemByteReader::~ItemByteReader() = default;

bool ItemByteReader::OpenDiskFile() {
    if (!disk_) disk_.reset(foundation::OpenFileForRead(item_.diskPath));
    return bool(disk_);
}

bool ItemByteReader::Materialise() {
    if (temp_) return true;
    const StreamItemData stream = GetItemReader(ReaderKindOf(ctx_, item_)).stream;
    if (!stream) return NotSupported() == 0;
    foundation::UniqueFile temp = foundation::OpenPrivateTempFile();
    if (!temp) return false;
    if (stream(ctx_, item_, temp.get(), nullptr) != 1) {
        if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorReadFault);
        return false;
    }
    temp_ = std::move(temp);
    return true;
}

int64_t ItemByteReader::Read(uint64_t offset, uint8_t* buffer, uint64_t count) {
    const uint64_t size = ItemDataBytes(ctx_, item_);
    if (offset >= size || count == 0) return 0;
    const uint64_t want = std::min(count, size - offset);
    int64_t got = -1;
    if (!item_.memoryData.empty()) {
        const uint64_t have = item_.memoryData.size() > offset ? item_.memoryData.size() - offset : 0;
        got = int64_t(std::min(want, have));
        std::memcpy(buffer, item_.memoryData.data() + offset, size_t(got));
    } else if (IsItemFromDiskFile(&ctx_, &item_)) {
        if (!OpenDiskFile()) return -1;
        got = foundation::ReadFileAtCount(disk_.get(), buffer, offset, size_t(want));
    } else {
        const ItemReaderKind kind = ReaderKindOf(ctx_, item_);
        const ItemReaderEntry entry = GetItemReader(kind);
        if (kind == ItemReaderKind::Iso) {
            got = ReadIsoItemBytes(ctx_, item_, offset, buffer, want);
        } else if (entry.readRange) {
            got = entry.readRange(ctx_, item_, offset, buffer, want);
        } else if (entry.stream) {
            if (!Materialise()) return -1;
            got = foundation::ReadFileAtCount(temp_.get(), buffer, offset, size_t(want));
        } else {
            return NotSupported();
        }
    }
    // Fewer bytes than the item holds is a failure, never a short file that
    // looks complete.
    if (got < 0 || uint64_t(got) < want) {
        if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorReadFault);
        return -1;
    }
    return got;
}

bool WriterItemSource::Open(const ImageItem* item, bool checkSize) {
    item_ = item;
    reader_.reset();
    if (item->memoryData.empty() && IsItemFromDiskFile(&ctx_, item)) {
        foundation::UniqueFile file(foundation::OpenFileForRead(item->diskPath));
        if (!file) {
            Fail(foundation::kStatusSourceOpenFailed);
            foundation::ShowLastError(item->diskPath);
            return false;
        }
        if (checkSize && foundation::GetFileSize64(file.get()) != item->size) {
            Fail(foundation::kStatusSourceReadFailed);
            foundation::AppMessageBox(
                platform::Format(u"%s\r\n\r\n%s", item->diskPath,
                                 foundation::GetLangString(kStringFileSizeChanged, u"File size changed.")),
                foundation::kMbIconStop);
            return false;
        }
    }
    reader_ = std::make_unique<ItemByteReader>(ctx_, *item);
    return true;
}

bool WriterItemSource::Read(uint64_t offset, uint8_t* out, size_t n) {
    // Writers place the item's recorded size, whatever form a reader shows.
    const uint64_t size = item_->size > 0 ? uint64_t(item_->size) : 0;
    const size_t avail = offset >= size ? 0 : size_t(std::min<uint64_t>(n, size - offset));
    std::memset(out + avail, 0, n - avail);
    if (avail == 0) return true;
    if (reader_->Read(offset, out, avail) != int64_t(avail)) {
        Fail(foundation::kStatusSourceReadFailed);
        if (IsItemFromDiskFile(&ctx_, item_)) foundation::ShowLastError(item_->diskPath);
        return false;
    }
    return true;
}

int64_t ReadItemBytes(ImageContext& ctx, const ImageItem& item, uint64_t offset, uint8_t* buffer, uint64_t count) {
    ItemByteReader reader(ctx, item);
    return reader.Read(offset, buffer, count);
}

int WriteItemData(ImageContext& ctx, const ImageItem& item, platform::FileHandle out,
                  foundation::ProgressCallbacks* progress) {
    if (item.memoryData.empty() && !IsItemFromDiskFile(&ctx, &item)) {
        const ItemReaderKind kind = ReaderKindOf(ctx, item);
        const ItemReaderEntry entry = GetItemReader(kind);
        if (kind != ItemReaderKind::Iso && entry.stream) return entry.stream(ctx, item, out, progress);
        if (kind != ItemReaderKind::Iso && !entry.readRange) {
            platform::SetLastError(platform::kErrorNotSupported);
            foundation::OperationStatus = foundation::kStatusSourceReadFailed;
            return -1;
        }
    }
    const uint64_t size = ItemDataBytes(ctx, item);
    ItemByteReader reader(ctx, item);
    std::vector<uint8_t> buffer(size_t(std::min(size, kCopyStepBytes)));
    for (uint64_t done = 0; done < size;) {
        if (WaitIfPaused(progress) == 0) return 0;
        const uint64_t n = std::min(kCopyStepBytes, size - done);
        if (reader.Read(done, buffer.data(), n) != int64_t(n)) {
            if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorReadFault);
            foundation::OperationStatus = foundation::kStatusSourceReadFailed;
            return -1;
        }
        if (platform::FileWriteAt(out, done, buffer.data(), size_t(n)) != int64_t(n)) {
            if (platform::GetLastError() == platform::kErrorSuccess) platform::SetLastError(platform::kErrorDiskFull);
            foundation::OperationStatus = foundation::kStatusWriteFailed;
            return -1;
        }
        done += n;
        if (progress && progress->AddDone) progress->AddDone(int64_t(n));
    }
    return 1;
}

}  // namespace image
