// The audio CD and data disc burn dialogs over the main window's project:
// their panes share the main lists' models and selections (two rows chosen
// here are exactly the two chosen there, a folder opened here is the folder
// shown there, the root shows the project's label), a header click sorts both
// lists, and a data project is burnt from the dialog with its typed label,
// its edit buttons and views disabled meanwhile, the disc read by isoinfo.

#include "window/dialogs/burn_views.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "app/document_lifecycle.h"
#include "app/other_openers.h"
#include "audio/tracks/track_model.h"
#include "burn/burn_drive_support.h"
#include "image/build/add_disk_files.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/iso/volume_texts.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/burn_dialog.h"
#include "window/dialogs/burn_event_list.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/panes/folder_tree_model.h"
#include "window/panes/item_list_model.h"
#include "window/panes/pane_layout.h"
#include "window/panes/track_list_model.h"

namespace {

using dialogs::ui::CBurnDlg;

std::string Q(const std::string& s) { return qvtest::ShellQuote(s); }

bool WaitIdle(CBurnDlg& dialog) {
    QElapsedTimer clock;
    clock.start();
    while (dialog.Busy() && clock.elapsed() < 120000) QTest::qWait(20);
    QTest::qWait(20);
    return !dialog.Busy();
}

int RowNamed(QAbstractItemModel* model, const QString& name) {
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->index(row, 0).data().toString() == name) return row;
    return -1;
}

QPoint RowPoint(QTreeView* view, int row) { return view->visualRect(view->model()->index(row, 0)).center(); }

// The main window commands the dialog's edit buttons run, clicked in turn,
// taken by stand-in handlers of their groups for the time of the clicks.
std::vector<uint32_t> CommandsOfButtons(CBurnDlg& dialog, const std::vector<int>& buttons) {
    using app::ui::CommandGroup;
    std::vector<uint32_t> ran;
    const CommandGroup groups[] = {CommandGroup::Editing, CommandGroup::Player};
    std::vector<app::ui::CommandHandler> before;
    for (CommandGroup group : groups) {
        const app::ui::CommandHandler* installed = app::ui::HandlerOfGroup(group);
        before.push_back(installed ? *installed : app::ui::CommandHandler{});
        app::ui::InstallCommandHandler(group, {[&ran](uint32_t id) { ran.push_back(id); }, nullptr, nullptr});
    }
    for (int id : buttons)
        if (auto* button = dialog.ControlAs<QPushButton>(id)) button->click();
    for (size_t i = 0; i < before.size(); ++i) app::ui::InstallCommandHandler(groups[i], before[i]);
    return ran;
}

struct BurnViewsTest : ::testing::Test {
    BurnViewsTest() {
        ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        qvtest::EnsureApplication();
        app::InstallReaders();
    }
    ~BurnViewsTest() override {
        app::CloseDocument();
        app::UninstallReaders();
        ::unsetenv("QV_CONFIG_DIR");
    }
    qvtest::TempDir config;
};

TEST_F(BurnViewsTest, DataDiscDialogSharesTheMainListsAndBurnsTheProject) {
    burntest::BurnDrive drive;
    qvtest::RunOk("mkdir -p " + Q(drive.dir / "src/one") + " " + Q(drive.dir / "src/two") + " && head -c 200000 /dev/urandom > " +
                  Q(drive.dir / "src/one/r.bin") + " && touch " + Q(drive.dir / "src/a.txt") + " " +
                  Q(drive.dir / "src/b.txt"));
    const std::string out = drive.dir / "export";
    qvtest::RunOk("mkdir -p " + Q(out));
    ASSERT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849 export=" + out + "\n"))
        << drive.soft.lastError;
    app::ui::CMainFrame frame(0, nullptr);
    ASSERT_TRUE(frame.Create());
    auto* panes = frame.findChild<app::ui::FramePanes*>();
    ASSERT_NE(panes, nullptr);
    app::CloseDocument();
    ASSERT_EQ(app::NewImageDocument({}, 1), 1);
    image::ImageContext* project = image::g_CurrentDocument;
    ASSERT_NE(image::AddDiskFolderContents(project, project->rootFolder, platform::Utf8ToUtf16(drive.dir / "src"), nullptr), 0);
    // Shown a second time with a new label: the root shows the new label.
    image::SetVolumeField(*project, image::kVolumeLabel, u"PROJECT");
    frame.ShowDocument(project);

    CBurnDlg dialog(CBurnDlg::kDataTemplate, panes, &frame);
    dialog.resize(700, 640);
    dialog.show();
    QTest::qWait(30);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Burn Data Disc -- CD, DVD, BD"));
    dialogs::ui::CBurnTreeView* tree = dialog.TreeView();
    dialogs::ui::CBurnFileView* list = dialog.FileView();
    ASSERT_TRUE(tree->isVisible());
    EXPECT_EQ(tree->currentIndex(), panes->TreeModel()->RootIndex());
    EXPECT_EQ(tree->currentIndex().data().toString(), QStringLiteral("PROJECT"));
    EXPECT_EQ(dialog.ControlAs<QLineEdit>(1153)->text(), QStringLiteral("PROJECT"));
    ASSERT_EQ(list->model()->rowCount(), 4);

    // A click and a Ctrl+click here: exactly those two in the main list.
    const int a = RowNamed(list->model(), QStringLiteral("a.txt"));
    const int two = RowNamed(list->model(), QStringLiteral("two"));
    ASSERT_GE(a, 0);
    ASSERT_GE(two, 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowPoint(list, a));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, RowPoint(list, two));
    std::set<std::u16string> chosen;
    for (image::ImageItem* item : panes->SelectedItems()) chosen.insert(std::u16string(item->name.view()));
    EXPECT_EQ(chosen, (std::set<std::u16string>{u"a.txt", u"two"}));

    // A header clicked twice: both lists by size, then the other way.
    QHeaderView* header = list->header();
    for (bool ascending : {true, false}) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(1) + 5, 5));
        EXPECT_EQ(panes->ListModel()->SortColumn(), 1);
        EXPECT_EQ(panes->ListModel()->SortAscending(), ascending);
        EXPECT_EQ(header->sortIndicatorSection(), 1);
        EXPECT_EQ(header->sortIndicatorOrder(), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }

    // A folder opened here is the folder the main list shows.
    const int one = RowNamed(list->model(), QStringLiteral("one"));
    ASSERT_GE(one, 0);
    // A view takes a double click only on the row pressed just before.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowPoint(list, one));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowPoint(list, one));
    ASSERT_NE(panes->ListModel()->Folder(), nullptr);
    EXPECT_EQ(panes->ListModel()->Folder()->path, u"one");
    EXPECT_EQ(RowNamed(list->model(), QStringLiteral("r.bin")), 0);
    tree->ShowRoot();
    EXPECT_EQ(panes->ListModel()->Folder(), project->rootFolder);
    EXPECT_TRUE(dialog.ControlAs<QProgressBar>(1535)->text().endsWith(QStringLiteral(" / 4700MB")));
    if (const char* shots = std::getenv("QV_SHOT_DIR"))
        dialog.grab().save(QString::fromUtf8(shots) + QStringLiteral("/burn_data_disc.png"));

    // Add files and folders, delete the chosen ones; no track moves here.
    EXPECT_EQ(CommandsOfButtons(dialog, {1538, 1149, 1539, 1540}), (std::vector<uint32_t>{32860, 32862}));

    // Burnt with the label typed in; nothing of the project edited meanwhile.
    dialog.ControlAs<QLineEdit>(1153)->setText(QStringLiteral("MYDISC"));
    dialog.ControlAs<QPushButton>(1179)->click();
    ASSERT_TRUE(dialog.Busy());
    for (int id : {1538, 1149, 1153}) EXPECT_FALSE(dialog.Control(id)->isEnabled()) << id;
    EXPECT_FALSE(list->isEnabled());
    EXPECT_FALSE(tree->isEnabled());
    ASSERT_TRUE(WaitIdle(dialog));
    const QString events = dialog.Events()->EventsText();
    EXPECT_TRUE(events.contains(QStringLiteral("Burning successful."))) << events.toStdString();
    for (int id : {1538, 1149, 1153}) EXPECT_TRUE(dialog.Control(id)->isEnabled()) << id;
    EXPECT_EQ(tree->currentIndex().data().toString(), QStringLiteral("MYDISC"));
    const std::string info = qvtest::RunOk("isoinfo -d -i " + Q(out + "/disc.iso"));
    EXPECT_NE(info.find("Volume id: MYDISC"), std::string::npos) << info;
    // No Joliet on a data disc project: its long names are in UDF.
    qvtest::RunOk("7z x -y -o" + Q(drive.dir / "back") + " " + Q(out + "/disc.iso") + " >/dev/null && cmp " +
                  Q(drive.dir / "back/one/r.bin") + " " + Q(drive.dir / "src/one/r.bin"));
    dialog.ControlAs<QPushButton>(2)->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(BurnViewsTest, AudioCdDialogListsTheTracksInTheirOrder) {
    burntest::BurnDrive drive;
    for (const char* name : {"one", "two"})
        qvtest::RunOk("sox -n -r 44100 -c 2 -b 16 " + Q(drive.dir / (std::string(name) + ".wav")) + " synth 2 sine 500");
    app::ui::CMainFrame frame(0, nullptr);
    ASSERT_TRUE(frame.Create());
    auto* panes = frame.findChild<app::ui::FramePanes*>();
    app::CloseDocument();
    ASSERT_EQ(app::NewAudioCdDocument({}), 1);
    image::ImageContext* project = image::g_CurrentDocument;
    for (const char* name : {"one", "two"})
        ASSERT_EQ(audio::AddMusicFile(project, platform::Utf8ToUtf16(drive.dir / (std::string(name) + ".wav")), -1, false), 0);
    frame.ShowDocument(project);

    CBurnDlg dialog(CBurnDlg::kAudioTemplate, panes, &frame);
    dialog.show();
    QTest::qWait(30);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Burn Audio CD"));
    EXPECT_FALSE(dialog.TreeView()->isVisible());
    dialogs::ui::CBurnFileView* list = dialog.FileView();
    ASSERT_EQ(list->model(), panes->TracksModel());
    ASSERT_EQ(list->model()->rowCount(), 2);
    // Track, title, duration and path shown; artist, pause and size not.
    for (int column = 0; column < list->model()->columnCount(); ++column)
        EXPECT_EQ(list->isColumnHidden(column), column == 2 || column == 4 || column == 5) << column;
    // Add music files, delete the chosen tracks, move them up and down.
    EXPECT_EQ(CommandsOfButtons(dialog, {1538, 1149, 1539, 1540}), (std::vector<uint32_t>{33210, 33224, 33139, 33140}));
    const QString time = dialog.ControlAs<QLabel>(1551)->text();
    EXPECT_TRUE(time.endsWith(QStringLiteral("  / 75:00")) && !time.startsWith(QStringLiteral("00:00"))) << time.toStdString();

    // The arrow turns; the burn order stays the track order.
    QHeaderView* header = list->header();
    for (bool ascending : {true, false}) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(1) + 5, 5));
        EXPECT_EQ(header->sortIndicatorOrder(), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        EXPECT_EQ(panes->TracksModel()->TrackAt(0), 0);
    }
    // A track chosen here is the main track list's choice.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowPoint(list, 1));
    EXPECT_EQ(panes->SelectedTracks(), std::vector<int>{1});
    if (const char* shots = std::getenv("QV_SHOT_DIR"))
        dialog.grab().save(QString::fromUtf8(shots) + QStringLiteral("/burn_audio_cd.png"));
}

}  // namespace
