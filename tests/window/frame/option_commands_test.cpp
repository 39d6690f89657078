// Tools → Options opens the Configuration sheet on its General page, and the
// virtual-drive menu's "Configuration..." opens it on its Virtual Drive page;
// the Options handler shares the Tools group with the image tools in either
// install order.

#include "window/frame/option_commands.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/document_lifecycle.h"
#include "foundation/messages_scripted.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/option_sheet.h"
#include "window/frame/image_tool_commands.h"
#include "window/frame/main_frame.h"

namespace {

// Cancels the next Configuration sheet once it shows, noting its page.
void CancelNextSheet(int& page) {
    page = -1;
    QTimer::singleShot(50, [&page] {
        auto* sheet = qobject_cast<dialogs::ui::COptionSheet*>(QApplication::activeModalWidget());
        ASSERT_TRUE(sheet);
        page = sheet->ActivePageIndex();
        sheet->reject();
    });
}

TEST(OptionCommands, OptionsOpensTheSheetAndSharesTheToolsGroup) {
    qvtest::TempDir config;
    ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    qvtest::EnsureApplication();
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiScope{&ui};
    for (const bool optionsFirst : {true, false}) {
        SCOPED_TRACE(optionsFirst ? "options installed first" : "image tools installed first");
        app::ui::CMainFrame frame(0, nullptr);
        ASSERT_TRUE(frame.Create());
        if (optionsFirst) app::ui::InstallOptionCommands(frame);
        app::ui::InstallImageToolCommands(frame);
        if (!optionsFirst) app::ui::InstallOptionCommands(frame);
        frame.UpdateCommandStates();
        EXPECT_TRUE(frame.IsCommandEnabled(app::ui::kOptionsCommand));
        EXPECT_TRUE(frame.IsCommandEnabled(app::ui::kConvertImageCommand));
        int page = -1;
        CancelNextSheet(page);
        EXPECT_TRUE(frame.ExecuteCommand(app::ui::kOptionsCommand));
        EXPECT_EQ(page, dialogs::ui::COptionSheet::kGeneralPage);
        app::CloseDocument();
    }
    ::unsetenv("QV_CONFIG_DIR");
}

}  // namespace
