// The console's chooser end to end through zarn: a two-image WIM made by
// wimlib-imagex is extracted by the image number typed on the terminal and
// compared with wimlib-imagex apply of that image; an empty line or the end
// of input refuses with a nonzero exit and writes nothing.

#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

const std::string kZarn = std::string(QV_PROGRAM_DIR) + "/zarn";

TEST(ZarnChoosers, WimImageChosenOnTheTerminal) {
    qvtest::TempDir dir;
    setenv("QV_CONFIG_DIR", (dir / "config").c_str(), 1);
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p config a b/sub && echo one > a/one.txt && echo two > b/two.txt && head -c 300000 /dev/urandom"
          " > b/sub/deep.bin && wimlib-imagex capture a m.wim first >/dev/null && wimlib-imagex append b m.wim second"
          " >/dev/null");
    struct Row {
        const char* name;
        const char* input;
        int image;   // 0: refused
    };
    const Row rows[] = {
        {"first", "1\\n", 1},
        {"second", "2\\n", 2},
        {"empty line", "\\n", 0},
        {"end of input", "", 0},
        {"no such image", "3\\n", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = dir / "out";
        const std::string ref = dir / "ref";
        RunOk("rm -rf " + ShellQuote(out) + " " + ShellQuote(ref));
        const qvtest::CommandResult r = qvtest::Run("printf %b " + ShellQuote(row.input) + " | " + ShellQuote(kZarn) +
                                                    " extract " + ShellQuote(dir / "m.wim") + " / -od " + ShellQuote(out));
        SCOPED_TRACE(r.output);
        EXPECT_NE(r.output.find("Import Image"), std::string::npos);
        if (row.image == 0) {
            EXPECT_NE(r.exitCode, 0);
            EXPECT_NE(qvtest::Run("test -e " + ShellQuote(out + "/one.txt") + " || test -e " +
                                  ShellQuote(out + "/two.txt")).exitCode, 0);
            continue;
        }
        EXPECT_EQ(r.exitCode, 0);
        RunOk("wimlib-imagex apply " + ShellQuote(dir / "m.wim") + " " + std::to_string(row.image) + " " +
              ShellQuote(ref) + " >/dev/null");
        RunOk("diff -r " + ShellQuote(ref) + " " + ShellQuote(out));
    }
    unsetenv("QV_CONFIG_DIR");
}

}  // namespace
