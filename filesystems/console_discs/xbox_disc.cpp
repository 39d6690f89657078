// Xbox discs (XDVDFS): the volume descriptor and the directory tree. Each
// directory is a binary tree of entries linked by offsets inside the
// directory; it is walked from its first entry with a stack and a visited set,
// so every entry is read once whatever the links say, and directories are
// read from a work list, each sector range once.

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <new>
#include <unordered_set>
#include <vector>

#include "filesystems/console_discs/console_discs.h"
#include "foundation/byte_cursor.h"
#include "foundation/byte_order.h"
#include "foundation/operation_status.h"
#include "image/detect/quiet_read_scope.h"
#include "image/document/item_tree.h"
#include "image/document/text_conversions.h"
#include "image/iso/iso_record_layout.h"
#include "image/sectors/sector_io.h"

namespace filesystems {
namespace {

using image::ImageFolder;
using image::ImageItem;

constexpr size_t kSectorBytes = 2048;
// Volume descriptor, sector 32.
constexpr int32_t kDescriptorSector = 32;
constexpr char kIdentifier[] = "MICROSOFT*XBOX*MEDIA";
constexpr size_t kIdentifierBytes = 20;
constexpr size_t kSecondIdentifier = 2028;
constexpr size_t kRootSector = 20;
constexpr size_t kRootSize = 24;
// Directory entry (little-endian).
constexpr size_t kLeft = 0;                // 4-byte units from the directory's start; 0 none
constexpr size_t kRight = 2;
constexpr size_t kStartSector = 4;
constexpr size_t kFileSize = 8;
constexpr size_t kAttributes = 12;
constexpr size_t kNameLength = 13;
constexpr size_t kName = 14;
constexpr uint16_t kPadding = 0xFFFF;
constexpr uint8_t kDirectoryAttribute = 0x10;
// Real directories stay far below this; a larger size is damage.
constexpr uint32_t kMaxDirectoryBytes = 16u << 20;
constexpr int32_t kMaxDepth = 255;

struct Pending {
    ImageFolder* folder;
    uint32_t sector;
    uint32_t size;
};

bool ReadDirectory(image::ImageContext& ctx, uint32_t sector, uint32_t size, std::vector<uint8_t>& out) {
    if (size == 0 || size > kMaxDirectoryBytes || sector > uint32_t(INT32_MAX)) return false;
    const uint64_t sectors = (uint64_t(size) + kSectorBytes - 1) / kSectorBytes;
    const int64_t end = ctx.endSectorOverride != 0 ? ctx.endSectorOverride : ctx.endSector;
    if (end > 0 && uint64_t(sector) + sectors > uint64_t(end)) return false;
    out.assign(size_t(sectors * kSectorBytes), 0);
    return image::ReadImageSectors(ctx, int32_t(sector), out.data(), int32_t(sectors)) == int32_t(sectors);
}

class XboxWalk {
public:
    explicit XboxWalk(image::ImageContext& ctx) : ctx_(ctx) {}

    bool Run() {
        queue_.push_back({ctx_.rootFolder, uint32_t(ctx_.xboxRootSector), uint32_t(ctx_.xboxRootSize)});
        seen_.insert(uint32_t(ctx_.xboxRootSector));
        bool whole = true;
        std::vector<uint8_t> bytes;
        while (!queue_.empty()) {
            const Pending p = queue_.front();
            queue_.pop_front();
            if (!ReadDirectory(ctx_, p.sector, p.size, bytes)) {
                whole = false;
                continue;
            }
            if (!WalkEntries(p.folder, std::span<const uint8_t>(bytes.data(), p.size))) return false;
        }
        return whole && !damaged_;
    }

private:
    // The entries of one directory, both subtrees of each. False when memory runs out.
    bool WalkEntries(ImageFolder* folder, std::span<const uint8_t> dir) {
        foundation::ByteCursor c(dir);
        std::vector<uint32_t> stack{0};
        std::unordered_set<uint32_t> visited;
        while (!stack.empty()) {
            const uint32_t at = stack.back();
            stack.pop_back();
            if (!visited.insert(at).second) {
                damaged_ = true;   // a link back to an entry already read
                continue;
            }
            auto head = c.Sub(at, kName);
            if (!head || head->Le16(kLeft) == kPadding) {
                damaged_ = true;
                continue;
            }
            const size_t nameLength = head->U8(kNameLength);
            // An entry never crosses its sector.
            if (nameLength == 0 || at % kSectorBytes + kName + nameLength > kSectorBytes || !c.Has(at, kName + nameLength)) {
                damaged_ = true;
                continue;
            }
            for (const uint16_t link : {head->Le16(kRight), head->Le16(kLeft)}) {
                if (link != 0 && link != kPadding) stack.push_back(uint32_t(link) * 4);
            }
            if (!AddEntry(folder, *head, c.Span(at + kName, nameLength).value())) return false;
        }
        return true;
    }

    bool AddEntry(ImageFolder* parent, const foundation::ByteCursor& head, std::span<const uint8_t> nameBytes) {
        const std::u16string name = image::MultiByteToWideText(
            std::string_view(reinterpret_cast<const char*>(nameBytes.data()), nameBytes.size()), image::kAnsiCodePage);
        if (name.empty()) return true;
        const bool directory = (head.U8(kAttributes) & kDirectoryAttribute) != 0;
        const uint32_t start = head.Le32(kStartSector);
        const uint32_t size = head.Le32(kFileSize);
        if (directory && (parent->depth >= kMaxDepth || !seen_.insert(start).second)) {
            damaged_ = true;
            return true;
        }
        ImageItem* item = image::NewItem();
        if (!item) return false;
        try {
            item->name.AssignInArena(ctx_.nameArena, name);
            uint8_t* rec = item->recordHeader.data();
            foundation::WriteBothEndian32(rec + image::dr::kDataLength, size);
            foundation::WriteBothEndian32(rec + image::dr::kExtent, start);
            foundation::WriteBothEndian16(rec + image::dr::kVolumeSequence, 1);
            rec[image::dr::kFlags] = directory ? image::dirflag::kDirectory : 0;
            item->startSector = start;
            item->size = directory ? 0 : size;
        } catch (const std::bad_alloc&) {
            image::FreeItem(&ctx_, item);
            return false;
        }
        image::LinkItemAtHead(parent, item);
        if (!directory) return true;
        ImageFolder* folder = image::NewFolderRecord();
        if (!folder) return false;
        folder->ownItem = item;
        item->ownFolder = folder;
        image::AppendSubfolder(parent, folder);
        try {
            folder->path = image::JoinFolderPath(parent, item->name);
            // An empty directory has size 0 and nothing to read.
            if (size != 0) queue_.push_back({folder, start, size});
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    image::ImageContext& ctx_;
    std::deque<Pending> queue_;
    std::unordered_set<uint32_t> seen_;
    bool damaged_ = false;
};

}  // namespace

int DetectXboxDisc(image::ImageContext& ctx) {
    std::array<uint8_t, kSectorBytes> sector{};
    {
        image::QuietReadScope quiet(ctx);
        const bool read = image::ReadImageSectors(ctx, kDescriptorSector, sector.data(), 1) == 1;
        foundation::ResetOperationStatus();
        if (!read) return 0;
    }
    if (std::memcmp(sector.data(), kIdentifier, kIdentifierBytes) != 0) return 0;
    foundation::ByteCursor c(sector);
    ctx.xboxRootSector = int32_t(c.Le32(kRootSector));
    ctx.xboxRootSize = int32_t(c.Le32(kRootSize));
    if (std::memcmp(&sector[kSecondIdentifier], kIdentifier, kIdentifierBytes) != 0) return 0;
    return ctx.xboxRootSector != 0 && ctx.xboxRootSize != 0 ? 1 : 0;
}

int ReadXboxTree(image::ImageContext& ctx) {
    if (!ctx.rootFolder) return -1;
    image::QuietReadScope quiet(ctx);
    try {
        const bool whole = XboxWalk(ctx).Run();
        foundation::ResetOperationStatus();
        return whole ? 0 : -1;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

}  // namespace filesystems
