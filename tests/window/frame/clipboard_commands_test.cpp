// Copy and Paste with the clipboard on a real frame over an ISO made by
// genisoimage: items copied out are offered in the three formats file
// managers read and written out once (compared with `diff -r` against the
// source tree); this program's items pasted into a folder are copies; files
// from elsewhere pasted in are added, a missing one named in a message while
// the others still come; and the texts a paste accepts, by table.

#include "window/frame/clipboard_commands.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/document_lifecycle.h"
#include "app/extract_job.h"
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
#include "window/frame/main_frame.h"
#include "window/panes/item_drag.h"
#include "window/panes/item_list_model.h"
#include "window/panes/pane_layout.h"

namespace app::ui {
namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        qvtest::UsePrivateProgramFolders(config.path(), runtime.path(), install.path());
        g_ExitAfterStartup = 0;
        InstallReaders();
        // Rendered on the calling thread instead of under the progress dialog.
        ItemTransferData::SetRenderer([](image::ImageContext* ctx, image::ImageFolder* base,
                                         const std::vector<image::ImageItem*>& items, const ExtractRequest& request) {
            return ExtractItems(ctx, base, items, request, nullptr);
        });
        RunOk("cd " + ShellQuote(dir.path()) + " && mkdir -p src/sub && seq 1 4000 > src/a.txt && echo c > src/sub/c.txt" +
              " && echo outside > out.txt && genisoimage -quiet -J -R -o in.iso src");
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
        panes = frame->findChild<FramePanes*>(QString(), Qt::FindDirectChildrenOnly);
        CloseDocument();
        ASSERT_TRUE(OpenDocument(platform::Utf8ToUtf16(dir / "in.iso")));
    }
    void TearDown() override {
        QGuiApplication::clipboard()->clear();
        ItemTransferData::SetRenderer({});
        CloseDocument();
        frame.reset();
        foundation::ResetLanguageStateForTests();
        unsetenv("QV_CONFIG_DIR");
    }
    image::ImageItem* Child(std::u16string_view name, image::ImageFolder* folder = nullptr) {
        return image::FindChildByName(folder ? folder : image::g_CurrentDocument->rootFolder, name);
    }
    void SelectInList(const std::vector<image::ImageItem*>& items) {
        QItemSelectionModel* selection = panes->DetailsView()->selectionModel();
        selection->clear();
        for (image::ImageItem* item : items)
            selection->select(panes->ListModel()->index(panes->ListModel()->RowOf(item), 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    qvtest::TempDir config, install, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
    FramePanes* panes = nullptr;
};

TEST_F(ClipboardTest, CopiedItemsReachFileManagersInEveryFormatAndPasteBackAsCopies) {
    EXPECT_FALSE(frame->IsCommandEnabled(kCmdCopyItems));
    SelectInList({Child(u"a.txt"), Child(u"sub")});
    ASSERT_TRUE(frame->IsCommandEnabled(kCmdCopyItems));
    ASSERT_TRUE(frame->ExecuteCommand(kCmdCopyItems));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    for (const char* format : {"text/uri-list", "x-special/gnome-copied-files", "text/plain"})
        EXPECT_TRUE(data->formats().contains(QString::fromLatin1(format))) << format;

    const QList<QByteArray> uris = data->data(QStringLiteral("text/uri-list")).trimmed().split('\n');
    ASSERT_EQ(uris.size(), 2);
    const QString first = QUrl::fromEncoded(uris[0].trimmed()).toLocalFile();
    const std::string folder = QFileInfo(first).path().toStdString();
    RunOk("diff -r " + ShellQuote(folder) + " " + ShellQuote(dir / "src"));
    const QByteArray gnome = data->data(QStringLiteral("x-special/gnome-copied-files"));
    EXPECT_TRUE(gnome.startsWith("copy\nfile://")) << gnome.toStdString();
    EXPECT_EQ(data->text().split(u'\n').size(), 2);
    EXPECT_TRUE(data->text().startsWith(QString::fromStdString(folder)));

    // Pasted into the sub folder: copies, the originals kept.
    frame->FillFileListWithFolder(Child(u"sub")->ownFolder);
    ASSERT_TRUE(frame->IsCommandEnabled(kCmdPasteItems));
    ASSERT_TRUE(frame->ExecuteCommand(kCmdPasteItems));
    image::ImageFolder* sub = Child(u"sub")->ownFolder;
    EXPECT_NE(Child(u"a.txt", sub), nullptr);
    EXPECT_NE(Child(u"a.txt"), nullptr);
    EXPECT_NE(image::g_CurrentDocument->modified, 0);

    // Deleting copied items takes them off the clipboard first.
    frame->FillFileListWithFolder(image::g_CurrentDocument->rootFolder);
    SelectInList({Child(u"a.txt")});
    ASSERT_TRUE(frame->ExecuteCommand(kCmdCopyItems));
    panes->DetailsView()->setFocus();
    ui.QueueBoxAnswer(foundation::kIdYes);
    ASSERT_TRUE(frame->ExecuteCommand(32862));
    EXPECT_EQ(qobject_cast<const ItemTransferData*>(QGuiApplication::clipboard()->mimeData()), nullptr);
}

TEST_F(ClipboardTest, CutItemsMoveOnceWhenPasted) {
    SelectInList({Child(u"a.txt")});
    image::g_CurrentDocument->readOnly = true;
    EXPECT_FALSE(frame->IsCommandEnabled(kCmdCutItems));
    image::g_CurrentDocument->readOnly = false;
    ASSERT_TRUE(frame->IsCommandEnabled(kCmdCutItems));
    ASSERT_TRUE(frame->ExecuteCommand(kCmdCutItems));
    const QByteArray gnome = QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("x-special/gnome-copied-files"));
    EXPECT_TRUE(gnome.startsWith("cut\nfile://")) << gnome.toStdString();
    // Into the folder it came from: refused with the message, nothing moved.
    ASSERT_TRUE(frame->ExecuteCommand(kCmdPasteItems));
    ASSERT_FALSE(ui.Boxes().empty());
    EXPECT_EQ(ui.Boxes().back().request.text, u"The destination folder is the same as the source folder.");
    EXPECT_NE(Child(u"a.txt"), nullptr);
    // Into the sub folder: moved, and the clipboard lets go.
    frame->FillFileListWithFolder(Child(u"sub")->ownFolder);
    ASSERT_TRUE(frame->ExecuteCommand(kCmdPasteItems));
    EXPECT_NE(Child(u"a.txt", Child(u"sub")->ownFolder), nullptr);
    EXPECT_EQ(Child(u"a.txt"), nullptr);
    EXPECT_NE(image::g_CurrentDocument->modified, 0);
    EXPECT_EQ(qobject_cast<const ItemTransferData*>(QGuiApplication::clipboard()->mimeData()), nullptr);
    // A folder cut and pasted into itself stays where it is.
    frame->FillFileListWithFolder(image::g_CurrentDocument->rootFolder);
    SelectInList({Child(u"sub")});
    ASSERT_TRUE(frame->ExecuteCommand(kCmdCutItems));
    frame->FillFileListWithFolder(Child(u"sub")->ownFolder);
    frame->ExecuteCommand(kCmdPasteItems);
    EXPECT_NE(Child(u"sub"), nullptr);
}

TEST_F(ClipboardTest, FilesFromElsewhereAreAddedAndAMissingOneIsNamed) {
    auto* foreign = new QMimeData;
    foreign->setData(QStringLiteral("text/uri-list"),
                     QUrl::fromLocalFile(QString::fromStdString(dir / "out.txt")).toEncoded() + "\r\n" +
                         QUrl::fromLocalFile(QString::fromStdString(dir / "gone.txt")).toEncoded() + "\r\n");
    QGuiApplication::clipboard()->setMimeData(foreign);
    ASSERT_TRUE(frame->IsCommandEnabled(kCmdPasteItems));
    const size_t boxes = ui.Boxes().size();
    ASSERT_TRUE(frame->ExecuteCommand(kCmdPasteItems));
    EXPECT_NE(Child(u"out.txt"), nullptr);
    EXPECT_EQ(Child(u"gone.txt"), nullptr);
    ASSERT_EQ(ui.Boxes().size(), boxes + 1);
    EXPECT_NE(ui.Boxes().back().request.text.find(platform::Utf8ToUtf16(dir / "gone.txt")), std::u16string::npos);
    EXPECT_GE(panes->ListModel()->RowOf(Child(u"out.txt")), 0);

    // A read-only document takes nothing.
    image::g_CurrentDocument->readOnly = true;
    EXPECT_FALSE(frame->IsCommandEnabled(kCmdPasteItems));
    image::g_CurrentDocument->readOnly = false;
}

TEST_F(ClipboardTest, FilesDroppedByAFileManagerAreAdded) {
    QMimeData foreign;
    foreign.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "out.txt"))});
    QWidget* viewport = panes->DetailsView()->viewport();
    struct Row {
        const char* name;
        bool readOnly;
        bool accepted;
    };
    for (const Row& row : {Row{"read-only: refused", true, false}, Row{"writable: added", false, true}}) {
        SCOPED_TRACE(row.name);
        image::g_CurrentDocument->readOnly = row.readOnly;
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &foreign, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        EXPECT_EQ(enter.isAccepted() && enter.dropAction() == Qt::CopyAction, row.accepted);
        if (!row.accepted) continue;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &foreign, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    }
    image::g_CurrentDocument->readOnly = false;
    EXPECT_NE(Child(u"out.txt"), nullptr);
    EXPECT_GE(panes->ListModel()->RowOf(Child(u"out.txt")), 0);
    RunOk("test -f " + ShellQuote(dir / "out.txt"));   // a copy: the file stays
}

TEST(ClipboardTexts, OnlyLocalPathsAreTaken) {
    struct Row {
        const char* name;
        QByteArray uriList, gnome;
        QString plain;
        QStringList paths;
    };
    const Row rows[] = {
        {"uri list with a comment and CRLF", "# from a file manager\r\nfile:///tmp/a%20b.txt\r\nfile:///tmp/c\r\n", {}, {},
         {"/tmp/a b.txt", "/tmp/c"}},
        {"other schemes left out", "http://example.org/x\nfile:///tmp/ok\n", {}, {}, {"/tmp/ok"}},
        {"NUL inside left out", "file:///tmp/a%00b\n", {}, {}, {}},
        {"gnome list skips its action", {}, "copy\nfile:///tmp/x\nfile:///tmp/y", {}, {"/tmp/x", "/tmp/y"}},
        {"plain absolute paths", {}, {}, QStringLiteral("/tmp/p\nrelative\nfile:///tmp/q\n"), {"/tmp/p", "/tmp/q"}},
    };
    for (const Row& row : rows) EXPECT_EQ(LocalPathsOfTransfer(row.uriList, row.gnome, row.plain), row.paths) << row.name;
}

}  // namespace
}  // namespace app::ui
