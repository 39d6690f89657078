#include "containers/container_readers.h"

#include "containers/chunk/chunk_engine.h"
#include "containers/dmg/dmg_reader.h"
#include "containers/isz/isz_reader.h"
#include "containers/uif/uif_reader.h"
#include "image/detect/format_detect_services.h"
#include "image/sectors/container_services.h"

namespace containers {
namespace {

class Openers final : public image::FormatDetectStandIn {
public:
    int OpenDmgImage(image::ImageContext& ctx) override { return containers::OpenDmgImage(ctx); }
    int OpenUifImage(image::ImageContext& ctx) override { return containers::OpenUifImage(ctx); }
    int OpenIszImage(image::ImageContext& ctx) override { return containers::OpenIszImage(ctx); }
};

class ChunkReaders final : public image::IChunkImageServices {
public:
    int32_t ReadChunkedSectors(image::ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) override {
        return containers::ReadChunkedSectors(ctx, first, buffer, count);
    }
    int32_t ReadChunkImageSectors(image::ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) override {
        return containers::ReadChunkImageSectors(ctx, first, buffer, count);
    }
};

Openers g_openers;
ChunkReaders g_chunkReaders;

}  // namespace

void InstallContainerReaders() {
    image::SetFormatDetectServices(&g_openers);
    image::SetChunkImageServices(&g_chunkReaders);
}

void UninstallContainerReaders() {
    image::SetFormatDetectServices(nullptr);
    image::SetChunkImageServices(nullptr);
}

}  // namespace containers
