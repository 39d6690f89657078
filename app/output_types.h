#pragma once
// Which output types a save can write, judged from the name the user gave
// before anything is read or written: a name whose suffix is a type we only
// read (a CUE sheet, a WIM, an NRG...) is refused instead of receiving ISO
// bytes under that name, and a name without a suffix gets the type's suffix.

#include <cstdint>
#include <string>
#include <string_view>

namespace app {

// The suffixes that can be written, as shown to the user: ".iso, .bin, ...".
std::u16string WritableTypesText();

// True when a name with this suffix (lower case, no dot) names a disc image,
// sheet or archive type that no writer of ours produces.
bool IsUnwritableImageSuffix(std::u16string_view extension);

// The refusal for writing `path` as `format` (-1: by its suffix), or an empty
// text when the save may go on.
std::u16string OutputTypeRefusal(std::u16string_view path, int32_t format);

// The path with the suffix of `format` appended when it has none (-1 and 3
// write ISO images); a path with a suffix is returned as it is.
std::u16string WithOutputSuffix(std::u16string_view path, int32_t format, int32_t archiveKind);

}  // namespace app
