#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "containers/marfs/marfs_volume.h"
#include "containers/mzp/mzp_format.h"
#include "filesystems/udf/udf_descriptors.h"
#include "foundation/byte_order.h"
#include "foundation/messages.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sectors/sector_io.h"

namespace containers {
namespace {

constexpr char kMagic[] = "MARFSVO";
constexpr uint64_t kMaxDirectoryBytes = uint64_t(256) << 20;
constexpr int32_t kMaxDepth = 256;
constexpr uint64_t kMaxItems = 4u << 20;

void FreeVolume(image::MarfsVolume* v) { delete v; }

struct PendingDirectory {
    image::ImageFolder* folder;
    uint32_t firstSector;
    uint64_t size;
    int32_t depth;
};

bool ValidName(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c == u'/' || c == 0) return false;
    return true;
}

}  // namespace

int DetectMarfsVolume(image::ImageContext& ctx) {
    if (ctx.formatCode != image::format_code::kMzp) return 0;
    uint8_t sector[2048];
    if (image::ReadImageSectors(ctx, 0, sector, 1) != 1) return 0;
    if (std::memcmp(sector, kMagic, 7) != 0) return 0;
    auto volume = std::make_unique<image::MarfsVolume>();
    std::memcpy(volume->rootRecord.data(), sector + 20, 35);
    std::u16string label;
    for (size_t i = 0; i < kMarfsLabelChars; ++i) {
        const char16_t c = char16_t(foundation::ReadLE16(sector + kMarfsLabelOffset + 2 * i));
        if (c == 0) break;
        label += c;
    }
    ctx.volumeTexts[image::volume_text::kVolumeLabel] = label;
    ctx.marfsVolume.Attach(volume.release(), FreeVolume);
    return 1;
}

int LoadMarfsTree(image::ImageContext& ctx) {
    if (!ctx.marfsVolume || !ctx.rootFolder) return -1;
    const uint8_t* root = ctx.marfsVolume->rootRecord.data();
    const uint64_t totalSectors = uint64_t(ctx.endSector > 0 ? ctx.endSector : 0);
    std::vector<PendingDirectory> work;
    work.push_back({ctx.rootFolder, foundation::ReadLE32(root + 2), foundation::ReadLE64(root + 10), 0});
    std::unordered_set<uint32_t> visited;
    uint64_t items = 0;
    bool rootDone = false;
    std::vector<uint8_t> bytes;
    while (!work.empty()) {
        const PendingDirectory dir = work.back();
        work.pop_back();
        const bool isRoot = !rootDone;
        rootDone = true;
        const uint64_t sectors = (dir.size + 2047) / 2048;
        if (sectors == 0) continue;   // an empty folder takes no sector (its number may be another's)
        // A directory must lie inside the volume, be of sane size and be
        // read once: a record pointing at an ancestor would loop for ever.
        if (dir.size > kMaxDirectoryBytes || dir.firstSector + sectors > totalSectors ||
            dir.firstSector == 0 || !visited.insert(dir.firstSector).second || dir.depth > kMaxDepth) {
            if (isRoot) return -1;
            ctx.warningBits |= int32_t(foundation::image_warning::kDirectoryError);
            continue;
        }
        try {
            bytes.assign(size_t(sectors) * 2048, 0);
        } catch (const std::bad_alloc&) {
            return -1;
        }
        if (sectors != 0 && image::ReadImageSectors(ctx, int32_t(dir.firstSector), bytes.data(), int32_t(sectors)) !=
                                int32_t(sectors)) {
            if (isRoot) return -1;
            ctx.warningBits |= int32_t(foundation::image_warning::kDirectoryError);
            continue;
        }
        size_t at = 0;
        const size_t end = size_t(dir.size);
        while (end - at >= 2) {
            const uint16_t length = foundation::ReadLE16(&bytes[at]);
            if (length == 0 || length > end - at) break;
            if (length < kMarfsRecordHead) {
                ctx.warningBits |= int32_t(foundation::image_warning::kDirectoryError);
                break;
            }
            const uint8_t* r = &bytes[at];
            at += length;
            const uint16_t nameBytes = foundation::ReadLE16(r + 32);
            if (nameBytes % 2 != 0 || nameBytes > length - kMarfsRecordHead) {
                ctx.warningBits |= int32_t(foundation::image_warning::kDirectoryError);
                continue;
            }
            std::u16string name(nameBytes / 2, u'\0');
            for (size_t i = 0; i < name.size(); ++i) name[i] = char16_t(foundation::ReadLE16(r + kMarfsRecordHead + 2 * i));
            const uint32_t first = foundation::ReadLE32(r + 2);
            const uint64_t size = foundation::ReadLE64(r + 10);
            const bool folder = (r[18] & kMarfsFolderFlag) != 0;
            const uint64_t runSectors = (size + 2047) / 2048;
            const bool runInside = size == 0 || (first < totalSectors && runSectors <= totalSectors - first);
            if (!ValidName(name) || !runInside || ++items > kMaxItems ||
                (!folder && size > uint64_t(INT64_MAX))) {
                ctx.warningBits |= int32_t(foundation::image_warning::kDirectoryError);
                continue;
            }
            std::array<uint8_t, 12> stamp;
            std::memcpy(stamp.data(), r + 20, 12);
            const int64_t seconds = filesystems::UdfTimestampToUnixTime(stamp);
            image::ImageItem* item = nullptr;
            if (folder) {
                image::ImageFolder* sub = image::MakeFolderNode(&ctx, dir.folder, name);
                if (!sub) return -1;
                item = sub->ownItem;
                work.push_back({sub, first, size, dir.depth + 1});
            } else {
                item = image::NewItem();
                if (!item) return -1;
                item->name = name;
                image::LinkItemAtHead(dir.folder, item);
                item->size = int64_t(size);
            }
            item->startSector = first;
            item->time = seconds > 0 && seconds <= int64_t(UINT32_MAX) ? uint32_t(seconds) : 0;
        }
    }
    return 0;
}

}  // namespace containers
