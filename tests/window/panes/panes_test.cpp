#include "window/panes/pane_layout.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QUrl>
#include <QApplication>
#include <QListView>
#include <QSplitter>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/document_lifecycle.h"
#include "window/panes/comment_view.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "app/rename_services.h"
#include "window/panes/list_cells.h"
#include "window/panes/item_drag.h"
#include "window/panes/track_list_model.h"
#include "foundation/messages_scripted.h"
#include "window/faces/qt_text.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sheets/track_list.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

using namespace app;
using namespace app::ui;

namespace {

TEST(ListCells, TextsAtTheLimits) {
    struct SizeRow {
        int64_t size;
        std::u16string text;
    };
    const SizeRow sizes[] = {{-1, u""},
                             {0, u"0 KB"},
                             {1, u"1 KB"},
                             {1024, u"1 KB"},
                             {1025, u"2 KB"},
                             {INT64_MAX, u"9007199254740992 KB"},
                             {INT64_MIN, u"9007199254740992 KB"}};
    for (const SizeRow& row : sizes) EXPECT_EQ(SizeCellText(row.size), row.text) << row.size;
    struct TrackRow {
        uint32_t frames;
        std::u16string audio, video, size;
    };
    const TrackRow tracks[] = {{0, u"00:00.00", u"00:00:00", u"0 KB"},
                               {4500, u"01:00.00", u"01:00:00", u"10335 KB"},
                               {4574, u"01:00.74", u"01:00:74", u"10505 KB"},
                               {UINT32_MAX, u"954437:10.45", u"954437:10:45", u"9865003005 KB"}};
    for (const TrackRow& row : tracks) {
        EXPECT_EQ(AudioLengthText(row.frames), row.audio);
        EXPECT_EQ(VideoLengthText(row.frames), row.video);
        EXPECT_EQ(TrackSizeText(row.frames), row.size);
    }
    EXPECT_EQ(CommentDisplayText(std::string(70000, 'c')).size(), kCommentLimitUnits);
    EXPECT_EQ(CommentDisplayText(std::string("ab\0cd", 5)), std::u16string(u"ab\0cd", 5));
}

// An xorriso image with mixed-case, non-ASCII and many names, opened as the
// current document, under a frame with its panes.
class Panes : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
        frame->resize(1000, 800);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        panes = dynamic_cast<FramePanes*>(frame->findChild<FramePanes*>());
        ASSERT_NE(panes, nullptr);
    }
    void TearDown() override {
        CloseDocument();
        frame.reset();
        unsetenv("QV_CONFIG_DIR");
    }
    bool OpenFixture() {
        const std::string src = dir / "src";
        for (const char* sub : {"", "/Zeta", "/alpha", "/Beta", "/\xc3\x84pfel", "/Many", "/Beta/Inner"})
            mkdir((src + sub).c_str(), 0700);
        qvtest::WriteFileText(src + "/b.txt", "bb");
        qvtest::WriteFileText(src + "/A.TXT", "a");
        qvtest::WriteFileText(src + "/c.bin", std::string(5000, 'c'));
        for (int i = 0; i < 300; ++i) qvtest::WriteFileText(src + "/Many/f" + std::to_string(i) + ".dat", "x");
        const qvtest::CommandResult made = qvtest::Run("xorriso -as mkisofs -quiet -J -R -V PANES -o " +
                                                       qvtest::ShellQuote(dir / "t.iso") + " " + qvtest::ShellQuote(src));
        if (made.exitCode != 0) return false;
        return OpenFileCommand(platform::Utf8ToUtf16(dir / "t.iso"));
    }
    QStringList ListNames() const {
        QStringList names;
        for (int row = 0; row < panes->ListModel()->rowCount(); ++row)
            names << panes->ListModel()->index(row, 0).data().toString();
        return names;
    }
    qvtest::TempDir config, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
    FramePanes* panes = nullptr;
};

TEST_F(Panes, ModelsOverARealImage) {
    if (qvtest::Run("command -v xorriso").exitCode != 0) GTEST_SKIP() << "xorriso is not installed";
    ASSERT_TRUE(OpenFixture());
    QAbstractItemModelTester treeTester(panes->TreeModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester listTester(panes->ListModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    // The root: the volume label; its children sorted without regard to case.
    FolderTreeModel* tree = panes->TreeModel();
    const QModelIndex root = tree->RootIndex();
    EXPECT_EQ(root.data().toString(), QStringLiteral("PANES"));
    EXPECT_FALSE(tree->parent(root).isValid());
    QStringList children;
    for (int row = 0; row < tree->rowCount(root); ++row) children << tree->index(row, 0, root).data().toString();
    EXPECT_EQ(children, (QStringList{QStringLiteral("alpha"), QStringLiteral("Beta"), QStringLiteral("Many"),
                                     QStringLiteral("Zeta"), QStringLiteral("\u00c4pfel")}));

    // The list: folders first, then files, by name without regard to case.
    EXPECT_EQ(ListNames(), (QStringList{QStringLiteral("alpha"), QStringLiteral("Beta"), QStringLiteral("Many"),
                                        QStringLiteral("Zeta"), QStringLiteral("\u00c4pfel"), QStringLiteral("A.TXT"),
                                        QStringLiteral("b.txt"), QStringLiteral("c.bin")}));
    EXPECT_EQ(panes->ListModel()->index(7, 1).data().toString(), QStringLiteral("5 KB"));
    EXPECT_EQ(panes->ListModel()->index(0, 1).data().toString(), QString());

    // By size, descending: files first (largest first), then folders; equal sizes by name.
    ASSERT_TRUE(frame->ExecuteCommand(32781));
    ASSERT_TRUE(frame->ExecuteCommand(32781));
    EXPECT_EQ(ListNames().mid(0, 4), (QStringList{QStringLiteral("c.bin"), QStringLiteral("b.txt"),
                                                  QStringLiteral("A.TXT"), QStringLiteral("\u00c4pfel")}));
    ASSERT_TRUE(frame->ExecuteCommand(32780));   // back to names, ascending

    // A folder by path, walked component by component; the 300-entry folder.
    const QModelIndex many = tree->FindByPath(QStringLiteral("\\Many"));
    ASSERT_TRUE(many.isValid());
    EXPECT_FALSE(tree->FindByPath(QStringLiteral("/Many/none")).isValid());
    EXPECT_TRUE(tree->FindByPath(QStringLiteral("Beta/Inner")).isValid());
    panes->TreeView()->setCurrentIndex(many);
    EXPECT_EQ(panes->ListModel()->rowCount(), 300);
    EXPECT_EQ(ListNames().front(), QStringLiteral("f0.dat"));
    EXPECT_EQ(image::g_CurrentFolder, tree->FolderOf(many));

    // Up twice: the root, then nothing more (the root's parent is itself).
    ASSERT_TRUE(frame->ExecuteCommand(32774));
    EXPECT_EQ(panes->TreeView()->currentIndex(), root);
    EXPECT_FALSE(frame->IsCommandEnabled(32774));
    panes->GoUp();
    EXPECT_EQ(panes->TreeView()->currentIndex(), root);

    // Every view mode shares the one model and selection.
    for (uint32_t mode = 32776; mode <= 32779; ++mode) {
        ASSERT_TRUE(frame->ExecuteCommand(mode));
        EXPECT_EQ(panes->ViewMode(), static_cast<int>(mode - 32776));
    }
    EXPECT_EQ(panes->IconView()->selectionModel(), panes->DetailsView()->selectionModel());

    // Closing lets go of every node before the document goes.
    image::ImageFolder* rootFolder = image::g_CurrentDocument->rootFolder;
    CloseDocument();
    EXPECT_EQ(tree->rowCount(), 0);
    EXPECT_EQ(panes->ListModel()->rowCount(), 0);
    (void)rootFolder;
}

TEST_F(Panes, LayoutPerDocumentKind) {
    struct Row {
        const char* name;
        int (*make)();
        void (*adjust)(image::ImageContext&);
        bool tree, comment, player;
    };
    const Row rows[] = {
        {"archive", [] { return NewDefaultDocument(); }, [](image::ImageContext&) {}, true, false, false},
        {"comment", [] { return NewDefaultDocument(); }, [](image::ImageContext& d) { d.archiveComment = "note"; },
         true, true, false},
        {"video cd", [] { return NewImageDocument({}, 0); }, [](image::ImageContext& d) { d.videoCdKind = 1; }, true,
         false, true},
        {"audio cd", [] { return NewAudioCdDocument({}); }, [](image::ImageContext&) {}, false, false, true},
    };
    for (const Row& row : rows) {
        CloseDocument();
        ASSERT_EQ(row.make(), 1);
        row.adjust(*image::g_CurrentDocument);
        panes->ArrangePanes();
        QApplication::processEvents();
        EXPECT_EQ(panes->BrowseSplitter()->isVisible(), row.tree) << row.name;
        EXPECT_EQ(panes->CommentView()->isVisible(), row.comment) << row.name;
        EXPECT_EQ(panes->PlayerPane()->isVisible(), row.player) << row.name;
        const int h = frame->centralWidget()->height();
        if (row.comment) {
            EXPECT_EQ(panes->ListSplitter()->sizes().value(0), h * 30 / 100) << row.name;
            EXPECT_EQ(panes->CommentView()->toPlainText(), QStringLiteral("note"));
        }
        if (row.player && row.tree) {
            EXPECT_EQ(panes->MainSplitter()->sizes().value(0), 2 * h / 5) << row.name;
        }
    }
}

// Renames that the document takes, as the editing commands will do them.
struct RecordingRenames final : IRenameServices {
    int RenameListItem(image::ImageItem* item, std::u16string_view name) override {
        calls.push_back(u"list " + std::u16string(name));
        if (refuse) return -1;
        image::RenameItem(image::g_CurrentFolder, item, name);
        return 0;
    }
    int RenameTreeFolder(image::ImageFolder* folder, std::u16string_view name) override {
        calls.push_back(u"tree " + std::u16string(name));
        if (refuse) return 0;
        image::RenameItem(folder->parent, folder->ownItem, name);
        return 1;
    }
    bool SetVolumeLabel(std::u16string_view label) override {
        calls.push_back(u"label " + std::u16string(label));
        return !refuse;
    }
    std::vector<std::u16string> calls;
    bool refuse = false;
};

TEST_F(Panes, RenameInPlaceGoesThroughTheRenameCommands) {
    if (qvtest::Run("command -v xorriso").exitCode != 0) GTEST_SKIP() << "xorriso is not installed";
    ASSERT_TRUE(OpenFixture());
    ItemListModel* list = panes->ListModel();
    FolderTreeModel* tree = panes->TreeModel();
    QAbstractItemModelTester treeTester(tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex bRow = list->index(ListNames().indexOf(QStringLiteral("b.txt")), 0);
    ASSERT_TRUE(list->flags(bRow) & Qt::ItemIsEditable);
    EXPECT_FALSE(list->flags(list->index(bRow.row(), 1)) & Qt::ItemIsEditable);

    // Nothing installed (the frame installs the document's own): the rename
    // is refused and the old name stays.
    {
        foundation::ScopedServices<SetRenameServices> none{nullptr};
        EXPECT_FALSE(list->setData(bRow, QStringLiteral("d.txt")));
        EXPECT_EQ(bRow.data().toString(), QStringLiteral("b.txt"));
    }

    RecordingRenames renames;
    foundation::ScopedServices<SetRenameServices> installed{&renames};
    struct Row {
        const char* what;
        bool refuse;
        QString edit;        // the text the edit box ends with
        QString shown;       // the row afterwards
        size_t calls;        // calls made so far
    };
    const Row rows[] = {{"refused", true, QStringLiteral("d.txt"), QStringLiteral("b.txt"), 1},
                        {"taken", false, QStringLiteral("d.txt"), QStringLiteral("d.txt"), 2},
                        {"unchanged", false, QStringLiteral("d.txt"), QStringLiteral("d.txt"), 2},
                        {"empty", false, QString(), QStringLiteral("d.txt"), 2}};
    for (const Row& row : rows) {
        renames.refuse = row.refuse;
        list->setData(bRow, row.edit);
        EXPECT_EQ(bRow.data().toString(), row.shown) << row.what;
        EXPECT_EQ(renames.calls.size(), row.calls) << row.what;
    }

    // A tree folder: renamed through the command and sorted among its siblings.
    renames.refuse = false;
    const QModelIndex zeta = tree->FindByPath(QStringLiteral("Zeta"));
    ASSERT_TRUE(tree->setData(zeta, QStringLiteral("aardvark")));
    EXPECT_EQ(tree->index(0, 0, tree->RootIndex()).data().toString(), QStringLiteral("aardvark"));
    EXPECT_EQ(image::g_CurrentDocument->rootFolder->firstSubfolder != nullptr, true);
    // The root's name is the volume label.
    ASSERT_TRUE(tree->setData(tree->RootIndex(), QStringLiteral("NEWLABEL")));
    EXPECT_EQ(tree->RootIndex().data().toString(), QStringLiteral("NEWLABEL"));
    EXPECT_EQ(renames.calls.back(), u"label NEWLABEL");
    renames.refuse = true;
    EXPECT_FALSE(tree->setData(tree->RootIndex(), QStringLiteral("OTHER")));
    EXPECT_EQ(tree->RootIndex().data().toString(), QStringLiteral("NEWLABEL"));

    // An audio CD has nothing to rename in place.
    CloseDocument();
    ASSERT_EQ(NewAudioCdDocument({}), 1);
    panes->ShowDocument(image::g_CurrentDocument);
    EXPECT_FALSE(tree->flags(tree->RootIndex()) & Qt::ItemIsEditable);
}

// An audio CUE sheet over a BIN that sox makes: two tracks, CD-TEXT (in the
// sheet's 8-bit code page) on the first, a two-second INDEX 00 gap before the second.
TEST_F(Panes, TrackListOfAnAudioCue) {
    if (qvtest::Run("command -v sox").exitCode != 0) GTEST_SKIP() << "sox is not installed";
    constexpr int kFirst = 4574, kGap = 150, kSecond = 75;   // frames
    const std::string bin = dir / "disc.bin";
    const qvtest::CommandResult made =
        qvtest::Run("sox -r 44100 -c 2 -n -b 16 -e signed-integer -t raw " + qvtest::ShellQuote(bin) + " synth " +
                    std::to_string((kFirst + kGap + kSecond) * 588) + "s sine 440 vol 0.5");
    ASSERT_EQ(made.exitCode, 0);
    qvtest::WriteFileText(dir / "disc.cue", "TITLE \"Disc\"\nPERFORMER \"Band\"\nFILE \"disc.bin\" BINARY\n"
                                            "  TRACK 01 AUDIO\n    TITLE \"Erste Spur\"\n"
                                            "    PERFORMER \"S\xe4ngerin\"\n    INDEX 01 00:00:00\n"
                                            "  TRACK 02 AUDIO\n    INDEX 00 01:00:74\n    INDEX 01 01:02:74\n");
    const bool opened = OpenFileCommand(platform::Utf8ToUtf16(bin));
    for (const auto& box : ui.Boxes()) ADD_FAILURE() << "[" << platform::Utf16ToUtf8(box.request.text) << "][" << platform::Utf16ToUtf8(box.request.caption) << "] " << box.request.flags;
    ASSERT_TRUE(opened);
    ASSERT_EQ(CurrentDocumentKind(), DocumentKind::AudioCd);
    QApplication::processEvents();
    TrackListModel* tracks = panes->TracksModel();
    QAbstractItemModelTester tester(tracks, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_TRUE(panes->TrackView()->isVisible());
    EXPECT_FALSE(panes->BrowseSplitter()->isVisible());
    ASSERT_EQ(tracks->rowCount(), 2);
    ASSERT_EQ(tracks->columnCount(), kAudioTrackColumns);
    const QStringList headers = {QStringLiteral("Track"),    QStringLiteral("Title"), QStringLiteral("Artist"),
                                 QStringLiteral("Duration"), QStringLiteral("Pause"), QStringLiteral("Size"),
                                 QStringLiteral("Path")};
    for (int column = 0; column < kAudioTrackColumns; ++column)
        EXPECT_EQ(tracks->headerData(column, Qt::Horizontal).toString(), headers[column]);
    const QString binPath = QString::fromStdString(bin);
    const QStringList expected[] = {
        {QStringLiteral("1"), QStringLiteral("Erste Spur"), QStringLiteral("S\u00e4ngerin"), QStringLiteral("01:00.74"),
         QStringLiteral("00:00.00"), QStringLiteral("10505 KB"), binPath},
        {QStringLiteral("2"), QStringLiteral("Track02.cda"), QString(), QStringLiteral("00:01.00"),
         QStringLiteral("00:02.00"), QStringLiteral("172 KB"), binPath}};
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < kAudioTrackColumns; ++column)
            EXPECT_EQ(tracks->index(row, column).data().toString(), expected[row][column]) << row << "," << column;
    EXPECT_EQ(tracks->index(1, 0).data(kTrackIndexRole).toInt(), 1);
    EXPECT_FALSE(tracks->flags(tracks->index(0, 1)) & Qt::ItemIsEditable);

    // Ctrl+A in the track list selects every track; the status bar's source sees them.
    ASSERT_TRUE(frame->ExecuteCommand(33221));
    EXPECT_EQ(panes->SelectedTracks(), (std::vector<int>{0, 1}));
    panes->TrackView()->setCurrentIndex(tracks->index(1, 0));
    EXPECT_EQ(image::g_CurrentDocument->trackList->selectedTrack, 1);

    CloseDocument();
    EXPECT_EQ(tracks->rowCount(), 0);
}

// Track cells at the limits of the track list's fields.
TEST_F(Panes, TrackCellsAtTheLimits) {
    CloseDocument();
    ASSERT_EQ(NewAudioCdDocument({}), 1);
    image::ImageContext* doc = image::g_CurrentDocument;
    if (!doc->trackList) doc->trackList = image::NewTrackList().release();
    image::TrackList& list = *doc->trackList;
    struct Row {
        uint8_t mode;
        int32_t length, pause, gap;
        const char* audioLength;
        const char* audioPause;
        const char* videoLength;
        const char* videoGap;
    };
    const Row rows[] = {{1, 0, 0, 0, "00:00.00", "00:00.00", nullptr, nullptr},
                        {1, 4500, 150, 0, "01:00.00", "00:02.00", nullptr, nullptr},
                        {1, -5, -1, 0, "00:00.00", "00:00.00", nullptr, nullptr},
                        {1, INT32_MAX, 0, 0, "477218:35.22", "00:00.00", nullptr, nullptr},
                        {6, 4500, 0, 75, nullptr, nullptr, "01:00:00", "00:01:00"},
                        {6, INT32_MAX, 0, -3, nullptr, nullptr, "477218:35:22", "00:00:00"}};
    list.trackCount = static_cast<int32_t>(std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        list.tracks[i].mode = rows[i].mode;
        list.tracks[i].length = rows[i].length;
        list.tracks[i].pauseFrames = rows[i].pause;
        list.tracks[i].gapFrames = rows[i].gap;
    }
    TrackListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.ShowTracks(doc, TrackListKind::Audio);
    ASSERT_EQ(model.rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(model.index(row, 3).data().toString(), QString::fromLatin1(rows[row].audioLength)) << row;
        EXPECT_EQ(model.index(row, 4).data().toString(), QString::fromLatin1(rows[row].audioPause)) << row;
    }
    model.RefreshTrackDurations();
    model.ShowTracks(doc, TrackListKind::Video);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), kVideoTrackColumns);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(model.index(row, 0).data().toString(), QString::number(row + 5));
        EXPECT_EQ(model.index(row, 1).data().toString(), QStringLiteral("Track%1.mpg").arg(row + 5, 2, 10, QChar(u'0')));
        EXPECT_EQ(model.index(row, 2).data().toString(), QString::fromLatin1(rows[row + 4].videoLength));
        EXPECT_EQ(model.index(row, 3).data().toString(), QString::fromLatin1(rows[row + 4].videoGap));
        EXPECT_EQ(model.index(row, 4).data().toString(), QString());
    }
    // A count past 99 from a damaged list shows at most 99 rows, never reads past the array.
    list.trackCount = 500;
    model.ShowTracks(doc, TrackListKind::Audio);
    EXPECT_LE(model.rowCount(), image::kMaxTracks);
    model.Clear();
}

// Items dragged out are written once into the work folder, as the image holds
// them (compared with the files xorriso was given); items dropped on a folder
// of the same document move there without a file written.
TEST_F(Panes, DragOutExtractsOnceAndDropInsideMoves) {
    if (qvtest::Run("command -v xorriso").exitCode != 0) GTEST_SKIP() << "xorriso is not installed";
    ASSERT_TRUE(OpenFixture());
    int renders = 0;
    ItemTransferData::SetRenderer([&renders](image::ImageContext* ctx, image::ImageFolder* base,
                                             const std::vector<image::ImageItem*>& items, const ExtractRequest& request) {
        ++renders;
        return ExtractItems(ctx, base, items, request, nullptr);
    });
    struct ResetRenderer {
        ~ResetRenderer() { ItemTransferData::SetRenderer({}); }
    } reset;
    ItemListModel* list = panes->ListModel();
    FolderTreeModel* tree = panes->TreeModel();
    auto rowOf = [&](const char* name) { return list->index(ListNames().indexOf(QString::fromUtf8(name)), 0); };

    // Out: a folder with a subfolder and two files, from the list.
    std::unique_ptr<QMimeData> out(list->mimeData({rowOf("Beta"), rowOf("A.TXT"), rowOf("c.bin")}));
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(out->hasFormat(QString::fromLatin1(kItemTransferFormat)));
    const QList<QUrl> urls = out->urls();
    ASSERT_EQ(urls.size(), 3);
    for (const char* name : {"A.TXT", "c.bin"}) {
        const std::string extracted = (urls[0].toLocalFile().section(u'/', 0, -2) + u'/').toStdString() + name;
        EXPECT_EQ(qvtest::Run("cmp " + qvtest::ShellQuote(extracted) + " " + qvtest::ShellQuote(dir / "src" + "/" + name)).exitCode,
                  0)
            << name;
    }
    EXPECT_EQ(qvtest::Run("diff -r " + qvtest::ShellQuote(urls[0].toLocalFile().toStdString()) + " " +
                          qvtest::ShellQuote(dir / "src/Beta"))
                  .exitCode,
              0);
    EXPECT_EQ(out->urls(), urls);   // asked again: the same files, not written again
    EXPECT_EQ(renders, 1);

    // The tree's root gives its contents; a transfer of a document no longer
    // current gives no files.
    std::unique_ptr<QMimeData> rootOut(tree->mimeData({tree->RootIndex()}));
    ASSERT_NE(rootOut, nullptr);
    EXPECT_EQ(static_cast<ItemTransferData*>(rootOut.get())->Items().size(), 8u);

    // Inside: b.txt dropped on the folder "alpha" in the tree.
    const QModelIndex alpha = tree->FindByPath(QStringLiteral("alpha"));
    std::unique_ptr<QMimeData> moving(list->mimeData({rowOf("b.txt")}));
    ASSERT_TRUE(tree->canDropMimeData(moving.get(), Qt::MoveAction, -1, -1, alpha));
    EXPECT_FALSE(tree->canDropMimeData(moving.get(), Qt::MoveAction, -1, -1, tree->RootIndex()));   // its own folder
    ASSERT_TRUE(tree->dropMimeData(moving.get(), Qt::MoveAction, -1, -1, alpha));
    EXPECT_NE(image::FindChildByName(tree->FolderOf(alpha), u"b.txt"), nullptr);
    EXPECT_FALSE(ListNames().contains(QStringLiteral("b.txt")));
    EXPECT_NE(image::g_CurrentDocument->modified & 2, 0);
    EXPECT_EQ(renders, 1);

    // A folder on itself is refused; on its own subfolder the tree refuses with a message.
    std::unique_ptr<QMimeData> beta(tree->mimeData({tree->FindByPath(QStringLiteral("Beta"))}));
    EXPECT_FALSE(tree->canDropMimeData(beta.get(), Qt::MoveAction, -1, -1, tree->FindByPath(QStringLiteral("Beta"))));
    const size_t boxes = ui.Boxes().size();
    EXPECT_FALSE(tree->dropMimeData(beta.get(), Qt::MoveAction, -1, -1, tree->FindByPath(QStringLiteral("Beta/Inner"))));
    EXPECT_EQ(ui.Boxes().size(), boxes + 1);
    EXPECT_TRUE(tree->FindByPath(QStringLiteral("Beta/Inner")).isValid());

    // Once the document is gone the transfer hands out nothing.
    std::unique_ptr<QMimeData> stale(list->mimeData({list->index(0, 0)}));
    CloseDocument();
    EXPECT_TRUE(stale->urls().isEmpty());
}

}  // namespace
