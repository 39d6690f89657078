// Helpers of one user in two runtime folders (a desktop session and an ssh
// login) each serve only their own clients; a helper killed with SIGKILL
// leaves nothing that blocks the next one, which mounts, unmounts and ends on
// SIGTERM. In a private mount namespace with a /dev/shm of its own.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

const std::string kPrograms = QV_PROGRAM_DIR;

TEST(HelperSessions, RuntimeFoldersApartAndAKilledHelperReplaced) {
    if (qvtest::Run("unshare --mount --propagation private true").exitCode != 0 ||
        qvtest::Run("test -c /dev/fuse && test -r /dev/fuse").exitCode != 0) {
        GTEST_SKIP() << "no private mount namespace or no /dev/fuse here";
    }
    qvtest::TempDir dir;
    qvtest::RunOk("mkdir -p " + (dir / "src") + " && printf hi > " + (dir / "src/a.txt"));
    qvtest::RunOk("xorriso -as mkisofs -quiet -J -r -o " + (dir / "t.iso") + " " + (dir / "src") + " 2>/dev/null");
    const std::string script = dir / "run.sh";
    qvtest::WriteFileText(script, R"SH(
set -u
mount -t tmpfs -o mode=1777 none /dev/shm
P=")SH" + kPrograms + R"SH("
A=")SH" + (dir / "a") + R"SH("; B=")SH" + (dir / "b") + R"SH("
mkdir -m 700 "$A" "$B"
start() { XDG_RUNTIME_DIR=$1 "$P/qvhelper" </dev/null >/dev/null 2>&1 & echo $!; }
ready() { for i in $(seq 100); do XDG_RUNTIME_DIR=$1 "$P/zarn" listvd </dev/null >/dev/null 2>&1 && return; sleep 0.1; done; }
z() { XDG_RUNTIME_DIR=$1 timeout 30 "$P/zarn" "${@:2}" </dev/null; }
HA=$(start "$A"); ready "$A"
HB=$(start "$B"); ready "$B"
kill -0 $HA && kill -0 $HB && echo both-running
z "$A" setvdnum 3 >/dev/null; echo "a-count=$?"
z "$B" setvdnum 1 >/dev/null; echo "b-count=$?"
echo "a-drives=$(z "$A" listvd | grep -c 'Drive \[')"
echo "b-drives=$(z "$B" listvd | grep -c 'Drive \[')"
kill -9 $HA; wait $HA 2>/dev/null
HA=$(start "$A"); ready "$A"
z "$A" setvdnum 1 >/dev/null; echo "after-kill-count=$?"
z "$A" mount ")SH" + (dir / "t.iso") + R"SH(" D: | tail -c 19; echo " mount=$?"
z "$A" unmount D: | tail -c 21; echo " unmount=$?"
kill $HA $HB; timeout 20 tail --pid=$HA -f /dev/null && timeout 20 tail --pid=$HB -f /dev/null && echo both-ended
)SH");
    const qvtest::CommandResult r = qvtest::Run("timeout 180 unshare --mount --propagation private bash " + script);
    for (const std::string& expected :
         std::vector<std::string>{"both-running", "a-count=0", "b-count=0", "a-drives=3", "b-drives=1",
                                  "after-kill-count=0", "Mount successfully. mount=0",
                                  "Unmount successfully. unmount=0", "both-ended"}) {
        EXPECT_NE(r.output.find(expected), std::string::npos) << "missing: " << expected << "\n" << r.output;
    }
}

}  // namespace
