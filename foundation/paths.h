#pragma once
// Path tails, extensions and output names. Host paths are POSIX paths: the
// separator these helpers add and look for is '/'. ChangeFileExtension alone
// also stops at '\' and ':', because it is handed names that came from Windows
// media and sheets as well.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace foundation {

inline constexpr char16_t kPathSeparator = u'/';

// Index of the last separator of a path, or npos.
size_t FindLastBackslash(std::u16string_view path);
// True when the path is not empty and ends with a separator.
bool EndsWithBackslash(std::u16string_view path);
// Add or remove one final separator; return the new length.
size_t AddTrailingBackslash(std::u16string& path);
size_t RemoveTrailingBackslash(std::u16string& path);
// Index of the last '.' of the name part (after the last separator), or npos.
size_t FindExtensionDot(std::u16string_view name);
// Folder and name joined with exactly one separator (an empty folder gives the
// name alone).
std::u16string CombinePath(std::u16string_view folder, std::u16string_view name);
// The folder part of a path: "" for a bare name, "/" for a name in the root,
// else all before the last separator.
std::u16string FolderOfPath(std::u16string_view path);
// The part after the last separator (the whole path when it has none).
std::u16string NameOfPath(std::u16string_view path);
// A copy of a terminated string; null gives an empty string.
std::u16string CStringToNewString(const char16_t* text);

// What ChangeFileExtension does with a name that has no extension.
enum class MissingExtension { Keep, Append };
// Scanning back from the end, the first '.' before any '\', '/' or ':' starts the
// extension, which is replaced by the given one (without its dot). A name
// without one gets "." + extension only with MissingExtension::Append.
std::u16string ChangeFileExtension(std::u16string_view name, std::u16string_view extension,
                                   MissingExtension missing);

// Output format codes the save and convert commands name files by.
enum : int32_t {
    kOutputFormatIso = 0,
    kOutputFormatBin = 1,
    kOutputFormatDaa = 2,
    kOutputFormatMzp = 7,
    kOutputFormatXdi = 8,
    kOutputFormatBinCue = 100,
    kOutputFormatArchive = 151,
};
// Archive kind 1 is ZIP; any other writes 7z.
inline constexpr int32_t kArchiveKindZip = 1;
// The name with the extension of the output format (appended when missing): 0
// "iso", 1 and 100 "bin", 2 "daa", 7 "mzp", 8 "xdi", 151 "zip" for archive kind
// 1 else "7z". Any other code gives an empty name.
std::u16string ChangeExtensionForFormat(std::u16string_view name, int32_t outputFormat,
                                        int32_t archiveKind);

}  // namespace foundation
