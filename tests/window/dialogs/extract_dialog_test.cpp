// The Extract dialog's answers and history, and the job run under the
// progress dialog against an image made by xorriso, compared with 7z.

#include "window/dialogs/extract_dialog.h"
#include "window/dialogs/run_exe_warning_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/open_document.h"
#include "app/startup_state.h"
#include "window/dialogs/progress_prompts.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/scripted_prompts.h"
#include "foundation/work_folder.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

namespace {

using dialogs::ui::CExtractDlg;
using qvtest::RunOk;
using qvtest::ShellQuote;

class RecordingPrompts final : public foundation::IPromptServices {
public:
    void Show(foundation::UserPromptRequest& request) override {
        threads.push_back(QThread::currentThread());
        scripted.Show(request);
    }
    foundation::ScriptedPrompts scripted;
    std::vector<QThread*> threads;
};

class ExtractDialogTest : public ::testing::Test {
protected:
    ExtractDialogTest() : faces_(inner_), uiScope_(&faces_), promptScope_(&prompts_) {
        ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        qvtest::EnsureApplication();
        foundation::ResetOperationStatus();
        foundation::StandingOverwriteAnswer = -1;
    }
    ~ExtractDialogTest() override { ::unsetenv("QV_CONFIG_DIR"); }

    qvtest::TempDir config_;
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices inner_;
    dialogs::ui::ProgressUiServices faces_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_;
    RecordingPrompts prompts_;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope_;
};

TEST_F(ExtractDialogTest, EmptyPathIsRefusedAndTheDialogStays) {
    CExtractDlg dlg(false);
    dlg.show();
    dlg.ControlAs<QComboBox>(1017)->setEditText(QStringLiteral("   "));
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(inner_.Boxes().size(), 1u);
    EXPECT_EQ(inner_.Boxes()[0].request.text, u"The extract path can not be empty.");
}

TEST_F(ExtractDialogTest, AnswersAndHistory) {
    const QString home = QDir::homePath();
    struct Case {
        QString typed;
        bool nothingSelected;
        bool pickAll;
        bool openAfter;
        bool overwrite;
        QString destination;
        bool allFiles;
    } cases[] = {
        {QStringLiteral("  /tmp/out  "), false, false, true, false, QStringLiteral("/tmp/out"), false},
        {QStringLiteral("/tmp/out/../two/"), false, true, false, true, QStringLiteral("/tmp/two"), true},
        {QStringLiteral("~/x"), true, false, false, false, home + QStringLiteral("/x"), true},
        {QStringLiteral("rel"), false, false, false, false, home + QStringLiteral("/rel"), false},
    };
    for (const Case& c : cases) {
        CExtractDlg dlg(c.nothingSelected);
        EXPECT_EQ(dlg.ControlAs<QRadioButton>(1020)->isEnabled(), !c.nothingSelected);
        EXPECT_EQ(dlg.ControlAs<QRadioButton>(1021)->isChecked(), c.nothingSelected);
        dlg.ControlAs<QComboBox>(1017)->setEditText(c.typed);
        if (c.pickAll) dlg.ControlAs<QRadioButton>(1021)->setChecked(true);
        dlg.ControlAs<QCheckBox>(1150)->setChecked(c.openAfter);
        dlg.ControlAs<QCheckBox>(1460)->setChecked(c.overwrite);
        dlg.accept();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        const app::ExtractRequest& r = dlg.Request();
        EXPECT_EQ(QString::fromStdU16String(r.destination), c.destination);
        EXPECT_EQ(r.allFiles, c.allFiles);
        EXPECT_EQ(r.openFolderAfter, c.openAfter);
        EXPECT_EQ(r.options.overwriteWithoutAsking, c.overwrite);
        EXPECT_FALSE(r.options.overwriteSilently);
    }
    // The next dialog offers the destinations, newest first and selected.
    CExtractDlg next(false);
    QComboBox* combo = next.ControlAs<QComboBox>(1017);
    ASSERT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(0), home + QStringLiteral("/rel"));
    EXPECT_EQ(combo->itemText(3), QStringLiteral("/tmp/out"));
    EXPECT_EQ(combo->currentText(), home + QStringLiteral("/rel"));
    // Under automation ("-auto") the history is offered, none chosen.
    app::g_AutoMode = 1;
    CExtractDlg automated(false);
    app::g_AutoMode = 0;
    EXPECT_EQ(automated.ControlAs<QComboBox>(1017)->count(), 4);
    EXPECT_EQ(automated.ControlAs<QComboBox>(1017)->currentText(), QString());
}

TEST_F(ExtractDialogTest, JobUnderTheProgressDialogMatches7z) {
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && mkdir -p src/sub/deeper && head -c 300000 /dev/urandom > src/sub/big.bin"
          " && echo one > src/a.txt && echo two > src/sub/deeper/b.txt"
          " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V T -o t.iso src");
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir_ / "t.iso"), false, true, false));
    ASSERT_TRUE(doc);
    RunOk("7z x -y -o" + ShellQuote(dir_ / "ref") + " " + ShellQuote(dir_ / "t.iso") + " >/dev/null");

    app::ExtractRequest request;
    request.destination = platform::Utf8ToUtf16(dir_ / "ours");
    request.allFiles = true;
    EXPECT_EQ(dialogs::ui::RunExtractJob(nullptr, doc.get(), doc->rootFolder, {}, request), 1);
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "ours") + " " + ShellQuote(dir_ / "ref")), "");

    // Again over the same files: the worker asks once on the window thread,
    // and "yes to all" answers the rest.
    prompts_.scripted.PushAnswer(foundation::overwrite_answer::kYesToAll);
    EXPECT_EQ(dialogs::ui::RunExtractJob(nullptr, doc.get(), doc->rootFolder, {}, request), 1);
    ASSERT_EQ(prompts_.threads.size(), 1u);
    EXPECT_EQ(prompts_.threads[0], QCoreApplication::instance()->thread());
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "ours") + " " + ShellQuote(dir_ / "ref")), "");

    // "Cancel" to the question: the job stops, nothing of the old files lost.
    prompts_.scripted.PushAnswer(foundation::overwrite_answer::kCancel);
    foundation::StandingOverwriteAnswer = -1;
    EXPECT_EQ(dialogs::ui::RunExtractJob(nullptr, doc.get(), doc->rootFolder, {}, request), 0);
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir_ / "ours") + " " + ShellQuote(dir_ / "ref")), "");
}

}  // namespace

namespace {

TEST_F(ExtractDialogTest, LooksRight) {
    CExtractDlg dlg(false);
    dlg.ControlAs<QComboBox>(1017)->setEditText(QStringLiteral("/home/user/Extracted"));
    dlg.show();
    QTest::qWait(20);
    const QImage picture = dlg.grab().toImage();
    if (const char* dir = std::getenv("QV_SCREENSHOT_DIR")) picture.save(QString::fromUtf8(dir) + "/extract_dialog.png");
    EXPECT_EQ(QColor(picture.pixel(2, 0)), QColor(252, 252, 254));
    EXPECT_EQ(QColor(picture.pixel(2, picture.height() - 1)), QColor(240, 240, 240));
    // Without the look, the plain dialog face.
    dialogs::ui::CAppDialog::SetStylesActive(false);
    const QImage plain = dlg.grab().toImage();
    dialogs::ui::CAppDialog::SetStylesActive(true);
    EXPECT_EQ(QColor(plain.pixel(2, 0)), dlg.palette().color(QPalette::Window));
}

}  // namespace

namespace {

TEST_F(ExtractDialogTest, RunExecutableWarningDefaultsToExtractingFirst) {
    for (bool pickDirect : {false, true}) {
        dialogs::ui::CRunExeWarningDlg dlg(QStringLiteral("setup.exe"));
        EXPECT_EQ(dlg.ControlAs<QLineEdit>(1078)->text(), QStringLiteral("setup.exe"));
        EXPECT_TRUE(dlg.ControlAs<QLineEdit>(1078)->isReadOnly());
        EXPECT_TRUE(dlg.ControlAs<QRadioButton>(1192)->isChecked());
        if (pickDirect) dlg.ControlAs<QRadioButton>(1191)->setChecked(true);
        if (const char* dir = std::getenv("QV_SCREENSHOT_DIR"); dir && !pickDirect) {
            dlg.show();
            dlg.grab().save(QString::fromUtf8(dir) + "/run_exe_warning.png");
        }
        dlg.accept();
        EXPECT_EQ(dlg.Choice(), pickDirect ? 1191 : 1192);
    }
}

}  // namespace

namespace {

// Items handed to another program, under the progress dialog: written into
// the work folder (compared with 7z), their paths returned; rendered again,
// a folder's earlier copy is replaced whole.
TEST_F(ExtractDialogTest, TransferRenderUnderTheProgressDialog) {
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && mkdir -p src/sub && echo one > src/a.txt && echo two > src/sub/b.txt"
          " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V T -o t.iso src");
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir_ / "t.iso"), false, true, false));
    ASSERT_TRUE(doc);
    std::vector<image::ImageItem*> items{image::FindChildByName(doc->rootFolder, u"sub"),
                                         image::FindChildByName(doc->rootFolder, u"a.txt")};
    ASSERT_TRUE(items[0] && items[1]);
    std::vector<std::u16string> paths;
    ASSERT_EQ(dialogs::ui::RunTransferRender(nullptr, doc.get(), doc->rootFolder, items, paths), 1);
    ASSERT_EQ(paths.size(), 2u);
    const std::string sub = platform::Utf16ToUtf8(paths[0]);
    RunOk("7z x -y -o" + ShellQuote(dir_ / "ref") + " " + ShellQuote(dir_ / "t.iso") + " >/dev/null");
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(sub) + " " + ShellQuote(dir_ / "ref/sub")), "");
    EXPECT_EQ(RunOk("cmp " + ShellQuote(platform::Utf16ToUtf8(paths[1])) + " " + ShellQuote(dir_ / "ref/a.txt")), "");
    qvtest::WriteFileText(sub + "/stale.txt", "x");
    ASSERT_EQ(dialogs::ui::RunTransferRender(nullptr, doc.get(), doc->rootFolder, items, paths), 1);
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(sub) + " " + ShellQuote(dir_ / "ref/sub")), "");
    foundation::DeleteTempWorkFolder();
}

}  // namespace
