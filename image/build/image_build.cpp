#include "image/build/image_build.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "foundation/console.h"
#include "codecs/crc32.h"
#include "foundation/progress_callbacks.h"
#include "foundation/file_io.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/strings.h"
#include "foundation/work_folder.h"
#include "image/iso/append_session.h"
#include "image/iso/iso_reader.h"
#include "foundation/optical_services.h"
#include "platform/last_error.h"
#include "image/build/boot_image_services.h"
#include "image/build/composed_image.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_bytes.h"
#include "image/document/item_tree.h"
#include "image/document/pause_cancel.h"
#include "image/sectors/sector_io.h"
#include "image/sectors/sector_writers.h"
#include "image/vcd/video_cd.h"
#include "image/iso/volume_texts.h"
#include "platform/file.h"
#include "platform/format.h"

namespace image {
namespace {

constexpr uint32_t kSectorBytes = 2048;
constexpr uint32_t kSystemAreaSectors = 16;
constexpr size_t kPieceBytes = 32768;
constexpr uint32_t kStagingSectors = 512;         // 1 MiB between writes
constexpr int64_t kSampleChecksumAbove = 32768;
constexpr uint32_t kStringOptimizing = 660;
constexpr char kMarkerText[] = "QUENDRAVE";

uint64_t SectorsFor(uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

bool Failed() { return foundation::OperationStatus.load() != foundation::kStatusNone; }

void Fail(int32_t status) {
    if (!Failed()) foundation::OperationStatus = status;
}

// Video CD entries that stand for MPEG tracks take no data sectors of their own.
bool HasNoDataSectors(const ImageItem* item) { return item->sourceMarker >= kVideoCdMarker; }

uint32_t DataStartThunk(const void* context, const ImageItem* item) {
    return ItemDataStart(*static_cast<const ImageBuild*>(context), item);
}

// Collects sectors and hands them to the output writer a megabyte at a time,
// counting the bytes for the progress display.
class SectorSink {
public:
    SectorSink(ImageContext& ctx, const WriterArguments& args, uint32_t position, int32_t descriptorAreaSectors)
        : ctx_(ctx),
          args_(args),
          position_(position),
          descriptorAreaSectors_(descriptorAreaSectors),
          buffer_(size_t(kStagingSectors) * kSectorBytes) {}

    uint32_t Position() const { return position_ + used_; }

    bool Put(const uint8_t* data, uint64_t sectors) {
        while (sectors > 0) {
            if (used_ == kStagingSectors && !Flush()) return false;
            uint32_t take = uint32_t(std::min<uint64_t>(sectors, kStagingSectors - used_));
            if (data) std::memcpy(buffer_.data() + size_t(used_) * kSectorBytes, data, size_t(take) * kSectorBytes);
            else std::memset(buffer_.data() + size_t(used_) * kSectorBytes, 0, size_t(take) * kSectorBytes);
            used_ += take;
            sectors -= take;
            if (data) data += size_t(take) * kSectorBytes;
        }
        return true;
    }

    // Room for up to `sectors` sectors in the buffer, filled by the caller
    // and then committed.
    uint8_t* Reserve(uint32_t sectors) {
        if (kStagingSectors - used_ < sectors && !Flush()) return nullptr;
        return buffer_.data() + size_t(used_) * kSectorBytes;
    }
    void Commit(uint32_t sectors) { used_ += sectors; }

    bool Flush() {
        if (used_ == 0) return true;
        int32_t written = WriteImageSectors(ctx_, int32_t(position_), buffer_.data(), int32_t(used_), args_);
        if (written != int32_t(used_)) {
            Fail(foundation::kStatusWriteFailed);
            return false;
        }
        // A mirrored disc head takes the new session's descriptors.
        if (ctx_.discHeadCount > 0 &&
            !CaptureSessionHead(ctx_, descriptorAreaSectors_, buffer_.data(), position_, used_)) {
            Fail(foundation::kStatusFailed);
            return false;
        }
        if (args_.progress && args_.progress->AddDone) args_.progress->AddDone(int64_t(used_) * kSectorBytes);
        position_ += used_;
        used_ = 0;
        return true;
    }

    // Moves past sectors that a composed image records instead of writing.
    bool Skip(uint64_t sectors) {
        if (!Flush()) return false;
        if (args_.progress && args_.progress->AddDone) args_.progress->AddDone(int64_t(sectors) * kSectorBytes);
        position_ += uint32_t(sectors);
        return true;
    }

    static bool WriteThunk(void* sink, const uint8_t* data, uint32_t sectors) {
        return static_cast<SectorSink*>(sink)->Put(data, sectors);
    }

private:
    ImageContext& ctx_;
    const WriterArguments& args_;
    uint32_t position_;
    int32_t descriptorAreaSectors_;
    uint32_t used_ = 0;
    std::vector<uint8_t> buffer_;
};

// Sector of block `block` of an item kept in extents: through the UDF reader
// for a UDF volume, else the ISO 9660 extents (absolute sectors). -1 for a
// block that is not recorded.
int64_t ExtentBlockSector(ImageContext& ctx, const ImageItem* item, uint64_t block) {
    if (ctx.udfState) return UdfWriterServices().BlockToSector(ctx, *item, block);
    const std::vector<uint8_t>& list = item->Side().extentList;
    const uint64_t count = list.size() >= 4 ? std::min<uint64_t>(foundation::ReadLE32(list.data()), (list.size() - 4) / 12) : 0;
    uint64_t at = block * kSectorBytes;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = list.data() + 4 + i * 12;
        const uint64_t length = foundation::ReadLE32(e + 8);
        if (at < length) return int64_t(foundation::ReadLE32(e + 4)) + int64_t(at / kSectorBytes);
        at -= length;
    }
    return -1;
}

// The sectors of an item kept in extents, as runs of source sectors (zeros
// for blocks that are not recorded).
bool ComposeExtentSectors(ImageContext& ctx, const ImageItem* item, uint64_t sectors) {
    static const std::array<uint8_t, kSectorBytes> kZeros{};
    uint64_t runStart = 0, runLength = 0;
    auto flush = [&]() {
        bool ok = runLength == 0 || AppendComposedSourceSectors(ctx, uint32_t(runStart), uint32_t(runLength));
        runLength = 0;
        return ok;
    };
    for (uint64_t block = 0; block < sectors; ++block) {
        const int64_t sector = ExtentBlockSector(ctx, item, block);
        if (sector >= 0 && runLength > 0 && uint64_t(sector) == runStart + runLength && runLength < UINT32_MAX) {
            ++runLength;
            continue;
        }
        if (!flush()) return false;
        if (sector < 0) {
            if (!AppendComposedLiteral(ctx, kZeros.data(), 1)) return false;
        } else {
            runStart = uint64_t(sector);
            runLength = 1;
        }
    }
    return flush();
}

// A build for burning records where the file's sectors come from; the burn
// reads them from there when their turn comes.
bool ComposeFileData(ImageContext& ctx, ImageItem* item, SectorSink& sink) {
    if (!sink.Flush()) return false;
    const uint32_t first = sink.Position();
    const uint64_t sectors = SectorsFor(uint64_t(item->size));
    bool recorded = false;
    if (!item->memoryData.empty()) {
        std::vector<uint8_t> padded(size_t(sectors) * kSectorBytes, 0);
        std::memcpy(padded.data(), item->memoryData.data(), std::min(item->memoryData.size(), padded.size()));
        recorded = AppendComposedLiteral(ctx, padded.data(), size_t(sectors));
    } else {
        WriterItemSource reader(ctx);
        if (!reader.Open(item, true)) return false;
        const ItemReaderKind kind = ReaderKindOf(ctx, *item);
        if (IsItemFromDiskFile(&ctx, item)) {
            recorded = AppendComposedDiskFile(ctx, item->diskPath, uint64_t(item->size));
        } else if (kind == ItemReaderKind::Udf || (kind == ItemReaderKind::Iso && !item->Side().extentList.empty())) {
            recorded = ComposeExtentSectors(ctx, item, sectors);
        } else if (kind == ItemReaderKind::Iso) {
            recorded = AppendComposedSourceSectors(ctx, item->startSector, uint32_t(sectors));
        } else {
            // A file of another file system or of an archive has no image
            // sectors the burn could read: it is written once to a work file
            // (removed with the work folder) and burned from there.
            const std::optional<std::u16string> name = foundation::MakeTempFileName();
            foundation::UniqueFile work(name ? platform::FileOpen(*name, platform::FileAccess::ReadWrite,
                                                                  platform::FileDisposition::OpenExisting)
                                             : nullptr);
            if (!work || WriteItemData(ctx, *item, work.get(), nullptr) != 1) {
                Fail(foundation::kStatusSourceReadFailed);
                return false;
            }
            recorded = AppendComposedDiskFile(ctx, *name, uint64_t(item->size));
        }
    }
    if (!recorded) {
        Fail(foundation::kStatusOutOfMemory);
        foundation::AppMessageBox(foundation::LangString(30810), foundation::kMbIconStop);
        return false;
    }
    SetSectorOwner(ctx, item, int32_t(first), int32_t(first + sectors - 1));
    return sink.Skip(sectors);
}

bool WriteFileData(ImageContext& ctx, ImageBuild& build, ImageItem* item, SectorSink& sink) {
    if (build.progress && build.progress->SetCurrentItem) build.progress->SetCurrentItem(item->name);
    if (ctx.composeOutput) return ComposeFileData(ctx, item, sink);
    WriterItemSource reader(ctx);
    if (!reader.Open(item, true)) return false;
    const uint64_t total = SectorsFor(uint64_t(item->size));
    const uint32_t pieceSectors = kPieceBytes / kSectorBytes;
    for (uint64_t done = 0; done < total;) {
        if (WaitIfPaused(build.progress) == 0) return false;
        uint32_t n = uint32_t(std::min<uint64_t>(pieceSectors, total - done));
        uint8_t* room = sink.Reserve(n);
        if (!room) return false;
        if (!reader.Read(done * kSectorBytes, room, size_t(n) * kSectorBytes)) return false;
        sink.Commit(n);
        done += n;
    }
    return true;
}

// The checksum that files of equal data share: the CRC-32 of the whole file
// up to kSampleChecksumAbove bytes (such a file is read whole anyway when
// compared), of 2048 bytes (less at the end) at five places of a larger one.
// Each file's is computed once per build and kept on the item.
bool DataChecksum(ImageContext& ctx, ImageItem* item, uint32_t& out) {
    if (item->compareState == compare_state::kHashed) {
        out = item->compareHash;
        return true;
    }
    if (item->compareState == compare_state::kUnreadable) return false;
    WriterItemSource reader(ctx);
    if (!reader.Open(item, false)) return false;
    std::vector<uint8_t> sample;
    if (item->size <= kSampleChecksumAbove) {
        sample.resize(size_t(item->size));
        if (!reader.Read(0, sample.data(), sample.size())) {
            item->compareState = compare_state::kUnreadable;
            return false;
        }
    } else {
        uint64_t n = SectorsFor(uint64_t(item->size));
        const uint64_t at[5] = {0, n / 4, n / 2, n / 2 + n / 4, n - 1};
        std::array<uint8_t, kSectorBytes> piece{};
        for (uint64_t sector : at) {
            uint64_t offset = sector * kSectorBytes;
            size_t len = size_t(std::min<uint64_t>(kSectorBytes, uint64_t(item->size) - offset));
            if (!reader.Read(offset, piece.data(), len)) {
                item->compareState = compare_state::kUnreadable;
                return false;
            }
            sample.insert(sample.end(), piece.begin(), piece.begin() + len);
        }
    }
    item->compareHash = codecs::Crc32(sample.data(), sample.size());
    item->compareState = compare_state::kHashed;
    out = item->compareHash;
    return true;
}

bool SameData(ImageContext& ctx, ImageBuild& build, ImageItem* a, ImageItem* b, bool& cancelled) {
    if (a->size != b->size) return false;
    if (a->sourceMarker != 0 || b->sourceMarker != 0) return false;
    if (a->diskPath.empty() && b->diskPath.empty() && a->startSector != 0 && a->startSector == b->startSector &&
        a->archiveIndex < 0 && b->archiveIndex < 0)
        return a->memoryData == b->memoryData;
    if (a->compareState == compare_state::kUnreadable || b->compareState == compare_state::kUnreadable) return false;
    if (!a->diskPath.empty() && a->diskPath == b->diskPath) return true;
    uint32_t ca = 0, cb = 0;
    if (!DataChecksum(ctx, a, ca) || !DataChecksum(ctx, b, cb) || ca != cb) return false;
    WriterItemSource ra(ctx), rb(ctx);
    if (!ra.Open(a, false) || !rb.Open(b, false)) return false;
    std::vector<uint8_t> x(kPieceBytes), y(kPieceBytes);
    for (uint64_t off = 0; off < uint64_t(a->size); off += kPieceBytes) {
        if (WaitIfPaused(build.progress) == 0) {
            cancelled = true;
            return false;
        }
        size_t len = size_t(std::min<uint64_t>(kPieceBytes, uint64_t(a->size) - off));
        if (!ra.Read(off, x.data(), len) || !rb.Read(off, y.data(), len)) return false;
        if (std::memcmp(x.data(), y.data(), len) != 0) return false;
    }
    return true;
}

// The files not yet placed that may hold the item's data: those of its size
// and checksum, in bySize order. A size shared by several files has the
// checksums of all of them taken when its first file is placed, each once:
// the search reads every candidate once instead of once per pair. Null when
// the item has no such file or a read failed (OperationStatus says so).
std::vector<ImageItem*>* SameChecksumFiles(ImageContext& ctx, ImageBuild& build, ImageItem* item) {
    if (item->sourceMarker != 0) return nullptr;
    auto range = std::equal_range(build.bySize.begin(), build.bySize.end(), item,
                                  [](const ImageItem* a, const ImageItem* b) { return a->size < b->size; });
    if (range.second - range.first < 2) return nullptr;
    if (build.checksummedSizes.insert(item->size).second) {
        for (auto it = range.first; it != range.second; ++it) {
            ImageItem* file = *it;
            // Files placed before the search (fixed sectors, earlier
            // sessions) share with none.
            if (file->sourceMarker != 0 || (file != item && build.dataStart.count(file))) continue;
            if (WaitIfPaused(build.progress) == 0) return nullptr;
            uint32_t checksum = 0;
            if (!DataChecksum(ctx, file, checksum)) return nullptr;
            build.byChecksum[{file->size, checksum}].push_back(file);
        }
    }
    uint32_t checksum = 0;
    if (!DataChecksum(ctx, item, checksum)) return nullptr;
    auto found = build.byChecksum.find({item->size, checksum});
    return found == build.byChecksum.end() ? nullptr : &found->second;
}

// A file that shares another's data is checked again when the shared data
// has been written: a disk file that changed since the layout without
// changing size would otherwise silently carry the other file's bytes. Small
// files are compared whole; larger ones by a fresh sample checksum of each,
// cheap next to the write it saves.
bool StillIdentical(ImageContext& ctx, ImageBuild& build, ImageItem* linked, ImageItem* owner) {
    if (linked->diskPath.empty() && owner->diskPath.empty()) return true;   // image or memory data stays put
    if (!linked->diskPath.empty() && linked->diskPath == owner->diskPath) return true;
    WriterItemSource check(ctx);
    if (!check.Open(linked, true)) return false;
    bool same = false;
    if (linked->size <= kSampleChecksumAbove) {
        bool cancelled = false;
        same = SameData(ctx, build, owner, linked, cancelled);
        if (cancelled) return false;
    } else {
        uint32_t a = 0, b = 0;
        linked->compareState = compare_state::kUnknown;
        owner->compareState = compare_state::kUnknown;
        same = DataChecksum(ctx, owner, a) && DataChecksum(ctx, linked, b) && a == b;
    }
    if (Failed()) return false;
    if (!same) {
        Fail(foundation::kStatusSourceReadFailed);
        foundation::AppMessageBox(platform::Format(u"%s\r\n\r\n%s", linked->diskPath.empty() ? owner->diskPath
                                                                                         : linked->diskPath,
                                                   std::u16string(u"The file changed while the image was written.")),
                                  foundation::kMbIconStop);
    }
    return same;
}

void ShowOptimizingProgress(ImageBuild& build) {
    int32_t total = int32_t(build.bySize.size());
    if (build.progress) {
        if (build.progress->ShowOptimizing) {
            std::u16string format = foundation::GetLangString(kStringOptimizing, u"Total %d files, Finished %d files");
            build.progress->ShowOptimizing(platform::Format(format, total, build.filesDone));
        }
    } else if (total > 0 && foundation::ConsoleMode.load()) {
        foundation::ConsoleProgressPercent(uint64_t(build.filesDone), uint64_t(total));
    }
}

// Files of one folder in record order, folders in pre-order: the tree order
// of the data area.
void CollectFiles(const IsoLayout& iso, std::vector<ImageItem*>& out) {
    for (const auto& f : iso.folders) {
        for (uint32_t index : f->isoOrder) {
            const DirectoryRecord& r = f->records[index];
            if (r.kind == RecordKind::File) out.push_back(r.item);
        }
    }
}

// A file whose data is already on the disc: read from the document's own
// image, not replaced since.
bool IsEarlierSessionFile(const ImageItem* item) {
    return item->size > 0 && item->startSector != 0 && item->memoryData.empty() && item->diskPath.empty() &&
           item->archiveIndex < 0 && item->Side().extentList.empty() && item->sourceMarker == 0;
}

// Appending: files of earlier sessions keep their sectors. When the disc head
// is rewritten, a file inside the part that is replaced would be destroyed.
bool KeepEarlierSessionFiles(ImageContext& ctx, ImageBuild& build, const std::vector<ImageItem*>& files) {
    for (ImageItem* item : files) {
        if (!IsEarlierSessionFile(item)) continue;
        if (ctx.discHeadCount > 0 && item->startSector < uint32_t(build.descriptorAreaSectors)) {
            foundation::BurnLog(true, u"%s",
                             std::u16string(u"This imported disc has been written by other program. Haldrix can not "
                                            u"append data to it."));
            Fail(foundation::kStatusSourceReadFailed);
            return false;
        }
        build.dataStart[item] = item->startSector;
    }
    return true;
}

bool Allocate(ImageContext& ctx, ImageBuild& build, ImageItem* item, uint64_t& next) {
    if (item->size <= 0 || build.dataStart.count(item)) return true;
    if (HasNoDataSectors(item)) return true;
    build.dataStart[item] = uint32_t(next);
    next += SectorsFor(uint64_t(item->size));
    if (next > UINT32_MAX) {
        Fail(foundation::kStatusFailed);
        return false;
    }
    if (build.optimise) LinkIdenticalFiles(ctx, build, item);
    return !Failed();
}

// Video CD control files (INFO.VCD at 150, ENTRIES.VCD at 151, ...) carry their
// sector as their marker: players read them there, so they are placed exactly
// and the directories before them must end in time.
bool PlaceFixedSectorFiles(ImageContext& ctx, ImageBuild& build, const std::vector<ImageItem*>& files,
                           uint64_t& next) {
    std::vector<std::pair<uint64_t, uint64_t>> placed;   // start, end
    for (ImageItem* item : files) {
        if (item->size <= 0 || item->sourceMarker == 0 || HasNoDataSectors(item)) continue;
        const uint64_t start = item->sourceMarker;
        const uint64_t end = start + SectorsFor(uint64_t(item->size));
        if (start < next) {
            foundation::SetLastErrorText(
                u"The folders of the image reach into the sectors of the Video CD control files.");
            Fail(foundation::kStatusFailed);
            return false;
        }
        for (const auto& [s, e] : placed) {
            if (start < e && s < end) {
                foundation::SetLastErrorText(u"Two Video CD control files claim the same sectors.");
                Fail(foundation::kStatusFailed);
                return false;
            }
        }
        placed.emplace_back(start, end);
        build.dataStart[item] = uint32_t(start);
    }
    (void)ctx;
    for (const auto& range : placed) next = std::max(next, range.second);
    return true;
}

}  // namespace

uint32_t ItemDataStart(const ImageBuild& build, const ImageItem* item) {
    auto it = build.dataStart.find(item);
    if (it != build.dataStart.end()) return it->second;
    // A Video CD track file takes no data sectors of the build; its record
    // points at the track itself, where players and vcd tools read it.
    if (item->sourceMarker > kVideoCdMarker && item->startSector > 0 && item->startSector < kVideoCdMarker)
        return item->startSector;
    return 0;
}

void BeginTreeLayout(ImageContext& ctx, ImageBuild& build) {
    (void)ctx;
    build.bySize.clear();
    build.byChecksum.clear();
    build.checksummedSizes.clear();
    build.filesDone = 0;
    std::vector<ImageItem*> files;
    CollectFiles(build.iso, files);
    for (ImageItem* item : files) {
        if (item->size <= 0 || HasNoDataSectors(item)) continue;
        item->compareState = compare_state::kUnknown;   // contents may have changed since the last save
        item->compareHash = 0;
        item->identicalData = nullptr;   // may name an item freed since
        build.bySize.push_back(item);
    }
    std::stable_sort(build.bySize.begin(), build.bySize.end(), [](const ImageItem* a, const ImageItem* b) {
        if (a->size != b->size) return a->size < b->size;
        return a->startSector < b->startSector;
    });
    if (build.progress && build.progress->NarrowStatus) build.progress->NarrowStatus();
}

void LinkIdenticalFiles(ImageContext& ctx, ImageBuild& build, ImageItem* item) {
    if (WaitIfPaused(build.progress) == 0) return;
    std::vector<ImageItem*>* candidates = SameChecksumFiles(ctx, build, item);
    if (Failed()) return;
    if (candidates) {
        const uint32_t start = ItemDataStart(build, item);
        for (ImageItem* other : *candidates) {
            if (other == item || build.dataStart.count(other)) continue;
            bool cancelled = false;
            if (SameData(ctx, build, item, other, cancelled)) {
                build.dataStart[other] = start;
                other->identicalData = item;
                ++build.filesDone;
            }
            if (cancelled || Failed()) return;
        }
        // Placed files leave the list, so that each is passed over once.
        std::erase_if(*candidates, [&](const ImageItem* f) { return build.dataStart.count(f) != 0; });
    }
    ++build.filesDone;
    ShowOptimizingProgress(build);
}

void EndTreeLayout(ImageContext& ctx, ImageBuild& build) {
    (void)ctx;
    if (build.optimise && build.progress && build.progress->WidenStatus) build.progress->WidenStatus();
    build.bySize.clear();
    build.bySize.shrink_to_fit();
    build.byChecksum.clear();
    build.checksummedSizes.clear();
}

int BuildImageLayout(ImageContext& ctx, ImageBuild& build, foundation::ProgressCallbacks* progress,
                     int32_t sessionStart) {
    build.progress = progress;
    build.dataStart.clear();
    build.priorityFiles.clear();
    build.treeFiles.clear();
    if (Failed() || build.iso.folders.empty()) return 0;
    // UDF is written when the document asks for it, when ISO 9660 cannot
    // hold it, and when it was read from a volume that had it.
    build.isoOn = !ctx.udfOnly;
    build.udf = UdfPlacement{};
    build.udf.on = ctx.udfFlag || ctx.udfOnly || ctx.udfPresent;
    build.optimise = ctx.fileSpaceOptimisation && ctx.outputFormat != format_code::kArchive;
    if (build.optimise) BeginTreeLayout(ctx, build);

    build.sessionStart = sessionStart >= 0 ? sessionStart : SetSessionStartLba(&ctx);
    ctx.sessionStartLba = build.sessionStart;   // the boot-info table names the session's primary descriptor
    build.udf.sessionStart = build.sessionStart;
    uint64_t next = uint64_t(build.sessionStart) + kSystemAreaSectors;
    IBootImageServices& boot = BootImageServices();
    build.writeBoot = ctx.elToritoPresent && build.isoOn;
    if (build.isoOn) {
        build.primarySector = uint32_t(next++);
        build.bootRecordSector = build.writeBoot ? int64_t(next++) : -1;
        build.jolietSector = build.iso.joliet ? int64_t(next++) : -1;
        build.terminatorSector = uint32_t(next++);
    }
    if (build.udf.on) {
        build.udf.recognitionSector = uint32_t(next);
        next += 3;
    }
    if (build.isoOn) build.markerSector = uint32_t(next++);
    const bool appending = build.sessionStart > 0;
    build.descriptorAreaSectors = appending ? int32_t(next - uint64_t(build.sessionStart)) : 0;
    if (build.udf.on) {
        std::u16string reason;
        if (!UdfWriterServices().LayoutArea(ctx, build.iso, build.udf, next, reason)) {
            platform::SetLastError(platform::kErrorNotSupported);
            foundation::SetLastErrorText(reason);
            Fail(foundation::kStatusFailed);
            return 0;
        }
    }
    if (appending && build.isoOn) next = ReserveSessionHead(build.sessionStart, next);

    if (build.isoOn) {
        if (next > UINT32_MAX) {
            Fail(foundation::kStatusFailed);
            return 0;
        }
        uint32_t next32 = uint32_t(next);
        LayoutError error = LayoutError::None;
        if (!AllocateDirectoryExtents(build.iso, next32, &error)) {
            Fail(foundation::kStatusFailed);
            return 0;
        }
        if (build.writeBoot && !boot.Layout(ctx, next32)) {
            Fail(foundation::kStatusFailed);
            return 0;
        }
        next = next32;
    }

    // Files with a priority first, highest first; then all others in tree order.
    std::vector<ImageItem*> files;
    CollectFiles(build.iso, files);
    if (appending && !KeepEarlierSessionFiles(ctx, build, files)) return 0;
    for (ImageItem* item : files) {
        if (build.dataStart.count(item)) continue;   // kept from an earlier session
        if (item->weight > 0 && item->size > 0 && !HasNoDataSectors(item)) build.priorityFiles.push_back(item);
        else build.treeFiles.push_back(item);
    }
    std::stable_sort(build.priorityFiles.begin(), build.priorityFiles.end(),
                     [](const ImageItem* a, const ImageItem* b) { return a->weight > b->weight; });
    build.fileAreaSector = uint32_t(next);
    for (ImageItem* item : files) {
        if (build.isoOn && uint64_t(item->size) > UINT32_MAX) {
            // ISO 9660 records carry 32-bit sizes; such files need UDF only.
            foundation::SetLastErrorText(foundation::LangString(foundation::kStrFileTooBig));
            Fail(foundation::kStatusFailed);
            return 0;
        }
    }
    if (!PlaceFixedSectorFiles(ctx, build, files, next)) return 0;
    for (ImageItem* item : build.priorityFiles)
        if (!Allocate(ctx, build, item, next)) return 0;
    for (ImageItem* item : build.treeFiles)
        if (!Allocate(ctx, build, item, next)) return 0;
    if (Failed()) return 0;
    if (build.udf.on) build.udf.closingAnchor = uint32_t(next++);
    if (next > UINT32_MAX) {
        Fail(foundation::kStatusFailed);
        return 0;
    }
    build.endSector = uint32_t(next);
    // The sector writers of the chunked containers size their tables by it and
    // finish with its last sector.
    ctx.sectorCount = next > INT32_MAX ? INT32_MAX : int32_t(next);
    EndTreeLayout(ctx, build);
    return 1;
}

int LayoutDirectoryTrees(ImageContext& ctx, ImageBuild& build) {
    (void)ctx;
    if (!build.isoOn) return 1;
    LayoutError error = LayoutError::None;
    if (!BuildPathTables(build.iso, &error)) {
        foundation::SetLastErrorText(LayoutErrorText(error));
        Fail(foundation::kStatusFailed);
        return 0;
    }
    return 1;
}

int WriteImageContents(ImageContext& ctx, ImageBuild& build, const WriterArguments& args) {
    foundation::ResetOperationStatus();
    if (build.progress && build.progress->SetTotal)
        build.progress->SetTotal(int64_t(build.endSector - uint32_t(build.sessionStart)) * kSectorBytes);
    SectorSink sink(ctx, args, uint32_t(build.sessionStart), build.descriptorAreaSectors);
    if (ctx.composeOutput) InitSectorOwnerMap(ctx, int32_t(build.fileAreaSector), int32_t(build.endSector));
    auto at = [&](uint64_t sector) {
        // Our own invariant: the write position follows the allocation exactly.
        if (sink.Position() == sector) return true;
        Fail(foundation::kStatusFailed);
        return false;
    };

    // The system area: an opened image keeps its own (a hybrid boot record
    // lives there); a new document gets zeros.
    std::vector<uint8_t> systemArea(size_t(kSystemAreaSectors) * kSectorBytes, 0);
    // Only a disc's system area is kept: that of another file system's volume
    // would make the new image read as that volume (an ext2 superblock, an
    // HFS master block) with none of its data behind it.
    if (!ctx.newDocument && ctx.imageHandle && build.sessionStart == 0 && ctx.formatCode >= 0 &&
        ctx.formatCode <= format_code::kLastTableRow && (ctx.iso9660Present != 0 || ctx.udfPresent != 0)) {
        if (ReadImageSectors(ctx, 0, systemArea.data(), int32_t(kSystemAreaSectors)) != int32_t(kSystemAreaSectors))
            std::fill(systemArea.begin(), systemArea.end(), 0);
        foundation::ResetOperationStatus();
    }
    if (!sink.Put(systemArea.data(), kSystemAreaSectors)) return -1;

    IBootImageServices& boot = BootImageServices();
    std::array<uint8_t, kSectorBytes> sector{};
    auto writeIsoDescriptors = [&]() -> bool {
        DescriptorLayout d;
        d.volumeSpaceBlocks = build.endSector;
        d.pathTableBytes = build.iso.isoPathTableBytes;
        d.pathTableL = build.iso.isoPathLSector;
        d.pathTableM = build.iso.isoPathMSector;
        BuildRootRecord(build.iso, false, ctx.rootTime ? ctx.rootTime : int64_t(ctx.rootItem.time), d.rootRecord.data());
        BuildPrimaryVolumeDescriptor(ctx, std::span<uint8_t, kIsoSectorBytes>(sector), false, &d);
        MarkVideoCdPrimaryDescriptor(ctx, sector.data());
        // The Joliet descriptor is built as a copy of this one.
        std::memcpy(ctx.primaryDescriptor.data(), sector.data(), kSectorBytes);
        if (!at(build.primarySector) || !sink.Put(sector.data(), 1)) return false;

        if (build.writeBoot) {
            sector.fill(0);
            if (!boot.BuildBootRecord(ctx, sector.data())) {
                Fail(foundation::kStatusFailed);
                return false;
            }
            if (!at(uint64_t(build.bootRecordSector)) || !sink.Put(sector.data(), 1)) return false;
        }
        if (build.iso.joliet) {
            DescriptorLayout j = d;
            j.pathTableBytes = build.iso.jolietPathTableBytes;
            j.pathTableL = build.iso.jolietPathLSector;
            j.pathTableM = build.iso.jolietPathMSector;
            BuildRootRecord(build.iso, true, ctx.rootTime ? ctx.rootTime : int64_t(ctx.rootItem.time), j.rootRecord.data());
            sector.fill(0);
            BuildJolietVolumeDescriptor(ctx, std::span<uint8_t, kIsoSectorBytes>(sector), false, &j);
            if (!at(uint64_t(build.jolietSector)) || !sink.Put(sector.data(), 1)) return false;
        }
        sector.fill(0);
        sector[0] = 255;
        std::memcpy(sector.data() + 1, "CD001", 5);
        sector[6] = 1;
        if (!at(build.terminatorSector) || !sink.Put(sector.data(), 1)) return false;
        return true;
    };
    auto writeIsoDirectories = [&]() -> bool {
        const IsoLayout& iso = build.iso;
        if (!at(iso.isoPathLSector) || !sink.Put(iso.isoPathL.data(), iso.isoPathL.size() / kSectorBytes)) return false;
        if (!at(iso.isoPathMSector) || !sink.Put(iso.isoPathM.data(), iso.isoPathM.size() / kSectorBytes)) return false;
        if (iso.joliet) {
            if (!at(iso.jolietPathLSector) || !sink.Put(iso.jolietPathL.data(), iso.jolietPathL.size() / kSectorBytes))
                return false;
            if (!at(iso.jolietPathMSector) || !sink.Put(iso.jolietPathM.data(), iso.jolietPathM.size() / kSectorBytes))
                return false;
        }
        std::vector<uint8_t> extent;
        for (int pass = 0; pass < (iso.joliet ? 2 : 1); ++pass) {
            for (const auto& f : iso.folders) {
                const bool joliet = pass == 1;
                WriteDirectoryExtent(ctx, iso, *f, joliet, DataStartThunk, &build, extent);
                if (!at(joliet ? f->jolietExtentSector : f->isoExtentSector)) return false;
                if (!sink.Put(extent.data(), extent.size() / kSectorBytes)) return false;
                if (WaitIfPaused(build.progress) == 0) return false;
            }
        }
        if (build.writeBoot && !boot.WriteCatalogueAndImage(ctx, args, SectorSink::WriteThunk, &sink)) {
            Fail(foundation::kStatusFailed);
            return false;
        }
        return true;
    };
    IUdfWriterServices& udf = UdfWriterServices();
    if (build.isoOn && !writeIsoDescriptors()) return -1;
    if (build.udf.on && (!at(build.udf.recognitionSector) || !udf.WriteRecognition(SectorSink::WriteThunk, &sink))) {
        Fail(foundation::kStatusWriteFailed);
        return -1;
    }
    if (build.isoOn) {
        sector.fill(0);
        std::memcpy(sector.data(), kMarkerText, sizeof kMarkerText - 1);
        if (!at(build.markerSector) || !sink.Put(sector.data(), 1)) return -1;
    }
    if (build.udf.on) {
        if (!at(build.udf.areaSector) ||
            !udf.WriteArea(ctx, build.iso, build.udf, DataStartThunk, &build, SectorSink::WriteThunk, &sink)) {
            Fail(foundation::kStatusWriteFailed);
            return -1;
        }
        if (!at(build.udf.areaEnd)) return -1;
    }
    if (build.isoOn && build.sessionStart > 0) {
        // The session's head is kept free up to S + 320 (a mirrored disc head
        // is as long).
        const uint64_t headEnd = ReserveSessionHead(build.sessionStart, sink.Position());
        if (!sink.Put(nullptr, headEnd - sink.Position())) return -1;
    }
    if (build.isoOn && !writeIsoDirectories()) return -1;
    // Files in the order of their sectors; gaps (before fixed-sector files) are
    // zeros. Shared data is written once, and files of earlier sessions, which
    // lie before this session, not at all.
    std::vector<std::pair<uint32_t, ImageItem*>> order;
    for (const std::vector<ImageItem*>* list : {&build.priorityFiles, &build.treeFiles}) {
        for (ImageItem* item : *list) {
            auto it = build.dataStart.find(item);
            if (item->size > 0 && it != build.dataStart.end()) order.emplace_back(it->second, item);
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    ImageItem* lastWritten = nullptr;
    uint32_t lastWrittenStart = 0;
    for (const auto& [start, item] : order) {
        if (start < sink.Position()) {
            if (lastWritten && start == lastWrittenStart && !StillIdentical(ctx, build, item, lastWritten)) return -1;
            continue;
        }
        if (start > sink.Position() && !sink.Put(nullptr, start - sink.Position())) return -1;
        if (!WriteFileData(ctx, build, item, sink)) return -1;
        lastWritten = item;
        lastWrittenStart = start;
    }
    if (build.udf.on &&
        (!at(build.udf.closingAnchor) || !udf.WriteClosingAnchor(ctx, build.udf, SectorSink::WriteThunk, &sink))) {
        Fail(foundation::kStatusWriteFailed);
        return -1;
    }
    if (!at(build.endSector) || !sink.Flush()) return -1;
    if (build.progress && build.progress->Finish) build.progress->Finish();
    return Failed() ? -1 : 0;
}

void FreeImageWriter(ImageContext* ctx) {
    if (!ctx) return;
    ctx->collectionBuffer.clear();
    ctx->collectionBuffer.shrink_to_fit();
    ctx->outputBuffer.clear();
    ctx->outputBuffer.shrink_to_fit();
    ctx->writerBuffer.clear();
    ctx->writerBuffer.shrink_to_fit();
}

}  // namespace image
