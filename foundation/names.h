#pragma once
// Name helpers and what the user sees of an image: case-blind character
// comparison, trimming, the file-name check, volume labels, the display name of
// an open image and its type description.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

// Two characters equal ignoring the case of A-Z (and nothing else).
bool EqualNoCaseW(char16_t a, char16_t b);
// Every occurrence of one character replaced by another.
void ReplaceCharW(std::u16string& text, char16_t from, char16_t to);
// Remove trailing blanks (spaces).
void TrimTrailingSpacesA(std::string& text);
void TrimTrailingSpacesW(std::u16string& text);
// Remove trailing blanks (spaces and tabs).
void StripTrailingBlanksA(std::string& text);
void StripTrailingBlanksW(std::u16string& text);

// The characters Windows refuses in a file name. Names also go onto media that
// Windows reads, so they are refused here too although Linux allows them.
inline constexpr std::u16string_view kInvalidFileNameChars = u"\\/:*?\"<>|";
inline constexpr std::u16string_view kInvalidFileNameText =
    u"A file name cannot contain any of the following characters:";
inline constexpr std::u16string_view kInvalidFileNameList = u"\r\n\r\n\t\\ / : * ? \" < > |";
// Trims blanks at both ends. A name that is then empty, "." or "..", or that
// holds a control character or one of the nine characters is refused: the user is told which characters (a message box) and the result is
// nothing. Otherwise the trimmed name.
std::optional<std::u16string> ValidateFileName(std::u16string_view name);

// The label of the file system mounted at (or holding) a path: 0 and the label,
// or -1 when it has none or cannot be found.
int GetVolumeLabelText(std::u16string_view rootPath, std::u16string& label);
// The same, looking for the label links in the given folder (normally
// /dev/disk/by-label).
int GetVolumeLabelTextIn(std::string_view byLabelFolder, std::u16string_view rootPath,
                         std::u16string& label);
// udev writes unsafe characters of a label link as "\xHH" escapes.
std::u16string DecodeLabelLinkName(std::string_view linkName);

// What GetImageDisplayName needs to know of the document.
struct ImageNameFacts {
    bool hasImage = false;
    char16_t driveLetter = 0;          // nonzero for an image opened from a drive
    bool openedThroughSheet = false;
    std::u16string_view sheetPath;
    std::u16string_view imagePath;
    std::u16string_view documentTitle; // the main window's title of the document
};
// "%s [%C:]" with string 30490 "Drive" and the letter for a drive; else the
// sheet path when the image was opened through its sheet; else the image path;
// without an image, the document title.
std::u16string GetImageDisplayName(const ImageNameFacts& facts);

enum class DiskImageBackEnd { None, VirtualBox, VirtualPc, VMware };

// What GetImageTypeDescription needs to know of the document.
struct ImageTypeFacts {
    int32_t formatCode = 0;
    std::u16string_view archiveFormatName;   // the archive library's name; empty when unknown
    DiskImageBackEnd diskBackEnd = DiskImageBackEnd::None;
    bool isWim = false;
    bool isXbox = false;
    bool inCompressedContainer = false;
    bool hasUdf = false;
};
inline constexpr int32_t kFormatCodeDmg = 4;
inline constexpr int32_t kFormatCodeMzp = 7;
inline constexpr int32_t kFormatCodeArchive = 151;
// The type text of the document by the first rule that applies (translated
// strings 1530 to 1620).
std::u16string GetImageTypeDescription(const ImageTypeFacts& facts);

}  // namespace foundation
