#pragma once
// A Qt menu seen as the foundation's translatable menu: positions count every
// action, separators included, as the menu resources count them; a command's
// id is its action's "commandId" property.

#include <QMenu>
#include <QMenuBar>

#include <memory>
#include <vector>

#include "foundation/language_menu.h"

namespace foundation::ui {

inline constexpr const char* kCommandIdProperty = "commandId";
// Dialog controls carry their control id under this property.
inline constexpr const char* kControlIdProperty = "controlId";

uint32_t CommandIdOf(const QAction* action);

class QtTranslatableMenu : public TranslatableMenu {
public:
    explicit QtTranslatableMenu(QWidget* menuOrBar);
    int ItemCount() const override;
    bool IsPopup(int position) const override;
    uint32_t CommandId(int position) const override;
    TranslatableMenu* Popup(int position) override;
    void SetText(int position, std::u16string_view text) override;

private:
    QAction* At(int position) const;
    QWidget* widget_;
    std::vector<std::unique_ptr<QtTranslatableMenu>> popups_;
};

// The program's built-in menu of a menu id (registered by the window that
// builds it), from which English texts are restored.
void RegisterMenuTemplate(uint32_t menuId, const MenuTemplateNode* root);
const MenuTemplateNode* MenuTemplate(uint32_t menuId);

// Translates a menu bar (TranslateMenu works on one popup).
void TranslateMenuBar(QMenuBar* bar, uint32_t menuId, bool onlyWhenNotEnglish);

// The Language popup BuildLanguageMenu made, or null.
QMenu* LanguagePopup();

}  // namespace foundation::ui
