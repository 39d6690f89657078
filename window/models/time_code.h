#pragma once
// The editing rules of the time-code field: a fixed eight-character text
// "MM:SS.FF" (minutes, seconds, frames at 75 a second) where every key
// rewrites one digit in place, so the separators never move and the value
// never leaves its range.

#include <string>
#include <string_view>

namespace dialogs {

inline constexpr size_t kTimeCodeChars = 8;
inline constexpr int kFramesPerSecond = 75;

struct TimeCodeState {
    std::u16string text = u"  :  .  ";   // always kTimeCodeChars long
    int caret = 0;                         // 0..8
};

// The buffer rebuilt from whatever the field shows: the digits of its first
// eight characters go to positions 0, 1, 3, 4, 6 and 7 in order.
std::u16string TimeCodeFromText(std::u16string_view shown);

// A digit typed with the caret at state.caret and the selection ending at
// selectionEnd (== caret without a selection).
void TimeCodeTypeDigit(TimeCodeState& state, int selectionEnd, char16_t digit);
void TimeCodeBackspace(TimeCodeState& state);
void TimeCodeDelete(TimeCodeState& state);

}  // namespace dialogs
