// Command files: the line rules, the checks on the file itself, and runs of
// the window program's commands checked with isoinfo.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/document_lifecycle.h"
#include "cmdline/command_file.h"
#include "image/document/current_document.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using cmdline::ScriptCommand;

std::string Describe(const std::vector<ScriptCommand>& commands) {
    std::string out;
    for (const ScriptCommand& c : commands) {
        out += platform::Utf16ToUtf8(c.word);
        if (c.argument) out += "[" + platform::Utf16ToUtf8(*c.argument) + "]";
        out += ";";
    }
    return out;
}

TEST(CommandFile, LineRules) {
    const struct {
        std::u16string text;
        std::string expected;
    } rows[] = {
        {u"-c   OPEN a b.iso  \r\n-c EXIT\r\n", "OPEN[a b.iso  ];EXIT;"},
        {u"\xFEFF-c OPEN x.iso\n", "OPEN[x.iso];"},
        {u"# note\r\n-C OPEN x\r\n-c\r\n\r\n\t-c\tADD\t/p q\r-c EXIT", "ADD[/p q];EXIT;"},
        {u"-c ADD /a", "ADD[/a];"},
        {std::u16string(u"-c ADD /a\0b\n-c EXIT", 20), "ADD[/a];EXIT;"},
        {u"-c ADD /a" + std::u16string(1, char16_t(0xD800)) + u"z\n-c EXIT", ";EXIT;"},
        {u"-c NEW_SCD\n", "NEW_SCD;"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(Describe(cmdline::ParseCommandFileText(row.text)), row.expected);
    }
}

class CommandFileRun : public ::testing::Test {
protected:
    void TearDown() override { app::CloseDocument(); }

    // The text as UTF-16LE through iconv, with or without the mark.
    std::string WriteCommands(const std::string& name, const std::string& text, bool mark) {
        const std::string path = dir_ / name;
        qvtest::WriteFileText(dir_ / "plain.txt", text);
        qvtest::RunOk(std::string(mark ? "printf '\\377\\376' > " : ": > ") + path + " && iconv -f UTF-8 -t UTF-16LE " +
                      (dir_ / "plain.txt") + " >> " + path + " && chmod 600 " + path);
        return path;
    }

    qvtest::TempDir dir_;
};

TEST_F(CommandFileRun, FileMustBeOwnPrivateRegularFile) {
    const std::string good = WriteCommands("good.txt", "-c OPEN a b.iso  \r\n-c EXIT\r\n", false);
    const std::string marked = WriteCommands("marked.txt", "-c OPEN a b.iso  \r\n-c EXIT\r\n", true);
    std::vector<ScriptCommand> commands;
    for (const std::string& path : {good, marked, "\"" + good + "\""}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(cmdline::LoadCommandFile(platform::Utf8ToUtf16(path), commands));
        EXPECT_EQ(Describe(commands), "OPEN[a b.iso  ];EXIT;");
    }
    // An odd last byte is ignored.
    qvtest::RunOk("printf x >> " + good);
    ASSERT_TRUE(cmdline::LoadCommandFile(platform::Utf8ToUtf16(good), commands));
    EXPECT_EQ(Describe(commands), "OPEN[a b.iso  ];EXIT;");

    const std::string fifo = dir_ / "fifo", link = dir_ / "link", shared = dir_ / "shared.txt",
                      foreign = dir_ / "foreign.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(good.c_str(), link.c_str()), 0);
    WriteCommands("shared.txt", "-c EXIT\n", false);
    ::chmod(shared.c_str(), 0620);
    WriteCommands("foreign.txt", "-c EXIT\n", false);
    const bool canChown = ::chown(foreign.c_str(), 65534, 65534) == 0;
    for (const std::string& bad : {fifo, link, shared, dir_.path(), dir_ / "missing"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(cmdline::LoadCommandFile(platform::Utf8ToUtf16(bad), commands));
        EXPECT_TRUE(commands.empty());
    }
    if (canChown) {
        EXPECT_FALSE(cmdline::LoadCommandFile(platform::Utf8ToUtf16(foreign), commands));
    }
}

TEST_F(CommandFileRun, NewAddSaveExitMakesTheImage) {
    for (const char* name : {"one.txt", "two.txt", "three dir"}) {
        qvtest::RunOk("mkdir -p " + (dir_ / "files") + " && printf data > " +
                      qvtest::ShellQuote(dir_ / ("files/" + std::string(name))));
    }
    const std::string out = dir_ / "out.iso";
    const std::string path = WriteCommands(
        "run.txt",
        "-c NEW_SCD disc.iso\r\n-c ADD " + (dir_ / "files/one.txt") + "\r\n-c ADD " + (dir_ / "files/two.txt") +
            "\r\n-c ADD " + (dir_ / "files/three dir") + "\r\n-c SAVE_TO " + out + "\r\n-c EXIT\r\n",
        false);
    std::vector<ScriptCommand> commands;
    ASSERT_TRUE(cmdline::LoadCommandFile(platform::Utf8ToUtf16(path), commands));
    EXPECT_EQ(cmdline::RunCommandList(commands), cmdline::CommandRunEnd::Exit);
    const std::string listing = qvtest::RunOk("isoinfo -J -f -i " + out);
    EXPECT_NE(listing.find("/one.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("/two.txt"), std::string::npos) << listing;
    EXPECT_NE(listing.find("/three dir"), std::string::npos) << listing;
}

TEST_F(CommandFileRun, RunStopsAtAnUnknownWord) {
    qvtest::WriteFileText(dir_ / "f.txt", "x");
    const std::string out = dir_ / "never.iso";
    for (const std::string& first : {std::string("-c NEW_SCD disc.iso\n-c FROB x"), std::string("-c FROB")}) {
        SCOPED_TRACE(first);
        const std::string path =
            WriteCommands("stop.txt", first + "\n-c ADD " + (dir_ / "f.txt") + "\n-c SAVE_TO " + out + "\n", false);
        std::vector<ScriptCommand> commands;
        ASSERT_TRUE(cmdline::LoadCommandFile(platform::Utf8ToUtf16(path), commands));
        EXPECT_EQ(cmdline::RunCommandList(commands), cmdline::CommandRunEnd::Stopped);
        EXPECT_TRUE(commands.empty());
        EXPECT_NE(::access(out.c_str(), F_OK), 0);
    }
}

}  // namespace
