// The Qt bodies of foundation/language_ui.h.
#include "foundation/language_ui.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>

#include <map>

#include "foundation/language.h"
#include "foundation/language_menu.h"
#include "foundation/language_texts.h"
#include "window/faces/menu_adapter.h"
#include "window/faces/qt_text.h"
#include "image/document/main_window_services.h"

namespace foundation {

namespace {

constexpr uint32_t kStrLanguage = 1800;
constexpr int32_t kMaxFontPoints = 72;

QPointer<QMenu>& LanguagePopupPointer() {
    static QPointer<QMenu> popup;
    return popup;
}

std::map<uint32_t, const MenuTemplateNode*>& Templates() {
    static std::map<uint32_t, const MenuTemplateNode*> templates;
    return templates;
}

QFont& UIFont() {
    static QFont font;
    return font;
}

}  // namespace

namespace ui {

uint32_t CommandIdOf(const QAction* action) {
    if (!action) return 0;
    const QVariant id = action->property(kCommandIdProperty);
    return id.isValid() ? id.toUInt() : 0;
}

QtTranslatableMenu::QtTranslatableMenu(QWidget* menuOrBar) : widget_(menuOrBar) {}

QAction* QtTranslatableMenu::At(int position) const {
    const QList<QAction*> actions = widget_->actions();
    if (position < 0 || position >= actions.size()) return nullptr;
    return actions[position];
}

int QtTranslatableMenu::ItemCount() const { return static_cast<int>(widget_->actions().size()); }

bool QtTranslatableMenu::IsPopup(int position) const {
    QAction* action = At(position);
    return action && action->menu() != nullptr;
}

uint32_t QtTranslatableMenu::CommandId(int position) const {
    QAction* action = At(position);
    if (!action || action->isSeparator() || action->menu()) return 0;
    return CommandIdOf(action);
}

TranslatableMenu* QtTranslatableMenu::Popup(int position) {
    QAction* action = At(position);
    if (!action || !action->menu()) return nullptr;
    popups_.push_back(std::make_unique<QtTranslatableMenu>(action->menu()));
    return popups_.back().get();
}

void QtTranslatableMenu::SetText(int position, std::u16string_view text) {
    if (QAction* action = At(position)) action->setText(ToQString(text));
}

void RegisterMenuTemplate(uint32_t menuId, const MenuTemplateNode* root) {
    if (root) Templates()[menuId] = root;
    else Templates().erase(menuId);
}

const MenuTemplateNode* MenuTemplate(uint32_t menuId) {
    auto found = Templates().find(menuId);
    return found == Templates().end() ? nullptr : found->second;
}

void TranslateMenuBar(QMenuBar* bar, uint32_t menuId, bool onlyWhenNotEnglish) {
    if (!bar) return;
    QtTranslatableMenu menu(bar);
    static const MenuTemplateNode kEmpty;
    const MenuTemplateNode* root = MenuTemplate(menuId);
    ApplyMenuLanguage(menu, menuId, root ? *root : kEmpty, onlyWhenNotEnglish);
    if (QMenu* language = LanguagePopup()) language->setTitle(ui::ToQString(GetLangString(kStrLanguage, u"Language")));
}

QMenu* LanguagePopup() { return LanguagePopupPointer().data(); }

}  // namespace ui

int TranslateDialog(QWidget* dialog, uint32_t templateId) {
    if (!dialog) return 1;
    dialog->setFont(UIFont());
    if (std::optional<std::u16string> caption = LaunchedModeCaption()) dialog->setWindowTitle(ui::ToQString(*caption));
    std::shared_ptr<const CLangFile> file = CurrentLangFile();
    if (!file) return 1;
    // Labels, buttons and group boxes carry translatable texts; edit boxes
    // hold the user's data and are never touched.
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        const QVariant id = child->property(ui::kControlIdProperty);
        if (!id.isValid()) continue;
        const uint32_t controlId = id.toUInt();
        if (auto* label = qobject_cast<QLabel*>(child)) {
            if (auto text = TranslatedControlText(*file, templateId, controlId, ui::ToU16(label->text())))
                label->setText(ui::ToQString(*text));
        } else if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            if (auto text = TranslatedControlText(*file, templateId, controlId, ui::ToU16(button->text())))
                button->setText(ui::ToQString(*text));
        } else if (auto* group = qobject_cast<QGroupBox*>(child)) {
            if (auto text = TranslatedControlText(*file, templateId, controlId, ui::ToU16(group->title())))
                group->setTitle(ui::ToQString(*text));
        }
    }
    return 1;
}

void TranslateMenu(QMenu* menu, uint32_t menuId, bool onlyWhenNotEnglish) {
    if (!menu) return;
    ui::QtTranslatableMenu adapter(menu);
    static const MenuTemplateNode kEmpty;
    const MenuTemplateNode* root = ui::MenuTemplate(menuId);
    ApplyMenuLanguage(adapter, menuId, root ? *root : kEmpty, onlyWhenNotEnglish);
}

void TranslateMenuItem(QMenu* menu, int item, std::u16string_view text, bool byPosition) {
    if (!menu) return;
    if (byPosition) {
        ui::QtTranslatableMenu(menu).SetText(item, text);
        return;
    }
    for (QAction* action : menu->actions()) {
        if (ui::CommandIdOf(action) == static_cast<uint32_t>(item))
            action->setText(ui::ToQString(MenuItemText(static_cast<uint32_t>(item), text)));
    }
}

void BuildLanguageMenu(QMenuBar* mainMenu) {
    if (!mainMenu) return;
    const QList<QAction*> top = mainMenu->actions();
    QMenu* second = top.size() > 1 ? top[1]->menu() : nullptr;
    if (!second) return;
    QAction* placeholder = nullptr;
    for (QAction* action : second->actions())
        if (ui::CommandIdOf(action) == kCommandLanguagePlaceholder) placeholder = action;

    const LanguageTable table = GetLanguageTable();
    QPointer<QMenu>& popup = LanguagePopupPointer();
    if (placeholder) {
        popup = new QMenu(ui::ToQString(GetLangString(kStrLanguage, u"Language")), second);
        second->insertMenu(placeholder, popup);
        second->removeAction(placeholder);
        placeholder->deleteLater();
    }
    if (!popup) return;
    popup->clear();
    auto* group = new QActionGroup(popup);
    for (size_t row = 0; row < table.rows.size(); ++row) {
        const LanguageRow& language = table.rows[row];
        QAction* action = popup->addAction(ui::ToQString(LanguageMenuText(language.name, language.nativeName)));
        action->setProperty(ui::kCommandIdProperty, LanguageMenuCommand(static_cast<int>(row)));
        action->setCheckable(true);
        action->setChecked(static_cast<int>(row) == table.currentIndex);
        group->addAction(action);
    }
    ui::TranslateMenuBar(mainMenu, kMainMenuId, false);
}

void SwitchLanguage(int rowIndex) {
    QMenu* popup = ui::LanguagePopup();
    if (!popup) return;
    if (!SelectLanguageRow(rowIndex)) return;
    const QList<QAction*> actions = popup->actions();
    for (qsizetype i = 0; i < actions.size(); ++i) actions[i]->setChecked(i == rowIndex);
    const UIFontChoice font = CurrentUIFont();
    CreateUIFont(font.family, font.points);
    popup->setTitle(ui::ToQString(GetLangString(kStrLanguage, u"Language")));
    image::MainWindowServices().RefreshAfterLanguageSwitch();
}

void CreateUIFont(std::u16string_view name, int32_t points) {
    const UIFontChoice choice = ResolveUIFont(name, points);
    // "Tahoma" stands for the desktop's own UI font here.
    QFont font = choice.family == u"Tahoma" ? QFontDatabase::systemFont(QFontDatabase::GeneralFont)
                                            : QFont(ui::ToQString(choice.family));
    const int32_t size = choice.points >= 1 && choice.points <= kMaxFontPoints ? choice.points : 8;
    if (choice.family == u"Tahoma" && (name.empty() || points == 0)) {
        // The desktop's own size stays: 8 points was the old system's default.
    } else {
        font.setPointSize(size);
    }
    UIFont() = font;
    if (QCoreApplication::instance() && qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setFont(font);
}

}  // namespace foundation
