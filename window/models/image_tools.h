#pragma once
// What the compress, decompress and convert dialogs decide without a widget:
// the destination's name as the format changes, and the checks OK makes
// before any work, with the message and the field to return to.

#include <cstdint>
#include <string>
#include <string_view>

namespace dialogs {

enum class ImageToolMode { Compress = 1, Decompress = 2, Convert = 3 };

// Template ids and the output format each starts with.
int TemplateOfMode(ImageToolMode mode);
// The convert dialog's format list: ISO, BIN (with its CUE sheet), XDI.
int32_t ConvertFormatOfIndex(int index);
// The extension of a format of the tools ("iso", "bin", "xdi").
std::u16string_view ExtensionOfFormat(int32_t format);

// The path with the format's extension in place of its own. A name without
// one gets it only for XDI; an empty path stays empty.
std::u16string WithFormatExtension(std::u16string_view path, int32_t format);

struct ImageToolEntries {
    ImageToolMode mode = ImageToolMode::Convert;
    std::u16string source;
    std::u16string destination;
    int32_t format = 0;             // the output format
    int32_t sourceFormat = -1;      // by the source's extension; -1 unknown
    bool passwordOn = false;        // compress: the protection box
    std::u16string password;
    std::u16string passwordAgain;
};

struct ImageToolVerdict {
    bool ok = false;
    std::u16string message;         // why not, as told to the user
    int focusControl = 0;           // the field to return to
    std::string password;           // accepted: the archive code page bytes, empty for none
};

ImageToolVerdict CheckImageToolEntries(const ImageToolEntries& entries);

}  // namespace dialogs
