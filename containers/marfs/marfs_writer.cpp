#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <unordered_map>
#include <vector>

#include "codecs/crc32.h"
#include "containers/marfs/marfs_volume.h"
#include "containers/mzp/mzp_format.h"
#include "filesystems/udf/udf_descriptors.h"
#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "foundation/file_io.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/item_bytes.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "image/sectors/sector_io.h"
#include "image/sectors/sector_writers.h"
#include "platform/format.h"

namespace containers {
namespace {

constexpr uint32_t kSector = 2048;
constexpr size_t kStepBytes = 0x8000;
constexpr size_t kMaxNameUnits = (0xFFFF - kMarfsRecordHead) / 2;

void Fail(int32_t status) {
    if (foundation::OperationStatus.load() == foundation::kStatusNone) foundation::OperationStatus = status;
}

bool Listed(const image::ImageItem* item) {
    return item && !image::IsDotOrDotDot(item) && (item->flags & image::item_flag::kExcluded) == 0;
}

struct Layout {
    std::vector<image::ImageFolder*> folders;                     // pre-order
    std::unordered_map<const image::ImageFolder*, uint32_t> dirSector;
    std::unordered_map<const image::ImageFolder*, uint64_t> dirBytes;
    std::unordered_map<const image::ImageItem*, uint32_t> dataStart;   // never the items' own startSector
    uint64_t next = 1;
};

// Pre-order without recursion: a folder, then each sub-folder's subtree in order.
std::vector<image::ImageFolder*> PreOrder(image::ImageFolder* root) {
    std::vector<image::ImageFolder*> out;
    std::vector<image::ImageFolder*> stack{root};
    while (!stack.empty()) {
        image::ImageFolder* f = stack.back();
        stack.pop_back();
        out.push_back(f);
        std::vector<image::ImageFolder*> subs;
        for (image::ImageFolder* s = f->firstSubfolder; s; s = s->next)
            if (!s->ownItem || Listed(s->ownItem)) subs.push_back(s);
        for (auto it = subs.rbegin(); it != subs.rend(); ++it) stack.push_back(*it);
    }
    return out;
}

bool Checksum(image::ImageContext& ctx, const image::ImageItem* item, uint32_t& crc) {
    image::WriterItemSource src(ctx);
    if (!src.Open(item, true)) return false;
    std::vector<uint8_t> buf(kStepBytes);
    uint32_t state = 0;
    std::vector<uint8_t> joined;
    // CRC of the whole content, a step at a time: combine by hashing the
    // running value with each step.
    for (uint64_t at = 0; at < uint64_t(item->size); at += kStepBytes) {
        const size_t n = size_t(std::min<uint64_t>(kStepBytes, uint64_t(item->size) - at));
        if (!src.Read(at, buf.data(), n)) return false;
        uint8_t head[4];
        foundation::WriteLE32(head, state);
        joined.assign(head, head + 4);
        joined.insert(joined.end(), buf.begin(), buf.begin() + ptrdiff_t(n));
        state = codecs::Crc32(joined.data(), joined.size());
    }
    crc = state;
    return true;
}

bool SameContent(image::ImageContext& ctx, const image::ImageItem* a, const image::ImageItem* b) {
    image::WriterItemSource ra(ctx), rb(ctx);
    if (!ra.Open(a, true) || !rb.Open(b, true)) return false;
    std::vector<uint8_t> x(kStepBytes), y(kStepBytes);
    for (uint64_t at = 0; at < uint64_t(a->size); at += kStepBytes) {
        const size_t n = size_t(std::min<uint64_t>(kStepBytes, uint64_t(a->size) - at));
        if (!ra.Read(at, x.data(), n) || !rb.Read(at, y.data(), n)) return false;
        if (std::memcmp(x.data(), y.data(), n) != 0) return false;
    }
    return true;
}

std::vector<image::ImageItem*> ChildrenOf(image::ImageFolder* f) {
    std::vector<image::ImageItem*> out;
    for (image::ImageItem* item = f->firstItem; item; item = item->next)
        if (Listed(item)) out.push_back(item);
    return out;
}

bool PlanLayout(image::ImageContext& ctx, Layout& layout) {
    layout.folders = PreOrder(ctx.rootFolder);
    for (image::ImageFolder* f : layout.folders) {
        uint64_t bytes = 0;
        for (image::ImageItem* item : ChildrenOf(f)) {
            if (item->name.view().size() > kMaxNameUnits) {
                foundation::SetLastErrorText(u"A name is too long for the archive.");
                Fail(foundation::kStatusFailed);
                return false;
            }
            bytes += kMarfsRecordHead + 2 * item->name.view().size();
        }
        bytes = (bytes + kSector - 1) / kSector * kSector;
        layout.dirBytes[f] = bytes;
        layout.dirSector[f] = uint32_t(layout.next);
        layout.next += bytes / kSector;
    }
    // Files in the same folder order; equal contents share one run.
    std::map<std::pair<int64_t, uint32_t>, std::vector<const image::ImageItem*>> placed;
    for (image::ImageFolder* f : layout.folders) {
        for (image::ImageItem* item : ChildrenOf(f)) {
            if (image::IsFolderItem(item) || item->size <= 0) continue;
            
            uint32_t crc = 0;
            bool linked = false;
            if (ctx.fileSpaceOptimisation) {
                if (!Checksum(ctx, item, crc)) return false;
                for (const image::ImageItem* other : placed[{item->size, crc}]) {
                    if (SameContent(ctx, item, other)) {
                        layout.dataStart[item] = layout.dataStart[other];
                        linked = true;
                        break;
                    }
                }
            }
            if (linked) continue;
            layout.dataStart[item] = uint32_t(layout.next);
            layout.next += (uint64_t(item->size) + kSector - 1) / kSector;
            if (ctx.fileSpaceOptimisation) placed[{item->size, crc}].push_back(item);
            if (layout.next > uint64_t(INT32_MAX)) {
                foundation::SetLastErrorText(u"The image is too large.");
                Fail(foundation::kStatusFailed);
                return false;
            }
        }
    }
    return true;
}

void PutRecord(std::vector<uint8_t>& out, uint32_t first, uint64_t size, bool folder, uint32_t time,
               std::u16string_view name) {
    const size_t at = out.size();
    out.resize(at + kMarfsRecordHead + 2 * name.size(), 0);
    uint8_t* r = &out[at];
    foundation::WriteLE16(r, uint16_t(kMarfsRecordHead + 2 * name.size()));
    foundation::WriteLE32(r + 2, first);
    foundation::WriteLE64(r + 10, size);
    r[18] = folder ? kMarfsFolderFlag : 0;
    uint8_t date[7] = {};
    foundation::UnixTimeToIsoRecordDate(time, std::span<uint8_t>(date, 7));
    filesystems::UdfMakeTimestamp(r + 20, date);
    foundation::WriteLE16(r + 32, uint16_t(name.size() * 2));
    for (size_t i = 0; i < name.size(); ++i) foundation::WriteLE16(r + kMarfsRecordHead + 2 * i, name[i]);
}

class Sink {
public:
    Sink(image::ImageContext& ctx, foundation::ProgressCallbacks* progress) : ctx_(ctx), progress_(progress) {
        args_.progress = progress;
    }
    bool Put(const uint8_t* sectors, uint32_t count) {
        if (count == 0) return true;
        if (image::WriteImageSectors(ctx_, int32_t(next_), sectors, int32_t(count), args_) != int32_t(count)) {
            Fail(foundation::kStatusWriteFailed);
            return false;
        }
        next_ += count;
        if (progress_ && progress_->AddDone) progress_->AddDone(int64_t(count) * kSector);
        return true;
    }
    uint64_t Next() const { return next_; }

private:
    image::ImageContext& ctx_;
    foundation::ProgressCallbacks* progress_;
    image::WriterArguments args_;
    uint64_t next_ = 0;
};

}  // namespace

int WriteMarfsVolume(image::ImageContext& ctx, foundation::ProgressCallbacks* progress,
                     const std::function<bool()>& beforeWrite) {
    if (!ctx.rootFolder) return -1;
    Layout layout;
    try {
        if (!PlanLayout(ctx, layout)) {
            return foundation::OperationStatus.load() == foundation::kStatusCancelled ? 0 : -1;
        }
        const uint64_t total = layout.next;
        ctx.endSector = int32_t(total);
        if (beforeWrite && !beforeWrite()) return -1;
        if (progress && progress->SetTotal) progress->SetTotal(int64_t(total) * kSector);
        Sink sink(ctx, progress);

        std::vector<uint8_t> head(kSector, 0);
        std::memcpy(head.data(), "MARFSVO", 7);
        head[20] = 35;
        foundation::WriteLE32(&head[22], 1);
        foundation::WriteLE64(&head[30], layout.dirBytes[ctx.rootFolder]);
        const std::u16string& label = ctx.volumeTexts[image::volume_text::kVolumeLabel];
        size_t chars = std::min(label.size(), kMarfsLabelChars);
        // Never half a surrogate pair at the cut.
        if (chars > 0 && chars < label.size() && label[chars - 1] >= 0xD800 && label[chars - 1] <= 0xDBFF) --chars;
        for (size_t i = 0; i < chars; ++i) foundation::WriteLE16(&head[kMarfsLabelOffset + 2 * i], label[i]);
        if (!sink.Put(head.data(), 1)) return -1;

        std::vector<uint8_t> dir;
        for (image::ImageFolder* f : layout.folders) {
            dir.clear();
            for (image::ImageItem* item : ChildrenOf(f)) {
                if (image::IsFolderItem(item) && item->ownFolder) {
                    PutRecord(dir, layout.dirSector[item->ownFolder], layout.dirBytes[item->ownFolder], true,
                              item->time, item->name.view());
                } else {
                    const auto it = layout.dataStart.find(item);
                    PutRecord(dir, it == layout.dataStart.end() ? 0 : it->second, uint64_t(std::max<int64_t>(item->size, 0)),
                              false, item->time, item->name.view());
                }
            }
            dir.resize(size_t(layout.dirBytes[f]), 0);
            if (sink.Next() != layout.dirSector[f] || !sink.Put(dir.data(), uint32_t(dir.size() / kSector))) return -1;
        }

        std::vector<uint8_t> slice(kStepBytes);
        for (image::ImageFolder* f : layout.folders) {
            for (image::ImageItem* item : ChildrenOf(f)) {
                if (image::IsFolderItem(item) || item->size <= 0) continue;
                const uint32_t start = layout.dataStart[item];
                if (start != sink.Next()) {
                    if (start < sink.Next()) continue;   // shares an earlier file's run
                    foundation::SetLastErrorText(u"The archive layout is inconsistent.");
                    Fail(foundation::kStatusWriteFailed);
                    return -1;
                }
                if (progress && progress->SetCurrentItem) progress->SetCurrentItem(item->name.view());
                image::WriterItemSource src(ctx);
                if (!src.Open(item, true)) return -1;
                for (uint64_t at = 0; at < uint64_t(item->size); at += kStepBytes) {
                    if (image::WaitIfPaused(progress) == 0) {
                        Fail(foundation::kStatusCancelled);
                        return 0;
                    }
                    const size_t n = size_t(std::min<uint64_t>(kStepBytes, uint64_t(item->size) - at));
                    const size_t padded = (n + kSector - 1) / kSector * kSector;
                    if (!src.Read(at, slice.data(), padded)) return -1;
                    if (!sink.Put(slice.data(), uint32_t(padded / kSector))) return -1;
                }
            }
        }
        // Every sector was written: a slip would otherwise drop data unseen.
        if (sink.Next() != total) {
            foundation::SetLastErrorText(u"The archive layout is inconsistent.");
            Fail(foundation::kStatusWriteFailed);
            return -1;
        }
    } catch (const std::bad_alloc&) {
        Fail(foundation::kStatusOutOfMemory);
        return -1;
    }
    return 1;
}

}  // namespace containers
