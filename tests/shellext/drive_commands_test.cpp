// The drive commands of the menu end to end, as root in a private mount
// namespace: the helper serves the drives, qvshell mounts an image through
// the window program's mount helper mode and unmounts it through the drive
// channel; the menu follows what is mounted, and on a drive's own folder the
// image is picked in the file chooser.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

const std::string kPrograms = QV_PROGRAM_DIR;

TEST(ShellDriveCommands, MountAndUnmountFromTheMenu) {
    if (qvtest::Run("unshare --mount --propagation private true").exitCode != 0 ||
        qvtest::Run("test -c /dev/fuse && test -r /dev/fuse").exitCode != 0) {
        GTEST_SKIP() << "no private mount namespace or no /dev/fuse here";
    }
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir -p " + (dir / "src/sub") + " && cd " + (dir / "src") +
                  " && head -c 200000 /dev/urandom > sub/b.bin && printf hi > a.txt");
    qvtest::RunOk("xorriso -as mkisofs -quiet -J -r -o " + (dir / "t.iso") + " " + (dir / "src") + " 2>/dev/null");
    const std::string script = dir / "run.sh";
    qvtest::WriteFileText(script, R"(
set -u
P=")" + kPrograms + R"("
export XDG_RUNTIME_DIR=")" + (dir / "run") + R"(" QV_CONFIG_DIR=")" + (dir / "config") + R"("
mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
"$P/qvhelper" & H=$!
for i in $(seq 100); do "$P/zarn" listvd >/dev/null 2>&1 && break; sleep 0.1; done
"$P/zarn" setvdnum 1 </dev/null >/dev/null; echo "setvdnum=$?"
D="$XDG_RUNTIME_DIR/quendravine/drives/D"
cd ")" + dir.path() + R"("
"$P/qvshell" --menu -- t.iso | grep -F '[mount-0]'
"$P/qvshell" --invoke mount-0 -- t.iso; echo "mount=$?"
diff -r "$D" src && echo diff=same
"$P/qvshell" --menu -- t.iso | grep -F '[mount-0]'
"$P/qvshell" --menu -- "$D" | grep -F 'Unmount Drive'
"$P/qvshell" --invoke unmount -- "$D"; echo "unmount=$?"
mountpoint -q "$D"; echo "mountpoint=$?"
"$P/qvshell" --menu -- "$D" | grep -F 'Unmount Drive'
# On the drive's own folder the image is chosen in the file chooser, typed
# as a person would under Xvfb.
export P D
QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1280x800x24' sh -c '
"$P/qvshell" --invoke mount-drive -- "$D" & Q=$!
for i in $(seq 100); do W=$(xdotool search --name "^Quendravine$" | head -1); [ -n "$W" ] && break; sleep 0.1; done
[ -n "$W" ] || kill $Q
sleep 0.5
xdotool windowfocus --sync "$W" type --delay 10 ")" + (dir / "t.iso") + R"("
xdotool key --window "$W" Return
wait $Q; echo "chooser=$?"'
diff -r "$D" src && echo chosen=same
kill $H; wait $H; echo "helper=$?"
)");
    const qvtest::CommandResult r = qvtest::Run("timeout 120 unshare --mount --propagation private bash " + script + " 2>&1");
    const std::string& out = r.output;
    for (const std::string& expected : std::vector<std::string>{
             // The window program's own word on the mount goes to qvshell's output.
             "setvdnum=0", "  Mount Archive to Drive [D:] <No media>  [mount-0]\nMount successfully.mount=0\ndiff=same\n",
             "  Mount Archive to Drive [D:] " + (dir / "t.iso") + "  [mount-0]\n",
             "  Unmount Drive [D:]  [unmount]\nunmount=0\nmountpoint=32\n  Unmount Drive [D:]  [unmount-empty] grayed\n",
             "chooser=0", "chosen=same",
             "helper=0"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << "missing: " << expected << "\n" << out;
    }
}

}  // namespace
