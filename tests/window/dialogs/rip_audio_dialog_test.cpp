// Rip Audio CD and the audio Extract dialog: what the dialog shows and stores,
// and rips of sox-made discs under the progress dialog, read back by the
// codecs' own tools (flac, lame, ffprobe, cuebreakpoints).

#include "window/dialogs/rip_audio_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/audio_save_routes.h"
#include "audio/tracks/audio_services_install.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/scripted_prompts.h"
#include "foundation/settings.h"
#include "foundation/window_faces.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/progress_prompts.h"

namespace {

using dialogs::ui::CRipAudioDlg;
using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

// Three tracks of 2, 1 and 1 seconds (150, 75, 75 sectors): tone, noise,
// tone. The first two carry CD-TEXT titles, the third none.
constexpr char kCue[] =
    "PERFORMER \"Band\"\nTITLE \"Album\"\nFILE \"disc.bin\" BINARY\n"
    "  TRACK 01 AUDIO\n    TITLE \"One\"\n    PERFORMER \"Singer\"\n    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:02:00\n"
    "  TRACK 03 AUDIO\n    INDEX 01 00:03:00\n";

class RipAudioTest : public ::testing::Test {
protected:
    RipAudioTest() : faces_(inner_), uiScope_(&faces_), promptScope_(&prompts_) {
        ::setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        qvtest::EnsureApplication();
        foundation::ResetOperationStatus();
        foundation::StandingOverwriteAnswer = -1;
        app::InstallReaders();
        cmdline::InstallAudioSaveRoutes();
    }
    ~RipAudioTest() override {
        cmdline::RemoveAudioSaveRoutes();
        app::UninstallReaders();
        ::unsetenv("QV_CONFIG_DIR");
    }

    std::string UserReg() const {
        std::ifstream in(config_ / "user.reg", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    image::DocumentPtr MakeDisc() {
        RunOk("cd " + ShellQuote(dir_.path()) +
              " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw t1.raw synth 2 sine 440 vol 0.5"
              " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw t2.raw synth 1 whitenoise vol 0.3"
              " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw t3.raw synth 1 sine 660 vol 0.5"
              " && cat t1.raw t2.raw t3.raw > disc.bin");
        qvtest::WriteFileText(dir_ / "disc.cue", kCue);
        image::DocumentPtr doc(app::OpenImageByPath(U(dir_ / "disc.cue"), false, true, false));
        return doc;
    }

    qvtest::TempDir config_;
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices inner_;
    dialogs::ui::ProgressUiServices faces_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_;
    foundation::ScriptedPrompts prompts_;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope_;
};

TEST_F(RipAudioTest, DialogShowsAndStoresItsChoices) {
    struct Row {
        const char* name;
        uint32_t storedFormat;   // 0: none stored
        const char* shownFormat;
        bool configEnabled;
    };
    const Row rows[] = {
        {"nothing stored", 0, "MP3", true},
        {"OGG is no choice here", 6, "MP3", true},
        {"WAV has nothing to configure", 1, "WAV", false},
        {"WMA neither", 2, "WMA", false},
        {"FLAC", 5, "FLAC", true},
    };
    for (const Row& r : rows) {
        if (r.storedFormat) foundation::WriteSettingDword(u"AudioOutputFormat", r.storedFormat);
        CRipAudioDlg dlg(false, false);
        EXPECT_EQ(dlg.ControlAs<QComboBox>(1367)->currentText(), QString::fromLatin1(r.shownFormat)) << r.name;
        EXPECT_EQ(dlg.ControlAs<QPushButton>(1147)->isEnabled(), r.configEnabled) << r.name;
    }

    // The template shows placeholders; cleared, it previews and stores the default.
    foundation::WriteSettingString(u"AudioFileNameFormat", u"|T - |t");
    foundation::WriteSettingDword(u"AudioOutputFormat", 3);
    CRipAudioDlg dlg(false, false);
    EXPECT_EQ(dlg.ControlAs<QLineEdit>(1365)->text(), QStringLiteral("<Album Title> - <Track Title>"));
    EXPECT_EQ(dlg.ControlAs<QLabel>(1366)->text(), QStringLiteral("Sample Album Title - Sample Track Title.mp3"));
    dlg.ControlAs<QLineEdit>(1365)->clear();
    EXPECT_EQ(dlg.ControlAs<QLabel>(1366)->text(), QStringLiteral("01-Sample Track Title.mp3"));
    dlg.ControlAs<QComboBox>(1367)->setCurrentIndex(dlg.ControlAs<QComboBox>(1367)->findText("FLAC"));
    EXPECT_EQ(dlg.ControlAs<QLabel>(1366)->text(), QStringLiteral("01-Sample Track Title.flac"));
    EXPECT_TRUE(dlg.ControlAs<QRadioButton>(1020)->isChecked());

    // A folder of blanks is refused and the dialog stays.
    dlg.show();
    dlg.ControlAs<QComboBox>(1017)->setEditText(QStringLiteral("   "));
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(inner_.Boxes().size(), 1u);
    EXPECT_EQ(inner_.Boxes()[0].request.text, u"The extract path can not be empty.");

    const std::string before = UserReg();
    dlg.ControlAs<QComboBox>(1017)->setEditText(QString::fromStdString(dir_ / "music"));
    dlg.accept();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Folder(), QString::fromStdString(dir_ / "music"));
    EXPECT_FALSE(dlg.AllTracks());
    EXPECT_EQ(foundation::GetAudioFileNameFormat(), u"|#-|t");
    EXPECT_EQ(foundation::ReadSettingDword(u"AudioOutputFormat", 0), 5u);
    // Only what changed reaches the store: the mode stayed as it was.
    EXPECT_EQ(UserReg().find("AudioOutputMode"), std::string::npos);
    EXPECT_NE(UserReg(), before);

    // Opened again, the folder is first in the history.
    CRipAudioDlg again(false, true);
    EXPECT_EQ(again.ControlAs<QComboBox>(1017)->currentText(), QString::fromStdString(dir_ / "music"));
    EXPECT_TRUE(again.ControlAs<QRadioButton>(1021)->isChecked());
    EXPECT_FALSE(again.ControlAs<QRadioButton>(1020)->isEnabled());
}

TEST_F(RipAudioTest, QuestionMarkMenuInsertsPlaceholders) {
    CRipAudioDlg dlg(false, false);
    auto* edit = dlg.ControlAs<QLineEdit>(1365);
    edit->setText(QStringLiteral("x-"));
    edit->end(false);
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* action : menu->actions()) {
            offered << action->text();
            if (action->property("commandId").toUInt() == 33247) action->trigger();
        }
        menu->close();
    });
    dlg.ShowTokenMenu();
    EXPECT_EQ(offered, (QStringList{"<Track Number>", "<Track Title>", "<Track Artist>", "<Track Composer>",
                                    "<Album Title>", "<Album Artist>", "<Album Composer>"}));
    EXPECT_EQ(edit->text(), QStringLiteral("x-<Album Title>"));
    EXPECT_EQ(dlg.Preview(), QStringLiteral("x-Sample Album Title.mp3"));
}

TEST_F(RipAudioTest, RipModeHidesTheSourceChoiceAndLooksRight) {
    CRipAudioDlg plain(false, false);
    CRipAudioDlg rip(true, false);
    EXPECT_EQ(rip.windowTitle(), QStringLiteral("Rip Audio CD"));
    EXPECT_EQ(rip.ControlAs<QLabel>(1071)->text(), QStringLiteral("Rip to: "));
    plain.show();
    rip.show();
    QTest::qWait(20);
    EXPECT_FALSE(rip.ControlAs<QRadioButton>(1021)->isVisible());
    EXPECT_LT(rip.height(), plain.height());
    rip.ControlAs<QComboBox>(1017)->setEditText(QStringLiteral("/home/user/Music"));
    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR")) {
        rip.grab().save(QString::fromUtf8(shots) + "/rip_audio_cd.png");
        plain.grab().save(QString::fromUtf8(shots) + "/audio_extract.png");
    }
    rip.accept();
    EXPECT_FALSE(rip.AllTracks());   // the selection stands
    CRipAudioDlg nothingSelected(true, true);
    nothingSelected.ControlAs<QComboBox>(1017)->setEditText(QStringLiteral("/home/user/Music"));
    nothingSelected.accept();
    EXPECT_TRUE(nothingSelected.AllTracks());
}

// One rip per format, each read back by the format's own tool; the encoder
// settings chosen in the store are the ones the files carry.
TEST_F(RipAudioTest, RipsEveryFormatThatTheToolsAccept) {
    image::DocumentPtr doc = MakeDisc();
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->ripFlag, 1);
    foundation::WriteSettingDword(u"LameEncodeFormat", 0x20000140);   // CBR 320
    foundation::WriteSettingDword(u"FlacCompressionLevel", 8);
    const std::string out = dir_ / "out";
    const std::string q = ShellQuote(out);
    auto rip = [&](int32_t format) {
        dialogs::ui::RipRequest request;
        request.folder = QString::fromStdString(out);
        request.format = format;
        request.positions = {0, 1, 2};
        return dialogs::ui::RunRipJob(nullptr, doc.get(), request);
    };

    ASSERT_EQ(rip(1), 1);
    // Named from CD-TEXT where there is some, else the fallback.
    RunOk("cd " + ShellQuote(dir_.path()) + " && tail -c +45 out/01-One.wav | cmp - t1.raw"
          " && tail -c +45 out/02-Two.wav | cmp - t2.raw && tail -c +45 out/03-Track03.wav | cmp - t3.raw");

    ASSERT_EQ(rip(5), 1);
    RunOk("cd " + q + " && flac -s -t 01-One.flac 02-Two.flac 03-Track03.flac");
    RunOk("cd " + ShellQuote(dir_.path()) + " && flac -s -d -f --force-raw-format --endian=little --sign=signed"
          " -o t2.dec out/02-Two.flac && cmp t2.dec t2.raw");

    ASSERT_EQ(rip(3), 1);
    RunOk("cd " + q + " && lame --quiet --decode 02-Two.mp3 two.wav");
    // Lossy: the decoded length is the track's plus at most the encoder's delay
    // and padding (under two frames of 1152 samples at each end).
    const long samples = std::stol(RunOk("soxi -s " + ShellQuote(out + "/two.wav")));
    EXPECT_GE(samples, 44100);
    EXPECT_LE(samples, 44100 + 4 * 1152);
    EXPECT_EQ(RunOk("ffprobe -v error -show_entries stream=bit_rate -of csv=p=0 " + ShellQuote(out + "/01-One.mp3")),
              "320000\n");

    ASSERT_EQ(rip(2), 1);
    EXPECT_EQ(RunOk("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 " +
                    ShellQuote(out + "/03-Track03.wma")),
              "wmav2,44100,2\n");
    EXPECT_TRUE(inner_.Boxes().empty());
}

TEST_F(RipAudioTest, OneFileWithItsCueSheet) {
    image::DocumentPtr doc = MakeDisc();
    ASSERT_TRUE(doc);
    RunOk("mkdir " + ShellQuote(dir_ / "one"));
    dialogs::ui::RipRequest request;
    request.folder = QString::fromStdString(dir_ / "one");
    request.format = 5;
    request.mode = 1;
    request.positions = {0, 1, 2};
    request.singleFilePath = U(dir_ / "one/Album.flac");
    ASSERT_EQ(dialogs::ui::RunRipJob(nullptr, doc.get(), request), 1);
    RunOk("cd " + ShellQuote(dir_ / "one") + " && flac -s -t Album.flac");
    EXPECT_EQ(RunOk("soxi -s " + ShellQuote(dir_ / "one/Album.flac")), "176400\n");
    // The sheet's breaks lie where the tracks meet (2 and 3 seconds).
    EXPECT_EQ(RunOk("cuebreakpoints " + ShellQuote(dir_ / "one/Album.cue")), "0:02.00\n0:03.00\n");
}

// A sheet of music files is ripped from their decoded sound; a file that
// cannot be decoded fails with one message and leaves the others whole.
TEST_F(RipAudioTest, SheetOfMusicFiles) {
    RunOk("cd " + ShellQuote(dir_.path()) +
          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw a.raw synth 2 sine 440 vol 0.5"
          " && sox -n -r 44100 -c 2 -b 16 -e signed -L -t raw b.raw synth 1 sine 330 vol 0.5"
          " && sox -r 44100 -c 2 -b 16 -e signed -L -t raw a.raw a.flac"
          " && sox -r 44100 -c 2 -b 16 -e signed -L -t raw b.raw b.wav && cp b.wav c.wav");
    qvtest::WriteFileText(dir_ / "music.cue", "FILE \"a.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Ay\"\n"
                                              "    INDEX 01 00:00:00\nFILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n"
                                              "    INDEX 01 00:00:00\nFILE \"c.wav\" WAVE\n  TRACK 03 AUDIO\n"
                                              "    INDEX 01 00:00:00\n");
    // As the programs do at start: music files decode through the audio side.
    audio::InstallAudioServices();
    image::DocumentPtr doc(app::OpenImageByPath(U(dir_ / "music.cue"), false, true, false));
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->ripFlag, 1);
    // The third file is spoilt once the sheet is open.
    RunOk("cd " + ShellQuote(dir_.path()) + " && head -c 100000 /dev/urandom > c.wav");
    dialogs::ui::RipRequest request;
    request.folder = QString::fromStdString(dir_ / "m");
    request.format = 1;
    request.positions = {0, 1, 2};
    EXPECT_EQ(dialogs::ui::RunRipJob(nullptr, doc.get(), request), -1);
    RunOk("cd " + ShellQuote(dir_.path()) + " && tail -c +45 m/01-Ay.wav | cmp - a.raw"
          " && tail -c +45 m/02-Track02.wav | cmp - b.raw");
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(dir_ / "m")), "01-Ay.wav\n02-Track02.wav\n");
    ASSERT_EQ(inner_.Boxes().size(), 1u);
    EXPECT_NE(inner_.Boxes()[0].request.text.find(U(dir_ / "m/03-Track03.wav")), std::u16string::npos);
}

// The whole command as the frame runs it: the dialog answered by the user,
// the selected tracks ripped.
TEST_F(RipAudioTest, TheDialogRunsTheRipOfTheSelection) {
    image::DocumentPtr doc = MakeDisc();
    ASSERT_TRUE(doc);
    doc->ripFlag = 0;   // an audio document whose selection counts
    const std::string out = dir_ / "sel";
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CRipAudioDlg*>(QApplication::activeModalWidget());
        if (!dlg) return;
        dlg->ControlAs<QComboBox>(1017)->setEditText(QString::fromStdString(out));
        dlg->ControlAs<QComboBox>(1367)->setCurrentIndex(dlg->ControlAs<QComboBox>(1367)->findText("WAV"));
        answered = true;
        dlg->accept();
    });
    const std::optional<int> result = dialogs::ui::RunRipAudioDialog(nullptr, doc.get(), {1});
    ASSERT_TRUE(answered);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, 1);
    EXPECT_EQ(RunOk("ls " + ShellQuote(out)), "02-Two.wav\n");
}

TEST_F(RipAudioTest, FailuresLeaveNoHalfFileAndKeepTheFinishedTracks) {
    image::DocumentPtr doc = MakeDisc();
    ASSERT_TRUE(doc);
    const std::string out = dir_ / "bad";
    RunOk("mkdir " + ShellQuote(out) + " && echo old > " + ShellQuote(out + "/02-Two.flac"));
    dialogs::ui::RipRequest request;
    request.folder = QString::fromStdString(out);
    request.format = 5;
    request.positions = {0, 1, 2};

    // Cancel at the question about the existing second file: the first stays
    // whole, the old second untouched, the third never started, no leftovers.
    prompts_.PushAnswer(foundation::overwrite_answer::kCancel);
    EXPECT_EQ(dialogs::ui::RunRipJob(nullptr, doc.get(), request), 0);
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(out)), "01-One.flac\n02-Two.flac\n");
    RunOk("flac -s -t " + ShellQuote(out + "/01-One.flac"));
    EXPECT_EQ(RunOk("cat " + ShellQuote(out + "/02-Two.flac")), "old\n");

    // A template with a slash, dots and a control character still names a
    // file inside the folder.
    foundation::StandingOverwriteAnswer = -1;
    foundation::WriteSettingString(u"AudioFileNameFormat", u"../|t\x01");
    request.positions = {2};
    request.format = 1;
    EXPECT_EQ(dialogs::ui::RunRipJob(nullptr, doc.get(), request), 1);
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(out) + " | wc -l"), "3\n");
    EXPECT_EQ(RunOk("ls -A " + ShellQuote(dir_.path()) + " | grep -c wav || true"), "0\n");

    // A folder that cannot be made (a file stands in its path): one clear
    // message, a failure, nothing written.
    foundation::WriteSettingString(u"AudioFileNameFormat", u"|#-|t");
    request.folder = QString::fromStdString(out + "/02-Two.flac/sub");
    EXPECT_EQ(dialogs::ui::RunRipJob(nullptr, doc.get(), request), -1);
    ASSERT_FALSE(inner_.Boxes().empty());
    EXPECT_NE(inner_.Boxes().back().request.text.find(u"Extract failed!"), std::u16string::npos);
}

}  // namespace
