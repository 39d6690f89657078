#pragma once
// The main window's placement, kept as "MainWindow": 20 bytes, five
// little-endian signed 32-bit values: left, top, width, height, maximized.
// The desktop rectangle is handed in by the window side (the screen area that
// holds the window), so the checks run without a display.

#include <cstdint>
#include <optional>

namespace foundation {

struct WindowPlacementRecord {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t maximized = 0;   // 0 or 1
};

struct DesktopRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;    // exclusive, as a Windows RECT
    int32_t bottom = 0;
};

inline constexpr int32_t kMinWindowSide = 50;
inline constexpr int32_t kDesktopSlack = 10;

// The record checked against the desktop: a maximized one as it is; a normal
// one only when at least 50 x 50, not larger than the desktop, and inside it
// with 10 pixels of slack on the right and bottom.
bool IsAcceptablePlacement(const WindowPlacementRecord& record, const DesktopRect& desktop);

// Reads "MainWindow" (nothing in console mode, for a value of any length but 20,
// or a refused record). An accepted record is also kept for the next save.
std::optional<WindowPlacementRecord> LoadMainWindowPlacement(const DesktopRect& desktop);
// Maximized: stores the kept rectangle (loaded at start or saved last) with
// maximized 1; otherwise the current rectangle with maximized 0. Nothing in
// console mode.
bool SaveMainWindowPlacement(const WindowPlacementRecord& currentRect, bool maximized);

// Forgets the kept rectangle (tests).
void ResetMainWindowPlacementForTests();

}  // namespace foundation
