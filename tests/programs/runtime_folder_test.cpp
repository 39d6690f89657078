// What zarn leaves in the runtime folder, and what it does with what others
// left there: nothing stays after a run, FIFOs of a killed front end do not
// break the run whose program gets the same process id, and a runtime folder
// another user made first is refused with a message that names it.

#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using qvtest::ShellQuote;

const std::string kZarn = std::string(QV_PROGRAM_DIR) + "/zarn";

TEST(RuntimeFolder, ARunLeavesNothingBehind) {
    qvtest::TempDir runtime;
    qvtest::TempDir config;
    const qvtest::CommandResult r = qvtest::Run("XDG_RUNTIME_DIR=" + ShellQuote(runtime.path()) +
                                                " QV_CONFIG_DIR=" + ShellQuote(config.path()) + " " +
                                                ShellQuote(kZarn) + " -? </dev/null");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(qvtest::RunOk("cd " + ShellQuote(runtime.path() + "/quendravine") + " && ls | grep -v objects-token; true"),
              "");
}

// In a pid namespace zarn is process 1 and its program process 2: the
// leftovers of a killed front end are planted under that id.
TEST(RuntimeFolder, FifosOfAKilledFrontEndDoNotBreakTheNextRun) {
    qvtest::TempDir runtime;
    qvtest::TempDir config;
    const std::string folder = runtime.path() + "/quendravine";
    qvtest::RunOk("mkdir -m 700 " + ShellQuote(folder) + " && cd " + ShellQuote(folder) +
                  " && mkfifo -m 600 pipe-2cout pipe-2cin pipe-2cerr && touch mutex-zarn_sem_2");
    const qvtest::CommandResult r =
        qvtest::Run("XDG_RUNTIME_DIR=" + ShellQuote(runtime.path()) + " QV_CONFIG_DIR=" + ShellQuote(config.path()) +
                    " timeout 60 unshare -p -f " + ShellQuote(kZarn) + " -? </dev/null");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("zarn"), std::string::npos) << r.output;
    EXPECT_EQ(qvtest::RunOk("cd " + ShellQuote(folder) + " && ls | grep -v objects-token; true"), "");
}

// Without XDG_RUNTIME_DIR the folder is /tmp/quendravine-<uid>; another user
// who made it first gets a refusal naming it, never our pipes. A private /tmp
// keeps the test off the machine's.
TEST(RuntimeFolder, AFolderAnotherUserMadeIsRefusedByName) {
    qvtest::TempDir config;
    const qvtest::CommandResult r = qvtest::Run(
        "unshare -m sh -c " +
        ShellQuote("mount -t tmpfs none /tmp && F=/tmp/quendravine-$(id -u) && mkdir -m 700 $F && chown 65534 $F && "
                   "env -u XDG_RUNTIME_DIR QV_CONFIG_DIR=" +
                   ShellQuote(config.path()) + " timeout 60 " + ShellQuote(kZarn) + " -? </dev/null; echo exit=$?"));
    EXPECT_NE(r.output.find("/tmp/quendravine-"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("exit=0"), std::string::npos) << r.output;
}

}  // namespace
