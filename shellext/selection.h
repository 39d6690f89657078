#pragma once
// What the selected paths are: archives or images by their extension, the
// folder and archive names the packing and extracting items offer. Paths are
// POSIX paths; a trailing "/" is ignored, a name's leading dot starts no
// extension, and the folder of "/x" is "/".

#include <string>
#include <string_view>

namespace shellext {

// The extension with its dot, lower-cased; empty when the last component has
// none.
std::u16string ExtensionOf(std::u16string_view path);
bool IsArchiveExtension(std::u16string_view extension);
bool IsImageExtension(std::u16string_view extension);
// The path cut at its last "/"; "/" for "/x"; empty for a bare name.
std::u16string FolderOf(std::u16string_view path);
// Without its trailing "/"s ("/" stays "/").
std::u16string WithoutTrailingSlash(std::u16string_view path);
// The path without its extension (unchanged when it has none).
std::u16string WithoutExtension(std::u16string_view path);
// "zip", "7z", "mzp" or "iso" from "DefaultFileType" (other values: zip).
std::u16string DefaultArchiveType();

}  // namespace shellext
