// Burning from a file manager, end to end: qvshell's burn verb on an xorriso
// ISO writes the command file and starts the window program (a stand-in that
// records its argv, the file left for the real reader); the window program's
// start-up then loads that file as it does for "-pf", the burn dialog opens
// with the image preset, and Burn writes it to the software drive, whose
// medium must equal the ISO (cmp, isoinfo). Then the same verb under Xvfb
// starts the real window program, whose burn dialog X tools find and close.

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/document_lifecycle.h"
#include "app/startup_state.h"
#include "burn/burn_drive_support.h"
#include "cmdline/command_file.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/burn_dialog.h"
#include "window/dialogs/burn_event_list.h"
#include "window/frame/command_file_dialogs.h"

namespace {

using qvtest::ShellQuote;

const std::string kPrograms = QV_PROGRAM_DIR;

// Records argv and leaves the command file where qvshell put it.
const char* const kRecorder = R"(d=$(dirname "$0")/calls
{ printf '%s\n' "$0"; for a in "$@"; do printf '%s\n' "$a"; done; } > "$d/0.argv"
touch "$d/0.done"
)";

struct ShellBurnTest : ::testing::Test {
    burntest::BurnDrive drive;
    std::string recorder = drive.dir / "program";
    std::string runtime = drive.dir / "run";
    std::string config = drive.dir / "config";
    app::ui::CommandFileDialogs dialogs{nullptr};
    foundation::ScopedServices<app::SetCommandFileDialogs> dialogsScope{&dialogs};

    ShellBurnTest() {
        qvtest::RunOk("mkdir -p " + ShellQuote(recorder + "/calls") + " " + ShellQuote(config) + " && mkdir -m 700 " +
                      ShellQuote(runtime));
        qvtest::WriteFileText(recorder + "/quendravine", std::string("#!/bin/sh\n") + kRecorder);
        qvtest::RunOk("chmod 755 " + ShellQuote(recorder + "/quendravine"));
        qvtest::WriteFileText(config + "/user.reg", "Windows Registry Editor Version 5.00\r\n\r\n[Software\\Quendravine]\r\n"
                                                    "\"Install_Dir\"=\"" + recorder + "\"\r\n");
        // The window program's side runs in this process with the same store
        // and runtime folder as qvshell.
        ::setenv("QV_CONFIG_DIR", config.c_str(), 1);
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) oldRuntime = old;
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        qvtest::EnsureApplication();
    }
    ~ShellBurnTest() override {
        app::SetStartupActionServices(nullptr);
        app::CloseDocument();
        ::unsetenv("QV_CONFIG_DIR");
        if (oldRuntime) ::setenv("XDG_RUNTIME_DIR", oldRuntime->c_str(), 1);
        else ::unsetenv("XDG_RUNTIME_DIR");
    }
    std::optional<std::string> oldRuntime;
};

TEST_F(ShellBurnTest, BurnVerbBurnsTheIsoOnTheDrive) {
    const std::string iso = burntest::MakeIso(drive.dir, "disc", 700);
    const std::string out = drive.dir / "export";
    qvtest::RunOk("mkdir -p " + ShellQuote(out));
    ASSERT_TRUE(drive.Load("profile 0x0009\ndisc status=0 last=0\natip\nspeeds read=7056 write=1764,3528,7056\n"
                           "write capacity=359849 export=" + out + "\n"))
        << drive.soft.lastError;

    // The file manager's side.
    const qvtest::CommandResult shell =
        qvtest::Run("cd " + ShellQuote(drive.dir.path()) + " && QV_CONFIG_DIR=" + ShellQuote(config) +
                    " XDG_RUNTIME_DIR=" + ShellQuote(runtime) + " " + ShellQuote(kPrograms + "/qvshell") +
                    " --invoke burn -- " + ShellQuote(iso) + " 2>&1");
    ASSERT_EQ(shell.exitCode, 0) << shell.output;
    bool started = false;
    for (int i = 0; i < 400 && !started; ++i) {
        started = qvtest::Run("test -e " + ShellQuote(recorder + "/calls/0.done")).exitCode == 0;
        if (!started) QTest::qWait(25);
    }
    ASSERT_TRUE(started);
    std::vector<std::string> args;
    {
        std::istringstream lines(qvtest::RunOk("cat " + ShellQuote(recorder + "/calls/0.argv")));
        for (std::string line; std::getline(lines, line);) args.push_back(line);
    }
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[1], "-pf");

    // The window program's start-up with that argv.
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_TRUE(cmdline::InstallCommandFileAction(int(args.size()), argv.data()));
    ASSERT_TRUE(app::StartupActionServices().HasStartupAction());
    // Read once and removed from the runtime folder.
    EXPECT_EQ(qvtest::RunOk("find " + ShellQuote(runtime) + " -name 'command-*'"), "");

    QString shownPath, events;
    bool seen = false, idle = false;
    QTimer::singleShot(50, [&] {
        auto* burn = qobject_cast<dialogs::ui::CBurnDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(burn, nullptr);
        seen = true;
        QCoreApplication::processEvents();
        shownPath = burn->ControlAs<QLineEdit>(1019)->text();
        burn->ControlAs<QPushButton>(1179)->click();
        QElapsedTimer clock;
        clock.start();
        while (burn->Busy() && clock.elapsed() < 120000) QTest::qWait(20);
        QTest::qWait(20);
        idle = !burn->Busy();
        events = burn->Events()->EventsText();
        if (const char* shots = std::getenv("QV_SHOT_DIR"))
            burn->grab().save(QString::fromUtf8(shots) + QStringLiteral("/shell_burn.png"));
        burn->reject();
    });
    EXPECT_EQ(app::StartupActionServices().RunStartupAction(), -1);
    ASSERT_TRUE(seen);
    EXPECT_EQ(shownPath.toStdString(), iso);
    ASSERT_TRUE(idle);
    EXPECT_TRUE(events.contains(QStringLiteral("Burning successful."))) << events.toStdString();
    EXPECT_TRUE(drive.ui.Boxes().empty()) << platform::Utf16ToUtf8(drive.ui.Boxes().back().request.text);

    // The medium holds the ISO byte for byte.
    const std::string disc = out + "/disc.iso";
    const size_t size = qvtest::ReadFileBytes(iso).size();
    qvtest::RunOk("cmp -n " + std::to_string(size) + " " + ShellQuote(iso) + " " + ShellQuote(disc));
    EXPECT_NE(qvtest::RunOk("isoinfo -d -i " + ShellQuote(disc)).find("Volume id: BURNTEST"), std::string::npos);
}

// The real window program started by qvshell under Xvfb: its burn dialog
// appears over the main window, Escape closes it, and the program ends with
// its window, the command file gone.
TEST(ShellBurnUnderX, RealProgramOpensTheBurnDialog) {
    if (qvtest::Run("command -v xvfb-run && command -v xwininfo && command -v xdotool && command -v openbox").exitCode != 0)
        GTEST_SKIP() << "xvfb-run, x11-utils, xdotool or openbox missing";
    qvtest::TempDir home;
    const std::string iso = burntest::MakeIso(home, "disc", 200);
    qvtest::RunOk("cd " + ShellQuote(home.path()) + " && mkdir -p config run tmp && chmod 700 run");
    qvtest::WriteFileText(home / "config/user.reg", "Windows Registry Editor Version 5.00\r\n\r\n[Software\\Quendravine]\r\n"
                                                    "\"Install_Dir\"=\"" + kPrograms + "\"\r\n");
    const std::string script = R"(
set -u
openbox >/dev/null 2>&1 &
sleep 0.5
"$PROGRAMS/qvshell" --invoke burn -- "$ISO"; echo "qvshell=$?"
for _ in $(seq 150); do xwininfo -name 'Burn Disc Image File' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 0.5
xwininfo -name 'Burn Disc Image File' >/dev/null 2>&1 && echo dialog-shown
[ -n "${SHOTS:-}" ] && import -window root "$SHOTS/shell_burn_x.png"
pid=$(xdotool search --name 'Burn Disc Image File' getwindowpid | head -1)
[ -n "$pid" ] || echo no-pid
win=$(xdotool search --name 'Burn Disc Image File' | head -1)
xdotool windowactivate --sync "$win" 2>/dev/null; xdotool key --clearmodifiers Escape; sleep 0.5
xwininfo -name 'Burn Disc Image File' >/dev/null 2>&1 && echo dialog-still-open
main=$(xdotool search --name 'Quendravine - ' | head -1)
xdotool windowactivate --sync "$main" 2>/dev/null; xdotool key --clearmodifiers alt+F4
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { echo still-running; kill "$pid"; }
ls -A "$XDG_RUNTIME_DIR/quendravine" 2>/dev/null | grep '^command-' | sed 's/^/left:/'
)";
    qvtest::WriteFileText(home / "run.sh", script);
    const char* shots = std::getenv("QV_SHOT_DIR");
    const qvtest::CommandResult result = qvtest::Run(
        "cd " + ShellQuote(home.path()) + " && HOME=" + ShellQuote(home.path()) + " TMPDIR=" + ShellQuote(home / "tmp") +
        " QV_CONFIG_DIR=" + ShellQuote(home / "config") + " XDG_RUNTIME_DIR=" + ShellQuote(home / "run") +
        " XDG_CONFIG_HOME=" + ShellQuote(home / "xdg") + " PROGRAMS=" + ShellQuote(kPrograms) + " ISO=" + ShellQuote(iso) +
        " SHOTS=" + ShellQuote(shots ? shots : "") +
        " QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1280x1024x24' bash run.sh 2>&1");
    const std::string& out = result.output;
    EXPECT_NE(out.find("qvshell=0"), std::string::npos) << out;
    EXPECT_NE(out.find("dialog-shown"), std::string::npos) << out;
    EXPECT_EQ(out.find("dialog-still-open"), std::string::npos) << out;
    EXPECT_EQ(out.find("no-pid"), std::string::npos) << out;
    EXPECT_EQ(out.find("still-running"), std::string::npos) << out;
    EXPECT_EQ(out.find("left:"), std::string::npos) << out;
}

}  // namespace
