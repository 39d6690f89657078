// The property-sheet base (pages built on first show, the page being left
// checks first, OK stores only opened pages and a refusal keeps the sheet
// open), the Configuration sheet's two pages, the drive-letter dialog and the
// file manager's drive configuration dialog, offscreen. Stores go to a
// private settings folder; programs the pages start are recording scripts.

#include "window/dialogs/option_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "foundation/file_associations.h"
#include "foundation/messages_scripted.h"
#include "foundation/settings.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "vdrive/drive_options.h"
#include "window/dialogs/drive_config_dialog.h"
#include "window/dialogs/drive_letter_dialog.h"
#include "window/dialogs/drive_settings_form.h"

namespace {

using dialogs::ui::CPropertyPage;
using dialogs::ui::CPropertySheet;

void Shot(QWidget& widget, const char* name) {
    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR"))
        widget.grab().save(QString::fromUtf8(shots) + "/" + QString::fromUtf8(name) + ".png");
}

// A page that writes down what the sheet asked of it.
class LogPage : public CPropertyPage {
public:
    LogPage(std::string name, std::vector<std::string>& log) : CPropertyPage(1, platform::Utf8ToUtf16(name)), name_(std::move(name)), log_(log) {}
    void OnInitPage() override { log_.push_back("init " + name_); }
    bool OnKillActive() override {
        log_.push_back("leave " + name_);
        return leaves;
    }
    bool OnOK() override {
        log_.push_back("ok " + name_);
        return oks;
    }
    bool leaves = true;
    bool oks = true;

private:
    std::string name_;
    std::vector<std::string>& log_;
};

class OptionSheetTest : public ::testing::Test {
protected:
    OptionSheetTest() : uiScope_(&ui_) {
        ::setenv("QV_CONFIG_DIR", (config_.path() + "/cfg/quendravine").c_str(), 1);
        qvtest::EnsureApplication();
    }
    ~OptionSheetTest() override { ::unsetenv("QV_CONFIG_DIR"); }

    // A program that writes its arguments, one a line, beside itself.
    std::string Recorder(const std::string& name) {
        const std::string path = bin_ / name;
        qvtest::WriteFileText(path, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"$0.args\"\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return path;
    }
    // The recorded arguments once the started program has written them.
    std::string Recorded(const std::string& name) {
        const std::string args = bin_ / (name + ".args");
        for (int i = 0; i < 200 && !std::filesystem::exists(args); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!std::filesystem::exists(args)) return "(not started)";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return qvtest::Run("cat " + qvtest::ShellQuote(args)).output;
    }

    qvtest::TempDir config_;
    qvtest::TempDir bin_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_;
};

TEST_F(OptionSheetTest, SheetBuildsPagesOnFirstShowAndKeepsRefusals) {
    std::vector<std::string> log;
    CPropertySheet sheet(0, u"Sheet");
    auto* a = new LogPage("a", log);
    auto* b = new LogPage("b", log);
    auto* c = new LogPage("c", log);
    sheet.AddPage(a);
    sheet.AddPage(b);
    sheet.AddPage(c);
    EXPECT_EQ(sheet.Tabs()->tabText(0), "a");
    EXPECT_EQ(sheet.Tabs()->tabText(2), "c");
    EXPECT_TRUE(log.empty());
    sheet.show();
    EXPECT_EQ(log, (std::vector<std::string>{"init a"}));

    // Leaving a page that refuses keeps it in front.
    log.clear();
    a->leaves = false;
    sheet.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(sheet.ActivePageIndex(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"leave a"}));
    EXPECT_FALSE(b->Initialised());
    a->leaves = true;
    sheet.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(sheet.ActivePageIndex(), 1);
    EXPECT_TRUE(b->Initialised());

    // OK: the active page checks first; a refusal keeps the sheet open.
    log.clear();
    b->leaves = false;
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(log, (std::vector<std::string>{"leave b"}));
    b->leaves = true;

    // A page whose OK fails comes to the front; pages never opened store nothing.
    log.clear();
    a->oks = false;
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.ActivePageIndex(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"leave b", "ok a"}));
    a->oks = true;
    log.clear();
    sheet.accept();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(log, (std::vector<std::string>{"leave a", "ok a", "ok b"}));
}

TEST_F(OptionSheetTest, SheetOpensOnThePageItsCommandAsksFor) {
    for (const bool onDrive : {false, true}) {
        dialogs::ui::COptionSheet sheet(onDrive);
        sheet.show();
        EXPECT_EQ(sheet.windowTitle(), "Configuration");
        EXPECT_EQ(sheet.Tabs()->tabText(0), "General");
        EXPECT_EQ(sheet.Tabs()->tabText(1), "Virtual Drive");
        EXPECT_EQ(sheet.ActivePageIndex(), onDrive ? 1 : 0);
        EXPECT_EQ(sheet.Page(0)->Initialised(), !onDrive);
        EXPECT_EQ(sheet.Page(1)->Initialised(), onDrive);
        Shot(sheet, onDrive ? "option_sheet_virtual_drive" : "option_sheet_general");
        sheet.reject();
    }
}

// Claims the rows of a set as the program's.
class FakeAssociations : public foundation::IFileAssociationServices {
public:
    std::set<std::u16string> ours;
    bool SetAssociation(std::u16string_view, bool) override { return true; }
    bool IsAssociated(std::u16string_view extension) override { return ours.count(std::u16string(extension)) != 0; }
};

TEST_F(OptionSheetTest, GeneralPageStoresTheAssociationWishAndStartsItsRun) {
    Recorder("quendravine");
    ASSERT_TRUE(foundation::WriteSettingString(u"Install_Dir", platform::Utf8ToUtf16(bin_.path())));
    FakeAssociations associations;
    associations.ours = {u".iso", u".zip"};
    foundation::ScopedServices<foundation::SetFileAssociationServices> scope{&associations};
    const std::u16string untouched(58, u'0');
    struct Case {
        const char* name;
        std::function<void(dialogs::ui::COptionPageGeneral&)> edit;
        std::u16string status1;   // empty: nothing stored, nothing started
    };
    const Case cases[] = {
        {"no change", [](auto&) {}, u""},
        {"iso unticked",
         [](auto& page) { page.Associations()->item(4)->setCheckState(Qt::Unchecked); },
         [&] {
             std::u16string s = untouched;
             s[5] = u'1';
             return s;
         }()},
        {"integration only",
         [](auto& page) { page.template findChild<QCheckBox*>()->setChecked(!foundation::IsShellIntegrationOn()); },
         [&] {
             std::u16string s = untouched;
             s[0] = foundation::IsShellIntegrationOn() ? u'1' : u'2';
             return s;
         }()},
        {"select all", [](auto& page) { page.SelectAll(); },
         [&] {
             std::u16string s(58, u'2');
             s[0] = u'0';
             s[1] = u'0';   // .zip
             s[5] = u'0';   // .iso
             return s;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        foundation::WriteSettingString(u"Status1", u"");
        std::filesystem::remove(bin_ / "quendravine.args");
        dialogs::ui::COptionSheet sheet(false);
        sheet.show();
        auto* page = static_cast<dialogs::ui::COptionPageGeneral*>(sheet.Page(0));
        ASSERT_EQ(page->Associations()->count(), 57);
        EXPECT_EQ(page->Associations()->item(4)->text(), ".iso");
        EXPECT_EQ(page->Associations()->item(4)->checkState(), Qt::Checked);
        EXPECT_EQ(page->Associations()->item(2)->checkState(), Qt::Unchecked);
        c.edit(*page);
        sheet.accept();
        EXPECT_EQ(sheet.result(), QDialog::Accepted);
        EXPECT_EQ(foundation::ReadSettingString(u"Status1").value_or(u""), c.status1);
        if (c.status1.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            EXPECT_FALSE(std::filesystem::exists(bin_ / "quendravine.args"));
        } else {
            EXPECT_EQ(Recorded("quendravine"), "-ii1\n-vset\n");
        }
    }
}

TEST_F(OptionSheetTest, DriveLetterDialogRefusesALetterAnotherDriveWants) {
    std::u16string letters(23, u'A');
    letters[5] = u'F';
    {
        dialogs::ui::CDriveLetterDlg dlg(2, letters);
        dlg.show();
        EXPECT_EQ(dlg.windowTitle(), "Edit Drive Letter");
        EXPECT_EQ(dlg.Combo()->count(), 24);
        EXPECT_EQ(dlg.Combo()->currentText(), "<Auto>");
        Shot(dlg, "drive_letter_dialog");
        dlg.Combo()->setCurrentIndex(3);   // F:
        dlg.accept();
        EXPECT_TRUE(dlg.isVisible());
        const auto boxes = ui_.Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].request.text, u"F:\r\n\r\nThe drive letter has already been assigned to drive 5.");
        dlg.Combo()->setCurrentIndex(0);
        dlg.accept();
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.Letters(), letters);
    }
    dialogs::ui::CDriveLetterDlg dlg(2, letters);
    dlg.Combo()->setCurrentIndex(4);   // G:
    dlg.accept();
    std::u16string expected = letters;
    expected[2] = u'G';
    EXPECT_EQ(dlg.Letters(), expected);
}

TEST_F(OptionSheetTest, ConfigurationDialogCancelChangesNothingOkStoresAndTellsTheHelper) {
    Recorder("qvhelper");
    ASSERT_TRUE(foundation::SetVirtualDriveString(u"Install_Dir", platform::Utf8ToUtf16(bin_.path())));
    ASSERT_TRUE(foundation::SetVirtualDriveString(u"DriveLetter", u"AAE"));
    ASSERT_TRUE(foundation::SetVirtualDriveDword(u"Flags", 0));
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        dialogs::ui::CVirtualDriveConfigDlg dlg;
        dlg.show();
        EXPECT_EQ(dlg.windowTitle(), "Quendravine Virtual Drive Configuration");
        QTreeWidget* list = dlg.Form()->List();
        ASSERT_EQ(list->topLevelItemCount(), 23);
        EXPECT_EQ(list->topLevelItem(0)->text(0), "Drive 0");
        EXPECT_EQ(list->topLevelItem(2)->text(1), "E:");
        EXPECT_EQ(list->topLevelItem(22)->text(1), "<Auto>");
        EXPECT_EQ(dlg.Form()->CountCombo()->currentText(), "<Disabled>");
        EXPECT_EQ(dlg.Form()->CountCombo()->count(), 24);
        if (!ok) Shot(dlg, "drive_configuration_dialog");
        dlg.ControlAs<QCheckBox>(1024)->setChecked(true);   // Automount
        if (ok) dlg.accept();
        else dlg.reject();
        EXPECT_EQ(vdrive::GetVirtualDriveOptions(), ok ? uint32_t(vdrive::kOptionAutomount) : 0u);
        EXPECT_EQ(foundation::GetVirtualDriveString(u"DriveLetter").value_or(u""),
                  ok ? u"AAEAAAAAAAAAAAAAAAAAAAA" : u"AAE");
    }
    EXPECT_EQ(Recorded("qvhelper"), "-vset_virtual_drive_parameters\n");
}

}  // namespace
