#include "foundation/programs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/launch_services.h"
#include "foundation/settings.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;
using qvtest::RunOk;
using qvtest::ShellQuote;

// Writes its arguments (NUL-separated) to $QV_ARGS_OUT and exits with
// $QV_EXIT_CODE: the stand-in for every program the launcher starts.
const char* const kRecorder =
    "#!/bin/sh\n"
    "out=\"$QV_ARGS_OUT\"\n"
    ": > \"$out.part\"\n"
    "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out.part\"; done\n"
    "mv \"$out.part\" \"$out\"\n"
    "exit ${QV_EXIT_CODE:-0}\n";

std::vector<std::string> SplitNul(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> parts;
    std::string current;
    for (uint8_t b : bytes) {
        if (b == 0) {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(b));
        }
    }
    return parts;
}

struct Ended {
    std::u16string path;
    int exitCode;
};

class ProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_CONFIG_DIR", config_.path().c_str(), 1);
        setenv("QV_ARGS_OUT", (dir_ / "args").c_str(), 1);
        savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
        RunOk("mkdir " + ShellQuote(dir_ / "bin"));
        WriteRecorder(dir_ / "bin/recorder");
    }
    void TearDown() override {
        WaitForLaunchWaiters();
        setenv("PATH", savedPath_.c_str(), 1);
        unsetenv("QV_CONFIG_DIR");
        unsetenv("QV_ARGS_OUT");
        unsetenv("QV_EXIT_CODE");
    }
    static void WriteRecorder(const std::string& path) {
        qvtest::WriteFileText(path, kRecorder);
        RunOk("chmod +x " + ShellQuote(path));
    }
    // Programs found on PATH: our stub folder first, then the system's.
    void StubsFirstOnPath() { setenv("PATH", (dir_ / "bin:" + savedPath_).c_str(), 1); }
    std::vector<std::string> RecordedArgs() {
        WaitForLaunchWaiters();
        return SplitNul(qvtest::ReadFileBytes(dir_ / "args"));
    }
    std::vector<Ended> EndedLaunches() {
        WaitForLaunchWaiters();
        std::lock_guard<std::mutex> guard(watcher_.lock);
        return watcher_.ended;
    }

    // Told on the waiter threads.
    struct Watcher : ILaunchServices {
        std::mutex lock;
        std::vector<Ended> ended;
        void LaunchEnded(const std::u16string& path, int exitCode) override {
            std::lock_guard<std::mutex> guard(lock);
            ended.push_back(Ended{path, exitCode});
        }
    };

    qvtest::TempDir config_, dir_;
    std::string savedPath_;
    Watcher watcher_;
    // Uninstalled after TearDown has waited for every waiter thread.
    ScopedServices<SetLaunchServices> scopedWatcher_{&watcher_};
};

// Names an extracted archive item may carry: blanks, quotes, shell characters,
// non-ASCII.
const char* const kAwkwardNames[] = {
    "a file with blanks.txt",
    "quote's \"double\" ; $(touch pwned) `id` & | > x.txt",
    "\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80.txt",
    "-starts-with-dash.txt",
};

TEST_F(ProgramsTest, DefaultViewerGetsThePathAsOneArgumentAndTheWaiterSeesItsExit) {
    setenv("QV_EXIT_CODE", "7", 1);
    ASSERT_TRUE(SetDefaultViewer(platform::Utf8ToUtf16(dir_ / "bin/recorder")));
    for (const char* name : kAwkwardNames) {
        const std::string file = dir_ / name;
        qvtest::WriteFileText(file, "x");
        const std::u16string wide = platform::Utf8ToUtf16(file);
        ASSERT_TRUE(LaunchFile(wide, LaunchMode::DefaultViewer)) << name;
        EXPECT_EQ(RecordedArgs(), std::vector<std::string>{file}) << name;
        const auto ended = EndedLaunches();
        ASSERT_FALSE(ended.empty());
        EXPECT_EQ(ended.back().path, wide);
        EXPECT_EQ(ended.back().exitCode, 7);
    }
    EXPECT_EQ(qvtest::Run("ls " + ShellQuote(dir_ / "pwned")).exitCode == 0, false);
    EXPECT_EQ(EndedLaunches().size(), std::size(kAwkwardNames));
}

// A relative name that starts with '-' must not reach the viewer as one of its
// options: it goes as "./-..." (the same file), while the waiter still reports
// the name it was given.
TEST_F(ProgramsTest, ANameLikeAnOptionStaysAFileName) {
    ASSERT_TRUE(SetDefaultViewer(platform::Utf8ToUtf16(dir_ / "bin/recorder")));
    for (const char* name : {"--help", "-e.txt", "-"}) {
        ASSERT_TRUE(LaunchFile(platform::Utf8ToUtf16(name), LaunchMode::DefaultViewer)) << name;
        EXPECT_EQ(RecordedArgs(), std::vector<std::string>{std::string("./") + name}) << name;
        EXPECT_EQ(EndedLaunches().back().path, platform::Utf8ToUtf16(name));
    }
    WriteRecorder(dir_ / "bin/xdg-open");
    WriteRecorder(dir_ / "bin/xdg-email");
    StubsFirstOnPath();
    ShellOpen(u"--version");
    EXPECT_EQ(RecordedArgs(), std::vector<std::string>{"./--version"});
    EXPECT_EQ(SendFileByMail(u"-disc.iso"), kMailHandedOver);
    EXPECT_EQ(RecordedArgs(), (std::vector<std::string>{"--attach", "./-disc.iso"}));
}

// Without a "DefaultViewer" setting the desktop's opener views the file.
TEST_F(ProgramsTest, DefaultViewerUnsetUsesTheDesktopsOpener) {
    WriteRecorder(dir_ / "bin/xdg-open");
    StubsFirstOnPath();
    setenv("QV_EXIT_CODE", "3", 1);
    const std::string file = dir_ / "notes (1).txt";
    ASSERT_TRUE(LaunchFile(platform::Utf8ToUtf16(file), LaunchMode::DefaultViewer));
    EXPECT_EQ(RecordedArgs(), std::vector<std::string>{file});
    const auto ended = EndedLaunches();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].exitCode, 3);
}

TEST_F(ProgramsTest, DefaultViewerThatCannotStartGivesFalseAndNoThread) {
    ASSERT_TRUE(SetDefaultViewer(platform::Utf8ToUtf16(dir_ / "bin/no-such-viewer")));
    EXPECT_FALSE(LaunchFile(u"/tmp/x.txt", LaunchMode::DefaultViewer));
    EXPECT_TRUE(EndedLaunches().empty());
    // Without a window there is no "open with" chooser.
    EXPECT_FALSE(LaunchFile(u"/tmp/x.txt", LaunchMode::OpenWith));
}

// The desktop's application comes from mimeapps.list and a .desktop file of a
// private HOME, as xdg-open finds them; a type without one gives false.
TEST_F(ProgramsTest, OpenUsesTheDesktopsApplicationAndRefusesUnassociatedTypes) {
    const std::string home = dir_ / "home";
    RunOk("mkdir -p " + ShellQuote(home + "/.local/share/applications") + " " + ShellQuote(home + "/.config"));
    qvtest::WriteFileText(home + "/.local/share/applications/qvtest-viewer.desktop",
                          "[Desktop Entry]\nType=Application\nName=QV Test Viewer\nExec=" + (dir_ / "bin/recorder") +
                              " %f\nMimeType=text/plain;\n");
    qvtest::WriteFileText(home + "/.config/mimeapps.list", "[Default Applications]\ntext/plain=qvtest-viewer.desktop\n");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (dir_ / "no-system-data").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (dir_ / "no-system-config").c_str(), 1);
    setenv("DISPLAY", ":97", 1);   // xdg-open looks for applications only with a display
    for (const char* var : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                            "WAYLAND_DISPLAY", "BROWSER"})
        unsetenv(var);

    const std::string text = dir_ / "notes; it's \"mine\".txt";
    qvtest::WriteFileText(text, "plain words\n");
    ASSERT_TRUE(LaunchFile(platform::Utf8ToUtf16(text), LaunchMode::Open));
    EXPECT_EQ(RecordedArgs(), std::vector<std::string>{text});
    ASSERT_EQ(EndedLaunches().size(), 1u);

    const std::string binary = dir_ / "blob.qqq";
    const uint8_t bytes[] = {0x00, 0xFF, 0x13, 0x37, 0x00, 0x01, 0x02, 0x80};
    qvtest::WriteFileBytes(binary, bytes, sizeof bytes);
    EXPECT_FALSE(LaunchFile(platform::Utf8ToUtf16(binary), LaunchMode::Open));
    EXPECT_EQ(EndedLaunches().size(), 1u);
}

TEST_F(ProgramsTest, ShellOpenAndMailGoThroughXdgTools) {
    WriteRecorder(dir_ / "bin/xdg-open");
    WriteRecorder(dir_ / "bin/xdg-email");
    StubsFirstOnPath();
    ShellOpen(u"https://www.quendravine.example/?a=1&b=$(id)");
    EXPECT_EQ(RecordedArgs(), std::vector<std::string>{"https://www.quendravine.example/?a=1&b=$(id)"});
    const std::string attachment = dir_ / "disc image (1).iso";
    EXPECT_EQ(SendFileByMail(platform::Utf8ToUtf16(attachment)), kMailHandedOver);
    EXPECT_EQ(RecordedArgs(), (std::vector<std::string>{"--attach", attachment}));
}

TEST_F(ProgramsTest, MailWithoutXdgEmailIsStateOne) {
    RunOk("mkdir " + ShellQuote(dir_ / "empty"));
    setenv("PATH", (dir_ / "empty").c_str(), 1);
    EXPECT_EQ(SendFileByMail(u"/tmp/x.iso"), kMailProgramMissing);
}

TEST_F(ProgramsTest, RestartAndHelperStartFromTheirInstallFolders) {
    const std::string install = dir_ / "install dir";
    RunOk("mkdir " + ShellQuote(install));
    WriteRecorder(install + "/quendravine");
    WriteRecorder(install + "/qvhelper");
    ASSERT_TRUE(WriteSettingString(u"Install_Dir", platform::Utf8ToUtf16(install)));
    ASSERT_TRUE(SetVirtualDriveString(u"Install_Dir", platform::Utf8ToUtf16(install)));
    ASSERT_TRUE(RestartElevated({u"-ii1", u"-vset"}));
    EXPECT_EQ(RecordedArgs(), (std::vector<std::string>{"-ii1", "-vset"}));
    ASSERT_TRUE(StartHelperElevated({u"-vset_virtual_drive_parameters"}));
    EXPECT_EQ(RecordedArgs(), (std::vector<std::string>{"-vset_virtual_drive_parameters"}));
    ASSERT_TRUE(WriteSettingString(u"Install_Dir", platform::Utf8ToUtf16(dir_ / "nowhere")));
    ASSERT_TRUE(SetVirtualDriveString(u"Install_Dir", platform::Utf8ToUtf16(dir_ / "nowhere")));
    EXPECT_FALSE(RestartElevated({}));
}

TEST(WebLinks, ByKindAndLanguage) {
    struct Row {
        int32_t kind;
        uint32_t language;
        const char16_t* link;
    };
    const Row rows[] = {
        {1, 1033, u"https://www.quendravine.example/"},
        {2, 1033, u"https://www.quendravine.example/order.htm"},
        {3, 1033, u"support@quendravine.example"},
        {4, 1033, u"https://www.quendravine.example/download.htm"},
        {5, 1033, u"https://www.quendravine.example/virtual-drive.htm"},
        {6, 1033, u"https://www.quendravine.example/"},
        {7, 1033, u"https://www.quendravine.example/tutorial/index.htm"},
        {99, 1033, u"https://www.quendravine.example/"},
        {6, 2052, u"https://cn.quendravine.example/"},
        {4, 2052, u"https://cn.quendravine.example/index.htm"},
        {3, 2052, u"support@quendravine.example"},
    };
    for (const Row& row : rows) EXPECT_EQ(GetWebLinkForLanguage(row.kind, row.language), row.link) << row.kind;
    EXPECT_EQ(GetWebLink(4), u"https://www.quendravine.example/download.htm");
}

}  // namespace
