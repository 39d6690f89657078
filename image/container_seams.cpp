#include "image/container_seams.h"

#include <atomic>

#include "platform/last_error.h"

namespace image {
namespace {

class NotAvailable final : public IImageFormatServices {
public:
    int32_t ReadChunkedSectors(ImageContext&, int32_t, uint8_t*, int32_t) override { return Fail(); }
    int32_t ReadChunkImageSectors(ImageContext&, int32_t, uint8_t*, int32_t) override { return Fail(); }
    int32_t ReadComposedSectors(ImageContext&, int32_t, uint8_t*, int32_t) override { return Fail(); }
    bool AppendComposedSectors(ImageContext&, const uint8_t*, size_t) override { return Fail() != 0; }
    int CopyContainerSector(ContainerKind, ImageContext&, uint32_t, uint8_t*) override {
        Fail();
        return -1;
    }
    IContainerWriterFamily* ContainerWriter(ContainerKind) override {
        Fail();
        return nullptr;
    }
    size_t DeflateCompressBlock(const uint8_t*, size_t, uint8_t*, size_t) override { return size_t(Fail()); }

private:
    static int32_t Fail() {
        platform::SetLastError(platform::kErrorNotSupported);
        return 0;
    }
};

std::atomic<IImageFormatServices*>& Installed() {
    static std::atomic<IImageFormatServices*> installed{nullptr};
    return installed;
}

}  // namespace

IImageFormatServices& ImageFormatServices() {
    static NotAvailable standIn;
    IImageFormatServices* services = Installed().load();
    return services != nullptr ? *services : standIn;
}

void SetImageFormatServices(IImageFormatServices* services) { Installed().store(services); }

}  // namespace image
