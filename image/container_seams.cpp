#include "image/container_seams.h"

#include <atomic>

#include "platform/last_error.h"

namespace image {
namespace {

int32_t NotAvailable() {
    platform::SetLastError(platform::kErrorNotSupported);
    return 0;
}

class ComposedStandIn final : public IComposedImageAccess {
public:
    int32_t ReadComposedSectors(ImageContext&, int32_t, uint8_t*, int32_t) override { return NotAvailable(); }
    bool AppendComposedSectors(ImageContext&, const uint8_t*, size_t) override { return NotAvailable() != 0; }
};

class ChunkStandIn final : public IChunkImageReaders {
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

template <typename Interface>
std::atomic<Interface*>& Installed() {
    static std::atomic<Interface*> installed{nullptr};
    return installed;
}

template <typename Interface, typename StandIn>
Interface& Current() {
    static StandIn standIn;
    Interface* installed = Installed<Interface>().load();
    return installed != nullptr ? *installed : standIn;
}

}  // namespace

IComposedImageAccess& ComposedImageAccess() { return Current<IComposedImageAccess, ComposedStandIn>(); }
void SetComposedImageAccess(IComposedImageAccess* access) { Installed<IComposedImageAccess>().store(access); }
IChunkImageReaders& ChunkImageReaders() { return Current<IChunkImageReaders, ChunkStandIn>(); }
void SetChunkImageReaders(IChunkImageReaders* readers) { Installed<IChunkImageReaders>().store(readers); }
IContainerServices& ContainerServices() { return Current<IContainerServices, ContainerStandIn>(); }
void SetContainerServices(IContainerServices* services) { Installed<IContainerServices>().store(services); }

void SetImageFormatServices(IImageFormatServices* services) {
    SetComposedImageAccess(services);
    SetChunkImageReaders(services);
    SetContainerServices(services);
}

}  // namespace image
