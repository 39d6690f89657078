#pragma once
// File names written inside sheets (CUE FILE and CDTEXTFILE lines, the MDS
// file-name record), resolved beside the sheet. Sheets are mostly made on
// Windows: "\" separates folders and names match without regard to case, so
// each part of the name is looked up case-insensitively in its folder
// (foundation/name_lookup.h). Sheets made here often name their files by
// absolute paths, and ".." parts are followed as the file system follows them.

#include <string>
#include <string_view>

namespace image {

enum class SheetNameStatus {
    Ok,
    Empty,            // nothing left of the name
    TooLong,          // the resolved path passes 1023 characters
    NotFound,         // well-formed, but no such file; resolved holds the path as named
    NotRegularFile,   // the name leads to a folder, a device or a pipe; resolved holds it
};

// "*.ext" is the sheet's own path with its extension replaced by ".ext"; a
// name that begins with "/" or "\" is absolute; a name with ":" as its second
// character names a Windows drive, where no file here can be (NotFound); any
// other name is taken relative to the sheet's folder.
SheetNameStatus ResolveSheetFileName(const std::u16string& sheetPath, std::u16string_view name,
                                     std::u16string& resolved);

}  // namespace image
