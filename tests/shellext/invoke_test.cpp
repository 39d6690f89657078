// Commands end to end through qvshell, the way a file manager runs them: a
// recording stand-in for the window program (found through "Install_Dir")
// keeps each start's argv and its command file, whose bytes are checked as
// UTF-16LE (read back with iconv) and parsed by the window program's own
// reader; then the real window program extracts, compared with 7z x.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "cmdline/command_file.h"
#include "foundation/settings.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::ShellQuote;

const std::string kPrograms = QV_PROGRAM_DIR;

// A work folder, a settings store naming the recorder's folder as the
// install folder, and a private runtime folder.
struct Stage {
    qvtest::TempDir dir;
    std::string work = dir / "work";
    std::string recorder = dir / "program";
    std::string runtime = dir / "run";
    std::string env;

    explicit Stage(const std::string& programBody) {
        qvtest::RunOk("mkdir -p " + ShellQuote(work) + " " + ShellQuote(recorder + "/calls") + " && mkdir -m 700 " +
                      ShellQuote(runtime));
        qvtest::WriteFileText(recorder + "/quendravine", "#!/bin/sh\n" + programBody);
        qvtest::RunOk("chmod 755 " + ShellQuote(recorder + "/quendravine"));
        qvtest::WriteFileText(dir / "user.reg", "Windows Registry Editor Version 5.00\r\n\r\n[Software\\Quendravine]\r\n"
                                                "\"Install_Dir\"=\"" + recorder + "\"\r\n");
        qvtest::RunOk("mkdir -p " + ShellQuote(dir / "config") + " && mv " + ShellQuote(dir / "user.reg") + " " +
                      ShellQuote(dir / "config/user.reg"));
        env = "cd " + ShellQuote(work) + " && QV_CONFIG_DIR=" + ShellQuote(dir / "config") +
              " XDG_RUNTIME_DIR=" + ShellQuote(runtime) + " QT_QPA_PLATFORM=offscreen ";
    }
    qvtest::CommandResult Qvshell(const std::string& arguments) const {
        return qvtest::Run(env + ShellQuote(kPrograms + "/qvshell") + " " + arguments + " 2>&1");
    }
    // Waits for the n-th start to have been recorded.
    bool WaitForCall(int n) const {
        for (int i = 0; i < 400; ++i) {
            if (qvtest::Run("test -e " + ShellQuote(recorder + "/calls/" + std::to_string(n) + ".done")).exitCode == 0)
                return true;
            qvtest::Run("sleep 0.05");
        }
        return false;
    }
    std::string CommandFilesLeft() const {
        return qvtest::RunOk("find " + ShellQuote(runtime) + " -name 'command-*'");
    }
};

// Records argv, the command file's mode and bytes, then removes the file as
// the window program does.
const char* const kRecorder = R"(d=$(dirname "$0")/calls
n=$(ls "$d" | grep -c '\.done$')
{ printf '%s\n' "$0"; for a in "$@"; do printf '%s\n' "$a"; done; } > "$d/$n.argv"
stat -c %a "$2" > "$d/$n.mode"
cp "$2" "$d/$n.bin"
rm -f "$2"
touch "$d/$n.done"
)";

struct Row {
    std::string name;
    std::string setup;       // in the work folder
    std::string arguments;   // of qvshell; $W is the work folder
    std::string mode;        // -pf or -pfh
    std::string lines;       // the command file, "\n" for each "\r\n"; $W as above
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(ShellInvoke, CommandFilesByKind) {
    const std::vector<Row> rows = {
        {"add three files to <folder>.zip", "mkdir -p pk && touch pk/x pk/y pk/z", "--invoke add-to -- pk/x pk/y pk/z",
         "-pfh", "-c NEW_SCD $W/pk/pk.zip\n-c ADD $W/pk/x\n-c ADD $W/pk/y\n-c ADD $W/pk/z\n-c SAVE_TO $W/pk/pk.zip\n-c EXIT\n"},
        {"add a folder to an archive...", "mkdir -p pics", "--invoke add-to-archive -- pics", "-pf",
         "-c NEW_SCD $W/pics.zip\n-c ADD $W/pics\n-c SAVE_AS $W/pics.zip\n"},
        {"extract two archives here", "touch a.zip b.7z", "--invoke extract-here -- a.zip b.7z", "-pfh",
         "-c OPEN $W/a.zip\n-c EXTRACT_TO $W\n-c OPEN $W/b.7z\n-c EXTRACT_TO $W\n-c EXIT\n"},
        {"extract into a folder named after the archive", "touch pack.tar.gz", "--invoke extract-by-name -- pack.tar.gz",
         "-pfh", "-c OPEN $W/pack.tar.gz\n-c EXTRACT_TO $W/pack.tar\n-c EXIT\n"},
        {"extract to: the dialog", "touch c.rar", "--invoke extract-to c.rar", "-pf",
         "-c OPEN $W/c.rar\n-c EXTRACT_DLG $W\n"},
        {"burn an image", "touch d.iso", "--invoke burn -- d.iso", "-pf", "-c NEW_SCD\n-c BURN_IMAGE_FILE $W/d.iso\n"},
        {"drop two files on an archive", "touch t.zip f1 'f 2'", "--drop t.zip -- f1 'f 2'", "-pfh",
         "-c OPEN_SCD $W/t.zip\n-c ADD $W/f1\n-c ADD $W/f 2\n-c UPDATE $W/t.zip\n-c EXIT\n"},
        {"quotes, $() and a leading dash are only names", "touch -- \"-q 'x' \\$(touch pwned) \\\"y\\\".zip\"",
         "--invoke extract-here -- \"-q 'x' \\$(touch pwned) \\\"y\\\".zip\"", "-pfh",
         "-c OPEN $W/-q 'x' $(touch pwned) \"y\".zip\n-c EXTRACT_TO $W\n-c EXIT\n"},
    };
    Stage stage(kRecorder);
    int call = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::RunOk("cd " + ShellQuote(stage.work) + " && " + row.setup);
        const qvtest::CommandResult r = stage.Qvshell(Replace(row.arguments, "$W", stage.work));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        ASSERT_TRUE(stage.WaitForCall(call));
        const std::string base = stage.recorder + "/calls/" + std::to_string(call++);
        const std::string argv = qvtest::RunOk("cat " + ShellQuote(base + ".argv"));
        const std::regex expectedArgv(std::regex_replace(stage.recorder + "/quendravine\n" + row.mode + "\n" +
                                                             stage.runtime + "/quendravine/command-",
                                                         std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                                      "[A-Za-z0-9]{6}\n");
        EXPECT_TRUE(std::regex_match(argv, expectedArgv)) << argv;
        EXPECT_EQ(qvtest::RunOk("cat " + ShellQuote(base + ".mode")), "600\n");
        // UTF-16LE without a byte-order mark, every line ended by CR LF.
        const std::string expected = Replace(Replace(row.lines, "$W", stage.work), "\n", "\r\n");
        EXPECT_EQ(qvtest::RunOk("iconv -f UTF-16LE -t UTF-8 " + ShellQuote(base + ".bin")), expected);
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(base + ".bin");
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes[0], '-');
        EXPECT_EQ(bytes[1], 0);
        // The window program's reader sees the same commands.
        std::u16string text(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        const std::vector<cmdline::ScriptCommand> parsed = cmdline::ParseCommandFileText(text);
        std::string roundTrip;
        for (const cmdline::ScriptCommand& c : parsed)
            roundTrip += "-c " + platform::Utf16ToUtf8(c.word) + (c.argument ? " " + platform::Utf16ToUtf8(*c.argument) : "") + "\r\n";
        EXPECT_EQ(roundTrip, expected);
    }
    EXPECT_EQ(stage.CommandFilesLeft(), "");
    EXPECT_NE(qvtest::Run("test -e " + ShellQuote(stage.work + "/pwned")).exitCode, 0);
}

// Names that would break a command line or cannot be passed on: a clear
// refusal, no program started, no command file left.
TEST(ShellInvoke, RefusedInputStartsNothing) {
    Stage stage(kRecorder);
    qvtest::RunOk("cd " + ShellQuote(stage.work) + " && touch \"$(printf 'a\\n-c EXEC b.zip')\" \"$(printf 'n\\rr.zip')\" "
                  "\"$(printf 'bad\\377.zip')\" note.txt && mkdir gone");
    struct Case {
        std::string name, arguments;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"a line feed would inject a command", "--invoke extract-here -- \"$(printf 'a\\n-c EXEC b.zip')\"", 0, ""},
        {"a carriage return", "--invoke extract-by-name -- \"$(printf 'n\\rr.zip')\"", 0, ""},
        {"a name that is not UTF-8", "--invoke extract-here -- \"$(printf 'bad\\377.zip')\"", 2,
         "qvshell: a file name is not valid UTF-8: nothing was done\n"},
        {"a folder that vanished", "--invoke add-to-archive -- gone2", 2,
         "qvshell: gone2: No such file or directory: nothing was done\n"},
        {"a command not offered", "--invoke burn -- note.txt", 2,
         "qvshell: \"burn\" is not offered for these files\n"},
        {"no files", "--menu --", 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qvtest::CommandResult r = stage.Qvshell(c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        if (!c.message.empty()) {
            EXPECT_EQ(r.output, c.message);
        }
    }
    // Without a usable runtime folder no command file can be made.
    const qvtest::CommandResult missing = qvtest::Run(
        Replace(stage.env, "XDG_RUNTIME_DIR=" + ShellQuote(stage.runtime), "XDG_RUNTIME_DIR=" + ShellQuote(stage.dir / "none/x")) +
        ShellQuote(kPrograms + "/qvshell") + " --invoke add-to-archive -- note.txt 2>&1");
    EXPECT_EQ(missing.exitCode, 0) << missing.output;
    qvtest::Run("sleep 0.5");
    EXPECT_EQ(qvtest::RunOk("ls " + ShellQuote(stage.recorder + "/calls")), "");
    EXPECT_EQ(stage.CommandFilesLeft(), "");
}

// Ten thousand selected files make one command file of ten thousand ADD lines.
TEST(ShellInvoke, TenThousandFiles) {
    Stage stage(kRecorder);
    qvtest::RunOk("cd " + ShellQuote(stage.work) + " && mkdir many && cd many && seq -f 'f%05g' 10000 | xargs touch");
    const qvtest::CommandResult r = stage.Qvshell("--invoke add-to -- many/*");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(stage.WaitForCall(0));
    const std::string text = qvtest::RunOk("iconv -f UTF-16LE -t UTF-8 " + ShellQuote(stage.recorder + "/calls/0.bin"));
    EXPECT_EQ(qvtest::RunOk("iconv -f UTF-16LE -t UTF-8 " + ShellQuote(stage.recorder + "/calls/0.bin") +
                            " | grep -c '^-c ADD '"),
              "10000\n");
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "-c NEW_SCD " + stage.work + "/many/many.zip\r\n");
    EXPECT_EQ(text.substr(text.size() - 9), "-c EXIT\r\n");
}

// The real window program, started through qvshell, extracts here and into a
// folder named after the archive; the trees match what 7z extracts.
TEST(ShellInvoke, ExtractsLikeSevenZip) {
    Stage stage("\"" + kPrograms + "/quendravine\" \"$@\"\necho $? > \"$(dirname \"$0\")/calls/$(ls \"$(dirname \"$0\")/calls\" | wc -l).done\"\n");
    qvtest::RunOk("cd " + ShellQuote(stage.work) + " && mkdir -p src/sub 'src/with blank' && printf hi > src/a.txt && "
                  "head -c 300000 /dev/urandom > src/sub/b.bin && printf x > 'src/with blank/c' && "
                  "(cd src && 7z a -tzip ../t.zip . >/dev/null && 7z a -t7z ../u.7z . >/dev/null) && "
                  "mkdir here && cp t.zip here/ && mkdir -p ref/t ref/u && 7z x -oref/t t.zip >/dev/null && "
                  "7z x -oref/u u.7z >/dev/null");
    qvtest::CommandResult r = stage.Qvshell("--invoke extract-here -- here/t.zip");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(stage.WaitForCall(0));
    r = stage.Qvshell("--invoke extract-by-name -- u.7z");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(stage.WaitForCall(1));
    EXPECT_EQ(qvtest::RunOk("cat " + ShellQuote(stage.recorder + "/calls/0.done") + " " +
                            ShellQuote(stage.recorder + "/calls/1.done")),
              "0\n0\n");
    qvtest::RunOk("rm " + ShellQuote(stage.work + "/here/t.zip"));
    EXPECT_EQ(qvtest::Run("cd " + ShellQuote(stage.work) + " && diff -r ref/t here").output, "");
    EXPECT_EQ(qvtest::Run("cd " + ShellQuote(stage.work) + " && diff -r ref/u u").output, "");
    EXPECT_EQ(stage.CommandFilesLeft(), "");
}

}  // namespace
