#include "foundation/language_file.h"
#include "tests/foundation/language_file_builder.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <zlib.h>

using namespace foundation;
using langtest::LangFileBuilder;

namespace {

const char* ErrorName(LangFileError e) {
    switch (e) {
    case LangFileError::None: return "None";
    case LangFileError::CannotOpen: return "CannotOpen";
    case LangFileError::BadSize: return "BadSize";
    case LangFileError::BadHeader: return "BadHeader";
    case LangFileError::BadCrc: return "BadCrc";
    case LangFileError::BadCount: return "BadCount";
    case LangFileError::Truncated: return "Truncated";
    case LangFileError::BadRecord: return "BadRecord";
    }
    return "?";
}

LangFileBuilder German() {
    return LangFileBuilder::Language(1031, u"German", u"Deutsch")
        .Strings({{700, u"Name existiert bereits."}, {30870, u"OK"}, {30880, u"Abbrechen"}})
        .Owner(230, {{1001, std::nullopt, u"Titel"}, {1002, std::nullopt, u""}})
        .Owner(128, {{0xFFFF, u"|0", u"&Datei"}, {0xFFFF, u"|0|0", u"&Neu"}, {32846, std::nullopt, u"&Bild"}});
}

}  // namespace

TEST(LanguageFile, ChecksumIsZlibCrc32PlusOne) {
    const char* check = "123456789";
    EXPECT_EQ(LangBodyChecksum({reinterpret_cast<const uint8_t*>(check), 9}), 0xCBF43926u + 1);
    EXPECT_EQ(LangBodyChecksum({}), 1u);
    std::vector<uint8_t> body(1000);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 31 + 7);
    EXPECT_EQ(LangBodyChecksum(body), static_cast<uint32_t>(crc32(0, body.data(), 1000)) + 1);
}

TEST(LanguageFile, ParsesEveryRecordClass) {
    LangFileError error = LangFileError::BadCrc;
    auto file = ParseLangFile(German().Build(), &error);
    ASSERT_TRUE(file) << ErrorName(error);
    EXPECT_EQ(error, LangFileError::None);
    EXPECT_EQ(file->languageId, 1031);
    EXPECT_EQ(file->name, u"German");
    EXPECT_EQ(file->nativeName, u"Deutsch");
    EXPECT_EQ(file->fontName, u"Tahoma");
    EXPECT_EQ(file->fontSize, 9u);
    ASSERT_EQ(file->entries.size(), 8u);
    EXPECT_EQ(*FindStringText(*file, 700), u"Name existiert bereits.");
    EXPECT_EQ(FindStringText(*file, 701), nullptr);
    EXPECT_EQ(*FindControlText(*file, 230, 1001), u"Titel");
    EXPECT_EQ(FindControlText(*file, 231, 1001), nullptr);
    EXPECT_EQ(*FindPopupText(*file, 128, u"|0|0"), u"&Neu");
    EXPECT_EQ(FindPopupText(*file, 128, u"|0|1"), nullptr);
    // A keyed entry is not a control text, and keys compare exactly.
    EXPECT_EQ(FindControlText(*file, 128, 0xFFFF), nullptr);
    EXPECT_EQ(*FindControlText(*file, 128, 32846), u"&Bild");
}

TEST(LanguageFile, FirstEntryWins) {
    auto file = ParseLangFile(LangFileBuilder().Strings({{5, u"first"}, {5, u"second"}}).Build());
    ASSERT_TRUE(file);
    EXPECT_EQ(*FindStringText(*file, 5), u"first");
}

TEST(LanguageFile, MalformedFilesAreRefused) {
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
        LangFileError expected;
    };
    auto withByte = [](std::vector<uint8_t> bytes, size_t offset, uint8_t value) {
        bytes[offset] = value;
        return bytes;
    };
    std::vector<uint8_t> good = German().Build();
    std::vector<uint8_t> truncatedString = LangFileBuilder().Byte(0x20).Byte(1).Le16(7).Str(u"no end", false).Build(1);
    std::vector<Row> rows = {
        {"empty", {}, LangFileError::BadSize},
        {"CRC without +1", German().Build(std::nullopt, 0), LangFileError::BadCrc},
        {"CRC +2", German().Build(std::nullopt, 2), LangFileError::BadCrc},
        {"count below the entries", German().Build(7), LangFileError::BadCount},
        {"count 0 with entries", German().Build(0), LangFileError::BadCount},
        {"count the size cannot hold", German().Build(0xFFFFFFFF), LangFileError::BadCount},
        {"string past the end", truncatedString, LangFileError::Truncated},
        {"half a character at the end", LangFileBuilder().Byte(0x12).Le16('a').Byte(0).Build(), LangFileError::Truncated},
        {"id cut", LangFileBuilder().Byte(0x11).Byte(9).Build(), LangFileError::Truncated},
        {"font size cut", LangFileBuilder().Byte(0x14).Le16(9).Build(), LangFileError::Truncated},
        {"count byte missing", LangFileBuilder().Byte(0x20).Build(), LangFileError::Truncated},
        {"owner cut", LangFileBuilder().Byte(0x40).Byte(1).Byte(5).Build(0), LangFileError::Truncated},
        {"fewer entries than the record says", LangFileBuilder().Byte(0x20).Byte(2).Le16(1).Str(u"x").Build(2), LangFileError::Truncated},
        {"key without text", LangFileBuilder().Byte(0x40).Byte(1).Le16(128).Le16(0xFFFF).Str(u"|0").Build(1), LangFileError::Truncated},
        {"owner id 0", LangFileBuilder().Owner(0, {{1, std::nullopt, u"x"}}).Build(), LangFileError::BadRecord},
        {"owner id 1", LangFileBuilder().Owner(1, {{1, std::nullopt, u"x"}}).Build(), LangFileError::BadRecord},
        {"name of 64 characters", LangFileBuilder().Name(std::u16string(64, u'n')).Build(), LangFileError::BadRecord},
        {"font of 64 characters", LangFileBuilder().Font(std::u16string(64, u'n')).Build(), LangFileError::BadRecord},
        {"unknown class", LangFileBuilder().Byte(0x30).Byte(0).Build(), LangFileError::BadRecord},
        {"unknown fixed subtype", LangFileBuilder().Byte(0x16).Le16(0).Build(), LangFileError::BadRecord},
        {"fixed subtype 0", LangFileBuilder().Byte(0x10).Build(), LangFileError::BadRecord},
        {"magic", withByte(good, 0, 'l'), LangFileError::BadHeader},
        {"header size", withByte(good, 4, 16), LangFileError::BadHeader},
        {"version", withByte(good, 6, 3), LangFileError::BadHeader},
        {"header cut", std::vector<uint8_t>(good.begin(), good.begin() + 14), LangFileError::BadHeader},
        {"body byte flipped", withByte(good, 20, static_cast<uint8_t>(good[20] ^ 1)), LangFileError::BadCrc},
    };
    for (const Row& row : rows) {
        LangFileError error = LangFileError::None;
        EXPECT_EQ(ParseLangFile(row.bytes, &error), nullptr) << row.name;
        EXPECT_STREQ(ErrorName(error), ErrorName(row.expected)) << row.name;
    }
}

TEST(LanguageFile, LimitsThatStillLoad) {
    EXPECT_TRUE(ParseLangFile(LangFileBuilder().Name(std::u16string(63, u'n')).Build()));
    EXPECT_TRUE(ParseLangFile(LangFileBuilder().Build()));           // header only
    EXPECT_TRUE(ParseLangFile(German().Build(9)));                   // fewer entries than declared
    EXPECT_TRUE(ParseLangFile(LangFileBuilder().Strings({}).Build()));   // a record of no entries
    auto big = LangFileBuilder().Strings(std::vector<std::pair<uint16_t, std::u16string>>(4095, {1, u"x"})).Build();
    auto file = ParseLangFile(big);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->entries.size(), 4095u);
}

TEST(LanguageFile, SizeLimitOnDisk) {
    qvtest::TempDir dir;
    // 29 + 2k bytes: header, id, font size, one string record of k units.
    size_t units = (0x1FFFFF - 29) / 2;
    auto largest = LangFileBuilder().Id(1031).FontSize(8).Strings({{1, std::u16string(units, u'x')}}).Build();
    ASSERT_EQ(largest.size(), 0x1FFFFFu);
    qvtest::WriteFileBytes(dir / "largest.lng", largest.data(), largest.size());
    LangFileError error = LangFileError::None;
    EXPECT_TRUE(LoadLangFile(platform::Utf8ToUtf16(dir / "largest.lng"), &error)) << ErrorName(error);

    largest.push_back(0);
    qvtest::WriteFileBytes(dir / "toolarge.lng", largest.data(), largest.size());
    EXPECT_FALSE(LoadLangFile(platform::Utf8ToUtf16(dir / "toolarge.lng"), &error));
    EXPECT_EQ(error, LangFileError::BadSize);
    EXPECT_FALSE(ParseLangFile(largest, &error));
    EXPECT_EQ(error, LangFileError::BadSize);

    qvtest::WriteFileBytes(dir / "empty.lng", "", 0);
    EXPECT_FALSE(LoadLangFile(platform::Utf8ToUtf16(dir / "empty.lng"), &error));
    EXPECT_EQ(error, LangFileError::BadSize);
    EXPECT_FALSE(LoadLangFile(platform::Utf8ToUtf16(dir / "missing.lng"), &error));
    EXPECT_EQ(error, LangFileError::CannotOpen);
}

TEST(LanguageFile, RandomDamageNeverCrashes) {
    // Flipped bytes with the checksum recomputed, so the parser itself sees
    // the damage.
    std::vector<uint8_t> good = German().Build();
    uint32_t seed = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = good;
        for (int flips = 0; flips < 3; ++flips) {
            seed = seed * 1103515245 + 12345;
            size_t at = 15 + (seed >> 8) % (bytes.size() - 15);
            bytes[at] ^= static_cast<uint8_t>(1 + (seed >> 20) % 255);
        }
        if (round % 7 == 0) bytes.resize(15 + (seed >> 4) % (bytes.size() - 15));
        uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data() + 15, static_cast<uInt>(bytes.size() - 15))) + 1;
        for (int i = 0; i < 4; ++i) bytes[11 + i] = static_cast<uint8_t>(crc >> (8 * i));
        auto file = ParseLangFile(bytes);
        if (file) {
            EXPECT_LE(file->entries.size(), 8u);
        }
    }
}
