// Command files run by the window program with its dialogs: SAVE_AS through
// the Save Archive sheet (checked with isoinfo), EXTRACT_DLG through the
// Extract dialog (compared with 7z), and the steps whose dialogs this program
// does not have yet.

#include "window/frame/command_file_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/document_lifecycle.h"
#include "cmdline/command_file.h"
#include "window/dialogs/burn_dialog.h"
#include "window/dialogs/burn_event_list.h"
#include "window/dialogs/extract_dialog.h"
#include "window/dialogs/save_archive_dialog.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

class CommandFileDialogsTest : public ::testing::Test {
protected:
    CommandFileDialogsTest() : uiScope_(&ui_), dialogsScope_(&dialogs_) {
        ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        qvtest::EnsureApplication();
        RunOk("cd " + ShellQuote(dir_.path()) + " && mkdir -p src/sub && echo one > src/a.txt"
              " && head -c 70000 /dev/urandom > src/sub/b.bin"
              " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V CMDFILE -o t.iso src");
    }
    ~CommandFileDialogsTest() override {
        app::CloseDocument();
        ::unsetenv("QV_CONFIG_DIR");
    }
    cmdline::CommandRunEnd Run(const std::u16string& text) {
        std::vector<cmdline::ScriptCommand> commands = cmdline::ParseCommandFileText(text);
        return cmdline::RunCommandList(commands);
    }
    // Answers the next modal dialog: the Save Archive sheet as preset, or the
    // Extract dialog with a typed folder; counts the dialogs seen.
    void AnswerNextDialog(const std::string& folder = {}) {
        QTimer::singleShot(0, [this, folder] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            ++dialogsShown_;
            if (auto* extract = qobject_cast<dialogs::ui::CExtractDlg*>(modal)) {
                extract->ControlAs<QComboBox>(1017)->setEditText(QString::fromStdString(folder));
                extract->ControlAs<QCheckBox>(1460)->setChecked(true);
                extract->accept();
            } else if (auto* sheet = qobject_cast<dialogs::ui::CSaveArchiveDlg*>(modal)) {
                sheet->accept();
            }
        });
    }

    qvtest::TempDir config_;
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_;
    app::ui::CommandFileDialogs dialogs_{nullptr};
    foundation::ScopedServices<app::SetCommandFileDialogs> dialogsScope_;
    int dialogsShown_ = 0;
};

TEST_F(CommandFileDialogsTest, SaveAsWritesTheFileTheSheetNames) {
    AnswerNextDialog();
    const std::u16string text = u"-c OPEN " + U(dir_ / "t.iso") + u"\r\n-c SAVE_AS " + U(dir_ / "copy.iso") + u"\r\n";
    EXPECT_EQ(Run(text), cmdline::CommandRunEnd::Finished);
    EXPECT_EQ(dialogsShown_, 1);
    EXPECT_NE(RunOk("isoinfo -d -i " + ShellQuote(dir_ / "copy.iso")).find("Volume id: CMDFILE"), std::string::npos);
    ASSERT_NE(image::g_CurrentDocument, nullptr);
    EXPECT_EQ(platform::Utf16ToUtf8(image::g_CurrentDocument->imagePath), dir_ / "copy.iso");
}

// Two EXTRACT_DLG steps show the dialog once; the second extracts to the
// folder chosen in the first, overwriting as the dialog was told.
TEST_F(CommandFileDialogsTest, ExtractDialogOncePerRun) {
    AnswerNextDialog(dir_ / "out");
    const std::u16string text = u"-c OPEN " + U(dir_ / "t.iso") + u"\r\n-c EXTRACT_DLG\r\n-c EXTRACT_DLG\r\n";
    EXPECT_EQ(Run(text), cmdline::CommandRunEnd::Finished);
    EXPECT_EQ(dialogsShown_, 1);
    RunOk("7z x -bd -y -o" + ShellQuote(dir_ / "ref") + " " + ShellQuote(dir_ / "t.iso") + " >/dev/null");
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "out") + " " + ShellQuote(dir_ / "ref")), "");
}

TEST_F(CommandFileDialogsTest, BurnAndMakeImageStepsOpenTheirDialogs) {
    // Burning: the burn dialog with the image already open and its size
    // logged; closing it lets the run go on to the next step.
    QString shownPath, events;
    QTimer::singleShot(50, [&] {
        auto* burn = qobject_cast<dialogs::ui::CBurnDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(burn, nullptr);
        ++dialogsShown_;
        QCoreApplication::processEvents();
        shownPath = burn->ControlAs<QLineEdit>(1019)->text();
        events = burn->Events()->EventsText();
        burn->reject();
    });
    const std::u16string burn = u"-c OPEN " + U(dir_ / "t.iso") + u"\r\n-c BURN_IMAGE_FILE " + U(dir_ / "t.iso") +
                                u"\r\n-c EXTRACT_TO " + U(dir_ / "after-burn") + u"\r\n";
    EXPECT_EQ(Run(burn), cmdline::CommandRunEnd::Finished);
    EXPECT_EQ(dialogsShown_, 1);
    EXPECT_EQ(shownPath.toStdString(), dir_ / "t.iso");
    EXPECT_TRUE(events.contains(QStringLiteral("Image file size:"))) << events.toStdString();
    EXPECT_TRUE(platform::FileExists(U(dir_ / "after-burn/a.txt")));
    // Making an image without any optical drive: said so, and the run goes on.
    const std::u16string make = u"-c MAKE_IMAGE x\r\n-c EXTRACT_TO " + U(dir_ / "after-make") + u"\r\n";
    EXPECT_EQ(Run(make), cmdline::CommandRunEnd::Finished);
    ASSERT_EQ(ui_.Boxes().size(), 1u);
    EXPECT_EQ(ui_.Boxes()[0].request.text, u"No CD/DVD/BD drive available.");
    EXPECT_TRUE(platform::FileExists(U(dir_ / "after-make/a.txt")));
}

}  // namespace
