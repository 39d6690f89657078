// The archive contents dialog on zip and 7z archives made by zip, 7z and
// python's zipfile: which programs it lists, in which order, what OK answers,
// and how it refuses what is no archive.

#include "window/dialogs/archive_run_dialog.h"

#include <QCheckBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/other_openers.h"
#include "foundation/messages_scripted.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/models/archive_run_candidates.h"
#include "window/models/remembered_password.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"

namespace {

using dialogs::ui::CArchiveRunDlg;
using qvtest::RunOk;
using qvtest::ShellQuote;

class ArchiveRunDialogTest : public ::testing::Test {
protected:
    ArchiveRunDialogTest() : uiScope_(&ui_) {
        ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        qvtest::EnsureApplication();
        app::InstallReaders();
    }
    ~ArchiveRunDialogTest() override { ::unsetenv("QV_CONFIG_DIR"); }

    // The rows once loading is done.
    std::vector<std::string> Rows(CArchiveRunDlg& dlg) {
        dlg.show();
        for (int i = 0; i < 200 && !dlg.Loaded(); ++i) QTest::qWait(10);
        EXPECT_TRUE(dlg.Loaded());
        std::vector<std::string> rows;
        auto* list = dlg.ControlAs<QTreeWidget>(CArchiveRunDlg::kList);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            rows.push_back((row->text(0) + QStringLiteral("|") + row->text(1)).toStdString());
        }
        return rows;
    }

    qvtest::TempDir config_;
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_;
};

TEST_F(ArchiveRunDialogTest, ListsInstallersBestFirst) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir -p a b/pack c && cd a && head -c 1025 /dev/zero > Setup.exe && "
          "printf x > setupx.exe && head -c 1024 /dev/zero > mysetup.msi && printf x > readme.exe && printf x > notes.txt && "
          "zip -q ../a.zip readme.exe mysetup.msi setupx.exe Setup.exe notes.txt && cd ../b && printf x > pack/install.bat && "
          "printf x > pack/info.txt && 7z a ../b.7z pack >/dev/null && cd ../c && printf x > x.bat && printf x > x.msi && "
          "printf x > x.exe && printf x > y.exe && zip -q ../c.zip y.exe x.exe x.msi x.bat");
    // Hostile names from python's zipfile: a way out and a line break, which
    // the archive reader has already made safe names ("setup.exe" at the top,
    // "a_setup.exe").
    RunOk("cd " + ShellQuote(dir_.path()) + " && python3 -c \"import zipfile; z = zipfile.ZipFile('d.zip', 'w'); "
          "[z.writestr(n, 'x') for n in ['../setup.exe', 'a\\nsetup.exe', 'ok.exe']]; z.close()\"");
    struct Case {
        const char* archive;
        bool showAll;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {"a.zip", false, {"Setup.exe|2 KB"}},
        {"a.zip", true, {"Setup.exe|2 KB", "setupx.exe|1 KB", "mysetup.msi|1 KB", "readme.exe|1 KB"}},
        {"b.7z", false, {"pack/install.bat|1 KB"}},
        {"c.zip", false, {"x.bat|1 KB", "x.msi|1 KB", "y.exe|1 KB", "x.exe|1 KB"}},
        {"d.zip", true, {"setup.exe|1 KB", "a_setup.exe|1 KB", "ok.exe|1 KB"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.archive) + (c.showAll ? " all" : ""));
        CArchiveRunDlg dlg(platform::Utf8ToUtf16(dir_ / c.archive), true);
        dlg.ControlAs<QCheckBox>(CArchiveRunDlg::kShowAll)->setChecked(c.showAll);
        EXPECT_EQ(Rows(dlg), c.rows);
    }
    EXPECT_TRUE(ui_.Boxes().empty());
}

TEST_F(ArchiveRunDialogTest, OkAnswersTheChoice) {
    RunOk("cd " + ShellQuote(dir_.path()) + " && printf x > setup.exe && printf y > other.bat && "
          "zip -q a.zip setup.exe other.bat");
    struct Case {
        const char* name;
        bool installed;
        int choice;
        bool useSelected;
        bool run;
        int drive;
        std::u16string item;
    };
    for (const Case& c : {Case{"run the chosen program", true, CArchiveRunDlg::kRunChoice, true, true, -1, u"setup.exe"},
                          Case{"mount without a file", true, CArchiveRunDlg::kMountChoice, false, false, 0, u""},
                          Case{"mount and open", true, CArchiveRunDlg::kMountOpenChoice, true, false, 0, u"setup.exe"},
                          Case{"no drive: run is the only way", false, 0, true, true, -1, u"setup.exe"}}) {
        SCOPED_TRACE(c.name);
        CArchiveRunDlg dlg(platform::Utf8ToUtf16(dir_ / "a.zip"), c.installed);
        EXPECT_FALSE(dlg.ControlAs<QRadioButton>(CArchiveRunDlg::kMountChoice)->isEnabled() && !c.installed);
        EXPECT_EQ(Rows(dlg).size(), 1u);
        // Pictures to look at when asked for (run under Xvfb).
        if (const char* shots = std::getenv("QV_SCREENSHOT_DIR"))
            dlg.grab().save(QString::fromUtf8(shots) + QStringLiteral("/archive_run_") +
                            QString::number(c.installed) + QStringLiteral(".png"));
        if (c.choice) dlg.ControlAs<QRadioButton>(c.choice)->setChecked(true);
        dlg.ControlAs<QCheckBox>(CArchiveRunDlg::kUseSelected)->setChecked(c.useSelected);
        dlg.accept();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.Result().run, c.run);
        EXPECT_EQ(dlg.Result().driveIndex, c.drive);
        EXPECT_EQ(dlg.Result().itemPath, c.item);
    }
}

// A FIFO named like an archive is never opened (the read would hang): the
// user is told, the list stays empty and OK chooses nothing.
TEST_F(ArchiveRunDialogTest, FifoIsRefused) {
    RunOk("mkfifo " + ShellQuote(dir_ / "f.zip"));
    CArchiveRunDlg dlg(platform::Utf8ToUtf16(dir_ / "f.zip"), true);
    EXPECT_TRUE(Rows(dlg).empty());
    EXPECT_FALSE(dlg.ControlAs<QCheckBox>(CArchiveRunDlg::kUseSelected)->isChecked());
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].request.text,
              platform::Utf8ToUtf16(dir_ / "f.zip") + u"\r\n\r\nThe archive is invalid or unsupported.");
    dlg.accept();
    EXPECT_EQ(dlg.Result().itemPath, u"");
}

// Gives the password and counts how often it was asked for.
class CountingPassword final : public image::IPasswordServices {
public:
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        ++asked;
        ctx->outputPassword = {};
        std::memcpy(ctx->outputPassword.data(), "SECRET", 6);
        return true;
    }
    int asked = 0;
};

// The same unchanged archive opens again with the password it was opened
// with; once the file changes the user is asked again.
TEST_F(ArchiveRunDialogTest, RemembersThePasswordOfAnUnchangedArchive) {
    dialogs::ForgetRememberedPassword();
    RunOk("cd " + ShellQuote(dir_.path()) + " && printf x > setup.exe && 7z a -pSECRET -mhe=on e.7z setup.exe >/dev/null");
    CountingPassword password;
    foundation::ScopedServices<image::SetPasswordServices> scope(&password);
    const std::u16string path = platform::Utf8ToUtf16(dir_ / "e.7z");
    for (int asked : {1, 1}) {
        CArchiveRunDlg dlg(path, true);
        EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"setup.exe *|1 KB"}));
        EXPECT_EQ(password.asked, asked);
    }
    RunOk("touch -d '2001-02-03 04:05:06' " + ShellQuote(dir_ / "e.7z"));
    CArchiveRunDlg changed(path, true);
    EXPECT_EQ(Rows(changed).size(), 1u);
    EXPECT_EQ(password.asked, 2);
    dialogs::ForgetRememberedPassword();
}

TEST(ArchiveRunCandidates, ScoresAndSizes) {
    struct Score {
        const char16_t* name;
        int score;
    };
    for (const Score& s : {Score{u"SETUP.EXE", 99}, Score{u"setup64.msi", 89}, Score{u"mysetup.bat", 88},
                           Score{u"mysetupx.exe", 79}, Score{u"install.exe", 19}, Score{u"setup.txt", 0},
                           Score{u"setup", 0}, Score{u".exe", 19}}) {
        EXPECT_EQ(dialogs::RunNameScore(s.name), s.score) << platform::Utf16ToUtf8(s.name);
    }
    EXPECT_EQ(dialogs::KilobyteText(1), u"1 KB");
    EXPECT_EQ(dialogs::KilobyteText(1024), u"1 KB");
    EXPECT_EQ(dialogs::KilobyteText(1025), u"2 KB");
    EXPECT_EQ(dialogs::KilobyteText(0), u"0 KB");
    EXPECT_EQ(dialogs::KilobyteText(INT64_MAX), u"9007199254740992 KB");
    EXPECT_EQ(dialogs::KilobyteText(-1), u"");
}

}  // namespace
