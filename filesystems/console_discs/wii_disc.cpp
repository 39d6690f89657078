// Wii discs are recognised by their header, not read.

#include <array>
#include <cstring>

#include "filesystems/console_discs/console_discs.h"
#include "foundation/byte_cursor.h"
#include "foundation/operation_status.h"
#include "image/detect/quiet_read_scope.h"
#include "image/document/text_conversions.h"
#include "image/sectors/sector_io.h"

namespace filesystems {
namespace {

// Disc header, sector 0.
constexpr size_t kRegion = 3;
constexpr size_t kMagic = 24;
constexpr uint32_t kWiiMagic = 0x5D1C9EA3;
constexpr size_t kTitle = 32;
constexpr size_t kTitleEnd = 64;

}  // namespace

int DetectWiiDisc(image::ImageContext& ctx) {
    std::array<uint8_t, 2048> sector{};
    {
        image::QuietReadScope quiet(ctx);
        const bool read = image::ReadImageSectors(ctx, 0, sector.data(), 1) == 1;
        foundation::ResetOperationStatus();
        if (!read) return 0;
    }
    foundation::ByteCursor c(sector);
    if (c.Be32(kMagic) != kWiiMagic) return 0;
    const char region = char(sector[kRegion]);
    ctx.wiiRegion = region == 'E' || region == 'J' ? u"NTSC" : region == 'P' ? u"PAL" : u"";
    const char* title = reinterpret_cast<const char*>(&sector[kTitle]);
    const size_t length = strnlen(title, kTitleEnd - kTitle);
    ctx.volumeTexts[image::volume_text::kVolumeLabel] =
        image::MultiByteToWideText(std::string_view(title, length), image::kAnsiCodePage);
    return 1;
}

}  // namespace filesystems
