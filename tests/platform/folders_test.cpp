#include "platform/folders.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/platform/scoped_env.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using qvtest::ScopedEnv;

std::string U8(const std::u16string& s) { return platform::Utf16ToUtf8(s); }

std::string Mode(const std::string& path) { return qvtest::RunOk("stat -c %a " + qvtest::ShellQuote(path)); }

TEST(PlatformFolders, ProgramFolderIsTheFolderOfTheRunningProgram) {
    std::u16string folder;
    ASSERT_TRUE(platform::GetProgramFolder(folder));
    std::string expected = qvtest::RunOk("dirname \"$(readlink /proc/" + std::to_string(getpid()) + "/exe)\"");
    EXPECT_EQ(U8(folder) + "\n", expected);
}

TEST(PlatformFolders, RuntimeFolderIsPrivate) {
    qvtest::TempDir dir;
    ScopedEnv xdg("XDG_RUNTIME_DIR", dir.path());
    std::u16string folder;
    ASSERT_TRUE(platform::GetRuntimeFolder(folder));
    EXPECT_EQ(U8(folder), dir / "quendravine");
    EXPECT_EQ(Mode(dir / "quendravine"), "700\n");

    // One of ours left open to others is narrowed again.
    chmod((dir / "quendravine").c_str(), 0755);
    ASSERT_TRUE(platform::GetRuntimeFolder(folder));
    EXPECT_EQ(Mode(dir / "quendravine"), "700\n");
}

TEST(PlatformFolders, RuntimeFolderRefusesWhatOthersCouldHavePlanted) {
    qvtest::TempDir dir;
    std::u16string folder;
    // A symlink in its place is refused, and what it points to is left alone.
    {
        qvtest::TempDir target;
        chmod(target.path().c_str(), 0755);
        ASSERT_EQ(symlink(target.path().c_str(), (dir / "quendravine").c_str()), 0);
        ScopedEnv xdg("XDG_RUNTIME_DIR", dir.path());
        platform::SetLastError(0);
        EXPECT_FALSE(platform::GetRuntimeFolder(folder));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
        EXPECT_EQ(Mode(target.path()), "755\n");
        unlink((dir / "quendravine").c_str());
    }
    // A folder of another user (only root can make one for the test).
    if (geteuid() == 0) {
        mkdir((dir / "quendravine").c_str(), 0700);
        ASSERT_EQ(chown((dir / "quendravine").c_str(), 65534, 65534), 0);
        ScopedEnv xdg("XDG_RUNTIME_DIR", dir.path());
        EXPECT_FALSE(platform::GetRuntimeFolder(folder));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
        rmdir((dir / "quendravine").c_str());
    }
    // A runtime base that cannot hold folders gives a clear error.
    qvtest::WriteFileText(dir / "file", "x");
    {
        ScopedEnv xdg("XDG_RUNTIME_DIR", dir / "file");
        EXPECT_FALSE(platform::GetRuntimeFolder(folder));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
        EXPECT_EQ(platform::ErrorText(platform::GetLastError()), u"The system cannot find the path specified.");
    }
    if (geteuid() != 0) {
        mkdir((dir / "closed").c_str(), 0500);
        ScopedEnv xdg("XDG_RUNTIME_DIR", dir / "closed");
        EXPECT_FALSE(platform::GetRuntimeFolder(folder));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    }
}

TEST(PlatformFolders, RuntimeFolderFallsBackToAPerUserTmpFolder) {
    ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
    std::u16string folder;
    ASSERT_TRUE(platform::GetRuntimeFolder(folder));
    std::string expected = "/tmp/quendravine-" + std::to_string(geteuid());
    EXPECT_EQ(U8(folder), expected);
    struct stat st {};
    ASSERT_EQ(lstat(expected.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, geteuid());
}

TEST(PlatformFolders, ConfigFolder) {
    qvtest::TempDir dir;
    std::u16string folder;
    {
        ScopedEnv config("QV_CONFIG_DIR", dir / "a/b/settings");
        ASSERT_TRUE(platform::GetConfigFolder(folder));
        EXPECT_EQ(U8(folder), dir / "a/b/settings");
        EXPECT_EQ(Mode(dir / "a/b/settings"), "700\n");
    }
    {
        ScopedEnv config("QV_CONFIG_DIR", std::nullopt);
        ScopedEnv xdg("XDG_CONFIG_HOME", dir / "xdg");
        ASSERT_TRUE(platform::GetConfigFolder(folder));
        EXPECT_EQ(U8(folder), dir / "xdg/quendravine");
    }
    {
        ScopedEnv config("QV_CONFIG_DIR", std::nullopt);
        ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
        ScopedEnv home("HOME", dir / "home");
        ASSERT_TRUE(platform::GetConfigFolder(folder));
        EXPECT_EQ(U8(folder), dir / "home/.config/quendravine");
    }
    // Folders that cannot be made or written give a clear error.
    {
        ScopedEnv config("QV_CONFIG_DIR", dir / "bad\xFFname");
        EXPECT_FALSE(platform::GetConfigFolder(folder));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidName);
        struct stat st {};
        EXPECT_NE(stat((dir / "bad\xFFname").c_str(), &st), 0);
    }
    qvtest::WriteFileText(dir / "file", "x");
    {
        ScopedEnv config("QV_CONFIG_DIR", dir / "file/settings");
        platform::SetLastError(0);
        EXPECT_FALSE(platform::GetConfigFolder(folder));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
    }
    if (geteuid() != 0) {
        mkdir((dir / "closed").c_str(), 0500);
        ScopedEnv config("QV_CONFIG_DIR", dir / "closed");
        EXPECT_FALSE(platform::GetConfigFolder(folder));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
        ScopedEnv below("QV_CONFIG_DIR", dir / "closed/sub");
        EXPECT_FALSE(platform::GetConfigFolder(folder));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    }
}

TEST(PlatformFolders, PrivateTempFolders) {
    qvtest::TempDir dir;
    ScopedEnv tmp("TMPDIR", dir.path());
    std::u16string a;
    std::u16string b;
    ASSERT_TRUE(platform::CreatePrivateTempFolder(a));
    ASSERT_TRUE(platform::CreatePrivateTempFolder(b));
    EXPECT_NE(a, b);
    EXPECT_EQ(U8(a).rfind(dir.path() + "/quendravine-", 0), 0u);
    EXPECT_EQ(Mode(U8(a)), "700\n");
    {
        ScopedEnv missing("TMPDIR", dir / "missing");
        std::u16string c;
        EXPECT_FALSE(platform::CreatePrivateTempFolder(c));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
    }
}

TEST(PlatformFolders, RemoveFolderTreeNeverFollowsLinks) {
    qvtest::TempDir outside;
    qvtest::WriteFileText(outside / "keep.txt", "keep");
    qvtest::TempDir dir;
    std::string tree = dir / "tree";
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(tree + "/a/b/c") + " && cd " + qvtest::ShellQuote(tree) +
                  " && echo 1 > a/one && echo 2 > a/b/c/two && mkdir closed && echo 3 > closed/three && chmod 000 closed"
                  " && ln -s " + qvtest::ShellQuote(outside.path()) + " a/b/linkdir"
                  " && ln -s " + qvtest::ShellQuote(outside / "keep.txt") + " linkfile && ln -s nowhere dangling");
    EXPECT_TRUE(platform::RemoveFolderTree(platform::Utf8ToUtf16(tree)));
    struct stat st {};
    EXPECT_NE(lstat(tree.c_str(), &st), 0);
    EXPECT_EQ(qvtest::RunOk("cat " + qvtest::ShellQuote(outside / "keep.txt")), "keep");

    // A link in place of the folder is removed as a link.
    ASSERT_EQ(symlink(outside.path().c_str(), (dir / "link").c_str()), 0);
    EXPECT_TRUE(platform::RemoveFolderTree(platform::Utf8ToUtf16(dir / "link")));
    EXPECT_EQ(qvtest::RunOk("cat " + qvtest::ShellQuote(outside / "keep.txt")), "keep");

    EXPECT_FALSE(platform::RemoveFolderTree(platform::Utf8ToUtf16(dir / "absent")));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
}

}  // namespace
