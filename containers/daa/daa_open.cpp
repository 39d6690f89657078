// The image core's DAA/HXI open: a later volume opens its first one, the
// container becomes the document's reader, and the file system inside is probed.

#include "containers/daa/daa_container.h"

#include <new>

#include "image/detect/fs_probe.h"
#include "image/document/image_context.h"

namespace containers {
namespace {

constexpr int32_t kDaaFormat = 2;

void FreeState(image::DaaContainerState* state) { delete state; }

// Opening a later volume opens volume 0 in its place.
bool OpenFirstVolume(image::ImageContext& ctx) {
    uint8_t head[8];
    if (!foundation::ReadFileAt(ctx.imageHandle.get(), head, 0, sizeof head) || !IsDaaVolumeHeader(head, sizeof head))
        return true;
    const std::u16string first = LocateFirstDaaVolume(ctx.imagePath);
    foundation::UniqueFile file(foundation::OpenFileForRead(first));
    if (!file) return false;
    ctx.imagePath = first;
    ctx.imageHandle = std::move(file);
    ctx.imageSize = foundation::GetFileSize64(ctx.imageHandle.get());
    return true;
}

}  // namespace

int AttachDaaContainer(image::ImageContext& ctx) {
    ctx.daaReader.Reset();
    if (!OpenFirstVolume(ctx)) return -1;
    std::unique_ptr<image::DaaContainerState> state(new (std::nothrow) image::DaaContainerState);
    if (!state || !OpenDaaContainer(ctx, *state)) return -1;
    if (state->passwordRefused) {
        ctx.passwordMissing = 1;
        return -1;
    }
    if (state->formatUnsupported) return -1;
    const uint64_t sectors = (state->imageSize + 2047) / 2048;
    ctx.compressionLevel = state->compressionLevel;
    ctx.splitOutput = state->multiVolume ? 1 : 0;
    ctx.volumeSize = int64_t(state->volumeSizes.empty() ? 0 : state->volumeSizes[0]);
    ctx.volumeNamingStyle = state->namingStyle;
    ctx.passwordSet = state->password.rows.empty() ? 0 : 1;
    // Saved again, the image keeps its stub.
    if (state->endRecord) ctx.selfExtracting = 1;
    ctx.daaReader.Attach(state.release(), FreeState);
    ctx.sectorSize = 2048;
    ctx.userDataOffset = 0;
    ctx.dataOffset = 0;
    ctx.endSector = int32_t(sectors);
    if (image::ProbeFileSystem(ctx, kDaaFormat) != 0) {
        ctx.daaReader.Reset();
        ctx.endSector = 0;
        return -1;
    }
    ctx.endSector = int32_t(sectors);
    return 0;
}

}  // namespace containers
