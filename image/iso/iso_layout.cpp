#include "image/iso/iso_layout.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <deque>
#include <unordered_set>

#include "image/document/main_window_services.h"
#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "image/document/image_context.h"
#include "image/iso/iso_names.h"
#include "image/iso/iso_record_layout.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "platform/text.h"

namespace image {
namespace {

constexpr uint32_t kSectorBytes = 2048;
constexpr uint32_t kMaxRecordBytes = 255;
constexpr uint32_t kVideoCdXaBytes = 14;
constexpr int32_t kCancelCheckEvery = 256;
constexpr size_t kJolietLongNameFitChars = 256;

uint32_t RoundUpToSector(uint64_t bytes) {
    return uint32_t((bytes + kSectorBytes - 1) / kSectorBytes * kSectorBytes);
}
uint32_t SectorsFor(uint64_t bytes) { return uint32_t((bytes + kSectorBytes - 1) / kSectorBytes); }

std::u16string Fold(std::u16string_view s) { return platform::ToLower(s); }

std::u16string WideOfIso(const std::string& iso) {
    std::u16string wide;
    if (!platform::MultiByteToUtf16(platform::kCodePageAnsi, iso, wide)) wide = platform::Utf8ToUtf16(iso);
    return wide;
}

bool IsVideoCdTrackFile(const ImageItem* item) {
    return item && item->sourceMarker > kVideoCdMarker && item->sourceMarker <= kVideoCdMarker + 99;
}

struct NamingOptions {
    IsoNameOptions iso;
    int32_t jolietLimit = kJolietNameLimit;
    bool joliet = false;
    bool udf = false;
    bool videoCd = false;
};

// The naming state of one folder: identifiers taken so far, and the folded
// long names of all its entries (with how many entries share each).
class FolderNamer {
public:
    FolderNamer(const NamingOptions& options, std::vector<DirectoryRecord>& records)
        : options_(options), records_(records) {
        for (const DirectoryRecord& r : records_) {
            if (r.kind == RecordKind::File || r.kind == RecordKind::Folder) ++longNames_[Fold(r.item->name)];
        }
    }

    bool NameIso(DirectoryRecord& r) {
        IsoNameOptions opts = options_.iso;
        opts.isFolder = r.kind == RecordKind::Folder;
        const std::u16string foldedLong = Fold(r.item->name);
        auto number = [](int64_t n) { return n < 0 ? std::nullopt : std::optional<uint32_t>(uint32_t(n)); };
        // Names cut to one numbered form (IMG_20~0.JPG for every IMG_2023...)
        // go on from the number the last of them took, so a folder of
        // thousands of such names is named in linear time.
        std::string family;
        for (int64_t n = -1; n <= int64_t(kMaxNameNumber); ++n) {
            if (n == 0) {
                family = BuildIsoName(r.item->name, opts, 0);
                auto it = isoNextNumber_.find(family);
                if (it != isoNextNumber_.end()) n = it->second;
            }
            std::string candidate = BuildIsoName(r.item->name, opts, number(n));
            if (candidate.empty()) continue;
            if (isoTaken_.count(candidate)) continue;
            std::u16string foldedWide = Fold(WideOfIso(candidate));
            // Never take a name that another entry of the folder shows as its own.
            if (foldedWide != foldedLong && longNames_.count(foldedWide)) continue;
            isoTaken_.insert(candidate);
            if (n >= 0) isoNextNumber_[family] = n + 1;
            r.isoId = std::move(candidate);
            if (!options_.joliet && !options_.udf && foldedWide != foldedLong)
                image::ShowNameChangedNotice(r.item->name, WideOfIso(r.isoId), opts.isFolder);
            return true;
        }
        return false;
    }

    bool NameJoliet(DirectoryRecord& r) {
        const std::u16string foldedLong = Fold(r.item->name);
        auto build = [&](int64_t n) {
            return BuildJolietName(r.item->name, options_.jolietLimit,
                                   n < 0 ? std::nullopt : std::optional<uint32_t>(uint32_t(n)), options_.joliet);
        };
        std::u16string family;
        // The long name itself is tried only when it fits: a longer one goes
        // straight to the numbered forms, and the user hears of every one.
        const bool fits = r.item->name.size() <= size_t(std::max(options_.jolietLimit, 8));
        for (int64_t n = fits ? -1 : 0; n <= int64_t(kMaxNameNumber); ++n) {
            if (n == 0) {
                family = Fold(build(0));
                auto it = jolietNextNumber_.find(family);
                if (it != jolietNextNumber_.end()) n = it->second;
            }
            std::u16string candidate = build(n);
            if (candidate.empty() || candidate.size() > size_t(options_.jolietLimit)) continue;
            // Joliet names are compared without case by the systems that read
            // them: two names differing only in case would hide one file.
            std::u16string folded = Fold(candidate);
            if (jolietTaken_.count(folded)) continue;
            if (folded != foldedLong && longNames_.count(folded)) continue;
            jolietTaken_.insert(folded);
            if (n >= 0) {
                jolietNextNumber_[family] = n + 1;
                image::ShowNameChangedNotice(r.item->name, candidate, r.kind == RecordKind::Folder);
            }
            r.jolietId = std::move(candidate);
            return true;
        }
        return false;
    }

private:
    const NamingOptions& options_;
    std::vector<DirectoryRecord>& records_;
    std::unordered_map<std::u16string, int> longNames_;
    std::unordered_set<std::string> isoTaken_;
    std::unordered_set<std::u16string> jolietTaken_;
    // The next number to try for each numbered form (its "~0" name).
    std::unordered_map<std::string, int64_t> isoNextNumber_;
    std::unordered_map<std::u16string, int64_t> jolietNextNumber_;
};

// Names every entry of one folder in the four passes: entries whose name fits
// first, so that a name that needs no change is never taken by a numbered one.
LayoutError AssignFolderNames(FolderLayout& f, const NamingOptions& options, foundation::ProgressCallbacks* progress) {
    FolderNamer namer(options, f.records);
    int32_t sinceCheck = 0;
    auto tick = [&]() {
        if (++sinceCheck < kCancelCheckEvery) return true;
        sinceCheck = 0;
        return WaitIfPaused(progress) != 0;
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (DirectoryRecord& r : f.records) {
            if (r.kind == RecordKind::Dot || r.kind == RecordKind::DotDot) continue;
            IsoNameOptions opts = options.iso;
            opts.isFolder = r.kind == RecordKind::Folder;
            if (IsoNameFits(r.item->name, opts) != (pass == 0)) continue;
            if (!namer.NameIso(r)) return LayoutError::NoUniqueName;
            if (!tick()) return LayoutError::Cancelled;
        }
    }
    if (!options.joliet && !options.udf) return LayoutError::None;
    for (int pass = 0; pass < 2; ++pass) {
        for (DirectoryRecord& r : f.records) {
            if (r.kind == RecordKind::Dot || r.kind == RecordKind::DotDot) continue;
            bool fits = r.item->name.size() <= size_t(options.jolietLimit) &&
                        r.item->name.size() <= kJolietLongNameFitChars;
            if (fits != (pass == 0)) continue;
            if (!namer.NameJoliet(r)) return LayoutError::NoUniqueName;
            if (!tick()) return LayoutError::Cancelled;
        }
    }
    return LayoutError::None;
}

uint32_t ExtentBytes(const std::vector<DirectoryRecord>& records, const std::vector<uint32_t>& order, bool joliet) {
    uint64_t pos = 0;
    for (uint32_t index : order) {
        uint32_t len = joliet ? records[index].jolietLength : records[index].isoLength;
        // No record crosses a sector: a record that would is moved to the next one.
        if (pos % kSectorBytes + len > kSectorBytes) pos = RoundUpToSector(pos);
        pos += len;
    }
    return uint32_t(pos);
}

// Lengths and orders of one folder's records.
LayoutError PrepareFolderRecords(FolderLayout& f, const NamingOptions& options) {
    for (DirectoryRecord& r : f.records) {
        const bool videoCdFile = options.videoCd && r.kind == RecordKind::File;
        const uint32_t xa = options.videoCd ? kVideoCdXaBytes : 0;
        uint32_t n = uint32_t(r.isoId.size()) + (videoCdFile ? 2 : 0);
        r.isoLength = uint32_t(dr::RecordBytes(n)) + xa;
        if (r.kind == RecordKind::Dot || r.kind == RecordKind::DotDot) {
            r.jolietLength = uint32_t(dr::RecordBytes(1)) + xa;
        } else {
            uint32_t bytes = uint32_t(r.jolietId.size()) * 2 + (videoCdFile ? 4 : 0);
            r.jolietLength = uint32_t(dr::RecordBytes(bytes)) + xa;
        }
        if (r.isoLength > kMaxRecordBytes) return LayoutError::RecordTooLong;
        if (options.joliet && r.jolietLength > kMaxRecordBytes) return LayoutError::RecordTooLong;
    }
    auto rank = [](const DirectoryRecord& r) { return r.kind == RecordKind::Dot ? 0 : r.kind == RecordKind::DotDot ? 1 : 2; };
    f.isoOrder.resize(f.records.size());
    for (uint32_t i = 0; i < f.records.size(); ++i) f.isoOrder[i] = i;
    f.jolietOrder = f.isoOrder;
    std::stable_sort(f.isoOrder.begin(), f.isoOrder.end(), [&](uint32_t a, uint32_t b) {
        const DirectoryRecord &x = f.records[a], &y = f.records[b];
        if (rank(x) != rank(y)) return rank(x) < rank(y);
        return IsoRecordLess(x.isoId, y.isoId);
    });
    f.isoExtentBytes = ExtentBytes(f.records, f.isoOrder, false);
    if (options.joliet) {
        std::stable_sort(f.jolietOrder.begin(), f.jolietOrder.end(), [&](uint32_t a, uint32_t b) {
            const DirectoryRecord &x = f.records[a], &y = f.records[b];
            if (rank(x) != rank(y)) return rank(x) < rank(y);
            return JolietLess(x.jolietId, y.jolietId);
        });
        f.jolietExtentBytes = ExtentBytes(f.records, f.jolietOrder, true);
    }
    return LayoutError::None;
}

bool Excluded(const ImageItem* item) { return (item->flags & item_flag::kExcluded) != 0; }

NamingOptions OptionsOf(const ImageContext& ctx) {
    NamingOptions o;
    int32_t limit = ctx.isoNameLimit;
    o.iso.limit = (limit == 12 || limit == 30 || limit == kIsoNameLimit) ? limit : kIsoNameLimit;
    o.iso.allowLowerCase = ctx.allowLowerCase;
    o.jolietLimit = ctx.jolietNameLimit == 64 ? 64 : kJolietNameLimit;
    o.joliet = ctx.jolietLevel != 0;
    // The UDF names are the Joliet identifiers: they are made whenever UDF is written.
    o.udf = ctx.udfFlag || ctx.udfOnly || ctx.udfPresent;
    o.videoCd = ctx.videoCdKind != 0;
    return o;
}

void PutPathRecord(std::vector<uint8_t>& l, std::vector<uint8_t>& m, size_t& pos, const uint8_t* id, size_t idLen,
                   uint32_t extent, uint16_t parent) {
    uint8_t* a = l.data() + pos;
    uint8_t* b = m.data() + pos;
    a[0] = b[0] = uint8_t(idLen);
    a[1] = b[1] = 0;
    foundation::WriteLE32(a + 2, extent);
    foundation::WriteBE32(b + 2, extent);
    foundation::WriteLE16(a + 6, parent);
    foundation::WriteBE16(b + 6, parent);
    std::memcpy(a + 8, id, idLen);
    std::memcpy(b + 8, id, idLen);
    pos += 8 + idLen + (idLen % 2);
}

std::vector<uint8_t> JolietBytes(std::u16string_view id) {
    std::vector<uint8_t> out(id.size() * 2);
    for (size_t i = 0; i < id.size(); ++i) foundation::WriteBE16(out.data() + 2 * i, uint16_t(id[i]));
    return out;
}

// Path-table order: level by level, each folder's children after those of the
// folders numbered before it, children in identifier order.
LayoutError BuildOneTable(IsoLayout& layout, bool joliet) {
    std::vector<FolderLayout*>& order = joliet ? layout.jolietPathOrder : layout.isoPathOrder;
    order.clear();
    FolderLayout* root = layout.folders.front().get();
    order.push_back(root);
    for (size_t i = 0; i < order.size(); ++i) {
        if (order.size() > kMaxPathTableFolders) return LayoutError::TooManyFolders;
        FolderLayout* f = order[i];
        (joliet ? f->jolietNumber : f->isoNumber) = uint32_t(i + 1);
        std::vector<FolderLayout*> children;
        for (const DirectoryRecord& r : f->records) {
            if (r.kind != RecordKind::Folder) continue;
            auto it = layout.byFolder.find(r.subfolder);
            if (it != layout.byFolder.end()) children.push_back(it->second);
        }
        std::sort(children.begin(), children.end(), [joliet](const FolderLayout* a, const FolderLayout* b) {
            return joliet ? JolietLess(a->jolietId, b->jolietId) : IsoPathLess(a->isoId, b->isoId);
        });
        order.insert(order.end(), children.begin(), children.end());
    }
    if (order.size() > kMaxPathTableFolders) return LayoutError::TooManyFolders;

    const uint32_t predicted = joliet ? layout.jolietPathTableBytes : layout.isoPathTableBytes;
    std::vector<uint8_t>& l = joliet ? layout.jolietPathL : layout.isoPathL;
    std::vector<uint8_t>& m = joliet ? layout.jolietPathM : layout.isoPathM;
    l.assign(RoundUpToSector(predicted), 0);
    m.assign(l.size(), 0);
    size_t pos = 0;
    for (FolderLayout* f : order) {
        const uint8_t rootId = 0;
        std::vector<uint8_t> id;
        if (f == root) id.assign(&rootId, &rootId + 1);
        else if (joliet) id = JolietBytes(f->jolietId);
        else id.assign(f->isoId.begin(), f->isoId.end());
        size_t need = 8 + id.size() + (id.size() % 2);
        if (pos + need > l.size()) return LayoutError::PathTableMismatch;
        uint32_t extent = joliet ? f->jolietExtentSector : f->isoExtentSector;
        uint32_t parent = joliet ? f->parent->jolietNumber : f->parent->isoNumber;
        PutPathRecord(l, m, pos, id.data(), id.size(), extent, uint16_t(parent));
    }
    if (pos != predicted) return LayoutError::PathTableMismatch;
    return LayoutError::None;
}

}  // namespace

const char16_t* LayoutErrorText(LayoutError error) {
    switch (error) {
        case LayoutError::None: return u"";
        case LayoutError::Cancelled: return u"The operation was cancelled.";
        case LayoutError::NoUniqueName: return u"A folder holds too many entries whose names cannot be told apart.";
        case LayoutError::RecordTooLong: return u"A name is too long for its directory record.";
        case LayoutError::TooManyFolders: return u"The image would hold more than 65535 folders.";
        case LayoutError::PathTableMismatch: return u"The path table could not be built.";
    }
    return u"";
}

int PrepareTreeForWrite(ImageContext& ctx, IsoLayout& layout, foundation::ProgressCallbacks* progress,
                        LayoutError* error) {
    LayoutError dummy;
    if (!error) error = &dummy;
    *error = LayoutError::None;
    layout = IsoLayout();
    if (!ctx.rootFolder) {
        *error = LayoutError::PathTableMismatch;
        return 0;
    }
    const NamingOptions options = OptionsOf(ctx);
    layout.joliet = options.joliet;
    layout.videoCd = options.videoCd;

    // Depth-first pre-order with an explicit stack; children in ISO record order.
    struct Pending {
        ImageFolder* folder;
        FolderLayout* parent;
        std::string isoId;
        std::u16string jolietId;
    };
    std::vector<Pending> stack{{ctx.rootFolder, nullptr, std::string(1, '\0'), std::u16string(1, u'\0')}};
    uint64_t isoTable = 0, jolietTable = 0;
    while (!stack.empty()) {
        Pending p = std::move(stack.back());
        stack.pop_back();
        auto owned = std::make_unique<FolderLayout>();
        FolderLayout* f = owned.get();
        f->folder = p.folder;
        f->parent = p.parent ? p.parent : f;
        f->isoId = std::move(p.isoId);
        f->jolietId = std::move(p.jolietId);
        if (!layout.byFolder.emplace(p.folder, f).second) {
            // A folder reached twice means a damaged tree; never loop on it.
            *error = LayoutError::PathTableMismatch;
            return 0;
        }
        layout.folders.push_back(std::move(owned));
        if (layout.folders.size() > kMaxPathTableFolders) {
            *error = LayoutError::TooManyFolders;
            return 0;
        }
        ImageItem* self = p.folder->ownItem ? p.folder->ownItem : &ctx.rootItem;
        ImageItem* parentItem = f->parent->folder->ownItem ? f->parent->folder->ownItem : &ctx.rootItem;
        f->records.push_back({RecordKind::Dot, self, p.folder, std::string(1, '\0'), std::u16string(1, u'\0')});
        f->records.push_back(
            {RecordKind::DotDot, parentItem, f->parent->folder, std::string(1, '\1'), std::u16string(1, u'\1')});
        for (ImageItem* item = p.folder->firstItem; item; item = item->next) {
            if (IsDotOrDotDot(item) || Excluded(item)) continue;
            if (IsFolderItem(item)) {
                if (!item->ownFolder || (item->ownFolder->flags & folder_flag::kExcluded)) continue;
                f->records.push_back({RecordKind::Folder, item, item->ownFolder, {}, {}});
            } else {
                f->records.push_back({RecordKind::File, item, nullptr, {}, {}});
            }
        }
        *error = AssignFolderNames(*f, options, progress);
        if (*error == LayoutError::None) *error = PrepareFolderRecords(*f, options);
        if (*error != LayoutError::None) return 0;
        if (p.parent) {
            isoTable += 8 + f->isoId.size() + (f->isoId.size() % 2);
            jolietTable += 8 + f->jolietId.size() * 2;
        } else {
            // The root's entry: 8 bytes, its one-byte identifier and a pad byte.
            isoTable += 10;
            jolietTable += 10;
        }
        for (auto it = f->isoOrder.rbegin(); it != f->isoOrder.rend(); ++it) {
            const DirectoryRecord& r = f->records[*it];
            if (r.kind == RecordKind::Folder) stack.push_back({r.subfolder, f, r.isoId, r.jolietId});
        }
    }
    if (isoTable > UINT32_MAX || jolietTable > UINT32_MAX) {
        *error = LayoutError::TooManyFolders;
        return 0;
    }
    layout.isoPathTableBytes = uint32_t(isoTable);
    layout.jolietPathTableBytes = options.joliet ? uint32_t(jolietTable) : 0;
    return 1;
}

int AllocateDirectoryExtents(IsoLayout& layout, uint32_t& next, LayoutError* error) {
    LayoutError dummy;
    if (!error) error = &dummy;
    *error = LayoutError::None;
    if (layout.folders.empty()) return 0;
    const uint32_t isoTableSectors = SectorsFor(layout.isoPathTableBytes);
    layout.isoPathLSector = next;
    next += isoTableSectors;
    layout.isoPathMSector = next;
    next += isoTableSectors;
    if (layout.joliet) {
        const uint32_t jolietTableSectors = SectorsFor(layout.jolietPathTableBytes);
        layout.jolietPathLSector = next;
        next += jolietTableSectors;
        layout.jolietPathMSector = next;
        next += jolietTableSectors;
    }
    for (auto& f : layout.folders) {
        f->isoExtentSector = next;
        next += std::max<uint32_t>(1, SectorsFor(f->isoExtentBytes));
    }
    if (layout.joliet) {
        for (auto& f : layout.folders) {
            f->jolietExtentSector = next;
            next += std::max<uint32_t>(1, SectorsFor(f->jolietExtentBytes));
        }
    }
    return 1;
}

int BuildPathTables(IsoLayout& layout, LayoutError* error) {
    LayoutError dummy;
    if (!error) error = &dummy;
    *error = BuildOneTable(layout, false);
    if (*error == LayoutError::None && layout.joliet) *error = BuildOneTable(layout, true);
    return *error == LayoutError::None ? 1 : 0;
}

namespace {

void PutRecordDate(const ImageContext& ctx, const ImageItem* item, uint8_t* out) {
    int64_t seconds = item ? int64_t(item->time) : 0;
    if (seconds == 0) seconds = ctx.fixedItemTime;
    if (seconds != 0 && foundation::UnixTimeToIsoRecordDate(seconds, std::span<uint8_t>(out, 7))) return;
    if (item) std::memcpy(out, item->recordHeader.data() + dr::kDate, dr::kDateBytes);
    // An entry with no time at all (a new folder, the root of a new document)
    // would read as the year 1900: it takes the document's own time instead.
    if (std::all_of(out, out + 7, [](uint8_t b) { return b == 0; })) {
        int64_t fallback = ctx.rootTime != 0 ? ctx.rootTime : ctx.creationTime != 0 ? ctx.creationTime : time(nullptr);
        foundation::UnixTimeToIsoRecordDate(fallback, std::span<uint8_t>(out, 7));
    }
}

uint8_t VideoCdFileNumber(const DirectoryRecord& r) {
    if (IsVideoCdTrackFile(r.item)) return uint8_t(r.item->sourceMarker - kVideoCdMarker);
    const std::u16string& n = r.item->name;
    if (platform::EqualsNoCase(n, u"PSD_X.VCD") || platform::EqualsNoCase(n, u"LOT_X.VCD") ||
        platform::EqualsNoCase(n, u"SCANDATA.DAT"))
        return 1;
    return 0;
}

}  // namespace

void WriteDirectoryExtent(const ImageContext& ctx, const IsoLayout& layout, const FolderLayout& f, bool joliet,
                          DataStartOf dataStart, const void* dataContext, std::vector<uint8_t>& out) {
    const uint32_t bytes = joliet ? f.jolietExtentBytes : f.isoExtentBytes;
    out.assign(std::max<uint32_t>(kSectorBytes, RoundUpToSector(bytes)), 0);
    const std::vector<uint32_t>& order = joliet ? f.jolietOrder : f.isoOrder;
    size_t pos = 0;
    for (uint32_t index : order) {
        const DirectoryRecord& r = f.records[index];
        const uint32_t len = joliet ? r.jolietLength : r.isoLength;
        if (pos % kSectorBytes + len > kSectorBytes) pos = RoundUpToSector(pos);
        if (pos + len > out.size()) break;   // cannot happen: the extent was sized from the same records
        uint8_t* rec = out.data() + pos;
        uint32_t extent = 0, size = 0;
        bool directory = r.kind != RecordKind::File;
        const FolderLayout* target = nullptr;
        if (r.kind == RecordKind::Dot) target = &f;
        else if (r.kind == RecordKind::DotDot) target = f.parent;
        else if (r.kind == RecordKind::Folder) {
            auto it = layout.byFolder.find(r.subfolder);
            target = it == layout.byFolder.end() ? nullptr : it->second;
        }
        if (target) {
            extent = joliet ? target->jolietExtentSector : target->isoExtentSector;
            size = std::max<uint32_t>(kSectorBytes,
                                      RoundUpToSector(joliet ? target->jolietExtentBytes : target->isoExtentBytes));
        } else if (!directory) {
            size = uint32_t(r.item->size);
            extent = r.item->size > 0 ? dataStart(dataContext, r.item) : 0;
        }
        rec[dr::kLength] = uint8_t(len);
        rec[dr::kExtAttrLength] = 0;
        foundation::WriteBothEndian32(rec + dr::kExtent, extent);
        foundation::WriteBothEndian32(rec + dr::kDataLength, size);
        PutRecordDate(ctx, r.item, rec + dr::kDate);
        // Only the hidden bit is kept from a read record: a multi-extent or
        // associated mark would describe extents this image does not have.
        uint8_t flags = uint8_t(r.item->recordHeader[dr::kFlags] & dirflag::kHidden);
        if (r.kind == RecordKind::Dot || r.kind == RecordKind::DotDot) flags = 0;
        if (directory) flags |= dirflag::kDirectory;
        rec[dr::kFlags] = flags;
        rec[dr::kUnitSize] = rec[dr::kGapSize] = 0;
        foundation::WriteBothEndian16(rec + dr::kVolumeSequence, 1);
        const bool videoCdFile = layout.videoCd && r.kind == RecordKind::File;
        uint8_t* id = rec + dr::kName;
        size_t idLen = 0;
        if (r.kind == RecordKind::Dot || r.kind == RecordKind::DotDot) {
            id[0] = r.kind == RecordKind::Dot ? 0 : 1;
            idLen = 1;
        } else if (joliet) {
            std::vector<uint8_t> be = JolietBytes(r.jolietId);
            std::memcpy(id, be.data(), be.size());
            idLen = be.size();
            if (videoCdFile) {
                const uint8_t suffix[4] = {0x00, 0x3B, 0x00, 0x31};
                std::memcpy(id + idLen, suffix, 4);
                idLen += 4;
            }
        } else {
            std::memcpy(id, r.isoId.data(), r.isoId.size());
            idLen = r.isoId.size();
            if (videoCdFile) {
                id[idLen++] = ';';
                id[idLen++] = '1';
            }
        }
        rec[dr::kNameLength] = uint8_t(idLen);
        const size_t xaAt = dr::RecordBytes(idLen);
        if (layout.videoCd) {
            uint8_t* xa = rec + xaAt;
            std::memset(xa, 0, kVideoCdXaBytes);
            xa[4] = directory ? 0x8D : IsVideoCdTrackFile(r.item) ? 0x15 : 0x0D;
            xa[5] = 0x55;
            xa[6] = 'X';
            xa[7] = 'A';
            xa[8] = directory ? 0 : VideoCdFileNumber(r);
        }
        pos += len;
    }
}

void BuildRootRecord(const IsoLayout& layout, bool joliet, int64_t rootTime, uint8_t out[dr::kMinRecordBytes]) {
    std::memset(out, 0, dr::kMinRecordBytes);
    const FolderLayout& root = *layout.folders.front();
    out[dr::kLength] = dr::kMinRecordBytes;
    foundation::WriteBothEndian32(out + dr::kExtent, joliet ? root.jolietExtentSector : root.isoExtentSector);
    foundation::WriteBothEndian32(
        out + dr::kDataLength,
        std::max<uint32_t>(kSectorBytes, RoundUpToSector(joliet ? root.jolietExtentBytes : root.isoExtentBytes)));
    if (rootTime != 0) {
        foundation::UnixTimeToIsoRecordDate(rootTime, std::span<uint8_t>(out + dr::kDate, dr::kDateBytes));
    }
    out[dr::kFlags] = dirflag::kDirectory;
    foundation::WriteBothEndian16(out + dr::kVolumeSequence, 1);
    out[dr::kNameLength] = 1;
    out[dr::kName] = 0;   // the root's identifier is the "." byte
}

}  // namespace image
