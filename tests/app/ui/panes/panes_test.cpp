#include "app/ui/panes/pane_layout.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QListView>
#include <QSplitter>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/document_lifecycle.h"
#include "app/ui/panes/comment_view.h"
#include "app/ui/panes/folder_tree_model.h"
#include "app/ui/panes/item_list_model.h"
#include "app/ui/panes/list_cells.h"
#include "foundation/messages_scripted.h"
#include "foundation/ui/qt_text.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/ui/qt_application.h"

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

}  // namespace
