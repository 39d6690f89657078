// The burn dialog driving whole burns on the software drive: an xorriso ISO
// burnt and read back by isoinfo; a write held in the drive while Escape and
// the close box only ask the job to stop; the event list's clipboard text.

#include "window/dialogs/burn_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "app/document_lifecycle.h"
#include "app/other_openers.h"
#include "audio/tracks/track_model.h"
#include "burn/burn_drive_support.h"
#include "image/build/add_disk_files.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/burn_event_list.h"

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

struct BurnDialogTest : ::testing::Test {
    BurnDialogTest() {
        ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        qvtest::EnsureApplication();
    }
    ~BurnDialogTest() override { ::unsetenv("QV_CONFIG_DIR"); }
    qvtest::TempDir config;
};

TEST_F(BurnDialogTest, IsoBurntFromTheDialogReadsBackWithIsoinfo) {
    burntest::BurnDrive drive;
    const std::string iso = burntest::MakeIso(drive.dir, "disc", 700);
    const std::string out = drive.dir / "export";
    qvtest::RunOk("mkdir -p " + Q(out));
    ASSERT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nspeeds read=7056 write=1764,3528,7056\n"
                           "write capacity=359849 export=" + out + "\n"))
        << drive.soft.lastError;
    CBurnDlg dialog(platform::Utf8ToUtf16(iso));
    dialog.show();
    QTest::qWait(20);
    auto* drives = dialog.ControlAs<QComboBox>(1173);
    ASSERT_EQ(drives->count(), 1);
    EXPECT_TRUE(drives->itemText(0).startsWith(QStringLiteral("(E:) ")));
    // The drive's own write speeds, CD units found from the values.
    auto* speeds = dialog.ControlAs<QComboBox>(1174);
    QStringList texts;
    for (int i = 0; i < speeds->count(); ++i) texts << speeds->itemText(i);
    EXPECT_EQ(texts.join(u'|'), QStringLiteral("Maximum|10x (1764KB/s)|20x (3528KB/s)|40x (7056KB/s)"));
    speeds->setCurrentIndex(2);
    EXPECT_TRUE(dialog.Events()->EventsText().contains(QStringLiteral("Image file size:")));

    dialog.ControlAs<QPushButton>(1179)->click();
    EXPECT_TRUE(dialog.Busy());
    EXPECT_FALSE(dialog.ControlAs<QPushButton>(1179)->isEnabled());
    ASSERT_TRUE(WaitIdle(dialog));
    const QString events = dialog.Events()->EventsText();
    EXPECT_TRUE(events.contains(QStringLiteral("Burning successful."))) << events.toStdString();
    EXPECT_TRUE(dialog.ControlAs<QPushButton>(1179)->isEnabled());
    const std::string disc = out + "/disc.iso";
    const size_t size = qvtest::ReadFileBytes(iso).size();
    qvtest::RunOk("cmp -n " + std::to_string(size) + " " + Q(iso) + " " + Q(disc));
    EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + Q(disc)).find("Volume id: BURNTEST"), std::string::npos);

    // Every row, time first, CR LF after each.
    dialog.Events()->CopyEventsToClipboard();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied, events);
    EXPECT_TRUE(copied.startsWith(QStringLiteral("[")));
    EXPECT_TRUE(copied.endsWith(QStringLiteral("\r\n")));
    if (const char* shots = std::getenv("QV_SHOT_DIR"))
        dialog.grab().save(QString::fromUtf8(shots) + QStringLiteral("/burn_dialog.png"));
}

// The window's audio CD project of two sox-made WAV files with titles typed
// in: burnt from the dialog with CD-TEXT, split by bchunk and read by cd-info.
TEST_F(BurnDialogTest, AudioCdProjectBurntWithItsCdText) {
    burntest::BurnDrive drive;
    for (const char* name : {"one", "two"})
        qvtest::RunOk("sox -n -r 44100 -c 2 -b 16 " + Q(drive.dir / (std::string(name) + ".wav")) + " synth 2 sine 500");
    const std::string out = drive.dir / "export";
    qvtest::RunOk("mkdir -p " + Q(out));
    // A drive whose CD read feature says it handles CD-TEXT.
    ASSERT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nfeature code=0x1E current=1 data=01000000\n"
                           "write capacity=359849 export=" + out + "\n"))
        << drive.soft.lastError;
    ASSERT_EQ(app::NewAudioCdDocument(u"Audio CD"), 1);
    image::ImageContext* project = image::g_CurrentDocument;
    ASSERT_NE(project, nullptr);
    {
        // An empty project has nothing to burn.
        CBurnDlg empty(u"");
        empty.OnBurn();
        ASSERT_FALSE(drive.ui.Boxes().empty());
        EXPECT_EQ(drive.ui.Boxes().back().request.text, u"Please select the file to be burned.");
        EXPECT_FALSE(empty.Busy());
    }
    for (const char* name : {"one", "two"})
        ASSERT_EQ(audio::AddMusicFile(project, platform::Utf8ToUtf16(drive.dir / (std::string(name) + ".wav")), -1, false), 0);
    image::GetTrackCdText(0, project->trackList)->texts[image::cdtext_slot::kTitle] = u"Album";
    image::GetTrackCdText(1, project->trackList)->texts[image::cdtext_slot::kTitle] = u"One";
    image::GetTrackCdText(2, project->trackList)->texts[image::cdtext_slot::kTitle] = u"Two";
    {
        CBurnDlg dialog(u"");
        EXPECT_EQ(dialog.Source(), project);
        dialog.ControlAs<QPushButton>(1179)->click();
        ASSERT_TRUE(WaitIdle(dialog));
        const QString events = dialog.Events()->EventsText();
        EXPECT_TRUE(events.contains(QStringLiteral("Burning successful."))) << events.toStdString();
    }
    app::CloseDocument();
    qvtest::RunOk("cd " + Q(out) + " && bchunk -w disc.bin disc.cue t >/dev/null");
    EXPECT_GT(qvtest::ReadFileBytes(out + "/t02.wav").size(), 44u + 2 * 176400u - 2352u);
    const std::string info =
        qvtest::Run("cd-info --no-device-info --no-cddb --cue-file " + Q(out + "/disc.cue") + " 2>&1").output;
    EXPECT_NE(info.find("TITLE: One"), std::string::npos) << info;
    EXPECT_NE(info.find("TITLE: Two"), std::string::npos) << info;
}

// A new data project of the window with a folder of files added: built when
// Burn is pressed, burnt, and the disc read back by isoinfo and 7z.
TEST_F(BurnDialogTest, DataProjectBuiltAndBurnt) {
    burntest::BurnDrive drive;
    qvtest::RunOk("mkdir -p " + Q(drive.dir / "src/sub") + " && head -c 300000 /dev/urandom > " +
                  Q(drive.dir / "src/sub/r.bin") + " && echo hello > " + Q(drive.dir / "src/a.txt"));
    const std::string out = drive.dir / "export";
    qvtest::RunOk("mkdir -p " + Q(out));
    ASSERT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849 export=" + out + "\n"))
        << drive.soft.lastError;
    app::InstallReaders();
    ASSERT_EQ(app::NewImageDocument(u"Data", 1), 1);
    image::ImageContext* project = image::g_CurrentDocument;
    ASSERT_NE(project, nullptr);
    ASSERT_NE(image::AddDiskFolderContents(project, project->rootFolder, platform::Utf8ToUtf16(drive.dir / "src"),
                                           nullptr),
              0);
    {
        CBurnDlg dialog(u"");
        EXPECT_EQ(dialog.Source(), project);
        dialog.ControlAs<QPushButton>(1179)->click();
        ASSERT_TRUE(WaitIdle(dialog));
        const QString events = dialog.Events()->EventsText();
        ASSERT_TRUE(drive.ui.Boxes().empty()) << platform::Utf16ToUtf8(drive.ui.Boxes().back().request.text);
        EXPECT_TRUE(events.contains(QStringLiteral("Burning successful."))) << events.toStdString();
    }
    app::CloseDocument();
    app::UninstallReaders();
    EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + Q(out + "/disc.iso")).find("Volume id:"), std::string::npos);
    qvtest::RunOk("7z x -y -o" + Q(drive.dir / "back") + " " + Q(out + "/disc.iso") + " >/dev/null");
    const std::string found = qvtest::RunOk("cd " + Q(drive.dir / "back") + " && find . -iname 'r.bin*' -o -iname 'a.txt*'");
    EXPECT_NE(found.find("/sub/"), std::string::npos) << found;
    qvtest::RunOk("cd " + Q(drive.dir / "back") + " && cmp \"$(find . -iname 'r.bin*')\" " + Q(drive.dir / "src/sub/r.bin") +
                  " && cmp \"$(find . -iname 'a.txt*')\" " + Q(drive.dir / "src/a.txt"));
}

TEST_F(BurnDialogTest, EscapeAndCloseDuringAJobOnlyAskItToStop) {
    burntest::BurnDrive drive;
    const std::string iso = burntest::MakeIso(drive.dir, "disc", 900);
    ASSERT_TRUE(drive.Load("profile 0x001B\ndisc status=0 last=0\nwrite capacity=2295104\n")) << drive.soft.lastError;
    // The fifth WRITE waits in the drive until the test opens the gate.
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::promise<void> reached;
    softdrive::Fault hold;
    hold.kind = softdrive::Fault::Kind::Latency;
    hold.opcode = 0x2A;
    hold.nth = 5;
    hold.bytes = 1;
    drive.soft.drive.AddFault(hold);
    drive.soft.drive.latencyHook = [&](uint32_t) {
        reached.set_value();
        opened.wait();
    };
    CBurnDlg dialog(platform::Utf8ToUtf16(iso));
    dialog.show();
    dialog.ControlAs<QPushButton>(1179)->click();
    ASSERT_TRUE(dialog.Busy());
    std::future<void> atWrite = reached.get_future();
    while (atWrite.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) QTest::qWait(10);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.close();
    dialog.ControlAs<QPushButton>(2)->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.Busy());
    gate.set_value();
    ASSERT_TRUE(WaitIdle(dialog));
    const QString events = dialog.Events()->EventsText();
    EXPECT_FALSE(events.contains(QStringLiteral("Burning successful."))) << events.toStdString();
    EXPECT_LE(drive.Count(0x2A), 6u);
    EXPECT_TRUE(dialog.isVisible());
    dialog.ControlAs<QPushButton>(2)->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(BurnDialogTest, EventListKeepsThreeHundredRowsFedFromAnyThread) {
    dialogs::ui::CBurnEventList list;
    // Rewriting with no row yet gives the first row.
    list.ReplaceLastEvent(false, u"first");
    QTest::qWait(10);
    ASSERT_EQ(list.topLevelItemCount(), 1);
    EXPECT_EQ(list.topLevelItem(0)->text(1), QStringLiteral("first"));
    std::thread other([&] {
        for (int i = 0; i < 301; ++i) list.AddEvent(i % 2 == 1, platform::Utf8ToUtf16("row " + std::to_string(i)));
    });
    other.join();
    QTest::qWait(20);
    ASSERT_EQ(list.topLevelItemCount(), 300);
    EXPECT_EQ(list.topLevelItem(0)->text(1), QStringLiteral("row 1"));
    EXPECT_EQ(list.topLevelItem(299)->text(1), QStringLiteral("row 300"));
    list.ReplaceLastEvent(true, u"rewritten");
    QTest::qWait(10);
    EXPECT_EQ(list.topLevelItemCount(), 300);
    EXPECT_EQ(list.topLevelItem(299)->text(1), QStringLiteral("rewritten"));
    EXPECT_TRUE(list.topLevelItem(299)->data(0, Qt::UserRole).toBool());
}

TEST_F(BurnDialogTest, SourcesThatAreNoImageLeaveNoSourceAndOneMessage) {
    burntest::BurnDrive drive;
    qvtest::RunOk("mkdir -p " + Q(drive.dir / "folder") + " && mkfifo " + Q(drive.dir / "pipe") +
                  " && head -c 5000 /dev/urandom > " + Q(drive.dir / "garbage.iso"));
    ASSERT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nwrite capacity=359849\n"));
    for (const char* name : {"missing.iso", "folder", "pipe", "garbage.iso"}) {
        SCOPED_TRACE(name);
        const size_t before = drive.ui.Boxes().size();
        CBurnDlg dialog(platform::Utf8ToUtf16(drive.dir / name));
        EXPECT_EQ(dialog.Source(), nullptr);
        EXPECT_TRUE(dialog.ControlAs<QLineEdit>(1019)->text().isEmpty());
        EXPECT_EQ(drive.ui.Boxes().size(), before + 1);
        // Burn without a source asks for one.
        dialog.OnBurn();
        ASSERT_EQ(drive.ui.Boxes().size(), before + 2);
        EXPECT_EQ(drive.ui.Boxes().back().request.text, u"Please select the file to be burned.");
        EXPECT_FALSE(dialog.Busy());
    }
}

}  // namespace
