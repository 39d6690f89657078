#include "window/faces/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace foundation::ui {

DesktopRect PrimaryDesktop() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect area = screen->geometry();
    return {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

WindowPlacementRecord CurrentPlacement(const QWidget& window) {
    const QPoint position = window.pos();
    const QSize size = window.size();
    return {position.x(), position.y(), size.width(), size.height(), window.isMaximized() ? 1 : 0};
}

void ApplyPlacement(QWidget& window, const WindowPlacementRecord& record) {
    if (record.maximized) return;
    window.move(record.left, record.top);
    window.resize(record.width, record.height);
}

std::optional<WindowPlacementRecord> LoadPlacementForScreen() { return LoadMainWindowPlacement(PrimaryDesktop()); }

bool SavePlacementOf(const QWidget& window) {
    // A maximized window's rectangle is the screen's; the kept normal one goes
    // with the maximized mark instead.
    const QRect normal = window.normalGeometry();
    WindowPlacementRecord current = CurrentPlacement(window);
    if (window.isMaximized() && normal.isValid()) {
        current.width = normal.width();
        current.height = normal.height();
    }
    return SaveMainWindowPlacement(current, window.isMaximized());
}

}  // namespace foundation::ui
