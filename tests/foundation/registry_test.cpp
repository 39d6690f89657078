#include "foundation/registry.h"
#include "foundation/registry_format.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace foundation;

namespace {

// Every test gets its own store folder.
class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override { setenv("QV_CONFIG_DIR", dir.path().c_str(), 1); }
    void TearDown() override { unsetenv("QV_CONFIG_DIR"); }
    qvtest::TempDir dir;
};

std::u16string Text(const std::optional<RegistryValue>& v) { return v ? v->text : u"<missing>"; }

}  // namespace

TEST(RegistryFormat, ValuesSurviveARoundTrip) {
    struct Row {
        const char* name;
        RegistryValue value;
    };
    const uint8_t bytes[] = {0x00, 0xff, 0x10, 0x7f};
    std::vector<uint8_t> big(300);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    const Row rows[] = {
        {"plain", RegistryValue::String(u"C:\\Program Files\\Quendravine")},
        {"quotes", RegistryValue::String(u"say \"hi\" \\ there\\")},
        {"unicode", RegistryValue::String(u"\u00e9\u4e2d\U0001F600")},
        {"line ends", RegistryValue::String(u"one\r\ntwo\tthree")},
        {"lone surrogate", RegistryValue::String(std::u16string(u"a") + char16_t(0xD800) + u"b")},
        {"empty", RegistryValue::String(u"")},
        {"dword", RegistryValue::Dword(0xFEDCBA98)},
        {"dword zero", RegistryValue::Dword(0)},
        {"binary", RegistryValue::Binary(bytes)},
        {"binary empty", RegistryValue::Binary({})},
        {"binary big", RegistryValue::Binary(big)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RegistryTree tree;
        SetRegistryValue(tree.FindOrAddKey(u"Software\\Quendravine"), u"Value", row.value);
        std::string text = FormatRegistryText(tree);
        RegistryTree back;
        ASSERT_TRUE(ParseRegistryText(text, back)) << text;
        const RegistryKey* key = back.FindKey(u"software\\QUENDRAVINE");
        ASSERT_NE(key, nullptr);
        const RegistryNamedValue* v = FindRegistryValue(*key, u"VALUE");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->value.type, row.value.type);
        EXPECT_EQ(v->value.text, row.value.text);
        EXPECT_EQ(v->value.dword, row.value.dword);
        EXPECT_EQ(v->value.bytes, row.value.bytes);
    }
}

TEST(RegistryFormat, ReadsRegeditStyleText) {
    const char* text =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; a comment\r\n"
        "[Software\\Quendravine]\r\n"
        "\"Status\"=dword:00000005\r\n"
        "\"MainWindow\"=hex:01,02,03,\\\r\n"
        "  04,05\r\n"
        "@=\"default\"\r\n"
        "[Software/Quendravine Virtual Drive/]\r\n"
        "\"DriveLetter\"=\"DEF\"\r\n";
    RegistryTree tree;
    ASSERT_TRUE(ParseRegistryText(text, tree));
    const RegistryKey* key = tree.FindKey(u"Software\\Quendravine");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(FindRegistryValue(*key, u"status")->value.dword, 5u);
    EXPECT_EQ(FindRegistryValue(*key, u"MainWindow")->value.bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(FindRegistryValue(*key, u"")->value.text, u"default");
    ASSERT_NE(tree.FindKey(u"software\\quendravine virtual drive"), nullptr);
}

// A quoted string holds no U+0000 on its way back: the hex(1) form the writer
// gives such a string ends at its first terminator, so reading stops there too.
TEST(RegistryFormat, QuotedStringEndsAtItsFirstNul) {
    struct Row {
        const char* name;
        std::string_view line;
        std::u16string text;
    };
    using namespace std::string_view_literals;
    const Row rows[] = {
        {"nul inside", "\"Text\"=\"ab\0cd\""sv, u"ab"},
        {"nul first", "\"Text\"=\"\0cd\""sv, u""},
        {"nul after escape", "\"Text\"=\"a\\\\\0\\\"\""sv, u"a\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RegistryTree tree;
        ASSERT_TRUE(ParseRegistryText(std::string("[Software]\n") + std::string(row.line) + "\n", tree));
        EXPECT_EQ(FindRegistryValue(*tree.FindKey(u"Software"), u"Text")->value.text, row.text);
        RegistryTree back;
        ASSERT_TRUE(ParseRegistryText(FormatRegistryText(tree), back));
        EXPECT_EQ(FindRegistryValue(*back.FindKey(u"Software"), u"Text")->value.text, row.text);
    }
}

TEST(RegistryFormat, RefusesDamagedText) {
    const char* rows[] = {
        "\"Status\"=dword:5\n",                               // value before any key
        "[Software]\n\"Status\"=dword:123456789\n",           // nine digits
        "[Software]\n\"Status\"=dword:xyz\n",
        "[Software]\n\"Data\"=hex:0g\n",
        "[Software]\n\"Data\"=hex:01,,02\n",
        "[Software]\n\"Text\"=\"unterminated\n",
        "[Software]\n\"Text\"=\"bad \\q escape\"\n",
        "[Software]\n\"Text\"=hex(1):41\n",                   // odd UTF-16 length
        "[Software\n",
        "[-Software]\n",
        "[\\-Software]\n",                                  // "[-Software]" once its separator is dropped
        "[/-]\n",
        "[]\n",
        "[Software]\nrandom garbage\n",
        "[Software]\n\"Name\"\n",
        "\x01\x02\x03 binary junk",
    };
    for (const char* text : rows) {
        RegistryTree tree;
        EXPECT_FALSE(ParseRegistryText(text, tree)) << text;
    }
    RegistryTree empty;
    EXPECT_TRUE(ParseRegistryText("", empty));
    EXPECT_TRUE(empty.keys.empty());
}

TEST_F(RegistryStore, WritesReadBackCaseInsensitively) {
    ASSERT_TRUE(RegistryWrite(RegistryHive::CurrentUser, u"Software\\Quendravine", u"TempFolder",
                              RegistryValue::String(u"/tmp/x")));
    ASSERT_TRUE(RegistryWrite(RegistryHive::CurrentUser, u"SOFTWARE\\quendravine", u"TEMPFOLDER",
                              RegistryValue::String(u"/tmp/y")));
    EXPECT_EQ(Text(RegistryRead(RegistryHive::CurrentUser, u"software\\Quendravine", u"tempfolder")), u"/tmp/y");
    EXPECT_FALSE(RegistryRead(RegistryHive::LocalMachine, u"Software\\Quendravine", u"TempFolder"));

    // The file is the .reg syntax, one key, the name as first written.
    std::string text = qvtest::RunOk("cat " + qvtest::ShellQuote(dir / "user.reg"));
    EXPECT_NE(text.find("[Software\\Quendravine]\n\"TempFolder\"=\"/tmp/y\""), std::string::npos) << text;
    struct stat st;
    ASSERT_EQ(stat((dir / "user.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryStore, NamesTheSyntaxCannotHoldAreRefused) {
    ASSERT_TRUE(RegistryWrite(RegistryHive::CurrentUser, u"Software\\Q", u"Kept", RegistryValue::Dword(1)));
    EXPECT_FALSE(RegistryWrite(RegistryHive::CurrentUser, u"Software\\Q", u"two\nlines", RegistryValue::Dword(2)));
    EXPECT_FALSE(RegistryWrite(RegistryHive::CurrentUser, u"Software\\Q\n[x]", u"v", RegistryValue::Dword(2)));
    EXPECT_FALSE(RegistryWrite(RegistryHive::CurrentUser, u"\\", u"v", RegistryValue::Dword(2)));
    // "[-key]" is the syntax's delete line: written, it would damage the hive.
    EXPECT_FALSE(RegistryWrite(RegistryHive::CurrentUser, u"-Software", u"v", RegistryValue::Dword(2)));
    EXPECT_FALSE(RegistryWrite(RegistryHive::CurrentUser, u"\\-Software\\Q", u"v", RegistryValue::Dword(2)));
    ASSERT_TRUE(RegistryWrite(RegistryHive::CurrentUser, u"Software\\-Q", u"v", RegistryValue::Dword(3)));
    EXPECT_EQ(RegistryRead(RegistryHive::CurrentUser, u"Software\\-Q", u"v")->dword, 3u);
    EXPECT_EQ(RegistryRead(RegistryHive::CurrentUser, u"Software\\Q", u"Kept")->dword, 1u);
}

TEST_F(RegistryStore, DeletesKeysWithTheirSubkeys) {
    RegistryWrite(RegistryHive::CurrentUser, u"Software\\A", u"v", RegistryValue::Dword(1));
    RegistryWrite(RegistryHive::CurrentUser, u"Software\\A\\B", u"v", RegistryValue::Dword(2));
    RegistryWrite(RegistryHive::CurrentUser, u"Software\\AB", u"v", RegistryValue::Dword(3));
    ASSERT_TRUE(RegistryDeleteKey(RegistryHive::CurrentUser, u"software\\a"));
    EXPECT_FALSE(RegistryKeyExists(RegistryHive::CurrentUser, u"Software\\A"));
    EXPECT_FALSE(RegistryKeyExists(RegistryHive::CurrentUser, u"Software\\A\\B"));
    EXPECT_TRUE(RegistryKeyExists(RegistryHive::CurrentUser, u"Software\\AB"));
    EXPECT_TRUE(RegistryDeleteKey(RegistryHive::CurrentUser, u"Software\\Missing"));
    ASSERT_TRUE(RegistryDeleteValue(RegistryHive::CurrentUser, u"Software\\AB", u"V"));
    EXPECT_FALSE(RegistryRead(RegistryHive::CurrentUser, u"Software\\AB", u"v"));
}

TEST_F(RegistryStore, DamagedFileReadsEmptyAndIsKeptAside) {
    const std::string damaged = "[Software\\Quendravine]\n\"Status\"=dword:zz\n";
    qvtest::WriteFileText(dir / "user.reg", damaged);
    EXPECT_FALSE(RegistryRead(RegistryHive::CurrentUser, u"Software\\Quendravine", u"Status"));
    EXPECT_EQ(qvtest::RunOk("cat " + qvtest::ShellQuote(dir / "user.reg.bad")), damaged);
    ASSERT_TRUE(RegistryWrite(RegistryHive::CurrentUser, u"Software\\Quendravine", u"Status",
                              RegistryValue::Dword(7)));
    EXPECT_EQ(RegistryRead(RegistryHive::CurrentUser, u"Software\\Quendravine", u"Status")->dword, 7u);

    // Damage found by a writer: kept aside too, and the write goes through.
    qvtest::WriteFileText(dir / "machine.reg", std::string("\0\0\0garbage", 10));
    ASSERT_TRUE(RegistryWrite(RegistryHive::LocalMachine, u"Software\\Quendravine", u"Install_Dir",
                              RegistryValue::String(u"/opt/q")));
    EXPECT_EQ(qvtest::ReadFileBytes(dir / "machine.reg.bad").size(), 10u);
    EXPECT_EQ(Text(RegistryRead(RegistryHive::LocalMachine, u"Software\\Quendravine", u"Install_Dir")), u"/opt/q");
}

TEST_F(RegistryStore, ValueWrittenIsReadAtOnceEvenWithinOneClockTick) {
    // The reader's cache must not hand back an older file that had the same
    // size and time stamp.
    for (uint32_t i = 0; i < 50; ++i) {
        ASSERT_TRUE(RegistryWrite(RegistryHive::CurrentUser, u"Software\\Quendravine", u"Status",
                                  RegistryValue::Dword(i)));
        ASSERT_EQ(RegistryRead(RegistryHive::CurrentUser, u"Software\\Quendravine", u"Status")->dword, i);
    }
}

TEST_F(RegistryStore, TwoProcessesWritingLoseNothing) {
    // Each process writes 1,000 values over a rolling set of its own names and,
    // after every write, checks the whole hive: it must parse (never torn) and
    // hold every value this process wrote last. A writer that replaced the
    // file from a stale copy would turn some of them back.
    constexpr int kPerProcess = 1000;
    constexpr int kNames = 25;
    // On a memory file system when there is one: the test is about the lock,
    // not about how fast the disk syncs 2,000 files.
    std::string shm = "/dev/shm/qvtest-XXXXXX";
    std::string folder = dir.path();
    if (mkdtemp(shm.data())) folder = shm;
    struct RemoveAtEnd {
        std::string path;
        bool active;
        ~RemoveAtEnd() {
            if (active) qvtest::Run("rm -rf " + qvtest::ShellQuote(path));
        }
    } cleanup{folder, folder != dir.path()};
    setenv("QV_CONFIG_DIR", folder.c_str(), 1);
    const std::string hive = folder + "/user.reg";
    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::vector<int> last(kNames, -1);
            auto nameOf = [&](int k) {
                return std::u16string(1, p == 0 ? u'A' : u'B') + char16_t(u'a' + k);
            };
            for (int i = 0; i < kPerProcess; ++i) {
                int k = i % kNames;
                if (!RegistryWrite(RegistryHive::CurrentUser, u"Software\\Quendravine", nameOf(k),
                                   RegistryValue::Dword(static_cast<uint32_t>(i))))
                    _exit(2);
                last[k] = i;
                std::vector<uint8_t> bytes = qvtest::ReadFileBytes(hive);
                RegistryTree tree;
                if (!ParseRegistryText(std::string(bytes.begin(), bytes.end()), tree)) _exit(3);
                const RegistryKey* key = tree.FindKey(u"Software\\Quendravine");
                if (!key) _exit(4);
                for (int j = 0; j < kNames; ++j) {
                    if (last[j] < 0) continue;
                    const RegistryNamedValue* v = FindRegistryValue(*key, nameOf(j));
                    if (!v || v->value.dword != static_cast<uint32_t>(last[j])) _exit(5);
                }
            }
            _exit(0);
        }
        children[p] = pid;
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "2 write failed, 3 torn, 4 key lost, 5 value lost";
    }
    for (char16_t prefix : {u'a', u'b'}) {
        for (int k = 0; k < kNames; ++k) {
            std::u16string name = std::u16string(1, prefix) + char16_t(u'A' + k);
            auto v = RegistryRead(RegistryHive::CurrentUser, u"Software\\Quendravine", name);
            ASSERT_TRUE(v);
            EXPECT_EQ(v->dword, static_cast<uint32_t>(kPerProcess - kNames + k));
        }
    }
    // No temporary file left behind.
    EXPECT_EQ(qvtest::RunOk("ls " + qvtest::ShellQuote(folder) + " | grep -v '\\.lock$' | sort"), "user.reg\n");
}

TEST(RegistryFormat, RandomDamageNeverCrashes) {
    RegistryTree tree;
    RegistryKey& key = tree.FindOrAddKey(u"Software\\Quendravine");
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    SetRegistryValue(key, u"MainWindow", RegistryValue::Binary(bytes));
    SetRegistryValue(key, u"Language", RegistryValue::Dword(1031));
    SetRegistryValue(key, u"TempFolder", RegistryValue::String(u"/tmp/\"q\"\\x"));
    SetRegistryValue(key, u"Odd", RegistryValue::String(u"a\nb"));
    const std::string good = FormatRegistryText(tree);
    uint32_t seed = 99;
    for (int round = 0; round < 3000; ++round) {
        std::string text = good;
        for (int flips = 0; flips < 2; ++flips) {
            seed = seed * 1103515245 + 12345;
            text[(seed >> 8) % text.size()] = static_cast<char>(seed >> 24);
        }
        if (round % 5 == 0) text.resize((seed >> 3) % text.size());
        RegistryTree parsed;
        if (ParseRegistryText(text, parsed)) {
            // Whatever parsed writes back out and parses again the same.
            RegistryTree again;
            ASSERT_TRUE(ParseRegistryText(FormatRegistryText(parsed), again)) << text;
            ASSERT_EQ(again.keys.size(), parsed.keys.size());
        }
    }
}
