#include "foundation/utf8_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/system_facts.h"
#include "tests/support/test_support.h"

namespace {

using namespace foundation;

std::string Hex(std::string_view bytes) {
    std::string out;
    static const char* digits = "0123456789ABCDEF";
    for (unsigned char c : bytes) {
        if (!out.empty()) out.push_back(' ');
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// Valid text: our encoder gives what iconv gives for the same UTF-16LE bytes.
TEST(Utf8Text, EncodingMatchesIconv) {
    const std::u16string samples[] = {
        u"\u00e9", u"\u20ac", u"\U0001F600", u"\x7f", u"plain ASCII", u"\U00020000 CJK B",
        std::u16string(3000, u'\u00e9'),   // longer than any old fixed buffer
    };
    qvtest::TempDir dir;
    for (const std::u16string& text : samples) {
        std::vector<uint8_t> le;
        for (char16_t c : text) {
            le.push_back(static_cast<uint8_t>(c));
            le.push_back(static_cast<uint8_t>(c >> 8));
        }
        qvtest::WriteFileBytes(dir / "in", le.data(), le.size());
        const std::string expected = qvtest::RunOk("iconv -f UTF-16LE -t UTF-8 " + qvtest::ShellQuote(dir / "in"));
        const std::string ours = WideToUtf8Static(text);
        EXPECT_EQ(Hex(ours.substr(0, 16)), Hex(expected.substr(0, 16)));
        EXPECT_EQ(ours, expected);
        EXPECT_EQ(Utf8ToWideStatic(ours), text);
    }
}

// Malformed input becomes U+FFFD as Python's codec makes it.
TEST(Utf8Text, DecodingTable) {
    struct Row {
        const char* name;
        std::string bytes;
        std::u16string expected;
    };
    const Row rows[] = {
        {"two bytes", "\xC3\xA9", u"\u00e9"},
        {"three bytes", "\xE2\x82\xAC", u"\u20ac"},
        {"outside the BMP is a surrogate pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"DEL is kept", "a\x7F" "b", u"a\x7F" "b"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"five-byte form", "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"cut at the end", "ab\xE2\x82", u"ab\uFFFD"},
        {"four-byte form cut at the end", "\xF0\x9F\x98", u"\uFFFD"},
        {"encoded low surrogate", "\xED\xB8\x80z", u"\uFFFD\uFFFD\uFFFDz"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"stray continuation", "\x80z", u"\uFFFDz"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Utf8ToWideStatic(row.bytes), row.expected) << row.name;
        // Python's decoder replaces malformed input the same way, unit for unit.
        const std::string python = qvtest::RunOk(
            "python3 -c 'import sys; sys.stdout.write(bytes.fromhex(sys.argv[1]).decode(\"utf-8\", "
            "\"replace\").encode(\"utf-16-le\").hex(\" \").upper())' " +
            qvtest::ShellQuote(Hex(row.bytes)));
        std::string le;
        for (char16_t u : Utf8ToWideStatic(row.bytes)) {
            le.push_back(static_cast<char>(u & 0xFF));
            le.push_back(static_cast<char>(u >> 8));
        }
        EXPECT_EQ(Hex(le), python) << row.name;
    }
    // A lone surrogate cannot be encoded; it becomes U+FFFD, never a 3-byte surrogate form.
    EXPECT_EQ(Hex(WideToUtf8Static(std::u16string(1, u'\xD800') + u"x")), "EF BF BD 78");
}

TEST(Utf8Text, TextBuffersByTheirMark) {
    const uint8_t utf8[] = {0xEF, 0xBB, 0xBF, 'a', 0xC3, 0xA9};
    EXPECT_EQ(TextBufferToWide(utf8), u"\uFEFFa\u00e9");
    setenv("QV_ANSI_CODEPAGE", "1252", 1);
    const uint8_t ansi[] = {'a', 0xE9, 0x80};
    EXPECT_EQ(TextBufferToWide(ansi), u"a\u00e9\u20ac");
    setenv("QV_ANSI_CODEPAGE", "99999", 1);
    EXPECT_FALSE(TextBufferToWide(ansi));
    unsetenv("QV_ANSI_CODEPAGE");
    EXPECT_EQ(TextBufferToWide({}), u"");
}

TEST(SystemFacts, LinuxTakesTheNewestRoad) {
    EXPECT_EQ(GetWindowsKind(), kWindowsKindVistaOrLater);
    EXPECT_EQ(GetWindowsKind(), 6);
    EXPECT_TRUE(IsVistaOrLater());
}

}  // namespace
