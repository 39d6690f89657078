#include "image/sectors/container_services.h"

#include "foundation/services.h"
#include "image/build/composed_image.h"
#include "image/document/image_context.h"
#include "platform/last_error.h"

namespace image {
namespace {

int32_t NotAvailable() {
    platform::SetLastError(platform::kErrorNotSupported);
    return 0;
}

// The composed image of a build for burning (image/build/composed_image.h).
class ComposedImageDefault final : public IComposedImageServices {
public:
    int32_t ReadComposedSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) override {
        return image::ReadComposedSectors(ctx, first, buffer, count);
    }
    bool AppendComposedSectors(ImageContext& ctx, const uint8_t* bytes, size_t length) override {
        if (ctx.outputFormat != format_code::kBin) {
            if (length % kUserDataBytes != 0) return false;
            return AppendComposedLiteral(ctx, bytes, length / kUserDataBytes);
        }
        // Frames of the BIN writer: their user data is what the image holds.
        if (length % kFrameBytes != 0) return false;
        const size_t userData = ctx.videoCdKind != 0 ? 24 : 16;
        for (size_t at = 0; at < length; at += kFrameBytes)
            if (!AppendComposedLiteral(ctx, bytes + at + userData, 1)) return false;
        return true;
    }

private:
    static constexpr size_t kUserDataBytes = 2048;
    static constexpr size_t kFrameBytes = 2352;
};

class ChunkStandIn final : public IChunkImageServices {
public:
    int32_t ReadChunkedSectors(ImageContext&, int32_t, uint8_t*, int32_t) override { return NotAvailable(); }
    int32_t ReadChunkImageSectors(ImageContext&, int32_t, uint8_t*, int32_t) override { return NotAvailable(); }
};

class ContainerStandIn final : public IContainerServices {
public:
    int CopyContainerSector(ContainerKind, ImageContext&, uint32_t, uint8_t*) override {
        NotAvailable();
        return -1;
    }
    IContainerWriterFamily* ContainerWriter(ContainerKind) override {
        NotAvailable();
        return nullptr;
    }
    size_t DeflateCompressBlock(const uint8_t*, size_t, uint8_t*, size_t) override { return size_t(NotAvailable()); }
};

foundation::ServiceSlot<IComposedImageServices, ComposedImageDefault>& ComposedSlot() {
    static foundation::ServiceSlot<IComposedImageServices, ComposedImageDefault> slot;
    return slot;
}
foundation::ServiceSlot<IChunkImageServices, ChunkStandIn>& ChunkSlot() {
    static foundation::ServiceSlot<IChunkImageServices, ChunkStandIn> slot;
    return slot;
}
foundation::ServiceSlot<IContainerServices, ContainerStandIn>& ContainerSlot() {
    static foundation::ServiceSlot<IContainerServices, ContainerStandIn> slot;
    return slot;
}

}  // namespace

IComposedImageServices& ComposedImageServices() { return ComposedSlot().Get(); }
IComposedImageServices* SetComposedImageServices(IComposedImageServices* access) { return ComposedSlot().Install(access); }
IChunkImageServices& ChunkImageServices() { return ChunkSlot().Get(); }
IChunkImageServices* SetChunkImageServices(IChunkImageServices* readers) { return ChunkSlot().Install(readers); }
IContainerServices& ContainerServices() { return ContainerSlot().Get(); }
IContainerServices* SetContainerServices(IContainerServices* services) { return ContainerSlot().Install(services); }

}  // namespace image
