// The About dialog: its facts, and its links opened by the desktop's opener
// (a stand-in xdg-open on PATH records what it was given).

#include "window/dialogs/about_dialog.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "foundation/programs.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/link_label.h"

namespace {

using dialogs::ui::CAboutDlg;

std::string WaitForLine(const std::string& path) {
    // The opener is started, not waited for.
    for (int i = 0; i < 500; ++i) {
        std::ifstream in(path);
        std::string line;
        if (std::getline(in, line) && !line.empty()) return line;
        usleep(10000);
    }
    return {};
}

TEST(AboutDialog, ShowsItsFactsAndOpensItsLinks) {
    qvtest::EnsureApplication();
    qvtest::TempDir bin;
    const std::string log = bin / "opened";
    qvtest::WriteFileText(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " + qvtest::ShellQuote(log) + "\n");
    ::chmod((bin / "xdg-open").c_str(), 0755);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin.path() + ":" + oldPath).c_str(), 1);

    CAboutDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About Quendravine"));
    EXPECT_EQ(dlg.ControlAs<QLabel>(1323)->text(), QStringLiteral("Version 2.8"));
    EXPECT_EQ(dlg.ControlAs<QLabel>(1324)->text(), QStringLiteral("Homepage"));
    EXPECT_EQ(dlg.ControlAs<QLabel>(1325)->text(), QStringLiteral("Email"));
    EXPECT_EQ(dlg.MailLink()->text(), QString::fromStdU16String(foundation::GetWebLink(3)));
    EXPECT_EQ(dlg.HomePageLink()->text(), QString::fromStdU16String(foundation::GetWebLink(6)));
    EXPECT_FALSE(dlg.ControlAs<QLabel>(1322)->pixmap().isNull());
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR")) dlg.grab().save(QString::fromUtf8(shots) + "/about.png");

    QTest::mouseClick(dlg.MailLink(), Qt::LeftButton, {}, dlg.MailLink()->TextRect().center());
    EXPECT_EQ(WaitForLine(log), "mailto:" + platform::Utf16ToUtf8(foundation::GetWebLink(3)));
    ::unlink(log.c_str());
    QTest::mouseClick(dlg.HomePageLink(), Qt::LeftButton, {}, dlg.HomePageLink()->TextRect().center());
    EXPECT_EQ(WaitForLine(log), platform::Utf16ToUtf8(foundation::GetWebLink(1)));
    foundation::WaitForLaunchWaiters();
    ::setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace
