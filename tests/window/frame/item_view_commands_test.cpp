// The Action menu's View and Information commands on a real frame: the
// enable rules by selection and focused view; the Information dialog's texts
// for files, folders and the tree against what genisoimage was given (sizes
// from the files, dates set by touch); dates stored from the dialog; Split
// settings reaching its dialog; View with Default Viewer handing a stub
// viewer the extracted file, equal to what xorriso extracts.

#include "window/frame/item_view_commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <sstream>
#include <sys/stat.h>

#include "app/document_lifecycle.h"
#include "app/other_openers.h"
#include "app/startup_state.h"
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
#include "window/dialogs/information_dialog.h"
#include "window/dialogs/split_archive_dialog.h"
#include "window/frame/main_frame.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/pane_layout.h"

namespace app::ui {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

// Runs check on the next modal dialog of type T, then answers it.
template <typename T>
void OnNextDialog(std::function<void(T*)> check) {
    QTimer::singleShot(20, [check] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog) {
            OnNextDialog<T>(check);
            return;
        }
        check(dialog);
        if (dialog->isVisible()) dialog->reject();
    });
}

QString Field(dialogs::ui::CInformationDlg* dialog, int id) {
    auto* field = dialog->ControlAs<QLineEdit>(id);
    return field ? field->text() : QStringLiteral("<missing>");
}

class ItemViewCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("TZ", "UTC", 1);
        tzset();
        qvtest::UsePrivateProgramFolders(config.path(), runtime.path(), install.path());
        g_ExitAfterStartup = 0;
        InstallReaders();
        // Two text files of one type on different days, a folder of two files
        // and one subfolder.
        RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p src/sub/deeper && seq 1 3000 > src/a.txt" +
              " && seq 5 900 > src/b.txt && printf 12345 > src/sub/c.bin && printf 1234567 > src/sub/deeper/d.bin" +
              " && touch -d 2020-01-02T03:04:05Z src/a.txt && touch -d 2021-06-07T08:09:10Z src/b.txt" +
              " && genisoimage -quiet -J -R -o in.iso src");
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
        frame->resize(900, 600);
        frame->show();
        panes = frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_NE(panes, nullptr);
        CloseDocument();
        ASSERT_TRUE(OpenDocument(platform::Utf8ToUtf16(dir / "in.iso")));
        ASSERT_NE(image::g_CurrentDocument, nullptr);
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        CloseDocument();
        frame.reset();
        foundation::ResetLanguageStateForTests();
        unsetenv("QV_CONFIG_DIR");
        unsetenv("TZ");
        tzset();
    }
    image::ImageItem* Child(std::u16string_view name, image::ImageFolder* folder = nullptr) {
        return image::FindChildByName(folder ? folder : image::g_CurrentDocument->rootFolder, name);
    }
    // After a dialog the frame is made active again before the focus moves.
    void Activate() {
        frame->activateWindow();
        QApplication::setActiveWindow(frame.get());
        QCoreApplication::processEvents();
    }
    void SelectInList(const std::vector<image::ImageItem*>& items) {
        Activate();
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
        Activate();
        panes->TreeView()->setFocus();
        panes->TreeView()->setCurrentIndex(panes->TreeModel()->IndexOfFolder(folder));
    }

    qvtest::TempDir config, install, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
    FramePanes* panes = nullptr;
};

TEST_F(ItemViewCommandsTest, EnableRulesFollowTheSelection) {
    image::ImageItem* a = Child(u"a.txt");
    image::ImageItem* b = Child(u"b.txt");
    image::ImageItem* sub = Child(u"sub");
    ASSERT_TRUE(a && b && sub);
    struct Row {
        const char* name;
        std::vector<image::ImageItem*> selection;
        bool view, viewWith, information;
    };
    const Row rows[] = {
        {"nothing selected", {}, false, false, false},
        {"one file", {a}, true, true, true},
        {"one folder", {sub}, true, false, true},
        {"two files", {a, b}, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SelectInList(row.selection);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdViewItem), row.view);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdViewItemWith), row.viewWith);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdViewItemDefault), row.viewWith);
        EXPECT_EQ(frame->IsCommandEnabled(kCmdItemInformation), row.information);
        // No tracks here; the password commands of the group still answer.
        EXPECT_FALSE(frame->IsCommandEnabled(kCmdViewTrack));
        EXPECT_TRUE(frame->IsCommandEnabled(33278));
    }
    // The tree focused: Information on its folder, whatever the list holds.
    FocusTreeOn(image::g_CurrentDocument->rootFolder);
    EXPECT_TRUE(frame->IsCommandEnabled(kCmdItemInformation));
    EXPECT_TRUE(frame->IsCommandEnabled(kCmdSplitSettings));
    image::g_CurrentDocument->readOnly = true;
    EXPECT_FALSE(frame->IsCommandEnabled(kCmdSplitSettings));
    image::g_CurrentDocument->readOnly = false;
}

TEST_F(ItemViewCommandsTest, InformationShowsTheSelectionAsItWasMade) {
    image::ImageItem* a = Child(u"a.txt");
    image::ImageItem* b = Child(u"b.txt");
    image::ImageItem* sub = Child(u"sub");
    ASSERT_TRUE(a && b && sub);
    const qint64 aBytes = static_cast<qint64>(std::filesystem::file_size(dir / "src/a.txt"));
    const qint64 bBytes = static_cast<qint64>(std::filesystem::file_size(dir / "src/b.txt"));
    struct Row {
        const char* name;
        std::vector<image::ImageItem*> selection;
        QString shownName, type, include, sizeBytes, location;
        bool dateDiffers;
    };
    const Row rows[] = {
        {"two text files", {a, b}, "<Different Names>", "", "2 Files, 0 Folders",
         QString::number(aBytes + bBytes), "\\", true},
        {"one folder", {sub}, "sub", "", "2 Files, 1 Folders", "12", "\\", false},
        {"two folders' worth", {sub, a}, "<Different Names>", "<Different Types>", "3 Files, 2 Folders",
         QString::number(12 + aBytes), "\\", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SelectInList(row.selection);
        bool seen = false;
        OnNextDialog<dialogs::ui::CInformationDlg>([&](dialogs::ui::CInformationDlg* dialog) {
            seen = true;
            EXPECT_EQ(Field(dialog, 1019), row.shownName);
            if (!row.type.isEmpty()) EXPECT_EQ(Field(dialog, 1020), row.type);
            else EXPECT_NE(Field(dialog, 1020), "<Different Types>");
            EXPECT_EQ(Field(dialog, 1023), row.include);
            EXPECT_TRUE(Field(dialog, 1022).remove(QLatin1Char(',')).contains("(" + row.sizeBytes + " bytes)"))
                << Field(dialog, 1022).toStdString();
            EXPECT_EQ(Field(dialog, 1021), row.location);
            EXPECT_EQ(Field(dialog, 1024) == "<Different Date>", row.dateDiffers) << Field(dialog, 1024).toStdString();
        });
        ASSERT_TRUE(frame->ExecuteCommand(kCmdItemInformation));
        EXPECT_TRUE(seen);
    }
    // One file: its own name and the date touch gave it.
    SelectInList({a});
    OnNextDialog<dialogs::ui::CInformationDlg>([&](dialogs::ui::CInformationDlg* dialog) {
        EXPECT_EQ(Field(dialog, 1019), "a.txt");
        if (const char* shots = std::getenv("QV_SHOT_DIR"))
            dialog->grab().save(QString::fromUtf8(shots) + "/information.png");
        EXPECT_TRUE(Field(dialog, 1024).contains("2020")) << Field(dialog, 1024).toStdString();
    });
    ASSERT_TRUE(frame->ExecuteCommand(kCmdItemInformation));
    // The tree's root: "\" and everything below it.
    FocusTreeOn(image::g_CurrentDocument->rootFolder);
    ASSERT_EQ(frame->GetFocusedView(), 1);
    bool seen = false;
    OnNextDialog<dialogs::ui::CInformationDlg>([&](dialogs::ui::CInformationDlg* dialog) {
        seen = true;
        EXPECT_EQ(Field(dialog, 1019), "\\");
        EXPECT_EQ(Field(dialog, 1023), "4 Files, 2 Folders");
        EXPECT_TRUE(Field(dialog, 1022).remove(QLatin1Char(',')).contains(QString::number(aBytes + bBytes + 12)));
    });
    ASSERT_TRUE(frame->ExecuteCommand(kCmdItemInformation));
    EXPECT_TRUE(seen);
}

TEST_F(ItemViewCommandsTest, DatesStoredFromTheDialogMarkTheDocumentOnlyWhenWritable) {
    image::ImageItem* sub = Child(u"sub");
    ASSERT_NE(sub, nullptr);
    image::ImageItem* c = Child(u"c.bin", sub->ownFolder);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->time, 0u);
    // Read-only: the dialog only shows; nothing stored.
    image::g_CurrentDocument->readOnly = true;
    SelectInList({sub});
    OnNextDialog<dialogs::ui::CInformationDlg>([](dialogs::ui::CInformationDlg* dialog) {
        EXPECT_FALSE(dialog->ControlAs<QRadioButton>(1338)->isEnabled());
        dialog->accept();
    });
    ASSERT_TRUE(frame->ExecuteCommand(kCmdItemInformation));
    EXPECT_NE(c->time, 0u);
    EXPECT_EQ(image::g_CurrentDocument->modified, 0);
    // Writable: "the original file's date" with the children stores 0 below too.
    image::g_CurrentDocument->readOnly = false;
    SelectInList({sub});
    ASSERT_EQ(frame->GetFocusedView(), 2);
    OnNextDialog<dialogs::ui::CInformationDlg>([](dialogs::ui::CInformationDlg* dialog) {
        dialog->ControlAs<QRadioButton>(1338)->setChecked(true);
        dialog->ControlAs<QCheckBox>(1150)->setChecked(true);
        dialog->accept();
    });
    ASSERT_TRUE(frame->ExecuteCommand(kCmdItemInformation));
    EXPECT_EQ(sub->time, 0u);
    EXPECT_EQ(c->time, 0u);
    EXPECT_NE(image::g_CurrentDocument->modified, 0);
}

TEST_F(ItemViewCommandsTest, SplitSettingsOpensItsDialog) {
    bool seen = false;
    OnNextDialog<dialogs::ui::CSplitArchiveDlg>([&](dialogs::ui::CSplitArchiveDlg*) { seen = true; });
    ASSERT_TRUE(frame->ExecuteCommand(kCmdSplitSettings));
    EXPECT_TRUE(seen);
}

TEST_F(ItemViewCommandsTest, ViewWithDefaultViewerHandsTheExtractedFileOver) {
    // A stub viewer records the path it was given and copies the file.
    const std::string log = dir / "viewer.log";
    const std::string viewer = dir / "viewer.sh";
    {
        std::ofstream script(viewer);
        script << "#!/bin/sh\nprintf '%s\\n' \"$1\" > " << ShellQuote(log) << "\ncp \"$1\" "
               << ShellQuote(dir / "seen.txt") << "\n";
    }
    chmod(viewer.c_str(), 0700);
    foundation::WriteSettingString(u"DefaultViewer", platform::Utf8ToUtf16(viewer));
    SelectInList({Child(u"b.txt")});
    ASSERT_TRUE(frame->ExecuteCommand(kCmdViewItemDefault));
    for (int i = 0; i < 200 && !std::filesystem::exists(dir / "seen.txt"); ++i) {
        QCoreApplication::processEvents();
        usleep(20000);
    }
    RunOk("xorriso -osirrox on -indev " + ShellQuote(dir / "in.iso") + " -extract /b.txt " +
          ShellQuote(dir / "ref.txt") + " 2>/dev/null");
    RunOk("cmp " + ShellQuote(dir / "seen.txt") + " " + ShellQuote(dir / "ref.txt"));
    std::ifstream in(log);
    std::string path;
    std::getline(in, path);
    EXPECT_NE(path.find("b.txt"), std::string::npos) << path;
}

}  // namespace
}  // namespace app::ui
