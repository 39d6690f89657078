// Code-page conversions: CP1252 against the iconv tool, default characters,
// the code page chosen by QV_ANSI_CODEPAGE, cuts that never split a character,
// in-place conversions and per-thread scratch blocks.

#include "image/document/text_conversions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using image::MultiByteToWide;
using image::MultiByteToWideText;
using image::SwapBytes16Copy;
using image::WideToMultiByte;
using image::WideToMultiByteText;

constexpr uint32_t kCp1252 = 1252;

// Sets QV_ANSI_CODEPAGE for one test and puts the old value back.
class ScopedAnsiCodePage {
public:
    explicit ScopedAnsiCodePage(const char* value) {
        if (const char* old = std::getenv("QV_ANSI_CODEPAGE")) old_ = old, had_ = true;
        ::setenv("QV_ANSI_CODEPAGE", value, 1);
    }
    ~ScopedAnsiCodePage() {
        if (had_) {
            ::setenv("QV_ANSI_CODEPAGE", old_.c_str(), 1);
        } else {
            ::unsetenv("QV_ANSI_CODEPAGE");
        }
    }

private:
    std::string old_;
    bool had_ = false;
};

// Every byte CP1252 defines, decoded by the iconv program and by us, and back.
TEST(TextConversions, Cp1252RoundTripAgreesWithIconvTool) {
    std::string bytes;
    for (int b = 0x20; b <= 0xFF; ++b) {
        if (b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;  // undefined
        bytes += static_cast<char>(b);
    }
    qvtest::TempDir dir;
    qvtest::WriteFileBytes(dir / "cp1252.bin", bytes.data(), bytes.size());
    std::string toolUtf8 = qvtest::RunOk("iconv -f CP1252 -t UTF-8 " + qvtest::ShellQuote(dir / "cp1252.bin"));

    std::u16string wide = MultiByteToWideText(bytes, kCp1252);
    EXPECT_EQ(platform::Utf16ToUtf8(wide), toolUtf8);
    EXPECT_EQ(wide.size(), bytes.size());
    EXPECT_EQ(WideToMultiByteText(wide, kCp1252), bytes);

    // The same through the buffer forms.
    std::vector<char16_t> wideBuffer(bytes.size() + 1);
    int32_t units =
        MultiByteToWide(bytes.c_str(), -1, wideBuffer.data(), kCp1252, static_cast<int32_t>(wideBuffer.size() * 2));
    ASSERT_EQ(units, static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(wideBuffer[static_cast<size_t>(units)], u'\0');
    std::vector<char> narrow(bytes.size() + 1, 'x');
    int32_t written =
        WideToMultiByte(wideBuffer.data(), -1, narrow.data(), kCp1252, static_cast<int32_t>(narrow.size()));
    ASSERT_EQ(written, static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(std::string(narrow.data()), bytes);
}

TEST(TextConversions, UnrepresentableCharactersGetTheDefaultCharacter) {
    struct Row {
        const char* what;
        std::u16string text;
        uint32_t codePage;
        std::string expected;
    };
    const Row rows[] = {
        {"CJK in CP1252", u"a\u65E5\u672Cb", kCp1252, "a??b"},
        {"surrogate pair is one character", u"x\U0001F600y", kCp1252, "x?y"},
        {"lone surrogate", std::u16string(u"p") + char16_t(0xD800) + u"q", kCp1252, "p?q"},
        {"Cyrillic in CP437", u"\u0416z", 437, "?z"},
        {"code page iconv lacks keeps ASCII", u"ab\u00E9\u65E5", 12345, "ab??"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(WideToMultiByteText(row.text, row.codePage), row.expected) << row.what;
        char buffer[32];
        int32_t written = WideToMultiByte(row.text.c_str(), static_cast<int32_t>(row.text.size()), buffer, row.codePage,
                                          sizeof buffer);
        EXPECT_EQ(std::string(buffer, static_cast<size_t>(written)), row.expected) << row.what;
    }
    // Bytes without a character become U+FFFD, never an empty text.
    EXPECT_EQ(MultiByteToWideText("a\x81z", kCp1252), u"a\uFFFDz");
    EXPECT_EQ(MultiByteToWideText("q\xE9", 12345), u"q\uFFFD");
}

TEST(TextConversions, AnsiCodePageComesFromQvAnsiCodepage) {
    const std::u16string text = u"\u041F\u0440\u0438";  // "При"
    {
        ScopedAnsiCodePage cp("1251");
        EXPECT_EQ(WideToMultiByteText(text, image::kAnsiCodePage), "\xCF\xF0\xE8");
        EXPECT_EQ(MultiByteToWideText("\xCF\xF0\xE8", image::kAnsiCodePage), text);
    }
    {
        ScopedAnsiCodePage cp("1252");
        EXPECT_EQ(WideToMultiByteText(text, image::kAnsiCodePage), "???");
        EXPECT_EQ(MultiByteToWideText("\xCF\xF0\xE8", image::kAnsiCodePage), u"\u00CF\u00F0\u00E8");
    }
}

TEST(TextConversions, ShortDestinationsNeverSplitACharacter) {
    const std::u16string text = u"\u65E5\u672C\u8A9E";  // 2 bytes each in Shift-JIS
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    // Room for 4 bytes with the terminator: one whole character fits.
    EXPECT_EQ(WideToMultiByte(text.c_str(), -1, buffer, 932, 4), 2);
    EXPECT_EQ(std::string(buffer), "\x93\xFA");
    EXPECT_EQ(buffer[4], 'x');
    // No terminator asked: all 4 bytes are used.
    EXPECT_EQ(WideToMultiByte(text.c_str(), 3, buffer, 932, 4), 4);
    // A null destination asks for the size.
    EXPECT_EQ(WideToMultiByte(text.c_str(), -1, nullptr, 932, 0), 6);

    // A surrogate pair is not cut in half.
    const std::string emoji = "a\xF0\x9F\x98\x80";
    char16_t wide[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWide(emoji.c_str(), -1, wide, platform::kCodePageUtf8, sizeof wide), 1);
    EXPECT_EQ(wide[0], u'a');
    EXPECT_EQ(wide[1], u'\0');
    EXPECT_EQ(MultiByteToWide(emoji.c_str(), -1, nullptr, platform::kCodePageUtf8, 0), 3);
}

TEST(TextConversions, InPlaceConversionsReadTheirSourceFirst) {
    char16_t buffer[16] = u"Stra\u00DFe \u20AC";
    char* narrow = reinterpret_cast<char*>(buffer);
    int32_t written = WideToMultiByte(buffer, -1, narrow, kCp1252, sizeof buffer);
    ASSERT_EQ(written, 8);
    EXPECT_EQ(std::string(narrow),
              "Stra\xDF"
              "e \x80");

    // And back: the narrow text sits at the start of the wide buffer.
    int32_t units = MultiByteToWide(narrow, -1, buffer, kCp1252, sizeof buffer);
    ASSERT_EQ(units, 8);
    EXPECT_EQ(std::u16string(buffer), u"Stra\u00DFe \u20AC");
}

TEST(TextConversions, SwapBytes16Copy) {
    const uint8_t source[] = {0x00, 0x41, 0x30, 0x42, 0x7F};
    uint8_t out[5] = {};
    SwapBytes16Copy(out, source, 5);
    const uint8_t swapped[] = {0x41, 0x00, 0x42, 0x30, 0x7F};  // the odd last byte as is
    EXPECT_EQ(0, std::memcmp(out, swapped, 5));

    uint8_t inPlace[] = {1, 2, 3, 4};
    SwapBytes16Copy(inPlace, inPlace, 4);
    const uint8_t inPlaceExpected[] = {2, 1, 4, 3};
    EXPECT_EQ(0, std::memcmp(inPlace, inPlaceExpected, 4));

    // Overlapping by one byte, as a shift inside one buffer would.
    uint8_t shifted[] = {1, 2, 3, 4, 0};
    SwapBytes16Copy(shifted + 1, shifted, 4);
    const uint8_t shiftedExpected[] = {1, 2, 1, 4, 3};
    EXPECT_EQ(0, std::memcmp(shifted, shiftedExpected, 5));
}

// Conversions on several threads at once (extraction, listing and layout all
// convert) each get their own scratch block and their own results.
TEST(TextConversions, ThreadsDoNotShareAScratchBlock) {
    ASSERT_EQ(image::AllocScratchBuffer(), 1);
    ASSERT_EQ(image::ScratchBuffer().size(), image::kScratchBufferBytes);
    const uint8_t* mainBlock = image::ScratchBuffer().data();
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    std::vector<const uint8_t*> blocks(4, nullptr);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures, &blocks] {
            std::u16string text = u"thread-" + std::u16string(1, char16_t(u'A' + t)) + u"-\u00E9\u00E8";
            std::string expected = "thread-" + std::string(1, char('A' + t)) + "-\xE9\xE8";
            for (int i = 0; i < 2000; ++i) {
                char16_t buffer[32] = {};
                std::copy(text.begin(), text.end(), buffer);
                char* narrow = reinterpret_cast<char*>(buffer);
                WideToMultiByte(buffer, -1, narrow, kCp1252, sizeof buffer);
                if (std::string(narrow) != expected) ++failures[static_cast<size_t>(t)];
            }
            blocks[static_cast<size_t>(t)] = image::ScratchBuffer().data();
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(failures[static_cast<size_t>(t)], 0) << t;
        EXPECT_NE(blocks[static_cast<size_t>(t)], nullptr);
        EXPECT_NE(blocks[static_cast<size_t>(t)], mainBlock);
    }
}

}  // namespace
