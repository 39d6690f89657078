#pragma once
// Texts that dialogs and menus take from the numbered strings rather than from
// their own entries: property page titles and the commands that stand in the
// main menu and in context menus under several ids.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

// Translated title of a property page by its dialog template id, or nothing for
// a template that is not a page.
std::optional<std::u16string> GetPropertyPageTitle(uint32_t templateId);

// The shared text of a command id (translated when it has a string id), or
// nothing for a command without one.
std::optional<std::u16string> GetSharedCommandText(uint32_t commandId);

// Menu translation rules the window side applies.
inline constexpr uint32_t kMainMenuId = 128;
inline constexpr uint32_t kCommandNewFile = 32846;       // "|0|0" popup takes string 10 before it
inline constexpr uint32_t kCommandAfterRecent = 32858;   // marks the recent-file popup two places back
inline constexpr uint32_t kCommandLanguagePlaceholder = 33203;
inline constexpr uint32_t kCommandFirstLanguage = 33153;
// True for command ids whose texts are generated at run time and so are never
// restored from the menu template.
bool IsGeneratedMenuCommand(uint32_t commandId);
// The key of a popup: "%s|%u" (parent key, position).
std::u16string PopupKey(std::u16string_view parentKey, uint32_t position);

}  // namespace foundation
