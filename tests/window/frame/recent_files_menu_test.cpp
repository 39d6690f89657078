// The File menu's Recent Files on a real frame over ISO images made by
// genisoimage: newest first, four at most, an entry reopened moves up, a file
// gone is dropped when chosen, "&" in a path shown as written, "<None>" with
// every item disabled when empty, and the store read back as written. Also
// the name-change notice: shown from a worker on the window thread, silenced
// for the rest of a save by its check box, never for a change of case.

#include "window/frame/recent_files_menu.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "app/document_lifecycle.h"
#include "app/name_change_notice.h"
#include "app/other_openers.h"
#include "app/startup_state.h"
#include "foundation/language.h"
#include "foundation/messages_scripted.h"
#include "foundation/registry.h"
#include "foundation/settings.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/window/program_folders.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/notice_dialog.h"
#include "window/dialogs/option_sheet.h"
#include "window/frame/main_frame.h"

namespace app::ui {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

class RecentFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        qvtest::UsePrivateProgramFolders(config.path(), runtime.path(), install.path());
        g_ExitAfterStartup = 0;
        InstallReaders();
        RunOk("cd " + ShellQuote(dir.path()) + " && mkdir src && echo a > src/a.txt && genisoimage -quiet -o 1.iso src" +
              " && for n in 2 3 4 5; do cp 1.iso $n.iso; done && cp 1.iso 'R&D.iso'");
    }
    void TearDown() override {
        CloseDocument();
        frame.reset();
        foundation::ResetLanguageStateForTests();
        unsetenv("QV_CONFIG_DIR");
    }
    void MakeFrame() {
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
        recent = frame->findChild<RecentFilesMenu*>();
        ASSERT_NE(recent, nullptr);
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (uint32_t id = kCmdFirstRecentFile; id < kCmdFirstRecentFile + 4; ++id)
            for (QAction* action : frame->ActionsOf(id))
                if (action->isVisible()) texts.push_back(action->text().toStdString());
        return texts;
    }
    std::string Path(const std::string& name) { return dir / name; }
    void Open(const std::string& name) {
        CloseDocument();
        ASSERT_TRUE(OpenDocument(platform::Utf8ToUtf16(Path(name))));
    }

    qvtest::TempDir config, install, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
    RecentFilesMenu* recent = nullptr;
};

TEST_F(RecentFilesTest, TheListKeepsFourNewestFirstAndDropsWhatIsGone) {
    // Values past a first empty one are not part of the list.
    foundation::WriteSettingString(u"Reopen0", platform::Utf8ToUtf16(Path("1.iso")));
    foundation::WriteSettingString(u"Reopen1", u"");
    foundation::WriteSettingString(u"Reopen2", platform::Utf8ToUtf16(Path("3.iso")));
    ASSERT_NO_FATAL_FAILURE(MakeFrame());
    EXPECT_EQ(Texts(), std::vector<std::string>{"&1 " + Path("1.iso")});

    for (const char* name : {"2.iso", "3.iso", "4.iso", "5.iso", "R&D.iso"}) ASSERT_NO_FATAL_FAILURE(Open(name));
    const std::vector<std::string> expected = {"&1 " + dir / "R&&D.iso", "&2 " + Path("5.iso"), "&3 " + Path("4.iso"),
                                               "&4 " + Path("3.iso")};
    EXPECT_EQ(Texts(), expected);

    // Reopening the third moves it up without a second entry.
    ASSERT_TRUE(frame->IsCommandEnabled(kCmdFirstRecentFile + 2));
    ASSERT_TRUE(frame->ExecuteCommand(kCmdFirstRecentFile + 2));
    EXPECT_EQ(platform::Utf16ToUtf8(image::g_CurrentDocument->imagePath), Path("4.iso"));
    EXPECT_EQ(Texts().front(), "&1 " + Path("4.iso"));
    EXPECT_EQ(Texts().size(), 4u);

    // A file that is gone: chosen, it leaves the list, and the default document stays.
    ASSERT_EQ(unlink(Path("5.iso").c_str()), 0);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdFirstRecentFile + 2));
    EXPECT_EQ(Texts().size(), 3u);
    for (const std::string& text : Texts()) EXPECT_EQ(text.find("5.iso"), std::string::npos) << text;
    ASSERT_NE(image::g_CurrentDocument, nullptr);
    EXPECT_EQ(image::g_CurrentDocument->modified, 0);

    // The store holds what the menu shows, an empty slot after the last.
    dialogs::RecentFileList stored;
    stored.Load();
    EXPECT_EQ(stored.Entries(), recent->List().Entries());
    EXPECT_EQ(foundation::ReadSettingString(u"Reopen3"), std::u16string());
}

TEST_F(RecentFilesTest, AnEmptyListShowsNoneAndEnablesNothing) {
    ASSERT_NO_FATAL_FAILURE(MakeFrame());
    EXPECT_EQ(Texts(), std::vector<std::string>{"<None>"});
    for (uint32_t id = kCmdFirstRecentFile; id < kCmdFirstRecentFile + 4; ++id)
        EXPECT_FALSE(frame->IsCommandEnabled(id)) << id;
    // A list never loaded never writes over the store.
    dialogs::RecentFileList unloaded;
    unloaded.Save();
    EXPECT_FALSE(foundation::ReadSettingString(u"Reopen0").has_value());
}

TEST_F(RecentFilesTest, TheOptionsSheetClearsTheHistory) {
    ASSERT_NO_FATAL_FAILURE(MakeFrame());
    for (const char* name : {"2.iso", "3.iso"}) ASSERT_NO_FATAL_FAILURE(Open(name));
    ASSERT_EQ(Texts().size(), 2u);
    bool clicked = false;
    std::function<void()> press = [&] {
        auto* sheet = qobject_cast<dialogs::ui::COptionSheet*>(QApplication::activeModalWidget());
        if (!sheet) {
            QTimer::singleShot(20, press);
            return;
        }
        for (QPushButton* button : sheet->findChildren<QPushButton*>())
            if (dialogs::ui::CAppDialog::ControlId(button) == 1001) {
                button->click();
                clicked = true;
            }
        sheet->reject();
    };
    QTimer::singleShot(20, press);
    dialogs::ui::RunOptionSheet(frame.get(), false);
    ASSERT_TRUE(clicked);
    EXPECT_EQ(Texts(), std::vector<std::string>{"<None>"});
    for (uint32_t id = kCmdFirstRecentFile; id < kCmdFirstRecentFile + 4; ++id) EXPECT_FALSE(frame->IsCommandEnabled(id));
    EXPECT_EQ(foundation::ReadSettingString(u"Reopen0"), std::u16string());
    // Cancelling the sheet does not bring the history back.
    dialogs::RecentFileList stored;
    stored.Load();
    EXPECT_TRUE(stored.Entries().empty());
}

// Answers the next notice with the box ticked or not; records its texts.
struct NoticeAnswerer {
    bool tick = false;
    int shown = 0;
    QString oldName, newName, heading;
    void Arm() {
        QTimer::singleShot(20, [this] {
            auto* dialog = qobject_cast<dialogs::ui::CNoticeDlg*>(QApplication::activeModalWidget());
            if (!dialog) {
                Arm();
                return;
            }
            ++shown;
            if (const char* shots = std::getenv("QV_SHOT_DIR"))
                dialog->grab().save(QString::fromUtf8(shots) + "/notice-" + QString::number(shown) + ".png");
            oldName = dialog->ControlAs<QLineEdit>(dialogs::ui::CNoticeDlg::kOldName)->text();
            newName = dialog->ControlAs<QLineEdit>(dialogs::ui::CNoticeDlg::kNewName)->text();
            heading = dialog->ControlAs<QLabel>(dialogs::ui::CNoticeDlg::kHeading)->text();
            dialog->ControlAs<QCheckBox>(dialogs::ui::CNoticeDlg::kDoNotShow)->setChecked(tick);
            dialog->accept();
        });
    }
};

TEST_F(RecentFilesTest, TheNameNoticeRunsOnTheWindowThreadOncePerSave) {
    g_SuppressNameNotice = false;
    NoticeAnswerer answer;
    struct Row {
        const char16_t* oldName;
        const char16_t* newName;
        bool folder, tick;
        int shownAfter;
        const char* heading;
    };
    const Row rows[] = {
        {u"Long name.text", u"LONG_NAM.TEX", false, false, 1, "The file name will be changed to:"},
        {u"readme", u"README", false, false, 1, nullptr},   // case only: nothing
        {u"A folder", u"A_FOLDER", true, true, 2, "The folder name will be changed to:"},
        {u"other", u"OTHER_1", false, false, 2, nullptr},   // silenced for the rest of the save
    };
    for (const Row& row : rows) {
        if (row.heading) answer.Arm();
        answer.tick = row.tick;
        // Asked from a worker, as a save asks it; the window thread keeps running.
        std::thread worker([&] { dialogs::ui::ShowNameChangeNotice(nullptr, row.oldName, row.newName, row.folder); });
        for (int waited = 0; waited < 10000 && answer.shown < row.shownAfter; ++waited) {
            QCoreApplication::processEvents();
            usleep(1000);
        }
        worker.join();
        EXPECT_EQ(answer.shown, row.shownAfter);
        if (row.heading) {
            EXPECT_EQ(answer.heading.toStdString(), row.heading);
            EXPECT_EQ(answer.oldName.toStdU16String(), row.oldName);
            EXPECT_EQ(answer.newName.toStdU16String(), row.newName);
        }
    }
    EXPECT_TRUE(g_SuppressNameNotice);
    g_SuppressNameNotice = false;
}

}  // namespace
}  // namespace app::ui
