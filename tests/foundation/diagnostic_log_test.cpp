// The diagnostic log is read back by a reader of its own built on zlib (an
// independent inflate), as a support engineer's tool would: unscramble with the
// key of each block, inflate the chain piece, stop at the 8 zero bytes.

#include "foundation/diagnostic_log.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/messages_scripted.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

struct DecodedLog {
    std::string text;
    std::vector<uint64_t> blockOffsets;
    std::vector<size_t> blockTextBytes;
    bool endsWithZeroTail = false;
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

std::string InflateRaw(const uint8_t* data, size_t size) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    std::string out(4096, '\0');
    z.next_in = const_cast<uint8_t*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

DecodedLog Decode(const std::vector<uint8_t>& file) {
    DecodedLog log;
    size_t at = 0;
    while (at + 8 <= file.size()) {
        bool zeros = true;
        for (size_t i = 0; i < 8; ++i) zeros = zeros && file[at + i] == 0;
        if (zeros) {
            log.endsWithZeroTail = at + 8 == file.size();
            break;
        }
        uint32_t plainLength = file[at] | (file[at + 1] << 8) | (file[at + 2] << 16);
        uint8_t key = file[at + 3];
        std::vector<uint8_t> block(file.begin() + at, file.end());
        for (size_t i = 4; i < block.size(); ++i) {
            block[i] ^= key;
            key = static_cast<uint8_t>(key + 17);
        }
        uint32_t n = Le32(block, 4);
        if (n + 12 > block.size()) break;
        std::string piece = InflateRaw(block.data() + 8, n);
        EXPECT_EQ(piece.size(), plainLength);
        EXPECT_EQ(Le32(block, 8 + n), 0u);
        log.blockOffsets.push_back(at);
        log.blockTextBytes.push_back(piece.size());
        log.text += piece;
        at += n + 12;
    }
    return log;
}

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        setenv("TZ", "UTC", 1);
    }
    std::u16string PathOf(const std::string& name) { return platform::Utf8ToUtf16(dir_ / name); }
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};

TEST_F(DiagnosticLogTest, StartAndEndLinesReadBack) {
    ASSERT_TRUE(foundation::LogStart(PathOf("a.log")));
    foundation::LogPrintf(true, false, u"drive %s lba %d\r\n", u"/dev/sr0", 1234);
    foundation::LogEnd();
    EXPECT_FALSE(foundation::LogIsOpen());
    DecodedLog log = Decode(qvtest::ReadFileBytes(dir_ / "a.log"));
    EXPECT_TRUE(log.endsWithZeroTail);
    EXPECT_NE(log.text.find("Quendravine Log Start(2.8) 6\r\n"), std::string::npos) << log.text;
    EXPECT_NE(log.text.find("drive /dev/sr0 lba 1234\r\n"), std::string::npos);
    EXPECT_NE(log.text.find("Quendravine Log End\r\n"), std::string::npos);
    // The time prefix "hh:mm:ss " comes first.
    ASSERT_GE(log.text.size(), 9u);
    EXPECT_EQ(log.text[2], ':');
    EXPECT_EQ(log.text[5], ':');
    // Everything fits one block, rewritten in place at offset 0.
    EXPECT_EQ(log.blockOffsets, std::vector<uint64_t>{0});
}

TEST_F(DiagnosticLogTest, LongLineFillsOneBlockAndCarriesTheRest) {
    ASSERT_TRUE(foundation::LogStart(PathOf("b.log")));
    std::string start = Decode(qvtest::ReadFileBytes(dir_ / "b.log")).text;
    std::u16string line(3000 - start.size(), u'x');
    foundation::LogString(true, false, line);
    DecodedLog log = Decode(qvtest::ReadFileBytes(dir_ / "b.log"));
    ASSERT_EQ(log.blockOffsets.size(), 2u);
    EXPECT_EQ(log.text.size(), 3000u);
    EXPECT_EQ(log.blockTextBytes, (std::vector<size_t>{2048, 952}));
    EXPECT_TRUE(log.endsWithZeroTail);
    foundation::LogEnd();
}

TEST_F(DiagnosticLogTest, HexDumpLines) {
    struct Row {
        size_t count;
        std::string expected;
    } rows[] = {
        {0, "\r\n"},
        {6, "00 01 02 03 04 05 \r\n"},
        {16, "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \r\n"},
        {17, "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \r\n10 \r\n"},
    };
    uint8_t bytes[32];
    for (int i = 0; i < 32; ++i) bytes[i] = static_cast<uint8_t>(i);
    int n = 0;
    for (const Row& row : rows) {
        std::string name = "hex" + std::to_string(n++) + ".log";
        ASSERT_TRUE(foundation::LogStart(PathOf(name)));
        std::string start = Decode(qvtest::ReadFileBytes(dir_ / name)).text;
        foundation::LogHexDump(true, bytes, row.count);
        EXPECT_EQ(Decode(qvtest::ReadFileBytes(dir_ / name)).text.substr(start.size()), row.expected)
            << row.count;
        foundation::LogEnd();
    }
}

TEST_F(DiagnosticLogTest, ClosedLogDropsLines) {
    foundation::LogString(true, true, u"nobody hears this");
    foundation::LogHexDump(true, nullptr, 0);
    EXPECT_FALSE(foundation::LogIsOpen());
}

TEST_F(DiagnosticLogTest, FullDiskEndsTracingSilently) {
    ui_.QueueBoxAnswer(6);   // the overwrite question for the existing /dev/full
    bool started = foundation::LogStart(u"/dev/full");
    EXPECT_FALSE(started);
    EXPECT_FALSE(foundation::LogIsOpen());
    foundation::LogString(true, false, u"after");
    for (const auto& box : ui_.Boxes())
        EXPECT_NE(box.request.flags & foundation::kMbIconMask, foundation::kMbIconStop) << "a full disk shows no error";
}

TEST_F(DiagnosticLogTest, ThreadsNeverInterleaveLines) {
    ASSERT_TRUE(foundation::LogStart(PathOf("mt.log")));
    constexpr int kThreads = 4, kLines = 1000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                foundation::LogPrintf(i % 50 == 0, true, u"thread %d line %04d payload-%d\r\n", t, i, t * 7919 + i);
        });
    }
    for (auto& th : threads) th.join();
    foundation::LogEnd();
    std::string text = Decode(qvtest::ReadFileBytes(dir_ / "mt.log")).text;
    std::set<std::string> seen;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        std::string line = text.substr(at, end - at);
        at = end + 2;
        if (line.find("thread ") == std::string::npos) continue;
        int t = -1, i = -1, p = -1;
        ASSERT_EQ(std::sscanf(line.c_str() + 9, "thread %d line %d payload-%d", &t, &i, &p), 3) << line;
        EXPECT_EQ(p, t * 7919 + i) << line;
        seen.insert(line.substr(9));
    }
    EXPECT_EQ(seen.size(), size_t(kThreads * kLines));
}

TEST(DiagnosticLogPath, NameCarriesTheLocalTimeInTheDocumentsFolder) {
    qvtest::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "cfg").c_str(), 1);
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(home / "cfg") + " " + qvtest::ShellQuote(home / "Docs"));
    qvtest::WriteFileText(home / "cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    std::string path = platform::Utf16ToUtf8(foundation::TraceLogPath());
    EXPECT_EQ(path.rfind(home / "Docs/Quendravine-", 0), 0u) << path;
    EXPECT_EQ(path.size(), (home / "Docs/Quendravine-").size() + 14 + 4);
    EXPECT_EQ(path.substr(path.size() - 4), ".log");
    qvtest::WriteFileText(home / "cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Missing\"\n");
    EXPECT_EQ(platform::Utf16ToUtf8(foundation::DocumentsFolder()), home.path());
}

// The documents folder is the one the desktop's own xdg-user-dir names,
// whenever that folder exists.
TEST(DiagnosticLogPath, DocumentsFolderAgreesWithXdgUserDir) {
    qvtest::TempDir home;
    const std::string cfg = home / "cfg";
    qvtest::RunOk("mkdir -p " + qvtest::ShellQuote(cfg) + " " + qvtest::ShellQuote(home / "My Docs") + " " +
                  qvtest::ShellQuote(home / "elsewhere/papers"));
    struct Row {
        const char* name;
        std::string dirsFile;   // empty: no user-dirs.dirs at all
    } rows[] = {
        {"no user-dirs.dirs", ""},
        {"under $HOME with a blank", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/My Docs\"\n"},
        {"absolute", "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"" + (home / "elsewhere/papers") + "\"\n"},
    };
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", cfg.c_str(), 1);
    unsetenv("XDG_DOCUMENTS_DIR");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        qvtest::RunOk("rm -f " + qvtest::ShellQuote(cfg + "/user-dirs.dirs"));
        if (!row.dirsFile.empty()) qvtest::WriteFileText(cfg + "/user-dirs.dirs", row.dirsFile);
        std::string desktop = qvtest::RunOk("xdg-user-dir DOCUMENTS");
        while (!desktop.empty() && desktop.back() == '\n') desktop.pop_back();
        EXPECT_EQ(platform::Utf16ToUtf8(foundation::DocumentsFolder()), desktop);
    }
}

}  // namespace
