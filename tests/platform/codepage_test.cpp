#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/platform/scoped_env.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

using qvtest::ScopedEnv;

std::string IconvTo(const std::string& from, const std::string& to, const std::string& inputPath) {
    return qvtest::RunOk("iconv -f " + from + " -t " + to + " " + qvtest::ShellQuote(inputPath));
}

struct CodePageCase {
    uint32_t codePage;
    const char* iconvName;
    std::string sampleUtf8;   // text the code page can carry
};

// The bytes come from the iconv tool, and the tool's decoding is the expected
// text: our converter must agree with it on the same bytes both ways.
TEST(PlatformCodePage, AgreesWithTheIconvTool) {
    const CodePageCase cases[] = {
        {1252, "CP1252", "Caf\xC3\xA9 \xE2\x82\xAC 5 \xE2\x80\x9Cquoted\xE2\x80\x9D \xC5\xA0 \xC3\xBF"},
        {936, "CP936", "\xE5\x85\x89\xE7\x9B\x98\xE6\x98\xA0\xE5\x83\x8F disc 01"},
        {932, "CP932", "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF \xEF\xBD\xB6\xEF\xBE\x85 \xE6\x97\xA5\xE6\x9C\xAC"},
        {437, "CP437", "\xE2\x95\x94\xE2\x95\x90\xE2\x95\x97 \xC3\xA7 \xC2\xBD \xCE\xB1"},
        {850, "CP850", "\xC3\x98re \xC3\x80 \xC2\xA9 \xC3\x9F"},
    };
    qvtest::TempDir dir;
    for (const CodePageCase& c : cases) {
        SCOPED_TRACE(c.iconvName);
        std::string utf8Path = dir / (std::string(c.iconvName) + ".utf8");
        std::string bytesPath = dir / (std::string(c.iconvName) + ".bin");
        qvtest::WriteFileText(utf8Path, c.sampleUtf8);
        qvtest::RunOk("iconv -f UTF-8 -t " + std::string(c.iconvName) + " " + qvtest::ShellQuote(utf8Path) +
                      " > " + qvtest::ShellQuote(bytesPath));
        std::vector<uint8_t> raw = qvtest::ReadFileBytes(bytesPath);
        std::string bytes(raw.begin(), raw.end());
        ASSERT_FALSE(bytes.empty());

        std::u16string decoded;
        ASSERT_TRUE(platform::MultiByteToUtf16(c.codePage, bytes, decoded));
        EXPECT_EQ(platform::Utf16ToUtf8(decoded), IconvTo(c.iconvName, "UTF-8", bytesPath));

        std::string encoded;
        bool usedDefault = true;
        ASSERT_TRUE(platform::Utf16ToMultiByte(c.codePage, decoded, encoded, &usedDefault));
        EXPECT_EQ(encoded, bytes);
        EXPECT_FALSE(usedDefault);
    }
}

// Every byte of the single-byte pages, decoded by us and by the tool.
TEST(PlatformCodePage, EverySingleByteAgreesWithTheIconvTool) {
    struct Page {
        uint32_t codePage;
        const char* iconvName;
        std::string undefined;   // bytes the page leaves without a character
    };
    const Page pages[] = {
        {1252, "CP1252", "\x81\x8D\x8F\x90\x9D"},
        {437, "CP437", ""},
        {850, "CP850", ""},
    };
    qvtest::TempDir dir;
    for (const Page& page : pages) {
        SCOPED_TRACE(page.iconvName);
        std::string bytes;
        for (int b = 1; b < 256; ++b) {
            if (page.undefined.find(static_cast<char>(b)) == std::string::npos) bytes += static_cast<char>(b);
        }
        std::string path = dir / page.iconvName;
        qvtest::WriteFileBytes(path, bytes.data(), bytes.size());
        std::u16string decoded;
        ASSERT_TRUE(platform::MultiByteToUtf16(page.codePage, bytes, decoded));
        EXPECT_EQ(platform::Utf16ToUtf8(decoded), IconvTo(page.iconvName, "UTF-8", path));
        for (char b : page.undefined) {
            ASSERT_TRUE(platform::MultiByteToUtf16(page.codePage, std::string("a") + b + "z", decoded));
            EXPECT_EQ(decoded, u"a\uFFFDz");
        }
    }
}

TEST(PlatformCodePage, BadBytesAndMissingCharacters) {
    std::u16string decoded;
    // A lead byte with no trail byte at the end, and a lead byte followed by a
    // byte that cannot trail.
    ASSERT_TRUE(platform::MultiByteToUtf16(932, "A\x82", decoded));
    EXPECT_EQ(decoded, u"A\uFFFD");
    ASSERT_TRUE(platform::MultiByteToUtf16(936, "\x81\x20" "B", decoded));
    EXPECT_EQ(decoded.back(), u'B');
    EXPECT_NE(decoded.find(u'\uFFFD'), std::u16string::npos);

    std::string encoded;
    bool usedDefault = false;
    ASSERT_TRUE(platform::Utf16ToMultiByte(1252, u"a\u65E5b\U0001F600c\xD800", encoded, &usedDefault));
    EXPECT_EQ(encoded, "a?b?c?");
    EXPECT_TRUE(usedDefault);

    ASSERT_TRUE(platform::Utf16ToMultiByte(1252, u"plain", encoded, &usedDefault));
    EXPECT_FALSE(usedDefault);
    ASSERT_TRUE(platform::Utf16ToMultiByte(1252, u"", encoded, &usedDefault));
    EXPECT_TRUE(encoded.empty());

    // A stateful encoding ends in its initial state, even after a substitution.
    ASSERT_TRUE(platform::Utf16ToMultiByte(50220, u"日😀", encoded, &usedDefault));
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(encoded, "$BF|(B?");
}

TEST(PlatformCodePage, ChosenFromTheLocale) {
    struct Row {
        const char* locale;
        uint32_t ansi;
        uint32_t oem;
    };
    const Row rows[] = {
        {"C", 1252, 437},          {"POSIX", 1252, 437},       {"en_US.UTF-8", 1252, 437},
        {"en_GB.UTF-8", 1252, 850}, {"de_DE.UTF-8", 1252, 850}, {"fr_FR@euro", 1252, 850},
        {"zh_CN.UTF-8", 936, 936}, {"zh_TW.UTF-8", 950, 950},  {"ja_JP.UTF-8", 932, 932},
        {"ko_KR.UTF-8", 949, 949}, {"ru_RU.UTF-8", 1251, 866}, {"uk_UA", 1251, 866},
        {"bg_BG", 1251, 866},      {"el_GR.UTF-8", 1253, 737}, {"tr_TR.UTF-8", 1254, 857},
        {"he_IL.UTF-8", 1255, 862}, {"ar_EG.UTF-8", 1256, 720}, {"pl_PL.UTF-8", 1250, 852},
        {"cs_CZ", 1250, 852},      {"hu_HU", 1250, 852},       {"hea_XX", 1252, 850},
        {"C.UTF-8", 1252, 437},
    };
    ScopedEnv noAnsi("QV_ANSI_CODEPAGE", nullptr);
    ScopedEnv noOem("QV_OEM_CODEPAGE", nullptr);
    ScopedEnv noCtype("LC_CTYPE", nullptr);
    for (const Row& r : rows) {
        ScopedEnv all("LC_ALL", r.locale);
        EXPECT_EQ(platform::AnsiCodePage(), r.ansi) << r.locale;
        EXPECT_EQ(platform::OemCodePage(), r.oem) << r.locale;
    }
    // LC_ALL wins over LANG; LANG serves when nothing else is set.
    {
        ScopedEnv all("LC_ALL", nullptr);
        ScopedEnv lang("LANG", "ja_JP.UTF-8");
        EXPECT_EQ(platform::AnsiCodePage(), 932u);
        ScopedEnv ctype("LC_CTYPE", "ru_RU.UTF-8");
        EXPECT_EQ(platform::AnsiCodePage(), 1251u);
    }
}

TEST(PlatformCodePage, OverridesAndAMissingCodePage) {
    ScopedEnv all("LC_ALL", "en_US.UTF-8");
    {
        ScopedEnv ansi("QV_ANSI_CODEPAGE", "1251");
        ScopedEnv oem("QV_OEM_CODEPAGE", "866");
        EXPECT_EQ(platform::AnsiCodePage(), 1251u);
        EXPECT_EQ(platform::OemCodePage(), 866u);
        std::u16string decoded;
        ASSERT_TRUE(platform::MultiByteToUtf16(platform::kCodePageAnsi, "\xC4\xE8\xF1\xEA", decoded));
        EXPECT_EQ(decoded, u"\u0414\u0438\u0441\u043A");
        ASSERT_TRUE(platform::MultiByteToUtf16(platform::kCodePageOem, "\x84\xA8\xE1\xAA", decoded));
        EXPECT_EQ(decoded, u"\u0414\u0438\u0441\u043A");
    }
    {
        // Not a number: ignored, the locale decides.
        ScopedEnv ansi("QV_ANSI_CODEPAGE", "cp1251");
        EXPECT_EQ(platform::AnsiCodePage(), 1252u);
    }
    {
        // A code page iconv does not have fails clearly, with nothing converted.
        ScopedEnv ansi("QV_ANSI_CODEPAGE", "99999");
        std::u16string decoded = u"stale";
        platform::SetLastError(0);
        EXPECT_FALSE(platform::MultiByteToUtf16(platform::kCodePageAnsi, "abc", decoded));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
        EXPECT_TRUE(decoded.empty());
        std::string encoded = "stale";
        platform::SetLastError(0);
        EXPECT_FALSE(platform::Utf16ToMultiByte(platform::kCodePageAnsi, u"abc", encoded));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
        EXPECT_TRUE(encoded.empty());
    }
    std::u16string decoded;
    ASSERT_TRUE(platform::MultiByteToUtf16(platform::kCodePageUtf8, "\xC3\xA9\xFF", decoded));
    EXPECT_EQ(decoded, u"\u00E9\uFFFD");
}

}  // namespace
