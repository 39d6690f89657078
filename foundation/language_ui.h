#pragma once
// The window side of the language files: translating dialogs and menus, the
// Language menu and switching at run time. These act on Qt widgets and are
// built with the window program; what they look up (language_file.h,
// language.h, language_texts.h) is complete in the foundation.

#include <cstdint>
#include <string_view>

class QWidget;
class QMenu;
class QMenuBar;

namespace foundation {

// Sets the UI font on the dialog, replaces its control texts from the current
// file (by template id and control id) and sets the caption in the launched
// modes. Returns 1.
int TranslateDialog(QWidget* dialog, uint32_t templateId);
// Translates a whole menu, or restores the built-in texts when no file is
// loaded; with onlyWhenNotEnglish nothing happens while English is current.
void TranslateMenu(QMenu* menu, uint32_t menuId, bool onlyWhenNotEnglish);
void TranslateMenuItem(QMenu* menu, int item, std::u16string_view text, bool byPosition);
void BuildLanguageMenu(QMenuBar* mainMenu);
void SwitchLanguage(int rowIndex);
void CreateUIFont(std::u16string_view name, int32_t points);

}  // namespace foundation
