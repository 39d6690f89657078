// The time-code field's digit rules: digits land in place, separators never
// move, seconds and frames stay in range.

#include "window/models/time_code.h"

#include <gtest/gtest.h>

namespace {

using dialogs::TimeCodeState;

enum class Key { Digit, Backspace, Delete };

struct Row {
    const char* name;
    std::u16string before;
    int caret;
    int selectionEnd;
    Key key;
    char16_t digit;
    std::u16string after;
    int caretAfter;
};

TEST(TimeCode, KeysRewriteOneDigitInPlace) {
    const Row rows[] = {
        {"seconds tens 7 falls back to 0", u"01:23.45", 3, 3, Key::Digit, u'7', u"01:03.45", 4},
        {"seconds tens 5 kept", u"01:23.45", 3, 3, Key::Digit, u'5', u"01:53.45", 4},
        {"caret on a separator moves on", u"01:23.45", 2, 2, Key::Digit, u'4', u"01:43.45", 4},
        {"frames tens past 74 falls back", u"01:23.45", 6, 6, Key::Digit, u'9', u"01:23.05", 7},
        {"frames units giving 79 falls back", u"01:23.74", 7, 7, Key::Digit, u'9', u"01:23.09", 8},
        {"past the end the frames scroll", u"01:23.4 ", 8, 8, Key::Digit, u'2', u"01:23.42", 8},
        {"tens over a blank unit copies it", u"1 :  .  ", 0, 0, Key::Digit, u'3', u"31:  .  ", 1},
        {"selection past the tens blanks the unit", u"12:34.56", 0, 2, Key::Digit, u'7', u"7 :34.56", 1},
        {"backspace after a tens digit", u"12:34.56", 1, 1, Key::Backspace, 0, u" 2:34.56", 0},
        {"backspace after a units digit shifts", u"12:34.56", 5, 5, Key::Backspace, 0, u"12: 3.56", 5},
        {"backspace after a lone units digit", u"12: 4.56", 5, 5, Key::Backspace, 0, u"12:  .56", 3},
        {"backspace after a separator", u"12:34.56", 3, 3, Key::Backspace, 0, u"12:34.56", 2},
        {"delete on a tens digit", u"12:34.56", 3, 3, Key::Delete, 0, u"12: 4.56", 4},
        {"delete on a units digit", u"12:34.56", 4, 4, Key::Delete, 0, u"12: 3.56", 5},
        {"delete on a separator", u"12:34.56", 5, 5, Key::Delete, 0, u"12:34.56", 6},
    };
    for (const Row& r : rows) {
        TimeCodeState state{r.before, r.caret};
        if (r.key == Key::Digit) dialogs::TimeCodeTypeDigit(state, r.selectionEnd, r.digit);
        else if (r.key == Key::Backspace) dialogs::TimeCodeBackspace(state);
        else dialogs::TimeCodeDelete(state);
        EXPECT_EQ(state.text, r.after) << r.name;
        EXPECT_EQ(state.caret, r.caretAfter) << r.name;
    }
}

TEST(TimeCode, TextIsRebuiltFromItsDigits) {
    EXPECT_EQ(dialogs::TimeCodeFromText(u"01:23.45"), u"01:23.45");
    EXPECT_EQ(dialogs::TimeCodeFromText(u"1x2"), u"12:  .  ");
    EXPECT_EQ(dialogs::TimeCodeFromText(u""), u"  :  .  ");
    // Only the first eight characters are looked at.
    EXPECT_EQ(dialogs::TimeCodeFromText(u"abcdefg12345"), u"1 :  .  ");
}

TEST(TimeCode, TypingAnyDigitsNeverLeavesTheRange) {
    for (char16_t d = u'0'; d <= u'9'; ++d) {
        TimeCodeState state;
        for (int i = 0; i < 12; ++i) dialogs::TimeCodeTypeDigit(state, state.caret, d);
        const int seconds = (state.text[3] == u' ' ? 0 : state.text[3] - u'0') * 10 + (state.text[4] - u'0');
        const int frames = (state.text[6] == u' ' ? 0 : state.text[6] - u'0') * 10 + (state.text[7] - u'0');
        EXPECT_LT(seconds, 60) << char(d);
        EXPECT_LT(frames, 75) << char(d);
        EXPECT_EQ(state.text[2], u':');
        EXPECT_EQ(state.text[5], u'.');
    }
}

}  // namespace
