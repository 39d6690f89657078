#include "platform/format.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using platform::Format;

// glibc's own snprintf on the narrow equivalent is the expected text for the
// numeric conversions.
template <typename... Args>
std::u16string Oracle(const char* format, Args... args) {
    char buf[512];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    int n = std::snprintf(buf, sizeof buf, format, args...);
#pragma GCC diagnostic pop
    return platform::Utf8ToUtf16(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0));
}

struct Row {
    const char* name;
    std::u16string got;
    std::u16string expected;
};

#define NUM(wide, narrow, ...) Row{narrow, Format(wide, __VA_ARGS__), Oracle(narrow, __VA_ARGS__)}
#define TXT(wide, expected, ...) Row{#wide, Format(wide __VA_OPT__(, ) __VA_ARGS__), expected}

std::vector<Row> Table() {
    int64_t big = -9000000000LL;
    uint64_t huge = 18000000000000000000ULL;
    size_t count = 123456789012ULL;
    const char16_t* nullWide = nullptr;
    const char* nullNarrow = nullptr;
    std::u16string owned = u"owned";
    std::string narrowOwned = "caf\xC3\xA9";
    return {
        // integers
        NUM(u"%d", "%d", 42),
        NUM(u"%i", "%i", -42),
        NUM(u"[%5d]", "[%5d]", -42),
        NUM(u"[%-5d]", "[%-5d]", 42),
        NUM(u"[%05d]", "[%05d]", -42),
        NUM(u"%+d % d", "%+d % d", 42, 42),
        NUM(u"%.3d|%.0d|", "%.3d|%.0d|", 7, 0),
        NUM(u"%u", "%u", 4000000000u),
        NUM(u"%u", "%u", -1),
        NUM(u"%x %X", "%x %X", 0xbeefu, 0xbeefu),
        NUM(u"%#x %#X %#o %o", "%#x %#X %#o %o", 255u, 255u, 8u, 8u),
        NUM(u"%08x", "%08x", -2),
        NUM(u"%hd %hu %hhu", "%hd %hu %hhu", 70000, 70000, 300),
        NUM(u"%I64d", "%lld", static_cast<long long>(big)),
        NUM(u"%I64u", "%llu", static_cast<unsigned long long>(huge)),
        NUM(u"%I64X", "%llX", 0xFFFFFFFFFFull),
        NUM(u"%lld %llu", "%lld %llu", LLONG_MIN, ULLONG_MAX),
        NUM(u"%Iu %zu", "%zu %zu", count, count),
        NUM(u"%ld %lu", "%d %u", 123, 456u),
        NUM(u"[%*d]", "[%*d]", 6, 42),
        NUM(u"[%-*d]", "[%-*d]", 6, 42),
        NUM(u"[%*d]", "[%*d]", -6, 42),
        NUM(u"[%.*d]", "[%.*d]", 4, 42),
        NUM(u"[%*.*d]", "[%*.*d]", 8, 5, -42),
        NUM(u"%d", "%d", INT_MIN),
        // floating point
        NUM(u"%f", "%f", 3.14159),
        NUM(u"%.2f", "%.2f", 2.675),
        NUM(u"[%10.3f]", "[%10.3f]", -1.5),
        NUM(u"[%-10.1f]", "[%-10.1f]", 1.25),
        NUM(u"[%010.2f]", "[%010.2f]", -3.5),
        NUM(u"%e", "%e", 12345.678),
        NUM(u"%E", "%E", 0.000123),
        NUM(u"%g %g %g", "%g %g %g", 0.0001, 1e20, 100000.0),
        NUM(u"%#g %G", "%#g %G", 1.0, 1e-10),
        NUM(u"%+.0f %.0f", "%+.0f %.0f", 2.5, 3.5),
        NUM(u"%f %f", "%f %f", INFINITY, -INFINITY),
        NUM(u"%.3e", "%.3e", 0.0),
        NUM(u"%.1f", "%.1f", 0.05f),
        NUM(u"%.15g", "%.15g", 1.0 / 3.0),
        NUM(u"[%*.*f]", "[%*.*f]", 9, 2, 3.14159),
        // pointers: every digit in upper case
        TXT(u"%p", u"0000000000001234", reinterpret_cast<const void*>(0x1234)),
        TXT(u"[%20p]", u"[    00007FFF0000ABCD]", reinterpret_cast<const void*>(0x7FFF0000ABCDull)),
        TXT(u"%p", u"0000000000000000", nullptr),
        // strings and characters
        TXT(u"%s", u"disc", u"disc"),
        TXT(u"[%6s]", u"[  disc]", u"disc"),
        TXT(u"[%-6s]", u"[disc  ]", u"disc"),
        TXT(u"[%.2s]", u"[di]", u"disc"),
        TXT(u"[%.1s]", u"[]", u"\U0001F600"),   // no half of a pair
        TXT(u"[%.2s]", u"[\U0001F600]", u"\U0001F600x"),
        TXT(u"[%06s]", u"[00disc]", u"disc"),
        TXT(u"%s", u"owned", owned),
        TXT(u"%ls|%ws", u"a|b", u"a", u"b"),
        TXT(u"%S|%hs", u"caf\u00E9|n", narrowOwned, "n"),
        TXT(u"%S", u"bad\uFFFD", "bad\xFF"),
        TXT(u"%s|%S", u"(null)|(null)", nullWide, nullNarrow),
        TXT(u"%c%c", u"\u03A9!", u'\u03A9', u'!'),
        TXT(u"[%3c]", u"[  x]", u'x'),
        TXT(u"%C%hc", u"AB", 'A', 'B'),
        TXT(u"%lC", u"\u0416", u'\u0416'),
        TXT(u"100%%", u"100%"),
        TXT(u"%s is %d%% done", u"Track 01 is 50% done", u"Track 01", 50),
        // type mismatches show, never misbehave
        TXT(u"%d", u"%!d(string)", u"text"),
        TXT(u"%s", u"%!s(int)", 42),
        TXT(u"%f", u"%!f(int)", 1),
        TXT(u"%x", u"%!x(double)", 1.5),
        TXT(u"%s", u"%!s(narrow string)", "narrow"),
        TXT(u"%S", u"%!S(string)", u"wide"),
        TXT(u"%c", u"%!c(string)", u"c"),
        TXT(u"[%*d]", u"[%!*(not an int)]", u"w", 5),
        TXT(u"%d %d", u"1 %!d(missing)", 1),
        TXT(u"%n", u"%!n(unknown)", 1),
        TXT(u"%y", u"%!y(unknown)"),
        TXT(u"end %", u"end %!(incomplete)"),
        TXT(u"%ll", u"%!(incomplete)", 1),
        TXT(u"no args", u"no args", 1, 2),
    };
}

TEST(PlatformFormat, Table) {
    for (const Row& row : Table()) {
        EXPECT_EQ(platform::Utf16ToUtf8(row.got), platform::Utf16ToUtf8(row.expected)) << row.name;
    }
}

// Widths and precisions in a format string (which may come from a language
// file) are capped instead of allocating without bound.
TEST(PlatformFormat, HugeWidthIsCapped) {
    EXPECT_EQ(Format(u"%999999999d", 1).size(), 65536u);
    EXPECT_EQ(Format(u"%*s", 2000000000, u"x").size(), 65536u);
    EXPECT_EQ(Format(u"%.999999999f", 1.0).substr(0, 4), u"1.00");
}

// Format strings come from language files: any string, with any arguments,
// gives bounded output and never reads or writes what it should not.
TEST(PlatformFormat, ArbitraryFormatStringsAreSafe) {
    const char16_t alphabet[] = u"%%%%-+ 0#*.19hlIw6L4dixXofeEgGpsScCnq\u00E9\xD800";
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    const char16_t* wide = u"wide";
    for (int round = 0; round < 20000; ++round) {
        std::u16string format;
        size_t length = next() % 12;
        for (size_t i = 0; i < length; ++i) format += alphabet[next() % (sizeof alphabet / sizeof alphabet[0] - 1)];
        std::u16string out;
        switch (round % 4) {
            case 0: out = Format(format); break;
            case 1: out = Format(format, 7, wide, 2.5); break;
            case 2: out = Format(format, "narrow", -1LL, nullptr, 'c'); break;
            default: out = Format(format, 1u, 2u, 3u, 4u, 5u, 6u); break;
        }
        ASSERT_LE(out.size(), 6u * 65536u + 1024u) << platform::Utf16ToUtf8(format);
    }
}

// Qt sets the process locale from the user's; numbers stay in the C locale.
TEST(PlatformFormat, NumbersIgnoreTheProcessLocale) {
    qvtest::TempDir dir;
    qvtest::RunOk("localedef -i de_DE -f UTF-8 " + qvtest::ShellQuote(dir / "de_DE.UTF-8"));
    setenv("LOCPATH", dir.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    char german[32];
    std::snprintf(german, sizeof german, "%.2f", 1234.5);
    EXPECT_STREQ(german, "1234,50");   // the locale is really in force
    EXPECT_EQ(Format(u"%.2f %g %e", 1234.5, 0.5, 1e6), u"1234.50 0.5 1.000000e+06");
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}

}  // namespace
