// Moving through an image in the window: the history behind Back and
// Forward, the address box, the keys, the state of the navigation buttons
// without any menu opened, folders deleted under the history and the list,
// the right-click menus per selection, the Action menu per document kind, and
// a file opened with the desktop's application (a recording stand-in for
// xdg-open on PATH).

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/document_lifecycle.h"
#include "foundation/messages_scripted.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/main_window_services.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/faces/menu_adapter.h"
#include "window/frame/main_toolbars.h"
#include "window/panes/context_menus.h"
#include "window/panes/folder_navigation.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/item_opening.h"
#include "window/panes/pane_layout.h"
#include "window/panes/type_icons.h"
#include "window/frame/command_routes.h"
#include <QSplitter>
#include <QSignalSpy>
#include <QDialog>
#include <QTimer>
#include <QThread>

using namespace app;
using namespace app::ui;

namespace {

class Navigation : public ::testing::Test {
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
        panes = frame->findChild<FramePanes*>();
        ASSERT_NE(panes, nullptr);
    }
    void TearDown() override {
        CloseDocument();
        frame.reset();
        unsetenv("QV_CONFIG_DIR");
        if (!oldPath.empty()) setenv("PATH", oldPath.c_str(), 1);
    }
    bool OpenFixture() {
        if (qvtest::Run("command -v xorriso").exitCode != 0) return false;
        const std::string src = dir / "src";
        for (const char* sub : {"", "/alpha", "/Beta", "/Beta/Inner", "/Beta/Inner/Deep", "/T&J"})
            mkdir((src + sub).c_str(), 0700);
        qvtest::WriteFileText(src + "/b.txt", "bb");
        qvtest::WriteFileText(src + "/Beta/Inner/note.txt", "a note\n");
        qvtest::WriteFileText(src + "/run.desktop", "[Desktop Entry]\n");
        qvtest::WriteFileText(src + "/Beta/tool.exe", "MZ tool\n");
        const qvtest::CommandResult made = qvtest::Run("xorriso -as mkisofs -quiet -J -R -V NAV -o " +
                                                       qvtest::ShellQuote(dir / "nav.iso") + " " + qvtest::ShellQuote(src));
        if (made.exitCode != 0) return false;
        return OpenFileCommand(platform::Utf8ToUtf16(dir / "nav.iso"));
    }
    void Show(const QString& path) {
        ASSERT_TRUE(panes->Navigation()->GoToPath(path)) << path.toStdString();
        QApplication::processEvents();
    }
    QString Shown() const { return panes->Navigation()->PathOfNode(panes->TreeView()->currentIndex()); }
    // The navigation bar's button for id, as the user sees it (no menu opened).
    QAction* Button(uint32_t id) const {
        for (QAction* action : frame->ToolBars()->Bar(BarType::Navigation)->actions())
            if (foundation::ui::CommandIdOf(action) == id) return action;
        return nullptr;
    }
    // Stand-ins for the desktop on PATH: every type has an application, and
    // xdg-open records what it was given with the file's contents.
    std::string InstallDesktopStandIns() {
        const std::string bin = dir / "bin";
        mkdir(bin.c_str(), 0700);
        const std::string record = dir / "opened";
        qvtest::WriteFileText(bin + "/xdg-mime",
                              "#!/bin/sh\ncase \"$2\" in filetype) echo text/plain;; *) echo x.desktop;; esac\n");
        qvtest::WriteFileText(bin + "/xdg-open", "#!/bin/sh\n{ printf '%s\\n' \"$1\"; cat \"$1\"; } > " +
                                                     qvtest::ShellQuote(record) + ".tmp && mv " +
                                                     qvtest::ShellQuote(record) + ".tmp " + qvtest::ShellQuote(record) + "\n");
        chmod((bin + "/xdg-mime").c_str(), 0700);
        chmod((bin + "/xdg-open").c_str(), 0700);
        oldPath = getenv("PATH") ? getenv("PATH") : "";
        setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
        return record;
    }
    static std::string WaitForRecord(const std::string& record) {
        std::string opened;
        for (int i = 0; i < 100 && opened.empty(); ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::ifstream in(record);
            std::stringstream text;
            text << in.rdbuf();
            opened = text.str();
        }
        return opened;
    }
    std::string oldPath;
    QMenu* menuBarAction() const { return frame->menuBar()->actions().at(2)->menu(); }
    int RowNamed(const QString& name) const {
        for (int row = 0; row < panes->ListModel()->rowCount(); ++row)
            if (panes->ListModel()->index(row, 0).data().toString() == name) return row;
        return -1;
    }
    qvtest::TempDir config, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
    FramePanes* panes = nullptr;
};

TEST_F(Navigation, HistoryButtonsAndAddressFollowEveryMove) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    struct Row {
        const char* step;   // "show PATH", or a command
        uint32_t command;
        QString shown;
        bool back, forward, up;
    };
    const Row rows[] = {
        {"show /Beta", 0, QStringLiteral("/Beta"), true, false, true},
        {"show /Beta/Inner", 0, QStringLiteral("/Beta/Inner"), true, false, true},
        {"show /alpha", 0, QStringLiteral("/alpha"), true, false, true},
        {"back", kCmdBack, QStringLiteral("/Beta/Inner"), true, true, true},
        {"back", kCmdBack, QStringLiteral("/Beta"), true, true, true},
        {"forward", kCmdForward, QStringLiteral("/Beta/Inner"), true, true, true},
        {"up", kCmdUp, QStringLiteral("/Beta"), true, false, true},
        {"up", kCmdUp, QStringLiteral("/"), true, false, false},
        {"entry 2 of the history", kCmdFirstHistory + 2, QStringLiteral("/Beta/Inner"), false, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step);
        if (row.command == 0) Show(QString::fromLatin1(row.step + 5));
        else ASSERT_TRUE(frame->ExecuteCommand(row.command));
        QApplication::processEvents();
        EXPECT_EQ(Shown(), row.shown);
        // The buttons are right at once: no menu had to open for them.
        EXPECT_EQ(Button(kCmdBack)->isEnabled(), row.back);
        EXPECT_EQ(Button(kCmdForward)->isEnabled(), row.forward);
        EXPECT_EQ(Button(kCmdUp)->isEnabled(), row.up);
        EXPECT_TRUE(frame->ToolBars()->AddressBox()->text().startsWith(QStringLiteral("nav.iso") + row.shown +
                                                                          QStringLiteral("      ----     ")));
    }
    // The totals: 4 files, 2 + 7 + 16 + 8 bytes, as find(1) counts the source.
    const qvtest::CommandResult found =
        qvtest::Run("find " + qvtest::ShellQuote(dir / "src") + " -type f -printf '%s\\n' | awk '{s+=$1; n++} END {print s, n}'");
    EXPECT_EQ(found.output, "33 4\n");
    EXPECT_TRUE(frame->ToolBars()->AddressBox()->text().endsWith(
        QStringLiteral("Unpacked size 0.1 KB (33 bytes), total 4 files")))
        << frame->ToolBars()->AddressBox()->text().toStdString();

    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR"))
        frame->grab().save(QString::fromUtf8(shots) + "/window_data.png");

    // The Back drop-down lists the older folders, names shown as they are.
    Show(QStringLiteral("/T&J"));
    QMenu menu;
    panes->Navigation()->FillHistoryMenu(&menu, true);
    QStringList texts;
    for (QAction* action : menu.actions()) texts << action->text();
    EXPECT_EQ(texts.front(), QStringLiteral("/Beta/Inner"));
    menu.actions().front()->trigger();
    EXPECT_EQ(Shown(), QStringLiteral("/Beta/Inner"));
    panes->Navigation()->FillHistoryMenu(&menu, false);
    ASSERT_FALSE(menu.actions().isEmpty());
    EXPECT_EQ(menu.actions().front()->text(), QStringLiteral("/T&&J"));

    // A path typed into the address box; a path that is not there changes nothing.
    QLineEdit* box = frame->ToolBars()->AddressBox();
    box->setText(QStringLiteral("/Beta/Inner/Deep"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(Shown(), QStringLiteral("/Beta/Inner/Deep"));
    box->setText(QStringLiteral("/nowhere"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(Shown(), QStringLiteral("/Beta/Inner/Deep"));
    ASSERT_FALSE(ui.Boxes().empty());
    EXPECT_NE(ui.Boxes().back().request.text.find(u"The folder does not exist."), std::u16string::npos);
    EXPECT_TRUE(box->text().startsWith(QStringLiteral("nav.iso/Beta/Inner/Deep")));

    // Another document starts with no history.
    ASSERT_TRUE(OpenFileCommand(platform::Utf8ToUtf16(dir / "nav.iso")));
    QApplication::processEvents();
    EXPECT_EQ(panes->Navigation()->History().Count(), 1);
    EXPECT_FALSE(Button(kCmdBack)->isEnabled());
}

TEST_F(Navigation, KeysMoveBetweenFolders) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    QTreeView* list = panes->DetailsView();
    list->setFocus();
    struct Row {
        const char* what;
        QString select;   // row to make current first, if any
        int key;
        Qt::KeyboardModifiers modifiers;
        QString shown;
    };
    const Row rows[] = {
        {"Enter opens a folder row", QStringLiteral("Beta"), Qt::Key_Return, Qt::NoModifier, QStringLiteral("/Beta")},
        {"Enter again, one level down", QStringLiteral("Inner"), Qt::Key_Enter, Qt::KeypadModifier,
         QStringLiteral("/Beta/Inner")},
        {"Backspace goes up", {}, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("/Beta")},
        {"Alt+Left goes back", {}, Qt::Key_Left, Qt::AltModifier, QStringLiteral("/Beta/Inner")},
        {"Alt+Right goes forward", {}, Qt::Key_Right, Qt::AltModifier, QStringLiteral("/Beta")},
        {"Alt+Up goes up", {}, Qt::Key_Up, Qt::AltModifier, QStringLiteral("/")},
        {"Alt+Up at the root stays", {}, Qt::Key_Up, Qt::AltModifier, QStringLiteral("/")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.select.isEmpty()) {
            const int at = RowNamed(row.select);
            ASSERT_GE(at, 0);
            list->setCurrentIndex(panes->ListModel()->index(at, 0));
        }
        QTest::keyClick(list, static_cast<Qt::Key>(row.key), row.modifiers);
        QApplication::processEvents();
        EXPECT_EQ(Shown(), row.shown);
    }
}

TEST_F(Navigation, DeletedFoldersLeaveNoStaleView) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    image::ImageContext* doc = image::g_CurrentDocument;
    Show(QStringLiteral("/Beta/Inner/Deep"));
    Show(QStringLiteral("/alpha"));
    // Deep leaves while another folder is shown: Back to it says so and
    // forgets it, and stays where it was.
    image::ImageFolder* inner = panes->TreeModel()->FolderOf(panes->TreeModel()->FindByPath(QStringLiteral("/Beta/Inner")));
    image::ImageItem* deep = image::FindChildByName(inner, u"Deep");
    ASSERT_NE(deep, nullptr);
    image::NotifyItemAddedOrRemoved(doc, inner, deep, false);
    image::DeleteFolder(doc, deep->ownFolder);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdBack));
    EXPECT_EQ(Shown(), QStringLiteral("/alpha"));
    EXPECT_EQ(panes->Navigation()->History().Find(u"/Beta/Inner/Deep"), -1);
    ASSERT_FALSE(ui.Boxes().empty());
    EXPECT_NE(ui.Boxes().back().request.text.find(u"The folder does not exist."), std::u16string::npos);

    // The shown folder's parent leaves: its own parent is shown first.
    Show(QStringLiteral("/Beta/Inner"));
    image::ImageFolder* beta = panes->TreeModel()->FolderOf(panes->TreeModel()->FindByPath(QStringLiteral("/Beta")));
    image::NotifyItemAddedOrRemoved(doc, doc->rootFolder, beta->ownItem, false);
    image::DeleteFolder(doc, beta);
    QApplication::processEvents();
    EXPECT_EQ(Shown(), QStringLiteral("/"));
    EXPECT_EQ(panes->ListModel()->Folder(), doc->rootFolder);
    EXPECT_EQ(image::g_CurrentFolder, doc->rootFolder);
    EXPECT_EQ(RowNamed(QStringLiteral("Beta")), -1);
    panes->DetailsView()->viewport()->repaint();
}

TEST_F(Navigation, RightClickMenusListTheTableCommands) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    struct Row {
        ContextKind kind;
        std::vector<uint32_t> ids;   // top level, 0 a separator, submenus left out
    };
    const Row rows[] = {
        {ContextKind::FileRow, {32909, 32910, 32790, 32861, 32917, 0, 32956, 33212, 33225, 0, 32862, 32868, 0, 32853, 32854}},
        {ContextKind::FolderRow, {32909, 32861, 32917, 0, 32956, 33212, 33225, 0, 32862, 32868, 0, 32853, 32854}},
        {ContextKind::ListSpace, {0, 32861, 0, 32956, 33212, 32957, 0, 32860, 32915, 0, 32853, 32854}},
        {ContextKind::TreeNode, {kCmdOpenNode, 0, 32956, 32957, 0, 32862, 32861, 32868, 0, 32917}},
        {ContextKind::TrackRows, {33223, 33218, 0, 33219, 33220, 0, 33224, 0, 33240, 0, 33221, 33222}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.kind));
        QMenu menu;
        BuildContextMenu(frame.get(), &menu, row.kind, 3, 0);
        std::vector<uint32_t> ids;
        for (QAction* action : menu.actions()) {
            if (action->menu()) continue;
            const uint32_t id = action->isSeparator() ? 0 : foundation::ui::CommandIdOf(action);
            ids.push_back(id);
            // Enabled exactly as the frame's command table says.
            if (id != 0 && id != kCmdOpenNode) {
                EXPECT_EQ(action->isEnabled(), frame->IsCommandEnabled(id)) << id;
            }
        }
        EXPECT_EQ(ids, row.ids);
        if (row.kind != ContextKind::ListSpace) {
            EXPECT_EQ(menu.defaultAction(), menu.actions().front());
        }
    }
    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR")) {
        for (ContextKind kind : {ContextKind::FileRow, ContextKind::ListSpace, ContextKind::TreeNode}) {
            QMenu shown;
            BuildContextMenu(frame.get(), &shown, kind, 3, 0);
            shown.popup(frame->mapToGlobal(QPoint(300, 200)));
            QApplication::processEvents();
            shown.grab().save(QString::fromUtf8(shots) + "/menu_" + QString::number(static_cast<int>(kind)) + ".png");
            shown.close();
        }
    }
    // On empty space: the mode and the sort column are checked in their submenus.
    QMenu space;
    BuildContextMenu(frame.get(), &space, ContextKind::ListSpace, 1, 2);
    std::vector<uint32_t> checked;
    for (QAction* top : space.actions())
        if (QMenu* sub = top->menu())
            for (QAction* action : sub->actions())
                if (action->isChecked()) checked.push_back(foundation::ui::CommandIdOf(action));
    EXPECT_EQ(checked, (std::vector<uint32_t>{32777, 32782}));
    // A checked entry runs its command like the menu bar's.
    for (QAction* top : space.actions())
        if (QMenu* sub = top->menu())
            for (QAction* action : sub->actions())
                if (foundation::ui::CommandIdOf(action) == 32778) action->trigger();
    EXPECT_EQ(panes->ViewMode(), 2);
}

TEST_F(Navigation, ActionMenuFollowsTheDocumentKind) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    auto visibleIds = [this] {
        std::vector<uint32_t> ids;
        QMenu* action = menuBarAction();
        for (QAction* item : action->actions())
            if (item->isVisible() && !item->isSeparator()) ids.push_back(foundation::ui::CommandIdOf(item));
        return ids;
    };
    const std::vector<uint32_t> data = visibleIds();
    EXPECT_NE(std::find(data.begin(), data.end(), 32860u), data.end());
    EXPECT_EQ(std::find(data.begin(), data.end(), 33210u), data.end());
    // An audio project: the music entries, no file editing; then data again.
    CloseDocument();
    ASSERT_GT(NewAudioCdDocument({}), 0);
    frame->ShowDocument(image::g_CurrentDocument);
    QApplication::processEvents();
    const std::vector<uint32_t> audio = visibleIds();
    EXPECT_NE(std::find(audio.begin(), audio.end(), 33210u), audio.end());
    EXPECT_EQ(std::find(audio.begin(), audio.end(), 32860u), audio.end());
    CloseDocument();
    ASSERT_TRUE(OpenFileCommand(platform::Utf8ToUtf16(dir / "nav.iso")));
    QApplication::processEvents();
    EXPECT_EQ(visibleIds(), data);
}

TEST(ItemOpening, WarningRulesAndTheWrittenFile) {
    using foundation::LaunchMode;
    const struct {
        std::u16string name;
        LaunchMode mode;
        int files, folders;
        bool asks;
    } rows[] = {
        {u"setup.exe", LaunchMode::Open, 1, 0, false},   // the only file: nothing else to extract
        {u"setup.EXE", LaunchMode::Open, 2, 0, true},
        {u"setup.exe", LaunchMode::Open, 1, 1, true},
        {u"run.desktop", LaunchMode::Open, 2, 0, true},
        {u"setup.exe", LaunchMode::OpenWith, 5, 5, false},
        {u"notes.txt", LaunchMode::Open, 5, 5, false},
        {u"exe", LaunchMode::Open, 5, 5, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AsksBeforeOpening(row.name, row.mode, row.files, row.folders), row.asks)
            << platform::Utf16ToUtf8(row.name);
    }

    qvtest::TempDir folder;
    EXPECT_FALSE(SingleFileIn(platform::Utf8ToUtf16(folder.path())));
    qvtest::WriteFileText(folder / "one", "1");
    EXPECT_EQ(SingleFileIn(platform::Utf8ToUtf16(folder.path())), platform::Utf8ToUtf16(folder / "one"));
    symlink("/etc/passwd", (folder / "link").c_str());
    EXPECT_FALSE(SingleFileIn(platform::Utf8ToUtf16(folder.path())));
}

TEST_F(Navigation, DoubleClickedFileGoesToTheDesktopApplication) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    const std::string record = InstallDesktopStandIns();
    Show(QStringLiteral("/Beta/Inner"));
    const int row = RowNamed(QStringLiteral("note.txt"));
    ASSERT_GE(row, 0);
    QTreeView* list = panes->DetailsView();
    const QModelIndex at = panes->ListModel()->index(row, 0);
    list->setCurrentIndex(at);
    const QPoint centre = list->visualRect(at).center();
    // A double click is a click and a second press, as the mouse gives it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    const std::string opened = WaitForRecord(record);
    for (const auto& box : ui.Boxes()) ADD_FAILURE() << platform::Utf16ToUtf8(box.request.text);
    ASSERT_FALSE(opened.empty()) << "xdg-open was not started";
    const std::string path = opened.substr(0, opened.find('\n'));
    EXPECT_EQ(opened.substr(opened.find('\n') + 1), "a note\n");
    // In a folder of its own inside the private work folder.
    EXPECT_NE(path.find("/open-"), std::string::npos) << path;
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "note.txt");
    // The file and its folder: nobody else may read them.
    struct stat info {};
    ASSERT_EQ(stat(path.substr(0, path.rfind('/')).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
}

TEST_F(Navigation, ViewCommandsSetModesSortingAndTheTree) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    auto checked = [this](uint32_t id) {
        const CommandHandler* handler = HandlerOfGroup(GroupOfCommand(id));
        return handler && handler->checked && handler->checked(id);
    };
    struct Row {
        uint32_t command;
        int mode, sortColumn;
        bool ascending;
    };
    const Row rows[] = {
        {32776, 0, 0, true},  {32779, 3, 0, true},  {32781, 3, 1, true}, {32781, 3, 1, false},
        {32783, 3, 3, true},  {32777, 1, 3, true},  {32780, 1, 0, true}, {32778, 2, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        ASSERT_TRUE(frame->ExecuteCommand(row.command));
        EXPECT_EQ(panes->ViewMode(), row.mode);
        EXPECT_EQ(panes->ListModel()->SortColumn(), row.sortColumn);
        EXPECT_EQ(panes->ListModel()->SortAscending(), row.ascending);
        for (uint32_t id = 32776; id <= 32779; ++id) EXPECT_EQ(checked(id), static_cast<int>(id - 32776) == row.mode);
        for (uint32_t id = 32780; id <= 32783; ++id) EXPECT_EQ(checked(id), static_cast<int>(id - 32780) == row.sortColumn);
    }
    // The view bar's mode drop-down can be used.
    EXPECT_TRUE(frame->IsCommandEnabled(32831));
    // The tree dragged shut is a hidden tree; the toggle shows it again.
    EXPECT_TRUE(checked(32813));
    QSplitter* browse = panes->BrowseSplitter();
    browse->setSizes({0, browse->width()});
    emit browse->splitterMoved(0, 1);
    QApplication::processEvents();
    EXPECT_FALSE(checked(32813));
    ASSERT_TRUE(frame->ExecuteCommand(32813));
    EXPECT_TRUE(checked(32813));
    EXPECT_GT(browse->sizes().front(), 0);
}

TEST_F(Navigation, EditsRedrawOnceAndDatesFollow) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    // Nested begin and end pairs: drawing comes back with the last end only.
    image::BeginViewUpdate();
    image::BeginViewUpdate();
    image::EndViewUpdate();
    EXPECT_FALSE(panes->TreeView()->updatesEnabled());
    image::EndViewUpdate();
    EXPECT_TRUE(panes->TreeView()->updatesEnabled());
    EXPECT_TRUE(panes->DetailsView()->updatesEnabled());
    image::EndViewUpdate();   // one end too many changes nothing
    EXPECT_TRUE(panes->DetailsView()->updatesEnabled());

    // A date set in place shows at once in its row.
    const int row = RowNamed(QStringLiteral("b.txt"));
    ASSERT_GE(row, 0);
    image::ImageItem* item = panes->ListModel()->ItemAt(row);
    const QString before = panes->ListModel()->index(row, 3).data().toString();
    item->time = 915278400;   // 1999-01-02 12:00 UTC
    image::RefreshListItemDate(image::g_CurrentDocument, image::g_CurrentFolder, item);
    const QString after = panes->ListModel()->index(RowNamed(QStringLiteral("b.txt")), 3).data().toString();
    EXPECT_NE(after, before);
    EXPECT_TRUE(after.startsWith(QStringLiteral("1999-01-02"))) << after.toStdString();
}

TEST_F(Navigation, AddedItemsShowOncePerEditAndFromWorkers) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    image::ImageContext* doc = image::g_CurrentDocument;
    image::ImageFolder* root = doc->rootFolder;
    const int before = panes->ListModel()->rowCount();
    auto add = [&](const char16_t* name) {
        image::ImageItem* item = image::NewItem();
        item->name = name;
        item->size = 3;
        image::LinkItemAtHead(root, item);
        image::NotifyItemAddedOrRemoved(doc, root, item, true);
    };
    QSignalSpy resets(panes->ListModel(), &QAbstractItemModel::modelReset);
    image::BeginViewUpdate();
    for (const char16_t* name : {u"n1.txt", u"n2.txt", u"n3.txt"}) add(name);
    EXPECT_EQ(panes->ListModel()->rowCount(), before);   // nothing made while the edit runs
    image::EndViewUpdate();
    EXPECT_EQ(panes->ListModel()->rowCount(), before + 3);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_GE(RowNamed(QStringLiteral("n2.txt")), 0);

    // A worker's add reaches the views on their own thread.
    QThread* worker = QThread::create([&] { add(u"w.txt"); });
    worker->start();
    while (!worker->isFinished()) QApplication::processEvents(QEventLoop::AllEvents, 10);
    worker->wait();
    delete worker;
    EXPECT_GE(RowNamed(QStringLiteral("w.txt")), 0);
}

TEST_F(Navigation, RightClickOnATreeNodeActsOnThatNode) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    QTreeView* tree = panes->TreeView();
    const QModelIndex beta = panes->TreeModel()->FindByPath(QStringLiteral("/Beta"));
    ASSERT_TRUE(beta.isValid());
    EXPECT_FALSE(tree->isExpanded(beta));
    QStringList shown;
    // The menu is modal: its "Open" is chosen once it is up.
    QTimer::singleShot(200, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions()) {
            shown << action->text();
            if (foundation::ui::CommandIdOf(action) == kCmdOpenNode) action->trigger();
        }
        menu->close();
    });
    panes->ShowContextMenu(tree, tree->viewport()->mapToGlobal(tree->visualRect(beta).center()));
    EXPECT_EQ(shown.value(0), QStringLiteral("&Open"));
    EXPECT_EQ(Shown(), QStringLiteral("/Beta"));
    EXPECT_TRUE(tree->isExpanded(beta));
}

TEST_F(Navigation, AProgramIsOpenedAfterTheWarningWithEverythingBesideIt) {
    if (!OpenFixture()) GTEST_SKIP() << "xorriso is not installed";
    const std::string record = InstallDesktopStandIns();
    Show(QStringLiteral("/Beta"));
    const int row = RowNamed(QStringLiteral("tool.exe"));
    ASSERT_GE(row, 0);
    panes->DetailsView()->setCurrentIndex(panes->ListModel()->index(row, 0));
    QString asked;
    // The warning's own choice (extract everything first) is taken.
    QTimer::singleShot(200, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            asked = dialog->windowTitle();
            dialog->accept();
        }
    });
    panes->OpenSelection();
    const std::string opened = WaitForRecord(record);
    ASSERT_FALSE(opened.empty()) << "nothing was opened";
    EXPECT_FALSE(asked.isEmpty());
    const std::string path = opened.substr(0, opened.find('\n'));
    EXPECT_EQ(opened.substr(opened.find('\n') + 1), "MZ tool\n");
    // The whole document went out: the program's folder holds its neighbours.
    ASSERT_GE(path.size(), std::string("/Beta/tool.exe").size());
    EXPECT_EQ(path.substr(path.size() - 14), "/Beta/tool.exe");
    const std::string top = path.substr(0, path.size() - 14);
    EXPECT_EQ(qvtest::Run("test -f " + qvtest::ShellQuote(top + "/Beta/Inner/note.txt")).exitCode, 0) << top;
    EXPECT_EQ(qvtest::Run("test -f " + qvtest::ShellQuote(top + "/b.txt")).exitCode, 0) << top;
}

TEST(TypeIcons, EveryNameGetsAnIcon) {
    qvtest::EnsureApplication();
    for (const char* name : {"a.txt", "song.mp3", "film.mkv", "disc.iso", "pack.zip", "noextension", "\x01odd\n.",
                             ".hidden", ""})
        EXPECT_FALSE(TypeIconForName(QString::fromUtf8(name)).isNull()) << name;
}

}  // namespace
