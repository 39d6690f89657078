#pragma once
// The main menu (menu 128) as a table: popups, command ids and built-in
// English texts, from which the menu bar is built and to which English
// returns; and the "How to..." rows of the Help menu.

#include <cstdint>
#include <string_view>

#include "foundation/language_menu.h"

namespace app::ui {

const foundation::MenuTemplateNode& MainMenuTemplate();

// The Help menu's placeholder that the "How to..." popup replaces.
inline constexpr uint32_t kHowToPlaceholder = 33299;
inline constexpr uint32_t kFirstHowTo = 33300;
struct HowToRow {
    std::u16string_view text;   // empty for a separator
    std::u16string_view page;
};
inline constexpr int kHowToRows = 26;
const HowToRow& HowTo(int row);

}  // namespace app::ui
