#include "window/models/path_history.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "foundation/settings.h"
#include "tests/support/test_support.h"

namespace {

TEST(PathHistoryList, NewestFirstUniqueAndBounded) {
    qvtest::TempDir config;
    ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    dialogs::PathHistoryList history(u"ExtractPath", 3);
    history.Load();
    EXPECT_EQ(history.GetCount(), 0u);
    for (const char16_t* path : {u"/a", u"/b", u"/A", u"/b", u"/c"}) history.Add(path);
    const std::vector<std::u16string> expected = {u"/c", u"/b", u"/A"};   // case tells folders apart
    EXPECT_EQ(history.Entries(), expected);
    EXPECT_EQ(history.GetAt(7), u"");

    dialogs::PathHistoryList again(u"ExtractPath", 3);
    again.Load();
    EXPECT_EQ(again.Entries(), expected);
    EXPECT_EQ(foundation::ReadSettingString(u"ExtractPath0").value_or(u""), u"/c");
    EXPECT_EQ(foundation::ReadSettingString(u"ExtractPath2").value_or(u""), u"/A");

    // Loading stops at the first empty slot.
    foundation::WriteSettingString(u"ExtractPath1", u"");
    again.Load();
    EXPECT_EQ(again.GetCount(), 1u);
    ::unsetenv("QV_CONFIG_DIR");
}

}  // namespace
