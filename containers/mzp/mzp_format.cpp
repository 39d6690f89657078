#include "containers/mzp/mzp_format.h"

#include <cstring>

#include "codecs/crc32.h"
#include "foundation/byte_order.h"
#include "platform/text.h"

namespace containers::mzp {
namespace {

constexpr char kMagic[] = "MZP";
constexpr char kVolumeMagic[] = "MZP VOL";

std::u16string Digits(uint32_t n, int width) {
    std::u16string s(size_t(width), u'0');
    for (int i = width - 1; i >= 0; --i) {
        s[size_t(i)] = char16_t(u'0' + n % 10);
        n /= 10;
    }
    return s;
}

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
    const std::u16string part = style == 0 ? u".part01" : u".part001";
    std::u16string name(path);
    if (platform::EndsWithNoCase(name, u".mzp") || platform::EndsWithNoCase(name, u".exe")) {
        name.insert(name.size() - 4, part);
        return name;
    }
    return name + part + u".mzp";
}

std::optional<std::u16string> MzpVolumeNameAt(std::u16string_view first, int32_t style, uint32_t n) {
    if (style != 0 && style != 1) return std::nullopt;
    const size_t width = style == 0 ? 2 : 3;
    const bool exe = platform::EndsWithNoCase(first, u".exe");
    if (!exe && !platform::EndsWithNoCase(first, u".mzp")) return std::nullopt;
    const size_t stem = first.size() - 4;
    if (stem < width + 5) return std::nullopt;
    const size_t digits = stem - width;
    if (!platform::EndsWithNoCase(first.substr(0, digits), u".part")) return std::nullopt;
    for (size_t i = digits; i < stem; ++i)
        if (!platform::IsAsciiDigit(first[i])) return std::nullopt;
    if (n + 1 > MaxVolumes(style)) return std::nullopt;
    std::u16string name(first.substr(0, digits));
    name += Digits(n + 1, int(width));
    name += exe && n > 0 ? std::u16string(u".mzp") : std::u16string(first.substr(stem));
    return name;
}

std::u16string FindFirstMzpVolume(std::u16string_view name) {
    if (!platform::EndsWithNoCase(name, u".mzp")) return std::u16string(name);
    const size_t stem = name.size() - 4;
    size_t digits = stem;
    while (digits > 0 && platform::IsAsciiDigit(name[digits - 1])) --digits;
    const size_t width = stem - digits;
    if ((width != 2 && width != 3) || !platform::EndsWithNoCase(name.substr(0, digits), u".part")) return std::u16string(name);
    std::u16string out(name);
    out.replace(digits, width, width == 2 ? u"01" : u"001");
    return out;
}

bool CheckMzpVolumeCount(uint64_t sectors, uint64_t volumeSize) {
    if (volumeSize == 0) return true;
    const unsigned __int128 bytes = (unsigned __int128)sectors * 2248;
    return bytes / volumeSize + 1 >= 100;
}

}  // namespace containers::mzp
