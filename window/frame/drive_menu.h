#pragma once
// The Virtual Drive menu of the main frame: the popup that takes the place of
// the Tools menu's placeholder, refilled from the drives each time it opens,
// and the handler of the virtual-drive commands (mount, unmount, unmount all,
// number of drives, options).

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/language_menu.h"

class QMenu;

namespace app::ui {

class CMainFrame;

inline constexpr uint32_t kVirtualDrivePlaceholder = 33260;

// What the menu shows.
struct DriveMenuFacts {
    bool available = false;
    struct Drive {
        char16_t letter = 0;
        std::u16string mountedPath;   // empty: no media
    };
    std::vector<Drive> drives;        // by drive number
    uint32_t options = 0;             // vdrive option bits
};
DriveMenuFacts CurrentDriveMenuFacts();

// The menu's items for those facts (commands, separators, popups).
foundation::MenuTemplateNode DriveMenuTemplate(const DriveMenuFacts& facts);
// Whether a command of the menu shows a check mark.
bool DriveMenuChecked(const DriveMenuFacts& facts, uint32_t id);

// Puts the popup in place of the placeholder and installs the command
// handler; the frame's menu bar must be built.
void InstallVirtualDriveMenu(CMainFrame& frame);
// The popup the frame shows, or null before it is installed.
QMenu* VirtualDriveMenu(CMainFrame& frame);

}  // namespace app::ui
