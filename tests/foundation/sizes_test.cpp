#include "foundation/sizes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/support/test_support.h"

namespace {

using namespace foundation;

struct SizeRow {
    uint64_t bytes;
    const char16_t* kb;
    const char16_t* kbMb;
    const char16_t* automatic;
};

// One table for every size text.
const SizeRow kSizes[] = {
    {0, u"0 KB", u"0 KB", u"0 KB"},
    {1, u"0.1 KB", u"0.1 KB", u"0.1 KB"},
    {51, u"0.1 KB", u"0.1 KB", u"0.1 KB"},       // 0.0498 rounds to 0.0, held at 0.1
    {1024, u"1 KB", u"1 KB", u"1 KB"},
    {1536, u"1.5 KB", u"1.5 KB", u"1.5 KB"},
    {10240, u"10 KB", u"10 KB", u"10 KB"},
    {12288, u"12 KB", u"12 KB", u"12 KB"},
    {102400, u"100 KB", u"100 KB", u"100 KB"},   // "100.0 KB" loses only its ".0"
    {1048575, u"1024 KB", u"1024 KB", u"1024 KB"},
    {1048576, u"1024 KB", u"1 MB", u"1 MB"},
    {1572864, u"1536 KB", u"1.5 MB", u"1.5 MB"},
    {1048576000, u"1024000 KB", u"1000 MB", u"1000 MB"},   // "1000.0 MB"
    {1073741823, u"1048576 KB", u"1024 MB", u"1024 MB"},
    {1073741824, u"1048576 KB", u"1024 MB", u"1 GB"},
    {5905580032, u"5767168 KB", u"5632 MB", u"5.5 GB"},
    {UINT64_MAX, u"18014398509481984 KB", u"17592186044416 MB", u"17179869184 GB"},
};

TEST(Sizes, TextsOfTheTable) {
    for (const SizeRow& row : kSizes) {
        EXPECT_EQ(FormatSizeKb(row.bytes), row.kb) << row.bytes;
        EXPECT_EQ(FormatSizeKbMb(row.bytes), row.kbMb) << row.bytes;
        EXPECT_EQ(FormatSizeAuto(row.bytes), row.automatic) << row.bytes;
    }
    EXPECT_EQ(FormatSizeMb(1), u"0 MB");
    EXPECT_EQ(FormatSizeMb(1048576 * 3 / 2), u"1.5 MB");
    EXPECT_EQ(FormatSizeGb(1073741824), u"1 GB");
    EXPECT_EQ(FormatSizeGb(1073741824ull * 21 / 10), u"2.1 GB");
}

TEST(Sizes, Thousands) {
    struct Row {
        uint64_t value;
        const char16_t* text;
    };
    const Row rows[] = {{0, u"0"}, {999, u"999"}, {1000, u"1,000"}, {9876543, u"9,876,543"},
                        {100000, u"100,000"}, {UINT64_MAX, u"18,446,744,073,709,551,615"}};
    for (const Row& row : rows) EXPECT_EQ(FormatThousands(row.value), row.text) << row.value;
}

// The window library sets the process locale from the environment; a German
// locale's decimal comma must not reach the size texts.
TEST(Sizes, TextsIgnoreTheProcessLocale) {
    qvtest::TempDir dir;
    qvtest::RunOk("localedef -i de_DE -f UTF-8 " + qvtest::ShellQuote(dir / "de_DE.UTF-8"));
    setenv("LOCPATH", dir.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");   // the locale is really in force
    EXPECT_EQ(FormatSizeKb(1536), u"1.5 KB");
    EXPECT_EQ(FormatSizeAuto(5905580032), u"5.5 GB");
    EXPECT_EQ(FormatThousands(1234567), u"1,234,567");
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}

}  // namespace
