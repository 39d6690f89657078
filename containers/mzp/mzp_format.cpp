#include "containers/mzp/mzp_format.h"

#include <cstring>

#include "codecs/crc32.h"
#include "foundation/byte_order.h"
#include "foundation/volume_names.h"
#include "platform/text.h"

namespace containers::mzp {
namespace {

constexpr char kMagic[] = "MZP";
constexpr char kVolumeMagic[] = "MZP VOL";

constexpr std::u16string_view kExtensions[] = {u"mzp", u"exe"};
// Style 0 numbers the volumes in two digits, style 1 in three.
constexpr foundation::VolumeStyle kVolumeStyles[] = {
    {foundation::VolumeNumbering::PartWord, 2, 1, kExtensions},
    {foundation::VolumeNumbering::PartWord, 3, 1, kExtensions},
};

}  // namespace

bool IsMzpMagic(const uint8_t* bytes, size_t length) {
    return length >= 16 && std::memcmp(bytes, kMagic, sizeof kMagic) == 0;
}

bool IsMzpVolumeMagic(const uint8_t* bytes, size_t length) {
    return length >= 8 && std::memcmp(bytes, kVolumeMagic, sizeof kVolumeMagic) == 0;
}

std::optional<Header> ParseHeader(const uint8_t* b) {
    if (codecs::Crc32(b, 73) != foundation::ReadLE32(b + 73) || !IsMzpMagic(b, kHeaderBytes)) return std::nullopt;
    Header h;
    h.headerLength = foundation::ReadLE32(b + 16);
    h.version = foundation::ReadLE32(b + 20);
    h.offsetField = foundation::ReadLE32(b + 24);
    h.encryption = b[28];
    h.one = foundation::ReadLE32(b + 29);
    h.flags = foundation::ReadLE32(b + 37);
    h.size = foundation::ReadLE64(b + 41);
    h.archiveSize = foundation::ReadLE64(b + 49);
    h.level = b[57];
    h.compressedTableSize = foundation::ReadLE32(b + 58);
    h.bitsByte = b[62];
    std::memcpy(h.prefix.data(), b + 63, 6);
    if (h.headerLength < kHeaderBytes || h.one != 1) return std::nullopt;
    return h;
}

std::array<uint8_t, kHeaderBytes> BuildHeader(const Header& h) {
    std::array<uint8_t, kHeaderBytes> b{};
    std::memcpy(b.data(), kMagic, sizeof kMagic);
    foundation::WriteLE32(&b[16], h.headerLength);
    foundation::WriteLE32(&b[20], h.version);
    foundation::WriteLE32(&b[24], h.offsetField);
    b[28] = h.encryption;
    foundation::WriteLE32(&b[29], h.one);
    foundation::WriteLE32(&b[37], h.flags);
    foundation::WriteLE64(&b[41], h.size);
    foundation::WriteLE64(&b[49], h.archiveSize);
    b[57] = h.level;
    foundation::WriteLE32(&b[58], h.compressedTableSize);
    b[62] = h.bitsByte;
    std::memcpy(&b[63], h.prefix.data(), 6);
    foundation::WriteLE32(&b[73], codecs::Crc32(b.data(), 73));
    return b;
}

std::array<uint8_t, kVolumeHeaderBytes> BuildVolumeHeader() {
    std::array<uint8_t, kVolumeHeaderBytes> b{};
    std::memcpy(b.data(), kVolumeMagic, sizeof kVolumeMagic);
    foundation::WriteLE32(&b[16], kLaterVolumeArea);
    foundation::WriteLE32(&b[36], codecs::Crc32(b.data(), 36));
    return b;
}

uint32_t MaxVolumes(int32_t style) { return style == 0 ? 99 : style == 1 ? 999 : 1; }

std::optional<std::u16string> GetMzpVolumeName(std::u16string_view path, int32_t style) {
    if (style != 0 && style != 1) return std::nullopt;
    return foundation::FirstVolumeName(path, kVolumeStyles[style]);
}

std::optional<std::u16string> MzpVolumeNameAt(std::u16string_view first, int32_t style, uint32_t n) {
    if (style != 0 && style != 1) return std::nullopt;
    return foundation::VolumeName(first, kVolumeStyles[style], n);
}

std::u16string FindFirstMzpVolume(std::u16string_view name) { return foundation::FirstVolumeOf(name, kVolumeStyles); }

bool CheckMzpVolumeCount(uint64_t sectors, uint64_t volumeSize) {
    if (volumeSize == 0) return true;
    const unsigned __int128 bytes = (unsigned __int128)sectors * 2248;
    return bytes / volumeSize + 1 >= 100;
}

}  // namespace containers::mzp
