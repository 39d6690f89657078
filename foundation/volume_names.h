#pragma once
// The names of the files of a volume set. Formats tell their volumes apart in
// one of two ways: a ".part" word and a number before the extension (volume 0
// is x.part01.mzp, volume 1 x.part02.mzp ...), or a number in place of the
// extension's last two letters from volume 1 on (x.daa, x.d00, x.d01 ... or
// x.isz, x.i01, x.i02 ...). Writers, readers and the console all name and find
// volumes here; on disk the names are then found without regard to case
// (foundation/name_lookup.h).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace foundation {

enum class VolumeNumbering {
    PartWord,    // x.part01.ext: volume n carries n + 1
    Extension,   // x.ext, then x.e + number: volume n >= 1 carries n - 1 + volumeOneNumber
};

struct VolumeStyle {
    VolumeNumbering numbering = VolumeNumbering::PartWord;
    uint32_t digits = 2;            // the number's width; a number that does not fit has no name
    uint32_t volumeOneNumber = 1;   // Extension: the number volume 1 carries
    // The extensions the set's files may have, lower case, the first one the
    // default; empty: any extension. A volume 0 with the extension "exe" is a
    // self-extracting program: numbered by the part word, the later volumes
    // take the first extension.
    std::span<const std::u16string_view> extensions;
};

// The name of volume 0 of a set saved under path: the path's extension kept
// when the style takes it (x.daa: x.part01.daa), else the style's first
// extension added (x.iso: x.iso.part01.daa).
std::u16string FirstVolumeName(std::u16string_view path, const VolumeStyle& style);

// Volume index (from 0) of the set whose volume 0 is named first; nothing
// when that name does not follow the style or the number does not fit.
std::optional<std::u16string> VolumeName(std::u16string_view first, const VolumeStyle& style, uint32_t index);

// Volume 0's name from the name of any volume, by the first of styles that
// the name follows; the name unchanged when it follows none.
std::u16string FirstVolumeOf(std::u16string_view anyVolume, std::span<const VolumeStyle> styles);

// The same, then found on disk: the name as it is in its folder, whatever its
// case. A volume 0 the styles may make a program is looked for as one (x.exe)
// when the data name (x.daa) is not there. The name as made when neither is.
std::u16string FindFirstVolume(std::u16string_view anyVolume, std::span<const VolumeStyle> styles);

// Where the number of a ".partN.ext" name lies: the digits between ".part"
// (any case) and the dot of the extension, in the name's last part.
struct PartNumber {
    size_t at = 0;
    size_t digits = 0;
};
std::optional<PartNumber> FindPartNumber(std::u16string_view name);

// number in decimal, zero-filled to width digits; nothing when it needs more.
std::optional<std::u16string> FixedDigits(uint64_t number, size_t width);

}  // namespace foundation
