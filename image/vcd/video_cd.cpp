// Recognising Video CD and Super Video CD images, marking their tree, and
// building the tree of a Video CD project.

#include "image/vcd/video_cd.h"

#include <array>
#include <cstring>
#include <string>

#include "image/document/main_window_services.h"
#include "foundation/byte_cursor.h"
#include "image/build/add_disk_files.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/detect/quiet_read_scope.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "platform/format.h"

namespace image {
namespace {

using namespace video_cd;

constexpr size_t kRawFrameBytes = 2352;
constexpr size_t kModeByte = 15;
constexpr size_t kForm1UserData = 24;

// A Mode 2 frame whose user data begins with one of the texts.
bool Mode2FrameStartsWith(ImageContext& ctx, int64_t sector, std::initializer_list<const char*> texts) {
    std::array<uint8_t, kRawFrameBytes> frame{};
    if (sector < 0 || sector > INT32_MAX || ReadRawSectors(ctx, int32_t(sector), frame.data(), 1) != 1) return false;
    if (frame[kModeByte] != 2) return false;
    if (texts.size() == 0) return true;
    for (const char* text : texts)
        if (std::memcmp(frame.data() + kForm1UserData, text, 8) == 0) return true;
    return false;
}

ImageFolder* ChildFolder(ImageFolder* parent, std::u16string_view name) {
    ImageItem* item = parent ? FindChildByName(parent, name) : nullptr;
    return item && IsFolderItem(item) ? item->ownFolder : nullptr;
}

ImageItem* ChildFile(ImageFolder* parent, std::u16string_view name) {
    ImageItem* item = parent ? FindChildByName(parent, name) : nullptr;
    return item && !IsFolderItem(item) ? item : nullptr;
}

void Mark(ImageFolder* folder, uint32_t marker) {
    if (folder && folder->ownItem) folder->ownItem->sourceMarker = marker;
}
void Mark(ImageItem* item, uint32_t marker) {
    if (item) item->sourceMarker = marker;
}

void RemoveEntry(ImageContext& ctx, ImageFolder* folder, ImageItem* item) {
    image::NotifyItemAddedOrRemoved(&ctx, folder, item, false);
    if (IsFolderItem(item) && item->ownFolder) DeleteFolder(&ctx, item->ownFolder);
    else DeleteItem(&ctx, item);
}

// The folder of that name in parent: kept when it is one, else made (a file
// of the name goes first).
ImageFolder* EnsureFolder(ImageContext& ctx, ImageFolder* parent, std::u16string_view name) {
    if (ImageFolder* folder = ChildFolder(parent, name)) return folder;
    if (ImageItem* file = FindChildByName(parent, name)) RemoveEntry(ctx, parent, file);
    ImageItem* made = AddNewFolder(&ctx, parent, name);
    return made ? made->ownFolder : nullptr;
}

// A control file of the folder: kept, or made when asked to; null otherwise.
ImageItem* ControlFile(ImageContext& ctx, ImageFolder* folder, std::u16string_view name, bool make, uint32_t marker) {
    if (ImageItem* file = ChildFile(folder, name)) return file;
    if (!make) return nullptr;
    if (ImageItem* other = FindChildByName(folder, name)) RemoveEntry(ctx, folder, other);
    return AddPlaceholderItem(&ctx, folder, name, 0, marker);
}

bool IsDigits(std::u16string_view s) {
    for (char16_t c : s)
        if (c < u'0' || c > u'9') return false;
    return !s.empty();
}

std::u16string Upper(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    return out;
}

bool HasMpegExtension(std::u16string_view name) {
    return name.size() > 4 && (name.substr(name.size() - 4) == u".DAT" || name.substr(name.size() - 4) == u".MPG");
}

}  // namespace

void MarkVideoCdPrimaryDescriptor(const ImageContext& ctx, uint8_t* descriptor2048) {
    if (ctx.videoCdKind == 0 || descriptor2048 == nullptr) return;
    std::memcpy(descriptor2048 + kXaMarkerOffset, kXaMarker, sizeof kXaMarker - 1);
}

int DetectVideoCdLayout(ImageContext& ctx) {
    const TrackList* list = ctx.trackList;
    if (ctx.sectorSize != int32_t(kRawFrameBytes) || !list || list->trackCount <= 1 || list->sessionCount > 1 ||
        ctx.formatCode == format_code::kAudioCd)
        return 0;
    QuietReadScope quiet(ctx);
    std::array<uint8_t, 2048> pvd{};
    const int64_t first = list->tracks[0].startSector;
    if (ReadImageSectors(ctx, int32_t(first + 16), pvd.data(), 1) != 1 ||
        std::memcmp(pvd.data() + kXaMarkerOffset, kXaMarker, sizeof kXaMarker - 1) != 0)
        return 0;
    if (!Mode2FrameStartsWith(ctx, first, {}) || !Mode2FrameStartsWith(ctx, list->tracks[1].startSector, {}))
        return 0;
    if (!Mode2FrameStartsWith(ctx, first + kInfoSector, {"VIDEO_CD", "SUPERVCD", "HQ-VCD  "})) return 0;
    if (!Mode2FrameStartsWith(ctx, first + kEntriesSector, {"ENTRYVCD", "ENTRYSVD"})) return 0;
    ctx.videoCdKind = kKindVcd;
    return 1;
}

void AttachVideoCdTracks(ImageContext& ctx) {
    ctx.videoCdKind = 0;
    ImageFolder* root = ctx.rootFolder;
    TrackList* list = ctx.trackList;
    if (!root || !list) return;
    uint8_t kind = 0;
    ImageFolder* vcd = nullptr;
    for (uint8_t k : {kKindVcd, kKindSvcd}) {
        const bool svcd = k == kKindSvcd;
        ImageFolder* folder = ChildFolder(root, svcd ? u"SVCD" : u"VCD");
        ImageItem* info = ChildFile(folder, svcd ? u"INFO.SVD" : u"INFO.VCD");
        ImageItem* entries = ChildFile(folder, svcd ? u"ENTRIES.SVD" : u"ENTRIES.VCD");
        if (info && entries && info->startSector == kInfoSector && entries->startSector == kEntriesSector &&
            info->size == int64_t(kControlFileBytes) && entries->size == int64_t(kControlFileBytes)) {
            kind = k;
            vcd = folder;
            break;
        }
    }
    if (kind == 0) return;
    const bool svcd = kind == kKindSvcd;
    ImageFolder* video = ChildFolder(root, svcd ? u"MPEG2" : u"MPEGAV");
    if (!video && svcd) video = ChildFolder(root, u"MPEGAV");
    if (!video) return;
    Mark(video, kVideoCdMarker);
    const int32_t n = std::min(list->trackCount, kMaxTracks);
    for (int32_t j = 1; j < n; ++j) {
        std::u16string name = platform::Format(svcd ? u"AVSEQ%02d.MPG" : u"AVSEQ%02d.DAT", j);
        ImageItem* file = ChildFile(video, name);
        if (!file && !svcd) {
            name = platform::Format(u"MUSIC%02d.DAT", j);
            file = ChildFile(video, name);
        }
        if (!file) break;
        list->tracks[size_t(j)].displayName = name;
        file->sourceMarker = kVideoCdMarker + uint32_t(j);
    }
    if (ImageFolder* ext = ChildFolder(root, u"EXT")) {
        Mark(ext, kVideoCdMarker);
        if (!svcd) {
            Mark(ChildFile(ext, u"LOT_X.VCD"), kVideoCdMarker);
            Mark(ChildFile(ext, u"PSD_X.VCD"), kVideoCdMarker);
        }
        Mark(ChildFile(ext, u"SCANDATA.DAT"), kVideoCdMarker);
    }
    Mark(ChildFolder(root, u"SEGMENT"), kVideoCdMarker);
    Mark(vcd, kVideoCdMarker);
    const char16_t* ext = svcd ? u".SVD" : u".VCD";
    Mark(ChildFile(vcd, std::u16string(u"INFO") + ext), kInfoSector);
    Mark(ChildFile(vcd, std::u16string(u"ENTRIES") + ext), kEntriesSector);
    Mark(ChildFile(vcd, std::u16string(u"LOT") + ext), kLotSector);
    Mark(ChildFile(vcd, std::u16string(u"PSD") + ext), kPsdSector);
    if (svcd) {
        Mark(ChildFile(vcd, u"TRACKS.SVD"), kTracksSector);
        Mark(ChildFile(vcd, u"SEARCH.DAT"), kSearchSector);
    }
    list->tracks[0].mode = track_mode::kMode2Form1;
    for (int32_t j = 1; j < n; ++j) list->tracks[size_t(j)].mode = track_mode::kMode2Form2;
    ctx.videoCdKind = kind;
    ctx.isoNameLimit = kVideoCdIsoNameLimit;
    ctx.jolietNameLimit = kJolietNameLimit;
}

void BuildVcdFileTree(ImageContext& ctx) {
    ImageFolder* root = ctx.rootFolder;
    TrackList* list = ctx.trackList;
    if (!root || !list || ctx.videoCdKind == 0) return;
    const bool svcd = ctx.videoCdKind == kKindSvcd;
    const int32_t n = std::min(list->trackCount, kMaxTracks);

    // 1. The CD-i application files of old discs are not written any more.
    if (ImageFolder* cdi = ChildFolder(root, u"CDI")) {
        Mark(cdi, kVideoCdMarker);
        for (const char16_t* name : {u"CDI_IMAG.RTF", u"CDI_TEXT.FNT", u"CDI_VCD.APP", u"CDI_VCD.CFG"})
            if (ImageItem* file = ChildFile(cdi, name)) RemoveEntry(ctx, cdi, file);
    }

    // 2. EXT.
    ImageFolder* ext = EnsureFolder(ctx, root, u"EXT");
    Mark(ext, kVideoCdMarker);
    if (ext) {
        if (!svcd) {
            if (ImageItem* lot = ChildFile(ext, u"LOT_X.VCD")) {
                BuildLotFile(ctx, *lot);
                lot->sourceMarker = kVideoCdMarker;
            }
            if (ImageItem* psd = ChildFile(ext, u"PSD_X.VCD")) {
                BuildPsdFile(ctx, *psd);
                psd->sourceMarker = kVideoCdMarker;
            }
        }
        if (ImageItem* scan = ChildFile(ext, u"SCANDATA.DAT")) {
            if (svcd) BuildScanDataFile(ctx, *scan);
            else RemoveEntry(ctx, ext, scan);
        }
    }

    // 3-5. The video folder with one file per MPEG track.
    ImageFolder* video = EnsureFolder(ctx, root, svcd ? u"MPEG2" : u"MPEGAV");
    if (!video) return;
    Mark(video, kVideoCdMarker);
    for (int32_t i = 1; i < n; ++i) {
        const std::u16string name = platform::Format(svcd ? u"AVSEQ%2.2d.MPG" : u"AVSEQ%2.2d.DAT", i);
        if (ImageItem* other = FindChildByName(video, name); other && IsFolderItem(other))
            RemoveEntry(ctx, video, other);
        const TrackEntry& track = list->tracks[size_t(i)];
        const int64_t size = int64_t(track.length) * 2048;
        const uint32_t marker = kVideoCdMarker + uint32_t(i);
        ImageItem* file = ChildFile(video, name);
        if (!file) file = AddPlaceholderItem(&ctx, video, name, size, marker);
        if (!file) continue;
        file->size = size;
        foundation::ByteWriter(file->recordHeader.data(), file->recordHeader.size()).Both32(dr::kDataLength, uint32_t(size));
        file->sourceMarker = marker;
        if (!track.mpegInfo || track.mpegInfo->kind == 1) file->startSector = uint32_t(track.startSector);
    }
    for (ImageItem* item = video->firstItem; item;) {
        ImageItem* next = item->next;
        const std::u16string name = Upper(item->name);
        if (name.size() == 11 && HasMpegExtension(name) && IsDigits(name.substr(5, 2))) {
            const bool music = name.compare(0, 5, u"MUSIC") == 0;
            const int number = (name[5] - u'0') * 10 + (name[6] - u'0');
            if ((music || name.compare(0, 5, u"AVSEQ") == 0) && (music || number == 0 || number >= n))
                RemoveEntry(ctx, video, item);
        }
        item = next;
    }

    // 6. SEGMENT holds no play items of ours.
    if (ImageFolder* segment = EnsureFolder(ctx, root, u"SEGMENT")) {
        Mark(segment, kVideoCdMarker);
        for (ImageItem* item = segment->firstItem; item;) {
            ImageItem* next = item->next;
            const std::u16string name = Upper(item->name);
            if (name.size() == 12 && name.compare(0, 4, u"ITEM") == 0 && IsDigits(name.substr(4, 4)) &&
                HasMpegExtension(name))
                RemoveEntry(ctx, segment, item);
            item = next;
        }
    }

    // 7. The control files.
    ImageFolder* vcd = EnsureFolder(ctx, root, svcd ? u"SVCD" : u"VCD");
    if (!vcd) return;
    Mark(vcd, kVideoCdMarker);
    const std::u16string suffix = svcd ? u".SVD" : u".VCD";
    ImageItem* lot = ControlFile(ctx, vcd, u"LOT" + suffix, false, kLotSector);
    ImageItem* psd = ControlFile(ctx, vcd, u"PSD" + suffix, false, kPsdSector);
    if (ImageItem* info = ControlFile(ctx, vcd, u"INFO" + suffix, true, kInfoSector))
        BuildInfoFile(ctx, *info, psd != nullptr, lot != nullptr);
    if (ImageItem* entries = ControlFile(ctx, vcd, u"ENTRIES" + suffix, true, kEntriesSector))
        BuildEntriesFile(ctx, *entries);
    if (lot) BuildLotFile(ctx, *lot);
    if (psd) BuildPsdFile(ctx, *psd);
    if (svcd) {
        if (ImageItem* tracks = ControlFile(ctx, vcd, u"TRACKS.SVD", false, kTracksSector)) BuildTracksFile(ctx, *tracks);
        if (ImageItem* search = ControlFile(ctx, vcd, u"SEARCH.DAT", false, kSearchSector)) BuildSearchFile(ctx, *search);
    }
}

}  // namespace image
