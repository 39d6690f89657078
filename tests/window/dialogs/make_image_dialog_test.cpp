// The make-image dialog on the software drive: the name suggested from the
// disc's label, BIN forced for an audio disc, and an image made under the
// progress dialog equal to the disc (cmp, isoinfo).

#include "window/dialogs/make_image_dialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "burn/burn_drive_support.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

namespace {

using dialogs::ui::CMakeImageDlg;

std::string Q(const std::string& s) { return qvtest::ShellQuote(s); }

struct MakeImageDialogTest : ::testing::Test {
    MakeImageDialogTest() {
        ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        qvtest::EnsureApplication();
    }
    ~MakeImageDialogTest() override { ::unsetenv("QV_CONFIG_DIR"); }
    qvtest::TempDir config;
};

TEST_F(MakeImageDialogTest, DataDiscSuggestsItsLabelAndCopiesWhole) {
    burntest::BurnDrive drive;
    const std::string iso = burntest::MakeIso(drive.dir, "disc", 500);
    ASSERT_TRUE(drive.Load("profile 0x0010\ntrack mode=1 file=" + iso + "\n")) << drive.soft.lastError;
    CMakeImageDlg dialog;
    ASSERT_TRUE(dialog.HasDrives());
    EXPECT_EQ(dialog.DriveLetter(), u'E');
    EXPECT_TRUE(dialog.ControlAs<QLineEdit>(1019)->text().endsWith(QStringLiteral("/BURNTEST.iso")));
    EXPECT_TRUE(dialog.ControlAs<QComboBox>(1508)->isEnabled());
    if (const char* shots = std::getenv("QV_SHOT_DIR")) {
        dialog.show();
        QTest::qWait(20);
        dialog.grab().save(QString::fromUtf8(shots) + QStringLiteral("/make_image_dialog.png"));
    }
    // An emptied destination is asked for and the dialog stays.
    dialog.ControlAs<QLineEdit>(1019)->clear();
    dialog.accept();
    ASSERT_EQ(drive.ui.Boxes().size(), 1u);
    EXPECT_EQ(drive.ui.Boxes()[0].request.text, u"Please input the destination file name.");
    EXPECT_EQ(dialog.result(), 0);

    const std::string made = drive.dir / "made/copy.iso";
    EXPECT_EQ(dialogs::ui::RunMakeImage(nullptr, u'E', platform::Utf8ToUtf16(made), optical::MakeImageFormat::Iso), 1);
    qvtest::RunOk("cmp " + Q(iso) + " " + Q(made));
    EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + Q(made)).find("Volume id: BURNTEST"), std::string::npos);
}

TEST_F(MakeImageDialogTest, AudioDiscTakesBinAndKeepsIt) {
    burntest::BurnDrive drive;
    qvtest::RunOk("sox -n -L -r 44100 -c 2 -b 16 -e signed " + Q(drive.dir / "a.raw") + " synth 1 sine 440");
    ASSERT_TRUE(drive.Load("profile 0x0008\ntrack session=1 control=0 mode=0 sector=2352 file=" + drive.dir / "a.raw" +
                           "\n"))
        << drive.soft.lastError;
    CMakeImageDlg dialog;
    auto* format = dialog.ControlAs<QComboBox>(1508);
    EXPECT_EQ(format->currentIndex(), 1);
    EXPECT_FALSE(format->isEnabled());
    EXPECT_EQ(dialog.Format(), optical::MakeImageFormat::Bin);
    // No label on a music disc: no name is made up.
    EXPECT_TRUE(dialog.ControlAs<QLineEdit>(1019)->text().isEmpty());
}

}  // namespace
