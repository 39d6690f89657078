#include "foundation/file_io.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "foundation/messages_scripted.h"
#include "foundation/messages_ui.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;

std::u16string U(const std::string& path) { return platform::Utf8ToUtf16(path); }

struct Closer {
    FileHandle file;
    ~Closer() { SafeCloseHandle(file); }
};

// /dev/full fails every write with "no space": a full disk is a short count
// (here 0), never -1.
TEST(FileIo, DiskFullIsAShortCount) {
    FileHandle full = OpenFileReadWrite(u"/dev/full");
    ASSERT_NE(full, nullptr);
    Closer closer{full};
    const char data[100] = {};
    EXPECT_EQ(WriteFileAt(full, data, kCurrentPosition, sizeof(data)), 0);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull);
    EXPECT_EQ(WriteFileAt(full, data, 0, sizeof(data)), 0);
    EXPECT_EQ(WriteAnsiTextAt(full, u"text", 0), -1);
}

// Any failure other than a full disk is a failure, even after part of the
// data went out: a pipe whose reader leaves after 10 bytes.
TEST(FileIo, PartialWriteThatFailsIsMinusOne) {
    ::signal(SIGPIPE, SIG_IGN);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    FileHandle writer = platform::FileFromDescriptor(ends[1]);
    ASSERT_NE(writer, nullptr);
    Closer closer{writer};
    std::thread reader([fd = ends[0]] {
        char some[10];
        ssize_t got = ::read(fd, some, sizeof(some));
        (void)got;
        ::close(fd);
    });
    std::vector<char> data(1 << 20, 'x');   // far more than the pipe holds
    EXPECT_EQ(WriteFileAt(writer, data.data(), kCurrentPosition, data.size()), -1);
    EXPECT_NE(platform::GetLastError(), platform::kErrorDiskFull);
    reader.join();
}

// 64-bit offsets on a sparse file made by truncate(1): a write and a read just
// above 4 GiB land there, not at the same low word below 4 GiB.
TEST(FileIo, SparseFiveGiBFile) {
    qvtest::TempDir dir;
    std::string path = dir / "big";
    qvtest::RunOk("truncate -s 5G " + qvtest::ShellQuote(path));
    FileHandle file = OpenFileReadWrite(U(path));
    ASSERT_NE(file, nullptr);
    Closer closer{file};
    EXPECT_EQ(GetFileSize64(file), int64_t{5} << 30);
    const uint64_t high = 0x100000010ull;
    const char text[] = "above four";
    EXPECT_EQ(WriteFileAt(file, text, high, sizeof(text)), static_cast<int64_t>(sizeof(text)));
    uint64_t position = 0;
    ASSERT_TRUE(GetFilePosition64(file, position));
    EXPECT_EQ(position, high + sizeof(text));
    char back[sizeof(text)] = {};
    EXPECT_TRUE(ReadFileAt(file, back, high, sizeof(back)));
    EXPECT_STREQ(back, text);
    char low[sizeof(text)] = {1};
    EXPECT_TRUE(ReadFileAt(file, low, 0x10, sizeof(low)));
    EXPECT_EQ(std::string(low, sizeof(low)), std::string(sizeof(low), '\0'));
    ASSERT_TRUE(SeekFile64(file, high));
    ASSERT_TRUE(GetFilePosition64(file, position));
    EXPECT_EQ(position, high);
    // Offset 0xFFFFFFFF:0 is an ordinary offset, not "the current position".
    EXPECT_EQ(WriteFileAt(file, "x", 0xFFFFFFFFull, 1), 1);
    ASSERT_TRUE(GetFilePosition64(file, position));
    EXPECT_EQ(position, 0x100000000ull);
    EXPECT_FALSE(SeekFile64(file, 0x8000000000000000ull));
}

TEST(FileIo, ShortReads) {
    qvtest::TempDir dir;
    std::string path = dir / "f";
    std::string content = "0123456789ABCDEFGHIJ";   // 20 bytes
    qvtest::WriteFileText(path, content);
    FileHandle file = OpenFileForRead(U(path));
    ASSERT_NE(file, nullptr);
    Closer closer{file};
    struct Row {
        uint64_t offset;
        size_t count;
        bool exact;
        int64_t counted;
    };
    const Row rows[] = {
        {0, 20, true, 20},  {15, 10, false, 5}, {15, 5, true, 5},
        {20, 1, false, 0},  {100, 4, false, 0}, {0, 0, true, 0},
    };
    for (const Row& row : rows) {
        char buffer[32] = {};
        EXPECT_EQ(ReadFileAt(file, buffer, row.offset, row.count), row.exact) << row.offset << "+" << row.count;
        EXPECT_EQ(ReadFileAtCount(file, buffer, row.offset, row.count), row.counted) << row.offset << "+" << row.count;
        if (row.counted > 0) {
            EXPECT_EQ(std::string(buffer, static_cast<size_t>(row.counted)),
                      content.substr(static_cast<size_t>(row.offset), static_cast<size_t>(row.counted)));
        }
    }
    char buffer[32];
    EXPECT_EQ(ReadFileAtCount(file, buffer, 0x8000000000000000ull, 4), -1);
    EXPECT_EQ(ReadFileAtCount(nullptr, buffer, 0, 4), -1);
    ASSERT_TRUE(SeekFile64(file, 12));
    size_t count = 5;
    EXPECT_TRUE(ReadFileExact(file, buffer, count));
    EXPECT_EQ(std::string(buffer, 5), "CDEFG");
    count = 10;
    EXPECT_FALSE(ReadFileExact(file, buffer, count));
    EXPECT_EQ(count, 3u);
}

TEST(FileIo, WritesAtTheCurrentPositionAndAnsiText) {
    ::setenv("QV_ANSI_CODEPAGE", "1252", 1);
    qvtest::TempDir dir;
    std::string path = dir / "w";
    FileHandle file = CreateNewFile(U(path));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteFileAt(file, "abc", kCurrentPosition, 3), 3);
    EXPECT_EQ(WriteFileAt(file, "def", kCurrentPosition, 3), 3);
    EXPECT_EQ(WriteFileAt(file, "XY", 1, 2), 2);
    EXPECT_EQ(WriteFileAt(file, "!", kCurrentPosition, 1), 1);
    EXPECT_EQ(WriteAnsiTextAt(file, u"caf\u00e9", 8), 4);   // one byte a character in the ANSI page
    EXPECT_EQ(WriteAnsiTextAt(file, u"", 0), -1);
    SafeCloseHandle(file);
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 12u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), std::string("aXY!ef\0\0", 8));
    EXPECT_EQ(bytes[8], 'c');
    SafeCloseHandle(nullptr);
}

TEST(FileIo, OpenFailuresGiveNull) {
    qvtest::TempDir dir;
    EXPECT_EQ(OpenFileForRead(U(dir / "missing")), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound);
    EXPECT_EQ(OpenFileReadWrite(U(dir / "missing")), nullptr);
    EXPECT_EQ(OpenFileShared(U(dir / "no/such")), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
    EXPECT_EQ(CreateNewFile(U(dir / "no/such")), nullptr);
    EXPECT_EQ(GetFileSize64(nullptr), -1);
}

TEST(FileIo, CreateOutputFileAsksBeforeOverwriting) {
    qvtest::TempDir dir;
    std::string path = dir / "out";
    qvtest::WriteFileText(path, "keep me");
    ScriptedUiServices ui;
    ScopedServices<foundation::SetUiServices> scoped(&ui);
    ui.QueueBoxAnswer(kIdNo);
    EXPECT_EQ(CreateOutputFile(U(path)), nullptr);
    EXPECT_EQ(qvtest::ReadFileBytes(path).size(), 7u);
    ui.QueueBoxAnswer(kIdYes);
    FileHandle file = CreateOutputFile(U(path));
    ASSERT_NE(file, nullptr);
    SafeCloseHandle(file);
    EXPECT_EQ(qvtest::ReadFileBytes(path).size(), 0u);
    // A folder that does not exist: the failure is shown with the path.
    size_t boxes = ui.Boxes().size();
    EXPECT_EQ(CreateOutputFile(U(dir / "no/such/file")), nullptr);
    ASSERT_EQ(ui.Boxes().size(), boxes + 1);
    EXPECT_NE(ui.Boxes().back().request.text.find(U(dir / "no/such/file")), std::u16string::npos);
}

}  // namespace
