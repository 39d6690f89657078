// The console's questions end to end through zarn: the password of an
// encrypted 7z archive (made by 7z) and of a password DAA image (made by our
// own convert), typed on standard input or given with -password; a DAA set
// whose volume was moved elsewhere, found through the volume question, and one
// whose volumes are missing when it is converted; and an
// extraction over existing files answered with each of the five answers.

#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

const std::string kZarn = std::string(QV_PROGRAM_DIR) + "/zarn";

// zarn with the given lines on its standard input.
qvtest::CommandResult Zarn(const std::string& input, const std::string& args) {
    return qvtest::Run("printf %b " + ShellQuote(input) + " | TZ=UTC " + ShellQuote(kZarn) + " " + args);
}

class ZarnAsking : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_CONFIG_DIR", (dir_ / "config").c_str(), 1);
        RunOk("mkdir -p " + ShellQuote(dir_ / "config") + " " + ShellQuote(dir_ / "src") + " && cd " +
              ShellQuote(dir_ / "src") + " && printf hello > a.txt && head -c 2500000 /dev/urandom > b.bin");
        RunOk("genisoimage -quiet -o " + ShellQuote(dir_ / "s.iso") + " " + ShellQuote(dir_ / "src"));
    }
    void TearDown() override { unsetenv("QV_CONFIG_DIR"); }

    qvtest::TempDir dir_;
};

TEST_F(ZarnAsking, PasswordsOfEncryptedArchivesAndImages) {
    RunOk("cd " + ShellQuote(dir_ / "src") + " && 7z a -pSecret -mhe=on ../e.7z a.txt b.bin >/dev/null");
    RunOk(ShellQuote(kZarn) + " convert " + ShellQuote(dir_ / "s.iso") + " -o " + ShellQuote(dir_ / "p.daa") +
          " -setpassword Secret");
    struct Row {
        const char* name;
        const char* archive;
        std::string input;
        const char* switches;
        bool extracts;
    };
    const Row rows[] = {
        {"7z, typed", "e.7z", "Secret\\n", "", true},
        {"7z, -password", "e.7z", "", "-password Secret", true},
        {"7z, end of input cancels", "e.7z", "", "", false},
        {"DAA, typed", "p.daa", "Secret\\n", "", true},
        {"DAA, -password", "p.daa", "", "-password Secret", true},
        {"DAA, wrong then right", "p.daa", "wrong\\ny\\nSecret\\n", "", true},
        {"DAA, wrong then stop", "p.daa", "wrong\\nn\\n", "", false},
        {"DAA, wrong -password then typed", "p.daa", "y\\nSecret\\n", "-password wrong", true},
        {"DAA, 65 bytes refused, then right", "p.daa", std::string(65, 'p') + "\\nSecret\\n", "",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = dir_ / "out";
        RunOk("rm -rf " + ShellQuote(out));
        const qvtest::CommandResult r = Zarn(row.input, "extract " + ShellQuote(dir_ / row.archive) + " / -od " +
                                                            ShellQuote(out) + " " + row.switches);
        SCOPED_TRACE(r.output);
        EXPECT_EQ(r.exitCode == 0, row.extracts);
        const std::string inner = std::string(row.archive) == "p.daa" ? "B.BIN" : "b.bin";
        if (row.extracts)
            EXPECT_EQ(qvtest::Run("cmp " + ShellQuote(dir_ / "src/b.bin") + " " + ShellQuote(out + "/" + inner)).exitCode, 0);
        else
            EXPECT_NE(qvtest::Run("test -e " + ShellQuote(out + "/" + inner)).exitCode, 0);
    }
}

// -setpassword encrypts what convert and create write as ZIP or 7z: 7z tests
// the archive with the password and fails without it.
TEST_F(ZarnAsking, WrittenArchivesCarryTheSetPassword) {
    const std::string src = ShellQuote(dir_ / "src");
    const std::string iso = ShellQuote(dir_ / "s.iso");
    for (const char* command : {"convert", "create"}) {
        for (const char* name : {"p.zip", "p.7z"}) {
            SCOPED_TRACE(std::string(command) + " " + name);
            const std::string out = ShellQuote(dir_ / name);
            RunOk("rm -f " + out);
            const std::string args = std::string(command) == "convert" ? " convert " + iso + " -o " + out
                                                                       : " create -o " + out + " -add " + src + " /";
            RunOk(ShellQuote(kZarn) + args + " -setpassword secret123 >/dev/null");
            EXPECT_NE(RunOk("7z l -slt " + out).find("Encrypted = +"), std::string::npos);
            RunOk("7z t -bd -psecret123 " + out + " >/dev/null");
            EXPECT_NE(qvtest::Run("7z t -bd -pwrong " + out + " >/dev/null 2>&1").exitCode, 0);
        }
    }
}

TEST_F(ZarnAsking, AMovedVolumeIsFoundThroughTheQuestion) {
    RunOk(ShellQuote(kZarn) + " convert " + ShellQuote(dir_ / "s.iso") + " -o " + ShellQuote(dir_ / "v.daa") +
          " -volsize 1M");
    RunOk("mkdir " + ShellQuote(dir_ / "moved") + " && mv " + ShellQuote(dir_ / "v.part02.daa") + " " +
          ShellQuote(dir_ / "moved/"));
    RunOk("mkfifo " + ShellQuote(dir_ / "fifo"));
    struct Row {
        const char* name;
        std::string input;
        bool extracts;
    };
    const Row rows[] = {
        {"the path given", dir_ / "moved/v.part02.daa\\n", true},
        {"a folder, a FIFO and the first volume refused, then the path",
         dir_ / "moved\\n" + dir_ / "fifo\\n" + dir_ / "v.part01.daa\\n" + dir_ / "moved/v.part02.daa\\n", true},
        {"an empty line cancels", "\\n", false},
        {"end of input cancels", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = dir_ / "out";
        RunOk("rm -rf " + ShellQuote(out));
        // Opened from its last volume: the set starts from the first.
        const qvtest::CommandResult r =
            Zarn(row.input, "extract " + ShellQuote(dir_ / "v.part03.daa") + " / -od " + ShellQuote(out));
        SCOPED_TRACE(r.output);
        EXPECT_EQ(r.exitCode == 0, row.extracts);
        EXPECT_EQ(qvtest::Run("cmp " + ShellQuote(dir_ / "src/b.bin") + " " + ShellQuote(out + "/B.BIN")).exitCode == 0,
                  row.extracts);
    }
}

// Converting a set needs every volume before anything is written: the missing
// ones are listed and their folder is asked for, again while they are not
// there; an empty line cancels and leaves no output.
TEST_F(ZarnAsking, MissingVolumesAreAskedForBeforeConverting) {
    RunOk(ShellQuote(kZarn) + " convert " + ShellQuote(dir_ / "s.iso") + " -o " + ShellQuote(dir_ / "v.daa") +
          " -volsize 1M");
    RunOk("mkdir " + ShellQuote(dir_ / "moved") + " && mv " + ShellQuote(dir_ / "v.part02.daa") + " " +
          ShellQuote(dir_ / "v.part03.daa") + " " + ShellQuote(dir_ / "moved/"));
    struct Row {
        const char* name;
        std::string input;
        bool converts;
    };
    const Row rows[] = {
        {"their folder", dir_ / "moved\n", true},
        {"a folder without them, then theirs", dir_ / "src\n" + dir_ / "moved\n", true},
        {"skipping is not offered: asked again", "skip\n" + dir_ / "moved\n", true},
        {"cancel", "cancel\n", false},
        {"an empty line cancels", "\n", false},
        {"end of input cancels", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = dir_ / "out.iso";
        RunOk("rm -f " + ShellQuote(out));
        const qvtest::CommandResult r =
            Zarn(row.input, "convert " + ShellQuote(dir_ / "v.part01.daa") + " -o " + ShellQuote(out));
        SCOPED_TRACE(r.output);
        EXPECT_NE(r.output.find("v.part02.daa"), std::string::npos);
        EXPECT_NE(r.output.find("v.part03.daa"), std::string::npos);
        EXPECT_EQ(r.exitCode == 0, row.converts);
        if (row.converts)
            EXPECT_EQ(qvtest::Run("isoinfo -x /B.BIN -i " + ShellQuote(out) + " | cmp - " +
                                  ShellQuote(dir_ / "src/b.bin")).exitCode, 0);
        else
            EXPECT_NE(qvtest::Run("test -e " + ShellQuote(out)).exitCode, 0);
    }
}

TEST_F(ZarnAsking, ExtractionOverExistingFilesTakesEachAnswer) {
    struct Row {
        const char* name;
        const char* input;
        bool replaced;
        bool succeeds;
    };
    const Row rows[] = {
        {"yes, yes", "yes\\nyes\\n", true, true},
        {"no, no", "no\\nno\\n", false, true},
        {"yes to all", "yesall\\n", true, true},
        {"no to all", "noall\\n", false, true},
        {"cancel", "cancel\\n", false, false},
        {"end of input cancels", "", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out = dir_ / "out";
        RunOk("rm -rf " + ShellQuote(out) + " && mkdir " + ShellQuote(out) + " && cd " + ShellQuote(out) +
              " && printf old > A.TXT && printf old > B.BIN");
        const qvtest::CommandResult r =
            Zarn(row.input, "extract " + ShellQuote(dir_ / "s.iso") + " / -od " + ShellQuote(out));
        SCOPED_TRACE(r.output);
        EXPECT_EQ(r.exitCode == 0, row.succeeds);
        for (const char* name : {"A.TXT", "B.BIN"}) {
            const bool old = qvtest::Run("printf old | cmp - " + ShellQuote(out + "/" + name)).exitCode == 0;
            EXPECT_EQ(!old, row.replaced) << name;
        }
    }
}

}  // namespace
