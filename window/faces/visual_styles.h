#pragma once
// The visual-styles layer: the few theme calls the program's own buttons
// draw with, answered by the application's Qt style. It is looked up at
// first use and is unavailable without a widget application (the console
// never has one), in which case every call does nothing and returns false,
// and the caller draws the classic look.

#include <QRect>

class QPainter;
class QStyle;
class QWidget;

namespace dialogs::ui {

// The push-button states the button drawing asks for.
enum class ThemeButtonState { Normal = 1, Hot = 2, Pressed = 3, Disabled = 4, Defaulted = 5 };

struct ThemeHandle {
    QStyle* style = nullptr;
    bool toolbar = false;   // "Toolbar" rather than "Button"
};

bool ThemeAvailable();
// Null when the layer is unavailable or no widget is given.
const ThemeHandle* ThemeOpen(QWidget* widget, bool toolbar);
bool ThemeClose(const ThemeHandle* theme);
bool ThemeDrawBackground(const ThemeHandle* theme, QPainter& painter, ThemeButtonState state, const QRect& rect);
bool ThemeDrawText(const ThemeHandle* theme, QPainter& painter, ThemeButtonState state, const QString& text,
                   const QRect& rect);
// Styles are in effect (the dialogs' gradient look follows the same switch).
bool ThemeIsAppThemed();

}  // namespace dialogs::ui
