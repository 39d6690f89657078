// The drive commands end to end, as root in a private mount namespace: the
// helper serves a real FUSE mount, checked with findmnt, diff, getfattr and
// mountpoint; a program working inside the drive keeps it mounted.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

const std::string kPrograms = QV_PROGRAM_DIR;

TEST(DriveCommands, MountListReadUnmount) {
    if (qvtest::Run("unshare --mount --propagation private true").exitCode != 0 ||
        qvtest::Run("test -c /dev/fuse && test -r /dev/fuse").exitCode != 0) {
        GTEST_SKIP() << "no private mount namespace or no /dev/fuse here";
    }
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir -p " + (dir / "src/sub") + " && cd " + (dir / "src") +
                  " && head -c 200000 /dev/urandom > sub/b.bin && printf hi > a.txt");
    qvtest::RunOk("xorriso -as mkisofs -quiet -J -r -o " + (dir / "t.iso") + " " + (dir / "src") + " 2>/dev/null");
    qvtest::RunOk("cd " + (dir / "src") + " && 7z a -ps3cret -mhe=on " + (dir / "locked.7z") + " . >/dev/null");
    const std::string script = dir / "run.sh";
    qvtest::WriteFileText(script, R"(
set -u
P=")" + kPrograms + R"("
export XDG_RUNTIME_DIR=")" + (dir / "run") + R"("
mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
"$P/qvhelper" & H=$!
for i in $(seq 100); do "$P/zarn" listvd >/dev/null 2>&1 && break; sleep 0.1; done
"$P/zarn" setvdnum 2 </dev/null >/dev/null; echo "setvdnum=$?"
# The virtual drives follow the machine's optical drives, if it has any.
L=$("$P/zarn" listvd </dev/null | sed -n 's/^Drive \[\([A-Z]\):\].*/\1/p' | head -n 1)
echo "first=$L"
D="$XDG_RUNTIME_DIR/quendravine/drives/$L"
"$P/zarn" mount ")" + (dir / "t.iso") + R"(" $L: </dev/null | tail -c 19; echo " mount=$?"
"$P/zarn" listvd </dev/null | grep Drive
findmnt -n -o FSTYPE "$D"
diff -r "$D" ")" + (dir / "src") + R"(" && echo diff=same
getfattr --only-values -n user.quendravine.mount "$D"; echo
B="$XDG_RUNTIME_DIR/busy.txt"
(cd "$D/sub" && "$P/zarn" unmount $L: </dev/null > "$B"; echo "busy:"; tail -c 15 "$B"; echo;
 grep -c '^Drive\['"$L"':\] is in use by: .*bash ('"$BASHPID"')' "$B")
"$P/zarn" unmount $L: </dev/null | tail -c 21; echo " unmount=$?"
# A password archive: the password goes along to the helper, which reads
# the files with it; a wrong one mounts nothing.
"$P/zarn" mount ")" + (dir / "locked.7z") + R"(" $L: -password wrong </dev/null | tail -c 13; echo " wrong=$?"
"$P/zarn" mount ")" + (dir / "locked.7z") + R"(" $L: -password s3cret </dev/null | tail -c 19; echo " locked=$?"
diff -r "$D" ")" + (dir / "src") + R"(" && echo locked-diff=same
"$P/zarn" unmount $L: </dev/null >/dev/null; echo "unmount-locked=$?"
mountpoint -q "$D"; echo "mountpoint=$?"
"$P/zarn" unmount Q: </dev/null | grep -c "is not a virtual drive"
kill $H; wait $H; echo "helper=$?"
)");
    const qvtest::CommandResult r = qvtest::Run("timeout 120 unshare --mount --propagation private bash " + script);
    const std::string& out = r.output;
    const size_t first = out.find("first=");
    ASSERT_NE(first, std::string::npos) << out;
    const char letter = out[first + 6];
    ASSERT_TRUE(letter >= 'A' && letter < 'Z') << out;
    const std::string d(1, letter);
    const std::string e(1, char(letter + 1));
    for (const std::string& expected : std::vector<std::string>{"setvdnum=0", "Mount successfully. mount=0", "Drive [" + d + ":] " + (dir / "t.iso"), "Drive [" + e + ":] <No media>",
          "fuse.quendravine", "diff=same", (dir / "t.iso") + "\n", "busy:\nUnmount failed.\n1\n",
          "Unmount successfully. unmount=0", "mountpoint=32", "Mount failed. wrong=", "Mount successfully. locked=0",
          "locked-diff=same", "unmount-locked=0", "helper=0"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << "missing: " << expected << "\n" << out;
    }
}

}  // namespace
