// The Virtual Drive menu: its items for each state of the drives (a table),
// and the live menu of a frame whose commands go to a helper served in this
// process (a private runtime folder): the number of drives, the options and
// unmount all change what the helper and the menu show. The live menu is
// also drawn into a picture (QV_DRIVE_MENU_SHOT names the file) to be looked at.

#include "window/frame/drive_menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>

#include "app/document_lifecycle.h"
#include "window/frame/main_frame.h"
#include "foundation/language.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/qt_text.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "vdrive/channel_layout.h"
#include "vdrive/drive_channel.h"
#include "vdrive/drive_options.h"
#include "vdrive/drive_server.h"
#include "vdrive/drive_table.h"

namespace {

using app::ui::DriveMenuFacts;
using foundation::MenuTemplateNode;

// "text=id" per item, "-" for a separator, "text{...}" for a popup.
std::string Describe(const MenuTemplateNode& node) {
    std::string out;
    for (const MenuTemplateNode& child : node.children) {
        if (!out.empty()) out += " ";
        const std::string text = platform::Utf16ToUtf8(child.text);
        if (child.popup) out += text + "{" + Describe(child) + "}";
        else if (child.commandId == 0) out += "-";
        else out += text + "=" + std::to_string(child.commandId);
    }
    return out;
}

const MenuTemplateNode* FindPopup(const MenuTemplateNode& node, std::u16string_view text) {
    for (const MenuTemplateNode& child : node.children)
        if (child.popup && child.text == text) return &child;
    return nullptr;
}

TEST(DriveMenuTemplate, ItemsForEachStateOfTheDrives) {
    const std::string options = "&Options{Auto&start=32927 Auto&mount=32928 - &Configuration...=33276}";
    struct Row {
        const char* name;
        DriveMenuFacts facts;
        std::string head;   // the items before the first separator
    };
    const Row rows[] = {
        {"not available", {false, {{u'D', u""}}, 0}, "Install Quendravine Virtual Drive(Freeware)...=33268"},
        {"no drive", {true, {}, 3}, "<No Drive>=32938"},
        {"one drive", {true, {{u'F', u""}}, 1}, "Mount Archive to Drive [F:] =33067 Unmount Drive [F:]=33099"},
        {"two drives, one mounted", {true, {{u'E', u"/x/a.iso"}, {u'G', u""}}, 2},
         "Drive [E:] /x/a.iso{&Mount Archive...=33067 &Unmount Archive=33099} "
         "Drive [G:] <No media>{&Mount Archive...=33068 &Unmount Archive=33100}"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const MenuTemplateNode menu = app::ui::DriveMenuTemplate(row.facts);
        const std::string all = Describe(menu);
        EXPECT_EQ(all.substr(0, all.find(" - ")), row.head);
        if (!row.facts.available) {
            EXPECT_EQ(all, row.head);
            continue;
        }
        EXPECT_NE(all.find("- &Unmount All Drives=32937 - " + options), std::string::npos) << all;
        const MenuTemplateNode* counts = FindPopup(menu, u"&Set Number of Drives");
        ASSERT_TRUE(counts);
        // Up to eight drives the counts 9 to 23 wait under "More".
        EXPECT_EQ(Describe(*counts).substr(0, 40), "Disable=33034 1 Drives=33035 2 Drives=33");
        const MenuTemplateNode* more = FindPopup(*counts, u"More");
        ASSERT_TRUE(more);
        EXPECT_EQ(more->children.size(), 15u);
        EXPECT_EQ(more->children.back().commandId, 33057u);
        for (uint32_t id = 33034; id <= 33057; ++id)
            EXPECT_EQ(app::ui::DriveMenuChecked(row.facts, id), id - 33034 == row.facts.drives.size()) << id;
        EXPECT_EQ(app::ui::DriveMenuChecked(row.facts, 32927), (row.facts.options & 1) != 0);
        EXPECT_EQ(app::ui::DriveMenuChecked(row.facts, 32928), (row.facts.options & 2) != 0);
    }
    // Nine drives or more: every count stands in the popup itself.
    DriveMenuFacts many{true, std::vector<DriveMenuFacts::Drive>(12, {u'H', u""}), 0};
    const MenuTemplateNode manyMenu = app::ui::DriveMenuTemplate(many);
    const MenuTemplateNode* counts = FindPopup(manyMenu, u"&Set Number of Drives");
    ASSERT_TRUE(counts);
    EXPECT_FALSE(FindPopup(*counts, u"More"));
    EXPECT_EQ(counts->children.size(), 24u);
}

class LiveDriveMenu : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        // The desktop's autostart folder lies beside the configuration folder.
        setenv("QV_CONFIG_DIR", (config_ / "quendravine").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        vdrive::SetChannelNameSuffixForTests(platform::Utf8ToUtf16("-menu-" + std::to_string(::getpid())));
        vdrive::SetChannelWaitSliceForTests(200);
    }
    void TearDown() override {
        vdrive::SetChannelWaitSliceForTests(10000);
        vdrive::SetChannelNameSuffixForTests(u"");
        unsetenv("QV_CONFIG_DIR");
    }
    qvtest::TempDir config_, runtime_;
};

QAction* ActionOf(QMenu* menu, uint32_t id) {
    for (QAction* action : menu->findChildren<QAction*>())
        if (foundation::ui::CommandIdOf(action) == id) return action;
    return nullptr;
}

TEST_F(LiveDriveMenu, CommandsReachTheHelperAndTheMenuFollows) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "/dev/fuse cannot be opened here";
    vdrive::DriveServer server;
    ASSERT_TRUE(server.Start());
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.Serve(stop); });
    {
        app::ui::CMainFrame frame(0, nullptr);
        ASSERT_TRUE(frame.Create());
        app::ui::InstallVirtualDriveMenu(frame);
        QMenu* menu = app::ui::VirtualDriveMenu(frame);
        ASSERT_TRUE(menu);
        EXPECT_EQ(menu->title(), QStringLiteral("Virtual Drive"));
        // It sits in the Tools menu where the placeholder was.
        QMenu* tools = frame.menuBar()->actions()[3]->menu();
        ASSERT_TRUE(tools);
        EXPECT_EQ(tools->actions().back()->menu(), menu);

        struct Step {
            const char* name;
            uint32_t command;
            size_t drives;
            uint32_t options;
        };
        const Step steps[] = {
            {"two drives", 33036, 2, 1},
            {"automount on", 32928, 2, 3},
            {"unmount all", 32937, 2, 3},
            {"autostart off", 32927, 2, 2},
            {"three drives", 33037, 3, 2},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.name);
            EXPECT_TRUE(frame.ExecuteCommand(step.command));
            EXPECT_EQ(vdrive::ReadDriveTable().size(), step.drives);
            EXPECT_EQ(vdrive::GetVirtualDriveOptions() & 3, step.options);
            emit menu->aboutToShow();
            QAction* count = ActionOf(menu, 33034 + uint32_t(step.drives));
            ASSERT_TRUE(count);
            EXPECT_TRUE(count->isChecked());
            EXPECT_EQ(ActionOf(menu, 32928)->isChecked(), (step.options & 2) != 0);
            // Nothing is mounted: the drives can take an image, none can give one back.
            EXPECT_TRUE(ActionOf(menu, 33067)->isEnabled());
            EXPECT_FALSE(ActionOf(menu, 33099)->isEnabled());
            EXPECT_TRUE(ActionOf(menu, 33276)->isEnabled());
        }
        EXPECT_EQ(vdrive::ReadDriveTable()[2].letter, u'F');
        // A language switch retranslates the menu bar: the popup stays in place.
        frame.RefreshMenus();
        EXPECT_EQ(tools->actions().back()->menu(), menu);
        emit menu->aboutToShow();
        EXPECT_EQ(menu->title(), QStringLiteral("Virtual Drive"));

        if (const char* shot = std::getenv("QV_DRIVE_MENU_SHOT")) {
            frame.resize(700, 420);
            frame.show();
            tools->popup(frame.mapToGlobal(QPoint(120, 20)));
            QTest::qWait(200);
            menu->popup(tools->mapToGlobal(QPoint(tools->width(), 0)));
            QTest::qWait(300);
            QMenu* counts = nullptr;
            for (QMenu* sub : menu->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
                if (sub->title() == QStringLiteral("&Set Number of Drives")) counts = sub;
            ASSERT_TRUE(counts);
            counts->popup(menu->mapToGlobal(QPoint(menu->width(), 0)));
            QTest::qWait(300);
            const QPixmap pictures[] = {tools->grab(), menu->grab(), counts->grab()};
            int width = 0, height = 0;
            for (const QPixmap& p : pictures) {
                width += p.width() + 4;
                height = std::max(height, p.height());
            }
            QPixmap whole(width, height);
            whole.fill(Qt::white);
            {
                QPainter painter(&whole);
                int x = 0;
                for (const QPixmap& p : pictures) {
                    painter.drawPixmap(x, 0, p);
                    x += p.width() + 4;
                }
            }
            counts->hide();
            whole.save(QString::fromUtf8(shot));
            menu->hide();
            tools->hide();
        }
        EXPECT_TRUE(frame.ExecuteCommand(33034));
        EXPECT_TRUE(vdrive::ReadDriveTable().empty());
        app::CloseDocument();
    }
    stop = true;
    serving.join();
    server.Shutdown();
}

}  // namespace
