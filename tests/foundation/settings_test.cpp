#include "foundation/operation_status.h"
#include "foundation/registry.h"
#include "foundation/settings.h"
#include "foundation/settings_values.h"
#include "foundation/settings_window_placement.h"
#include "tests/support/test_support.h"
#include "foundation/shell_integration_services.h"
#include "platform/folders.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace foundation;

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_CONFIG_DIR", dir.path().c_str(), 1);
        ResetProcessStateForTests();
        ResetMainWindowPlacementForTests();
    }
    void TearDown() override {
        unsetenv("QV_CONFIG_DIR");
    }
    qvtest::TempDir dir;
};

}  // namespace

TEST_F(Settings, DwordValuesKeepTheirDefaultsAndRanges) {
    struct Row {
        const SettingDefinition& setting;
        std::optional<uint32_t> stored;
        uint32_t expected;
    };
    const Row rows[] = {
        {kSettingBurnBuffer, 200, 8},
        {kSettingBurnBuffer, 7, 8},
        {kSettingBurnBuffer, 8, 8},
        {kSettingBurnBuffer, 128, 128},
        {kSettingBurnBuffer, 129, 8},
        {kSettingOggEncodeQuality, 0x0FFFFF, 0x101770},
        {kSettingOggEncodeQuality, 0x100000, 0x100000},
        {kSettingOggEncodeQuality, 0x3001F4, 0x3001F4},
        {kSettingOggEncodeQuality, 0x3001F5, 0x101770},
        {kSettingAudioOutputFormat, 0, 3},
        {kSettingAudioOutputFormat, 5, 5},
        {kSettingFlacCompressionLevel, 9, 5},
        {kSettingApeCompressionLevel, std::nullopt, 3},
        {kSettingLameEncodeMode, 0xFFFFFFFF, 0},   // unsigned comparison: not -1 < 3
        {kSettingLameID3V1, std::nullopt, 1},
        {kSettingEjectAfterBurn, 2, 1},
        {kSettingDefaultFileType, 1, 1},
        {kSettingStatus, std::nullopt, 5},
        {kSettingTimeFixed, 0xFFFFFFFF, 0xFFFFFFFF},
        {kSettingDmFlags, 0x12345678, 0x12345678},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.setting.name.begin(), row.setting.name.end()) + " " +
                     (row.stored ? std::to_string(*row.stored) : "missing"));
        RegistryDeleteValue(RegistryHive::CurrentUser, kSettingsKey, row.setting.name);
        if (row.stored) {
            ASSERT_TRUE(WriteSettingValue(row.setting, *row.stored));
        }
        EXPECT_EQ(ReadSettingValue(row.setting), row.expected);
    }
}

TEST_F(Settings, EveryValueOfTheTableReadsItsDefaultWhenMissing) {
    EXPECT_EQ(AllSettingDefinitions().size(), 32u);
    for (const SettingDefinition* definition : AllSettingDefinitions()) {
        const SettingDefinition& s = *definition;
        SCOPED_TRACE(std::string(s.name.begin(), s.name.end()));
        EXPECT_EQ(FindSettingDefinition(s.name), &s);
        switch (s.type) {
        case SettingType::Dword:
            EXPECT_LE(s.min, s.defaultValue);
            EXPECT_GE(s.max, s.defaultValue);
            EXPECT_EQ(ReadSettingValue(s), s.defaultValue);
            break;
        case SettingType::String:
            EXPECT_EQ(ReadSettingText(s).has_value(), !s.defaultText.empty());
            break;
        case SettingType::Binary:
            EXPECT_FALSE(ReadSettingBytes(s));
            break;
        }
    }
    EXPECT_EQ(FindSettingDefinition(u"burnbuffer"), &kSettingBurnBuffer);
    EXPECT_EQ(FindSettingDefinition(u"NoSuchValue"), nullptr);
}

TEST_F(Settings, ValueOfAnotherTypeReadsAsMissing) {
    ASSERT_TRUE(WriteSettingString(u"BurnBuffer", u"16"));
    EXPECT_EQ(ReadSettingValue(kSettingBurnBuffer), 8u);
    ASSERT_TRUE(WriteSettingDword(u"TempFolder", 5));
    EXPECT_FALSE(ReadSettingString(u"TempFolder"));
    uint8_t buffer[4];
    EXPECT_FALSE(ReadSettingBinary(u"TempFolder", buffer, nullptr));
}

TEST_F(Settings, StringsLongerThanTheirBufferReadAsMissing) {
    std::u16string fits(kSettingStringMaxChars, u'x');
    ASSERT_TRUE(WriteSettingString(u"DmFileName", fits));
    EXPECT_EQ(ReadSettingString(u"DmFileName"), fits);
    ASSERT_TRUE(WriteSettingString(u"DmFileName", fits + u"y"));
    EXPECT_FALSE(ReadSettingString(u"DmFileName"));
}

TEST_F(Settings, BinaryValuesAreBoundedByTheBuffer) {
    const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(WriteSettingBinary(u"EraseTime", data));
    uint8_t exact[6] = {};
    size_t size = 0;
    ASSERT_TRUE(ReadSettingBinary(u"EraseTime", exact, &size));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(exact[5], 6);
    uint8_t small[5] = {};
    EXPECT_FALSE(ReadSettingBinary(u"EraseTime", small, &size));
    EXPECT_EQ(small[0], 0);
}

TEST_F(Settings, SubkeysStandInForTheSettingsKey) {
    ASSERT_TRUE(WriteSettingString(u"File1", u"/a.iso", u"Software\\Quendravine\\Recent File List"));
    EXPECT_EQ(ReadSettingString(u"File1", u"software\\quendravine\\recent file list"), u"/a.iso");
    EXPECT_FALSE(ReadSettingString(u"File1"));
    ASSERT_TRUE(WriteSettingDwordInKey(u"N", 9, u"Software\\Other"));
    EXPECT_EQ(ReadSettingDword(u"N", 1, u"Software\\Other"), 9u);
    EXPECT_EQ(NumberedSettingName(u"File", 3), u"File3");
}

TEST_F(Settings, CompressionLevelLivesInStatusBits24To27) {
    ASSERT_TRUE(SetStatusFlags(0x03000005));
    EXPECT_EQ(GetCompressionLevel(), 0u);
    ASSERT_TRUE(SetCompressionLevel(2));
    EXPECT_EQ(GetStatusFlags(), 0x02000005u);
    EXPECT_EQ(GetCompressionLevel(), 2u);
    ASSERT_TRUE(SetStatusFlags(0x0F000000));
    EXPECT_EQ(GetCompressionLevel(), 0u);
    RegistryDeleteValue(RegistryHive::CurrentUser, kSettingsKey, u"Status");
    EXPECT_EQ(GetStatusFlags(), 5u);
}

TEST_F(Settings, ShellIntegrationIsStoredInvertedAndHandedToTheServices) {
    EXPECT_FALSE(IsShellIntegrationOn());
    ASSERT_TRUE(WriteSettingDword(u"ShellIntegration", 0));
    EXPECT_TRUE(IsShellIntegrationOn());

    RegistryWrite(RegistryHive::LocalMachine, kInstallKey, u"Install_Dir", RegistryValue::String(u"/opt/qv/"));
    class RecordingIntegration final : public IShellIntegrationServices {
    public:
        void ApplyShellIntegration(bool on, const std::u16string& installDir) override {
            calls.emplace_back(on, installDir);
        }
        std::vector<std::pair<bool, std::u16string>> calls;
    } integration;
    const auto& calls = integration.calls;
    ScopedServices<SetShellIntegrationServices> installed(&integration);
    ASSERT_TRUE(SetShellIntegration(false));
    EXPECT_EQ(ReadSettingDword(u"ShellIntegration", 7), 1u);
    EXPECT_FALSE(IsShellIntegrationOn());
    ApplyShellIntegration();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (std::pair<bool, std::u16string>{false, u"/opt/qv"}));
    EXPECT_EQ(calls[1].first, false);
}

TEST_F(Settings, AudioFileNameFormatDefaultsWhenMissingOrEmpty) {
    EXPECT_EQ(GetAudioFileNameFormat(), u"|#-|t");
    ASSERT_TRUE(SetAudioFileNameFormat(u""));
    EXPECT_EQ(GetAudioFileNameFormat(), u"|#-|t");
    ASSERT_TRUE(SetAudioFileNameFormat(u"|t"));
    EXPECT_EQ(GetAudioFileNameFormat(), u"|t");
    EXPECT_EQ(ReadSettingText(kSettingAudioFileNameFormat), u"|t");
}

TEST_F(Settings, InstallFolderLookupOrder) {
    std::u16string program;
    ASSERT_TRUE(platform::GetProgramFolder(program));
    EXPECT_FALSE(program.empty());
    EXPECT_EQ(GetInstallDir(), program);
    ASSERT_TRUE(WriteSettingString(u"Install_Dir", u"/home/u/qv/"));
    EXPECT_EQ(GetInstallDir(), u"/home/u/qv");
    RegistryWrite(RegistryHive::LocalMachine, kInstallKey, u"Install_Dir", RegistryValue::String(u""));
    EXPECT_EQ(GetInstallDir(), u"/home/u/qv");
    RegistryWrite(RegistryHive::LocalMachine, kInstallKey, u"Install_Dir", RegistryValue::String(u"/opt/qv"));
    EXPECT_EQ(GetInstallDir(), u"/opt/qv");
    EXPECT_EQ(GetVirtualDriveInstallDir(), u"/opt/qv");
    RegistryWrite(RegistryHive::LocalMachine, kVirtualDriveKey, u"Install_Dir", RegistryValue::String(u"/opt/vd"));
    EXPECT_EQ(GetVirtualDriveInstallDir(), u"/opt/vd");
    EXPECT_TRUE(IsVirtualDriveInstalled());
}

// The virtual-drive key is written per user and read per user first, then
// machine-wide: a value set is the value the next read gives (the menus'
// option toggles and the stored number of drives depend on it).
TEST_F(Settings, VirtualDriveValuesAreWrittenPerUserAndReadBack) {
    RegistryWrite(RegistryHive::LocalMachine, kVirtualDriveKey, u"Language", RegistryValue::Dword(1031));
    RegistryWrite(RegistryHive::LocalMachine, kVirtualDriveKey, u"TempFolder", RegistryValue::String(u"/m"));
    EXPECT_EQ(GetVirtualDriveDword(u"Language", 0), 1031u);
    EXPECT_EQ(GetVirtualDriveDword(u"FLAGS", 1), 1u);
    ASSERT_TRUE(SetVirtualDriveDword(u"Language", 2052));
    ASSERT_TRUE(SetVirtualDriveCString(u"TempFolder", u"/u"));
    ASSERT_TRUE(SetVirtualDriveDword(u"FLAGS", 3));
    struct Row {
        const char16_t* name;
        std::optional<uint32_t> userDword, machineDword;
        std::optional<std::u16string> userText, machineText;
    };
    const Row rows[] = {
        {u"Language", 2052u, 1031u, std::nullopt, std::nullopt},
        {u"FLAGS", 3u, std::nullopt, std::nullopt, std::nullopt},
        {u"TempFolder", std::nullopt, std::nullopt, u"/u", u"/m"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::Utf16ToUtf8(row.name));
        auto user = RegistryRead(RegistryHive::CurrentUser, kVirtualDriveKey, row.name);
        if (row.userDword) {
            ASSERT_TRUE(user);
            EXPECT_EQ(user->dword, *row.userDword);
            EXPECT_EQ(GetVirtualDriveDword(row.name, 1), *row.userDword);
        } else {
            ASSERT_TRUE(user);
            EXPECT_EQ(user->text, *row.userText);
            EXPECT_EQ(GetVirtualDriveString(row.name), row.userText);
        }
    }
    EXPECT_FALSE(IsVirtualDriveInstalled());
    DeleteVirtualStoreKeys();
    EXPECT_EQ(GetVirtualDriveString(u"TempFolder"), u"/u");
}

TEST_F(Settings, DriveLetters) {
    struct Row {
        std::optional<std::u16string> stored;
        std::u16string expected;
    };
    const Row rows[] = {
        {std::nullopt, std::u16string(23, u'A')},
        {u"d1", u"DA" + std::u16string(21, u'A')},
        {u"EFG", u"EFG" + std::u16string(20, u'A')},
        {u"ZYXWVUTSRQPONMLKJIHGFEDCBA", u"ZYXWVUTSRQPONMLKJIHGFED"},
        {u"\u00c4-Q", u"AAQ" + std::u16string(20, u'A')},
    };
    // Read from the machine-wide key, as the helper leaves it.
    for (const Row& row : rows) {
        if (row.stored) {
            ASSERT_TRUE(RegistryWrite(RegistryHive::LocalMachine, kVirtualDriveKey, u"DriveLetter",
                                      RegistryValue::String(*row.stored)));
        }
        EXPECT_EQ(GetDriveLetters(), row.expected);
    }
    // Written per user.
    ASSERT_TRUE(SetDriveLetters(u"XYZ"));
    EXPECT_EQ(RegistryRead(RegistryHive::CurrentUser, kVirtualDriveKey, u"DriveLetter")->text, u"XYZ");
}

TEST_F(Settings, MainWindowPlacementAgainstTheDesktop) {
    const DesktopRect desktop{0, 0, 1920, 1080};
    struct Row {
        const char* name;
        WindowPlacementRecord record;
        bool accepted;
    };
    const Row rows[] = {
        {"ordinary", {100, 100, 800, 600, 0}, true},
        {"too narrow", {100, 100, 40, 400, 0}, false},
        {"too low", {100, 100, 400, 49, 0}, false},
        {"smallest", {0, 0, 50, 50, 0}, true},
        {"right edge +10", {1130, 0, 800, 600, 0}, true},
        {"right edge +11", {1131, 0, 800, 600, 0}, false},
        {"bottom edge +10", {0, 490, 800, 600, 0}, true},
        {"bottom edge +11", {0, 491, 800, 600, 0}, false},
        {"left of the desktop", {-1, 0, 800, 600, 0}, false},
        {"wider than the desktop", {0, 0, 1921, 600, 0}, false},
        {"maximized as it is", {-8, -8, 5000, 5000, 1}, true},
        {"maximized word 2", {0, 0, 800, 600, 2}, false},
        {"huge values", {0x7FFFFFF0, 0, 800, 600, 0}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IsAcceptablePlacement(row.record, desktop), row.accepted);
        ResetMainWindowPlacementForTests();
        ASSERT_TRUE(SaveMainWindowPlacement(row.record, false) || row.record.maximized);
        if (row.record.maximized) {
            // A maximized record as stored by an earlier run.
            uint8_t raw[20] = {};
            const int32_t fields[5] = {row.record.left, row.record.top, row.record.width, row.record.height,
                                       row.record.maximized};
            for (int i = 0; i < 5; ++i)
                for (int b = 0; b < 4; ++b) raw[i * 4 + b] = static_cast<uint8_t>(static_cast<uint32_t>(fields[i]) >> (8 * b));
            ASSERT_TRUE(WriteSettingBinary(u"MainWindow", raw));
        }
        EXPECT_EQ(LoadMainWindowPlacement(desktop).has_value(), row.accepted);
    }
}

TEST_F(Settings, MainWindowRecordOfAnotherLengthIsRefused) {
    // A stored value longer than the record is refused, never copied over it.
    std::vector<uint8_t> longer(24, 0);
    longer[8] = 200;
    longer[12] = 200;
    ASSERT_TRUE(WriteSettingBinary(u"MainWindow", longer));
    EXPECT_FALSE(LoadMainWindowPlacement({0, 0, 1920, 1080}));
    std::vector<uint8_t> shorter(16, 0);
    ASSERT_TRUE(WriteSettingBinary(u"MainWindow", shorter));
    EXPECT_FALSE(LoadMainWindowPlacement({0, 0, 1920, 1080}));
    std::vector<uint8_t> huge(300, 0);
    ASSERT_TRUE(WriteSettingBinary(u"MainWindow", huge));
    EXPECT_FALSE(LoadMainWindowPlacement({0, 0, 1920, 1080}));
}

TEST_F(Settings, MaximizedSaveKeepsTheNormalRectangle) {
    const DesktopRect desktop{0, 0, 1920, 1080};
    ASSERT_TRUE(SaveMainWindowPlacement({10, 20, 640, 480, 0}, false));
    ASSERT_TRUE(SaveMainWindowPlacement({-4, -4, 1928, 1088, 0}, true));
    auto loaded = LoadMainWindowPlacement(desktop);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->left, 10);
    EXPECT_EQ(loaded->width, 640);
    EXPECT_EQ(loaded->maximized, 1);

    ConsoleMode = true;
    EXPECT_FALSE(LoadMainWindowPlacement(desktop));
    EXPECT_FALSE(SaveMainWindowPlacement({0, 0, 100, 100, 0}, false));
}
