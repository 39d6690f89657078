// The one routine both virtual-drive configuration faces apply their values
// with, against a fake set of drives: which letter questions are asked and
// what each answer changes, the count bounds, and the letter rules of the
// edit dialog; and the helper's autostart entry for install paths with
// blanks, quotes and percent signs, checked by desktop-file-validate.

#include "vdrive/drive_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>

#include "foundation/messages_ui.h"
#include "foundation/settings.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "vdrive/drive_options.h"

namespace {

using vdrive::DriveSettings;
using vdrive::IDriveSettingsTarget;

class FakeTarget : public IDriveSettingsTarget {
public:
    std::vector<Drive> drives;
    uint32_t options = 0;
    std::deque<int> answers;
    std::vector<std::u16string> questions;
    std::vector<std::pair<uint32_t, char16_t>> letterChanges;
    std::vector<uint32_t> counts;
    std::u16string storedLetters;
    std::vector<std::u16string> storedFolders;
    std::vector<std::vector<std::u16string>> helperStarts;

    std::vector<Drive> Drives() override { return drives; }
    uint32_t Options() override { return options; }
    void StoreOptions(uint32_t flags) override { options = flags; }
    void StoreLetters(std::u16string_view letters) override { storedLetters = letters; }
    void StoreTempFolder(std::u16string_view folder) override { storedFolders.emplace_back(folder); }
    bool SetLetter(uint32_t number, char16_t letter) override {
        letterChanges.emplace_back(number, letter);
        return true;
    }
    bool SetCount(uint32_t count) override {
        counts.push_back(count);
        return true;
    }
    int Ask(std::u16string_view question) override {
        questions.emplace_back(question);
        if (answers.empty()) return foundation::kIdNo;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool StartHelper(const std::vector<std::u16string>& arguments) override {
        helperStarts.push_back(arguments);
        return true;
    }
};

std::u16string Letters(std::u16string_view head) {
    std::u16string letters(23, u'A');
    letters.replace(0, head.size(), head);
    return letters;
}

class DriveSettingsTest : public ::testing::Test {
protected:
    DriveSettingsTest() { ::setenv("QV_CONFIG_DIR", (config_.path() + "/cfg/quendravine").c_str(), 1); }
    ~DriveSettingsTest() override { ::unsetenv("QV_CONFIG_DIR"); }
    qvtest::TempDir config_;
};

TEST_F(DriveSettingsTest, LetterQuestionsFollowTheAnswers) {
    using foundation::kIdCancel;
    using foundation::kIdNo;
    using foundation::kIdYes;
    struct Case {
        const char* name;
        std::vector<IDriveSettingsTarget::Drive> drives;
        std::u16string wishes;
        std::deque<int> answers;
        size_t questions;
        std::vector<std::pair<uint32_t, char16_t>> changes;
    };
    const Case cases[] = {
        {"all automatic asks nothing", {{0, u'D'}, {1, u'E'}}, Letters(u""), {}, 0, {}},
        {"wishes equal to the letters ask nothing", {{0, u'D'}, {1, u'E'}}, Letters(u"de"), {}, 0, {}},
        {"a swap asks twice; yes then no", {{0, u'D'}, {1, u'E'}}, Letters(u"ED"), {kIdYes, kIdNo}, 2, {{0, u'E'}}},
        {"cancel stops asking", {{0, u'D'}, {1, u'E'}, {2, u'F'}}, Letters(u"GHI"), {kIdCancel}, 1, {}},
        {"yes to each", {{0, u'D'}, {4, u'H'}}, Letters(u"XAAAY"), {kIdYes, kIdYes}, 2, {{0, u'X'}, {4, u'Y'}}},
        {"a drive number past the wishes is left alone", {{30, u'D'}}, Letters(u"E"), {}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTarget target;
        target.drives = c.drives;
        target.answers = c.answers;
        DriveSettings wanted;
        wanted.driveCount = 3;
        wanted.letters = c.wishes;
        vdrive::ApplyDriveSettings(wanted, u"", target);
        EXPECT_EQ(target.questions.size(), c.questions);
        EXPECT_EQ(target.letterChanges, c.changes);
        // The wishes are stored whatever was answered, and the count is sent
        // also after a cancelled question.
        std::u16string upper = c.wishes;
        for (char16_t& ch : upper) ch = platform::ToUpperChar(ch);
        EXPECT_EQ(target.storedLetters, upper);
        EXPECT_EQ(target.counts, std::vector<uint32_t>{3});
    }
}

TEST_F(DriveSettingsTest, QuestionNamesTheDriveAndBothLetters) {
    FakeTarget target;
    target.drives = {{0, u'D'}, {1, u'E'}};
    DriveSettings wanted;
    wanted.letters = Letters(u"AF");
    vdrive::ApplyDriveSettings(wanted, u"", target);
    ASSERT_EQ(target.questions.size(), 1u);
    EXPECT_EQ(target.questions[0],
              u"Drive 1\r\n\r\nThe drive letter is [E:] , do you want to change it to [F:] now?");
}

TEST_F(DriveSettingsTest, OptionsCountFolderAndHelper) {
    FakeTarget target;
    target.options = 0x10 | vdrive::kOptionAutostart;   // a bit the page does not own stays
    DriveSettings wanted;
    wanted.automount = true;
    wanted.driveCount = 30;
    wanted.letters = u"1?!\u00e9:bc";
    wanted.tempFolder = u"/tmp/x";
    vdrive::ApplyDriveSettings(wanted, u"/tmp/x", target);
    EXPECT_EQ(target.options, 0x10u | vdrive::kOptionAutomount);
    EXPECT_EQ(target.counts, std::vector<uint32_t>{23});
    // Anything but D..Z is a wish for an automatic letter; always 23 of them.
    EXPECT_EQ(target.storedLetters, Letters(u""));
    EXPECT_TRUE(target.storedFolders.empty());
    ASSERT_EQ(target.helperStarts.size(), 1u);
    EXPECT_EQ(target.helperStarts[0], std::vector<std::u16string>{u"-vset_virtual_drive_parameters"});

    vdrive::ApplyDriveSettings(wanted, u"/tmp/y", target);
    EXPECT_EQ(target.storedFolders, std::vector<std::u16string>{u"/tmp/x"});
}

TEST_F(DriveSettingsTest, ReadBackFromTheStore) {
    FakeTarget target;
    target.options = vdrive::kOptionAutostart | vdrive::kOptionAutomount;
    for (uint32_t n = 0; n < 25; ++n) target.drives.push_back({n, u'D'});
    // A damaged "DriveLetter" reads as automatic wherever it is no letter.
    ASSERT_TRUE(foundation::SetVirtualDriveString(u"DriveLetter", u"e1\u00e9Z"));
    ASSERT_TRUE(foundation::SetVirtualDriveString(u"TempFolder", u"/srv/tmp"));
    const DriveSettings read = vdrive::ReadDriveSettings(target);
    EXPECT_TRUE(read.autostart);
    EXPECT_TRUE(read.automount);
    EXPECT_EQ(read.driveCount, 23u);
    EXPECT_EQ(read.letters, Letters(u"EAAZ"));
    EXPECT_EQ(read.tempFolder, u"/srv/tmp");
}

TEST(DriveLetterRules, ItemsAndConflicts) {
    EXPECT_EQ(vdrive::DriveLetterItem(u'A'), 0);
    EXPECT_EQ(vdrive::DriveLetterItem(u'C'), 0);
    EXPECT_EQ(vdrive::DriveLetterItem(u'D'), 1);
    EXPECT_EQ(vdrive::DriveLetterItem(u'z'), 23);
    EXPECT_EQ(vdrive::DriveLetterOfItem(0), u'A');
    EXPECT_EQ(vdrive::DriveLetterOfItem(3), u'F');
    EXPECT_EQ(vdrive::DriveLetterText(u'A'), u"<Auto>");
    EXPECT_EQ(vdrive::DriveLetterText(u'F'), u"F:");
    const std::u16string letters = Letters(u"EAAAAF");
    // F: for drive 2 while drive 5 has F; E: for drive 3 while drive 0 has E.
    EXPECT_EQ(vdrive::ConflictingDrive(letters, 2, vdrive::DriveLetterItem(u'F')), 5);
    EXPECT_EQ(vdrive::ConflictingDrive(letters, 3, vdrive::DriveLetterItem(u'E')), 0);
    EXPECT_EQ(vdrive::ConflictingDrive(letters, 5, vdrive::DriveLetterItem(u'F')), -1);
    EXPECT_EQ(vdrive::ConflictingDrive(Letters(u""), 1, 0), -1);
    EXPECT_EQ(vdrive::DriveLetterConflictText(u'F', 5),
              u"F:\r\n\r\nThe drive letter has already been assigned to drive 5.");
}

TEST_F(DriveSettingsTest, AutostartEntryQuotesTheHelperPath) {
    for (const std::string name : {"plain", "with blank", "per%cent", "quote\"d", "dollar$HOME", "back\\slash",
                                   "tick`s"}) {
        SCOPED_TRACE(name);
        const std::string install = config_ / name;
        ASSERT_TRUE(foundation::SetVirtualDriveString(u"Install_Dir", platform::Utf8ToUtf16(install)));
        vdrive::SetVirtualDriveOptions(vdrive::kOptionAutostart);
        const std::string entry = config_.path() + "/cfg/autostart/qvhelper.desktop";
        ASSERT_TRUE(std::filesystem::exists(entry));
        qvtest::RunOk("desktop-file-validate " + qvtest::ShellQuote(entry));
        // Read back as the desktop entry rules say: the value's escapes,
        // "%%", then the quoted argument's backslashes.
        const std::string text = qvtest::Run("cat " + qvtest::ShellQuote(entry)).output;
        const size_t at = text.find("\nExec=");
        ASSERT_NE(at, std::string::npos);
        const std::string value = text.substr(at + 6, text.find('\n', at + 1) - at - 6);
        std::string unescaped;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == '\\') ++i;
            else if (value[i] == '%' && i + 1 < value.size() && value[i + 1] == '%') ++i;
            unescaped += value[i];
        }
        ASSERT_GE(unescaped.size(), 2u);
        ASSERT_EQ(unescaped.front(), '"');
        ASSERT_EQ(unescaped.back(), '"');
        std::string argument;
        for (size_t i = 1; i + 1 < unescaped.size(); ++i) {
            if (unescaped[i] == '\\') ++i;
            argument += unescaped[i];
        }
        EXPECT_EQ(argument, install + "/qvhelper");
        vdrive::SetVirtualDriveOptions(0);
        EXPECT_FALSE(std::filesystem::exists(entry));
    }
}

}  // namespace
