#pragma once
// Burning and making images from the Tools group: Burn Disc Image File (33290
// and its tool-bar twin 33355) opens the burn dialog, Make Image File from
// Disc (33354) the make-image dialog.

#include <cstdint>
#include <string>

class QWidget;

namespace app::ui {

class CMainFrame;

constexpr uint32_t kBurnImageCommand = 33290;
constexpr uint32_t kBurnImageToolCommand = 33355;
constexpr uint32_t kMakeImageCommand = 33354;

// Takes these commands into the Tools group; the group's other commands stay
// with the handler installed before.
void InstallBurnCommands(CMainFrame& frame);

// The burn dialog for an image (empty: the current document), modal.
void RunBurnDialog(QWidget* parent, const std::u16string& imagePath);

}  // namespace app::ui
