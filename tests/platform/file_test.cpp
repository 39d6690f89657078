#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using platform::FileAccess;
using platform::FileDisposition;
using platform::FileHandle;

std::u16string U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

std::string ReadAll(const std::string& path) {
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Closes at the end of a scope so a failed assertion leaks nothing.
struct ScopedFile {
    FileHandle file;
    ~ScopedFile() { platform::FileClose(file); }
};

TEST(PlatformFile, OpenFailuresAreNullWithTheirError) {
    qvtest::TempDir dir;
    qvtest::WriteFileText(dir / "present.bin", "x");
    mkdir((dir / "folder").c_str(), 0700);
    struct Row {
        const char* name;
        std::u16string path;
        FileAccess access;
        FileDisposition disposition;
        uint32_t error;
    };
    const Row rows[] = {
        {"missing file", U16(dir / "absent.bin"), FileAccess::Read, FileDisposition::OpenExisting, platform::kErrorFileNotFound},
        {"missing folder", U16(dir / "none/absent.bin"), FileAccess::Read, FileDisposition::OpenExisting, platform::kErrorPathNotFound},
        {"create in missing folder", U16(dir / "none/new.bin"), FileAccess::Write, FileDisposition::CreateAlways, platform::kErrorPathNotFound},
        {"create new over existing", U16(dir / "present.bin"), FileAccess::ReadWrite, FileDisposition::CreateNew, platform::kErrorFileExists},
        {"a folder", U16(dir / "folder"), FileAccess::Read, FileDisposition::OpenExisting, platform::kErrorAccessDenied},
        {"lone surrogate", U16(dir.path()) + u"/bad\xD800.bin", FileAccess::Write, FileDisposition::CreateAlways, platform::kErrorInvalidName},
        {"embedded nul", U16(dir.path()) + std::u16string(u"/a\0b", 4), FileAccess::Write, FileDisposition::CreateAlways, platform::kErrorInvalidName},
        {"empty", u"", FileAccess::Read, FileDisposition::OpenExisting, platform::kErrorPathNotFound},
    };
    for (const Row& r : rows) {
        platform::SetLastError(0);
        FileHandle file = platform::FileOpen(r.path, r.access, r.disposition);
        EXPECT_EQ(file, nullptr) << r.name;
        EXPECT_EQ(platform::GetLastError(), r.error) << r.name;
        platform::FileClose(file);
    }
    // Malformed UTF-8 is refused too, rather than creating a name no one can type.
    platform::SetLastError(0);
    EXPECT_EQ(platform::FileOpenUtf8(dir / "bad\xC3(.bin", FileAccess::Write, FileDisposition::CreateAlways), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidName);
    EXPECT_EQ(ReadAll(dir / "present.bin"), "x");

    // Root may open anything, so the denied case needs an ordinary user.
    if (geteuid() != 0) {
        qvtest::WriteFileText(dir / "locked.bin", "secret");
        chmod((dir / "locked.bin").c_str(), 0);
        EXPECT_EQ(platform::FileOpen(U16(dir / "locked.bin"), FileAccess::Read, FileDisposition::OpenExisting), nullptr);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    }
}

TEST(PlatformFile, OpenModes) {
    qvtest::TempDir dir;
    std::string path = dir / "data.bin";
    qvtest::WriteFileText(path, "old contents");
    {
        ScopedFile f{platform::FileOpenUtf8(path, FileAccess::ReadWrite, FileDisposition::OpenAlways)};
        ASSERT_NE(f.file, nullptr);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);   // it was there
        uint64_t size = 0;
        ASSERT_TRUE(platform::FileGetSize(f.file, size));
        EXPECT_EQ(size, 12u);
    }
    {
        ScopedFile f{platform::FileOpenUtf8(path, FileAccess::Write, FileDisposition::CreateAlways)};
        ASSERT_NE(f.file, nullptr);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);
        uint64_t size = 99;
        ASSERT_TRUE(platform::FileGetSize(f.file, size));
        EXPECT_EQ(size, 0u);
        char buf[4];
        platform::SetLastError(0);
        EXPECT_EQ(platform::FileReadAt(f.file, 0, buf, sizeof buf), -1);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
        EXPECT_EQ(platform::FileWriteAt(f.file, 0, "new", 3), 3);
    }
    EXPECT_EQ(ReadAll(path), "new");
    {
        ScopedFile f{platform::FileOpenUtf8(path, FileAccess::Read, FileDisposition::OpenExisting)};
        ASSERT_NE(f.file, nullptr);
        platform::SetLastError(0);
        EXPECT_EQ(platform::FileWriteAt(f.file, 0, "x", 1), -1);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    }
    {
        std::string fresh = dir / "\xE6\x96\xB0 disc.iso";
        ScopedFile f{platform::FileOpen(U16(fresh), FileAccess::ReadWrite, FileDisposition::CreateNew)};
        ASSERT_NE(f.file, nullptr);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorSuccess);
        ScopedFile g{platform::FileOpenUtf8(dir / "made.bin", FileAccess::Write, FileDisposition::OpenAlways)};
        ASSERT_NE(g.file, nullptr);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorSuccess);
        ScopedFile h{platform::FileOpenUtf8(dir / "fresh.bin", FileAccess::Write, FileDisposition::CreateAlways)};
        ASSERT_NE(h.file, nullptr);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorSuccess);
        // Through a dangling link the target is made, as open would.
        ASSERT_EQ(symlink((dir / "target.bin").c_str(), (dir / "dangling").c_str()), 0);
        ScopedFile k{platform::FileOpenUtf8(dir / "dangling", FileAccess::Write, FileDisposition::OpenAlways)};
        ASSERT_NE(k.file, nullptr);
        EXPECT_TRUE(platform::FileExists(platform::Utf8ToUtf16(dir / "target.bin")));
        struct stat st {};
        EXPECT_EQ(stat(fresh.c_str(), &st), 0);
    }
    EXPECT_TRUE(platform::FileClose(nullptr));
}

// A null handle is an error every call reports, never a crash.
TEST(PlatformFile, NullHandleIsAnError) {
    uint64_t value = 0;
    char byte = 0;
    auto check = [](const char* name, bool failed) {
        EXPECT_TRUE(failed) << name;
        EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidHandle) << name;
        platform::SetLastError(0);
    };
    check("read", platform::FileReadAt(nullptr, 0, &byte, 1) == -1);
    check("write", platform::FileWriteAt(nullptr, platform::kCurrentPosition, &byte, 1) == -1);
    check("get size", !platform::FileGetSize(nullptr, value));
    check("set size", !platform::FileSetSize(nullptr, 1));
    check("get position", !platform::FileGetPosition(nullptr, value));
    check("set position", !platform::FileSetPosition(nullptr, 1));
    check("flush", !platform::FileFlush(nullptr));
    check("from descriptor", platform::FileFromDescriptor(-1) == nullptr);
    EXPECT_EQ(platform::FileDescriptor(nullptr), -1);
    EXPECT_FALSE(platform::FileIsBlockDevice(nullptr));
    EXPECT_TRUE(platform::FileClose(nullptr));
}

TEST(PlatformFile, ReadAndWriteAtOffsets) {
    qvtest::TempDir dir;
    std::string path = dir / "rw.bin";
    ScopedFile f{platform::FileOpenUtf8(path, FileAccess::ReadWrite, FileDisposition::CreateNew)};
    ASSERT_NE(f.file, nullptr);
    EXPECT_EQ(platform::FileWriteAt(f.file, 4, "WXYZ", 4), 4);
    EXPECT_EQ(platform::FileWriteAt(f.file, 0, "abcd", 4), 4);
    uint64_t position = 0;
    ASSERT_TRUE(platform::FileGetPosition(f.file, position));
    EXPECT_EQ(position, 4u);   // left after the last transfer
    EXPECT_EQ(ReadAll(path), "abcdWXYZ");

    char buf[16] = {};
    EXPECT_EQ(platform::FileReadAt(f.file, 2, buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "cdWX");
    EXPECT_EQ(platform::FileReadAt(f.file, 6, buf, sizeof buf), 2);   // stops at the end
    EXPECT_EQ(std::string(buf, 2), "YZ");
    EXPECT_EQ(platform::FileReadAt(f.file, 8, buf, sizeof buf), 0);
    EXPECT_EQ(platform::FileReadAt(f.file, 1000, buf, sizeof buf), 0);

    ASSERT_TRUE(platform::FileSetSize(f.file, 6));
    uint64_t size = 0;
    ASSERT_TRUE(platform::FileGetSize(f.file, size));
    EXPECT_EQ(size, 6u);
    EXPECT_TRUE(platform::FileFlush(f.file));
    EXPECT_EQ(ReadAll(path), "abcdWX");
    EXPECT_FALSE(platform::FileIsBlockDevice(f.file));
    EXPECT_GE(platform::FileDescriptor(f.file), 0);
}

// The "current position" offset continues where the last transfer ended.
TEST(PlatformFile, CurrentPositionWrite) {
    qvtest::TempDir dir;
    std::string path = dir / "pos.bin";
    ScopedFile f{platform::FileOpenUtf8(path, FileAccess::ReadWrite, FileDisposition::CreateAlways)};
    ASSERT_NE(f.file, nullptr);
    EXPECT_EQ(platform::FileWriteAt(f.file, platform::kCurrentPosition, "0123456789", 10), 10);
    ASSERT_TRUE(platform::FileSetPosition(f.file, 3));
    EXPECT_EQ(platform::FileWriteAt(f.file, platform::kCurrentPosition, "ab", 2), 2);
    uint64_t position = 0;
    ASSERT_TRUE(platform::FileGetPosition(f.file, position));
    EXPECT_EQ(position, 5u);
    EXPECT_EQ(platform::FileWriteAt(f.file, 8, "Z", 1), 1);
    EXPECT_EQ(platform::FileWriteAt(f.file, platform::kCurrentPosition, "Y", 1), 1);
    EXPECT_EQ(ReadAll(path), "012ab567ZY");
    ASSERT_TRUE(platform::FileSetPosition(f.file, 1));
    char buf[3];
    EXPECT_EQ(platform::FileReadAt(f.file, platform::kCurrentPosition, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "12a");
    EXPECT_EQ(platform::FileWriteAt(f.file, platform::kCurrentPosition, "!", 1), 1);
    EXPECT_EQ(ReadAll(path), "012a!567ZY");
}

TEST(PlatformFile, SparseFileBeyondFourGiB) {
    qvtest::TempDir dir;
    std::string path = dir / "sparse.img";
    constexpr uint64_t kFiveGiB = 5ull << 30;
    constexpr uint64_t kPastFourGiB = (4ull << 30) + 1;
    {
        ScopedFile f{platform::FileOpenUtf8(path, FileAccess::ReadWrite, FileDisposition::CreateNew)};
        ASSERT_NE(f.file, nullptr);
        EXPECT_EQ(platform::FileWriteAt(f.file, kFiveGiB - 4, "TAIL", 4), 4);
        EXPECT_EQ(platform::FileWriteAt(f.file, kPastFourGiB, "MID", 3), 3);
        uint64_t size = 0;
        ASSERT_TRUE(platform::FileGetSize(f.file, size));
        EXPECT_EQ(size, kFiveGiB);
        uint64_t position = 0;
        ASSERT_TRUE(platform::FileGetPosition(f.file, position));
        EXPECT_EQ(position, kPastFourGiB + 3);
        char buf[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        EXPECT_EQ(platform::FileReadAt(f.file, kPastFourGiB - 2, buf, 8), 8);
        EXPECT_EQ(std::string(buf, 8), std::string("\0\0MID\0\0\0", 8));
        EXPECT_EQ(platform::FileReadAt(f.file, kFiveGiB - 2, buf, 8), 2);
        EXPECT_EQ(std::string(buf, 2), "IL");
    }
    // Read back by tools that know nothing of ours.
    EXPECT_EQ(qvtest::RunOk("stat -c %s " + qvtest::ShellQuote(path)), std::to_string(kFiveGiB) + "\n");
    EXPECT_EQ(qvtest::RunOk("tail -c 4 " + qvtest::ShellQuote(path)), "TAIL");
    EXPECT_EQ(qvtest::RunOk("dd if=" + qvtest::ShellQuote(path) + " bs=1 skip=" + std::to_string(kPastFourGiB) +
                            " count=3 status=none"),
              "MID");
}

TEST(PlatformFile, DiskFullIsAShortWrite) {
    ScopedFile full{platform::FileOpenUtf8("/dev/full", FileAccess::Write, FileDisposition::OpenExisting)};
    ASSERT_NE(full.file, nullptr);
    std::string block(4096, 'q');
    platform::SetLastError(0);
    EXPECT_EQ(platform::FileWriteAt(full.file, platform::kCurrentPosition, block.data(), block.size()), 0);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull);
    EXPECT_EQ(platform::ErrorText(platform::GetLastError()), u"There is not enough space on the disk.");

    // A limit on file size gives a real short count: part of the data lands,
    // the call returns how much, and the rest is refused as a full disk.
    qvtest::TempDir dir;
    std::string path = dir / "limited.bin";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {10000, 10000};
        setrlimit(RLIMIT_FSIZE, &limit);
        FileHandle f = platform::FileOpenUtf8(path, FileAccess::Write, FileDisposition::CreateNew);
        if (!f) _exit(10);
        std::string data(25000, 'd');
        int64_t n = platform::FileWriteAt(f, 0, data.data(), data.size());
        uint32_t error = platform::GetLastError();
        platform::FileClose(f);
        _exit(n == 10000 && error == platform::kErrorDiskFull ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(qvtest::ReadFileBytes(path).size(), 10000u);
}

// Block devices are sized with the device call, not by stat (which says 0).
TEST(PlatformFile, BlockDeviceSize) {
    if (geteuid() != 0) GTEST_SKIP() << "attaching a loop device needs root";
    qvtest::TempDir dir;
    std::string backing = dir / "disk.img";
    qvtest::RunOk("dd if=/dev/zero of=" + qvtest::ShellQuote(backing) + " bs=1M count=3 status=none && "
                  "printf BLOCK | dd of=" + qvtest::ShellQuote(backing) + " bs=1 seek=1048576 conv=notrunc status=none");
    qvtest::CommandResult attach = qvtest::Run("losetup --find --show " + qvtest::ShellQuote(backing));
    if (attach.exitCode != 0) GTEST_SKIP() << "no loop device here: " << attach.output;
    std::string device = attach.output.substr(0, attach.output.find('\n'));
    {
        ScopedFile f{platform::FileOpenUtf8(device, FileAccess::Read, FileDisposition::OpenExisting)};
        EXPECT_NE(f.file, nullptr);
        if (f.file) {
            EXPECT_TRUE(platform::FileIsBlockDevice(f.file));
            uint64_t size = 0;
            EXPECT_TRUE(platform::FileGetSize(f.file, size));
            std::string tool = qvtest::RunOk("blockdev --getsize64 " + device);
            EXPECT_EQ(std::to_string(size) + "\n", tool);
            EXPECT_EQ(size, 3u << 20);
            char buf[5] = {};
            EXPECT_EQ(platform::FileReadAt(f.file, 1048576, buf, 5), 5);
            EXPECT_EQ(std::string(buf, 5), "BLOCK");
        }
    }
    qvtest::Run("losetup -d " + device);
}

TEST(PlatformFile, NamesAndFolders) {
    qvtest::TempDir dir;
    std::u16string base = U16(dir.path());
    qvtest::WriteFileText(dir / "a.txt", "A");
    qvtest::WriteFileText(dir / "b.txt", "B");

    EXPECT_TRUE(platform::FileExists(base + u"/a.txt"));
    EXPECT_FALSE(platform::DirectoryExists(base + u"/a.txt"));
    EXPECT_TRUE(platform::DirectoryExists(base));
    EXPECT_FALSE(platform::FileExists(base));

    EXPECT_TRUE(platform::RenameFile(base + u"/a.txt", base + u"/b.txt"));   // replaces
    EXPECT_EQ(ReadAll(dir / "b.txt"), "A");
    EXPECT_FALSE(platform::FileExists(base + u"/a.txt"));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
    EXPECT_FALSE(platform::RenameFile(base + u"/a.txt", base + u"/c.txt"));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);

    EXPECT_TRUE(platform::CreateDirectoryAt(base + u"/sub"));
    EXPECT_FALSE(platform::CreateDirectoryAt(base + u"/sub"));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);
    EXPECT_FALSE(platform::CreateDirectoryAt(base + u"/no/sub"));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);

    EXPECT_FALSE(platform::DeleteFileAt(base + u"/sub"));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    EXPECT_TRUE(platform::DeleteFileAt(base + u"/b.txt"));
    EXPECT_FALSE(platform::DeleteFileAt(base + u"/b.txt"));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
    EXPECT_FALSE(platform::DeleteFileAt(base + u"/\xDC00"));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidName);
}

}  // namespace
