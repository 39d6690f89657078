#include "window/models/time_code.h"

#include <algorithm>

namespace dialogs {

namespace {

constexpr int kDigitPositions[] = {0, 1, 3, 4, 6, 7};

bool IsTens(int c) { return c == 0 || c == 3 || c == 6; }
bool IsUnits(int c) { return c == 1 || c == 4 || c == 7; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int PairValue(const std::u16string& text, int tens) {
    auto digit = [](char16_t c) { return IsDigit(c) ? c - u'0' : 0; };
    return digit(text[size_t(tens)]) * 10 + digit(text[size_t(tens) + 1]);
}

// Seconds of 60 or more and frames past 74 cannot be: their tens digit
// falls back to 0 rather than the typed digit being refused.
void KeepInRange(std::u16string& text) {
    if (PairValue(text, 3) >= 60) text[3] = u'0';
    if (PairValue(text, 6) >= kFramesPerSecond) text[6] = u'0';
}

}  // namespace

std::u16string TimeCodeFromText(std::u16string_view shown) {
    std::u16string text = u"  :  .  ";
    size_t next = 0;
    for (size_t i = 0; i < shown.size() && i < kTimeCodeChars && next < std::size(kDigitPositions); ++i)
        if (IsDigit(shown[i])) text[size_t(kDigitPositions[next++])] = shown[i];
    return text;
}

void TimeCodeTypeDigit(TimeCodeState& state, int selectionEnd, char16_t digit) {
    if (!IsDigit(digit)) return;
    std::u16string& text = state.text;
    int c = std::clamp(state.caret, 0, int(kTimeCodeChars));
    if (c == 2 || c == 5) ++c;
    if (IsTens(c)) {
        const size_t units = size_t(c) + 1;
        if (text[units] == u' ') text[units] = text[size_t(c)];
        if (selectionEnd > c + 1) text[units] = u' ';
        text[size_t(c)] = digit;
        state.caret = c + 1;
    } else if (IsUnits(c)) {
        text[size_t(c)] = digit;
        state.caret = c + 1;
    } else {
        // Past the end the frames scroll left: the units digit becomes the tens.
        if (text[6] == u' ') text[6] = text[7];
        text[7] = digit;
        state.caret = 8;
    }
    KeepInRange(text);
}

void TimeCodeBackspace(TimeCodeState& state) {
    std::u16string& text = state.text;
    const int c = std::clamp(state.caret, 0, int(kTimeCodeChars));
    if (c == 0) return;
    if (IsTens(c - 1)) {
        text[size_t(c) - 1] = u' ';
        state.caret = c - 1;
    } else if (IsUnits(c - 1)) {
        const size_t units = size_t(c) - 1;
        const size_t tens = units - 1;
        if (text[tens] != u' ') {
            text[units] = text[tens];
            text[tens] = u' ';
        } else {
            text[units] = u' ';
            state.caret = c - 2;
        }
    } else {
        state.caret = c - 1;
    }
}

void TimeCodeDelete(TimeCodeState& state) {
    std::u16string& text = state.text;
    const int c = std::clamp(state.caret, 0, int(kTimeCodeChars));
    if (IsTens(c)) {
        text[size_t(c)] = u' ';
    } else if (IsUnits(c)) {
        text[size_t(c)] = text[size_t(c) - 1];
        text[size_t(c) - 1] = u' ';
    }
    state.caret = std::min(c + 1, int(kTimeCodeChars));
}

}  // namespace dialogs
