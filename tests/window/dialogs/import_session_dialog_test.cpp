// The window's chooser: the Import dialog shows the question's rows, allows
// Import with exactly one row selected, and answers the chooser's prompt
// with the row picked (or a refusal when cancelled).

#include "window/dialogs/import_session_dialog.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

#include "foundation/prompt_services.h"
#include "foundation/operation_status.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/prompt_face.h"

namespace {

using dialogs::ui::CImportSessionDlg;

TEST(ImportSessionDialog, RowsSelectionAndImport) {
    qvtest::EnsureApplication();
    filesystems::DiskPartitionRow fat;
    fat.partitionClass = 0;
    fat.sectorCount = 1048576;
    const app::ChooserQuestion question = app::PartitionQuestion({fat, fat, fat});
    CImportSessionDlg dlg(question);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Import Partition");
    ASSERT_EQ(dlg.List()->topLevelItemCount(), 3);
    EXPECT_EQ(dlg.List()->topLevelItem(2)->text(2), "512 MB");
    EXPECT_EQ(dlg.List()->headerItem()->text(0), "Partition");
    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR"))
        dlg.grab().save(QString::fromUtf8(shots) + "/import_partition.png");
    EXPECT_TRUE(dlg.ImportButton()->isEnabled());
    dlg.List()->clearSelection();
    EXPECT_FALSE(dlg.ImportButton()->isEnabled());
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    dlg.List()->topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(dlg.ImportButton()->isEnabled());
    dlg.accept();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Chosen(), 1);
}

TEST(ImportSessionDialog, AnswersTheChoosersPrompt) {
    qvtest::EnsureApplication();
    foundation::ConsoleMode = false;
    dialogs::ui::WindowPrompts prompts;
    foundation::ScopedServices<foundation::SetPromptServices> scope{&prompts};
    dialogs::ui::InstallImportSessionPrompt();
    struct Case {
        const char* name;
        int pick;   // -1: cancel
    };
    for (const Case c : {Case{"second image", 1}, Case{"last image", 3}, Case{"cancelled", -1}}) {
        SCOPED_TRACE(c.name);
        QTimer::singleShot(50, [&] {
            auto* dlg = qobject_cast<CImportSessionDlg*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dlg);
            // The first row is chosen unless the user picks another.
            EXPECT_TRUE(dlg->List()->topLevelItem(0)->isSelected());
            if (c.pick < 0) {
                dlg->reject();
                return;
            }
            dlg->List()->clearSelection();
            dlg->List()->topLevelItem(c.pick)->setSelected(true);
            dlg->accept();
        });
        EXPECT_EQ(app::AskChooserQuestion(app::WimImageQuestion(4)), c.pick);
    }
    dialogs::ui::SetPromptKindHandler(foundation::prompt_kind::kChooseSession, {});
}

}  // namespace
