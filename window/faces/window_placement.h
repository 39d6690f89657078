#pragma once
// The main window's placement record applied to and taken from a Qt window.
// move() places the frame and resize() sizes the inside, so the record holds
// pos() and size(): storing frameGeometry() would grow the window by its
// frame at every start.

#include <optional>

#include "foundation/settings_window_placement.h"

class QWidget;

namespace foundation::ui {

// The primary screen's area (Wayland places windows itself and ignores it).
DesktopRect PrimaryDesktop();
// The window's rectangle as the record keeps it.
WindowPlacementRecord CurrentPlacement(const QWidget& window);
// Places a normal record's rectangle; a maximized one is applied by showing
// the window maximized.
void ApplyPlacement(QWidget& window, const WindowPlacementRecord& record);
// LoadMainWindowPlacement against the primary screen.
std::optional<WindowPlacementRecord> LoadPlacementForScreen();
// SaveMainWindowPlacement of the window as it stands.
bool SavePlacementOf(const QWidget& window);

}  // namespace foundation::ui
