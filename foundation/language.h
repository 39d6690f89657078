#pragma once
// The current language: the installed language files, the one in use, and the
// lookup every message of the program goes through.
//
// The current file is swapped as a whole under a lock and held by shared
// ownership, so a worker thread that is reading strings while the user switches
// language keeps the file it started with until it is done.

#include "foundation/language_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

inline constexpr uint16_t kLanguageEnglish = 1033;
inline constexpr size_t kLanguageTableMaxRows = 50;

// The current file's text for (owner 0, id) when a file is loaded and the text
// is not empty, else the default.
std::u16string GetLangString(uint32_t stringId, std::u16string_view defaultText);

// The loaded file, or null while the built-in English is used.
std::shared_ptr<const CLangFile> CurrentLangFile();
// Replaces the current file (null: built-in English). Readers holding the old
// one keep it alive.
void SetCurrentLangFile(std::shared_ptr<const CLangFile> file);

struct LanguageRow {
    std::u16string name;
    std::u16string nativeName;
    std::u16string fileName;     // empty for the built-in English
    uint16_t languageId = 0;
};

struct LanguageTable {
    std::vector<LanguageRow> rows;   // at most 50, sorted by name
    int currentIndex = -1;           // -1 none
    uint16_t uiLanguageId = kLanguageEnglish;
};

// A copy of the table as it stands.
LanguageTable GetLanguageTable();

// Low 16 bits of the "Language" setting when nonzero, else the system default
// language id.
uint16_t GetLanguageSetting();
// The system default language as a Windows language id, from the POSIX locale
// (LC_ALL, LC_MESSAGES, LANG): en 1033, de 1031, zh_CN 2052, ... English when
// the locale is unset, "C" or "POSIX", or has no entry.
uint16_t SystemDefaultLanguageId();
uint16_t LanguageIdFromLocale(std::string_view locale);

// Builds the language table from the files "Lang/*.lng" (any case of the
// extension) under the install folder and makes the language of
// GetLanguageSetting current (English when it has no row).
void LoadLanguageFiles();

// The folder the language files are looked up in.
std::u16string LanguageFolder();

// Makes row `index` current without the menu side: stores "Language" (also in
// the virtual-drive key when the virtual drive is installed), loads the row's
// file and swaps it in. False when the index is outside the table.
bool SelectLanguageRow(int index);

// The UI font as the language file asks for it: an empty name means "Tahoma" at
// 8 points; "MS Sans Serif" (any case) means "Tahoma" at the given size. The
// window side maps "Tahoma" to the platform's UI font.
struct UIFontChoice {
    std::u16string family;
    int32_t points = 8;
};
UIFontChoice ResolveUIFont(std::u16string_view name, int32_t points);
// The choice for the current language (its file's font, or the default).
UIFontChoice CurrentUIFont();

// Forgets the table and the current file (tests).
void ResetLanguageStateForTests();

}  // namespace foundation
