#include "image/detect/fs_probe.h"

#include <array>
#include <cstring>

#include "foundation/prompt_services.h"
#include "image/detect/filesystem_services.h"
#include "image/detect/format_detect_services.h"
#include "image/detect/quiet_read_scope.h"
#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "foundation/file_io.h"
#include "image/sectors/format_table.h"
#include "image/document/image_context.h"
#include "image/iso/iso_directory.h"
#include "image/sheets/nrg_reader.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "image/iso/volume_texts.h"

namespace image {

namespace {

// Descriptors are looked for in sectors b .. b + 49: the boot record, primary,
// supplementary and partition descriptors of any real image fit well inside.
constexpr int32_t kDescriptorScanSectors = 50;
// Raw-scan sizes are below 3072 bytes.
constexpr size_t kProbeBufferBytes = 3072;

bool IsPlainLayoutCode(const ImageContext& ctx, int32_t code) {
    if (IsRawScanFormat(code)) return true;
    const ImageFormatRow* row = GetImageFormatRow(code);
    return row && row->sectorSize > 0 && !ctx.discSource;
}

// First sector of the session to probe: the chosen session's first track, or
// on a disc with audio before data the first data track of session 0.
int32_t ProbeStartSector(const ImageContext& ctx) {
    if (!ctx.trackList) return 0;
    int32_t start = 0;
    const int32_t session = foundation::ChosenSessionIndex().load();
    if (session >= 0) {
        start = GetTrackStart(ctx.trackList, session, 0);
    } else if (HasMixedTracks(ctx.trackList, 0)) {
        const int32_t track = FindDataTrackOfSession(ctx.trackList, 0);
        start = track >= 0 ? ctx.trackList->tracks[track].startSector : 0;
    }
    return start < 0 ? 0 : start;
}

// The root directory's first sector must be readable, or this is not the
// layout. A damaged root record is not judged here: the tree read reports it
// ("Can not read directory structure.").
bool RootSectorReadable(ImageContext& ctx, std::span<const uint8_t> rootRecord) {
    const uint32_t extent = DecodeRecordHead(rootRecord).value_or(IsoRecordHead{}).extentLba;
    std::array<uint8_t, kIsoSectorBytes> first{};
    return extent <= static_cast<uint32_t>(INT32_MAX) &&
           ReadProbeSector(ctx, ctx.formatCode, static_cast<int32_t>(extent), first);
}

}  // namespace

bool ReadProbeSector(ImageContext& ctx, int32_t code, int32_t sector,
                     std::span<uint8_t, kIsoSectorBytes> out) {
    if (sector < 0) return false;
    if (IsPlainLayoutCode(ctx, code)) {
        // Plain and raw layouts: the stored sector straight from the file, so
        // a wrong guess at the layout costs one read and no end-of-file handling.
        const int64_t size = ctx.sectorSize;
        if (size < static_cast<int64_t>(kIsoSectorBytes) || size > static_cast<int64_t>(kProbeBufferBytes) ||
            ctx.userDataOffset < 0 || ctx.userDataOffset > size - static_cast<int64_t>(kIsoSectorBytes)) {
            return false;
        }
        const int64_t offset = static_cast<int64_t>(sector) * size + ctx.dataOffset + ctx.userDataOffset;
        if (offset < 0) return false;
        return foundation::ReadFileAt(ctx.imageHandle.get(), out.data(), static_cast<uint64_t>(offset),
                                      kIsoSectorBytes);
    }
    if (code == format_code::kNrg && !ctx.discSource) return ReadNrgSectors(ctx, sector, out.data(), 1) == 1;
    // Containers, chunked images and discs read through their own reader.
    return ReadImageSectors(ctx, sector, out.data(), 1) == 1;
}

int ExamineVolumeDescriptor(ImageContext& ctx, int32_t sector, DescriptorBytes d) {
    if (!HasIsoStandardId(d)) {
        return kDescriptorOther;
    }
    const uint8_t type = d[vd::kType];
    if (type == static_cast<uint8_t>(VolumeDescriptorType::Terminator)) return kDescriptorTerminator;

    if (type == static_cast<uint8_t>(VolumeDescriptorType::Primary)) {
        if (ctx.iso9660Present) return kDescriptorOther;   // a second primary is ignored
        const VolumeDescriptorFacts facts = DecodeVolumeDescriptorFacts(d);
        if (!RootSectorReadable(ctx, facts.rootRecord)) return kDescriptorOther;
        std::memcpy(ctx.primaryDescriptor.data(), d.data(), kIsoSectorBytes);
        ctx.iso9660Present = true;
        ctx.logicalBlockSize = facts.logicalBlockBytes;
        ctx.volumeSpaceSize = static_cast<int32_t>(facts.volumeSpaceBlocks);
        ctx.primaryDescriptorSector = sector;
        const VolumeDates dates = DecodeVolumeDates(d);
        ctx.creationTime = dates.creation;
        ctx.modificationTime = dates.modification;
        ctx.effectiveTime = dates.effective;
        ctx.expirationTime = dates.expiration;
        // A Joliet descriptor met before this one keeps its root, texts and
        // root date: its tree is the one read, with names decoded as UCS-2,
        // which the primary root's names are not.
        if (ctx.jolietLevel == 0) {
            ctx.rootDirectoryRecord = facts.rootRecord;
            LoadPrimaryVolumeTexts(ctx, d);
            ctx.rootTime = foundation::IsoRecordDateToUnixTime(
                std::span<const uint8_t>(facts.rootRecord).subspan(dr::kDate, dr::kDateBytes));
        }
        return kDescriptorPrimary;
    }

    if (type == static_cast<uint8_t>(VolumeDescriptorType::Supplementary) && ctx.jolietLevel == 0) {
        const int level = JolietLevelFromEscape(d);
        if (level == 0) return kDescriptorOther;
        const VolumeDescriptorFacts facts = DecodeVolumeDescriptorFacts(d);
        if (!RootSectorReadable(ctx, facts.rootRecord)) return kDescriptorOther;
        ctx.jolietLevel = level;
        std::memcpy(ctx.jolietDescriptor.data(), d.data(), kIsoSectorBytes);
        // The tree is read from the Joliet hierarchy.
        ctx.rootDirectoryRecord = facts.rootRecord;
        ctx.volumeSpaceSize = static_cast<int32_t>(facts.volumeSpaceBlocks);
        LoadJolietVolumeTexts(ctx, d);
        ctx.jolietDescriptorSector = sector;
        ctx.rootTime = foundation::IsoRecordDateToUnixTime(
            std::span<const uint8_t>(facts.rootRecord).subspan(dr::kDate, dr::kDateBytes));
        return kDescriptorJoliet;
    }

    if (IsElToritoBootRecord(d)) {
        ctx.bootRecordSector = sector;
        return kDescriptorBootRecord;
    }
    return kDescriptorOther;
}

int ProbeFileSystem(ImageContext& ctx, int32_t code) {
    // A wrong guess must not ask about the end of the file or show a read error.
    QuietReadScope quiet(ctx);
    const int32_t start = ProbeStartSector(ctx);
    ctx.formatCode = code;
    // Each candidate layout stands alone: what a wrong guess found before must
    // not make the right one ignore its own descriptors.
    ctx.iso9660Present = false;
    ctx.jolietLevel = 0;
    ctx.primaryDescriptorSector = -1;
    ctx.jolietDescriptorSector = -1;
    ctx.bootRecordSector = -1;

    std::array<uint8_t, kIsoSectorBytes> sector{};
    for (int32_t s = start; s < start + kDescriptorScanSectors; ++s) {
        if (!ReadProbeSector(ctx, code, s, sector)) {
            // Sectors before the start of the file are skipped; any other
            // failure ends the descriptor scan but keeps what was found.
            const int64_t offset = static_cast<int64_t>(s) * ctx.sectorSize + ctx.dataOffset;
            if (IsPlainLayoutCode(ctx, code) && offset < 0) continue;
            break;
        }
        if (ExamineVolumeDescriptor(ctx, s, sector) == kDescriptorTerminator) break;
    }

    ctx.udfOnly = !ctx.iso9660Present;
    ctx.udfFlag = false;
    if (image::MountUdf(ctx, start)) {
        ctx.udfPresent = true;
    } else if (image::DetectXboxDisc(ctx)) {
        ctx.xboxVolume = true;
    } else if (image::MountHfsPlus(ctx, 1) || image::MountHfs(ctx) ||
               image::MountHfsPlus(ctx, 4)) {
        // The HFS readers keep their own volume state.
    } else if (image::DetectWiiDisc(ctx)) {
        ctx.wiiDisc = true;
    } else if (image::DetectMarfsVolume(ctx)) {
        // The MARFS reader keeps its own volume state.
    } else if (!(ctx.iso9660Present && ctx.logicalBlockSize == static_cast<int32_t>(kIsoSectorBytes))) {
        ctx.formatCode = format_code::kUnknown;
        return -1;
    }
    ctx.formatCode = code;
    return 0;
}

}  // namespace image
