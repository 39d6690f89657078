// A password on zarn's command line is readable by no other local user while
// the conversion runs: neither zarn's /proc/<pid>/cmdline nor the program's
// holds it, read as another uid (setpriv) over and over during the run; and
// the output still opens with that password.

#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using qvtest::ShellQuote;

const std::string kZarn = std::string(QV_PROGRAM_DIR) + "/zarn";

TEST(Secrets, PasswordNeverInACommandLine) {
    qvtest::TempDir dir;
    qvtest::TempDir config;
    const std::string secret = "Qv7secretPW";
    qvtest::RunOk("mkdir " + ShellQuote(dir / "src") + " && head -c 40000000 /dev/urandom > " +
                  ShellQuote(dir / "src/big.bin") + " && genisoimage -quiet -o " + ShellQuote(dir / "big.iso") + " " +
                  ShellQuote(dir / "src"));
    const std::string mark = "QVTEST_SECRET_MARK=" + dir.path().substr(dir.path().rfind('/') + 1);
    // Every process started with the mark (zarn and the program), its command
    // line read as nobody, as often as the run lasts, from the moment the
    // program is there (zarn's own argv holds the password from its exec
    // until its first steps, as any program's does).
    const std::string watch =
        "seen=0; while kill -0 $Z 2>/dev/null; do "
        "ps=$(grep -lsa " + ShellQuote(mark) + " /proc/[0-9]*/environ | cut -d/ -f3); "
        "if [ $(echo $ps | wc -w) -ge 2 ]; then for p in $ps; do "
        "seen=1; setpriv --reuid=65534 --regid=65534 --clear-groups cat /proc/$p/cmdline 2>/dev/null | tr '\\0' ' '; "
        "echo; done; fi; sleep 0.02; done; echo seen=$seen; wait $Z; echo exit=$?";
    const qvtest::CommandResult r = qvtest::Run(
        "cd " + ShellQuote(dir.path()) + " && " + mark + " QV_CONFIG_DIR=" + ShellQuote(config.path()) + " " +
        ShellQuote(kZarn) + " convert big.iso -o out.daa -setpassword " + secret + " </dev/null >/dev/null 2>&1 & Z=$!; " +
        watch);
    EXPECT_NE(r.output.find("seen=1"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("exit=0"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find(secret), std::string::npos) << r.output;
    // The password did reach the program: the image asks for it.
    const qvtest::CommandResult wrong = qvtest::Run("QV_CONFIG_DIR=" + ShellQuote(config.path()) + " " +
                                                    ShellQuote(kZarn) + " list " + ShellQuote(dir / "out.daa") +
                                                    " / -password wrong </dev/null");
    const qvtest::CommandResult right = qvtest::Run("QV_CONFIG_DIR=" + ShellQuote(config.path()) + " " +
                                                    ShellQuote(kZarn) + " list " + ShellQuote(dir / "out.daa") +
                                                    " / -password " + secret + " </dev/null");
    EXPECT_EQ(right.exitCode, 0) << right.output;
    EXPECT_NE(right.output.find("BIG.BIN"), std::string::npos) << right.output;
    EXPECT_EQ(wrong.output.find("BIG.BIN"), std::string::npos) << wrong.output;
}

}  // namespace
