// The frame's player commands over a sox-made WAV project played to the file
// sink: Play runs to the end and the notice clears the player on the window
// thread; Stop waits for the end; the option commands flip their "Status" bits.

#include "window/frame/player_commands.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "audio/player/audio_player.h"
#include "foundation/settings.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/track_list.h"
#include "window/frame/main_frame.h"
#include "window/panes/pane_layout.h"
#include "window/panes/track_list_model.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

namespace app::ui {
namespace {

class PlayerCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        // Two tracks of whole sectors: 75 of tone and 38 of noise.
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                      " && sox -D -r 44100 -c 2 -n -b 16 a.wav synth 44100s sine 440 vol 0.5"
                      " && sox -D -r 44100 -c 2 -n -b 16 b.wav synth 22344s whitenoise vol 0.5"
                      " && sox a.wav b.wav all.wav");
        qvtest::WriteFileText(dir / "p.cue",
                              "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                              "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
        doc = std::make_unique<image::ImageContext>();
        doc->imageHandle.reset(platform::FileOpenUtf8(dir / "a.wav", platform::FileAccess::Read,
                                                      platform::FileDisposition::OpenExisting));
        doc->trackList = image::ParseCueSheet(platform::Utf8ToUtf16(dir / "p.cue")).release();
        ASSERT_NE(doc->trackList, nullptr);
        image::g_CurrentDocument = doc.get();
    }
    void TearDown() override {
        image::g_CurrentDocument = nullptr;
        unsetenv("QV_AUDIO_SINK");
        unsetenv("QV_CONFIG_DIR");
    }
    qvtest::TempDir config, dir;
    std::unique_ptr<image::ImageContext> doc;
};

TEST_F(PlayerCommandsTest, PlayRunsToTheEndAndTheNoticeClearsThePlayer) {
    setenv("QV_AUDIO_SINK", ("file:" + (dir / "out.raw")).c_str(), 1);
    PlayerCommands commands(nullptr);
    EXPECT_TRUE(commands.Enabled(33134));
    EXPECT_FALSE(commands.Enabled(33135));
    commands.Run(33134);
    ASSERT_TRUE(commands.Player());
    for (int i = 0; i < 5000 && commands.Player(); ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        usleep(1000);
    }
    EXPECT_FALSE(commands.Player());
    EXPECT_FALSE(commands.Enabled(33135));
    EXPECT_EQ(doc->trackList->playingTrack, -1);
    qvtest::RunOk("tail -c +45 " + qvtest::ShellQuote(dir / "all.wav") + " | cmp - " + qvtest::ShellQuote(dir / "out.raw"));
}

TEST_F(PlayerCommandsTest, StopWaitsForTheEndAndOptionsToggle) {
    setenv("QV_AUDIO_SINK", "null", 1);
    PlayerCommands commands(nullptr);
    commands.Run(33134);
    ASSERT_TRUE(commands.Player());
    const std::shared_ptr<audio::AudioPlayer> player = commands.Player();
    EXPECT_EQ(doc->trackList->playingTrack, 0);
    EXPECT_FALSE(commands.Enabled(33136));   // previous: already on the first entry
    EXPECT_TRUE(commands.Enabled(33137));
    commands.Run(33135);
    EXPECT_FALSE(commands.Player());
    EXPECT_TRUE(player->Finished());
    EXPECT_EQ(doc->trackList->playingTrack, -1);

    const uint32_t before = foundation::GetStatusFlags();
    commands.Run(33148);
    EXPECT_EQ(foundation::GetStatusFlags(), before ^ audio::kStatusRepeat);
    EXPECT_TRUE(commands.Checked(33148));
    commands.Run(33149);
    EXPECT_EQ(foundation::GetStatusFlags(), before ^ audio::kStatusRepeat ^ audio::kStatusRandomOrder);
    EXPECT_TRUE(commands.Checked(33149));
}

TEST_F(PlayerCommandsTest, PlayPlaysTheChosenTracksOnly) {
    // A frame's track list with the second track chosen: only its sound plays.
    setenv("QV_AUDIO_SINK", ("file:" + (dir / "chosen.raw")).c_str(), 1);
    doc->mixedTracks = true;   // the panes show a track list beside the tree
    CMainFrame frame(0, nullptr);
    auto* panes = new FramePanes(&frame);
    panes->ShowDocument(doc.get());
    ASSERT_EQ(panes->TracksModel()->rowCount(), 2);
    panes->TrackView()->selectionModel()->select(panes->TracksModel()->index(1, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(panes->SelectedTracks(), std::vector<int>{1});
    PlayerCommands commands(&frame);
    commands.Run(33134);
    ASSERT_TRUE(commands.Player());
    for (int i = 0; i < 5000 && commands.Player(); ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        usleep(1000);
    }
    EXPECT_FALSE(commands.Player());
    qvtest::RunOk("tail -c +45 " + qvtest::ShellQuote(dir / "b.wav") + " | cmp - " +
                  qvtest::ShellQuote(dir / "chosen.raw"));
    panes->ClearViews();
}

TEST_F(PlayerCommandsTest, MovingTracksKeepsThemChosenAndRefusesAtTheEnds) {
    doc->mixedTracks = true;
    CMainFrame frame(0, nullptr);
    auto* panes = new FramePanes(&frame);
    panes->ShowDocument(doc.get());
    PlayerCommands commands(&frame);
    const auto file = [&](int track) { return doc->trackList->tracks[size_t(track)].fileName; };
    const std::u16string a = file(0), b = file(1);
    auto choose = [&](int row) {
        panes->TrackView()->selectionModel()->clear();
        panes->TrackView()->selectionModel()->select(panes->TracksModel()->index(row, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    struct Row {
        const char* name;
        int chosen;
        uint32_t id;
        bool enabled;
        std::u16string first;   // the first track's file afterwards
        int chosenAfter;
    };
    const Row rows[] = {
        {"first up: refused", 0, 33139, false, a, 0},
        {"last down: refused", 1, 33140, false, a, 1},
        {"second up", 1, 33139, true, b, 0},
        {"first down again", 0, 33140, true, a, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        choose(row.chosen);
        EXPECT_EQ(commands.Enabled(row.id), row.enabled);
        commands.Run(row.id);
        EXPECT_EQ(file(0), row.first);
        EXPECT_EQ(panes->SelectedTracks(), std::vector<int>{row.chosenAfter});
    }
    // A read-only document moves nothing.
    doc->readOnly = true;
    choose(1);
    EXPECT_FALSE(commands.Enabled(33139));
    commands.Run(33139);
    EXPECT_EQ(file(0), a);
    doc->readOnly = false;
    panes->ClearViews();
}

}  // namespace
}  // namespace app::ui
