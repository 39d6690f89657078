#include "filesystems/ntfs/ntfs_tree.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "filesystems/ntfs/ntfs_file.h"
#include "filesystems/ntfs/ntfs_layout.h"
#include "filesystems/ntfs/ntfs_state.h"
#include "foundation/dates.h"
#include "image/document/item_tree.h"

namespace filesystems {
namespace {

constexpr uint32_t kNone = UINT32_MAX;
// NTFS cannot hold a file of more than 2^48 bytes; a larger size is damage.
constexpr uint64_t kMaxDataBytes = uint64_t{1} << 48;

// What the listing keeps of one record after its single parse.
struct Entry {
    uint64_t dataBytes = 0;
    const uint8_t* name = nullptr;   // UTF-16LE, inside the table
    uint32_t parent = kNone;
    uint32_t firstChild = kNone;
    uint32_t nextSibling = kNone;
    uint32_t time = 0;
    uint16_t sequence = 0;
    uint16_t parentSequence = 0;
    uint8_t nameUnits = 0;
    bool listed = false;             // in use, a base record, named
    bool directory = false;
    bool compressed = false;
};

uint32_t ItemTime(uint64_t fileTime) {
    const int64_t t = foundation::FileTimeToUnixTime(foundation::FileTimeFromTicks(fileTime));
    return t <= 0 ? 0 : t >= int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(t);
}

bool IsDotName(const Entry& e) {
    return (e.nameUnits == 1 && e.name[0] == '.' && e.name[1] == 0) ||
           (e.nameUnits == 2 && e.name[0] == '.' && e.name[1] == 0 && e.name[2] == '.' && e.name[3] == 0);
}

void EmptyRoot(image::ImageContext& ctx) {
    image::ImageFolder* root = ctx.rootFolder;
    for (image::ImageFolder* sub = root->firstSubfolder; sub;) {
        image::ImageFolder* next = sub->next;
        image::FreeFolderTree(&ctx, sub);
        sub = next;
    }
    root->firstSubfolder = nullptr;
    root->lastSubfolder = nullptr;
    image::FreeFolderContents(&ctx, root);
}

class TreeBuilder {
public:
    explicit TreeBuilder(image::ImageContext& ctx) : ctx_(ctx), volume_(*ctx.ntfsState.get()) {}

    bool Build() {
        const uint64_t count = std::min<uint64_t>(volume_.recordCount, kNone);
        entries_.resize(count);
        ParseAll(count);
        const uint32_t root = FindRoot(count);
        if (root == kNone) return false;
        LinkChildren(count, root);
        return MakeItems(root);
    }

private:
    void ParseAll(uint64_t count) {
        NtfsFileFacts facts;
        std::vector<uint8_t> listBuffer;
        for (uint64_t n = 0; n < count; ++n) {
            if (!ReadNtfsFile(ctx_, n, facts, listBuffer)) continue;
            if (!facts.inUse || facts.baseRecord != 0 || !facts.haveName) continue;
            Entry& e = entries_[n];
            const uint64_t parent = facts.parentReference & ntfs_layout::kRecordNumberMask;
            if (parent >= count) continue;
            e.parent = static_cast<uint32_t>(parent);
            e.parentSequence = static_cast<uint16_t>(facts.parentReference >> 48);
            e.sequence = facts.sequence;
            e.name = facts.name.data();
            e.nameUnits = static_cast<uint8_t>(facts.name.size() / 2);
            e.directory = facts.directory;
            e.compressed = (facts.fileAttributes & ntfs_layout::stdinfo::kCompressed) != 0;
            e.time = ItemTime(facts.modificationFileTime);
            for (const NtfsDataPiece& piece : facts.data) {
                if (piece.resident || piece.lowestVcn == 0) {
                    e.dataBytes = piece.dataBytes;
                    break;
                }
            }
            if (e.dataBytes >= kMaxDataBytes) continue;
            e.listed = true;
        }
    }

    uint32_t FindRoot(uint64_t count) const {
        for (uint32_t n = 0; n < std::min<uint64_t>(count, ntfs_layout::kFirstUserRecord); ++n) {
            const Entry& e = entries_[n];
            if (e.listed && e.directory && e.nameUnits == 1 && e.name[0] == '.' && e.name[1] == 0) return n;
        }
        return kNone;
    }

    // Children lists in record order. A child whose parent reference carries
    // another sequence number than the parent's record belongs to a folder
    // that was deleted; it is not shown elsewhere.
    void LinkChildren(uint64_t count, uint32_t root) {
        for (uint64_t i = count; i-- > ntfs_layout::kFirstUserRecord;) {
            Entry& e = entries_[i];
            if (!e.listed || e.parent == i || i == root) continue;
            const Entry& p = entries_[e.parent];
            if (!p.listed || !p.directory) continue;
            if (e.parentSequence != 0 && e.parentSequence != p.sequence) continue;
            e.nextSibling = p.firstChild;
            entries_[e.parent].firstChild = static_cast<uint32_t>(i);
        }
    }

    // From the root down, a work list of folders. Every record has one
    // parent, so each is reached at most once, and records whose parents
    // form a loop are never reached.
    bool MakeItems(uint32_t root) {
        struct Work {
            uint32_t record;
            image::ImageFolder* folder;
        };
        std::vector<Work> work{{root, ctx_.rootFolder}};
        // Every folder keeps its whole path: bounded by the table's own size
        // so that a chain of long names cannot multiply it.
        uint64_t pathBudget = volume_.mftTable.size() * 4 + (1u << 20);
        std::array<char16_t, 255> units;
        while (!work.empty()) {
            const Work w = work.back();
            work.pop_back();
            for (uint32_t c = entries_[w.record].firstChild; c != kNone; c = entries_[c].nextSibling) {
                const Entry& e = entries_[c];
                if (IsDotName(e)) continue;
                for (size_t i = 0; i < e.nameUnits; ++i) {
                    units[i] = static_cast<char16_t>(e.name[2 * i] | (e.name[2 * i + 1] << 8));
                }
                const std::u16string_view name(units.data(), e.nameUnits);
                if (e.directory) {
                    const uint64_t pathUnits = w.folder->path.size() + 1 + name.size();
                    if (w.folder->depth >= kMaxNtfsFolderDepth || pathUnits > pathBudget) continue;
                    pathBudget -= pathUnits;
                }
                image::ImageItem* item = image::NewItem();
                if (!item) return false;
                item->name.AssignInArena(ctx_.nameArena, name);
                item->startSector = c;
                item->time = e.time;
                foundation::UnixTimeToIsoRecordDate(
                    e.time, std::span<uint8_t>(item->recordHeader).subspan(image::dr::kDate, image::dr::kDateBytes));
                image::LinkItemAtHead(w.folder, item);
                if (!e.directory) {
                    item->size = static_cast<int64_t>(e.dataBytes);
                    if (e.compressed) item->EditSide().highlight = 1;
                    continue;
                }
                item->recordHeader[image::dr::kFlags] = image::dirflag::kDirectory;
                item->kindByte = 2;
                image::ImageFolder* folder = image::NewFolderRecord();
                if (!folder) return false;
                folder->ownItem = item;
                item->ownFolder = folder;
                image::AppendSubfolder(w.folder, folder);
                folder->path = image::JoinFolderPath(w.folder, name);
                work.push_back({c, folder});
            }
        }
        return true;
    }

    image::ImageContext& ctx_;
    const image::NtfsState& volume_;
    std::vector<Entry> entries_;
};

}  // namespace

bool BuildNtfsTree(image::ImageContext& ctx) {
    if (!ctx.ntfsState || !ctx.rootFolder) return false;
    bool built = false;
    try {
        built = TreeBuilder(ctx).Build();
    } catch (const std::bad_alloc&) {
        built = false;
    }
    if (!built) EmptyRoot(ctx);
    return built;
}

}  // namespace filesystems
