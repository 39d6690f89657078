// Detection over a document: the three rounds (extension row, every row, raw
// scan), the per-code probe and the layouts the raw scan found.

#include "image/detect/format_detect.h"

#include <array>

#include "foundation/file_io.h"
#include "image/detect/format_detect_services.h"
#include "image/sectors/format_table.h"
#include "image/detect/fs_probe.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"

namespace image {

namespace {

constexpr size_t kHeadBytes = 208;
constexpr int32_t kSectorsBeforeData = 150;   // the pregap of a disc's first track

bool IsTableCode(int32_t code) { return code >= 0 && code < kImageFormatRowCount; }

int OpenContainerImage(ImageContext& ctx, int32_t code, int (*attach)(ImageContext&)) {
    ctx.formatCode = code;
    if (attach(ctx) != 0) {
        ctx.formatCode = format_code::kUnknown;
        return -1;
    }
    // The container reader sets the geometry and probes when sector reads
    // are possible; it keeps the format when a password or a newer version
    // stops it, so the open can say why.
    return 0;
}

}  // namespace

void UpdateMixedTracksFlag(ImageContext& ctx) {
    if (ctx.trackList) ctx.mixedTracks = HasMixedTracks(ctx.trackList, 0);
}

int OpenDaaImage(ImageContext& ctx) { return OpenContainerImage(ctx, format_code::kDaa, AttachDaaContainer); }
int OpenMzpImage(ImageContext& ctx) { return OpenContainerImage(ctx, format_code::kMzp, AttachMzpContainer); }
int OpenXdiImage(ImageContext& ctx) { return OpenContainerImage(ctx, format_code::kXdi, AttachXdiContainer); }

int SetRawScanLayout(ImageContext& ctx, int32_t code) {
    if (!IsRawScanFormat(code)) return -1;
    const int32_t k = (code - format_code::kRawScanFirst) / 2;
    const int32_t size = ctx.rawScanSectorSizes[k];
    if (size <= 0 || ctx.rawScanDescriptorOffset < 0) return -1;
    ctx.sectorSize = size;
    ctx.userDataOffset = 0;
    int64_t offset = static_cast<int64_t>(ctx.rawScanDescriptorOffset) - 16LL * size;
    if ((code - format_code::kRawScanFirst) % 2 == 1) offset += static_cast<int64_t>(kSectorsBeforeData) * size;
    if (offset < INT32_MIN || offset > INT32_MAX) return -1;
    ctx.dataOffset = static_cast<int32_t>(offset);
    return 0;
}

int ProbeTableLayout(ImageContext& ctx, int32_t code) {
    if (!IsTableCode(code)) {
        if (SetRawScanLayout(ctx, code) != 0) {
            ctx.formatCode = format_code::kUnknown;
            return -1;
        }
    } else {
        const ImageFormatRow* row = GetImageFormatRow(code);
        if (!row || row->sectorSize <= 0) {
            ctx.formatCode = format_code::kUnknown;
            return -1;
        }
        ctx.sectorSize = row->sectorSize;
        ctx.userDataOffset = row->userDataOffset;
        ctx.dataOffset = row->dataOffset;
    }
    if (ProbeFileSystem(ctx, code) != 0) {
        ctx.formatCode = format_code::kUnknown;
        return -1;
    }
    if (!ctx.discSource) {
        const int64_t stored = ctx.imageSize - ctx.dataOffset;
        int64_t sectors = stored > 0 ? stored / ctx.sectorSize : 0;
        // A raw-scan image may end in a last sector cut to its user data.
        if (IsRawScanFormat(code) && stored > 0 && stored % ctx.sectorSize >= 2048) ++sectors;
        ctx.endSector = sectors > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sectors);
    }
    return 0;
}

void TryImageFormat(ImageContext& ctx, int32_t code) {
    if (!ctx.discSource && HasDaaSfxTrailer(ctx)) {
        OpenDaaImage(ctx);
        return;
    }
    switch (code) {
        case format_code::kDaa: OpenDaaImage(ctx); return;
        case format_code::kNrg: OpenNrgImage(ctx); return;
        case format_code::kDmg: OpenDmgImage(ctx); return;
        case format_code::kUif: OpenUifImage(ctx); return;
        case format_code::kIsz: OpenIszImage(ctx); return;
        case format_code::kMzp: OpenMzpImage(ctx); return;
        case format_code::kXdi: OpenXdiImage(ctx); return;
        default: break;
    }
    if (IsTableCode(code) || IsRawScanFormat(code)) ProbeTableLayout(ctx, code);
}

void TryAllImageFormats(ImageContext& ctx, int32_t firstCode) {
    SetProbeStatus(kProbeContinue);
    ctx.formatCode = format_code::kUnknown;
    TryImageFormat(ctx, firstCode);
    for (int32_t code = 0; code < kImageFormatRowCount; ++code) {
        if (ctx.formatCode != format_code::kUnknown || GetProbeStatus() == kProbeStop) return;
        if (code == firstCode) continue;
        TryImageFormat(ctx, code);
    }
}

void ScanRawLayout(ImageContext& ctx) {
    platform::FileHandle file = ctx.imageHandle.get();
    const RawScanResult scan = ScanRawBytes([file](uint64_t offset, uint8_t* buffer, size_t bytes) {
        return foundation::ReadFileAtCount(file, buffer, offset, bytes);
    });
    ctx.rawScanSectorSizes = scan.sectorSizes;
    ctx.rawScanDescriptorOffset = scan.descriptorOffset > INT32_MAX ? -1 : static_cast<int32_t>(scan.descriptorOffset);
}

int DetectImageFormat(ImageContext& ctx, int32_t code) {
    if (code == -1) code = GetFormatByExtension(GetFileExtension(ctx.imagePath));

    if (ctx.discSource) {
        if (!ctx.trackList || !TrimToAudioTracks(ctx.trackList, 0)) TryAllImageFormats(ctx, 0);
    } else {
        TryAllImageFormats(ctx, code);
        if (ctx.formatCode == format_code::kUnknown) {
            std::array<uint8_t, kHeadBytes> head{};
            const int64_t got = foundation::ReadFileAtCount(ctx.imageHandle.get(), head.data(), 0, head.size());
            const std::span<const uint8_t> bytes(head.data(), got > 0 ? static_cast<size_t>(got) : 0);
            if (IsLeftToOtherOpener(ctx.imagePath, bytes)) return 0;
            ScanRawLayout(ctx);
            if (ctx.rawScanDescriptorOffset >= 0) {
                // The table rows failed above; only the scanned layouts are new.
                SetProbeStatus(kProbeContinue);
                for (int32_t raw = format_code::kRawScanFirst;
                     raw <= format_code::kRawScanLast && ctx.formatCode == format_code::kUnknown; ++raw) {
                    TryImageFormat(ctx, raw);
                    if (GetProbeStatus() == kProbeStop) break;
                }
            }
        }
    }

    if (!ctx.sheetPath.empty()) {
        TrackListPtr list = OpenSheet(ctx.sheetPath);
        FreeTrackList(ctx.trackList);
        ctx.trackList = list.release();
    }

    if (ctx.trackList) {
        TrackList& list = *ctx.trackList;
        if (ctx.discSource) {
            ctx.sectorSize = list.discKind >= 1 && list.discKind <= 15 ? 2352 : 2048;
            if (list.sessionCount == 1 && list.trackCount > 1) ctx.sectorSize = 2352;
        }
        UpdateMixedTracksFlag(ctx);
        if (!ctx.mixedTracks && TrimToAudioTracks(ctx.trackList, 0)) {
            ctx.formatCode = format_code::kAudioCd;
            ctx.ripFlag = 1;
            ctx.dataOffset = 0;
            ctx.sectorSize = 2352;
            ctx.endSector = GetTrackListEndSector(ctx.trackList);
        }
    }
    return DetectVideoCd(ctx);
}

}  // namespace image
