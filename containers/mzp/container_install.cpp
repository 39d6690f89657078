#include "containers/mzp/container_install.h"

#include "codecs/deflate_encoder.h"
#include "containers/marfs/marfs_volume.h"
#include "containers/mzp/mzp_reader.h"
#include "containers/xdi/xdi_container.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/detect/filesystem_services.h"
#include "image/detect/format_detect_services.h"
#include "image/detect/fs_probe.h"
#include "image/detect/quiet_read_scope.h"
#include "image/document/image_context.h"
#include "image/document/open_reader_services.h"
#include "image/sectors/container_services.h"

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

int AttachMzp(image::ImageContext& ctx) {
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

class Detect final : public image::IFormatDetectServices {
public:
    image::IFormatDetectServices* next = nullptr;
    image::FormatDetectStandIn standIn;
    image::IFormatDetectServices& Next() { return next ? *next : standIn; }
    int OpenNrgImage(image::ImageContext& ctx) override { return Next().OpenNrgImage(ctx); }
    int OpenDmgImage(image::ImageContext& ctx) override { return Next().OpenDmgImage(ctx); }
    int OpenUifImage(image::ImageContext& ctx) override { return Next().OpenUifImage(ctx); }
    int OpenIszImage(image::ImageContext& ctx) override { return Next().OpenIszImage(ctx); }
    bool HasDaaSfxTrailer(image::ImageContext& ctx) override { return Next().HasDaaSfxTrailer(ctx); }
    int AttachDaaContainer(image::ImageContext& ctx) override { return Next().AttachDaaContainer(ctx); }
    int AttachMzpContainer(image::ImageContext& ctx) override { return AttachMzp(ctx); }
    int AttachXdiContainer(image::ImageContext& ctx) override {
        if (AttachXdi(ctx) != 0) return -1;
        XdiContainer* c = ctx.xdiReader.get();
        if (!c->unsupportedVersion && !c->passwordRefused &&
            ProbeContainer(ctx, c->totalSectors, image::format_code::kXdi) != 0) {
            ctx.xdiReader.Reset();
            return -1;
        }
        return 0;
    }
    int DetectVideoCd(image::ImageContext& ctx) override { return Next().DetectVideoCd(ctx); }
};

class Sectors final : public image::IContainerServices {
public:
    image::IContainerServices* next = nullptr;
    int CopyContainerSector(image::ContainerKind kind, image::ImageContext& ctx, uint32_t sector,
                            uint8_t* destination) override {
        if (kind == image::ContainerKind::Mzp)
            return ctx.mzpReader ? CopyMzpSector(*ctx.mzpReader.get(), sector, destination) : -1;
        if (kind == image::ContainerKind::Xdi)
            return ctx.xdiReader ? CopyXdiSector(*ctx.xdiReader.get(), sector, destination) : -1;
        return next ? next->CopyContainerSector(kind, ctx, sector, destination) : -1;
    }
    image::IContainerWriterFamily* ContainerWriter(image::ContainerKind kind) override {
        if (kind == image::ContainerKind::Mzp) return &MzpWriterFamily();
        if (kind == image::ContainerKind::Xdi) return &XdiWriterFamily();
        return next ? next->ContainerWriter(kind) : nullptr;
    }
    size_t DeflateCompressBlock(const uint8_t* input, size_t length, uint8_t* output, size_t capacity) override {
        const int64_t n = codecs::DeflateCompressBlock(input, output, length, 0, capacity);
        return n < 0 ? 0 : size_t(n);
    }
};

class Filesystems final : public image::IFilesystemServices {
public:
    image::IFilesystemServices* next = nullptr;
    image::detail::FilesystemStandIn standIn;
    image::IFilesystemServices& Next() { return next ? *next : standIn; }
    bool MountUdf(image::ImageContext& ctx, int32_t start) override { return Next().MountUdf(ctx, start); }
    int DetectXboxDisc(image::ImageContext& ctx) override { return Next().DetectXboxDisc(ctx); }
    int MountHfsPlus(image::ImageContext& ctx, int scale) override { return Next().MountHfsPlus(ctx, scale); }
    int MountHfs(image::ImageContext& ctx) override { return Next().MountHfs(ctx); }
    int DetectWiiDisc(image::ImageContext& ctx) override { return Next().DetectWiiDisc(ctx); }
    int DetectMarfsVolume(image::ImageContext& ctx) override {
        return containers::DetectMarfsVolume(ctx) ? 1 : Next().DetectMarfsVolume(ctx);
    }
};

class OpenReaders final : public image::IOpenReaderServices {
public:
    image::IOpenReaderServices* next = nullptr;
    image::OpenReaderStandIn standIn;
    image::IOpenReaderServices& Next() { return next ? *next : standIn; }
    void DetectImageFormat(image::ImageContext& ctx, int32_t start) override { Next().DetectImageFormat(ctx, start); }
    bool ContainerNeedsPassword(image::ImageContext& ctx) override {
        if (ctx.formatCode == image::format_code::kMzp && ctx.mzpReader) return ctx.mzpReader->passwordRefused;
        if (ctx.formatCode == image::format_code::kXdi && ctx.xdiReader) return ctx.xdiReader->passwordRefused;
        return Next().ContainerNeedsPassword(ctx);
    }
    bool ContainerIsNewerVersion(image::ImageContext& ctx) override {
        if (ctx.formatCode == image::format_code::kMzp && ctx.mzpReader) return ctx.mzpReader->unsupportedVersion;
        if (ctx.formatCode == image::format_code::kXdi && ctx.xdiReader) return ctx.xdiReader->unsupportedVersion;
        return Next().ContainerIsNewerVersion(ctx);
    }
    int ReadXboxTree(image::ImageContext& ctx) override { return Next().ReadXboxTree(ctx); }
    int BuildHfsPlusTree(image::ImageContext& ctx) override { return Next().BuildHfsPlusTree(ctx); }
    int BuildHfsTree(image::ImageContext& ctx) override { return Next().BuildHfsTree(ctx); }
    int LoadMarfsTree(image::ImageContext& ctx) override { return containers::LoadMarfsTree(ctx); }
    int ReadIsoTree(image::ImageContext& ctx) override { return Next().ReadIsoTree(ctx); }
    void LoadElTorito(image::ImageContext& ctx) override { Next().LoadElTorito(ctx); }
    int64_t FileSize(platform::FileHandle file) override { return Next().FileSize(file); }
    bool ShowMacFiles() override { return Next().ShowMacFiles(); }
    int32_t CompressionLevel() override { return Next().CompressionLevel(); }
    int64_t FixedTime() override { return Next().FixedTime(); }
    void InitNewImageFields(image::ImageContext& ctx, int32_t code) override { Next().InitNewImageFields(ctx, code); }
};

Detect g_detect;
Sectors g_sectors;
Filesystems g_filesystems;
OpenReaders g_openReaders;

}  // namespace

void InstallMzpXdiServices() {
    g_detect.next = image::SetFormatDetectServices(&g_detect);
    g_sectors.next = image::SetContainerServices(&g_sectors);
    g_filesystems.next = image::SetFilesystemServices(&g_filesystems);
    g_openReaders.next = image::SetOpenReaderServices(&g_openReaders);
}

void UninstallMzpXdiServices() {
    image::SetFormatDetectServices(g_detect.next);
    image::SetContainerServices(g_sectors.next);
    image::SetFilesystemServices(g_filesystems.next);
    image::SetOpenReaderServices(g_openReaders.next);
    g_detect.next = nullptr;
    g_sectors.next = nullptr;
    g_filesystems.next = nullptr;
    g_openReaders.next = nullptr;
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
