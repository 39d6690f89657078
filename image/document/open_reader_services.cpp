#include "image/document/open_reader_services.h"

#include "foundation/file_io.h"
#include "foundation/settings.h"
#include "foundation/dates.h"
#include "image/detect/format_detect.h"
#include "image/iso/el_torito.h"
#include "image/iso/iso_reader.h"
#include "image/iso/volume_texts.h"

namespace image {

void OpenReaderStandIn::DetectImageFormat(ImageContext& ctx, int32_t startFormat) {
    image::DetectImageFormat(ctx, startFormat);
}
int OpenReaderStandIn::ReadXboxTree(ImageContext&) { return -1; }
int OpenReaderStandIn::BuildHfsPlusTree(ImageContext&) { return -1; }
int OpenReaderStandIn::BuildHfsTree(ImageContext&) { return -1; }
int OpenReaderStandIn::ReadIsoTree(ImageContext& ctx) { return image::ReadIsoTree(ctx); }
void OpenReaderStandIn::LoadElTorito(ImageContext& ctx) { image::LoadElTorito(ctx); }
int64_t OpenReaderStandIn::FileSize(platform::FileHandle file) { return foundation::GetFileSize64(file); }
bool OpenReaderStandIn::ShowMacFiles() {
    return foundation::ReadSettingDwordInRange(u"ShowMacFiles", 0, 0, 1) != 0;
}
int32_t OpenReaderStandIn::CompressionLevel() { return static_cast<int32_t>(foundation::GetCompressionLevel()); }
int64_t OpenReaderStandIn::FixedTime() { return foundation::GetFixedTime(); }
void OpenReaderStandIn::InitNewImageFields(ImageContext& ctx, int32_t formatCode) {
    image::InitNewImageFields(ctx, formatCode);
}

}  // namespace image
