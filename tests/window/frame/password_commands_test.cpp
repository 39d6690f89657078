// The password commands on a real frame: the limit of each format (refused
// with a message, never cut; a character the code page cannot hold refused
// too), a password set through the dialog protects what the save writes (7z
// sees every entry encrypted and reads it back with the password), and
// removing it asks first and leaves no byte behind.

#include "window/frame/password_commands.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/document_edits.h"
#include "app/document_lifecycle.h"
#include "app/document_password.h"
#include "app/other_openers.h"
#include "app/save_engine.h"
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
#include "window/dialogs/password_dialog.h"
#include "window/frame/main_frame.h"

namespace app::ui {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

class PasswordCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        qvtest::UsePrivateProgramFolders(config.path(), runtime.path(), install.path());
        g_ExitAfterStartup = 0;
        InstallReaders();
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
    }
    void TearDown() override {
        CloseDocument();
        frame.reset();
        foundation::ResetLanguageStateForTests();
        unsetenv("QV_CONFIG_DIR");
        unsetenv("QV_ANSI_CODEPAGE");
    }
    // Types the password twice into the next password dialog and presses OK;
    // the dialog stays open when it refuses, and is then cancelled.
    void TypeNextPassword(const QString& text) {
        QTimer::singleShot(20, [this, text] {
            auto* dialog = qobject_cast<dialogs::ui::CPasswordDlg*>(QApplication::activeModalWidget());
            if (!dialog) {
                TypeNextPassword(text);
                return;
            }
            const QList<QLineEdit*> fields = dialog->findChildren<QLineEdit*>();
            ASSERT_GE(fields.size(), 2);
            for (QLineEdit* field : fields) field->setText(text);
            dialog->accept();
            if (dialog->isVisible()) dialog->reject();
        });
    }

    qvtest::TempDir config, install, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(PasswordCommandsTest, EachFormatsLimitIsKeptNeverCut) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    ASSERT_NE(ctx, nullptr);
    struct Row {
        int32_t format;
        QString typed;
        bool taken;
    };
    const QString cjk = QString::fromUtf16(u"\u4e2d\u6587");
    const Row rows[] = {
        {image::format_code::kArchive, QString(32, 'a'), true}, {image::format_code::kArchive, QString(33, 'b'), false},
        {image::format_code::kXdi, QString(64, 'c'), true},     {image::format_code::kXdi, QString(65, 'd'), false},
        {image::format_code::kDaa, QString(64, 'e'), true},     {image::format_code::kDaa, QString(257, 'f'), false},
        {image::format_code::kArchive, cjk, false},             {image::format_code::kArchive, QString(), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed.toStdString() + " " + std::to_string(row.format));
        RemoveDocumentPassword(*ctx);
        ctx->formatCode = row.format;
        const size_t boxes = ui.Boxes().size();
        TypeNextPassword(row.typed);
        ASSERT_TRUE(frame->ExecuteCommand(kCmdSetPassword));
        EXPECT_EQ(ctx->passwordSet, row.taken);
        EXPECT_EQ(ctx->passwordEnabled, row.taken);
        EXPECT_EQ(ctx->encryptionWanted, row.taken);
        EXPECT_EQ(std::string(ctx->writePassword.data()), row.taken ? row.typed.toStdString() : std::string());
        EXPECT_EQ(std::string(ctx->outputPassword.data()), std::string(ctx->writePassword.data()));
        if (!row.taken && !row.typed.isEmpty()) {
            EXPECT_GT(ui.Boxes().size(), boxes);
        }
        EXPECT_EQ(frame->IsCommandEnabled(kCmdClearPassword), row.taken);
    }
}

TEST_F(PasswordCommandsTest, APasswordSetProtectsTheSaveAndRemovingItLeavesNothing) {
    RunOk("cd " + ShellQuote(dir.path()) + " && mkdir src && seq 1 5000 > src/a.txt && cd src && zip -q ../in.zip a.txt");
    CloseDocument();
    ASSERT_TRUE(OpenDocument(platform::Utf8ToUtf16(dir / "in.zip")));
    image::ImageContext* ctx = image::g_CurrentDocument;
    TypeNextPassword(QStringLiteral("s3cret"));
    ASSERT_TRUE(frame->ExecuteCommand(kCmdSetPassword));
    ASSERT_TRUE(ctx->passwordSet);
    EXPECT_NE(ctx->modified, 0);
    ASSERT_EQ(SaveDocument(platform::Utf8ToUtf16(dir / "out.zip"), -1), 0);
    const std::string listing = RunOk("7z l -slt -ps3cret " + ShellQuote(dir / "out.zip"));
    EXPECT_NE(listing.find("Encrypted = +"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("Encrypted = -"), std::string::npos) << listing;
    RunOk("cd " + ShellQuote(dir.path()) + " && 7z e -so -ps3cret out.zip a.txt | cmp - src/a.txt");

    // No keeps it; Yes clears every field.
    ui.QueueBoxAnswer(foundation::kIdNo);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdClearPassword));
    EXPECT_TRUE(ctx->passwordSet);
    ui.QueueBoxAnswer(foundation::kIdYes);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdClearPassword));
    EXPECT_FALSE(ctx->passwordSet || ctx->passwordEnabled || ctx->encryptionWanted);
    for (const auto* field : {&ctx->outputPassword, &ctx->writePassword})
        for (char c : *field) ASSERT_EQ(c, 0);
    EXPECT_FALSE(frame->IsCommandEnabled(kCmdClearPassword));
}

}  // namespace
}  // namespace app::ui
