#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using platform::Process;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

std::string ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Runs argv with standard output into a file and returns what it printed.
std::string RunCapturing(const std::vector<std::u16string>& argv, const std::string& outPath,
                         uint32_t* exitCode = nullptr) {
    platform::FileHandle out = platform::FileOpenUtf8(outPath, platform::FileAccess::Write,
                                                      platform::FileDisposition::CreateAlways);
    EXPECT_NE(out, nullptr);
    platform::ProcessStartOptions options;
    options.stdoutFd = platform::FileDescriptor(out);
    auto process = Process::Start(argv, options);
    platform::FileClose(out);
    EXPECT_NE(process, nullptr);
    if (!process) return {};
    EXPECT_EQ(process->Wait(10000), platform::kWaitObject0);
    if (exitCode) *exitCode = process->ExitCode();
    return ReadAll(outPath);
}

// The child prints each argument on a line of its own: nothing is split,
// joined, quoted or expanded on the way.
TEST(PlatformProcess, ArgumentsArriveAsGiven) {
    qvtest::TempDir dir;
    const std::vector<std::u16string> arguments = {
        u"two words",
        u"it's \"quoted\"",
        u"\u65E5\u672C\u8A9E \u00FCn\u00EFc\u00F6d\u00E9 \U0001F4BF",
        u"$HOME",
        u"*",
        u"back\\slash;|&",
        u"",
        u"  padded  ",
    };
    std::vector<std::u16string> argv = {u"printf", u"%s\\n"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    uint32_t exitCode = 99;
    std::string printed = RunCapturing(argv, dir / "out.txt", &exitCode);
    std::string expected;
    for (const std::u16string& arg : arguments) expected += platform::Utf16ToUtf8(arg) + "\n";
    EXPECT_EQ(printed, expected);
    EXPECT_EQ(exitCode, 0u);
}

// A descriptor this process holds open (no close-on-exec) stays out of the
// child: only the standard streams, and the folder ls reads, are open there.
TEST(PlatformProcess, ChildInheritsOnlyStandardStreams) {
    qvtest::TempDir dir;
    const int leaked = ::fcntl(STDERR_FILENO, F_DUPFD, 50);
    ASSERT_GE(leaked, 50);
    const std::string listed = RunCapturing({u"/bin/ls", u"/proc/self/fd"}, dir / "fds.txt");
    ::close(leaked);
    EXPECT_EQ(listed, "0\n1\n2\n3\n");
}

TEST(PlatformProcess, ExitCodeAndWorkingFolder) {
    qvtest::TempDir dir;
    std::string folder = dir / "w\u00F6rk dir";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    platform::ProcessStartOptions options;
    options.workingFolder = U16(folder);
    auto process = Process::Start({u"/bin/sh", u"-c", u"pwd > where.txt; exit 42"}, options);
    ASSERT_NE(process, nullptr);
    EXPECT_GT(process->Id(), 0);
    ASSERT_EQ(process->Wait(10000), platform::kWaitObject0);
    EXPECT_EQ(process->ExitCode(), 42u);
    EXPECT_EQ(ReadAll(folder + "/where.txt"), folder + "\n");
}

TEST(PlatformProcess, WaitTimesOutAndTerminateEnds) {
    auto process = Process::Start({u"sleep", u"30"});
    ASSERT_NE(process, nullptr);
    uint64_t start = platform::GetTickCount64();
    EXPECT_EQ(process->Wait(50), platform::kWaitTimeout);
    EXPECT_GE(platform::GetTickCount64() - start, 50u);
    EXPECT_EQ(process->ExitCode(), platform::kStillActive);
    EXPECT_TRUE(process->Terminate());
    ASSERT_EQ(process->Wait(10000), platform::kWaitObject0);
    EXPECT_EQ(process->ExitCode(), 128u + SIGKILL);
    EXPECT_TRUE(process->Terminate());   // already ended

    // Letting go of a running child neither waits nor kills it.
    auto quick = Process::Start({u"sleep", u"0.2"});
    ASSERT_NE(quick, nullptr);
    quick.reset();
}

TEST(PlatformProcess, ChildStartsWithDefaultSignals) {
    // This process ignores SIGPIPE for its pipes; the child must not inherit that.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    sigaction(SIGPIPE, &ignore, &previous);
    qvtest::TempDir dir;
    std::string status = RunCapturing({u"grep", u"^SigIgn", u"/proc/self/status"}, dir / "status.txt");
    sigaction(SIGPIPE, &previous, nullptr);
    ASSERT_EQ(status.rfind("SigIgn:", 0), 0u) << status;
    unsigned long long mask = std::stoull(status.substr(status.find_first_not_of(" \t", 7)), nullptr, 16);
    EXPECT_EQ(mask & (1ull << (SIGPIPE - 1)), 0u) << status;
}

TEST(PlatformProcess, StartFailures) {
    qvtest::TempDir dir;
    qvtest::WriteFileText(dir / "plain.txt", "not a program");
    chmod((dir / "plain.txt").c_str(), 0644);
    struct Row {
        const char* name;
        std::vector<std::u16string> argv;
        uint32_t error;
    };
    const Row rows[] = {
        {"missing path", {U16(dir / "absent")}, platform::kErrorFileNotFound},
        {"missing in PATH", {u"qv-no-such-program-anywhere"}, platform::kErrorFileNotFound},
        {"not executable", {U16(dir / "plain.txt")}, platform::kErrorAccessDenied},
        {"lone surrogate", {u"printf", u"\xD800"}, platform::kErrorInvalidName},
        {"embedded nul", {u"printf", std::u16string(u"a\0b", 3)}, platform::kErrorInvalidName},
        {"no program", {}, platform::kErrorInvalidParameter},
    };
    for (const Row& r : rows) {
        platform::SetLastError(0);
        EXPECT_EQ(Process::Start(r.argv), nullptr) << r.name;
        EXPECT_EQ(platform::GetLastError(), r.error) << r.name;
    }
}

}  // namespace
