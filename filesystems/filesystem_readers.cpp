#include "filesystems/filesystem_readers.h"

#include "filesystems/console_discs/console_discs.h"
#include "filesystems/fat/fat_volume_hooks.h"
#include "filesystems/hfs/hfs_volume.h"
#include "filesystems/udf/udf_volume.h"
#include "filesystems/udf/udf_writer.h"
#include "image/build/udf_writer_services.h"
#include "image/detect/filesystem_services.h"
#include "image/document/fat_volume_services.h"
#include "image/document/item_bytes.h"
#include "image/document/open_reader_services.h"

namespace filesystems {
namespace {

class Probes final : public image::IFilesystemServices {
public:
    bool MountUdf(image::ImageContext& ctx, int32_t sessionStart) override {
        return filesystems::MountUdf(ctx, sessionStart);
    }
    int DetectXboxDisc(image::ImageContext& ctx) override { return filesystems::DetectXboxDisc(ctx); }
    int MountHfsPlus(image::ImageContext& ctx, int scale) override { return filesystems::MountHfsPlus(ctx, scale); }
    int MountHfs(image::ImageContext& ctx) override { return filesystems::MountHfs(ctx); }
    int DetectWiiDisc(image::ImageContext& ctx) override { return filesystems::DetectWiiDisc(ctx); }
};

class TreeReaders final : public image::OpenReaderStandIn {
public:
    int ReadXboxTree(image::ImageContext& ctx) override { return filesystems::ReadXboxTree(ctx); }
    int BuildHfsPlusTree(image::ImageContext& ctx) override { return filesystems::BuildHfsPlusTree(ctx); }
    int BuildHfsTree(image::ImageContext& ctx) override { return filesystems::BuildHfsTree(ctx); }
};

Probes g_probes;
UdfWriter g_udfWriter;
TreeReaders g_treeReaders;

}  // namespace

void InstallFilesystemReaders() {
    image::SetFilesystemServices(&g_probes);
    image::SetOpenReaderServices(&g_treeReaders);
    image::SetUdfWriterServices(&g_udfWriter);
    // UDF and HFS files are read in ranges through their extents and runs.
    image::SetItemReader(image::ItemReaderKind::Udf, {ReadUdfItemBytes, nullptr});
    image::SetItemReader(image::ItemReaderKind::Hfs, {ReadHfsItemBytes, nullptr});
    image::SetItemReader(image::ItemReaderKind::HfsPlus, {ReadHfsItemBytes, nullptr});
    image::SetFatVolumeServices(&FatVolumeWriterServices());
}

void UninstallFilesystemReaders() {
    image::SetFilesystemServices(nullptr);
    image::SetOpenReaderServices(nullptr);
    image::SetUdfWriterServices(nullptr);
    image::SetItemReader(image::ItemReaderKind::Udf, {});
    image::SetItemReader(image::ItemReaderKind::Hfs, {});
    image::SetItemReader(image::ItemReaderKind::HfsPlus, {});
    image::SetFatVolumeServices(nullptr);
}

}  // namespace filesystems
