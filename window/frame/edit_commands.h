#pragma once
// The Action menu's document commands: Extract (the Extract dialog and the
// extraction job), Add Files and Folders, New Folder, Delete, Rename and
// Change Label, with their enable rules. They take over the Extraction and
// Editing groups, passing on every id they do not answer to the handler that
// was installed before, and install the document's rename services for the
// views' label edits.

#include <cstdint>

namespace app::ui {

class CMainFrame;

inline constexpr uint32_t kCmdExtractItems = 32861;
inline constexpr uint32_t kCmdAddFiles = 32860;
inline constexpr uint32_t kCmdAddPopup = 33211;
inline constexpr uint32_t kCmdNewFolder = 32915;
inline constexpr uint32_t kCmdDeleteItems = 32862;
inline constexpr uint32_t kCmdRenameItem = 32868;
inline constexpr uint32_t kCmdChangeLabel = 32916;

void InstallEditCommands(CMainFrame* frame);

}  // namespace app::ui
