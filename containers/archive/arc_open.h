#pragma once
// Opening a file through the archive library as a document: the format found
// by extension and signature, volumes and passwords through the open
// callback, an archive inside a compressed single stream (.tar.gz, .tar.xz,
// a split .001 set) opened through to the inner one, every item listed into
// the document's item tree with its path made safe.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "containers/archive/arc_com_object.h"

namespace image {
struct ImageContext;
}

namespace containers::archive {

class CArcCodecHost;

// Result codes of OpenArchiveAsImage beside those of the image core.
constexpr int kOpenWrongPassword = 18;   // a password was given and the open still failed

// A new document for the archive at path, or null with resultCode 8 (not
// opened), 14 (a password was asked and not given) or 18. forMount builds no
// tree and asks for the password at once when an item is encrypted.
image::ImageContext* OpenArchiveAsImage(std::u16string_view path, bool forMount, int32_t librarySlot,
                                        int* resultCode);

// The formats to try for a file name and its first bytes, in order: those
// whose extensions name the file's first (a RAR first volume named .001 puts
// "rar" first), else those whose signature occurs in the head (in order of
// first occurrence), then the rest. A format with neither signature is tried
// only when the extension names it (a text handler would take any file).
// The library's WIM handler is never offered: the program reads WIM itself.
std::vector<int32_t> OrderFormats(const CArcCodecHost& host, std::u16string_view fileName,
                                  std::span<const uint8_t> head);

// The text after the last "." of a name ("" when none).
std::u16string NameExtension(std::u16string_view fileName);

// The archive comment of a RAR archive the library opened: its archive
// property, cut at the first U+001A, in the ANSI code page, at most 65536
// bytes; false when the format is no RAR or the library gives no comment.
bool ReadRarComment(void* archive, std::u16string_view formatName, std::string& comment);

}  // namespace containers::archive
