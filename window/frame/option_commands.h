#pragma once
// Tools → Options ("Configuration", 32964): the option sheet on its General
// page. The virtual-drive menu's "Configuration..." opens the same sheet on
// its Virtual Drive page (window/frame/drive_menu.cpp).

#include <cstdint>

namespace app::ui {

class CMainFrame;

constexpr uint32_t kOptionsCommand = 32964;

// Takes the Options command into the Tools group; the group's other commands
// stay with the handler installed before.
void InstallOptionCommands(CMainFrame& frame);

}  // namespace app::ui
