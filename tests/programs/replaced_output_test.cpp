// Saving over earlier output from the console: a replaced image keeps its
// mode and group, and a split save over an earlier set of volumes replaces
// the whole set or, when it cannot, leaves the earlier set exactly as it was.

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

const std::string kZarn = std::string(QV_PROGRAM_DIR) + "/zarn";

class ReplacedOutput : public ::testing::Test {
protected:
    // An image of one file of random bytes (they do not compress, so a
    // 1 MB volume size gives about one volume per megabyte).
    std::string MakeIso(const std::string& name, int kilobytes) {
        const std::string src = dir_ / (name + ".src");
        RunOk("mkdir -p " + src + " && head -c " + std::to_string(kilobytes * 1024) + " /dev/urandom > " + src +
              "/data.bin && genisoimage -quiet -o " + (dir_ / (name + ".iso")) + " " + src);
        return dir_ / (name + ".iso");
    }
    // The console command, agreeing to replace what exists.
    qvtest::CommandResult Zarn(const std::string& args) {
        return qvtest::Run("cd " + ShellQuote(out_) + " && yes | QV_CONFIG_DIR=" + ShellQuote(config_.path()) +
                           " TZ=UTC " + ShellQuote(kZarn) + " " + args + " 2>&1");
    }
    std::string Listing() { return RunOk("cd " + ShellQuote(out_) + " && ls -A | sort"); }
    std::string Volume(int n) { return out_ + "/x.part0" + std::to_string(n) + ".daa"; }

    void SetUp() override { RunOk("mkdir -p " + out_); }

    qvtest::TempDir dir_;
    qvtest::TempDir config_;
    const std::string out_ = dir_ / "out";
};

TEST_F(ReplacedOutput, SavingOverAPrivateImageKeepsItsModeAndGroup) {
    const std::string iso = MakeIso("m", 64);
    const std::string target = out_ + "/copy.iso";
    qvtest::WriteFileText(target, "an earlier image");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    // Root runs the tests: the file is given to another group to see it kept.
    ASSERT_EQ(::chown(target.c_str(), ::geteuid(), 1), 0);
    const qvtest::CommandResult r = Zarn("convert " + iso + " -o " + target);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_gid, gid_t(1));
    // The new image, read back by the peer.
    RunOk("isoinfo -i " + target + " -x /DATA.BIN | cmp - " + (dir_ / "m.src/data.bin"));
    EXPECT_EQ(Listing(), "copy.iso\n");
}

TEST_F(ReplacedOutput, ShorterSetReplacesTheLongerOneWhole) {
    const std::string six = MakeIso("six", 5 * 1024 + 512);
    const std::string four = MakeIso("four", 3 * 1024 + 512);
    qvtest::CommandResult r = Zarn("convert " + six + " -o x.daa -volsize 1M");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_EQ(Listing(), "x.part01.daa\nx.part02.daa\nx.part03.daa\nx.part04.daa\nx.part05.daa\nx.part06.daa\n");
    r = Zarn("convert " + four + " -o x.daa -volsize 1M");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // Volumes 5 and 6 of the earlier set are gone: a reader would have joined them.
    EXPECT_EQ(Listing(), "x.part01.daa\nx.part02.daa\nx.part03.daa\nx.part04.daa\n");
    r = Zarn("extract x.part01.daa / -od " + ShellQuote(dir_ / "back"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    RunOk("cmp " + (dir_ / "back/DATA.BIN") + " " + (dir_ / "four.src/data.bin"));
}

TEST_F(ReplacedOutput, FailedSetCommitLeavesTheEarlierSetAsItWas) {
    const std::string six = MakeIso("six", 5 * 1024 + 512);
    const std::string four = MakeIso("four", 3 * 1024 + 512);
    qvtest::CommandResult r = Zarn("convert " + six + " -o x.daa -volsize 1M");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // Volume 3 cannot be replaced: its name now holds a folder with a file in
    // it (root renames over any plain file, whatever its mode). Volumes 1 and
    // 2 are already out of the way when the commit meets it.
    ASSERT_EQ(::unlink(Volume(3).c_str()), 0);
    RunOk("mkdir " + Volume(3) + " && printf kept > " + Volume(3) + "/inside");
    RunOk("mkdir " + (dir_ / "before") + " && cp -p " + out_ + "/x.part0[12456].daa " + (dir_ / "before"));
    const std::string before = Listing();
    const std::string modes = RunOk("cd " + ShellQuote(out_) + " && stat -c '%n %a %i' x.part0*");

    r = Zarn("convert " + four + " -o x.daa -volsize 1M");
    EXPECT_NE(r.exitCode, 0) << r.output;
    // Every earlier volume is back under its name, the same file, and nothing
    // of the failed save is left.
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(RunOk("cd " + ShellQuote(out_) + " && stat -c '%n %a %i' x.part0*"), modes);
    for (int n : {1, 2, 4, 5, 6}) RunOk("cmp " + Volume(n) + " " + (dir_ / "before/x.part0" + std::to_string(n) + ".daa"));
    EXPECT_EQ(RunOk("cat " + Volume(3) + "/inside"), "kept");
}

}  // namespace
