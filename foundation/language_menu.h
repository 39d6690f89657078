#pragma once
// The rules by which dialogs and menus take their texts from the current
// language file, over a small menu interface the window side implements on
// its Qt menus (each action carries its command id). Kept here so the rules
// are complete and tested without a display.

#include "foundation/language_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// One level of a menu, by position.
class TranslatableMenu {
public:
    virtual ~TranslatableMenu() = default;
    virtual int ItemCount() const = 0;
    virtual bool IsPopup(int position) const = 0;
    // The command id of a command item; 0 for a separator or a popup.
    virtual uint32_t CommandId(int position) const = 0;
    // The submenu of a popup item, null for any other item.
    virtual TranslatableMenu* Popup(int position) = 0;
    virtual void SetText(int position, std::u16string_view text) = 0;
};

// Translates a whole menu from the file: popups by their key "%s|%u" (parent
// key, position), commands by their shared text or their entry; the "|0|0"
// popup before command 32846 falls back to string 10 ("New") with leading
// blanks removed; the popup whose item two places on is command 32858 (the
// recent-file list) keeps its own items.
void TranslateMenuFromFile(TranslatableMenu& menu, const CLangFile& file, uint32_t menuId);

// The program's built-in menu as a tree of default texts and command ids (the
// window side's menu table), from which the English texts are restored.
struct MenuTemplateNode {
    std::u16string text;
    uint32_t commandId = 0;       // 0 for a popup or a separator
    bool popup = false;
    std::vector<MenuTemplateNode> children;
};

// Restores the built-in texts: popups by their position within their parent,
// commands by their id, except the commands whose texts are made at run time
// (recent files, the language list and the like).
void RestoreMenuFromTemplate(TranslatableMenu& menu, const MenuTemplateNode& root);

// TranslateMenu without the window: the current file's texts, or the built-in
// ones when no file is loaded; with onlyWhenNotEnglish nothing happens while
// English is current.
void ApplyMenuLanguage(TranslatableMenu& menu, uint32_t menuId, const MenuTemplateNode& root,
                       bool onlyWhenNotEnglish);

// The text a dialog control gets from the file, or nothing to leave it: "..."
// stays; control 1 reading "OK" and control 2 reading "Cancel" take strings
// 30870 and 30880; any other control its entry (owner = template id) when not
// empty.
std::optional<std::u16string> TranslatedControlText(const CLangFile& file, uint32_t templateId,
                                                    uint32_t controlId, std::u16string_view currentText);

// The dialog caption in the launched modes ("-ii1": string 30440, "-ii2":
// "Quendravine"), nothing otherwise.
std::optional<std::u16string> LaunchedModeCaption();

// The text of a menu item set by command id: the command's shared text when it
// has one, else the given text.
std::u16string MenuItemText(uint32_t commandId, std::u16string_view givenText);

// A row of the Language menu: "%s (%s)" (name, native name), command 33153 + row.
std::u16string LanguageMenuText(std::u16string_view name, std::u16string_view nativeName);
uint32_t LanguageMenuCommand(int rowIndex);

}  // namespace foundation
