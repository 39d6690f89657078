// Rip Audio CD from a disc in a drive: the software drive holds a sox-made
// audio CD, the drive's device opens as a document the way the window opens
// any path, and the rip dialog and job write FLAC and WAV files that flac and
// cmp check against the source tracks.

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/audio_save_routes.h"
#include "app/disc_opener_services.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "burn/burn_drive_support.h"
#include "foundation/operation_status.h"
#include "foundation/scripted_prompts.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "optical/drive/disc_document_opener.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/progress_prompts.h"
#include "window/dialogs/rip_audio_dialog.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

class RipFromDriveTest : public ::testing::Test {
protected:
    RipFromDriveTest() : faces_(drive_.ui), uiScope_(&faces_), promptScope_(&prompts_), discScope_(&opener_) {
        ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        qvtest::EnsureApplication();
        foundation::ResetOperationStatus();
        foundation::StandingOverwriteAnswer = -1;
        app::InstallReaders();
        cmdline::InstallAudioSaveRoutes();
    }
    ~RipFromDriveTest() override {
        cmdline::RemoveAudioSaveRoutes();
        app::UninstallReaders();
        ::unsetenv("QV_CONFIG_DIR");
    }

    qvtest::TempDir config_;
    burntest::BurnDrive drive_;
    dialogs::ui::ProgressUiServices faces_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_;
    foundation::ScriptedPrompts prompts_;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope_;
    optical::DiscDocumentOpener opener_;
    foundation::ScopedServices<app::SetDiscOpenerServices> discScope_;
};

TEST_F(RipFromDriveTest, RipsTheAudioCdInTheDriveToFlacAndWav) {
    const std::string dir = drive_.dir.path();
    // Two tracks of 2 and 1 seconds: a tone, then noise.
    RunOk("cd " + ShellQuote(dir) +
          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw t1.raw synth 2 sine 440 vol 0.5"
          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw t2.raw synth 1 whitenoise vol 0.3");
    // An empty drive: the open fails with one message and no document.
    const std::u16string device = platform::Utf8ToUtf16(dir + "/device");
    EXPECT_EQ(app::OpenImageByPath(device, true, true, false), nullptr);
    EXPECT_EQ(foundation::OperationStatus, foundation::kStatusFailed);
    ASSERT_EQ(drive_.ui.Boxes().size(), 1u);
    EXPECT_EQ(drive_.ui.Boxes()[0].request.text.find(device), 0u);

    ASSERT_TRUE(drive_.Load("profile 0x0008\ndisc status=2 last=3\n"
                            "track control=0 mode=0 sector=2352 file=" + dir + "/t1.raw\n"
                            "track control=0 mode=0 sector=2352 file=" + dir + "/t2.raw\n"))
        << drive_.soft.lastError;

    // The drive's device, named as the user names any file to open.
    image::DocumentPtr doc(app::OpenImageByPath(device, true, true, false));
    ASSERT_TRUE(doc) << "open result " << foundation::OperationStatus;
    EXPECT_TRUE(doc->discSource);
    EXPECT_EQ(doc->formatCode, image::format_code::kAudioCd);
    EXPECT_EQ(doc->ripFlag, 1);
    ASSERT_TRUE(doc->trackList);
    EXPECT_EQ(doc->trackList->trackCount, 2);

    // The Rip Audio CD dialog with nothing selected rips every track.
    const std::string flac = dir + "/flac";
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<dialogs::ui::CRipAudioDlg*>(QApplication::activeModalWidget());
        if (!dlg) return;
        dlg->ControlAs<QComboBox>(1017)->setEditText(QString::fromStdString(flac));
        dlg->ControlAs<QComboBox>(1367)->setCurrentIndex(dlg->ControlAs<QComboBox>(1367)->findText("FLAC"));
        answered = true;
        dlg->accept();
    });
    const std::optional<int> result = dialogs::ui::RunRipAudioDialog(nullptr, doc.get(), {});
    ASSERT_TRUE(answered);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, 1);
    EXPECT_EQ(RunOk("ls " + ShellQuote(flac)), "01-Track01.flac\n02-Track02.flac\n");
    RunOk("cd " + ShellQuote(flac) + " && flac -s -t 01-Track01.flac 02-Track02.flac");
    for (const char* n : {"1", "2"}) {
        RunOk("cd " + ShellQuote(dir) + " && flac -s -d -f --force-raw-format --endian=little --sign=signed -o t" + n +
              ".dec flac/0" + n + "-Track0" + n + ".flac && cmp t" + n + ".dec t" + n + ".raw");
    }

    // The same job to WAV: the PCM after the 44-byte header is the track's.
    dialogs::ui::RipRequest request;
    request.folder = QString::fromStdString(dir + "/wav");
    request.format = 1;
    request.positions = {0, 1};
    ASSERT_EQ(dialogs::ui::RunRipJob(nullptr, doc.get(), request), 1);
    RunOk("cd " + ShellQuote(dir) + " && tail -c +45 wav/01-Track01.wav | cmp - t1.raw"
          " && tail -c +45 wav/02-Track02.wav | cmp - t2.raw");
    EXPECT_EQ(drive_.ui.Boxes().size(), 1u);   // nothing more than the empty drive's
}

}  // namespace
