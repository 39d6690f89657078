#include "foundation/language.h"
#include "foundation/language_texts.h"
#include "foundation/registry.h"
#include "foundation/settings.h"
#include "foundation/strings.h"
#include "tests/foundation/language_file_builder.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

using namespace foundation;
using langtest::LangFileBuilder;

namespace {

// A store folder and an install folder with "Lang" beside the program.
class Languages : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(name);
        ResetLanguageStateForTests();
        RegistryWrite(RegistryHive::LocalMachine, kInstallKey, u"Install_Dir",
                      RegistryValue::String(platform::Utf8ToUtf16(install.path())));
        mkdir((install / "Lang").c_str(), 0700);
    }
    void TearDown() override {
        ResetLanguageStateForTests();
        unsetenv("QV_CONFIG_DIR");
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(name);
    }
    void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
        qvtest::WriteFileBytes(install / ("Lang/" + name), bytes.data(), bytes.size());
    }
    void PutStandardFiles() {
        Put("German.lng", LangFileBuilder::Language(1031, u"German", u"Deutsch")
                              .Strings({{700, u"Name existiert."}, {30870, u""}, {1200, u"Allgemein"},
                                        {260, u"&Kopieren"}})
                              .Build());
        Put("chinese.LNG", LangFileBuilder::Language(2052, u"Chinese (Simplified)", u"\u4e2d\u6587")
                               .Strings({{700, u"\u540d\u79f0\u5df2\u5b58\u5728"}})
                               .Build());
        // Same id as German, found later: not listed.
        Put("zz-german.lng", LangFileBuilder::Language(1031, u"Deutsch 2", u"D2").Build());
        Put("broken.lng", {'L', 'A', 'N', 'G', 1, 2, 3});
        Put("notes.txt", LangFileBuilder::Language(1036, u"French", u"Fran\u00e7ais").Build());
        Put(std::string(60, 'x') + ".lng", LangFileBuilder::Language(1040, u"Italian", u"Italiano").Build());
    }
    qvtest::TempDir config;
    qvtest::TempDir install;
};

std::vector<std::u16string> RowNames(const LanguageTable& table) {
    std::vector<std::u16string> names;
    for (const LanguageRow& row : table.rows) names.push_back(row.name);
    return names;
}

}  // namespace

TEST_F(Languages, TableListsEachLanguageOnceSortedByName) {
    PutStandardFiles();
    LoadLanguageFiles();
    LanguageTable table = GetLanguageTable();
    EXPECT_EQ(RowNames(table), (std::vector<std::u16string>{u"Chinese (Simplified)", u"English", u"German"}));
    EXPECT_EQ(table.rows[0].fileName, u"chinese.LNG");
    EXPECT_EQ(table.rows[1].fileName, u"");
    EXPECT_EQ(table.rows[1].languageId, 1033);
    EXPECT_EQ(table.rows[2].fileName, u"German.lng");
    EXPECT_EQ(table.rows[2].nativeName, u"Deutsch");
    // No setting, no locale: English, no file.
    EXPECT_EQ(table.uiLanguageId, 1033);
    EXPECT_EQ(table.currentIndex, 1);
    EXPECT_EQ(CurrentLangFile(), nullptr);
    EXPECT_EQ(LangString(700), u"The file or folder name already exists. Do you want to overwrite it?");
}

TEST_F(Languages, FileNamesOf64CharactersAreSkipped) {
    Put(std::string(59, 'y') + ".lng", LangFileBuilder::Language(1040, u"Italian", u"Italiano").Build());   // 63
    Put(std::string(60, 'z') + ".lng", LangFileBuilder::Language(1036, u"French", u"Francais").Build());   // 64
    LoadLanguageFiles();
    EXPECT_EQ(RowNames(GetLanguageTable()), (std::vector<std::u16string>{u"English", u"Italian"}));
}

TEST_F(Languages, SettingChoosesTheLanguageAndItsStrings) {
    PutStandardFiles();
    ASSERT_TRUE(WriteSettingDword(u"Language", 0x00010407));   // low 16 bits: 1031
    EXPECT_EQ(GetLanguageSetting(), 1031);
    LoadLanguageFiles();
    LanguageTable table = GetLanguageTable();
    EXPECT_EQ(table.currentIndex, 2);
    ASSERT_NE(CurrentLangFile(), nullptr);
    EXPECT_EQ(LangString(700), u"Name existiert.");
    // An empty text leaves the built-in one.
    EXPECT_EQ(LangString(30870), u"OK");
    EXPECT_EQ(GetLangString(99999, u"fallback"), u"fallback");
    EXPECT_EQ(GetPropertyPageTitle(230), u"Allgemein");
    EXPECT_EQ(GetPropertyPageTitle(231), u"ISO File System");
    EXPECT_FALSE(GetPropertyPageTitle(999));
    EXPECT_EQ(GetSharedCommandText(33219), u"&Kopieren");
    EXPECT_EQ(GetSharedCommandText(32957), u"&Paste from Clipboard\tCtrl+V");
    EXPECT_EQ(GetSharedCommandText(33210), u"Add &Music File(s)...");
    EXPECT_FALSE(GetSharedCommandText(32000));
    UIFontChoice font = CurrentUIFont();
    EXPECT_EQ(font.family, u"Tahoma");
    EXPECT_EQ(font.points, 9);
}

TEST_F(Languages, LocaleChoosesWhenTheSettingIsZero) {
    PutStandardFiles();
    setenv("LANG", "de_DE.UTF-8", 1);
    setenv("LC_MESSAGES", "zh_CN.UTF-8", 1);
    LoadLanguageFiles();
    EXPECT_EQ(GetLanguageTable().uiLanguageId, 2052);
    EXPECT_EQ(LangString(700), u"\u540d\u79f0\u5df2\u5b58\u5728");
    // A language without a file: English.
    setenv("LC_ALL", "ja_JP.eucJP", 1);
    LoadLanguageFiles();
    EXPECT_EQ(GetLanguageTable().uiLanguageId, 1041);
    EXPECT_EQ(RowNames(GetLanguageTable())[static_cast<size_t>(GetLanguageTable().currentIndex)], u"English");
    EXPECT_EQ(CurrentLangFile(), nullptr);
}

TEST_F(Languages, SelectingARowStoresTheChoice) {
    PutStandardFiles();
    LoadLanguageFiles();
    RegistryWrite(RegistryHive::LocalMachine, kVirtualDriveKey, u"Install_Dir", RegistryValue::String(u"/opt/vd"));
    ASSERT_TRUE(SelectLanguageRow(2));
    EXPECT_EQ(ReadSettingDword(u"Language", 0), 1031u);
    // Written per user; the helper carries it over to the machine key it reads.
    EXPECT_EQ(RegistryRead(RegistryHive::CurrentUser, kVirtualDriveKey, u"Language")->dword, 1031u);
    EXPECT_EQ(LangString(700), u"Name existiert.");
    ASSERT_TRUE(SelectLanguageRow(1));
    EXPECT_EQ(CurrentLangFile(), nullptr);
    EXPECT_EQ(ReadSettingDword(u"Language", 0), 1033u);
    EXPECT_FALSE(SelectLanguageRow(3));
    EXPECT_FALSE(SelectLanguageRow(-1));
}

TEST_F(Languages, SwitchingWhileAWorkerReadsIsSafe) {
    PutStandardFiles();
    LoadLanguageFiles();
    std::atomic<bool> stop{false};
    std::atomic<int> odd{0};
    std::thread worker([&] {
        while (!stop) {
            std::u16string text = LangString(700);
            if (text != u"Name existiert." && text != u"The file or folder name already exists. Do you want to overwrite it?")
                ++odd;
        }
    });
    for (int i = 0; i < 200; ++i) SelectLanguageRow(i % 2 ? 1 : 2);
    stop = true;
    worker.join();
    EXPECT_EQ(odd, 0);
}

TEST_F(Languages, TableStopsAtFiftyRows) {
    for (int i = 0; i < 60; ++i) {
        char name[32];
        snprintf(name, sizeof name, "l%02d.lng", i);
        std::u16string title = u"Lang ";
        title += char16_t(u'0' + i / 10);
        title += char16_t(u'0' + i % 10);
        Put(name, LangFileBuilder::Language(static_cast<uint16_t>(2000 + i), title, title).Build());
    }
    LoadLanguageFiles();
    EXPECT_EQ(GetLanguageTable().rows.size(), 50u);
}

TEST(LanguageLocale, PosixLocalesMapToWindowsIds) {
    struct Row {
        const char* locale;
        uint16_t id;
    };
    const Row rows[] = {
        {"en_US.UTF-8", 1033}, {"en_GB", 2057},      {"de_DE.UTF-8", 1031}, {"de_AT", 3079},
        {"fr_FR@euro", 1036},  {"fr_CA.UTF-8", 3084}, {"ja_JP.eucJP", 1041}, {"zh_CN.GB18030", 2052},
        {"zh_TW.Big5", 1028},  {"zh_HK", 3076},       {"zh", 2052},          {"pt_BR", 1046},
        {"pt_PT", 2070},       {"ru_RU.KOI8-R", 1049}, {"es_ES", 3082},      {"ko_KR", 1042},
        {"C", 1033},           {"POSIX", 1033},       {"C.UTF-8", 1033},     {"xx_YY", 1033},
        {"", 1033},            {"DE_de", 1031},
    };
    for (const Row& row : rows) EXPECT_EQ(LanguageIdFromLocale(row.locale), row.id) << row.locale;
}

TEST(LanguageFont, NamesMapAsTheFileAsks) {
    EXPECT_EQ(ResolveUIFont(u"", 12).family, u"Tahoma");
    EXPECT_EQ(ResolveUIFont(u"", 12).points, 8);
    EXPECT_EQ(ResolveUIFont(u"ms sans serif", 10).family, u"Tahoma");
    EXPECT_EQ(ResolveUIFont(u"ms sans serif", 10).points, 10);
    EXPECT_EQ(ResolveUIFont(u"SimSun", 9).family, u"SimSun");
}

TEST(LanguageTexts, MenuRules) {
    EXPECT_EQ(PopupKey(u"", 0), u"|0");
    EXPECT_EQ(PopupKey(u"|0", 0), u"|0|0");
    EXPECT_EQ(PopupKey(u"|1", 12), u"|1|12");
    for (uint32_t id : {32841u, 32844u, 32967u, 32973u, 33034u, 33130u, 33153u, 33203u})
        EXPECT_TRUE(IsGeneratedMenuCommand(id)) << id;
    for (uint32_t id : {32840u, 32845u, 32966u, 32974u, 33033u, 33131u, 33152u, 33204u})
        EXPECT_FALSE(IsGeneratedMenuCommand(id)) << id;
}

TEST(BuiltinStrings, EnglishDefaultsById) {
    EXPECT_EQ(BuiltinString(680), u"The file already exists with read-only attribute. Do you want to overwrite it?");
    EXPECT_EQ(BuiltinString(10), u"New");
    EXPECT_EQ(BuiltinString(30440), u"Quendravine Virtual Drive");
    EXPECT_EQ(BuiltinString(30620), u"The password is wrong. ");
    EXPECT_EQ(BuiltinString(260), u"&Copy to Clipboard\tCtrl+C");
    EXPECT_TRUE(BuiltinString(12345).empty());
    EXPECT_EQ(LangString(1800), u"Language");
}
