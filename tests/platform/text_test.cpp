#include "platform/last_error.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

// Malformed input: one U+FFFD per maximal ill-formed subpart.
TEST(PlatformUtf8ToUtf16, DecodesAndReplacesMalformedInput) {
    const Utf8Case cases[] = {
        {"ascii", "abc", u"abc"},
        {"two byte", "\xC3\xA9", u"\u00E9"},
        {"three byte", "\xE2\x82\xAC", u"\u20AC"},
        {"four byte is a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"lone continuation", "a\x80z", u"a\uFFFDz"},
        {"overlong two byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"overlong three byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"truncated at end", "x\xE2\x82", u"x\uFFFD"},
        {"truncated before ascii", "\xF0\x9F\x98" "A", u"\uFFFDA"},
        {"invalid lead", "\xFF\xFE", u"\uFFFD\uFFFD"},
        {"embedded nul kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.name;
    }
}

TEST(PlatformUtf16ToUtf8, EncodesPairsAndReplacesLoneSurrogates) {
    const Utf8Case cases[] = {
        {"ascii", "abc", u"abc"},
        {"latin", "\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
        {"pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"lone high at end", "a\xEF\xBF\xBD", u"a\xD83D"},
        {"lone low", "\xEF\xBF\xBD" "b", u"\xDE00" u"b"},
        {"high then ascii", "\xEF\xBF\xBDx", u"\xD83Dx"},
        {"two highs then low", "\xEF\xBF\xBD\xF0\x9F\x98\x80", u"\xD83D\xD83D\xDE00"},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.name;
    }
}

TEST(PlatformUtf16ToUtf8, EveryCodePointRoundTrips) {
    std::u16string all;
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        if (c < 0x10000) {
            all += static_cast<char16_t>(c);
        } else {
            all += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            all += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    std::string utf8;
    ASSERT_TRUE(platform::Utf16ToUtf8Strict(all, utf8));
    std::u16string back;
    ASSERT_TRUE(platform::Utf8ToUtf16Strict(utf8, back));
    EXPECT_TRUE(back == all);
}

TEST(PlatformStrictConversion, RefusesInsteadOfSubstituting) {
    std::string narrow = "stale";
    platform::SetLastError(0);
    EXPECT_FALSE(platform::Utf16ToUtf8Strict(u"name\xDC00.iso", narrow));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNoUnicodeTranslation);
    EXPECT_TRUE(narrow.empty());

    std::u16string wide = u"stale";
    platform::SetLastError(0);
    EXPECT_FALSE(platform::Utf8ToUtf16Strict("name\xC3(.iso", wide));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNoUnicodeTranslation);
    EXPECT_TRUE(wide.empty());

    EXPECT_TRUE(platform::Utf8ToUtf16Strict("\xE6\x97\xA5\xE6\x9C\xAC.iso", wide));
    EXPECT_EQ(wide, u"\u65E5\u672C.iso");
}

struct CasePair {
    char16_t upper;
    char16_t lower;
};

TEST(PlatformCaseFolding, TablePairsBothWays) {
    const CasePair pairs[] = {
        {u'A', u'a'}, {u'Z', u'z'}, {u'I', u'i'},
        {0x00C0, 0x00E0}, {0x00C9, 0x00E9}, {0x00DE, 0x00FE}, {0x0178, 0x00FF},
        {0x0100, 0x0101}, {0x0104, 0x0105}, {0x0141, 0x0142}, {0x0147, 0x0148},
        {0x0150, 0x0151}, {0x0160, 0x0161}, {0x0179, 0x017A}, {0x017D, 0x017E},
        {0x0391, 0x03B1}, {0x03A3, 0x03C3}, {0x03A9, 0x03C9}, {0x0386, 0x03AC},
        {0x0388, 0x03AD}, {0x038C, 0x03CC}, {0x038F, 0x03CE}, {0x03AB, 0x03CB},
        {0x0410, 0x0430}, {0x042F, 0x044F}, {0x0401, 0x0451}, {0x0404, 0x0454},
        {0x0490, 0x0491}, {0x04C0, 0x04CF}, {0x04C1, 0x04C2}, {0x04D0, 0x04D1},
    };
    for (const CasePair& p : pairs) {
        EXPECT_EQ(platform::ToLowerChar(p.upper), p.lower) << std::hex << static_cast<int>(p.upper);
        EXPECT_EQ(platform::ToUpperChar(p.lower), p.upper) << std::hex << static_cast<int>(p.lower);
    }
    // Characters without a locale-independent partner stay as they are.
    for (char16_t c : {u'1', u'_', char16_t(0x00D7), char16_t(0x00F7), char16_t(0x00DF), char16_t(0x00B5),
                       char16_t(0x0130), char16_t(0x0131), char16_t(0x017F), char16_t(0x4E2D)}) {
        EXPECT_EQ(platform::ToLowerChar(c), c) << std::hex << static_cast<int>(c);
        EXPECT_EQ(platform::ToUpperChar(c), c) << std::hex << static_cast<int>(c);
    }
    EXPECT_EQ(platform::ToUpperChar(0x03C2), 0x03A3);   // final sigma
}

TEST(PlatformCaseFolding, DoesNotFollowTheProcessLocale) {
    // Qt sets the process locale from the user's; folding must not change.
    const char* previous = std::setlocale(LC_ALL, "C.UTF-8");
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(platform::ToUpper(u"file\u00E9\u0451.iso"), u"FILE\u00C9\u0401.ISO");
    EXPECT_EQ(platform::ToLower(u"INDEX.HTM"), u"index.htm");
    std::setlocale(LC_ALL, "C");
}

TEST(PlatformCompareNoCase, OrdersAsLowerCaseAndFoldsBothSigmas) {
    struct Row {
        std::u16string a;
        std::u16string b;
        int sign;
    };
    const Row rows[] = {
        {u"Track01.WAV", u"track01.wav", 0},
        {u"abc", u"ABD", -1},
        {u"ABD", u"abc", 1},
        {u"ab", u"AB_", -1},
        {u"_x", u"ax", -1},   // '_' sorts before letters, as in lower case
        {u"\u03A3\u0391\u03A3", u"\u03C3\u03B1\u03C2", 0},
        {u"\u00C9T\u00C9", u"\u00E9t\u00E9", 0},
        {u"\u0416", u"\u0436\u0436", -1},
        {u"", u"", 0},
    };
    for (const Row& r : rows) {
        int got = platform::CompareNoCase(r.a, r.b);
        EXPECT_EQ((got > 0) - (got < 0), r.sign) << platform::Utf16ToUtf8(r.a) << " vs " << platform::Utf16ToUtf8(r.b);
        EXPECT_EQ(platform::EqualsNoCase(r.a, r.b), r.sign == 0);
    }
}

// One fold for every name test: the volume-set and extension checks once
// lowered ASCII alone, so an accented tail never matched its capital.
TEST(PlatformEndsWithNoCase, FoldsAsEqualsNoCase) {
    struct Row {
        std::u16string text;
        std::u16string tail;
        bool ends;
    };
    const Row rows[] = {
        {u"A.TAR.001", u".tar.001", true},
        {u"Disc.Part01.MZP", u".part01.mzp", true},
        {u"tar", u".tar", false},
        {u"x.xdi ", u".xdi", false},
        {u"x.iso", u"", true},
        {u"", u"", true},
        {u"CAF\u00C9.ISO", u"\u00E9.iso", true},
        {u"\u0391\u03A3.ISO", u"\u03c3.iso", true},
        {u"\u0130.iso", u"i.iso", false},   // dotted capital I folds to no ASCII letter
    };
    for (const Row& r : rows)
        EXPECT_EQ(platform::EndsWithNoCase(r.text, r.tail), r.ends)
            << platform::Utf16ToUtf8(r.text) << " / " << platform::Utf16ToUtf8(r.tail);
}

TEST(PlatformIsAsciiDigit, OnlyZeroToNine) {
    for (char16_t c : {u'0', u'5', u'9'}) EXPECT_TRUE(platform::IsAsciiDigit(c)) << int(c);
    // Neighbours, superscript two, Arabic-Indic zero, fullwidth zero.
    for (char16_t c : {u'/', u':', char16_t(0x00B2), char16_t(0x0660), char16_t(0xFF10)})
        EXPECT_FALSE(platform::IsAsciiDigit(c)) << int(c);
}

}  // namespace
