#pragma once
// Names from Windows-made data (a sheet's FILE line, a volume named by the
// set's first file, a name the user typed as Windows shows it) found on this
// system, where names differ by case: each part is looked up in its folder
// without regard to case, "\" accepted between parts. One routine for every
// caller, so a sheet, a volume set and the console find the same file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace foundation {

// The entry of folder whose name equals name without regard to case (the exact
// name first; among several that differ only by case the smallest, so the
// choice does not depend on the folder's order); empty when there is none.
std::u16string FindNameNoCase(const std::u16string& folder, std::u16string_view name);

struct ResolvedName {
    std::u16string path;
    bool found = false;   // every part matched an entry; else the parts from the first miss on are as named
    size_t parts = 0;     // the parts taken into the path
};
// name under folder, part by part ("/" or "\" between parts, "." and empty
// parts dropped); ".." parts stay in the path for the file system to follow,
// through links as it would for any program given the same name. Stops
// looking at maxLength characters (found false, the path as far as built).
ResolvedName ResolveNameNoCase(std::u16string_view folder, std::u16string_view name, size_t maxLength = SIZE_MAX);

// The path as given when it exists, else the same path with its last part
// found in its folder without regard to case; unchanged when neither exists.
std::u16string ResolvePathNoCase(std::u16string_view path);

}  // namespace foundation
