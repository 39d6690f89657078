#pragma once
// File names written inside sheets (CUE FILE and CDTEXTFILE lines, the MDS
// file-name record), resolved beside the sheet. Sheets are mostly made on
// Windows: "\" separates folders and names match without regard to case, so
// each part of the name is looked up case-insensitively in its folder.

#include <string>
#include <string_view>

namespace image {

enum class SheetNameStatus {
    Ok,
    Empty,            // nothing left of the name
    Absolute,         // "/x", "\x" or "C:..." : a sheet names only files beside it
    ParentReference,  // a ".." part would leave the sheet's folder
    TooLong,          // the resolved path passes 1023 characters
    NotFound,         // well-formed, but no such file; resolved holds the path as named
};

// "*.ext" is the sheet's own path with its extension replaced by ".ext"; any
// other name is taken relative to the sheet's folder.
SheetNameStatus ResolveSheetFileName(const std::u16string& sheetPath, std::u16string_view name,
                                     std::u16string& resolved);

// The entry of folder whose name equals name without regard to case (the exact
// name first); empty when there is none.
std::u16string FindNameNoCase(const std::u16string& folder, std::u16string_view name);

}  // namespace image
