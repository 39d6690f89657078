// The window moved through by a user under Xvfb (openbox, xdotool): a click
// in the file list, Down and Enter into two folders, Enter on a file that is
// opened by the desktop's application (a recording stand-in for xdg-open on
// PATH), Backspace and Alt+Left, and a right click that opens the list's menu.
// Screenshots of each step are kept when QV_SCREENSHOT_DIR names a folder.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

TEST(ViewsUnderX, KeyboardMouseAndOpeningAFile) {
    if (qvtest::Run("command -v xvfb-run && command -v xdotool && command -v openbox && command -v import && "
                    "command -v xorriso")
            .exitCode != 0)
        GTEST_SKIP() << "xvfb-run, xdotool, openbox, ImageMagick or xorriso missing";
    qvtest::TempDir home;
    const std::string src = home / "src";
    for (const char* sub : {"", "/Beta", "/Beta/Inner"}) mkdir((src + sub).c_str(), 0700);
    qvtest::WriteFileText(src + "/Beta/Inner/note.txt", "a note\n");
    qvtest::WriteFileText(src + "/b.txt", "bb\n");
    ASSERT_EQ(qvtest::Run("xorriso -as mkisofs -quiet -J -R -V NAV -o " + qvtest::ShellQuote(home / "nav.iso") + " " +
                          qvtest::ShellQuote(src))
                  .exitCode,
              0);
    const std::string bin = home / "bin";
    mkdir(bin.c_str(), 0700);
    qvtest::WriteFileText(bin + "/xdg-open", "#!/bin/sh\n{ printf '%s\\n' \"$1\"; cat \"$1\"; } > \"$RECORD.tmp\" && "
                                             "mv \"$RECORD.tmp\" \"$RECORD\"\n");
    qvtest::WriteFileText(bin + "/xdg-mime",
                          "#!/bin/sh\ncase \"$2\" in filetype) echo text/plain;; *) echo x.desktop;; esac\n");
    chmod((bin + "/xdg-open").c_str(), 0700);
    chmod((bin + "/xdg-mime").c_str(), 0700);
    const char* shots = std::getenv("QV_SCREENSHOT_DIR");
    const std::string script = R"(
set -u
openbox >/dev/null 2>&1 &
sleep 0.5
PATH="$BIN:$PATH" QT_QPA_PLATFORM=xcb "$PROGRAM" "$IMAGE" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do xdotool search --name 'Quendravine - ' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1
win=$(xdotool search --name 'Quendravine - ' | head -1)
xdotool windowactivate --sync "$win" 2>/dev/null; xdotool windowfocus --sync "$win" 2>/dev/null
shot() { [ -n "$SHOTS" ] && import -window root "$SHOTS/$1.png"; }
k() { xdotool key --clearmodifiers "$@"; sleep 0.4; }
eval $(xdotool getwindowgeometry --shell "$win")
xdotool mousemove $((X+600)) $((Y+400)) click 1; sleep 0.4
k Down; k Return; shot x_beta
k Down; k Return; shot x_inner
k Down; k Return
for _ in $(seq 50); do [ -e "$RECORD" ] && break; sleep 0.1; done
k BackSpace; k BackSpace; shot x_root
k alt+Left; shot x_back
xdotool mousemove $((X+600)) $((Y+400)) click 3; sleep 0.6; shot x_menu
k Escape
xdotool windowactivate --sync "$win" 2>/dev/null
xdotool key --clearmodifiers alt+F4
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && { echo still-running; kill $pid; }
wait $pid; echo "exit=$?"
)";
    qvtest::WriteFileText(home / "run.sh", script);
    const std::string record = home / "opened";
    const std::string command =
        "cd " + qvtest::ShellQuote(home.path()) + " && mkdir -p config run tmp && chmod 700 run && TMPDIR=" +
        qvtest::ShellQuote(home / "tmp") + " HOME=" + qvtest::ShellQuote(home.path()) +
        " QV_CONFIG_DIR=" + qvtest::ShellQuote(home / "config") + " XDG_RUNTIME_DIR=" + qvtest::ShellQuote(home / "run") +
        " XDG_CONFIG_HOME=" + qvtest::ShellQuote(home / "xdg") + " BIN=" + qvtest::ShellQuote(bin) +
        " RECORD=" + qvtest::ShellQuote(record) + " IMAGE=" + qvtest::ShellQuote(home / "nav.iso") +
        " SHOTS=" + qvtest::ShellQuote(shots ? shots : "") +
        " PROGRAM=" + qvtest::ShellQuote(std::string(QV_PROGRAM_DIR) + "/quendravine") +
        " xvfb-run -a -s '-screen 0 1280x1024x24' bash run.sh 2>&1";
    const qvtest::CommandResult result = qvtest::Run(command);
    EXPECT_NE(result.output.find("exit=0"), std::string::npos) << result.output;
    const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(record);
    const std::string opened(bytes.begin(), bytes.end());
    ASSERT_FALSE(opened.empty()) << "the file was not opened\n" << result.output;
    const std::string path = opened.substr(0, opened.find('\n'));
    EXPECT_EQ(opened.substr(opened.find('\n') + 1), "a note\n");
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "note.txt");
    EXPECT_NE(path.find("/open-"), std::string::npos) << path;
    // The work folder goes with the program.
    EXPECT_NE(qvtest::Run("test -e " + qvtest::ShellQuote(path)).exitCode, 0) << path;
}

}  // namespace
