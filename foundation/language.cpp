#include "foundation/language.h"

#include "foundation/paths.h"
#include "foundation/settings.h"
#include "platform/dir_handle.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <mutex>

namespace foundation {

namespace {

// The loaded file and the language table. The file is replaced as a whole and
// read through shared ownership, so a switch never frees strings a worker is
// still copying.
struct LanguageState {
    std::mutex lock;
    std::shared_ptr<const CLangFile> current;
    LanguageTable table;
};

LanguageState& State() {
    static LanguageState state;
    return state;
}

struct LocaleEntry {
    std::string_view locale;   // "ll" or "ll_CC"
    uint16_t languageId;
};

// POSIX locale names to Windows language ids; a territory entry wins over its
// language's entry.
constexpr LocaleEntry kLocaleTable[] = {
    {"ar", 1025},    {"bg", 1026},    {"ca", 1027},    {"zh_TW", 1028}, {"cs", 1029},
    {"da", 1030},    {"de", 1031},    {"el", 1032},    {"en", 1033},    {"es", 3082},
    {"fi", 1035},    {"fr", 1036},    {"he", 1037},    {"hu", 1038},    {"is", 1039},
    {"it", 1040},    {"ja", 1041},    {"ko", 1042},    {"nl", 1043},    {"nb", 1044},
    {"no", 1044},    {"pl", 1045},    {"pt_BR", 1046}, {"ro", 1048},    {"ru", 1049},
    {"hr", 1050},    {"sk", 1051},    {"sq", 1052},    {"sv", 1053},    {"th", 1054},
    {"tr", 1055},    {"ur", 1056},    {"id", 1057},    {"uk", 1058},    {"be", 1059},
    {"sl", 1060},    {"et", 1061},    {"lv", 1062},    {"lt", 1063},    {"fa", 1065},
    {"vi", 1066},    {"hy", 1067},    {"eu", 1069},    {"mk", 1071},    {"af", 1078},
    {"ka", 1079},    {"hi", 1081},    {"ms", 1086},    {"kk", 1087},    {"sw", 1089},
    {"bn", 1093},    {"ta", 1097},    {"gl", 1110},    {"zh", 2052},    {"zh_CN", 2052},
    {"zh_SG", 4100}, {"zh_HK", 3076}, {"zh_MO", 5124}, {"en_GB", 2057}, {"en_AU", 3081},
    {"en_CA", 4105}, {"pt", 2070},    {"pt_PT", 2070}, {"es_MX", 2058}, {"sr", 3098},
    {"nn", 2068},    {"de_AT", 3079}, {"de_CH", 2055}, {"fr_CA", 3084}, {"fr_BE", 2060},
    {"fr_CH", 4108}, {"nl_BE", 2067}, {"it_CH", 2064}, {"sv_FI", 2077},
};

bool HasLngExtension(std::string_view name) {
    if (name.size() < 4) return false;
    std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'l' && (ext[2] | 0x20) == 'n' && (ext[3] | 0x20) == 'g';
}

// File names of the language files in the folder, in name order so that "the
// first found" does not depend on the directory's order.
std::vector<std::u16string> ListLanguageFiles(const std::u16string& folder) {
    std::vector<std::u16string> names;
    std::string utf8 = platform::Utf16ToUtf8(folder);
    platform::DirHandle dir(opendir(utf8.c_str()));
    if (!dir) return names;
    while (dirent* entry = readdir(dir.get())) {
        std::string_view name = entry->d_name;
        if (!HasLngExtension(name)) continue;
        std::u16string wide = platform::Utf8ToUtf16(name);
        if (wide.size() >= 64) continue;
        names.push_back(std::move(wide));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::u16string GetLangString(uint32_t stringId, std::u16string_view defaultText) {
    std::shared_ptr<const CLangFile> file = CurrentLangFile();
    if (file) {
        const std::u16string* text = FindStringText(*file, stringId);
        if (text && !text->empty()) return *text;
    }
    return std::u16string(defaultText);
}

std::shared_ptr<const CLangFile> CurrentLangFile() {
    LanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.current;
}

void SetCurrentLangFile(std::shared_ptr<const CLangFile> file) {
    std::shared_ptr<const CLangFile> old;
    LanguageState& s = State();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        old = std::move(s.current);
        s.current = std::move(file);
    }
    // The old file, if this was its last holder, is freed outside the lock.
}

LanguageTable GetLanguageTable() {
    LanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.table;
}

uint16_t LanguageIdFromLocale(std::string_view locale) {
    size_t end = locale.find_first_of(".@");
    if (end != std::string_view::npos) locale = locale.substr(0, end);
    if (locale.empty() || locale == "C" || locale == "POSIX") return kLanguageEnglish;
    std::string language(locale.substr(0, locale.find('_')));
    for (char& ch : language) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    std::string full = language;
    if (size_t underscore = locale.find('_'); underscore != std::string_view::npos) {
        std::string territory(locale.substr(underscore + 1));
        for (char& ch : territory) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
        full += "_" + territory;
        for (const LocaleEntry& e : kLocaleTable)
            if (e.locale == full) return e.languageId;
    }
    for (const LocaleEntry& e : kLocaleTable)
        if (e.locale == language) return e.languageId;
    return kLanguageEnglish;
}

uint16_t SystemDefaultLanguageId() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value && *value) return LanguageIdFromLocale(value);
    }
    return kLanguageEnglish;
}

uint16_t GetLanguageSetting() {
    uint16_t id = static_cast<uint16_t>(ReadSettingDword(u"Language", 0) & 0xFFFF);
    return id != 0 ? id : SystemDefaultLanguageId();
}

std::u16string LanguageFolder() {
    const std::u16string install = GetInstallDir();
    return install.empty() ? std::u16string() : CombinePath(install, u"Lang");
}

void LoadLanguageFiles() {
    SetCurrentLangFile(nullptr);
    LanguageTable table;
    table.uiLanguageId = GetLanguageSetting();
    table.rows.push_back(LanguageRow{u"English", u"English", u"", kLanguageEnglish});

    std::u16string folder = LanguageFolder();
    for (const std::u16string& name : ListLanguageFiles(folder)) {
        if (table.rows.size() >= kLanguageTableMaxRows) break;
        std::unique_ptr<CLangFile> file = LoadLangFile(CombinePath(folder, name));
        if (!file) continue;
        bool listed = std::any_of(table.rows.begin(), table.rows.end(),
                                  [&](const LanguageRow& r) { return r.languageId == file->languageId; });
        if (listed) continue;
        table.rows.push_back(LanguageRow{file->name, file->nativeName, name, file->languageId});
    }
    std::sort(table.rows.begin(), table.rows.end(),
              [](const LanguageRow& a, const LanguageRow& b) { return a.name < b.name; });

    std::shared_ptr<const CLangFile> current;
    table.currentIndex = -1;
    for (size_t i = 0; i < table.rows.size(); ++i) {
        if (table.rows[i].languageId != table.uiLanguageId) continue;
        table.currentIndex = static_cast<int>(i);
        if (!table.rows[i].fileName.empty())
            current = LoadLangFile(CombinePath(folder, table.rows[i].fileName));
        break;
    }
    if (table.currentIndex < 0) {
        for (size_t i = 0; i < table.rows.size(); ++i)
            if (table.rows[i].fileName.empty()) table.currentIndex = static_cast<int>(i);
    }
    LanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.table = std::move(table);
    s.current = std::move(current);
}

bool SelectLanguageRow(int index) {
    LanguageTable table = GetLanguageTable();
    if (index < 0 || static_cast<size_t>(index) >= table.rows.size()) return false;
    const LanguageRow& row = table.rows[static_cast<size_t>(index)];
    WriteSettingDword(u"Language", row.languageId);
    if (IsVirtualDriveInstalled()) SetVirtualDriveDword(u"Language", row.languageId);
    std::shared_ptr<const CLangFile> file;
    const std::u16string folder = LanguageFolder();
    if (!row.fileName.empty() && !folder.empty()) file = LoadLangFile(CombinePath(folder, row.fileName));
    LanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.current = std::move(file);
    s.table.currentIndex = index;
    s.table.uiLanguageId = row.languageId;
    return true;
}

UIFontChoice ResolveUIFont(std::u16string_view name, int32_t points) {
    if (name.empty()) return UIFontChoice{u"Tahoma", 8};
    if (platform::EqualsNoCase(name, u"MS Sans Serif")) return UIFontChoice{u"Tahoma", points};
    return UIFontChoice{std::u16string(name), points};
}

UIFontChoice CurrentUIFont() {
    std::shared_ptr<const CLangFile> file = CurrentLangFile();
    if (!file) return ResolveUIFont({}, 0);
    return ResolveUIFont(file->fontName, static_cast<int32_t>(file->fontSize));
}

void ResetLanguageStateForTests() {
    LanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.current.reset();
    s.table = LanguageTable{};
}

}  // namespace foundation
