// Burning and making images from the frame's Tools commands, sharing the
// group with the image tools in either install order.

#include "window/frame/burn_commands.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/document_lifecycle.h"
#include "foundation/messages_scripted.h"
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

}  // namespace
