#include "window/frame/main_toolbars.h"

#include <QImage>
#include <QCursor>
#include "window/models/bar_image_rules.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/document_lifecycle.h"
#include "window/frame/main_frame.h"
#include "window/frame/main_status_bar.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/pane_layout.h"
#include "foundation/messages_scripted.h"
#include "window/faces/menu_adapter.h"
#include "image/document/current_document.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

using namespace app;
using namespace app::ui;

namespace {

TEST(ToolBarCaptions, CentredWithBlanks) {
    struct Row {
        std::vector<std::u16string> in, out;
    };
    const Row rows[] = {{{u"New", u"Properties"}, {u"   New   ", u"Properties"}},
                        {{u"Open", u"Extract"}, {u" Open ", u"Extract"}},   // odd difference: one short
                        {{u"Add", u"Add"}, {u"Add", u"Add"}},
                        {{u"", u"Help"}, {u"", u"Help"}}};   // no caption stays none
    for (const Row& row : rows) EXPECT_EQ(PadCaptions(row.in), row.out);
}

class Bars : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
        frame->resize(1000, 700);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        frame->UpdateCommandStates();
    }
    void TearDown() override {
        CloseDocument();
        frame.reset();
        unsetenv("QV_CONFIG_DIR");
    }
    qvtest::TempDir config, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(Bars, EveryButtonOfTheTablesRunsItsCommandUnderTheMenuRules) {
    CMainToolBars* bars = frame->ToolBars();
    ASSERT_NE(bars, nullptr);
    for (BarType type : {BarType::Main, BarType::Navigation, BarType::Address, BarType::View}) {
        QToolBar* bar = bars->Bar(type);
        ASSERT_NE(bar, nullptr);
        std::vector<uint32_t> shown;
        for (QAction* action : bar->actions()) {
            if (action->isSeparator()) {
                shown.push_back(0);
                continue;
            }
            const uint32_t id = foundation::ui::CommandIdOf(action);
            if (id == 0) {   // the address box
                shown.push_back(bars->AddressBox()->property(foundation::ui::kCommandIdProperty).toUInt());
                continue;
            }
            shown.push_back(id);
            EXPECT_FALSE(action->icon().isNull()) << id;
            EXPECT_EQ(action->isEnabled(), frame->IsCommandEnabled(id)) << id;
        }
        std::vector<uint32_t> table;
        for (const BarButton& button : BarButtons(type)) table.push_back(button.commandId);
        EXPECT_EQ(shown, table) << static_cast<int>(type);
    }
    // The address box takes a typed path (confirmed with Enter).
    EXPECT_FALSE(bars->AddressBox()->isReadOnly());
    // Captions: the longest ("Properties") sets the width the others are centred in.
    for (QAction* action : bars->Bar(BarType::Main)->actions()) {
        if (foundation::ui::CommandIdOf(action) == 32836) {
            EXPECT_EQ(action->text(), QStringLiteral("   New   "));
        }
    }

    // The bar flags: the main bar, then the other three, hidden and shown again.
    ASSERT_TRUE(frame->ExecuteCommand(59392));
    EXPECT_FALSE(bars->Bar(BarType::Main)->isVisible());
    EXPECT_TRUE(bars->Bar(BarType::Navigation)->isVisible());
    ASSERT_TRUE(frame->ExecuteCommand(32848));
    EXPECT_FALSE(bars->Bar(BarType::View)->isVisible());
    ASSERT_TRUE(frame->ExecuteCommand(59392));
    ASSERT_TRUE(frame->ExecuteCommand(32848));
    EXPECT_TRUE(bars->Bar(BarType::Main)->isVisible());
    EXPECT_TRUE(bars->Bar(BarType::Address)->isVisible());

    // The tree button is pressed while the tree shows.
    QAction* tree = bars->Bar(BarType::View)->actions().front();
    ASSERT_TRUE(frame->ExecuteCommand(32813));
    frame->UpdateCommandStates();
    EXPECT_FALSE(tree->isChecked());
    ASSERT_TRUE(frame->ExecuteCommand(32813));
    frame->UpdateCommandStates();
    EXPECT_TRUE(tree->isChecked());
    // Save is enabled exactly while a document exists.
    CloseDocument();
    frame->UpdateCommandStates();
    for (QAction* action : bars->Bar(BarType::Main)->actions()) {
        if (foundation::ui::CommandIdOf(action) == 32849) {
            EXPECT_FALSE(action->isEnabled());
        }
    }
}

TEST_F(Bars, StatusBarCountsTheFolderAndTheSelection) {
    CMainStatusBar* status = frame->StatusBar();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(frame->statusBar(), status);

    // An empty new document: no objects, nothing selected.
    status->UpdateCounts();
    EXPECT_EQ(status->TotalsText(), QStringLiteral("Total 0 objects, 0 KB(0 bytes)"));
    EXPECT_EQ(status->SelectionText(), QStringLiteral("Selected 0 objects, 0 KB(0 bytes)"));

    // Many changes in a row: one recount, when the timer fires.
    const int before = status->Recounts();
    for (int i = 0; i < 1000; ++i) status->StartTimer();
    EXPECT_TRUE(status->TimerRunning());
    QTRY_VERIFY(!status->TimerRunning());
    EXPECT_EQ(status->Recounts(), before + 1);

    // An image from xorriso: two files and a folder, all selected.
    if (qvtest::Run("command -v xorriso").exitCode != 0) GTEST_SKIP() << "xorriso is not installed";
    const std::string src = dir / "src";
    mkdir(src.c_str(), 0700);
    mkdir((src + "/sub").c_str(), 0700);
    qvtest::WriteFileText(src + "/a.txt", "a");
    qvtest::WriteFileText(src + "/b.bin", std::string(5000, 'b'));
    ASSERT_EQ(qvtest::Run("xorriso -as mkisofs -quiet -R -o " + qvtest::ShellQuote(dir / "s.iso") + " " +
                          qvtest::ShellQuote(src))
                  .exitCode,
              0);
    ASSERT_TRUE(OpenFileCommand(platform::Utf8ToUtf16(dir / "s.iso")));
    auto* panes = frame->findChild<FramePanes*>();
    ASSERT_NE(panes, nullptr);
    ASSERT_TRUE(frame->ExecuteCommand(32853));   // Select All
    QTRY_VERIFY(!status->TimerRunning());
    EXPECT_TRUE(status->TotalsText().startsWith(QStringLiteral("Total 3 objects, "))) << status->TotalsText().toStdString();
    EXPECT_EQ(status->SelectionText(), QStringLiteral("Selected 3 objects, 4.9 KB(5,001 bytes)"));

    // No document: both panes empty.
    CloseDocument();
    status->UpdateCounts();
    EXPECT_TRUE(status->TotalsText().isEmpty());
    EXPECT_TRUE(status->SelectionText().isEmpty());
}

TEST_F(Bars, ButtonsCarryHotAndDisabledPicturesByTheRules) {
    for (BarType type : {BarType::Main, BarType::Navigation}) {
        const int side = type == BarType::Main ? 32 : 16;
        for (QAction* action : frame->ToolBars()->Bar(type)->actions()) {
            if (action->isSeparator() || action->icon().isNull()) continue;
            const uint32_t id = foundation::ui::CommandIdOf(action);
            QImage normal = action->icon().pixmap(side, side, QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32);
            const QImage hot = action->icon().pixmap(side, side, QIcon::Active).toImage().convertToFormat(QImage::Format_ARGB32);
            const QImage disabled =
                action->icon().pixmap(side, side, QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(normal.size(), QSize(side, side)) << id;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const uint32_t pixel = normal.pixel(x, y);
                    // A pixmap keeps its colours premultiplied: only opaque
                    // pixels come back exactly.
                    if (qAlpha(pixel) != 255) continue;
                    ASSERT_EQ(static_cast<uint32_t>(hot.pixel(x, y)), app::ui::HotPixel(pixel)) << id;
                    ASSERT_EQ(static_cast<uint32_t>(disabled.pixel(x, y)), app::ui::DisabledPixel(pixel)) << id;
                }
            }
        }
    }
}

TEST_F(Bars, DropDownsOpenUnderTheirButtons) {
    QToolBar* main = frame->ToolBars()->Bar(BarType::Main);
    for (QAction* action : main->actions()) {
        if (foundation::ui::CommandIdOf(action) != 32883) continue;
        QWidget* button = main->widgetForAction(action);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(DropPointFor(frame.get(), 32883), button->mapToGlobal(QPoint(0, button->height())));
    }
    // No button for the id: the menu opens at the mouse.
    EXPECT_EQ(DropPointFor(frame.get(), 1), QCursor::pos());
}

}  // namespace
