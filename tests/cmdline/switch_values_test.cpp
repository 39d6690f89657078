// The first volume of a set as the console finds it, and the console's
// control-character filter.

#include <gtest/gtest.h>

#include "cmdline/switch_values.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

TEST(SwitchValues, FirstVolumeOfASet) {
    qvtest::TempDir dir;
    qvtest::RunOk("cd " + dir.path() + " && touch name.part1.rar other.part01.iso plain.iso three.part001.7z");
    const struct {
        const char* asked;
        const char* chosen;
    } rows[] = {
        {"name.part3.rar", "name.part1.rar"},
        {"name.PART7.rar", "name.part1.rar"},
        {"other.part2.iso", "other.part01.iso"},
        {"three.part9.7z", "three.part001.7z"},
        {"plain.iso", "plain.iso"},
        {"missing.iso", "missing.iso"},
        {"missing.part2.iso", "missing.part2.iso"},
        {"name.partX.rar", "name.partX.rar"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.asked);
        EXPECT_EQ(cmdline::FindFirstVolumeOfSet(platform::Utf8ToUtf16(dir / row.asked)),
                  platform::Utf8ToUtf16(dir / row.chosen));
    }
}

TEST(SwitchValues, ControlCharactersAreShownAsQuestionMarks) {
    EXPECT_EQ(cmdline::ShowableText(u"a\x1b\rb\x7f\x9b" u"c\u00e9"), u"a??b??c\u00e9");
    EXPECT_EQ(cmdline::ShowableText(u"l1\r\n\tl2\x07", true), u"l1\r\n\tl2?");
}

TEST(SwitchValues, CodePageCutKeepsWholeCharacters) {
    // Double-byte characters cut to 5 bytes keep two of them, never half a third.
    setenv("QV_ANSI_CODEPAGE", "932", 1);
    const std::string cut = cmdline::ToCodePageWithin(u"\u65e5\u672c\u8a9e", 5);
    EXPECT_EQ(cut.size(), 4u);
    std::u16string back;
    ASSERT_TRUE(platform::MultiByteToUtf16(932, cut, back));
    EXPECT_EQ(back, u"\u65e5\u672c");
    unsetenv("QV_ANSI_CODEPAGE");
}

}  // namespace
