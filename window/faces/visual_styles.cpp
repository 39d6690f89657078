#include "window/faces/visual_styles.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "window/dialogs/app_dialog.h"

namespace dialogs::ui {
namespace {

QStyleOptionButton ButtonOption(const ThemeHandle& theme, ThemeButtonState state, const QRect& rect) {
    QStyleOptionButton option;
    option.rect = rect;
    option.state = QStyle::State_Raised;
    if (state != ThemeButtonState::Disabled) option.state |= QStyle::State_Enabled;
    if (state == ThemeButtonState::Hot) option.state |= QStyle::State_MouseOver;
    if (state == ThemeButtonState::Pressed) option.state = (option.state & ~QStyle::State_Raised) | QStyle::State_Sunken;
    if (state == ThemeButtonState::Defaulted) option.features |= QStyleOptionButton::DefaultButton;
    if (theme.toolbar) option.features |= QStyleOptionButton::Flat;
    return option;
}

}  // namespace

bool ThemeAvailable() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

const ThemeHandle* ThemeOpen(QWidget* widget, bool toolbar) {
    if (!ThemeAvailable() || !widget) return nullptr;
    auto* theme = new ThemeHandle{widget->style(), toolbar};
    return theme;
}

bool ThemeClose(const ThemeHandle* theme) {
    if (!theme) return false;
    delete theme;
    return true;
}

bool ThemeDrawBackground(const ThemeHandle* theme, QPainter& painter, ThemeButtonState state, const QRect& rect) {
    if (!theme || !theme->style || !ThemeAvailable() || rect.isEmpty()) return false;
    const QStyleOptionButton option = ButtonOption(*theme, state, rect);
    theme->style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter);
    return true;
}

bool ThemeDrawText(const ThemeHandle* theme, QPainter& painter, ThemeButtonState state, const QString& text,
                   const QRect& rect) {
    if (!theme || !theme->style || !ThemeAvailable()) return false;
    QStyleOptionButton option = ButtonOption(*theme, state, rect);
    option.text = text;
    theme->style->drawControl(QStyle::CE_PushButtonLabel, &option, &painter);
    return true;
}

bool ThemeIsAppThemed() { return ThemeAvailable() && CAppDialog::StylesActive(); }

}  // namespace dialogs::ui
