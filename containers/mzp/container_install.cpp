#include "containers/mzp/container_install.h"

#include <algorithm>

#include "containers/marfs/marfs_volume.h"
#include "containers/mzp/mzp_reader.h"
#include "containers/xdi/xdi_container.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/detect/fs_probe.h"
#include "image/detect/quiet_read_scope.h"
#include "image/document/image_context.h"

namespace containers {
namespace {

void FreeReader(image::MzpContainerState* state) { CloseMzp(state); }

// Geometry of a container of 2048-byte sectors, then the file-system probe.
int ProbeContainer(image::ImageContext& ctx, uint64_t sectors, int32_t code) {
    ctx.sectorSize = 2048;
    ctx.userDataOffset = 0;
    ctx.dataOffset = 0;
    ctx.endSector = int32_t(std::min<uint64_t>(sectors, uint64_t(INT32_MAX)));
    const int32_t status = foundation::OperationStatus.load();
    int result = 0;
    {
        // Reading past a small volume's end while looking for other file
        // systems is no error of the open.
        image::QuietReadScope quiet(ctx);
        result = image::ProbeFileSystem(ctx, code);
    }
    foundation::OperationStatus = status;
    foundation::SetLastErrorText(std::nullopt);
    return result;
}

}  // namespace

int AttachMzpDocument(image::ImageContext& ctx) {
    MzpContainer* c = OpenMzp(ctx, ctx.imagePath, ctx.imageHandle.get());
    if (!c) return -1;
    ctx.mzpReader.Attach(static_cast<image::MzpContainerState*>(c), FreeReader);
    ctx.mzpDocument = 1;
    if (c->selfExtracting) ctx.selfExtracting = 1;
    if (!c->commentBytes.empty()) {
        ctx.archiveComment = c->commentBytes;
        ctx.archiveCommentPresent = 1;
    }
    if (c->multiVolume) {
        ctx.splitOutput = 1;
        ctx.volumeSize = int64_t(c->volumes[0].size);
        ctx.volumeNamingStyle = c->namingStyle;
    }
    ctx.compressionLevel = std::min<int32_t>(c->header.level, 2);
    if (c->unsupportedVersion || c->passwordRefused) {
        ctx.formatCode = image::format_code::kMzp;
        return 0;
    }
    if (ProbeContainer(ctx, c->totalSectors, image::format_code::kMzp) != 0) {
        ctx.mzpReader.Reset();
        return -1;
    }
    return 0;
}

int AttachXdiDocument(image::ImageContext& ctx) {
    if (AttachXdi(ctx) != 0) return -1;
    XdiContainer* c = ctx.xdiReader.get();
    if (!c->unsupportedVersion && !c->passwordRefused &&
        ProbeContainer(ctx, c->totalSectors, image::format_code::kXdi) != 0) {
        ctx.xdiReader.Reset();
        return -1;
    }
    return 0;
}

int SaveMzpArchive(image::ImageContext& ctx, std::u16string_view path, VolumeOpener opener,
                   foundation::ProgressCallbacks* progress) {
    const int32_t previousFormat = ctx.outputFormat;
    const int32_t previousEnd = ctx.endSector;
    const int32_t previousOverride = ctx.endSectorOverride;
    // Reads of the document's own image stay bounded by its own size while
    // the end sector names the archive's.
    if (ctx.endSectorOverride == 0) ctx.endSectorOverride = ctx.endSector;
    ctx.outputFormat = image::format_code::kMzp;
    struct Restore {
        image::ImageContext& ctx;
        int32_t format, end, override_;
        ~Restore() {
            ctx.outputFormat = format;
            ctx.endSector = end;
            ctx.endSectorOverride = override_;
            ctx.mzpWriter.Reset();
        }
    } restore{ctx, previousFormat, previousEnd, previousOverride};

    // The layout pass runs first (it sets the end sector), then the writer is
    // made for that many sectors, then every sector streams through it.
    std::u16string first(path);
    int result = WriteMarfsVolume(ctx, progress, [&]() {
        if (!CreateMzpWriter(ctx, first, opener)) {
            foundation::OperationStatus = foundation::kStatusFailed;
            foundation::ShowLastError(first);
            return false;
        }
        return true;
    });
    return result;
}

}  // namespace containers
