// Identifier rules of a saved image, one row per rule.

#include "image/iso/iso_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace {

using image::BuildIsoName;
using image::BuildJolietName;
using image::IsoNameOptions;

class IsoNamesTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("QV_ANSI_CODEPAGE", "1252", 1); }
};

TEST_F(IsoNamesTest, IsoIdentifiers) {
    struct Row {
        const char16_t* name;
        int limit;
        bool folder;
        bool lower;
        int number;   // -1: none
        std::string expected;
    } rows[] = {
        {u"readme.txt", 221, false, false, -1, "README.TXT"},
        {u"readme.txt", 221, false, true, -1, "readme.txt"},
        {u"README.TXT", 221, false, false, 0, "README~0.TXT"},
        {u"longfilename.html", 12, false, false, -1, "LONGFI~0.HTM"},
        {u"a.b", 12, true, false, -1, "A~0"},
        {u"short.txt", 12, false, false, -1, "SHORT.TXT"},
        {u"two.dots.txt", 12, false, false, -1, "TWO~0.TXT"},
        {u"with blank.c", 12, false, false, -1, "WITH_B~0.C"},   // base and "~N" within 8 bytes
        {u"semi;colon", 221, false, false, -1, "SEMI_COLON"},
        {u".", 221, true, false, -1, std::string(1, '\0')},
        {u"..", 221, true, false, -1, std::string(1, '\1')},
        {u"a_name_of_exactly_thirty_bytes", 30, false, false, -1, "A_NAME_OF_EXACTLY_THIRTY_BYTES"},
        {u"a_name_longer_than_thirty_bytes.extension", 30, false, false, -1, "A_NAME_LONGER_THAN~0.EXTENSION"},
        {u"caf\u00e9.txt", 221, false, false, -1, "CAF\xC9.TXT"},
        {u"\u4e2d.txt", 221, false, false, -1, "_.TXT"},   // not in code page 1252: "_", never an empty name
    };
    for (const Row& row : rows) {
        IsoNameOptions o;
        o.limit = row.limit;
        o.isFolder = row.folder;
        o.allowLowerCase = row.lower;
        std::optional<uint32_t> n;
        if (row.number >= 0) n = uint32_t(row.number);
        std::string got = BuildIsoName(row.name, o, n);
        EXPECT_EQ(got, row.expected) << platform::Utf16ToUtf8(row.name) << " limit " << row.limit;
        EXPECT_LE(got.size(), size_t(row.limit));
    }
}

TEST_F(IsoNamesTest, NumbersNeverPassTheLimit) {
    IsoNameOptions o;
    o.limit = 12;
    for (uint32_t n : {0u, 9u, 10u, 999u, 99999u, 999999u}) {
        std::string got = BuildIsoName(u"averyverylongname.extension", o, n);
        EXPECT_LE(got.size(), 12u) << got;
        EXPECT_NE(got.find("~" + std::to_string(n)), std::string::npos) << got;
    }
}

TEST_F(IsoNamesTest, DoubleByteCharactersAreNeverCut) {
    setenv("QV_ANSI_CODEPAGE", "932", 1);
    IsoNameOptions o;
    o.limit = 12;
    o.allowLowerCase = true;
    // Six kanji are twelve bytes in code page 932: the base is cut whole.
    std::string got = BuildIsoName(u"\u65e5\u672c\u8a9e\u306e\u540d\u524d.txt", o, std::nullopt);
    EXPECT_EQ(got.size() % 2, 0u) << "a lead byte without its trail byte";
    std::u16string back;
    ASSERT_TRUE(platform::MultiByteToUtf16(932, got, back));
    EXPECT_EQ(back.find(u'\ufffd'), std::u16string::npos);
}

TEST_F(IsoNamesTest, JolietIdentifiers) {
    std::u16string longName(120, u'j');
    longName += u".text";
    std::u16string got = BuildJolietName(longName, 110, 0, true);
    EXPECT_EQ(got.size(), 110u);
    EXPECT_EQ(got.substr(got.size() - 7), u"~0.text");
    EXPECT_EQ(BuildJolietName(u"semi;colon", 110, std::nullopt, true), u"semi_colon");
    EXPECT_EQ(BuildJolietName(u"Fits.txt", 64, std::nullopt, true), u"Fits.txt");
    // A surrogate pair is one character: never split.
    std::u16string emoji = std::u16string(62, u'e') + u"\U0001F600" + u"zz.txt";
    std::u16string cut = BuildJolietName(emoji, 64, 0, true);
    EXPECT_LE(cut.size(), 64u);
    EXPECT_FALSE(cut.size() >= 1 && cut[cut.size() - 7] >= 0xD800 && cut[cut.size() - 7] < 0xDC00);
}

// Joliet forbids the control characters and * / : ; ? \ in identifiers;
// genisoimage and xorriso write "_" for each, and so do we. Characters that
// Joliet allows, though Windows does not in its own names, stay.
TEST_F(IsoNamesTest, JolietForbiddenCharactersBecomeUnderscores) {
    struct Row {
        std::u16string name;
        std::u16string expected;
    };
    const Row rows[] = {
        {u"a*b", u"a_b"},
        {u"a/b", u"a_b"},
        {u"a:b", u"a_b"},
        {u"a;b", u"a_b"},
        {u"a?b", u"a_b"},
        {u"a\\b", u"a_b"},
        {std::u16string(u"a") + char16_t(0) + u"b", u"a_b"},
        {u"a\x01" u"b\x1F" u".txt", u"a_b_.txt"},
        {u"a\"b<c>d|e.txt", u"a\"b<c>d|e.txt"},
        {u"a b\x7F\x20", u"a b\x7F "},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(BuildJolietName(row.name, 110, std::nullopt, true), row.expected)
            << platform::Utf16ToUtf8(row.expected);
        // A numbered name is built from the replaced one.
        std::u16string numbered = BuildJolietName(row.name, 110, 3, true);
        EXPECT_EQ(numbered.find_first_of(std::u16string_view(u"*/:;?\\\x01\x1F")), std::u16string::npos);
    }
    // Without replacement (no Joliet tree is written), the name is kept.
    EXPECT_EQ(BuildJolietName(u"a*b", 110, std::nullopt, false), u"a*b");
}

TEST_F(IsoNamesTest, RecordOrder) {
    using image::IsoRecordLess;
    EXPECT_TRUE(IsoRecordLess("A.TXT", "A_B"));     // "." before every byte but ";"
    EXPECT_TRUE(IsoRecordLess("A;1", "A.TXT"));     // ";" before everything
    EXPECT_FALSE(IsoRecordLess("A;1", "A;2"));      // equal at ";"
    EXPECT_TRUE(IsoRecordLess("AB", "ABC"));        // shorter first
    EXPECT_TRUE(IsoRecordLess("Z", "\xC9"));        // unsigned bytes
    // Joliet: code values, not byte-swapped units.
    EXPECT_TRUE(image::JolietLess(u"\u0100", u"\u0201"));
    EXPECT_TRUE(image::JolietLess(u"\u00ff", u"\u0100"));
}

TEST_F(IsoNamesTest, NameHashes) {
    // h = (h >> 3) + h * 0x8008 + byte, signed bytes, up to ";".
    uint32_t h = 0;
    for (char c : std::string("AB")) h = (h >> 3) + h * 0x8008u + uint32_t(int32_t(static_cast<signed char>(c)));
    EXPECT_EQ(image::IsoNameHash("AB;1"), h);
    uint32_t neg = (0 >> 3) + 0 * 0x8008u + uint32_t(int32_t(static_cast<signed char>('\xC9')));
    EXPECT_EQ(image::IsoNameHash("\xC9"), neg);
    EXPECT_EQ(image::WideNameHash(u"AB"), h);   // high bytes are zero and skipped
}

TEST_F(IsoNamesTest, LongNamesFromRecords) {
    EXPECT_EQ(image::LongNameFromIsoIdentifier("README.TXT;1"), u"README.TXT");
    EXPECT_EQ(image::LongNameFromIsoIdentifier(";1"), u";1");
    EXPECT_EQ(image::LongNameFromJolietIdentifier(u"name.txt;1"), u"name.txt");
    EXPECT_EQ(image::LongNameFromJolietIdentifier(u"folder."), u"folder");
}

}  // namespace
