// The player row of the main window over a sox-made audio disc: the bar's
// buttons are the frame's commands whichever view has the focus, the sliders
// follow the player and the mixer, and Extract on the disc rips it.

#include "window/panes/player_bar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/audio_save_routes.h"
#include "app/document_lifecycle.h"
#include "app/other_openers.h"
#include "audio/player/audio_player.h"
#include "audio/player/mixer_volume.h"
#include "foundation/messages_scripted.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/about_dialog.h"
#include "window/dialogs/bitmap_slider.h"
#include "window/dialogs/rip_audio_dialog.h"
#include "window/faces/menu_adapter.h"
#include "window/frame/main_frame.h"
#include "window/panes/pane_layout.h"
#include "window/frame/command_routes.h"
#include <QListView>
#include "window/panes/track_list_model.h"

using namespace app;
using namespace app::ui;

namespace {

class PlayerRow : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        setenv("QV_AUDIO_SINK", "null", 1);
        app::InstallReaders();
        cmdline::InstallAudioSaveRoutes();
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
        frame->resize(1000, 700);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        panes = frame->findChild<FramePanes*>();
        bar = frame->findChild<CPlayerBar*>();
        ASSERT_TRUE(panes && bar);
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                      " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw disc.bin synth 6 sine 440 vol 0.5");
        qvtest::WriteFileText(dir / "disc.cue", "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
                                                "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n");
        ASSERT_TRUE(OpenFileCommand(platform::Utf8ToUtf16(dir / "disc.cue")));
        QApplication::processEvents();
        frame->UpdateCommandStates();
    }
    void TearDown() override {
        frame->ExecuteCommand(33135);
        CloseDocument();
        frame.reset();
        cmdline::RemoveAudioSaveRoutes();
        app::UninstallReaders();
        unsetenv("QV_AUDIO_SINK");
        unsetenv("QV_CONFIG_DIR");
    }
    QAction* BarAction(uint32_t id) const {
        for (QAction* action : bar->actions())
            if (foundation::ui::CommandIdOf(action) == id) return action;
        return nullptr;
    }

    qvtest::TempDir config, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
    FramePanes* panes = nullptr;
    CPlayerBar* bar = nullptr;
};

TEST_F(PlayerRow, BarButtonsAreTheFramesCommandsWhateverHasTheFocus) {
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->parentWidget(), panes->PlayerPane());
    for (uint32_t id : {33134u, 33135u, 33136u, 33137u, 33139u, 33140u, 33146u}) EXPECT_TRUE(BarAction(id)) << id;
    panes->TrackView()->setFocus();
    QAction* play = BarAction(33134);
    ASSERT_TRUE(play);
    ASSERT_TRUE(play->isEnabled());
    EXPECT_FALSE(BarAction(33135)->isEnabled());
    play->trigger();
    ASSERT_TRUE(audio::CurrentPlayback());
    frame->UpdateCommandStates();
    EXPECT_TRUE(BarAction(33135)->isEnabled());

    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR"))
        frame->grab().save(QString::fromUtf8(shots) + "/player_row.png");
    // The seek slider follows the player; dragging holds it still until release.
    bar->Refresh();
    EXPECT_GE(bar->SeekSlider()->value(), 0);
    EXPECT_LE(bar->SeekSlider()->value(), 100);
    CPlayerBar::Seek(100);   // at most the track's length: no failure, still playing
    EXPECT_TRUE(audio::CurrentPlayback());

    // One drag of the thumb is one seek, on release; the bar's own refresh
    // of the thumb seeks nothing.
    const int seeksBefore = CPlayerBar::SeekCount();
    dialogs::ui::CBitmapSlider* seek = bar->SeekSlider();
    const QPoint from(4, seek->height() / 2), to(seek->width() / 2, seek->height() / 2);
    QTest::mousePress(seek, Qt::LeftButton, {}, from);
    for (int x = from.x(); x <= to.x(); x += 10) QTest::mouseMove(seek, QPoint(x, to.y()));
    bar->Refresh();
    EXPECT_EQ(CPlayerBar::SeekCount(), seeksBefore);
    QTest::mouseRelease(seek, Qt::LeftButton, {}, to);
    EXPECT_EQ(CPlayerBar::SeekCount(), seeksBefore + 1);
    for (int i = 0; i < 3; ++i) bar->Refresh();
    QApplication::processEvents();
    EXPECT_EQ(CPlayerBar::SeekCount(), seeksBefore + 1);

    BarAction(33135)->trigger();
    EXPECT_FALSE(audio::CurrentPlayback());
    bar->Refresh();
    EXPECT_EQ(bar->SeekSlider()->value(), 0);

    // Without a mixer the volume slider cannot be used.
    EXPECT_EQ(bar->VolumeSlider()->isEnabled(), audio::GetMixerVolumePercent() >= 0);
}

TEST(PlayerBarSeek, TargetsWithinTheTrack) {
    const struct {
        int percent;
        int64_t length, target;
    } rows[] = {
        {0, 1000, 1},          {50, 1000, 501},  {100, 1000, 1000}, {150, 1000, 1000}, {-5, 1000, 1},
        {100, 0, 0},           {50, 0, 0},       {100, -1, 0},      {99, 1, 1},
        {100, INT64_MAX / 100, INT64_MAX / 100},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CPlayerBar::SeekTarget(row.percent, row.length), row.target) << row.percent << " " << row.length;
}

TEST_F(PlayerRow, TrackListModesFromBothViewMenus) {
    auto checked = [](uint32_t id) {
        const CommandHandler* handler = HandlerOfGroup(GroupOfCommand(id));
        return handler && handler->checked && handler->checked(id);
    };
    // On an audio CD the main View menu's modes are the track list's too.
    const struct {
        uint32_t command;
        int mode;
    } rows[] = {{33214, 0}, {33216, 2}, {32777, 1}, {32779, 3}};
    for (const auto& row : rows) {
        ASSERT_TRUE(frame->ExecuteCommand(row.command)) << row.command;
        EXPECT_EQ(panes->TrackViewMode(), row.mode) << row.command;
        EXPECT_TRUE(checked(33214 + row.mode));
        EXPECT_TRUE(checked(32776 + row.mode));
        EXPECT_EQ(panes->TrackIconView()->isVisible(), row.mode != 3);
    }
    // The list mode shows the titles; both views share one selection.
    ASSERT_TRUE(frame->ExecuteCommand(33216));
    EXPECT_EQ(panes->TrackIconView()->model()->index(0, panes->TrackIconView()->modelColumn()).data().toString(),
              QStringLiteral("One"));
    ASSERT_TRUE(frame->ExecuteCommand(33221));
    EXPECT_EQ(panes->SelectedTracks().size(), 2u);
    EXPECT_EQ(panes->TrackIconView()->selectionModel()->selectedRows().size(), 2);
    EXPECT_TRUE(frame->IsCommandEnabled(33146));
}

TEST_F(PlayerRow, ExtractOnTheDiscRipsItsTracks) {
    ASSERT_EQ(image::g_CurrentDocument->ripFlag, 1);
    ASSERT_TRUE(frame->IsCommandEnabled(32861));
    // Nothing selected: every track.
    panes->TrackView()->clearSelection();
    auto ripInto = [&](const std::string& out) {
        QString caption;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<dialogs::ui::CRipAudioDlg*>(QApplication::activeModalWidget());
            if (!dlg) return;
            caption = dlg->windowTitle();
            dlg->ControlAs<QComboBox>(1017)->setEditText(QString::fromStdString(out));
            dlg->ControlAs<QComboBox>(1367)->setCurrentIndex(dlg->ControlAs<QComboBox>(1367)->findText("FLAC"));
            dlg->accept();
        });
        EXPECT_TRUE(frame->ExecuteCommand(32861));
        EXPECT_EQ(caption, QStringLiteral("Rip Audio CD"));
        return qvtest::RunOk("ls " + qvtest::ShellQuote(out));
    };
    EXPECT_EQ(ripInto(dir / "all"), "01-One.flac\n02-Track02.flac\n");
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir / "all") + " && flac -s -t 01-One.flac 02-Track02.flac");
    // A selection narrows the rip to it.
    panes->TrackView()->selectionModel()->select(panes->TracksModel()->index(1, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(ripInto(dir / "second"), "02-Track02.flac\n");
}

TEST_F(PlayerRow, AboutComesFromTheHelpMenu) {
    QString version;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<dialogs::ui::CAboutDlg*>(QApplication::activeModalWidget());
        if (!dlg) return;
        version = dlg->ControlAs<QLabel>(1323)->text();
        dlg->accept();
    });
    ASSERT_FALSE(frame->ActionsOf(57664).isEmpty());
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->ActionsOf(57664).front()->isEnabled());
    frame->ActionsOf(57664).front()->trigger();
    EXPECT_EQ(version, QStringLiteral("Version 2.8"));
}

}  // namespace
