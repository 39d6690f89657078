#pragma once
// The filter lists of the open and save dialogs, as data: each entry a
// description and a pattern list ("*.zip;*.rar"). The window side turns a list
// into its dialog's form (ToQtFilterString); ToWindowsFilterString gives the
// double-NUL-terminated form Windows programs exchange.
//
// The save dialog's extension rules (which filter is preselected, which
// extension a name gets when the user picks another filter or presses OK) are
// here too, so that they are tested without a window.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

struct FileFilter {
    std::u16string description;   // "Zip Archives"
    std::u16string pattern;       // "*.zip", or several joined by ';'

    // "%s (%s)": what the dialog shows.
    std::u16string Text() const;
};
using FileFilterList = std::vector<FileFilter>;

// Appends one pair.
void AppendFileFilter(FileFilterList& list, std::u16string_view description, std::u16string_view pattern);

// The pattern lists.
extern const std::u16string_view kAllSupportedPatterns;
extern const std::u16string_view kAllArchivePatterns;
extern const std::u16string_view kAllDiscImagePatterns;

// The builders; descriptions are translated strings (ids 30720 to 30802).
FileFilterList BuildOpenDialogFilter();
FileFilterList BuildImageFileFilter();
FileFilterList BuildSaveArchiveFilter();
FileFilterList BuildIsoFilter();
FileFilterList BuildZipFilter();
FileFilterList Build7zFilter();
FileFilterList BuildMzpFilter();
FileFilterList BuildAllFilesFilter();
FileFilterList BuildBinFilter();
FileFilterList BuildXdiFilter();

// "text\0pattern\0...\0\0".
std::u16string ToWindowsFilterString(const FileFilterList& list);
// "Zip Archives (*.zip);;All Files (*)": patterns separated by blanks, as the
// Qt file dialogs parse them; "*.*" becomes "*" so that names without a dot
// show too.
std::u16string ToQtFilterString(const FileFilterList& list);
// The Qt text of one entry (what QFileDialog::selectedNameFilter gives back).
std::u16string ToQtFilterText(const FileFilter& filter);

// The extension (without its dot) of the filter's first pattern: "*.iso" gives
// "iso"; "*.*" and "*" give "*" (any extension).
std::u16string FilterExtension(const FileFilter& filter);
// The filter whose extension equals the default extension, compared without
// case; 0 when none does (or the list is empty).
size_t FindFilterForExtension(const FileFilterList& list, std::u16string_view defaultExtension);
// The file-name box while the user picks filters: the name's extension
// rewritten to the filter's (appended when it has none); unchanged for a filter
// of any extension or an empty name.
std::u16string ApplyFilterExtension(std::u16string_view name, const FileFilter& filter);
// After OK: a name that does not end in the filter's extension (compared
// without case) gets it appended, unless the pattern ends in "*" or is ".*".
std::u16string CompleteSavedName(std::u16string_view name, const FileFilter& filter);

}  // namespace foundation
