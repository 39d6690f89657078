#pragma once
// Text conversions at the operating-system boundary. Program text is UTF-16;
// the system speaks UTF-8; data that Windows programs wrote uses their ANSI or
// OEM code page. Invalid input becomes U+FFFD, never a crash or a silently
// different character.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// Strict forms for names handed to the system: false (last error
// kErrorNoUnicodeTranslation) on a lone surrogate or malformed UTF-8 instead of
// substituting U+FFFD, so a bad name never opens a different file.
bool Utf16ToUtf8Strict(std::u16string_view text, std::string& out);
bool Utf8ToUtf16Strict(std::string_view text, std::u16string& out);

// Code pages as Windows would choose them from the locale (LC_ALL, LC_CTYPE,
// LANG), overridden by QV_ANSI_CODEPAGE and QV_OEM_CODEPAGE.
uint32_t AnsiCodePage();
uint32_t OemCodePage();
constexpr uint32_t kCodePageAnsi = 0;   // CP_ACP: the ANSI code page in force
constexpr uint32_t kCodePageOem = 1;    // CP_OEMCP
constexpr uint32_t kCodePageUtf8 = 65001;

// Converts through iconv. False, with last error kErrorInvalidParameter, when the
// code page is unknown to iconv. Unconvertible bytes become U+FFFD; unconvertible
// characters become '?' and set *usedDefault.
bool MultiByteToUtf16(uint32_t codePage, std::string_view bytes, std::u16string& out);
bool Utf16ToMultiByte(uint32_t codePage, std::u16string_view text, std::string& out,
                      bool* usedDefault = nullptr);

// Case folding that does not depend on the process locale (Qt changes it):
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic by table.
char16_t ToLowerChar(char16_t c);
char16_t ToUpperChar(char16_t c);
std::u16string ToLower(std::u16string_view text);
std::u16string ToUpper(std::u16string_view text);
// <0, 0, >0 as in wcsicmp.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
// Whether text ends with tail, folded as EqualsNoCase folds (".ISO", ".Part01.mzp").
bool EndsWithNoCase(std::u16string_view text, std::u16string_view tail);

// '0' to '9' only. Volume numbers, switch values and sheet fields are ASCII
// digits; another script's digits are not numbers there, whatever the locale.
constexpr bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace platform
