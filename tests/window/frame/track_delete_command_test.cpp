// Delete on the track list of a frame over a sox-made WAV project: the
// question first (No keeps every track), Yes removes exactly the chosen
// tracks and marks the document; a read-only document or no choice leaves
// the command disabled; the file commands of the group still answer.

#include "window/frame/track_delete_command.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

#include "foundation/messages.h"
#include "foundation/messages_scripted.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/sheets/cue_parser.h"
#include "image/sheets/track_list.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/panes/pane_layout.h"
#include "window/panes/track_list_model.h"

namespace app::ui {
namespace {

TEST(TrackDeleteCommand, AsksThenRemovesTheChosenTracksOnly) {
    qvtest::EnsureApplication();
    qvtest::TempDir config, dir;
    setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> installed{&ui};
    qvtest::RunOk("cd " + qvtest::ShellQuote(dir.path()) +
                  " && for n in a b c; do sox -D -r 44100 -c 2 -n -b 16 $n.wav synth 2352s sine 440; done");
    qvtest::WriteFileText(dir / "p.cue",
                          "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
                          "FILE \"c.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n");
    auto doc = std::make_unique<image::ImageContext>();
    doc->imageHandle.reset(platform::FileOpenUtf8(dir / "a.wav", platform::FileAccess::Read,
                                                  platform::FileDisposition::OpenExisting));
    doc->trackList = image::ParseCueSheet(platform::Utf8ToUtf16(dir / "p.cue")).release();
    ASSERT_NE(doc->trackList, nullptr);
    doc->mixedTracks = true;
    image::g_CurrentDocument = doc.get();
    {
        CMainFrame frame(0, nullptr);
        auto* panes = new FramePanes(&frame);
        panes->ShowDocument(doc.get());
        // A file command of the group installed first keeps answering its ids.
        std::vector<uint32_t> passedOn;
        InstallCommandHandler(CommandGroup::Editing, {[&](uint32_t id) { passedOn.push_back(id); },
                                                      [](uint32_t id) { return id == 32915; }, {}});
        InstallTrackDeleteCommand(&frame);
        const CommandHandler* handler = HandlerOfGroup(CommandGroup::Editing);
        ASSERT_NE(handler, nullptr);
        const auto file = [&](int track) { return platform::Utf16ToUtf8(doc->trackList->tracks[size_t(track)].fileName); };
        const auto choose = [&](std::vector<int> rows) {
            panes->TrackView()->selectionModel()->clear();
            for (int row : rows)
                panes->TrackView()->selectionModel()->select(panes->TracksModel()->index(row, 0),
                                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        };
        choose({});
        EXPECT_FALSE(handler->enabled(kCmdDeleteTracks));
        choose({0, 2});
        doc->readOnly = true;
        EXPECT_FALSE(handler->enabled(kCmdDeleteTracks));
        doc->readOnly = false;
        EXPECT_TRUE(handler->enabled(kCmdDeleteTracks));
        EXPECT_TRUE(handler->enabled(kCmdDeleteTracksVideo));
        // No: nothing changes.
        ui.QueueBoxAnswer(foundation::kIdNo);
        handler->run(kCmdDeleteTracks);
        EXPECT_EQ(doc->trackList->trackCount, 3);
        EXPECT_EQ(doc->modified, 0);
        // Yes: the first and the third go, the second stays, shown alone.
        ui.QueueBoxAnswer(foundation::kIdYes);
        handler->run(kCmdDeleteTracks);
        ASSERT_EQ(doc->trackList->trackCount, 1);
        EXPECT_NE(file(0).find("b.wav"), std::string::npos) << file(0);
        EXPECT_EQ(panes->TracksModel()->rowCount(), 1);
        EXPECT_NE(doc->modified, 0);
        EXPECT_EQ(ui.Boxes().size(), 2u);
        EXPECT_TRUE(handler->enabled(32915));
        EXPECT_FALSE(handler->enabled(32862));
        handler->run(32915);
        EXPECT_EQ(passedOn, std::vector<uint32_t>{32915});
        panes->ClearViews();
    }
    image::g_CurrentDocument = nullptr;
    unsetenv("QV_CONFIG_DIR");
}

}  // namespace
}  // namespace app::ui
