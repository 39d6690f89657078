#include "image/iso/iso_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <queue>
#include <unordered_map>

#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "foundation/messages.h"
#include "image/document/document.h"
#include "image/detect/format_detect.h"
#include "image/detect/quiet_read_scope.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sectors/sector_io.h"

namespace image {

namespace {

constexpr uint64_t kSectorBytes = 2048;
// A directory longer than this (512 MiB less one sector, a whole number of
// sectors) is not believed.
constexpr uint64_t kMaxDirectoryBytes = 0x1FFFF800;
static_assert(kMaxDirectoryBytes % kSectorBytes == 0, "the cap holds for the length rounded to sectors too");
// Items of a multi-extent file are described by 12-byte extents after a count:
// partition reference, first sector, length in bytes.
constexpr size_t kExtentEntryBytes = 12;

void Count(IsoTreeReport* report, uint64_t IsoTreeReport::*field, uint64_t n = 1) {
    if (report) report->*field += n;
}

bool IsJolietTree(const ImageContext& ctx) { return ctx.jolietLevel > 0; }

void AppendExtent(ImageItem& item, uint32_t lba, uint32_t bytes) {
    std::vector<uint8_t>& list = item.EditSide().extentList;
    if (list.empty()) list.resize(4, 0);
    const uint32_t count = foundation::ReadLE32(list.data()) + 1;
    foundation::WriteLE32(list.data(), count);
    const size_t at = list.size();
    list.resize(at + kExtentEntryBytes);
    foundation::WriteLE32(&list[at], 0);
    foundation::WriteLE32(&list[at + 4], lba);
    foundation::WriteLE32(&list[at + 8], bytes);
}

// Records of one directory mostly share their date; converting it once keeps
// large directories fast.
struct RecordDateCache {
    std::array<uint8_t, 7> date{};
    uint32_t seconds = 0;
    bool valid = false;
    uint32_t Seconds(const std::array<uint8_t, 7>& d) {
        if (!valid || d != date) {
            date = d;
            // Item times are unsigned: dates before 1970 are held at 1970.
            const int64_t t = foundation::IsoRecordDateToUnixTime(d);
            seconds = t <= 0 ? 0 : t >= int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(t);
            valid = true;
        }
        return seconds;
    }
};

// A new item from a record; null when out of memory.
ImageItem* MakeItem(ImageContext& ctx, const IsoDirectoryRecord& r, bool dirBitCleared, RecordDateCache& dates) {
    ImageItem* item = NewItem();
    if (!item) return nullptr;
    std::copy_n(r.bytes.begin(), dr::kHeadBytes, item->recordHeader.begin());
    if (dirBitCleared) item->recordHeader[dr::kFlags] &= ~dirflag::kDirectory;
    item->startSector = r.extentLba;
    item->size = r.dataBytes;
    item->time = dates.Seconds(r.date);
    item->earlierSession = (ctx.discSource || !ctx.discHeadSourcePath.empty()) ? 1 : 0;
    if (r.IsDot()) {
        item->name.AssignInArena(ctx.nameArena, u".");
    } else if (r.IsDotDot()) {
        item->name.AssignInArena(ctx.nameArena, u"..");
    } else {
        const bool joliet = IsJolietTree(ctx);
        std::array<char16_t, kMaxRecordNameUnits> units;
        const size_t n = DecodeRecordNameInto(r.identifier, joliet ? RecordNameKind::Joliet : RecordNameKind::Iso, units);
        item->name.AssignInArena(ctx.nameArena, std::u16string_view(units.data(), n));
        if (!joliet) item->isoName.assign(r.identifier.begin(), r.identifier.end());
    }
    return item;
}

// Whether an item's name is the "." or ".." it was given for the dot records.
// Decoded names can never be these (they are renamed when read), so the name
// alone tells; its length is looked at first, which keeps long names cheap.
bool HasDotName(const ImageItem& item) { return item.name.size() == 1 && item.name[0] == u'.'; }
bool HasDotDotName(const ImageItem& item) { return item.name.size() == 2 && item.name == u".."; }

// The record head of the item, as a record for the directory reader.
std::span<const uint8_t> HeadOf(const ImageItem& item) { return item.recordHeader; }

// Heads kept in items are always whole, so the decode cannot fail.
uint32_t HeadExtent(std::span<const uint8_t> head) { return DecodeRecordHead(head).value_or(IsoRecordHead{}).extentLba; }

// Room for directories: the image's own size, as far as it is known.
uint64_t DirectoryByteBudget(const ImageContext& ctx) {
    const int64_t end = ctx.endSectorOverride ? ctx.endSectorOverride : ctx.endSector;
    if (end > 0) return static_cast<uint64_t>(end) * kSectorBytes;
    if (ctx.imageSize > 0) return static_cast<uint64_t>(ctx.imageSize);
    return ctx.volumeSpaceSize > 0 ? static_cast<uint64_t>(ctx.volumeSpaceSize) * kSectorBytes : UINT64_MAX;
}

// Room for folder paths: a UTF-16 unit a byte of the image and a fixed
// allowance, so small images with deep trees of long names open too.
uint64_t PathUnitBudget(const ImageContext& ctx) {
    constexpr uint64_t kUnitsPerImageByte = 1;
    constexpr uint64_t kFixedUnits = uint64_t{4} << 20;
    const uint64_t bytes = DirectoryByteBudget(ctx);
    return bytes > (UINT64_MAX - kFixedUnits) / kUnitsPerImageByte ? UINT64_MAX
                                                                   : bytes * kUnitsPerImageByte + kFixedUnits;
}

// The walk over one hierarchy: folders whose directories are still to be read
// wait in a queue, so the depth of the tree never reaches the call stack. The
// queue hands them out in disk order, and every directory sector is read at
// most once: a directory overlapping one already read, or one that would take
// the bytes read past the size of the image, is not read. A crafted image
// whose records point into one large directory area again and again would
// otherwise open into a tree growing with the square of its size; no real
// image reaches either bound.
class IsoTreeWalk {
public:
    IsoTreeWalk(ImageContext& ctx, IsoTreeReport* report)
        : ctx_(ctx),
          report_(report),
          directoryByteBudget_(DirectoryByteBudget(ctx)),
          pathUnitBudget_(PathUnitBudget(ctx)) {}

    bool ReadRoot();

private:
    struct Pending {
        ImageFolder* folder;
        uint32_t extent;
        uint64_t order;   // ties in extent are read in the order met
        std::array<uint8_t, dr::kHeadBytes> head;
    };
    struct LaterOnDisk {
        bool operator()(const Pending& a, const Pending& b) const {
            return a.extent != b.extent ? a.extent > b.extent : a.order > b.order;
        }
    };
    enum class Claim { Fresh, Repeated, Refused };

    void AttachIsoEntries(ImageFolder* folder, IsoEntryArray& entries, bool dotsByPosition);
    bool ReadIsoSubdirectory(const Pending& pending);
    void StartSubfolder(ImageItem* item, ImageFolder* parent);
    bool IsAncestorExtent(const ImageFolder* folder, uint32_t extent) const;
    // Takes the sectors of a directory for reading, once.
    Claim ClaimDirectory(std::span<const uint8_t> head);

    ImageContext& ctx_;
    IsoTreeReport* report_;
    std::priority_queue<Pending, std::vector<Pending>, LaterOnDisk> queue_;
    uint64_t queued_ = 0;
    // Sector runs read so far, first sector -> one past the last.
    std::map<uint64_t, uint64_t> readRuns_;
    uint64_t bytesRead_ = 0;
    const uint64_t directoryByteBudget_;
    uint64_t pathUnits_ = 0;   // UTF-16 units of all folder paths made
    const uint64_t pathUnitBudget_;
    std::unordered_map<const ImageFolder*, uint32_t> folderExtents_;
    bool failed_ = false;
};

IsoTreeWalk::Claim IsoTreeWalk::ClaimDirectory(std::span<const uint8_t> head) {
    const IsoRecordHead decoded = DecodeRecordHead(head).value_or(IsoRecordHead{});
    const uint64_t first = decoded.extentLba;
    const uint64_t length = decoded.dataBytes;
    // An unsound length is left for the directory read to refuse.
    const uint64_t sectors = std::max<uint64_t>(1, (length + kSectorBytes - 1) / kSectorBytes);
    const uint64_t end = first + sectors;
    auto next = readRuns_.lower_bound(first);
    if (next != readRuns_.end() && next->first == first) return Claim::Repeated;
    if (next != readRuns_.end() && next->first < end) return Claim::Refused;
    if (next != readRuns_.begin() && std::prev(next)->second > first) return Claim::Refused;
    const uint64_t bytes = sectors * kSectorBytes;
    if (bytes > directoryByteBudget_ - bytesRead_) return Claim::Refused;
    bytesRead_ += bytes;
    Count(report_, &IsoTreeReport::directoryBytesRead, bytes);
    readRuns_.emplace_hint(next, first, end);
    return Claim::Fresh;
}

bool IsoTreeWalk::IsAncestorExtent(const ImageFolder* folder, uint32_t extent) const {
    // The root's parent is the root itself.
    for (const ImageFolder* f = folder;; f = f->parent) {
        auto it = folderExtents_.find(f);
        if (it != folderExtents_.end() && it->second == extent) return true;
        if (!f->parent || f->parent == f) return false;
    }
}

void IsoTreeWalk::StartSubfolder(ImageItem* item, ImageFolder* parent) {
    ImageFolder* folder = NewFolderRecord();
    if (!folder) {
        // The item stays linked as an empty folder and is freed with the tree.
        failed_ = true;
        return;
    }
    folder->ownItem = item;
    item->ownFolder = folder;
    AppendSubfolder(parent, folder);
    // A failed walk's tree is dropped: nothing more is built for it.
    if (failed_) return;
    if (folder->depth > kMaxIsoDirectoryDepth) {
        if (report_) report_->tooDeep = true;
        failed_ = true;
        return;
    }
    // Every folder holds its whole path, so a crafted chain of long names
    // with many folders at its bottom would hold paths far larger than the
    // image; a real image gives each folder a directory sector of its own and
    // stays far below the budget.
    const uint64_t units = parent->path.empty() ? item->name.size() : parent->path.size() + 1 + item->name.size();
    if (units > pathUnitBudget_ - pathUnits_) {
        if (report_) report_->pathsTooLong = true;
        failed_ = true;
        return;
    }
    pathUnits_ += units;
    folder->path = JoinFolderPath(parent, item->name);
    Pending pending{folder, HeadExtent(HeadOf(*item)), queued_++, {}};
    std::copy(item->recordHeader.begin(), item->recordHeader.end(), pending.head.begin());
    queue_.push(pending);
    // The folder's directory is described by its own folder from now on.
    foundation::WriteBothEndian32(item->recordHeader.data() + dr::kExtent, 0);
    item->startSector = 0;
}

void IsoTreeWalk::AttachIsoEntries(ImageFolder* folder, IsoEntryArray& entries, bool dotsAllowed) {
    for (ImageItem*& slot : entries.entries) {
        ImageItem* item = slot;
        if (!item) continue;
        slot = nullptr;
        const bool isFolder = IsFolderItem(item);
        if (isFolder && HasDotName(*item) && dotsAllowed) {
            folder->flags |= folder_flag::kDotRead;
        } else if (isFolder && HasDotDotName(*item) && dotsAllowed) {
            folder->flags |= folder_flag::kDotDotRead;
        } else if (isFolder) {
            LinkItemAtHead(folder, item);
            StartSubfolder(item, folder);
            Count(report_, &IsoTreeReport::folders);
            continue;
        } else {
            Count(report_, &IsoTreeReport::files);
        }
        LinkItemAtHead(folder, item);
    }
    FixDotDotParent(folder);
}

bool IsoTreeWalk::ReadIsoSubdirectory(const Pending& pending) {
    ImageFolder* folder = pending.folder;
    if (IsAncestorExtent(folder->parent, pending.extent)) {
        if (report_) report_->loopFound = true;
        return false;
    }
    folderExtents_[folder] = pending.extent;
    switch (ClaimDirectory(pending.head)) {
        case Claim::Fresh:
            break;
        case Claim::Repeated:
            // The same directory under a second name: shown empty rather than
            // read again, so shared extents cannot multiply the tree.
            Count(report_, &IsoTreeReport::repeatedDirectories);
            return true;
        case Claim::Refused:
            Count(report_, &IsoTreeReport::unreadableDirectories);
            return true;
    }
    IsoEntryArray entries(ctx_);
    if (!ReadIsoDirectory(ctx_, pending.head, entries, report_)) {
        Count(report_, &IsoTreeReport::unreadableDirectories);
        return true;
    }
    // "." and ".." by their identifiers (a directory without them keeps all
    // its subfolders), and the files, first; then the subfolders.
    for (ImageItem*& slot : entries.entries) {
        ImageItem* item = slot;
        if (!item) continue;
        const bool dot = HasDotName(*item) || HasDotDotName(*item);
        if (IsFolderItem(item) && !dot) continue;
        slot = nullptr;
        if (dot && IsFolderItem(item)) {
            foundation::WriteBothEndian32(item->recordHeader.data() + dr::kExtent, 0);
            item->startSector = 0;
            folder->flags |= HasDotName(*item) ? folder_flag::kDotRead : folder_flag::kDotDotRead;
        } else {
            Count(report_, &IsoTreeReport::files);
        }
        LinkItemAtHead(folder, item);
    }
    AttachIsoEntries(folder, entries, false);
    return true;
}

bool IsoTreeWalk::ReadRoot() {
    ImageFolder* root = ctx_.rootFolder;
    if (!root) return false;
    const auto rootRecord = DecodeDirectoryRecord(ctx_.rootDirectoryRecord);
    if (!rootRecord) return false;
    IsoEntryArray entries(ctx_);
    // A root without entries is no hierarchy.
    if (!ReadIsoDirectory(ctx_, ctx_.rootDirectoryRecord, entries, report_) || entries.entries.empty()) {
        return false;
    }
    folderExtents_[root] = rootRecord->extentLba;
    ClaimDirectory(ctx_.rootDirectoryRecord);
    AttachIsoEntries(root, entries, true);
    while (!queue_.empty() && !failed_) {
        const Pending pending = queue_.top();
        queue_.pop();
        if (!ReadIsoSubdirectory(pending)) failed_ = true;
    }
    return !failed_;
}

}  // namespace

IsoEntryArray::~IsoEntryArray() {
    for (ImageItem* item : entries) {
        if (item) FreeItem(&ctx_, item);
    }
}

int CheckDirectoryExtent(ImageContext& ctx, const IsoDirectoryRecord& record) {
    if (!record.extentConsistent || !record.lengthConsistent) return -1;
    if (record.extentLba > static_cast<uint32_t>(INT32_MAX)) return -1;
    std::array<uint8_t, kSectorBytes> sector{};
    {
        QuietReadScope quiet(ctx);
        if (ReadImageSectors(ctx, static_cast<int32_t>(record.extentLba), sector.data(), 1) != 1) return -1;
    }
    const auto first = DecodeDirectoryRecord(sector);
    return first && first->extentConsistent && first->lengthConsistent ? 2 : 0;
}

bool ReadIsoDirectory(ImageContext& ctx, std::span<const uint8_t> recordBytes, IsoEntryArray& out,
                      IsoTreeReport* report) {
    out.entries.clear();
    const auto head = DecodeRecordHead(recordBytes);
    if (!head || !head->lengthConsistent) return false;
    const uint32_t length = head->dataBytes;
    const uint32_t extent = head->extentLba;
    if (length == 0 || length > kMaxDirectoryBytes) return false;
    const uint64_t sectors = (static_cast<uint64_t>(length) + kSectorBytes - 1) / kSectorBytes;
    if (extent > static_cast<uint32_t>(INT32_MAX)) return false;
    // A directory beyond the end of the image is damage, not data to wait for.
    const int64_t end = ctx.endSectorOverride ? ctx.endSectorOverride : ctx.endSector;
    if (end > 0 && (extent >= static_cast<uint64_t>(end) || sectors > static_cast<uint64_t>(end) - extent)) {
        return false;
    }

    std::vector<uint8_t> data;
    data.resize(sectors * kSectorBytes);
    if (ReadImageSectors(ctx, static_cast<int32_t>(extent), data.data(), static_cast<int32_t>(sectors)) !=
        static_cast<int32_t>(sectors)) {
        return false;
    }

    // Room for every record the directory can hold (each is at least 34
    // bytes), within a cap: the array is only the reader's scratch.
    try {
        out.entries.reserve(std::min<uint64_t>(length / dr::kMinRecordBytes + 1, 65536));
    } catch (const std::bad_alloc&) {
        return false;
    }
    RecordDateCache dates;
    bool outOfMemory = false;
    ImageItem* multiExtentOpen = nullptr;   // item whose last record carried 0x80
    std::vector<uint8_t> openIdentifier;
    const DirectoryWalkCounts counts = WalkDirectoryRecords(data, length, [&](const IsoDirectoryRecord& r) {
        // Further extents of a multi-extent file: same identifier right after.
        if (multiExtentOpen && !r.IsDirectory() &&
            std::equal(r.identifier.begin(), r.identifier.end(), openIdentifier.begin(), openIdentifier.end())) {
            if (multiExtentOpen->Side().extentList.empty()) {
                AppendExtent(*multiExtentOpen, multiExtentOpen->startSector,
                             DecodeRecordHead(multiExtentOpen->recordHeader).value_or(IsoRecordHead{}).dataBytes);
            }
            AppendExtent(*multiExtentOpen, r.extentLba, r.dataBytes);
            multiExtentOpen->size += r.dataBytes;
            Count(report, &IsoTreeReport::mergedExtents);
            if (!r.IsMultiExtent()) multiExtentOpen = nullptr;
            return true;
        }
        multiExtentOpen = nullptr;

        bool clearDirBit = false;
        if (r.IsAssociated()) {
            if (!r.IsDirectory()) {
                // An associated file carries the main file's name; showing it
                // would give the folder two entries of one name.
                Count(report, &IsoTreeReport::associatedFiles);
                return true;
            }
            const int check = CheckDirectoryExtent(ctx, r);
            if (check == -1) return true;
            clearDirBit = check == 0;
        }
        // Data that lies past the end of the file: the image was cut short,
        // and the file would read as zeros.
        if (!r.IsDirectory() && r.dataBytes > 0 && end > 0 &&
            (r.extentLba >= static_cast<uint64_t>(end) ||
             (static_cast<uint64_t>(r.dataBytes) + kSectorBytes - 1) / kSectorBytes >
                 static_cast<uint64_t>(end) - r.extentLba)) {
            Count(report, &IsoTreeReport::filesPastEnd);
        }
        ImageItem* item = MakeItem(ctx, r, clearDirBit, dates);
        if (!item) {
            outOfMemory = true;
            return false;
        }
        out.entries.push_back(item);
        if (r.IsMultiExtent() && !r.IsDirectory()) {
            multiExtentOpen = item;
            openIdentifier.assign(r.identifier.begin(), r.identifier.end());
            // The record head is copied into saved images: it must not claim
            // that another record follows.
            item->recordHeader[dr::kFlags] &= ~dirflag::kMultiExtent;
        }
        return true;
    });
    Count(report, &IsoTreeReport::skippedRecords,
          counts.shortRecords + counts.crossingRecords + counts.badNameRecords);
    return !outOfMemory;
}

int ReadIsoTree(ImageContext& ctx, IsoTreeReport* report) {
    IsoTreeReport local;
    IsoTreeReport& r = report ? *report : local;
    IsoTreeWalk walk(ctx, &r);
    const bool read = walk.ReadRoot();
    // Damage that was skipped is told to the user once the document is open
    // ("Error found while reading the directory structure.").
    if (r.skippedRecords || r.unreadableDirectories || r.repeatedDirectories)
        ctx.warningBits |= foundation::image_warning::kDirectoryError;
    // "Unexpected end of file": the tree is whole, but not the data.
    if (r.filesPastEnd) ctx.warningBits |= foundation::image_warning::kUnexpectedEnd;
    return read ? 0 : -1;
}

std::vector<IsoExtent> IsoItemExtents(const ImageItem& item) {
    std::vector<IsoExtent> extents;
    const auto& list = item.Side().extentList;
    if (list.size() >= 4) {
        const uint32_t count = foundation::ReadLE32(list.data());
        for (uint32_t i = 0; i < count && 4 + (static_cast<size_t>(i) + 1) * kExtentEntryBytes <= list.size(); ++i) {
            const uint8_t* e = list.data() + 4 + static_cast<size_t>(i) * kExtentEntryBytes;
            extents.push_back({foundation::ReadLE32(e + 4), foundation::ReadLE32(e + 8)});
        }
    } else {
        extents.push_back({item.startSector, static_cast<uint64_t>(item.size)});
    }
    return extents;
}

int64_t ReadIsoItemBytes(ImageContext& ctx, const ImageItem& item, uint64_t offset, uint8_t* buffer,
                         uint64_t bytes) {
    const std::vector<IsoExtent> extents = IsoItemExtents(item);
    // Whole runs of sectors are read at once, through a bounded buffer.
    constexpr uint64_t kRunSectors = 64;
    std::vector<uint8_t> run;
    uint64_t done = 0;
    uint64_t extentStart = 0;
    for (const IsoExtent& e : extents) {
        const uint64_t extentEnd = extentStart + e.length;
        while (done < bytes && offset + done < extentEnd) {
            const uint64_t inExtent = offset + done - extentStart;
            const uint64_t first = e.lba + inExtent / kSectorBytes;
            const uint64_t within = inExtent % kSectorBytes;
            const uint64_t want = std::min(bytes - done, extentEnd - (offset + done));
            const uint64_t sectors = std::min(kRunSectors, (within + want + kSectorBytes - 1) / kSectorBytes);
            if (first + sectors > static_cast<uint64_t>(INT32_MAX)) return static_cast<int64_t>(done);
            run.resize(sectors * kSectorBytes);
            if (ReadImageSectors(ctx, static_cast<int32_t>(first), run.data(), static_cast<int32_t>(sectors)) !=
                static_cast<int32_t>(sectors)) {
                return static_cast<int64_t>(done);
            }
            const uint64_t n = std::min(want, sectors * kSectorBytes - within);
            std::memcpy(buffer + done, run.data() + within, n);
            done += n;
        }
        extentStart = extentEnd;
        if (done == bytes) break;
    }
    return static_cast<int64_t>(done);
}

}  // namespace image
