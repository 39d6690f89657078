#pragma once
// Burning and making images from the Tools group: Burn Disc Image File (33290
// and its tool-bar twin 33355) opens the burn dialog, Burn Audio CD (33352) and
// Burn Data Disc (33353) a new project in their burn dialogs, Make Image File
// from Disc (33354) the make-image dialog.

#include <cstdint>
#include <string>

class QWidget;

namespace app::ui {

class CMainFrame;

constexpr uint32_t kBurnImageCommand = 33290;
constexpr uint32_t kBurnImageToolCommand = 33355;
constexpr uint32_t kMakeImageCommand = 33354;
constexpr uint32_t kBurnAudioCdCommand = 33352;
constexpr uint32_t kBurnDataDiscCommand = 33353;

// Takes these commands into the Tools group; the group's other commands stay
// with the handler installed before.
void InstallBurnCommands(CMainFrame& frame);

// The burn dialog for an image (empty: the current document), modal.
void RunBurnDialog(QWidget* parent, const std::u16string& imagePath);

// A new audio CD or data project (the current document asked to be saved
// first) burnt from its own dialog, modal. False, with no dialog and the
// user's document kept as it was, when the user cancelled that question or
// the project could not be made.
bool RunProjectBurnDialog(CMainFrame& frame, bool audio);

}  // namespace app::ui
