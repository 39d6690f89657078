// The Action menu's editing commands on a real frame: the enable rules by
// document and selection; an ISO made by genisoimage edited (two new folders,
// refused and accepted renames, a delete from the list, the shown folder
// deleted from the tree, a new label) and saved, then read by isoinfo,
// checked by isovfy and its label read by xorriso; a zip made by zip edited
// and saved passes `7z t` and lists the edit.

#include "window/frame/edit_commands.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/document_edits.h"
#include "app/document_lifecycle.h"
#include "app/other_openers.h"
#include "app/rename_services.h"
#include "app/save_engine.h"
#include "app/startup_state.h"
#include "image/build/add_disk_files.h"
#include "foundation/language.h"
#include "foundation/messages_scripted.h"
#include "foundation/registry.h"
#include "foundation/settings.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/window/program_folders.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/extract_dialog.h"
#include "window/frame/main_frame.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/pane_layout.h"

namespace app::ui {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

// Answers the next Extract dialog with a destination, as a user types it.
void AnswerExtractDialog(const std::string& destination) {
    QTimer::singleShot(20, [destination] {
        auto* dialog = qobject_cast<dialogs::ui::CExtractDlg*>(QApplication::activeModalWidget());
        if (!dialog) {
            AnswerExtractDialog(destination);
            return;
        }
        dialog->ControlAs<QComboBox>(1017)->setEditText(QString::fromStdString(destination));
        dialog->accept();
    });
}

class EditCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        qvtest::UsePrivateProgramFolders(config.path(), runtime.path(), install.path());
        g_ExitAfterStartup = 0;
        InstallReaders();
        RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p src/sub && seq 1 3000 > src/a.txt && seq 5 900 > src/b.txt" +
              " && echo c > src/sub/c.txt && touch -d 2020-01-01T00:00:00Z src/* src/sub/*");
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
        frame->resize(900, 600);
        frame->show();
        panes = frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_NE(panes, nullptr);
    }
    void TearDown() override {
        CloseDocument();
        frame.reset();
        foundation::ResetLanguageStateForTests();
        unsetenv("QV_CONFIG_DIR");
    }

    void Open(const std::string& path) {
        CloseDocument();
        ASSERT_TRUE(OpenDocument(platform::Utf8ToUtf16(path)))
            << (ui.Boxes().empty() ? std::string() : platform::Utf16ToUtf8(ui.Boxes().back().request.text));
        ASSERT_NE(image::g_CurrentDocument, nullptr);
        QCoreApplication::processEvents();
    }
    image::ImageItem* Child(std::u16string_view name, image::ImageFolder* folder = nullptr) {
        return image::FindChildByName(folder ? folder : image::g_CurrentDocument->rootFolder, name);
    }
    // Selects these items of the shown folder in the list and gives it the focus.
    void SelectInList(const std::vector<image::ImageItem*>& items) {
        panes->DetailsView()->setFocus();
        QItemSelectionModel* selection = panes->DetailsView()->selectionModel();
        selection->clear();
        for (image::ImageItem* item : items) {
            const int row = panes->ListModel()->RowOf(item);
            ASSERT_GE(row, 0);
            selection->select(panes->ListModel()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    void FocusTreeOn(image::ImageFolder* folder) {
        panes->TreeView()->setFocus();
        panes->TreeView()->setCurrentIndex(panes->TreeModel()->IndexOfFolder(folder));
    }
    void CloseEditors() {
        // New Folder leaves the name being edited; take it as it is.
        if (QWidget* editor = QApplication::focusWidget(); editor && editor != panes->DetailsView() &&
                                                          editor != panes->TreeView())
            QTest::keyClick(editor, Qt::Key_Escape);
    }

    qvtest::TempDir config, install, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
    FramePanes* panes = nullptr;
};

TEST_F(EditCommandsTest, EnableRulesFollowTheDocumentAndTheSelection) {
    RunOk("cd " + ShellQuote(dir / "src") + " && zip -qr ../in.zip .");
    ASSERT_NO_FATAL_FAILURE(Open(dir / "in.zip"));
    image::ImageItem* a = Child(u"a.txt");
    image::ImageItem* b = Child(u"b.txt");
    ASSERT_TRUE(a && b);
    struct Row {
        const char* name;
        std::vector<image::ImageItem*> selection;
        bool readOnly;
        bool add, newFolder, label, del, rename, extract;
    };
    const Row rows[] = {
        {"nothing selected", {}, false, true, true, true, false, false, true},
        {"one selected", {a}, false, true, true, true, true, true, true},
        {"two selected", {a, b}, false, true, true, true, true, false, true},
        {"read-only, one selected", {a}, true, false, false, false, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        image::g_CurrentDocument->readOnly = row.readOnly;
        SelectInList(row.selection);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdAddFiles), row.add);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdNewFolder), row.newFolder);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdChangeLabel), row.label);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdDeleteItems), row.del);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdRenameItem), row.rename);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdExtractItems), row.extract);
    }
    image::g_CurrentDocument->readOnly = false;
    // An empty document has nothing to extract.
    CloseDocument();
    ASSERT_EQ(NewDefaultDocument(), 1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame->IsCommandEnabled(kCmdExtractItems));
    EXPECT_TRUE(frame->IsCommandEnabled(kCmdNewFolder));
}

TEST_F(EditCommandsTest, AnIsoEditedInTheWindowSavesAsThePeersRead) {
    RunOk("genisoimage -quiet -J -R -V OLDLABEL -o " + ShellQuote(dir / "in.iso") + " " + ShellQuote(dir / "src"));
    ASSERT_NO_FATAL_FAILURE(Open(dir / "in.iso"));
    image::ImageFolder* root = image::g_CurrentDocument->rootFolder;

    SelectInList({});
    ASSERT_TRUE(frame->ExecuteCommand(kCmdNewFolder));
    CloseEditors();
    ASSERT_TRUE(frame->ExecuteCommand(kCmdNewFolder));
    CloseEditors();
    ASSERT_NE(Child(u"New Folder"), nullptr);
    ASSERT_NE(Child(u"New Folder(2)"), nullptr);

    image::ImageItem* a = Child(u"a.txt");
    ASSERT_NE(a, nullptr);
    struct Rename {
        std::u16string name;
        int result;
        size_t boxes;   // messages shown for it
    };
    const Rename renames[] = {
        {u"", -1, 1},     {u".", -1, 1},     {u"..", -1, 1},    {u"a/b", -1, 1},
        {u"a\nb", -1, 1}, {u"A.TXT", -1, 0}, {u"B.txt", -1, 1}, {u"renamed.txt", 0, 0},
    };
    for (const Rename& row : renames) {
        const size_t before = ui.Boxes().size();
        EXPECT_EQ(RenameServices().RenameListItem(a, row.name), row.result) << platform::Utf16ToUtf8(row.name);
        EXPECT_EQ(ui.Boxes().size() - before, row.boxes) << platform::Utf16ToUtf8(row.name);
    }
    EXPECT_EQ(ui.Boxes().back().request.text.find(u"B.txt\r\n\r\nThe same name already exists."), 0u);
    EXPECT_EQ(a->name.view(), u"renamed.txt");

    // With QV_SHOT_DIR set, the Action menu with a selection is saved there to be looked at.
    SelectInList({Child(u"b.txt")});
    if (const char* shots = std::getenv("QV_SHOT_DIR")) {
        QMenu* action = frame->ActionsOf(kCmdExtractItems).front()->associatedObjects().isEmpty()
                            ? nullptr
                            : qobject_cast<QMenu*>(frame->ActionsOf(kCmdExtractItems).front()->associatedObjects().front());
        ASSERT_NE(action, nullptr);
        frame->UpdateCommandStates();
        action->popup(frame->mapToGlobal(QPoint(40, 30)));
        QCoreApplication::processEvents();
        action->grab().save(QString::fromUtf8(shots) + "/action-menu.png");
        action->hide();
        SelectInList({Child(u"b.txt")});
    }
    // The list's Delete, answered Yes.
    ui.QueueBoxAnswer(foundation::kIdYes);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdDeleteItems));
    EXPECT_EQ(Child(u"b.txt"), nullptr);
    EXPECT_EQ(panes->ListModel()->RowOf(Child(u"renamed.txt")) >= 0, true);

    // The shown folder deleted from the tree: the views move to its parent first.
    image::ImageFolder* sub = Child(u"sub")->ownFolder;
    frame->FillFileListWithFolder(sub);
    FocusTreeOn(sub);
    ASSERT_EQ(frame->GetFocusedView(), 1);
    ui.QueueBoxAnswer(foundation::kIdYes);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdDeleteItems));
    EXPECT_EQ(Child(u"sub"), nullptr);
    EXPECT_EQ(image::g_CurrentFolder, root);
    EXPECT_EQ(panes->ListModel()->Folder(), root);

    EXPECT_TRUE(RenameServices().SetVolumeLabel(u"NEWLABEL"));
    EXPECT_FALSE(RenameServices().SetVolumeLabel(u"NEWLABEL"));
    EXPECT_NE(image::g_CurrentDocument->modified, 0);

    const std::string out = dir / "out.iso";
    ASSERT_EQ(SaveDocument(platform::Utf8ToUtf16(out), -1), 0);
    const std::string listing = RunOk("isoinfo -J -f -i " + ShellQuote(out));
    for (const char* present : {"/New Folder\n", "/New Folder(2)\n", "/renamed.txt\n"})
        EXPECT_NE(listing.find(present), std::string::npos) << present << listing;
    for (const char* absent : {"/b.txt", "/sub", "/a.txt"})
        EXPECT_EQ(listing.find(absent), std::string::npos) << absent << listing;
    const std::string verify = RunOk("isovfy " + ShellQuote(out) + " 2>&1");
    EXPECT_NE(verify.find("No errors found"), std::string::npos) << verify;
    EXPECT_NE(RunOk("xorriso -indev " + ShellQuote(out) + " -pvd_info 2>&1").find("Volume Id    : NEWLABEL"),
              std::string::npos);
    RunOk("isoinfo -J -i " + ShellQuote(out) + " -x /renamed.txt > " + ShellQuote(dir / "r.txt") + " && cmp " +
          ShellQuote(dir / "r.txt") + " " + ShellQuote(dir / "src/a.txt"));
}

TEST_F(EditCommandsTest, AZipEditedInTheWindowPassesItsPeer) {
    RunOk("cd " + ShellQuote(dir / "src") + " && zip -qr ../in.zip .");
    ASSERT_NO_FATAL_FAILURE(Open(dir / "in.zip"));
    SelectInList({});
    ASSERT_TRUE(frame->ExecuteCommand(kCmdNewFolder));
    CloseEditors();
    ASSERT_EQ(RenameServices().RenameListItem(Child(u"a.txt"), u"first.txt"), 0);
    SelectInList({Child(u"b.txt")});
    ui.QueueBoxAnswer(foundation::kIdYes);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdDeleteItems));
    const std::string out = dir / "out.zip";
    ASSERT_EQ(SaveDocument(platform::Utf8ToUtf16(out), -1), 0);
    RunOk("7z t " + ShellQuote(out));
    const std::string listing = RunOk("7z l -slt " + ShellQuote(out));
    for (const char* present : {"Path = first.txt", "Path = New Folder", "Path = sub/c.txt"})
        EXPECT_NE(listing.find(present), std::string::npos) << present;
    EXPECT_EQ(listing.find("b.txt"), std::string::npos);
    RunOk("cd " + ShellQuote(dir.path()) + " && 7z e -so out.zip first.txt | cmp - src/a.txt");
}

TEST_F(EditCommandsTest, ExtractRunsTheDialogOnTheSelectionOrTheChosenFolder) {
    RunOk("genisoimage -quiet -J -R -o " + ShellQuote(dir / "in.iso") + " " + ShellQuote(dir / "src"));
    ASSERT_NO_FATAL_FAILURE(Open(dir / "in.iso"));
    struct Row {
        const char* name;
        bool tree;                          // the tree focused on "sub", else the list's selection
        std::vector<std::u16string> chosen;
        const char* expected;               // `find` listing of the destination
    };
    const Row rows[] = {
        {"a list selection", false, {u"a.txt"}, "a.txt\n"},
        {"the tree's folder", true, {}, "sub\nsub/c.txt\n"},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string destination = dir / ("x" + std::to_string(++n));
        if (row.tree) {
            panes->TreeView()->setFocus();
            panes->TreeView()->expand(panes->TreeModel()->RootIndex());
            panes->TreeModel()->rowCount(panes->TreeModel()->RootIndex());
            panes->TreeView()->setCurrentIndex(panes->TreeModel()->IndexOfFolder(Child(u"sub")->ownFolder));
            // The closed dialog hands the window back.
            QApplication::setActiveWindow(frame.get());
            QCoreApplication::processEvents();
            panes->TreeView()->setFocus();
            ASSERT_EQ(frame->GetFocusedView(), 1);
        } else {
            std::vector<image::ImageItem*> items;
            for (const std::u16string& name : row.chosen) items.push_back(Child(name));
            SelectInList(items);
        }
        ASSERT_TRUE(frame->IsCommandEnabled(kCmdExtractItems));
        AnswerExtractDialog(destination);
        ASSERT_TRUE(frame->ExecuteCommand(kCmdExtractItems));
        EXPECT_EQ(RunOk("cd " + ShellQuote(destination) + " && find . -mindepth 1 | sed 's|^./||' | sort"), row.expected);
    }
    RunOk("cmp " + ShellQuote(dir / "x1/a.txt") + " " + ShellQuote(dir / "src/a.txt"));
    RunOk("cmp " + ShellQuote(dir / "x2/sub/c.txt") + " " + ShellQuote(dir / "src/sub/c.txt"));
}

TEST_F(EditCommandsTest, DeletingAHundredThousandSelectedItemsStaysLinear) {
    CloseDocument();
    ASSERT_EQ(NewImageDocument({}, 0), 1);
    image::ImageContext* ctx = image::g_CurrentDocument;
    QCoreApplication::processEvents();
    // Filled behind the list's back, then shown once.
    panes->ListModel()->Clear();
    for (int n = 0; n < 100000; ++n)
        ASSERT_NE(image::AddPlaceholderItem(ctx, ctx->rootFolder, u"f" + platform::Utf8ToUtf16(std::to_string(n)), 1, 0),
                  nullptr);
    panes->ShowFolder(ctx->rootFolder);
    panes->DetailsView()->setFocus();
    ASSERT_TRUE(frame->ExecuteCommand(32853));   // Select All
    ASSERT_EQ(panes->SelectedItems().size(), 100000u);
    ui.QueueBoxAnswer(foundation::kIdYes);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdDeleteItems));
    EXPECT_EQ(Child(u"f0"), nullptr);
    EXPECT_EQ(Child(u"f99999"), nullptr);
    EXPECT_EQ(panes->ListModel()->rowCount(), 0);
}

}  // namespace
}  // namespace app::ui
