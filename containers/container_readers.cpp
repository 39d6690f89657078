#include "containers/container_readers.h"

#include "codecs/deflate_encoder.h"
#include "containers/chunk/chunk_engine.h"
#include "containers/daa/daa_container.h"
#include "containers/dmg/dmg_reader.h"
#include "containers/isz/isz_reader.h"
#include "containers/marfs/marfs_volume.h"
#include "containers/mzp/container_install.h"
#include "containers/mzp/mzp_container.h"
#include "containers/mzp/mzp_reader.h"
#include "containers/mzp/mzp_writer.h"
#include "containers/uif/uif_reader.h"
#include "containers/xdi/xdi_container.h"
#include "image/detect/format_detect_services.h"
#include "image/document/image_context.h"
#include "image/sectors/container_services.h"

namespace containers {
namespace {

class Openers final : public image::FormatDetectStandIn {
public:
    int OpenDmgImage(image::ImageContext& ctx) override { return containers::OpenDmgImage(ctx); }
    int OpenUifImage(image::ImageContext& ctx) override { return containers::OpenUifImage(ctx); }
    int OpenIszImage(image::ImageContext& ctx) override { return containers::OpenIszImage(ctx); }
    int AttachDaaContainer(image::ImageContext& ctx) override { return containers::AttachDaaContainer(ctx); }
    int AttachMzpContainer(image::ImageContext& ctx) override { return AttachMzpDocument(ctx); }
    int AttachXdiContainer(image::ImageContext& ctx) override { return AttachXdiDocument(ctx); }
    int DetectMarfsVolume(image::ImageContext& ctx) override { return containers::DetectMarfsVolume(ctx) ? 1 : 0; }
    int LoadMarfsTree(image::ImageContext& ctx) override { return containers::LoadMarfsTree(ctx); }
    bool ContainerNeedsPassword(image::ImageContext& ctx) override {
        if (ctx.formatCode == image::format_code::kMzp && ctx.mzpReader) return ctx.mzpReader->passwordRefused;
        if (ctx.formatCode == image::format_code::kXdi && ctx.xdiReader) return ctx.xdiReader->passwordRefused;
        return false;
    }
    bool ContainerIsNewerVersion(image::ImageContext& ctx) override {
        if (ctx.formatCode == image::format_code::kMzp && ctx.mzpReader) return ctx.mzpReader->unsupportedVersion;
        if (ctx.formatCode == image::format_code::kXdi && ctx.xdiReader) return ctx.xdiReader->unsupportedVersion;
        return false;
    }
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

// The DAA/HXI, MZP and XDI readers and writers.
class Containers final : public image::IContainerServices {
public:
    int CopyContainerSector(image::ContainerKind kind, image::ImageContext& ctx, uint32_t sector,
                            uint8_t* destination) override {
        switch (kind) {
            case image::ContainerKind::Daa:
                return ctx.daaReader ? CopyDaaSector(*ctx.daaReader.get(), sector, destination) : -1;
            case image::ContainerKind::Mzp:
                return ctx.mzpReader ? CopyMzpSector(*ctx.mzpReader.get(), sector, destination) : -1;
            case image::ContainerKind::Xdi:
                return ctx.xdiReader ? CopyXdiSector(*ctx.xdiReader.get(), sector, destination) : -1;
        }
        return -1;
    }
    image::IContainerWriterFamily* ContainerWriter(image::ContainerKind kind) override {
        switch (kind) {
            case image::ContainerKind::Daa: return &DaaWriterFamily();
            case image::ContainerKind::Mzp: return &MzpWriterFamily();
            case image::ContainerKind::Xdi: return &XdiWriterFamily();
        }
        return nullptr;
    }
    size_t DeflateCompressBlock(const uint8_t* input, size_t length, uint8_t* output, size_t capacity) override {
        const int64_t n = codecs::DeflateCompressBlock(input, output, length, 0, capacity);
        return n > 0 ? size_t(n) : 0;
    }
};

Openers g_openers;
Containers g_containers;
ChunkReaders g_chunkReaders;

}  // namespace

void InstallContainerReaders() {
    image::SetFormatDetectServices(&g_openers);
    image::SetChunkImageServices(&g_chunkReaders);
    image::SetContainerServices(&g_containers);
}

void UninstallContainerReaders() {
    image::SetFormatDetectServices(nullptr);
    image::SetChunkImageServices(nullptr);
    image::SetContainerServices(nullptr);
}

}  // namespace containers
