#pragma once
// The program's built-in English texts by their numbered string id, the
// defaults that language files replace.

#include <cstdint>
#include <string>
#include <string_view>

namespace foundation {

// The built-in English text, or an empty view for an id the program does not
// define.
std::u16string_view BuiltinString(uint32_t stringId);

// The translated text with the built-in English as default.
std::u16string LangString(uint32_t stringId);

// Numbered strings the foundation itself speaks.
enum : uint32_t {
    kStrNew = 10,
    kStrFileReadOnlyExists = 680,
    kStrFileExists = 690,
    kStrNameExists = 700,
    kStrSaveFirst = 710,
    kStrFailedWritingArchive = 730,
    kStrTooManyVolumes = 810,
    kStrFileTooBig = 980,
    kStrLanguage = 1800,
    kStrVirtualDriveCaption = 30440,
    kStrUnexpectedEnd = 30590,
    kStrDirectoryError = 30600,
    kStrPasswordWrong = 30620,
    kStrInputPassword = 30630,
    kStrNeedFirstVolume = 30670,
    kStrOk = 30870,
    kStrCancel = 30880,
};

}  // namespace foundation
