// Burning and making images from the frame's Tools commands, sharing the
// group with the image tools in either install order.

#include "window/frame/burn_commands.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/document_lifecycle.h"
#include "foundation/messages_scripted.h"
#include "foundation/messages_ui.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "foundation/services.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/burn_dialog.h"
#include "window/dialogs/image_tool_dialog.h"
#include "window/frame/image_tool_commands.h"
#include "window/frame/main_frame.h"

namespace {

TEST(BurnCommands, ToolsCommandsOpenTheirDialogsBesideTheImageTools) {
    qvtest::EnsureApplication();
    qvtest::TempDir config;
    ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi(&ui);
    for (bool burnFirst : {false, true}) {
        SCOPED_TRACE(burnFirst ? "burn commands installed first" : "image tools installed first");
        app::ui::CMainFrame frame(0, nullptr);
        ASSERT_TRUE(frame.Create());
        if (burnFirst) app::ui::InstallBurnCommands(frame);
        app::ui::InstallImageToolCommands(frame);
        if (!burnFirst) app::ui::InstallBurnCommands(frame);
        frame.UpdateCommandStates();
        for (uint32_t id : {app::ui::kBurnImageCommand, app::ui::kBurnImageToolCommand, app::ui::kMakeImageCommand,
                            app::ui::kConvertImageCommand})
            EXPECT_TRUE(frame.IsCommandEnabled(id)) << id;

        int burnDialogs = 0, toolDialogs = 0;
        auto closeNext = [&] {
            QTimer::singleShot(50, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                ASSERT_NE(modal, nullptr);
                if (qobject_cast<dialogs::ui::CBurnDlg*>(modal)) ++burnDialogs;
                if (qobject_cast<dialogs::ui::CImageToolDlg*>(modal)) ++toolDialogs;
                static_cast<QDialog*>(modal)->reject();
            });
        };
        closeNext();
        EXPECT_TRUE(frame.ExecuteCommand(app::ui::kBurnImageCommand));
        closeNext();
        EXPECT_TRUE(frame.ExecuteCommand(app::ui::kConvertImageCommand));
        EXPECT_EQ(burnDialogs, 1);
        EXPECT_EQ(toolDialogs, 1);
        // No optical drive on this machine's letters: said so, no dialog.
        const size_t boxes = ui.Boxes().size();
        EXPECT_TRUE(frame.ExecuteCommand(app::ui::kMakeImageCommand));
        ASSERT_EQ(ui.Boxes().size(), boxes + 1);
        EXPECT_EQ(ui.Boxes().back().request.text, u"No CD/DVD/BD drive available.");
        app::CloseDocument();
    }
    ::unsetenv("QV_CONFIG_DIR");
}

// Burn Audio CD and Burn Data Disc make a new project first: a cancelled
// "save changes?" keeps the user's document and opens no dialog, so the old
// document is never burnt; answered, the project's own dialog opens over it.
TEST(BurnCommands, ProjectDialogsOpenOnANewProjectOnly) {
    qvtest::EnsureApplication();
    qvtest::TempDir config;
    ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scopedUi(&ui);
    app::ui::CMainFrame frame(0, nullptr);
    ASSERT_TRUE(frame.Create());
    app::ui::InstallBurnCommands(frame);
    struct Row {
        uint32_t command;
        const char* title;
        int32_t formatCode;
    };
    for (const Row& row : {Row{app::ui::kBurnAudioCdCommand, "Burn Audio CD", 100},
                           Row{app::ui::kBurnDataDiscCommand, "Burn Data Disc -- CD, DVD, BD", 1}}) {
        SCOPED_TRACE(row.title);
        app::CloseDocument();
        ASSERT_EQ(app::NewImageDocument(u"Mine", 0), 1);
        image::ImageContext* mine = image::g_CurrentDocument;
        mine->modified = 1;
        QStringList opened;
        const auto closeNext = [&] {
            QTimer::singleShot(50, [&] {
                if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    opened << modal->windowTitle();
                    modal->reject();
                }
            });
        };
        ui.QueueBoxAnswer(foundation::kIdCancel);
        closeNext();
        EXPECT_TRUE(frame.ExecuteCommand(row.command));
        QTest::qWait(80);
        EXPECT_TRUE(opened.isEmpty());
        EXPECT_EQ(image::g_CurrentDocument, mine);
        EXPECT_EQ(mine->modified, 1);

        ui.QueueBoxAnswer(foundation::kIdNo);
        closeNext();
        EXPECT_TRUE(frame.ExecuteCommand(row.command));
        EXPECT_EQ(opened, QStringList{QString::fromUtf8(row.title)});
        ASSERT_NE(image::g_CurrentDocument, nullptr);
        EXPECT_EQ(image::g_CurrentDocument->formatCode == 100, row.formatCode == 100);
        app::CloseDocument();
    }
    ::unsetenv("QV_CONFIG_DIR");
}

}  // namespace
